// The one per-user folder of the launcher and the one path join rule.
#pragma once

#include <string>

// %LOCALAPPDATA%\Vandro\Launcher\Cache; empty until start-up resolves it.
extern std::wstring packageCacheFolder;

// Fills packageCacheFolder and creates it with every missing ancestor.
// Returns false when the known folder cannot be obtained or the chain cannot
// be created; the caller decides what start-up does then.
bool ResolvePackageCacheFolder();

// Windows path append: one separator between the sides, a bare drive prefix
// joins without one, a rooted or drive-qualified right side replaces.
std::wstring JoinPath(const std::wstring& left, const std::wstring& right);

inline constexpr const wchar_t* kLauncherLogName = L"launcher.log";
inline constexpr const wchar_t* kSetupLogName = L"install.log";
inline constexpr const wchar_t* kInstalledRecordName = L"installed-package.json";
