#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "test_support.h"
#include "transfer/text_encoding.h"

namespace {

std::string ErrorOf(const std::string& bytes) {
    return test::ErrorText([&] { Utf8ToWide(bytes); });
}

}  // namespace

TEST(Utf8, IllFormedInputIsRefused) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"overlong slash", "\xC0\xAF"},
        {"overlong NUL", "\xC0\x80"},
        {"overlong three-byte", "\xE0\x80\xAF"},
        {"lone continuation", "\x80"},
        {"continuation after ASCII", "abc\x80"},
        {"truncated two-byte", "\xC3"},
        {"truncated three-byte", "\xE2\x82"},
        {"truncated four-byte", "\xF0\x9F\x98"},
        {"truncated mid-text", "a\xE2\x82z"},
        {"encoded high surrogate", "\xED\xA0\x80"},
        {"encoded low surrogate", "\xED\xBF\xBF"},
        {"above U+10FFFF", "\xF4\x90\x80\x80"},
        {"five-byte form", "\xF8\x88\x80\x80\x80"},
        {"byte FF", "\xFF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorOf(c.bytes), "Invalid UTF8") << c.what;
    }
}

TEST(Utf8, WellFormedInputConverts) {
    struct Case {
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"", L""},
        {"https://localhost/vandroglade/windows/a.bin", L"https://localhost/vandroglade/windows/a.bin"},
        {"\xC4\xB1\xC5\x9F\xC4\x9F\xC3\xBC", L"\u0131\u015F\u011F\u00FC"},   // ışğü
        {"\xE2\x80\xA6", L"\u2026"},                                          // …
        {"\xF0\x9F\x8E\xA2", L"\U0001F3A2"},                                  // a surrogate pair
        {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},                                  // the last code point
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},                   // embedded NUL
        {std::string("\0", 1), std::wstring(L"\0", 1)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToWide(c.utf8), c.wide);
        EXPECT_EQ(WideToUtf8(c.wide), c.utf8);
    }
}

TEST(Utf8, UnpairedSurrogateIsReplacedNotRefused) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(WideToUtf8(std::wstring(L"a") + wchar_t(0xD800) + L"b"), "a" + replacement + "b");
    EXPECT_EQ(WideToUtf8(std::wstring(1, wchar_t(0xDC00))), replacement);
}
