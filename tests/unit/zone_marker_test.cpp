#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"
#include "transfer/download_host.h"
#include "transfer/text_encoding.h"
#include "transfer/zone_marker.h"

namespace {

// Windows opens the named stream; Wine keeps it as a sibling file of that
// name. The same path reads it in both.
std::string MarkerOf(const std::filesystem::path& file) {
    return test::ReadFileBytes(file.wstring() + L":Zone.Identifier");
}

std::string ExpectedMarker() {
    return "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=" + WideToUtf8(manifestUrl) + "\r\n";
}

}  // namespace

TEST(ZoneMarker, HoldsExactlyTheThreeLinesAndLeavesTheFileAlone) {
    test::TempFolder folder;
    const std::filesystem::path setup = folder.path / L"VandroGLADE-0123456789abcdef.exe";
    const std::string program = std::string("MZ\x90\0\x03", 5) + std::string(4000, 'p');
    test::WriteFileBytes(setup, program);

    WriteZoneMarker(setup.wstring());
    WriteZoneMarker(setup.wstring());

    const std::string marker = MarkerOf(setup);
    EXPECT_EQ(marker, ExpectedMarker());
    EXPECT_EQ(marker.size(), 34 + WideToUtf8(manifestUrl).size() + 2);
    EXPECT_EQ(test::ReadFileBytes(setup), program);
}

TEST(ZoneMarker, RewritingTruncatesALongerOldMarker) {
    test::TempFolder folder;
    const std::filesystem::path setup = folder.path / L"setup.exe";
    test::WriteFileBytes(setup, "MZ");

    const std::wstring saved = manifestUrl;
    manifestUrl = saved + L"?an-older-and-much-longer-address";
    WriteZoneMarker(setup.wstring());
    manifestUrl = saved;
    WriteZoneMarker(setup.wstring());

    EXPECT_EQ(MarkerOf(setup), ExpectedMarker());
}

TEST(ZoneMarker, UnopenableStreamIsIgnored) {
    test::TempFolder folder;
    const std::filesystem::path missing = folder.path / L"no-such-folder" / L"setup.exe";
    EXPECT_NO_THROW(WriteZoneMarker(missing.wstring()));
    EXPECT_FALSE(std::filesystem::exists(folder.path / L"no-such-folder"));
}
