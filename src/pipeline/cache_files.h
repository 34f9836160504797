// Changes to the package cache's files that wait out a brief hold. Antivirus
// and search indexers open new files for a moment right after they are
// written; a step that meets such a hold tries again for about two seconds
// before it counts as failed.
#pragma once

#include <string>

// Removes `path`. When that still fails, raises the standard filesystem
// error "remove" naming the path.
void RemoveCacheFile(const std::wstring& path);

// Renames `from` to `to` (which does not exist). When that still fails,
// raises the standard filesystem error "rename" naming both paths.
void RenameCacheFile(const std::wstring& from, const std::wstring& to);

// Moves `from` over `to`, replacing it, and waits until the move is on disk.
// False when that still fails.
bool ReplaceCacheFile(const std::wstring& from, const std::wstring& to);

// Creates `path` empty, or empties it, for writing. False when that still fails.
bool ClearCacheFileForWriting(const std::wstring& path);
