// The release manifest's rules, in order: which label (or which library
// error) a manifest earns, and whether the package size reached bytesTotal.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pipeline/release_manifest.h"
#include "release_support.h"
#include "test_support.h"
#include "transfer/download_host.h"

namespace {

using nlohmann::json;

constexpr std::uint64_t kMiB = 1048576;
constexpr std::uint64_t kGiB = 1024 * kMiB;

std::string PartUrl(int index) {
    return WideToUtf8(test::HostUrl(L"/vandroglade/windows/manifest/p" + std::to_wstring(index) + L".bin"));
}

json Part(std::uint64_t size, int index) {
    return {{"size", size}, {"sha256", std::string(64, 'b')}, {"url", PartUrl(index)}};
}

// A manifest the launcher accepts: `count` parts of `partSize` bytes.
json Valid(int count = 3, std::uint64_t partSize = 1000) {
    json parts = json::array();
    for (int i = 0; i < count; ++i) parts.push_back(Part(partSize, i));
    return {{"schema", 1},
            {"appId", kAppId},
            {"version", "1.2.0"},
            {"sha256", "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"},
            {"size", count * partSize},
            {"parts", parts}};
}

using Body = std::function<std::string()>;

Body Edit(std::function<void(json&)> change, int count = 3, std::uint64_t partSize = 1000) {
    return [=] {
        json manifest = Valid(count, partSize);
        change(manifest);
        return manifest.dump();
    };
}

Body Raw(std::string text) {
    return [=] { return text; };
}

// A valid manifest padded with blanks to exactly `size` bytes.
Body PaddedTo(std::size_t size) {
    return [=] {
        std::string text = Valid().dump();
        text.append(size - text.size(), ' ');
        return text;
    };
}

constexpr const char* kAccepted = "accepted";

struct Row {
    const char* what;
    Body body;
    const char* expected;  // a label, the library's text, or kAccepted
    bool bytesTotalSet;
    bool served = false;  // fetched from the test host instead of parsed directly
};

}  // namespace

TEST(PipelineManifest, EdgeCasesEarnTheirLabelInOrder) {
    const std::string badSha63(63, 'a'), badSha65(65, 'a');
    const std::string upperSha = "0123456789ABCDEF0123456789abcdef0123456789abcdef0123456789abcdef";
    const Row rows[] = {
        {"valid", Edit([](json&) {}), kAccepted, true},
        {"schema 2", Edit([](json& m) { m["schema"] = 2; }), "Manifest schema", false},
        {"schema absent", Edit([](json& m) { m.erase("schema"); }), "Manifest schema", false},
        {"schema 2, appId not looked at", Edit([](json& m) { m["schema"] = 2; m["appId"] = 5; }), "Manifest schema", false},
        {"schema \"1\"", Edit([](json& m) { m["schema"] = "1"; }),
         "[json.exception.type_error.302] type must be number, but is string", false},
        {"schema true counts as 1", Edit([](json& m) { m["schema"] = true; }), kAccepted, true},
        {"schema 1.9 truncates to 1", Edit([](json& m) { m["schema"] = 1.9; }), kAccepted, true},
        {"schema 2^32+1 does not wrap to 1", Edit([](json& m) { m["schema"] = 4294967297ULL; }), "Manifest schema", false},
        {"schema -4294967295 does not wrap to 1", Edit([](json& m) { m["schema"] = -4294967295LL; }), "Manifest schema", false},
        {"schema 1e10 out of range", Edit([](json& m) { m["schema"] = 1e10; }), "Manifest schema", false},
        {"appId in another case", Edit([](json& m) { m["appId"] = "com.vandro.VandroGLADE"; }), "Manifest schema", false},
        {"appId absent", Edit([](json& m) { m.erase("appId"); }), "Manifest schema", false},
        {"appId a number", Edit([](json& m) { m["appId"] = 1; }),
         "[json.exception.type_error.302] type must be string, but is number", false},
        {"sha256 63 characters", Edit([=](json& m) { m["sha256"] = badSha63; }), "Manifest checksum", false},
        {"sha256 65 characters", Edit([=](json& m) { m["sha256"] = badSha65; }), "Manifest checksum", false},
        {"sha256 upper case", Edit([=](json& m) { m["sha256"] = upperSha; }), "Manifest checksum", false},
        {"sha256 absent", Edit([](json& m) { m.erase("sha256"); }),
         "[json.exception.out_of_range.403] key 'sha256' not found", false},
        {"several faults: the first rule wins", Edit([](json& m) { m["sha256"] = "x"; m["size"] = 0; m["parts"] = 1; }),
         "Manifest checksum", false},
        {"size 0", Edit([](json& m) { m["size"] = 0; }), "Manifest size", false},
        {"size -1", Edit([](json& m) { m["size"] = -1; }), "Manifest size", false},
        {"size -1.5", Edit([](json& m) { m["size"] = -1.5; }), "Manifest size", false},
        {"size 1e30", Edit([](json& m) { m["size"] = 1e30; }), "Manifest size", false},
        {"size 16 GiB + 1", Edit([](json& m) { m["size"] = 16 * kGiB + 1; }), "Manifest size", false},
        {"size exactly 16 GiB in 64 parts of 256 MiB", Edit([](json&) {}, 64, 256 * kMiB), kAccepted, true},
        {"size 3000.7 truncates", Edit([](json& m) { m["size"] = 3000.7; }), kAccepted, true},
        {"size a boolean", Edit([](json& m) { m["size"] = true; }),
         "[json.exception.type_error.302] type must be number, but is boolean", false},
        {"parts empty", Edit([](json& m) { m["parts"] = json::array(); }), "Manifest parts", false},
        {"parts an object", Edit([](json& m) { m["parts"] = json{{"0", Part(3000, 0)}}; }), "Manifest parts", false},
        {"parts 257", Edit([](json&) {}, 257, 1), "Manifest parts", false},
        {"parts 256", Edit([](json&) {}, 256, 1), kAccepted, true},
        {"parts absent", Edit([](json& m) { m.erase("parts"); }),
         "[json.exception.out_of_range.403] key 'parts' not found", false},
        {"part size 256 MiB + 1", Edit([](json& m) { m["parts"][0]["size"] = 256 * kMiB + 1; }), "Part metadata", false},
        {"part size 0", Edit([](json& m) { m["parts"][1]["size"] = 0; }), "Part metadata", false},
        {"part size 1e300", Edit([](json& m) { m["parts"][1]["size"] = 1e300; }), "Part metadata", false},
        {"part size bad, its sha256 not read", Edit([](json& m) { m["parts"][0]["size"] = 0; m["parts"][0].erase("sha256"); }),
         "Part metadata", false},
        {"part a string", Edit([](json& m) { m["parts"][1] = "p1.bin"; }),
         "[json.exception.type_error.304] cannot use at() with string", false},
        {"part sha256 upper case", Edit([=](json& m) { m["parts"][2]["sha256"] = upperSha; }), "Part metadata", false},
        {"part url absent", Edit([](json& m) { m["parts"][2].erase("url"); }),
         "[json.exception.out_of_range.403] key 'url' not found", false},
        {"part url on another host",
         Edit([](json& m) { m["parts"][1]["url"] = "https://download.example.org/vandroglade/windows/p1.bin"; }),
         "Unexpected download host", false},
        {"part url over http",
         Edit([](json& m) { m["parts"][1]["url"] = WideToUtf8(L"http://localhost:" + test::HostPort() + L"/vandroglade/windows/p1.bin"); }),
         "Unexpected download host", false},
        {"part url outside the path",
         Edit([](json& m) { m["parts"][1]["url"] = WideToUtf8(test::HostUrl(L"/vandroglade/mac/p1.bin")); }),
         "Unexpected download path", false},
        {"part total one more", Edit([](json& m) { m["size"] = 3001; }), "Part total", false},
        {"part total one less", Edit([](json& m) { m["size"] = 2999; }), "Part total", false},
        {"installedBytes 128 GiB + 1", Edit([](json& m) { m["installedBytes"] = 128 * kGiB + 1; }), "Installed size", true},
        {"installedBytes 1e30", Edit([](json& m) { m["installedBytes"] = 1e30; }), "Installed size", true},
        {"installedBytes a string", Edit([](json& m) { m["installedBytes"] = "5"; }),
         "[json.exception.type_error.302] type must be number, but is string", true},
        {"installedBytes 128 GiB", Edit([](json& m) { m["installedBytes"] = 128 * kGiB; }), kAccepted, true},
        {"installedBytes 0", Edit([](json& m) { m["installedBytes"] = 0; }), kAccepted, true},
        {"version absent", Edit([](json& m) { m.erase("version"); }), kAccepted, true},
        {"top level an array", Raw("[1,2]"), "[json.exception.type_error.306] cannot use value() with array", false},
        {"a comment",
         Raw("/* vendor */ {}"),
         "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - invalid "
         "literal; last read: '/'",
         false},
        {"trailing text", [] { return Valid().dump() + " x"; },
         "[json.exception.parse_error.101] parse error at line 1, column ", false},
        {"a NUL byte and more after a valid manifest", [] { return Valid().dump() + std::string("\0{\"x", 4); },
         "Manifest NUL byte", false},
        // The parser refuses ill-formed UTF-8 before the URL conversion could.
        {"ill-formed UTF-8 in a url",
         Edit([](json& m) { m["parts"][0]["url"] = "__BAD__"; }),
         "[json.exception.parse_error.101] parse error at line 1, column ", false},
        {"131,072 bytes", PaddedTo(131072), kAccepted, true, true},
        {"131,073 bytes", PaddedTo(131073), "Unexpected download size", false, true},
    };

    const test::HostFolder folder;
    const std::wstring savedManifestUrl = manifestUrl;
    manifestUrl = folder.Url(L"latest.json");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string body = row.body();
        if (const std::size_t bad = body.find("__BAD__"); bad != std::string::npos) {
            body.replace(bad, 7, "\xC0\xAF");
        }
        launcherState.bytesTotal = 0;
        std::string outcome = kAccepted;
        try {
            if (row.served) {
                test::WriteFileBytes(folder.local / L"latest.json", body);
                FetchReleaseManifest();
            } else {
                ParseReleaseManifest(body);
            }
        } catch (const std::exception& e) {
            outcome = e.what();
        }
        const std::string expected = row.expected;
        if (expected.back() == ' ') {  // a parse error: its position varies with the text
            EXPECT_EQ(outcome.substr(0, expected.size()), expected);
        } else {
            EXPECT_EQ(outcome, expected);
        }
        const std::uint64_t declared = row.bytesTotalSet ? json::parse(body).at("size").get<std::uint64_t>() : 0;
        EXPECT_EQ(launcherState.bytesTotal.load(), declared);
    }
    manifestUrl = savedManifestUrl;
}

TEST(ReleaseManifest, AcceptedManifestKeepsPartsInOrderAndTheWholeDocument) {
    json m = Valid(3, 1000);
    m["parts"][1]["size"] = 500;
    m["parts"][2]["size"] = 1500;
    m["parts"][2]["sha256"] = std::string(64, 'c');
    m["vendorNote"] = "ignored";
    m["parts"][0]["mirror"] = 7;

    const ReleaseManifest manifest = ParseReleaseManifest(m.dump());
    EXPECT_EQ(manifest.packageSha256, m["sha256"].get<std::string>());
    EXPECT_EQ(manifest.packageSize, 3000u);
    EXPECT_EQ(manifest.installedBytes, 3000u);  // absent: the package size stands in
    ASSERT_EQ(manifest.parts.size(), 3u);
    EXPECT_EQ(manifest.parts[0].size, 1000u);
    EXPECT_EQ(manifest.parts[1].size, 500u);
    EXPECT_EQ(manifest.parts[2].size, 1500u);
    EXPECT_EQ(manifest.parts[2].sha256, std::string(64, 'c'));
    EXPECT_EQ(manifest.parts[1].url, PartUrl(1));
    EXPECT_EQ(manifest.document.at("version"), "1.2.0");

    m["installedBytes"] = 123456789;
    EXPECT_EQ(ParseReleaseManifest(m.dump()).installedBytes, 123456789u);
}

namespace {

// Bytes of a table text whose characters each stand for one byte (U+0000..U+00FF).
std::string OneBytePerCharacter(const std::string& utf8) {
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            bytes += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            bytes += static_cast<char>(c);
        }
    }
    return bytes;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// The manifest text of one case of the shared table (see its "about").
std::string CaseBody(const json& table, const json& c) {
    std::string text;
    if (c.contains("nest")) {
        const std::size_t levels = c["nest"].get<std::size_t>();
        text = std::string(levels, '[') + "1" + std::string(levels, ']');
    } else if (c.contains("text")) {
        text = c["text"].get<std::string>();
    } else {
        json manifest = table["base"];
        if (c.contains("partCount")) {
            const json part = manifest["parts"][0];
            manifest["parts"] = json::array();
            for (int i = 0; i < c["partCount"].get<int>(); ++i) {
                json copy = part;
                std::string url = part["url"].get<std::string>();
                ReplaceAll(url, "p0", "p" + std::to_string(i));
                copy["url"] = url;
                copy["size"] = c["partSize"];
                manifest["parts"].push_back(copy);
            }
            manifest["size"] = c["partCount"].get<std::uint64_t>() * c["partSize"].get<std::uint64_t>();
        }
        if (c.contains("patch")) manifest = manifest.patch(c["patch"]);
        text = manifest.dump();
    }
    text += c.value("suffix", std::string());
    const std::string host = WideToUtf8(downloadHostName), port = WideToUtf8(test::HostPort());
    ReplaceAll(text, "{authority}", host + ":" + port);
    ReplaceAll(text, "{host}", host);
    ReplaceAll(text, "{port}", port);
    return c.value("latin1", false) ? OneBytePerCharacter(text) : text;
}

}  // namespace

// The same cases run through the vendor's tools (tests/tools): the launcher
// and the tools that publish and check releases judge every manifest alike.
TEST(PipelineManifest, SharedCasesWithTheReleaseTools) {
    const json table = json::parse(test::ReadFileBytes(test::Env(L"VANDRO_TEST_BUILD") + L"\\release-rule-cases.json"));
    for (const json& c : table["cases"]) {
        SCOPED_TRACE(c["what"].get<std::string>());
        const std::string body = CaseBody(table, c);
        std::string outcome;
        try {
            ParseReleaseManifest(body);
        } catch (const std::exception& e) {
            outcome = e.what();
        }
        const std::string label = c["label"].is_null() ? std::string() : c["label"].get<std::string>();
        if (c.value("prefix", false)) {
            EXPECT_EQ(outcome.substr(0, label.size()), label);
        } else {
            EXPECT_EQ(outcome, label);
        }
    }
}
