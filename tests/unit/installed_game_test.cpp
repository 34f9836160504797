// Detection of the installed game through its HKCU uninstall registration,
// and the start-up version gate.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string_view>

#include "player_texts.h"
#include "fixture_support.h"
#include "shell/installed_game.h"

namespace {


struct VersionRow {
    const wchar_t* text;
    bool read;   // all three numbers read
    int major, minor, patch;
    bool ready;
};

// scanf "%d.%d.%d" accepting rules; components saturate instead of wrapping.
const VersionRow kVersionRows[] = {
    {L"1.1.1", true, 1, 1, 1, true},
    {L"1.2.0", true, 1, 2, 0, true},
    {L"1.10.0", true, 1, 10, 0, true},  // numeric, not textual
    {L"2.0.0", true, 2, 0, 0, true},
    {L"1.1.0", true, 1, 1, 0, false},
    {L"1.0.9", true, 1, 0, 9, false},
    {L"1.2", false, 0, 0, 0, false},  // fewer than three numbers
    {L"5", false, 0, 0, 0, false},
    {L"1.1.1.5", true, 1, 1, 1, true},  // the rest is ignored
    {L"1.1.1-beta", true, 1, 1, 1, true},
    {L"1.1.1 and any words", true, 1, 1, 1, true},
    {L" 1.1.1", true, 1, 1, 1, true},  // white space before a number is skipped
    {L"1. 1.1", true, 1, 1, 1, true},
    {L"\t1.\n1.\r1", true, 1, 1, 1, true},
    {L"1 .1.1", false, 0, 0, 0, false},  // a dot must follow the number directly
    {L"v1.1.1", false, 0, 0, 0, false},
    {L"01.01.01", true, 1, 1, 1, true},
    {L"+1.+1.+1", true, 1, 1, 1, true},
    {L"-1.5.0", true, -1, 5, 0, false},
    {L"1.1.-1", true, 1, 1, -1, false},
    {L"1.1.", false, 0, 0, 0, false},
    {L"1.-.1", false, 0, 0, 0, false},
    {L"", false, 0, 0, 0, false},
    {L"2147483647.0.0", true, INT_MAX, 0, 0, true},
    {L"-2147483648.0.0", true, INT_MIN, 0, 0, false},
    // Overflow saturates: wrapping would read these as 1.1.1, 0.5.0 and 1.1.1.
    {L"4294967297.1.1", true, INT_MAX, 1, 1, true},
    {L"4294967296.5.0", true, INT_MAX, 5, 0, true},
    {L"1.1.-4294967295", true, 1, 1, INT_MIN, false},
    {L"1.99999999999999999999999999.0", true, 1, INT_MAX, 0, true},
};

struct DetectFixture {
    test::CleanInstallState state;
    test::TempFolder game;
};

enum class Exe { None, File, Folder };

struct StartupRow {
    const char* name;
    HKEY root;                  // where the registration goes; nullptr: none
    const wchar_t* locationTail;  // appended to the game folder; nullptr: no "InstallLocation"
    const wchar_t* version;     // nullptr: no "DisplayVersion"
    Exe exe;
    bool installed;
    LauncherPhase phase;
    const wchar_t* message;
    // The whole location instead, with %N the game folder's name (the test
    // runs in its parent folder), %D its drive, %R its path from the drive's
    // root, %P all of it.
    const wchar_t* form = nullptr;
};

const StartupRow kStartupRows[] = {
    {"no registration", nullptr, nullptr, nullptr, Exe::File, false, Idle, test::texts::kInitial},
    {"version without location", HKEY_CURRENT_USER, nullptr, L"1.1.1", Exe::File, false, Idle, test::texts::kInitial},
    {"location without exe", HKEY_CURRENT_USER, L"", L"1.1.1", Exe::None, false, Idle, test::texts::kInitial},
    {"current version", HKEY_CURRENT_USER, L"", L"1.1.1", Exe::File, true, Ready, test::texts::kReadyAtStart},
    {"older version", HKEY_CURRENT_USER, L"", L"1.1.0", Exe::File, true, Idle, test::texts::kNewRelease},
    {"not three numbers", HKEY_CURRENT_USER, L"", L"1.2", Exe::File, true, Idle, test::texts::kNewRelease},
    {"empty version", HKEY_CURRENT_USER, L"", L"", Exe::File, true, Idle, test::texts::kNewRelease},
    {"no version value", HKEY_CURRENT_USER, L"", nullptr, Exe::File, true, Idle, test::texts::kNewRelease},
    {"folder named like the exe", HKEY_CURRENT_USER, L"", L"1.2.0", Exe::Folder, true, Ready, test::texts::kReadyAtStart},
    {"trailing backslash", HKEY_CURRENT_USER, L"\\", L"2.0.0", Exe::File, true, Ready, test::texts::kReadyAtStart},
    {"trailing slash", HKEY_CURRENT_USER, L"/", L"2.0.0", Exe::File, true, Ready, test::texts::kReadyAtStart},
    {"machine-wide only", HKEY_LOCAL_MACHINE, L"", L"1.1.1", Exe::File, false, Idle, test::texts::kInitial},
    {"relative to the current folder", HKEY_CURRENT_USER, L"", L"1.1.1", Exe::File, false, Idle, test::texts::kInitial, L"%N"},
    {"relative to the drive's current folder", HKEY_CURRENT_USER, L"", L"1.1.1", Exe::File, false, Idle, test::texts::kInitial, L"%D%N"},
    {"from the current drive's root", HKEY_CURRENT_USER, L"", L"1.1.1", Exe::File, false, Idle, test::texts::kInitial, L"%R"},
    {"share root", HKEY_CURRENT_USER, L"", L"1.1.1", Exe::File, true, Ready, test::texts::kReadyAtStart, L"\\\\srv\\share\\Oyun"},
    {"long-path root", HKEY_CURRENT_USER, L"", L"1.1.1", Exe::File, true, Ready, test::texts::kReadyAtStart, L"\\\\?\\%P"},
};

std::wstring Expand(const wchar_t* form, const std::filesystem::path& game) {
    const std::wstring drive = game.root_name().wstring();
    std::wstring out;
    for (const wchar_t* at = form; *at; ++at) {
        if (*at != L'%') {
            out += *at;
            continue;
        }
        ++at;
        if (*at == L'N') out += game.filename().wstring();
        if (*at == L'D') out += drive;
        if (*at == L'R') out += game.wstring().substr(drive.size());
        if (*at == L'P') out += game.wstring();
    }
    return out;
}

// The table's one network share, which the test machine has not: present
// whenever asked about.
bool ExistsOnStandInShare(const std::filesystem::path& path, std::error_code& error) {
    constexpr std::wstring_view kShare = L"\\\\srv\\share\\";
    const std::wstring text = path.wstring();
    if (std::wstring_view(text).substr(0, kShare.size()) == kShare) {
        error.clear();
        return true;
    }
    return EntryExists(path, error);
}

// Runs in another folder for its lifetime.
struct CurrentFolder {
    std::filesystem::path saved = std::filesystem::current_path();
    explicit CurrentFolder(const std::filesystem::path& folder) { std::filesystem::current_path(folder); }
    ~CurrentFolder() { std::filesystem::current_path(saved); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;
};

void SetDword(const wchar_t* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallSubkey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

bool FailingExistenceTest(const std::filesystem::path&, std::error_code& error) {
    error = std::make_error_code(std::errc::permission_denied);
    return false;
}

}  // namespace

TEST(DetectVersion, ReadsThreeNumbersLikeScanfAndGatesAt111) {
    for (const VersionRow& row : kVersionRows) {
        SCOPED_TRACE(WideToUtf8(row.text));
        VersionTriple v{7, 7, 7};
        EXPECT_EQ(ParseVersionTriple(row.text, v), row.read);
        if (row.read) {
            EXPECT_EQ(v.major, row.major);
            EXPECT_EQ(v.minor, row.minor);
            EXPECT_EQ(v.patch, row.patch);
        }
        EXPECT_EQ(IsVersionCurrent(row.text), row.ready);
    }
}

TEST(DetectStartup, OutcomeFollowsRegistrationAndFolder) {
    for (const StartupRow& row : kStartupRows) {
        SCOPED_TRACE(row.name);
        DetectFixture f;
        const std::filesystem::path exe = f.game.path / kGameExeName;
        if (row.exe == Exe::File) test::WriteFileBytes(exe, "MZ");
        if (row.exe == Exe::Folder) std::filesystem::create_directories(exe);
        const std::wstring location = row.form          ? Expand(row.form, f.game.path)
                                      : row.locationTail ? f.game.path.wstring() + row.locationTail
                                                         : L"";
        if (row.root && row.locationTail) test::SetGameRegistrationValue(row.root, kInstallLocationValue, location);
        if (row.root && row.version) test::SetGameRegistrationValue(row.root, kDisplayVersionValue, row.version);

        // A relative location would find the game from here.
        const CurrentFolder beside(f.game.path.parent_path());
        DetectInstalledGameAtStartup(ExistsOnStandInShare);

        EXPECT_EQ(installedGame.installLocation, row.installed ? location : L"");
        EXPECT_EQ(launcherState.phase, row.phase);
        EXPECT_EQ(launcherState.statusMessage, row.message);
        if (row.installed) {
            // Exactly one separator before the name, whichever the location ends with.
            const std::wstring separator = *row.locationTail ? row.locationTail : L"\\";
            EXPECT_EQ(GameExecutablePath(), (row.form ? location : f.game.path.wstring()) + separator + L"VandroGLADE.exe");
        }
        if (row.root == HKEY_CURRENT_USER && row.version) {
            EXPECT_EQ(installedGame.displayVersion, row.version);
        }
    }
}

TEST(DetectRegistry, ValueReadsAsTextOnlyWhenItIsAStringThatFits) {
    DetectFixture f;
    EXPECT_EQ(ReadUninstallValue(kInstallLocationValue), L"");  // no key at all

    const std::wstring longest(32767, L'x');  // plus its terminator: exactly 65,536 bytes
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kDisplayVersionValue, longest);
    EXPECT_EQ(ReadUninstallValue(kDisplayVersionValue), longest);

    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kDisplayVersionValue, longest + L"x");
    EXPECT_EQ(ReadUninstallValue(kDisplayVersionValue), L"");

    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kInstallLocationValue, L"C:\\Oyunlar\\VandroGLADE İş");
    EXPECT_EQ(ReadUninstallValue(kInstallLocationValue), L"C:\\Oyunlar\\VandroGLADE İş");

    SetDword(kInstallLocationValue, 7);  // not a string: absent
    EXPECT_EQ(ReadUninstallValue(kInstallLocationValue), L"");
}

TEST(DetectStartup, OverlongLocationCountsAsNotInstalled) {
    DetectFixture f;
    test::WriteFileBytes(f.game.path / kGameExeName, "MZ");
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kInstallLocationValue,
                                   f.game.path.wstring() + L"\\" + std::wstring(40000, L'a'));
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kDisplayVersionValue, L"1.1.1");
    DetectInstalledGameAtStartup();
    EXPECT_EQ(installedGame.installLocation, L"");
    EXPECT_EQ(launcherState.phase, Idle);
    EXPECT_EQ(launcherState.statusMessage, test::texts::kInitial);
}

TEST(DetectWorker, DeletedExecutableClearsLocationButKeepsVersion) {
    DetectFixture f;
    const std::filesystem::path exe = f.game.path / kGameExeName;
    test::WriteFileBytes(exe, "MZ");
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kInstallLocationValue, f.game.path.wstring());
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kDisplayVersionValue, L"1.3.0");
    DetectInstalledGame();
    EXPECT_EQ(installedGame.installLocation, f.game.path.wstring());

    std::filesystem::remove(exe);
    DetectInstalledGame();
    EXPECT_EQ(installedGame.installLocation, L"");
    EXPECT_EQ(installedGame.displayVersion, L"1.3.0");
    EXPECT_EQ(launcherState.phase, Idle);  // detection alone never runs the gate
}

TEST(DetectWorker, ExistenceErrorRaisesExistsAndClearsLocation) {
    DetectFixture f;
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kInstallLocationValue, f.game.path.wstring());
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kDisplayVersionValue, L"1.1.1");
    try {
        DetectInstalledGame(FailingExistenceTest);
        FAIL() << "no error raised";
    } catch (const std::filesystem::filesystem_error& error) {
        EXPECT_NE(std::string(error.what()).find("exists"), std::string::npos) << error.what();
        EXPECT_EQ(error.code(), std::make_error_code(std::errc::permission_denied));
        EXPECT_EQ(error.path1(), f.game.path / kGameExeName);
    }
    EXPECT_EQ(installedGame.installLocation, L"");
    EXPECT_EQ(installedGame.displayVersion, L"1.1.1");
}

TEST(DetectStartup, ExistenceErrorCountsAsNotInstalled) {
    DetectFixture f;
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kInstallLocationValue, f.game.path.wstring());
    test::SetGameRegistrationValue(HKEY_CURRENT_USER, kDisplayVersionValue, L"1.1.1");
    EXPECT_NO_THROW(DetectInstalledGameAtStartup(FailingExistenceTest));
    EXPECT_EQ(installedGame.installLocation, L"");
    EXPECT_EQ(launcherState.phase, Idle);
    EXPECT_EQ(launcherState.statusMessage, test::texts::kInitial);
}
