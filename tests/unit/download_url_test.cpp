#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "test_support.h"
#include "transfer/download_host.h"
#include "transfer/download_url.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring Capitalised(std::wstring host) {
    host[0] = static_cast<wchar_t>(std::towupper(host[0]));
    return host;
}

}  // namespace

TEST(UrlPolicy, RefusedUrlsCarryTheirLabel) {
    const std::wstring host = downloadHostName;
    const std::wstring base = L"https://" + host;
    struct Case {
        std::wstring url;
        const char* label;
    };
    const Case cases[] = {
        {L"", "Invalid URL"},
        {L"ftp://" + host + L"/vandroglade/windows/a.bin", "Invalid URL"},
        {L"/vandroglade/windows/a.bin", "Invalid URL"},
        {L"vandroglade/windows/a.bin", "Invalid URL"},
        {base + L":99999/vandroglade/windows/a.bin", "Invalid URL"},
        // The scheme is judged before the path.
        {L"http://" + host + L"/vandroglade/windows/a.bin", "Unexpected download host"},
        {L"http://" + host + L"/elsewhere", "Unexpected download host"},
        {L"https://" + Capitalised(host) + L"/vandroglade/windows/a.bin", "Unexpected download host"},
        {base + L"./vandroglade/windows/a.bin", "Unexpected download host"},
        {L"https://other.example/vandroglade/windows/a.bin", "Unexpected download host"},
        {L"https://" + host + L".other.example/vandroglade/windows/a.bin", "Unexpected download host"},
        {base + L"/vandroglade/windows", "Unexpected download path"},
        {base + L"/VANDROGLADE/WINDOWS/a.bin", "Unexpected download path"},
        {base + L"/Vandroglade/windows/a.bin", "Unexpected download path"},
        {base + L"/x/vandroglade/windows/a.bin", "Unexpected download path"},
        {base + L"/", "Unexpected download path"},
        {base + L"/?/vandroglade/windows/", "Unexpected download path"},
        {base + L"/#/vandroglade/windows/", "Unexpected download path"},
        // Dot segments and encoded separators would let the server's
        // normalisation lead out of the download folder.
        {base + L"/vandroglade/windows/../../x", "Unexpected download path"},
        {base + L"/vandroglade/windows/..", "Unexpected download path"},
        {base + L"/vandroglade/windows/./a.bin", "Unexpected download path"},
        {base + L"/vandroglade/windows/a/../b.bin", "Unexpected download path"},
        {base + L"/vandroglade/windows/%2e%2e/%2e%2e/x", "Unexpected download path"},
        {base + L"/vandroglade/windows/%2E%2E/x", "Unexpected download path"},
        {base + L"/vandroglade/windows/.%2e/x", "Unexpected download path"},
        {base + L"/vandroglade/windows/%2e./x", "Unexpected download path"},
        {base + L"/vandroglade/windows/%2e/a.bin", "Unexpected download path"},
        {base + L"/vandroglade/windows/..%2f..%2fx", "Unexpected download path"},
        {base + L"/vandroglade/windows/..%2F..%2Fx", "Unexpected download path"},
        {base + L"/vandroglade/windows/..%5c..%5cx", "Unexpected download path"},
        {base + L"/vandroglade/windows/..%5C..%5Cx", "Unexpected download path"},
        {base + L"/vandroglade/windows/..\\..\\x", "Unexpected download path"},
        {base + L"/vandroglade/windows/a\\b.bin", "Unexpected download path"},
        {base + L"/vandroglade/windows/../../x?v=1", "Unexpected download path"},
        // WinHTTP sends a fragment as "%23" followed by the rest as path.
        {base + L"/vandroglade/windows/a.bin#/../../../x", "Unexpected download path"},
        {base + L"/vandroglade/windows/a.bin?v=2#f", "Unexpected download path"},
        {base + L"/vandroglade/windows/a.bin#", "Unexpected download path"},
        // Double encoding: "%25" becomes "%", and a second decoding makes dots.
        {base + L"/vandroglade/windows/%252e%252e/x", "Unexpected download path"},
        {base + L"/vandroglade/windows/a%25b.bin", "Unexpected download path"},
        // A ";" parameter is cut before dot segments are resolved.
        {base + L"/vandroglade/windows/..;/x", "Unexpected download path"},
        {base + L"/vandroglade/windows/..;x/x", "Unexpected download path"},
        {base + L"/vandroglade/windows/.;x/a.bin", "Unexpected download path"},
        {base + L"/vandroglade/windows/%2e%2e;v=1", "Unexpected download path"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(test::ErrorText([&] { CheckDownloadUrl(c.url); }), c.label) << Narrow(c.url);
    }
}

TEST(UrlPolicy, AcceptedUrlsSplitAsWritten) {
    const std::wstring host = downloadHostName;
    const std::wstring base = L"https://" + host;
    struct Case {
        std::wstring url;
        std::wstring objectPath;
        std::uint16_t port;
    };
    const Case cases[] = {
        {base + L"/vandroglade/windows/latest.json", L"/vandroglade/windows/latest.json", 443},
        {L"HTTPS://" + host + L"/vandroglade/windows/latest.json", L"/vandroglade/windows/latest.json", 443},
        {base + L":8443/vandroglade/windows/a.bin", L"/vandroglade/windows/a.bin", 8443},
        {base + L":443/vandroglade/windows/a.bin", L"/vandroglade/windows/a.bin", 443},
        {L"https://user:secret@" + host + L"/vandroglade/windows/a.bin", L"/vandroglade/windows/a.bin", 443},
        {base + L"/vandroglade/windows/", L"/vandroglade/windows/", 443},
        {base + L"/vandroglade/windows/a.bin?v=2", L"/vandroglade/windows/a.bin?v=2", 443},
        // The query is not a path: it goes out as written.
        {base + L"/vandroglade/windows/a.bin?next=../../x%2f%5c%25", L"/vandroglade/windows/a.bin?next=../../x%2f%5c%25", 443},
        // Harmless dots and escapes stay as written.
        {base + L"/vandroglade/windows/.../a.bin", L"/vandroglade/windows/.../a.bin", 443},
        {base + L"/vandroglade/windows/a..b", L"/vandroglade/windows/a..b", 443},
        {base + L"/vandroglade/windows/...;x/a;v=1.bin", L"/vandroglade/windows/...;x/a;v=1.bin", 443},
        {base + L"/vandroglade/windows/.hidden", L"/vandroglade/windows/.hidden", 443},
        {base + L"/vandroglade/windows/%2e%2e%2e/a", L"/vandroglade/windows/%2e%2e%2e/a", 443},
        {base + L"/vandroglade/windows/a%20b.bin", L"/vandroglade/windows/a%20b.bin", 443},
        {base + L"/vandroglade/windows//a.bin", L"/vandroglade/windows//a.bin", 443},
    };
    for (const Case& c : cases) {
        DownloadTarget target;
        ASSERT_EQ(test::ErrorText([&] { target = CheckDownloadUrl(c.url); }), "no error") << Narrow(c.url);
        EXPECT_EQ(target.host, host) << Narrow(c.url);
        EXPECT_EQ(target.objectPath, c.objectPath) << Narrow(c.url);
        EXPECT_EQ(target.port, c.port) << Narrow(c.url);
        EXPECT_TRUE(target.secure) << Narrow(c.url);
    }
}

TEST(DownloadHost, ManifestUrlNamesPortOnlyWhenSet) {
    EXPECT_EQ(BuildManifestUrl(L"download.vandro.example", L""),
              L"https://download.vandro.example/vandroglade/windows/latest.json");
    EXPECT_EQ(BuildManifestUrl(L"localhost", L"8443"), L"https://localhost:8443/vandroglade/windows/latest.json");
}

TEST(DownloadHost, ManifestUrlPassesThePolicy) {
    const DownloadTarget target = CheckDownloadUrl(manifestUrl);
    EXPECT_EQ(target.host, downloadHostName);
    EXPECT_EQ(target.objectPath, kManifestPath);
    const std::wstring port = test::HostPort();
    EXPECT_EQ(target.port, port.empty() ? 443 : std::stoi(port));
}
