// Hostile input: seeded mutations of a valid release manifest and of part
// URLs. Every case must end in a known failure label, a JSON library error
// or a manifest that keeps every rule; never a crash, a hang or another
// exception. The seed is printed; VANDRO_FUZZ_SEED replays or varies it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/installed_record.h"
#include "pipeline/release_manifest.h"
#include "release_support.h"
#include "test_support.h"
#include "transfer/download_host.h"
#include "transfer/download_url.h"
#include "transfer/http_transfer.h"
#include "transfer/text_encoding.h"

namespace {

using nlohmann::json;

constexpr int kManifestCases = 5000;
constexpr int kUrlCases = 5000;

const std::set<std::string> kManifestLabels = {
    "Manifest schema", "Manifest checksum", "Manifest size",  "Manifest parts",           "Part metadata",
    "Part total",      "Installed size",    "Invalid URL",    "Unexpected download host", "Unexpected download path",
    "Invalid UTF8",    "Manifest nesting", "Manifest NUL byte"};
const std::set<std::string> kUrlLabels = {"Invalid URL", "Unexpected download host", "Unexpected download path"};

std::uint64_t Seed() { return test::SeedFromEnv(L"VANDRO_FUZZ_SEED", 20240611ULL, "hostile input"); }

struct Random {
    std::mt19937_64 engine;
    explicit Random(std::uint64_t seed) : engine(seed) {}
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(engine() % n); }
    bool OneIn(std::size_t n) { return Below(n) == 0; }
    template <class T>
    const T& Pick(const std::vector<T>& options) {
        return options[Below(options.size())];
    }
    std::string Hex(std::size_t length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += "0123456789abcdef"[Below(16)];
        return text;
    }
};

// The address of a part on the built-in host, as the vendor would publish it.
std::string PartUrl(std::size_t index) {
    const std::wstring base = manifestUrl.substr(0, manifestUrl.rfind(L'/') + 1);
    return WideToUtf8(base + L"fuzz/part-" + std::to_wstring(index) + L".bin");
}

json ValidManifest(Random& random) {
    const std::size_t count = random.OneIn(20) ? kMaxParts : 1 + random.Below(4);
    json parts = json::array();
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t size = random.OneIn(10) ? kMaxPartSize : 1 + random.Below(1 << 20);
        total += size;
        parts.push_back({{"size", size}, {"sha256", random.Hex(64)}, {"url", PartUrl(i)}});
    }
    json manifest = {{"schema", 1}, {"appId", kAppId}, {"version", "1.1.1"},
                     {"sha256", random.Hex(64)}, {"size", total}, {"parts", parts}};
    if (random.OneIn(2)) manifest["installedBytes"] = random.Below(2) * total;
    return manifest;
}

// Values of every JSON type, at and beyond the limits the launcher applies.
json HostileValue(Random& random) {
    static const std::vector<json> values = {
        nullptr, true, false, 0, 1, -1, 2, 0.5, -0.0, 1.9999, 1e300, -1e300, 2147483648.0, -2147483649.0,
        json(static_cast<std::uint64_t>(kMaxPartSize)), json(kMaxPartSize + 1), json(kMaxPackageSize),
        json(kMaxPackageSize + 1), json(kMaxInstalledBytes), json(kMaxInstalledBytes + 1),
        json(std::uint64_t{18446744073709551615ULL}), json(std::int64_t{-9223372036854775807LL - 1}),
        18446744073709551616.0, 4294967297ULL, "", "1", "com.vandro.vandroglade", "COM.VANDRO.VANDROGLADE",
        std::string(64, 'A'), std::string(63, 'a'), std::string(65, 'a'), std::string(64, 'g'),
        "İndir ve Kur \u2026 \u2019 \u202e\ufeff", std::string("nul\0inside", 10), "\xF0\x9F\x8E\xA2",
        json::array(), json::array({1, 2}), json::object(), json::object({{"size", 1}}),
        json::array({json::array({json::array({json::object()})})}), std::string(100000, 'x')};
    return random.Pick(values);
}

std::string HostileUrlText(Random& random);

// One change to the document tree: a key removed, replaced, added, or a
// parts array stretched past its limit.
void MutateTree(json& manifest, Random& random) {
    static const std::vector<std::string> topKeys = {"schema", "appId", "sha256", "size", "parts",
                                                     "installedBytes", "version", "extra"};
    static const std::vector<std::string> partKeys = {"size", "sha256", "url", "extra"};
    json empty = json::array();
    json& parts = manifest.contains("parts") ? manifest["parts"] : empty;
    const bool onPart = parts.is_array() && !parts.empty() && random.OneIn(2);
    json& target = onPart ? parts[random.Below(parts.size())] : manifest;
    if (onPart && random.OneIn(8)) {
        target = HostileValue(random);  // the part itself is not an object
        return;
    }
    if (!target.is_object()) return;
    const std::string key = random.Pick(onPart ? partKeys : topKeys);
    switch (random.Below(6)) {
        case 0: target.erase(key); break;
        case 1:
        case 2: target[key] = HostileValue(random); break;
        case 3:
            if (onPart) target["url"] = HostileUrlText(random);
            else target["appId"] = random.Pick(std::vector<std::string>{"com.vandro.vandroglade ", "com.vandro.vandroglad"});
            break;
        case 4:
            if (parts.is_array() && !parts.empty()) {
                const json copy = parts[0];
                const std::size_t extra = random.OneIn(2) ? kMaxParts + 1 - parts.size() : 1;
                for (std::size_t i = 0; i < extra && parts.size() <= kMaxParts; ++i) parts.push_back(copy);
            }
            break;
        default:
            if (target.contains("size") && target["size"].is_number_unsigned()) {
                target["size"] = target["size"].get<std::uint64_t>() + (random.OneIn(2) ? 1 : -1);
            }
            break;
    }
}

// Deep nesting of up to `depth` arrays, as text: the library must not
// recurse through it while parsing, copying or releasing.
std::string Nesting(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// Changes to the text that a tree cannot express: duplicate keys, broken
// syntax, invalid UTF-8, literal numbers out of every range, deep nesting.
void MutateText(std::string& text, Random& random) {
    const std::size_t at = random.Below(text.size() + 1);
    switch (random.Below(10)) {
        case 0: text.insert(1, random.Pick(std::vector<std::string>{
                                  "\"size\":0,", "\"schema\":2,", "\"parts\":[],", "\"sha256\":\"x\",",
                                  "\"appId\":\"\",", "\"schema\":1,"})); break;  // duplicate key, last wins
        case 1: text.resize(at); break;
        case 2: if (at < text.size()) text[at] = static_cast<char>(random.Below(256)); break;
        case 3: text.insert(at, random.Pick(std::vector<std::string>{"\xC3", "\xFF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                                                     "\xC0\xAF", "\\ud800", "\\u0000", "/* c */",
                                                                     "//", ",", "}", "]", "\""})); break;
        case 4: text = "\xEF\xBB\xBF" + text; break;
        case 5: text += random.Pick(std::vector<std::string>{" ", "\n\t ", "x", "{}", "\0"}); break;
        case 6: {
            const std::size_t sizeKey = text.find("\"size\":");
            if (sizeKey != std::string::npos) {
                text.insert(sizeKey + 7, random.Pick(std::vector<std::string>{
                                              "99999999999999999999999", "1e999", "-1e999", "1e-400", "-0", "0.0",
                                              "18446744073709551616", "-18446744073709551617", "17179869184.999",
                                              "1E2", "00", "+1", ".5", "0x10"}) + ",\"_\":");
            }
            break;
        }
        case 7: {
            // Nesting where a value goes, up to what fits under the size limit.
            const std::size_t depth = random.Pick(std::vector<std::size_t>{10, 60, 200, 5000, 40000, 65000});
            const std::string key = random.Pick(std::vector<std::string>{"\"parts\":", "\"version\":", "\"url\":",
                                                                         "\"schema\":", "\"extra\":"});
            const std::size_t place = text.find(key);
            if (place != std::string::npos) text.insert(place + key.size(), Nesting(depth) + ",\"_\":");
            else text.insert(1, "\"extra\":" + Nesting(depth) + ",");
            break;
        }
        case 8: text = Nesting(random.Pick(std::vector<std::size_t>{1, 1000, 65536})); break;
        default: text.insert(at, std::string(1 + random.Below(4), random.Pick(std::vector<char>{' ', '{', '[', '"'})));
    }
}

// The rules a returned manifest must keep, checked independently of the parser.
void ExpectKeepsEveryRule(const ReleaseManifest& m, const std::string& where) {
    auto isDigest = [](const std::string& s) {
        return s.size() == 64 && s.find_first_not_of("0123456789abcdef") == std::string::npos;
    };
    EXPECT_TRUE(isDigest(m.packageSha256)) << where;
    EXPECT_TRUE(m.packageSize >= 1 && m.packageSize <= kMaxPackageSize) << where;
    EXPECT_LE(m.installedBytes, kMaxInstalledBytes) << where;
    EXPECT_TRUE(!m.parts.empty() && m.parts.size() <= kMaxParts) << where;
    std::uint64_t total = 0;
    for (const ManifestPart& part : m.parts) {
        EXPECT_TRUE(part.size >= 1 && part.size <= kMaxPartSize) << where;
        EXPECT_TRUE(isDigest(part.sha256)) << where;
        const DownloadTarget target = CheckDownloadUrl(Utf8ToWide(part.url));
        EXPECT_TRUE(target.secure && target.host == downloadHostName) << where;
        total += part.size;
    }
    EXPECT_EQ(total, m.packageSize) << where;
    EXPECT_EQ(launcherState.bytesTotal.load(), m.packageSize) << where;
}

// What one body earns: "valid", "json <id>" or the failure label. A failure
// of any other kind is reported against the case.
std::string Outcome(const std::string& body, const std::string& where) {
    try {
        launcherState.bytesTotal = 0;
        const ReleaseManifest manifest = ParseReleaseManifest(body);
        ExpectKeepsEveryRule(manifest, where);
        // The attempt's last reader of the document: the record text.
        try {
            (void)InstalledRecordText(manifest.document, manifest.packageSha256);
        } catch (const json::exception& e) {
            EXPECT_EQ(e.id, 403) << where << ": " << e.what();  // only a missing "version" may fail here
        }
        return "valid";
    } catch (const json::exception& e) {
        return "json " + std::to_string(e.id);
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(kManifestLabels.count(e.what())) << where << ": unknown label \"" << e.what() << "\"";
        return e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << where << ": unexpected exception type: " << e.what();
    } catch (...) {
        ADD_FAILURE() << where << ": non-standard exception";
    }
    return "unexpected";
}

// Part URLs: a valid one, bent at the places where policies go wrong.
std::string HostileUrlText(Random& random) {
    static const std::vector<std::string> schemes = {"https://", "http://", "HTTPS://", "ftp://", "https:/", "",
                                                     "https:///", "file://", "https:\\\\"};
    static const std::vector<std::string> authorities = {
        "localhost", "LOCALHOST", "localhost.", "localhost.evil", "evil@localhost", "user:pw@localhost",
        "localhost@evil", "127.0.0.1", "[::1]", "localhost\xE2\x80\x8B", "l\xC3\xB6" "calhost", "", "xn--localhost"};
    static const std::vector<std::string> ports = {"", ":443", ":0", ":65535", ":65536", ":99999", ":", ":-1",
                                                   ":47443x"};
    static const std::vector<std::string> pieces = {
        "/vandroglade/windows/", "/vandroglade/windows", "/VANDROGLADE/windows/", "/x/vandroglade/windows/",
        "..", ".", "%2e%2e", "%2E.", ".%2e", "%2e", "/", "//", "\\", "%2f", "%2F", "%5c", "%5C", "?", "#", "?/../",
        "#/../", "%", "%zz", "%00", " ", "\t", "part.bin", "\xC4\xB0", "\xE2\x80\xA6", "\xEF\xBC\x8F", "\xE2\x88\x95",
        "\xEF\xBC\x8E\xEF\xBC\x8E", ";", "@", ":", "&v=2"};
    std::string url = random.OneIn(4) ? random.Pick(schemes) : "https://";
    url += random.OneIn(3) ? random.Pick(authorities) : WideToUtf8(downloadHostName);
    url += random.OneIn(3) ? random.Pick(ports) : "";
    if (!random.OneIn(5)) url += "/vandroglade/windows/";
    const std::size_t count = random.Below(6);
    for (std::size_t i = 0; i < count; ++i) url += random.Pick(pieces);
    if (random.OneIn(50)) url += std::string(random.Pick(std::vector<std::size_t>{2048, 70000}), 'a');
    if (random.OneIn(5) && !url.empty()) {
        // A piece dropped in anywhere, including inside the scheme or host.
        url.insert(random.Below(url.size() + 1), random.Pick(pieces));
    }
    return url;
}

// A path that a server would map outside the download folder: a "." or ".."
// segment (with %2e read as a dot), a backslash or an encoded separator.
bool LeavesDownloadFolder(std::wstring path) {
    path = path.substr(0, path.find_first_of(L"?#"));
    std::wstring lower;
    for (wchar_t c : path) lower += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    if (lower.find(L'\\') != std::wstring::npos || lower.find(L"%2f") != std::wstring::npos ||
        lower.find(L"%5c") != std::wstring::npos) {
        return true;
    }
    std::size_t start = 0;
    while (start <= lower.size()) {
        std::size_t end = lower.find(L'/', start);
        if (end == std::wstring::npos) end = lower.size();
        std::wstring segment = lower.substr(start, end - start);
        for (std::size_t p; (p = segment.find(L"%2e")) != std::wstring::npos;) segment.replace(p, 3, L".");
        if (segment == L"." || segment == L"..") return true;
        start = end + 1;
    }
    return false;
}

std::string Summary(const std::map<std::string, int>& outcomes) {
    std::string text;
    for (const auto& [name, count] : outcomes) text += "  " + name + ": " + std::to_string(count) + "\n";
    return text;
}

TEST(HostileInput, MutatedManifestsEndInALabelALibraryErrorOrAValidManifest) {
    const std::uint64_t seed = Seed();
    Random random(seed);
    std::map<std::string, int> outcomes;
    for (int n = 0; n < kManifestCases; ++n) {
        json manifest = ValidManifest(random);
        const std::size_t treeChanges = random.Below(4);
        for (std::size_t i = 0; i < treeChanges; ++i) MutateTree(manifest, random);
        // Broken UTF-8 from the URL pieces is replaced here; MutateText breaks it raw.
        std::string text = manifest.dump(random.OneIn(4) ? 2 : -1, ' ', false, json::error_handler_t::replace);
        if (random.OneIn(3)) MutateText(text, random);
        ++outcomes[Outcome(text, "seed " + std::to_string(seed) + " case " + std::to_string(n))];
    }
    std::printf("%d manifests:\n%s", kManifestCases, Summary(outcomes).c_str());
    EXPECT_EQ(outcomes.count("unexpected"), 0u);
    // The generator must reach every kind of outcome, or it tests little.
    for (const char* kind : {"valid", "json 101", "json 302", "json 403", "Manifest schema", "Manifest checksum",
                             "Manifest size", "Manifest parts", "Part metadata", "Part total", "Installed size",
                             "Unexpected download host", "Unexpected download path", "Invalid URL",
                             "Manifest nesting"}) {
        EXPECT_GT(outcomes[kind], 0) << kind << " never reached";
    }
}

TEST(HostileInput, MutatedUrlsAreRefusedWithTheirLabelOrStayInTheDownloadFolder) {
    const std::uint64_t seed = Seed();
    Random random(seed);
    std::map<std::string, int> outcomes;
    for (int n = 0; n < kUrlCases; ++n) {
        const std::string where = "seed " + std::to_string(seed) + " case " + std::to_string(n);
        const std::string utf8 = HostileUrlText(random);
        try {
            const DownloadTarget target = CheckDownloadUrl(Utf8ToWide(utf8));
            EXPECT_TRUE(target.secure) << where << ": " << utf8;
            EXPECT_EQ(target.host, downloadHostName) << where << ": " << utf8;
            EXPECT_EQ(target.objectPath.rfind(kDownloadPathPrefix, 0), 0u) << where << ": " << utf8;
            EXPECT_FALSE(LeavesDownloadFolder(target.objectPath)) << where << ": " << utf8;
            ++outcomes["accepted"];
        } catch (const std::runtime_error& e) {
            const bool known = kUrlLabels.count(e.what()) || std::string(e.what()) == "Invalid UTF8";
            EXPECT_TRUE(known) << where << ": unknown label \"" << e.what() << "\" for " << utf8;
            ++outcomes[e.what()];
        } catch (const std::exception& e) {
            ADD_FAILURE() << where << ": unexpected exception type: " << e.what() << " for " << utf8;
        }
    }
    std::printf("%d URLs:\n%s", kUrlCases, Summary(outcomes).c_str());
    for (const char* kind : {"accepted", "Invalid URL", "Unexpected download host", "Unexpected download path"}) {
        EXPECT_GT(outcomes[kind], 0) << kind << " never reached";
    }
}

// Nesting as deep as a body under the size limit allows, where the parse
// keeps the value and a later step copies or serialises it: "schema",
// "installedBytes" and "parts" are copied while validating, "version" is
// copied and written into the installed-package record. Each copy and dump
// recurses once per level, and about 10,000 levels exhaust a 2 MiB stack:
// the worker would die with the whole launcher; the parse bounds the depth.
TEST(HostileInput, DeeplyNestedValuesEndInAFailureNotACrash) {
    for (const char* key : {"schema", "installedBytes", "parts", "version", "extra"}) {
        const json part = {{"size", 1}, {"sha256", std::string(64, 'b')}, {"url", PartUrl(0)}};
        const json manifest = {{"schema", 1}, {"appId", kAppId}, {"version", "1.1.1"}, {"sha256", std::string(64, 'a')},
                               {"size", 1}, {"installedBytes", 1}, {"parts", json::array({part})}};
        std::string text = manifest.dump();
        const std::string deep = Nesting((kManifestMaxBytes - text.size() - 40) / 2);
        const std::string quoted = std::string("\"") + key + "\":";
        const std::size_t place = text.find(quoted);
        if (place == std::string::npos) text.insert(1, quoted + deep + ",");
        else text.insert(place + quoted.size(), deep + ",\"_\":");
        ASSERT_LE(text.size(), kManifestMaxBytes);
        const std::string outcome = Outcome(text, key);
        EXPECT_EQ(outcome, "Manifest nesting") << key;
    }
}

// The manifest's size limit through the real transfer: bodies padded or cut
// to the bytes around 131,072, each a valid or a mutated manifest.
TEST(PipelineHostileInput, ManifestBodiesAroundTheSizeLimitThroughTheRealTransfer) {
    const std::uint64_t seed = Seed();
    Random random(seed);
    const std::filesystem::path file = test::RootManifestFile();
    struct RemoveAtEnd {
        std::filesystem::path path;
        ~RemoveAtEnd() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    } removeAtEnd{file};
    test::SetHostRules({{WideToUtf8(kManifestPath), json::object()}});

    for (int n = 0; n < 24; ++n) {
        const std::string where = "seed " + std::to_string(seed) + " case " + std::to_string(n);
        // 131,070 .. 131,073, each for a valid and for a mutated body.
        const std::size_t size = kManifestMaxBytes - 2 + static_cast<std::size_t>((n / 2) % 4);
        json manifest = ValidManifest(random);
        std::string text = manifest.dump();
        if (n % 2 == 1) MutateText(text, random);
        if (n % 6 == 5) text = Nesting(size / 2);
        text.resize(size, ' ');  // trailing white space keeps a valid text valid
        test::WriteFileBytes(file, text);

        std::string outcome;
        try {
            const ReleaseManifest fetched = FetchReleaseManifest();
            ExpectKeepsEveryRule(fetched, where);
            outcome = "valid";
        } catch (const json::exception&) {
            outcome = "json";
        } catch (const std::runtime_error& e) {
            outcome = e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << where << ": unexpected exception type: " << e.what();
        }
        if (size > kManifestMaxBytes) {
            EXPECT_EQ(outcome, "Unexpected download size") << where << " (" << size << " bytes)";
        } else {
            EXPECT_TRUE(outcome == "valid" || outcome == "json" || kManifestLabels.count(outcome))
                << where << " (" << size << " bytes): " << outcome;
            if (n % 2 == 0 && n % 6 != 5) {
                EXPECT_EQ(outcome, "valid") << where << " (" << size << " bytes)";
            }
        }
    }
}

}  // namespace
