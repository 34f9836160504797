#include <gtest/gtest.h>

#include <string>

#include "shell/paths.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace

TEST(JoinPath, OneSeparatorBetweenPlainNames) {
    struct Case {
        const wchar_t* left;
        const wchar_t* right;
        const wchar_t* joined;
    };
    const Case cases[] = {
        {L"D:\\Games\\G\\", L"VandroGLADE.exe", L"D:\\Games\\G\\VandroGLADE.exe"},
        {L"D:\\Games\\G", L"VandroGLADE.exe", L"D:\\Games\\G\\VandroGLADE.exe"},
        {L"D:/Games/G/", L"VandroGLADE.exe", L"D:/Games/G/VandroGLADE.exe"},
        {L"C:\\Users\\u\\AppData\\Local", L"Vandro", L"C:\\Users\\u\\AppData\\Local\\Vandro"},
        {L"C:", L"Vandro", L"C:Vandro"},
        {L"C:\\", L"Vandro", L"C:\\Vandro"},
        {L"", L"launcher.log", L"launcher.log"},
        {L"\\\\server\\share", L"install.log", L"\\\\server\\share\\install.log"},
        {L"C:\\a\\", L"sub\\file.txt", L"C:\\a\\sub\\file.txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JoinPath(c.left, c.right), c.joined) << Narrow(c.left) << " + " << Narrow(c.right);
    }
}

TEST(JoinPath, RootedOrDriveRightSideReplaces) {
    struct Case {
        const wchar_t* left;
        const wchar_t* right;
        const wchar_t* joined;
    };
    const Case cases[] = {
        {L"C:\\a\\b", L"D:\\x", L"D:\\x"},
        {L"C:\\a\\b", L"\\x", L"C:\\x"},
        {L"C:\\a\\b", L"/x", L"C:/x"},
        {L"C:\\a\\b", L"D:x", L"D:x"},
        {L"C:\\a", L"", L"C:\\a\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JoinPath(c.left, c.right), c.joined) << Narrow(c.left) << " + " << Narrow(c.right);
    }
}
