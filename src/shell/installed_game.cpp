#include "shell/installed_game.h"

#include <windows.h>

#include <climits>
#include <cwchar>
#include <filesystem>
#include <system_error>
#include <vector>

#include "pipeline/setup_contract.h"
#include "shell/launcher_state.h"
#include "shell/paths.h"

InstalledGame installedGame;

namespace {

constexpr DWORD kRegistryBufferBytes = 65536;
constexpr const wchar_t* kReadyMessage = L"Parkın hazır. Keşfe devam edebilirsin.";
constexpr const wchar_t* kNewReleaseHint = L"Yeni PC sürümü için İndir ve Kur ile devam et.";
constexpr VersionTriple kMinimumReadyVersion{1, 1, 1};

// The white space scanf skips before a number (C locale).
bool IsScanfSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// One "%d": white space, optional sign, at least one digit. Unlike scanf the
// value saturates instead of wrapping, so a huge component never reads small.
bool ReadNumber(const std::wstring& text, std::size_t& at, int& out) {
    while (at < text.size() && IsScanfSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    if (at >= text.size() || !IsDigit(text[at])) return false;
    long long magnitude = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        magnitude = magnitude * 10 + (text[at] - L'0');
        if (magnitude > limit) magnitude = limit;  // stays far below overflow of long long
    }
    out = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

bool ReadDot(const std::wstring& text, std::size_t& at) {
    if (at < text.size() && text[at] == L'.') {
        ++at;
        return true;
    }
    return false;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A drive with its root ("C:\…") or a share's root ("\\srv\share\…",
// "\\?\…"). Anything else would be read against the launcher's current
// folder, which is no place to look for the game, let alone start it from.
bool IsAbsoluteLocation(const std::wstring& location) {
    if (location.size() >= 3 && IsDriveLetter(location[0]) && location[1] == L':' && IsSeparator(location[2])) {
        return true;
    }
    if (location.size() < 3 || !IsSeparator(location[0]) || !IsSeparator(location[1])) return false;
    // A server (or "?", ".") of its own, then a separator and a share.
    const std::size_t server = location.find_first_of(L"\\/", 2);
    return server != 2 && server != std::wstring::npos && server + 1 < location.size() &&
           !IsSeparator(location[server + 1]);
}

bool AtLeast(const VersionTriple& v, const VersionTriple& minimum) {
    if (v.major != minimum.major) return v.major > minimum.major;
    if (v.minor != minimum.minor) return v.minor > minimum.minor;
    return v.patch >= minimum.patch;
}

}  // namespace

std::wstring ReadUninstallValue(const std::wstring& valueName) {
    std::vector<wchar_t> buffer(kRegistryBufferBytes / sizeof(wchar_t), L'\0');
    DWORD size = kRegistryBufferBytes;
    const LSTATUS result = RegGetValueW(HKEY_CURRENT_USER, kUninstallSubkey, valueName.c_str(),
                                        RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, /*type*/ nullptr, buffer.data(), &size);
    if (result != ERROR_SUCCESS) return {};
    return std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
}

std::wstring GameExecutablePath() { return JoinPath(installedGame.installLocation, kGameExeName); }

bool EntryExists(const std::filesystem::path& path, std::error_code& error) {
    return std::filesystem::exists(path, error);
}

void DetectInstalledGame(ExistenceTest exists) {
    installedGame.installLocation = ReadUninstallValue(kInstallLocationValue);
    installedGame.displayVersion = ReadUninstallValue(kDisplayVersionValue);
    if (!IsAbsoluteLocation(installedGame.installLocation)) {
        installedGame.installLocation.clear();
        return;
    }

    const std::filesystem::path executable = GameExecutablePath();
    std::error_code error;
    const bool present = exists(executable, error);
    if (error) {
        // Never leave a location behind that was not confirmed.
        installedGame.installLocation.clear();
        throw std::filesystem::filesystem_error("exists", executable, error);
    }
    if (!present) installedGame.installLocation.clear();
}

bool ParseVersionTriple(const std::wstring& text, VersionTriple& out) {
    std::size_t at = 0;
    VersionTriple read;
    if (!ReadNumber(text, at, read.major) || !ReadDot(text, at) || !ReadNumber(text, at, read.minor) ||
        !ReadDot(text, at) || !ReadNumber(text, at, read.patch)) {
        return false;
    }
    out = read;
    return true;
}

bool IsVersionCurrent(const std::wstring& text) {
    VersionTriple version;
    return ParseVersionTriple(text, version) && AtLeast(version, kMinimumReadyVersion);
}

void CheckInstalledVersion() {
    if (installedGame.installLocation.empty()) return;
    // Single-threaded at start-up: no lock, no post.
    if (IsVersionCurrent(installedGame.displayVersion)) {
        launcherState.phase = Ready;
        launcherState.statusMessage = kReadyMessage;
    } else {
        launcherState.statusMessage = kNewReleaseHint;
    }
}

void DetectInstalledGameAtStartup(ExistenceTest exists) {
    try {
        DetectInstalledGame(exists);
    } catch (const std::filesystem::filesystem_error&) {
        // No window exists yet to show anything; an unconfirmed game counts
        // as not installed (the location is already cleared).
    }
    CheckInstalledVersion();
}
