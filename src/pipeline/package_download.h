// The package cache: room check, reuse of a complete setup program, and the
// download of every part into one part file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pipeline/release_manifest.h"
#include "transfer/sha256.h"

struct CachePaths {
    std::wstring setupPath;
    std::wstring partFilePath;
};

enum class DownloadOutcome { NoRoom, Reused, Downloaded };

struct DownloadResult {
    DownloadOutcome outcome = DownloadOutcome::NoRoom;
    CachePaths paths;
    std::unique_ptr<Sha256Hasher> packageDigest;  // only when Downloaded
};

inline constexpr std::uint64_t kFreeSpaceReserve = 536870912ULL;  // 512 MiB

inline constexpr const wchar_t* kNoRoomMessage = L"Kurulum için yeterli boş alan bulunamadı.";
inline constexpr const wchar_t* kDownloadingMessage = L"Parkın bilgisayarına geliyor\u2026";

// The free space available to this user on the cache folder's disk; false
// when the query fails.
using FreeSpaceQuery = bool (*)(const std::wstring& folder, std::uint64_t& freeBytes);
bool QueryFreeSpace(const std::wstring& folder, std::uint64_t& freeBytes);

CachePaths MakeCachePaths(const ReleaseManifest& manifest);
DownloadResult DownloadPackage(const ReleaseManifest& manifest, FreeSpaceQuery freeSpace = QueryFreeSpace);
