#include "pipeline/package_verify.h"

#include <filesystem>
#include <stdexcept>

#include "pipeline/cache_files.h"
#include "shell/launcher_state.h"

namespace {

// Twice proven: by the digest streamed during the download, then by the
// bytes as they lie on disk, which catches writes the stream never reported.
bool IsWholePackage(const ReleaseManifest& manifest, const CachePaths& paths, Sha256Hasher& packageDigest) {
    return packageDigest.FinishHex() == manifest.packageSha256 &&
           std::filesystem::file_size(std::filesystem::path(paths.partFilePath)) == manifest.packageSize &&
           HashFileSha256(paths.partFilePath) == manifest.packageSha256;
}

}  // namespace

void VerifyAndAssemble(const ReleaseManifest& manifest, const CachePaths& paths, Sha256Hasher& packageDigest) {
    PublishStatus(Verifying, kVerifyingMessage);
    if (!IsWholePackage(manifest, paths, packageDigest)) throw std::runtime_error("Package checksum");

    if (std::filesystem::exists(std::filesystem::path(paths.setupPath))) {
        RemoveCacheFile(paths.setupPath);
    }
    RenameCacheFile(paths.partFilePath, paths.setupPath);
}
