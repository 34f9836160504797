#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>

#include "test_support.h"
#include "transfer/sha256.h"

namespace {

constexpr const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string DigestOf(const std::string& bytes) {
    Sha256Hasher hasher;
    if (!bytes.empty()) hasher.Update(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return hasher.FinishHex();
}

// 1 MiB whose bytes do not repeat with a short period.
std::string OneMebibytePattern() {
    std::string bytes(1048576, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 31 + (i >> 8)) & 0xFF);
    return bytes;
}

std::string ErrorOf(const std::wstring& path) {
    return test::ErrorText([&] { HashFileSha256(path); });
}

}  // namespace

TEST(Sha256, KnownVectorsOneShotAndByteByByte) {
    struct Case {
        std::string input;
        const char* digest;
    };
    const Case cases[] = {
        {"", kEmptyDigest},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DigestOf(c.input), c.digest) << c.input;
        Sha256Hasher chunked;
        for (char byte : c.input) chunked.Update(&byte, 1);
        EXPECT_EQ(chunked.FinishHex(), c.digest) << c.input;
    }
}

TEST(Sha256, FileDigestsAcrossTheReadSize) {
    test::TempFolder folder;
    const std::string mebibyte = OneMebibytePattern();
    const std::string expected = "f6a34d4c79c3d12c297589206bf216b084347471a53ea5e7fe9a46bd1230f098";
    ASSERT_EQ(DigestOf(mebibyte), expected);

    test::WriteFileBytes(folder.path / L"empty.bin", "");
    test::WriteFileBytes(folder.path / L"one-read.bin", mebibyte);
    test::WriteFileBytes(folder.path / L"two-reads.bin", mebibyte + "abc");
    test::WriteFileBytes(folder.path / L"abc.bin", "abc");

    EXPECT_EQ(HashFileSha256((folder.path / L"empty.bin").wstring()), kEmptyDigest);
    EXPECT_EQ(HashFileSha256((folder.path / L"one-read.bin").wstring()), expected);
    EXPECT_EQ(HashFileSha256((folder.path / L"two-reads.bin").wstring()), DigestOf(mebibyte + "abc"));
    EXPECT_EQ(HashFileSha256((folder.path / L"abc.bin").wstring()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, PartByPartEqualsWholeFile) {
    test::TempFolder folder;
    const std::string bytes = OneMebibytePattern() + "tail";
    test::WriteFileBytes(folder.path / L"package.bin", bytes);

    // Uneven parts, as a package's parts are.
    Sha256Hasher package;
    const std::size_t cuts[] = {0, 1, 262144, 262145, 700001, bytes.size()};
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
        package.Update(bytes.data() + cuts[i], static_cast<std::uint32_t>(cuts[i + 1] - cuts[i]));
    }
    EXPECT_EQ(package.FinishHex(), HashFileSha256((folder.path / L"package.bin").wstring()));
}

TEST(Sha256, UnopenableFileFailsWithFileRead) {
    test::TempFolder folder;
    EXPECT_EQ(ErrorOf((folder.path / L"missing.bin").wstring()), "File read");
    EXPECT_EQ(ErrorOf((folder.path / L"no-such-folder" / L"x.bin").wstring()), "File read");
    EXPECT_EQ(ErrorOf(folder.path.wstring()), "File read");
}

TEST(Sha256, FileHeldOpenForWritingStillHashes) {
    test::TempFolder folder;
    const std::wstring path = (folder.path / L"busy.bin").wstring();
    test::WriteFileBytes(path, "abc");
    // Another program keeps the file open for writing and shares read and write.
    HANDLE other = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(HashFileSha256(path), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    CloseHandle(other);
}
