// Transfers against the loopback test host. Each test owns the host folder
// /vandroglade/windows/Transfer-<Name>/ and the rules file inside it, so
// these tests need no lock and run side by side.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "release_support.h"
#include "test_support.h"
#include "transfer/http_transfer.h"
#include "transfer/sha256.h"
#include "transfer/text_encoding.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";


std::string Pattern(std::size_t size, unsigned seed) { return test::PatternBytes(size, seed); }

// The running test's own host folder, with its own rules file.
struct HostSpace {
    test::HostFolder folder;
    test::RequestLog log;
    std::wstring urlPath = folder.urlPath;
    fs::path local = folder.local;

    HostSpace() {
        std::error_code ignored;
        fs::remove(local / L".rules.json", ignored);
    }
    std::wstring Url(const std::wstring& file) const { return folder.Url(file); }
    void Put(const std::wstring& file, const std::string& bytes) const { test::WriteFileBytes(local / file, bytes); }
    void SetRules(const nlohmann::json& byFile) const {
        nlohmann::json rules = nlohmann::json::object();
        for (const auto& [file, rule] : byFile.items()) rules[WideToUtf8(urlPath) + file] = rule;
        test::WriteFileBytes(local / L".rules.json", rules.dump());
    }
    // Request log lines ("PATH<TAB>USER_AGENT") for this folder since construction.
    std::vector<std::string> Requests() const {
        std::istringstream lines(log.Since());
        std::vector<std::string> mine;
        const std::string prefix = WideToUtf8(urlPath);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) == 0) mine.push_back(line);
        }
        return mine;
    }
};

// A part file with its two digests and counter, as the pipeline keeps them.
struct FileSink {
    test::TempFolder folder;
    fs::path path = folder.path / L"package.part";
    std::ofstream stream{path, std::ios::binary | std::ios::trunc};
    Sha256Hasher partDigest;
    Sha256Hasher packageDigest;
    std::uint64_t partBytes = 0;
    PartSink sink{stream, partDigest, packageDigest, partBytes};

    std::string Written() {
        stream.flush();
        return test::ReadFileBytes(path);
    }
};

std::string MemoryError(const std::wstring& url, std::string& body, std::uint64_t maxBytes) {
    return test::ErrorText([&] { DownloadToMemory(url, body, maxBytes); });
}

std::string FileError(const std::wstring& url, FileSink& out, std::uint64_t maxBytes) {
    return test::ErrorText([&] { DownloadToFile(url, out.sink, maxBytes); });
}

// What a failed or finished file transfer must have kept: exactly `handled`
// bytes written, hashed into both digests and counted.
// Bodies are compared by length and digest, so a failure prints no binary.
void ExpectKeptExactly(FileSink& out, const std::string& handled) {
    const std::string written = out.Written();
    EXPECT_EQ(out.partBytes, handled.size());
    EXPECT_EQ(launcherState.bytesDone.load(), handled.size());
    EXPECT_EQ(written.size(), handled.size());
    EXPECT_EQ(test::Sha256Hex(written), test::Sha256Hex(handled));
    EXPECT_EQ(out.partDigest.FinishHex(), test::Sha256Hex(handled));
    EXPECT_EQ(out.packageDigest.FinishHex(), test::Sha256Hex(handled));
}

void ExpectSameBytes(const std::string& actual, const std::string& expected) {
    EXPECT_EQ(actual.size(), expected.size());
    EXPECT_EQ(test::Sha256Hex(actual), test::Sha256Hex(expected));
}

}  // namespace

TEST(Transfer, EmptyBodyChangesNothing) {
    test::CleanLauncherState clean;
    HostSpace host;
    host.Put(L"empty.bin", "");

    std::string body = "kept";
    EXPECT_EQ(MemoryError(host.Url(L"empty.bin"), body, 0), "no error");
    EXPECT_EQ(body, "kept");

    FileSink out;
    EXPECT_EQ(FileError(host.Url(L"empty.bin"), out, 0), "no error");
    ExpectKeptExactly(out, "");
}

TEST(Transfer, SizeLimitAdmitsExactlyMaxBytes) {
    test::CleanLauncherState clean;
    HostSpace host;
    const std::string bytes = Pattern(1000, 1);
    host.Put(L"part.bin", bytes);
    host.Put(L"manifest.json", std::string(kManifestMaxBytes, ' '));
    host.Put(L"big-manifest.json", std::string(kManifestMaxBytes + 1, ' '));

    struct Case {
        const wchar_t* file;
        std::uint64_t maxBytes;
        const char* result;
    };
    const Case cases[] = {
        {L"part.bin", 1000, "no error"},
        {L"part.bin", 100000, "no error"},
        {L"part.bin", 999, "Unexpected download size"},
        {L"part.bin", 0, "Unexpected download size"},
        {L"manifest.json", kManifestMaxBytes, "no error"},
        {L"big-manifest.json", kManifestMaxBytes, "Unexpected download size"},
    };
    for (const Case& c : cases) {
        const std::string expected = test::ReadFileBytes(host.local / c.file);
        std::string body = "prior:";
        EXPECT_EQ(MemoryError(host.Url(c.file), body, c.maxBytes), c.result) << c.maxBytes;
        if (std::string(c.result) == "no error") {
            ExpectSameBytes(body, "prior:" + expected);
        }

        launcherState.bytesDone = 0;
        FileSink out;
        EXPECT_EQ(FileError(host.Url(c.file), out, c.maxBytes), c.result) << c.maxBytes;
        if (std::string(c.result) == "no error") {
            ExpectKeptExactly(out, expected);
        }
    }
}

TEST(Transfer, ChunkCrossingTheLimitIsNeitherWrittenNorHashed) {
    test::CleanLauncherState clean;
    HostSpace host;
    // One full read buffer, a pause so that it arrives on its own, then a
    // chunk that crosses the limit.
    constexpr std::size_t kFirst = 262144;
    const std::string bytes = Pattern(kFirst + 1000, 2);
    host.Put(L"part.bin", bytes);
    host.SetRules({{"part.bin", {{"pause_after", kFirst}, {"pause_seconds", 0.5}}}});

    std::string body;
    EXPECT_EQ(MemoryError(host.Url(L"part.bin"), body, kFirst + 500), "Unexpected download size");
    ExpectSameBytes(body, bytes.substr(0, kFirst));

    FileSink out;
    EXPECT_EQ(FileError(host.Url(L"part.bin"), out, kFirst + 500), "Unexpected download size");
    ExpectKeptExactly(out, bytes.substr(0, kFirst));
}

TEST(Transfer, OnlyStatus200IsAcceptedAndRedirectsAreNotFollowed) {
    test::CleanLauncherState clean;
    HostSpace host;
    host.Put(L"target.bin", "target");
    host.Put(L"partial.bin", "partial");
    const std::string target = WideToUtf8(host.Url(L"target.bin"));
    host.SetRules({
        {"moved.bin", {{"status", 301}, {"location", target}}},
        {"found.bin", {{"status", 302}, {"location", target}}},
        {"temporary.bin", {{"status", 307}, {"location", target}}},
        {"no-content.bin", {{"status", 204}}},
        {"partial.bin", {{"status", 206}}},
        {"broken.bin", {{"status", 500}, {"body", "oops"}}},
    });
    struct Case {
        const wchar_t* file;
        const char* label;
    };
    const Case cases[] = {
        {L"moved.bin", "HTTP 301"},      {L"found.bin", "HTTP 302"},   {L"temporary.bin", "HTTP 307"},
        {L"missing.bin", "HTTP 404"},    {L"no-content.bin", "HTTP 204"}, {L"partial.bin", "HTTP 206"},
        {L"broken.bin", "HTTP 500"},
    };
    for (const Case& c : cases) {
        std::string body;
        EXPECT_EQ(MemoryError(host.Url(c.file), body, 1000), c.label);
        EXPECT_EQ(body, "");
        FileSink out;
        EXPECT_EQ(FileError(host.Url(c.file), out, 1000), c.label);
        ExpectKeptExactly(out, "");
    }

    const std::vector<std::string> requests = host.Requests();
    EXPECT_EQ(requests.size(), 2 * std::size(cases));
    for (const std::string& line : requests) {
        EXPECT_EQ(line.substr(line.find('\t') + 1), "VandroGLADE/1.0") << line;
        EXPECT_EQ(line.find("target.bin"), std::string::npos) << "redirect followed: " << line;
    }
}

TEST(Transfer, PolicyRefusalSendsNothing) {
    test::CleanLauncherState clean;
    HostSpace host;
    host.Put(L"a.bin", "a");
    const std::wstring plain = L"http://localhost:" + test::HostPort() + host.urlPath + L"a.bin";
    std::string body;
    EXPECT_EQ(MemoryError(plain, body, 10), "Unexpected download host");
    // Forms that servers resolve to a file outside the download folder.
    const wchar_t* const escapes[] = {
        L"../../../a.bin",   L"a.bin#/../../../../a.bin", L"a.bin?v=1#/../../../../a.bin",
        L"%252e%252e/a.bin", L"..;/..;/..;/a.bin",        L"..;x/..;x/..;x/a.bin",
        L".;x/a.bin",        L"%2e%2e;/%2e%2e;/%2e%2e;/a.bin",
    };
    for (const wchar_t* escape : escapes) {
        EXPECT_EQ(MemoryError(host.Url(escape), body, 10), "Unexpected download path") << WideToUtf8(escape);
    }
    FileSink out;
    EXPECT_EQ(FileError(L"relative/a.bin", out, 10), "Invalid URL");
    EXPECT_TRUE(host.Requests().empty());
}

TEST(Transfer, BrokenRecordMidBodyFailsRead) {
    test::CleanLauncherState clean;
    HostSpace host;
    host.Put(L"part.bin", Pattern(100000, 3));
    host.SetRules({{"part.bin", {{"corrupt_after", 1000}}}});

    std::string body;
    EXPECT_EQ(MemoryError(host.Url(L"part.bin"), body, 100000), "Read failed");
    EXPECT_LE(body.size(), 1000u);
    FileSink out;
    EXPECT_EQ(FileError(host.Url(L"part.bin"), out, 100000), "Read failed");
    EXPECT_LE(out.partBytes, 1000u);
}

// A connection closed (FIN) or reset (RST) before the announced length:
// Windows reports a read failure; Wine ends the body early. Either way
// nothing beyond what arrived is kept, and the caller's size check sees the
// short part.
TEST(Transfer, ConnectionLostMidBodyFailsReadOrEndsShort) {
    test::CleanLauncherState clean;
    HostSpace host;
    const std::string bytes = Pattern(100000, 3);
    host.Put(L"closed.bin", bytes);
    host.Put(L"reset.bin", bytes);
    host.SetRules({{"closed.bin", {{"close_after", 1000}}}, {"reset.bin", {{"reset_after", 1000}}}});

    for (const wchar_t* file : {L"closed.bin", L"reset.bin"}) {
        launcherState.bytesDone = 0;
        FileSink out;
        const std::string error = FileError(host.Url(file), out, 100000);
        if (error == "no error") {
            EXPECT_LE(out.partBytes, 1000u);
            ExpectKeptExactly(out, bytes.substr(0, static_cast<std::size_t>(out.partBytes)));
        } else if (error == "Network response failed") {
            // A reset may reach the client before it has read the headers:
            // the system then drops them with the rest of its buffer.
            EXPECT_EQ(std::wstring(file), L"reset.bin");
            EXPECT_EQ(out.partBytes, 0u);
        } else {
            EXPECT_EQ(error, "Read failed");
            EXPECT_LE(out.partBytes, 1000u);
        }
    }
}

TEST(Transfer, UntrustedCertificateOrRefusedPortFailsResponse) {
    test::CleanLauncherState clean;
    HostSpace host;
    host.Put(L"a.bin", "a");
    const std::wstring untrusted = L"https://localhost:" + test::UntrustedPort() + host.urlPath + L"a.bin";
    const std::wstring refused = L"https://localhost:1" + host.urlPath + L"a.bin";  // nothing listens on port 1

    std::string body;
    EXPECT_EQ(MemoryError(untrusted, body, 10), "Network response failed");
    EXPECT_EQ(MemoryError(refused, body, 10), "Network response failed");
    FileSink out;
    EXPECT_EQ(FileError(untrusted, out, 10), "Network response failed");
    EXPECT_EQ(body, "");
    // The handshake failed, so no request ever reached the untrusted listener.
    EXPECT_TRUE(host.Requests().empty());
}

TEST(Transfer, PendingCancelIsSeenAfterTheStatusBeforeTheFirstRead) {
    test::CleanLauncherState clean;
    HostSpace host;
    host.Put(L"a.bin", "abc");
    launcherState.cancelRequested = true;

    std::string body;
    EXPECT_EQ(MemoryError(host.Url(L"a.bin"), body, 10), "Cancelled");
    EXPECT_EQ(body, "");
    EXPECT_EQ(MemoryError(host.Url(L"missing.bin"), body, 10), "HTTP 404");

    FileSink out;
    EXPECT_EQ(FileError(host.Url(L"a.bin"), out, 10), "Cancelled");
    EXPECT_EQ(FileError(host.Url(L"missing.bin"), out, 10), "HTTP 404");
    ExpectKeptExactly(out, "");
}

TEST(Transfer, CancelDuringBodyKeepsTheHandledChunks) {
    test::CleanLauncherState clean;
    HostSpace host;
    const std::string bytes = Pattern(4096 + 2 * 1048576, 4);
    host.Put(L"part.bin", bytes);
    // The pause comes a few chunks in: a read may wait to fill its buffer, so
    // a pause after the first few bytes would leave the rest to race the closer.
    host.SetRules({{"part.bin", {{"pause_after", 1048576 + 4096}, {"pause_seconds", 1}}}});

    // Plays the window being closed while the transfer waits for data.
    std::atomic<bool> done{false};
    std::thread closer([&] {
        while (!done && launcherState.bytesDone.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        launcherState.cancelRequested = true;
    });
    FileSink out;
    const std::string error = FileError(host.Url(L"part.bin"), out, bytes.size());
    done = true;
    closer.join();

    EXPECT_EQ(error, "Cancelled");
    EXPECT_GT(out.partBytes, 0u);
    EXPECT_LT(out.partBytes, bytes.size());
    ExpectKeptExactly(out, bytes.substr(0, static_cast<std::size_t>(out.partBytes)));
}

TEST(Transfer, PartsConcatenateIntoThePackageDigest) {
    test::CleanLauncherState clean;
    HostSpace host;
    const std::string parts[] = {Pattern(300000, 5), Pattern(1, 6), Pattern(70000, 7)};
    FileSink out;
    std::string all;
    for (std::size_t i = 0; i < std::size(parts); ++i) {
        const std::wstring file = L"part-" + std::to_wstring(i) + L".bin";
        host.Put(file, parts[i]);
        Sha256Hasher partDigest;
        std::uint64_t partBytes = 0;
        PartSink sink{out.stream, partDigest, out.packageDigest, partBytes};
        ASSERT_EQ(test::ErrorText([&] { DownloadToFile(host.Url(file), sink, parts[i].size()); }), "no error");
        EXPECT_EQ(partBytes, parts[i].size());
        EXPECT_EQ(partDigest.FinishHex(), test::Sha256Hex(parts[i]));
        all += parts[i];
    }
    EXPECT_EQ(launcherState.bytesDone.load(), all.size());
    ExpectSameBytes(out.Written(), all);
    EXPECT_EQ(out.packageDigest.FinishHex(), test::Sha256Hex(all));
}

TEST(Transfer, StreamInFailedStateIsDiskWriteAndLeavesDigestsUnfed) {
    test::CleanLauncherState clean;
    HostSpace host;
    host.Put(L"a.bin", "abc");

    FileSink failed;
    failed.stream.setstate(std::ios::failbit);
    EXPECT_EQ(FileError(host.Url(L"a.bin"), failed, 10), "Disk write");
    EXPECT_EQ(failed.partBytes, 0u);
    EXPECT_EQ(failed.partDigest.FinishHex(), kEmptyDigest);
    EXPECT_EQ(failed.packageDigest.FinishHex(), kEmptyDigest);

    // A stream whose file could not be opened (its folder does not exist).
    test::TempFolder folder;
    std::ofstream unopened(folder.path / L"missing" / L"x.part", std::ios::binary);
    Sha256Hasher partDigest;
    Sha256Hasher packageDigest;
    std::uint64_t partBytes = 0;
    PartSink sink{unopened, partDigest, packageDigest, partBytes};
    EXPECT_EQ(test::ErrorText([&] { DownloadToFile(host.Url(L"a.bin"), sink, 10); }), "Disk write");
    EXPECT_EQ(partDigest.FinishHex(), kEmptyDigest);
    EXPECT_EQ(launcherState.bytesDone.load(), 0u);
}
