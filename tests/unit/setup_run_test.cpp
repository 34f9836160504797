// The setup step end to end under Wine: the test setup program runs from a
// temporary cache, registers (or not) the test game, and ends with the
// scenario's exit code; the test game stands in for a running game.
#include <gtest/gtest.h>
#include <objbase.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <thread>

#include "player_texts.h"
#include "fixture_support.h"
#include "pipeline/setup_run.h"
#include "shell/installed_game.h"

namespace {

struct SetupFixture {
    test::CleanInstallState state;
    test::TempFolder installRoot;

    std::filesystem::path GameFolder() const { return installRoot.path / L"VandroGLADE Oyun"; }
    test::SetupScenario Scenario() const {
        test::SetupScenario s;
        s.installFolder = GameFolder().wstring();
        return s;
    }
    std::string SetupLog() const { return test::ReadFileBytes(std::filesystem::path(packageCacheFolder) / kSetupLogName); }
    std::string Record() const {
        return test::ReadFileBytes(std::filesystem::path(packageCacheFolder) / kInstalledRecordName);
    }
};

struct ExitRow {
    std::uint32_t exitCode;
    bool registerGame;
    const char* failure;  // nullptr: installed
    bool callerInMta = false;  // the calling thread has joined the multithreaded apartment; else it has no COM
};

const ExitRow kExitRows[] = {
    {0, true, nullptr},
    {3010, true, nullptr},  // success, restart wanted: never acted on
    {2, true, "Installer exit 2"},
    {1, true, "Installer exit 1"},
    {3221225477u, true, "Installer exit 3221225477"},  // unsigned decimal
    {0, false, "Installed game missing"},
    {3010, false, "Installed game missing"},
    {0, true, nullptr, true},  // the shell call's apartment must not end the caller's
};

// The thread's apartment as COM reports it, for a before-and-after comparison.
std::string ThreadApartment() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    const HRESULT result = CoGetApartmentType(&type, &qualifier);
    return std::to_string(result) + " " + std::to_string(type) + " " + std::to_string(qualifier);
}

struct CallerApartment {
    HRESULT result;
    explicit CallerApartment(bool inMta) : result(inMta ? CoInitializeEx(nullptr, COINIT_MULTITHREADED) : E_FAIL) {}
    CallerApartment(const CallerApartment&) = delete;
    CallerApartment& operator=(const CallerApartment&) = delete;
    ~CallerApartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
};

std::string RunForFailure(const test::PlacedSetup& placed) {
    try {
        RunSetupProgram(placed.manifest, placed.paths);
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return "";
}

}  // namespace

TEST(SetupRun, ExitCodeAndRegistrationDecideTheOutcome) {
    for (const ExitRow& row : kExitRows) {
        SCOPED_TRACE(std::to_string(row.exitCode) + (row.registerGame ? " registered" : " unregistered") +
                     (row.callerInMta ? " caller in the MTA" : ""));
        const CallerApartment caller(row.callerInMta);
        const std::string apartmentBefore = ThreadApartment();
        SetupFixture f;
        test::SetupScenario scenario = f.Scenario();
        scenario.exitCode = row.exitCode;
        scenario.registerGame = row.registerGame;
        const test::PlacedSetup placed = test::PlaceTestSetupProgram(scenario);

        EXPECT_EQ(RunForFailure(placed), row.failure ? row.failure : "");
        EXPECT_EQ(ThreadApartment(), apartmentBefore);
        EXPECT_NE(f.SetupLog().find("exit=" + std::to_string(row.exitCode)), std::string::npos) << f.SetupLog();
        const PhaseSnapshot snap = ReadPhaseAndMessage();
        if (row.failure) {
            EXPECT_EQ(snap.phase, Installing);  // the driver's handler publishes Failed
            EXPECT_EQ(f.Record(), "");
        } else {
            EXPECT_EQ(snap.phase, Ready);
            EXPECT_EQ(snap.statusMessage, test::texts::kInstalled);
            EXPECT_EQ(installedGame.installLocation, f.GameFolder().wstring());
            EXPECT_EQ(installedGame.displayVersion, L"1.1.1");
            EXPECT_EQ(f.Record(), "{\r\n  \"sha256\": \"" + placed.manifest.packageSha256 +
                                      "\",\r\n  \"version\": \"1.4.2\"\r\n}");
        }
        EXPECT_TRUE(std::filesystem::exists(placed.paths.setupPath));  // kept for reuse
    }
}

TEST(SetupRun, SwitchesAndQuotedLogPathReachTheSetupProgramAsFourArguments) {
    SetupFixture f;
    packageCacheFolder = (f.state.launcher.cache.path / L"Önbellek klasörü  iki boşluk").wstring();
    std::filesystem::create_directories(packageCacheFolder);
    const test::PlacedSetup placed = test::PlaceTestSetupProgram(f.Scenario());

    EXPECT_EQ(RunForFailure(placed), "");
    const std::string log = f.SetupLog();  // found at the path with spaces: /LOG arrived whole
    const std::string logPath = WideToUtf8(JoinPath(packageCacheFolder, kSetupLogName));
    const std::string parameters = " /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /LOG=\"" + logPath + "\"\r\nargc=5";
    EXPECT_NE(log.find(parameters), std::string::npos) << log;  // the quotes themselves, as passed
    EXPECT_NE(log.find("argc=5\r\narg1=/VERYSILENT\r\narg2=/SUPPRESSMSGBOXES\r\narg3=/NORESTART\r\narg4=/LOG=" +
                       logPath + "\r\n"),
              std::string::npos)
        << log;
}

TEST(SetupRun, ZoneMarkerIsWrittenBeforeTheSetupProgramStarts) {
    SetupFixture f;
    const test::PlacedSetup placed = test::PlaceTestSetupProgram(f.Scenario());
    EXPECT_EQ(RunForFailure(placed), "");
    EXPECT_NE(f.SetupLog().find("zone=ZoneId=3\r\n"), std::string::npos) << f.SetupLog();
}

TEST(SetupRun, InstallingIsPublishedWhileTheSetupProgramRuns) {
    SetupFixture f;
    test::SetupScenario scenario = f.Scenario();
    scenario.waitEvent = L"VandroGLADE.TestSetup.Continue";
    HANDLE proceed = CreateEventW(nullptr, TRUE, FALSE, scenario.waitEvent.c_str());
    const test::PlacedSetup placed = test::PlaceTestSetupProgram(scenario);

    std::string failure = "not run";
    std::thread worker([&] { failure = RunForFailure(placed); });
    bool waiting = false;
    for (int i = 0; i < 3000 && !waiting; ++i) {
        waiting = f.SetupLog().find("waiting\r\n") != std::string::npos;
        if (!waiting) Sleep(10);
    }
    const PhaseSnapshot during = ReadPhaseAndMessage();
    SetEvent(proceed);
    worker.join();
    CloseHandle(proceed);

    ASSERT_TRUE(waiting);
    EXPECT_EQ(during.phase, Installing);
    EXPECT_EQ(during.statusMessage, L"VandroGLADE kuruluyor\u2026");
    EXPECT_EQ(failure, "");
    EXPECT_EQ(ReadPhase(), Ready);
}

TEST(SetupRun, RunningGameStopsBeforeAnythingIsStarted) {
    SetupFixture f;
    test::TempFolder gameFolder;
    test::RunningTestGame game(gameFolder.path / L"vandroglade.EXE");
    const test::PlacedSetup placed = test::PlaceTestSetupProgram(f.Scenario());

    std::string failure = "not run";
    SetupOutcome outcome = SetupOutcome::Installed;
    try {
        outcome = RunSetupProgram(placed.manifest, placed.paths);
        failure = "";
    } catch (const std::exception& error) {
        failure = error.what();
    }
    EXPECT_EQ(failure, "");
    EXPECT_EQ(outcome, SetupOutcome::GameRunning);
    const PhaseSnapshot snap = ReadPhaseAndMessage();
    EXPECT_EQ(snap.phase, Failed);
    EXPECT_EQ(snap.statusMessage, L"Kuruluma devam etmek için önce oyunu kapat.");
    EXPECT_EQ(f.SetupLog(), "");  // never started
    EXPECT_FALSE(std::filesystem::exists(placed.paths.setupPath + L":Zone.Identifier"));
    EXPECT_TRUE(std::filesystem::exists(placed.paths.setupPath));
    EXPECT_EQ(f.state.launcher.LogText(), "");
}

TEST(SetupRun, MissingSetupProgramFailsToStart) {
    SetupFixture f;
    test::PlacedSetup placed = test::PlaceTestSetupProgram(f.Scenario());
    std::filesystem::remove(placed.paths.setupPath);
    test::DialogDismisser dismissShellError;
    EXPECT_EQ(RunForFailure(placed), "Installer start");
}

TEST(SetupRun, MissingVersionInstallsButRaisesAndKeepsThePreviousRecord) {
    SetupFixture f;
    const std::string previous = "{\r\n  \"sha256\": \"old\",\r\n  \"version\": \"1.0.0\"\r\n}";
    test::WriteFileBytes(std::filesystem::path(packageCacheFolder) / kInstalledRecordName, previous);
    const test::PlacedSetup placed = test::PlaceTestSetupProgram(f.Scenario(), std::nullopt);

    EXPECT_EQ(RunForFailure(placed), "[json.exception.out_of_range.403] key 'version' not found");
    EXPECT_EQ(installedGame.installLocation, f.GameFolder().wstring());  // the game did install
    EXPECT_EQ(f.Record(), previous);
}

TEST(SetupGameCheck, MatchesTheWholeNameWithoutLetterCase) {
    const struct {
        const wchar_t* name;
        bool blocks;
    } rows[] = {
        {L"vandroglade.EXE", true},
        {L"VandroGLADE.exe", true},
        {L"VandroGLADE.exe.bak", false},
        {L"VandroGLADE2.exe", false},
        {L"xVandroGLADE.exe", false},
    };
    test::StopTestGames();
    EXPECT_FALSE(IsGameRunning());
    for (const auto& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name));
        test::TempFolder folder;
        test::RunningTestGame game(folder.path / row.name);
        ASSERT_NE(test::ReadTestGameStartRecord(folder.path), "");  // it did start
        EXPECT_EQ(IsGameRunning(), row.blocks);
    }
}

TEST(SetupTestGame, RecordsItsWorkingDirectoryAndArguments) {
    test::TempFolder folder, elsewhere;
    {
        test::RunningTestGame game(folder.path / L"VandroGLADE.exe", elsewhere.path);
    }
    EXPECT_EQ(test::ReadTestGameStartRecord(folder.path), "cwd=" + WideToUtf8(elsewhere.path.wstring()) + "\r\nargc=1\r\n");
    EXPECT_FALSE(IsGameRunning());
}
