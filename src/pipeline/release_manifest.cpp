#include "pipeline/release_manifest.h"

#include <limits>
#include <stdexcept>

#include "shell/launcher_state.h"
#include "transfer/download_host.h"
#include "transfer/download_url.h"
#include "transfer/http_transfer.h"
#include "transfer/text_encoding.h"

namespace {

using nlohmann::json;

[[noreturn]] void Fail(const char* label) { throw std::runtime_error(label); }

// Digest text as the hasher produces it: 64 characters of 0-9 and a-f.
bool IsDigestText(const std::string& text) {
    if (text.size() != 64) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

// The library converts numbers by a plain cast: an integer outside the 32-bit
// range would wrap (4294967297 reading as 1) and a floating-point value
// outside the target range is undefined behaviour. Such values saturate
// instead, so they fail their rule; everything in range, booleans and
// non-numbers go through the library's own conversion and errors.
std::int32_t ReadInt32(const json& value) {
    constexpr std::int32_t low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t high = std::numeric_limits<std::int32_t>::max();
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() > static_cast<std::uint64_t>(high) ? high : value.get<std::int32_t>();
    }
    if (value.is_number_integer()) {
        const std::int64_t v = value.get<std::int64_t>();
        return v < low ? low : v > high ? high : static_cast<std::int32_t>(v);
    }
    if (value.is_number_float()) {
        const double v = value.get<double>();
        if (!(v > -2147483649.0)) return low;
        if (!(v < 2147483648.0)) return high;
    }
    return value.get<std::int32_t>();
}

std::uint64_t ReadUnsigned64(const json& value) {
    if (value.is_number_float()) {
        const double v = value.get<double>();
        // Truncation keeps (-1, 0) at 0; anything else outside the range
        // becomes the largest value, like a negative integer does.
        if (!(v > -1.0 && v < 18446744073709551616.0)) return std::numeric_limits<std::uint64_t>::max();
    }
    return value.get<std::uint64_t>();
}

// A valid manifest nests three levels deep ("version" may add a few). Copying
// or writing a value recurses once per level, so a hostile document of tens
// of thousands of nested brackets would overflow the worker's stack and take
// the whole launcher down: refuse it while parsing instead.
constexpr int kMaxManifestDepth = 64;

bool LimitDepth(int depth, json::parse_event_t /*event*/, json& /*parsed*/) {
    if (depth > kMaxManifestDepth) Fail("Manifest nesting");
    return true;
}

ManifestPart ReadPart(const json& part) {
    ManifestPart result;
    result.size = ReadUnsigned64(part.at("size"));
    if (result.size - 1 > kMaxPartSize - 1) Fail("Part metadata");
    result.sha256 = part.at("sha256").get<std::string>();
    if (!IsDigestText(result.sha256)) Fail("Part metadata");
    result.url = part.at("url").get<std::string>();
    CheckDownloadUrl(Utf8ToWide(result.url));
    return result;
}

}  // namespace

ReleaseManifest ParseReleaseManifest(const std::string& body) {
    // The parser takes a NUL byte for the end of its input and would never
    // look at what follows; a JSON text cannot contain one.
    if (body.find('\0') != std::string::npos) Fail("Manifest NUL byte");
    ReleaseManifest manifest;
    manifest.document = json::parse(body, LimitDepth, /*allow_exceptions*/ true, /*ignore_comments*/ false);
    const json& document = manifest.document;

    if (ReadInt32(document.value("schema", json(0))) != 1) Fail("Manifest schema");
    if (document.value("appId", std::string()) != kAppId) Fail("Manifest schema");

    manifest.packageSha256 = document.at("sha256").get<std::string>();
    if (!IsDigestText(manifest.packageSha256)) Fail("Manifest checksum");

    manifest.packageSize = ReadUnsigned64(document.at("size"));
    if (manifest.packageSize - 1 > kMaxPackageSize - 1) Fail("Manifest size");

    const json parts = document.at("parts");
    if (!parts.is_array() || parts.empty() || parts.size() > kMaxParts) Fail("Manifest parts");

    std::uint64_t total = 0;
    manifest.parts.reserve(parts.size());
    for (const json& part : parts) {
        manifest.parts.push_back(ReadPart(part));
        total += manifest.parts.back().size;
    }
    if (total != manifest.packageSize) Fail("Part total");

    // From here on the window may show the package size, even if the
    // installed size below still fails.
    launcherState.bytesTotal.exchange(manifest.packageSize);

    manifest.installedBytes = ReadUnsigned64(document.value("installedBytes", json(manifest.packageSize)));
    if (manifest.installedBytes > kMaxInstalledBytes) Fail("Installed size");
    return manifest;
}

ReleaseManifest FetchReleaseManifest() {
    std::string body;
    DownloadToMemory(manifestUrl, body, kManifestMaxBytes);
    return ParseReleaseManifest(body);
}
