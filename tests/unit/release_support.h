// Releases published on the loopback test host, as the vendor would publish
// them: part files under a folder of the host root, a manifest naming them,
// per-path faults in the host's rules and a look at its request log.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pipeline/release_manifest.h"
#include "test_support.h"
#include "transfer/sha256.h"
#include "transfer/text_encoding.h"

namespace test {

// Deterministic bytes that differ with the seed.
inline std::string PatternBytes(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
    return bytes;
}

// A folder of its own on the host for the running test:
// /vandroglade/windows/<Suite>-<Name>/.
struct HostFolder {
    std::wstring urlPath;
    std::filesystem::path local;
    // sub: a folder inside the test's own, for a second release.
    explicit HostFolder(const std::string& sub = "") {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name =
            std::string(info->test_suite_name()) + "-" + info->name() + (sub.empty() ? "" : "/" + sub);
        urlPath = L"/vandroglade/windows/" + Utf8ToWide(name) + L"/";
        local = HostRoot() / L"vandroglade" / L"windows" / std::filesystem::path(Utf8ToWide(name)).make_preferred();
        std::filesystem::create_directories(local);
    }
    std::wstring Url(const std::wstring& file) const { return HostUrl(urlPath + file); }
    std::string UrlUtf8(const std::wstring& file) const { return WideToUtf8(Url(file)); }
    std::string RequestPath(const std::wstring& file) const { return WideToUtf8(urlPath + file); }
};

// The release manifest at the host's root address, which attempts fetch
// unless a test points them at a folder of its own.
inline std::filesystem::path RootManifestFile() {
    return HostRoot() / L"vandroglade" / L"windows" / L"latest.json";
}

// Adds per-path rules to the host's one shared rules file (tests that call
// this take its lock).
inline void SetHostRules(const nlohmann::json& rules) {
    const std::filesystem::path file = HostRoot() / L".rules.json";
    nlohmann::json all = nlohmann::json::object();
    const std::string old = ReadFileBytes(file);
    if (!old.empty()) {
        all = nlohmann::json::parse(old, nullptr, /*allow_exceptions*/ false);
        if (!all.is_object()) all = nlohmann::json::object();
    }
    all.update(rules);
    WriteFileBytes(file, all.dump(2));
}

// The request log's lines appended since construction.
struct RequestLog {
    std::filesystem::path file = HostRoot() / L".requests.log";
    std::size_t start = ReadFileBytes(file).size();
    std::string Since() const {
        const std::string all = ReadFileBytes(file);
        return all.size() > start ? all.substr(start) : std::string();
    }
};

// Splits `package` into parts of the given sizes, writes them as
// part-<i>.bin into the folder and returns a manifest that names them.
inline nlohmann::json PublishRelease(const HostFolder& folder, const std::string& package,
                                     const std::vector<std::size_t>& partSizes) {
    nlohmann::json parts = nlohmann::json::array();
    std::size_t offset = 0;
    for (std::size_t i = 0; i < partSizes.size(); ++i) {
        const std::string bytes = package.substr(offset, partSizes[i]);
        offset += partSizes[i];
        const std::wstring name = L"part-" + std::to_wstring(i) + L".bin";
        WriteFileBytes(folder.local / name, bytes);
        parts.push_back({{"size", bytes.size()}, {"sha256", Sha256Hex(bytes)}, {"url", folder.UrlUtf8(name)}});
    }
    return {{"schema", 1},
            {"appId", kAppId},
            {"version", "1.1.1"},
            {"sha256", Sha256Hex(package)},
            {"size", package.size()},
            {"parts", parts}};
}

}  // namespace test
