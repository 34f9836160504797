// Helpers around the two fixture programs: the test setup program (with its
// scenario appended to its own bytes), the test game, and the game's
// uninstall registration in the test prefix.
#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "pipeline/package_download.h"
#include "pipeline/release_manifest.h"
#include "pipeline/setup_contract.h"
#include "pipeline/setup_run.h"
#include "shell/installed_game.h"
#include "shell/paths.h"
#include "test_support.h"
#include "transfer/sha256.h"
#include "transfer/text_encoding.h"

namespace test {

// Must match tests/fixtures/test_setup.cpp and tests/fixtures/test_game.cpp.
inline constexpr const char* kScenarioMarker = "\n--vandro-test-scenario--\n";
inline constexpr const wchar_t* kTestGameStopEvent = L"VandroGLADE.TestGame.Stop";
inline constexpr const wchar_t* kTestGameStartRecord = L"test-game-start.txt";

// What the test setup program does when the launcher runs it.
struct SetupScenario {
    std::uint32_t exitCode = 0;
    bool registerGame = true;      // write "InstallLocation" and "DisplayVersion"
    bool installGame = true;       // copy the test game in as "VandroGLADE.exe"
    std::string version = "1.1.1"; // "DisplayVersion", UTF-8
    std::wstring installFolder;    // empty: %LOCALAPPDATA%\Programs\VandroGLADE Test
    std::wstring gameSource;       // empty: the built test_game.exe
    unsigned delayMs = 0;          // sleep before installing
    std::wstring waitEvent;        // named event to wait for before installing (2 min at most)
};

inline std::filesystem::path TestGameExe() { return FixturesDir() / L"test_game.exe"; }

// The bytes of a setup program that plays the scenario.
inline std::string TestSetupProgramBytes(const SetupScenario& s) {
    std::string bytes = ReadFileBytes(FixturesDir() / L"test_setup.exe");
    if (bytes.empty()) throw std::runtime_error("test_setup.exe not built");
    const nlohmann::json scenario = {
        {"exitCode", s.exitCode},
        {"register", s.registerGame},
        {"installGame", s.installGame},
        {"version", s.version},
        {"installFolder", WideToUtf8(s.installFolder)},
        {"gameSource", WideToUtf8(s.gameSource.empty() ? TestGameExe().wstring() : s.gameSource)},
        {"delayMs", s.delayMs},
        {"waitEvent", WideToUtf8(s.waitEvent)},
    };
    return bytes + kScenarioMarker + scenario.dump();
}

// A verified setup program as the cache holds it before the setup step, and
// the manifest of its release. version: the manifest's "version" member, or
// none to leave it out.
struct PlacedSetup {
    ReleaseManifest manifest;
    CachePaths paths;
};

inline PlacedSetup PlaceTestSetupProgram(const SetupScenario& scenario,
                                         const std::optional<nlohmann::json>& version = nlohmann::json("1.4.2")) {
    const std::string bytes = TestSetupProgramBytes(scenario);
    PlacedSetup placed;
    placed.manifest.packageSha256 = Sha256Hex(bytes);
    placed.manifest.packageSize = bytes.size();
    placed.manifest.document = nlohmann::json::object();
    if (version) placed.manifest.document["version"] = *version;
    placed.paths = MakeCachePaths(placed.manifest);
    WriteFileBytes(placed.paths.setupPath, bytes);
    return placed;
}

// ---- the game's uninstall registration ----

inline void DeleteGameRegistration(HKEY root = HKEY_CURRENT_USER) {
    RegDeleteKeyExW(root, kUninstallSubkey, KEY_WOW64_64KEY, 0);
}

inline void SetGameRegistrationValue(HKEY root, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, kUninstallSubkey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the uninstall key");
    }
    const LSTATUS set = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (set != ERROR_SUCCESS) throw std::runtime_error("cannot set an uninstall value");
}

// Removes the registration (both roots) now and again when the test ends.
struct GameRegistrationGuard {
    GameRegistrationGuard() { Clear(); }
    ~GameRegistrationGuard() { Clear(); }
    GameRegistrationGuard(const GameRegistrationGuard&) = delete;
    GameRegistrationGuard& operator=(const GameRegistrationGuard&) = delete;
    static void Clear() {
        DeleteGameRegistration(HKEY_CURRENT_USER);
        DeleteGameRegistration(HKEY_LOCAL_MACHINE);
    }
};

// A clean launcher state (cache in a temporary folder), no game
// registration and an empty installedGame; all restored when the test ends.
struct CleanInstallState {
    CleanLauncherState launcher;
    GameRegistrationGuard registration;
    CleanInstallState() { installedGame = InstalledGame{}; }
    ~CleanInstallState() { installedGame = InstalledGame{}; }
    CleanInstallState(const CleanInstallState&) = delete;
    CleanInstallState& operator=(const CleanInstallState&) = delete;
};

// ---- the test game ----

// The test game's stop request: set while the object lives, cleared after.
struct TestGameStopRequest {
    HANDLE event = CreateEventW(nullptr, /*manualReset*/ TRUE, FALSE, kTestGameStopEvent);
    TestGameStopRequest() { SetEvent(event); }
    ~TestGameStopRequest() {
        ResetEvent(event);
        CloseHandle(event);
    }
    TestGameStopRequest(const TestGameStopRequest&) = delete;
    TestGameStopRequest& operator=(const TestGameStopRequest&) = delete;
};

// Stops every test game and waits (30 s at most) until no process named
// like the game runs, so that the next game stays up.
inline void StopTestGames() {
    TestGameStopRequest stop;
    WaitUntil(30, [] { return !IsGameRunning(); });
}

// How the game in `folder` was started: "cwd=…", "argc=…", "argN=…" lines.
inline std::string ReadTestGameStartRecord(const std::filesystem::path& folder) {
    return ReadFileBytes(folder / kTestGameStartRecord);
}

// A copy of the test game at exePath, started with workingDir as its working
// directory and no arguments, running until the object goes away.
struct RunningTestGame {
    PROCESS_INFORMATION process{};

    explicit RunningTestGame(const std::filesystem::path& exePath, const std::filesystem::path& workingDir = {}) {
        std::filesystem::create_directories(exePath.parent_path());
        std::filesystem::copy_file(TestGameExe(), exePath, std::filesystem::copy_options::overwrite_existing);
        const std::filesystem::path record = exePath.parent_path() / kTestGameStartRecord;
        std::error_code ignored;
        std::filesystem::remove(record, ignored);
        StopTestGames();  // also clears a stop request left set

        std::wstring commandLine = L"\"" + exePath.wstring() + L"\"";
        const std::wstring cwd = workingDir.empty() ? exePath.parent_path().wstring() : workingDir.wstring();
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(),
                            &startup, &process)) {
            throw std::runtime_error("cannot start the test game");
        }
        // Once the record reads back the game is in the process list.
        WaitUntil(30, [&] { return !ReadFileBytes(record).empty(); });
    }
    ~RunningTestGame() {
        {
            TestGameStopRequest stop;
            WaitForSingleObject(process.hProcess, 10000);
        }
        StopTestGames();
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RunningTestGame(const RunningTestGame&) = delete;
    RunningTestGame& operator=(const RunningTestGame&) = delete;
};

}  // namespace test
