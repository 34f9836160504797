#include "pipeline/package_download.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "pipeline/cache_files.h"
#include "shell/launcher_state.h"
#include "shell/paths.h"
#include "transfer/http_transfer.h"
#include "transfer/text_encoding.h"

namespace {

// The package, the installed game and a reserve must all fit. A failed
// query counts as no room.
bool HasRoomFor(const ReleaseManifest& manifest, FreeSpaceQuery freeSpace) {
    std::uint64_t freeBytes = 0;
    if (!freeSpace(packageCacheFolder, freeBytes)) return false;
    // Cannot overflow: the manifest caps both sizes far below 2^64.
    return freeBytes >= manifest.packageSize + manifest.installedBytes + kFreeSpaceReserve;
}

// A setup program already in the cache counts only when it is the whole
// package: right size, right digest.
bool IsCompleteInCache(const ReleaseManifest& manifest, const std::wstring& setupPath) {
    const std::filesystem::path path(setupPath);
    return std::filesystem::exists(path) && std::filesystem::file_size(path) == manifest.packageSize &&
           HashFileSha256(setupPath) == manifest.packageSha256;
}

void DownloadPart(const ManifestPart& part, std::ofstream& stream, Sha256Hasher& packageDigest) {
    Sha256Hasher partDigest;
    std::uint64_t partBytes = 0;
    PartSink sink{stream, partDigest, packageDigest, partBytes};
    DownloadToFile(Utf8ToWide(part.url), sink, part.size);
    // Longer bodies were refused by the transfer; a shorter one ends here.
    if (partBytes != part.size) throw std::runtime_error("Part checksum");
    if (partDigest.FinishHex() != part.sha256) throw std::runtime_error("Part checksum");
}

}  // namespace

bool QueryFreeSpace(const std::wstring& folder, std::uint64_t& freeBytes) {
    ULARGE_INTEGER freeToCaller{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &freeToCaller, /*total*/ nullptr, /*totalFree*/ nullptr)) return false;
    freeBytes = freeToCaller.QuadPart;
    return true;
}

CachePaths MakeCachePaths(const ReleaseManifest& manifest) {
    CachePaths paths;
    const std::wstring name = L"VandroGLADE-" + Utf8ToWide(manifest.packageSha256.substr(0, 16)) + L".exe";
    paths.setupPath = JoinPath(packageCacheFolder, name);
    paths.partFilePath = paths.setupPath + L".part";
    return paths;
}

DownloadResult DownloadPackage(const ReleaseManifest& manifest, FreeSpaceQuery freeSpace) {
    DownloadResult result;
    if (!HasRoomFor(manifest, freeSpace)) {
        PublishStatus(Failed, kNoRoomMessage);
        result.outcome = DownloadOutcome::NoRoom;
        return result;
    }

    result.paths = MakeCachePaths(manifest);
    if (IsCompleteInCache(manifest, result.paths.setupPath)) {
        result.outcome = DownloadOutcome::Reused;
        return result;
    }

    // One stream for all parts, so they land back to back in manifest order.
    // The part file of an earlier attempt may still be held for a moment.
    std::ofstream stream;
    if (!OpenCacheStreamForWriting(result.paths.partFilePath, stream)) throw std::runtime_error("Cache create");

    result.packageDigest = std::make_unique<Sha256Hasher>();
    PublishStatus(Downloading, kDownloadingMessage);
    for (const ManifestPart& part : manifest.parts) {
        DownloadPart(part, stream, *result.packageDigest);
    }
    // A failing close raises nothing: verification reads the file back and
    // catches any shortfall.
    stream.close();
    result.outcome = DownloadOutcome::Downloaded;
    return result;
}
