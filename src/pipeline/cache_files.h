// Changes to the package cache's files that wait out a brief hold. Antivirus
// and search indexers open new files for a moment right after they are
// written; a step that meets such a hold tries again for about two seconds
// before it counts as failed.
#pragma once

#include <fstream>
#include <string>

// Called as each step below begins, with the file it works on; null in the
// product. Lets a test start another program's hold at that very moment.
inline void (*cacheStepStarting)(const std::wstring& path) = nullptr;

// Removes `path`. When that still fails, raises the standard filesystem
// error "remove" naming the path.
void RemoveCacheFile(const std::wstring& path);

// Renames `from` to `to` (which does not exist). When that still fails,
// raises the standard filesystem error "rename" naming both paths.
void RenameCacheFile(const std::wstring& from, const std::wstring& to);

// Moves `from` over `to`, replacing it, and waits until the move is on disk.
// False when that still fails.
bool ReplaceCacheFile(const std::wstring& from, const std::wstring& to);

// Opens `stream` on `path`, created empty or emptied, for binary writing.
// False when that still fails.
bool OpenCacheStreamForWriting(const std::wstring& path, std::ofstream& stream);

// Creates `path` (or empties it) holding exactly `bytes`, and waits until
// they are on the disk itself, all through one handle. False when any of it
// fails; the file may then be left behind, short.
bool WriteCacheFileThrough(const std::wstring& path, const std::string& bytes);
