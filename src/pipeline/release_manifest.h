// The release manifest: fetched, parsed and validated before any package byte.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

struct ManifestPart {
    std::uint64_t size = 0;
    std::string sha256;
    std::string url;  // UTF-8 as in the document
};

// The implicit move is noexcept through the JSON library's own noexcept move;
// the throw the check finds lies on a path that move never takes.
// NOLINTNEXTLINE(bugprone-exception-escape)
struct ReleaseManifest {
    nlohmann::json document;  // kept whole: "version" is read again later
    std::string packageSha256;
    std::uint64_t packageSize = 0;
    std::uint64_t installedBytes = 0;
    std::vector<ManifestPart> parts;
};

inline constexpr std::uint64_t kMaxPackageSize = 17179869184ULL;   // 16 GiB
inline constexpr std::uint64_t kMaxPartSize = 268435456ULL;        // 256 MiB
inline constexpr std::size_t kMaxParts = 256;
inline constexpr std::uint64_t kMaxInstalledBytes = 137438953472ULL;  // 128 GiB
inline constexpr const char* kAppId = "com.vandro.vandroglade";

// Validates a manifest body; stores the package size into bytesTotal once the
// part sizes add up. Throws the failure label or the JSON library's error.
ReleaseManifest ParseReleaseManifest(const std::string& body);

// Fetches manifestUrl and validates it.
ReleaseManifest FetchReleaseManifest();
