// What the game's uninstall registration says about the installed game.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

struct InstalledGame {
    std::wstring installLocation;  // empty unless the executable is present
    std::wstring displayVersion;   // as read, even when the executable is gone
};

extern InstalledGame installedGame;

// Reads one string value of the game's HKCU uninstall key; empty on any problem.
std::wstring ReadUninstallValue(const std::wstring& valueName);

// The existence test behind detection: true for an entry of any kind
// (following links), false when absent, error set otherwise. Tests pass
// their own to reach the error path, which the platform rarely produces.
using ExistenceTest = bool (*)(const std::filesystem::path& path, std::error_code& error);
bool EntryExists(const std::filesystem::path& path, std::error_code& error);

// Refreshes both fields. Throws std::filesystem::filesystem_error ("exists")
// when the existence test fails for a reason other than absence; the
// location is cleared before that error leaves.
void DetectInstalledGame(ExistenceTest exists = EntryExists);

// installLocation joined with the game's executable name.
std::wstring GameExecutablePath();

// Start-up gate: Ready with its message for version 1.1.1 or later, else the
// install hint. Runs only when installLocation is non-empty. Single-threaded.
void CheckInstalledVersion();

// Start-up's detection followed by the version gate, before the window
// exists. An existence test that fails for a reason other than absence
// counts as "not installed" here instead of ending the launcher.
void DetectInstalledGameAtStartup(ExistenceTest exists = EntryExists);

// Reads "%d.%d.%d" with scanf's accepting rules, each component saturated to
// the signed 32-bit range. True when all three numbers were read.
struct VersionTriple {
    int major = 0, minor = 0, patch = 0;
};
bool ParseVersionTriple(const std::wstring& text, VersionTriple& out);
bool IsVersionCurrent(const std::wstring& text);
