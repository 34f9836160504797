// The installed-package record: its exact bytes and its replacement, which
// never leaves a half-written or emptied record behind.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "pipeline/installed_record.h"
#include "test_support.h"

namespace {

const std::string kHash = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

struct RecordRow {
    const char* name;
    nlohmann::json version;
    std::string text;  // with LF; the file holds CR LF
};

const RecordRow kRecordRows[] = {
    {"string", "1.4.2", "{\n  \"sha256\": \"" + kHash + "\",\n  \"version\": \"1.4.2\"\n}"},
    {"number", 2, "{\n  \"sha256\": \"" + kHash + "\",\n  \"version\": 2\n}"},
    {"nested object",
     nlohmann::json::parse(R"({"major": 1, "tags": ["a"]})"),
     "{\n  \"sha256\": \"" + kHash +
         "\",\n  \"version\": {\n    \"major\": 1,\n    \"tags\": [\n      \"a\"\n    ]\n  }\n}"},
    {"Turkish text unescaped", "Şölen sürümü ğüı", "{\n  \"sha256\": \"" + kHash + "\",\n  \"version\": \"Şölen sürümü ğüı\"\n}"},
    {"control character escaped", "a\tb", "{\n  \"sha256\": \"" + kHash + "\",\n  \"version\": \"a\\tb\"\n}"},
    {"null", nullptr, "{\n  \"sha256\": \"" + kHash + "\",\n  \"version\": null\n}"},
};

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

nlohmann::json Manifest(const nlohmann::json& version) {
    nlohmann::json m = {{"schema", 1}, {"sha256", kHash}};
    m["version"] = version;
    return m;
}

std::filesystem::path RecordPath() { return std::filesystem::path(packageCacheFolder) / kInstalledRecordName; }

}  // namespace

TEST(Record, FileHoldsTheExactTextWithCrLfAndNoFinalLineEnd) {
    for (const RecordRow& row : kRecordRows) {
        SCOPED_TRACE(row.name);
        test::CleanLauncherState clean;
        EXPECT_EQ(InstalledRecordText(Manifest(row.version), kHash), row.text);
        WriteInstalledPackageRecord(Manifest(row.version), kHash);
        const std::string bytes = test::ReadFileBytes(RecordPath());
        EXPECT_EQ(bytes, WithCrLf(row.text));  // starts with '{': no BOM; ends with '}': no line end
    }
}

TEST(Record, SecondWriteReplacesTheFirstAndLeavesNoTemporaryFile) {
    test::CleanLauncherState clean;
    WriteInstalledPackageRecord(Manifest("1.0.0-with-a-much-longer-version-text"), kHash);
    WriteInstalledPackageRecord(Manifest(3), kHash);
    EXPECT_EQ(test::ReadFileBytes(RecordPath()), WithCrLf("{\n  \"sha256\": \"" + kHash + "\",\n  \"version\": 3\n}"));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(clean.cache.path)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(Record, MissingVersionRaisesTheLibraryErrorAndKeepsThePreviousRecord) {
    test::CleanLauncherState clean;
    WriteInstalledPackageRecord(Manifest("1.4.2"), kHash);
    const std::string previous = test::ReadFileBytes(RecordPath());
    nlohmann::json manifest = Manifest("x");
    manifest.erase("version");
    try {
        WriteInstalledPackageRecord(manifest, std::string(64, 'f'));
        FAIL() << "no error raised";
    } catch (const nlohmann::json::out_of_range& error) {
        EXPECT_EQ(error.id, 403);
        EXPECT_STREQ(error.what(), "[json.exception.out_of_range.403] key 'version' not found");
    }
    EXPECT_EQ(test::ReadFileBytes(RecordPath()), previous);
}

TEST(Record, FailedReplacementIsSilentAndKeepsThePreviousRecord) {
    test::CleanLauncherState clean;
    WriteInstalledPackageRecord(Manifest("1.4.2"), kHash);
    const std::string previous = test::ReadFileBytes(RecordPath());
    {
        // Held open without delete sharing: the record cannot be replaced now.
        HANDLE held = CreateFileW(RecordPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_NO_THROW(WriteInstalledPackageRecord(Manifest("9.9.9"), kHash));
        CloseHandle(held);
    }
    EXPECT_EQ(test::ReadFileBytes(RecordPath()), previous);
    EXPECT_FALSE(std::filesystem::exists(RecordPath().wstring() + L".tmp"));
}

TEST(Record, MissingCacheFolderIsNotReported) {
    test::CleanLauncherState clean;
    packageCacheFolder = (clean.cache.path / L"gone").wstring();
    EXPECT_NO_THROW(WriteInstalledPackageRecord(Manifest("1.4.2"), kHash));
    EXPECT_FALSE(std::filesystem::exists(RecordPath()));
}

// A disk that fills while the new record is written: whatever part of it
// reached the disk, the previous record stays whole.
TEST(Record, DiskFullDuringTheWriteKeepsThePreviousRecord) {
    const test::SmallDisk disk;
    if (!disk.Mounted()) GTEST_SKIP() << "no small disk: mounting a tmpfs was refused";
    test::CleanLauncherState clean;
    packageCacheFolder = (disk.root / L"cache").wstring();
    std::filesystem::create_directories(packageCacheFolder);
    WriteInstalledPackageRecord(Manifest("1.4.2"), kHash);
    const std::string previous = test::ReadFileBytes(RecordPath());
    ASSERT_FALSE(previous.empty());
    disk.Fill();

    EXPECT_NO_THROW(WriteInstalledPackageRecord(Manifest(std::string(100000, '9')), kHash));
    EXPECT_EQ(test::ReadFileBytes(RecordPath()), previous);
    EXPECT_FALSE(std::filesystem::exists(RecordPath().wstring() + L".tmp"));
}
