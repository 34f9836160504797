#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "shell/paths.h"

namespace {

struct JoinCase {
    const wchar_t* left;
    const wchar_t* right;
    const wchar_t* joined;
};

void ExpectJoins(std::initializer_list<JoinCase> cases) {
    for (const JoinCase& c : cases) {
        const std::wstring where = std::wstring(c.left) + L" + " + c.right;
        EXPECT_EQ(JoinPath(c.left, c.right), c.joined) << std::string(where.begin(), where.end());
    }
}

}  // namespace

TEST(JoinPath, OneSeparatorBetweenPlainNames) {
    ExpectJoins({
        {L"D:\\Games\\G\\", L"VandroGLADE.exe", L"D:\\Games\\G\\VandroGLADE.exe"},
        {L"D:\\Games\\G", L"VandroGLADE.exe", L"D:\\Games\\G\\VandroGLADE.exe"},
        {L"D:/Games/G/", L"VandroGLADE.exe", L"D:/Games/G/VandroGLADE.exe"},
        {L"C:\\Users\\u\\AppData\\Local", L"Vandro", L"C:\\Users\\u\\AppData\\Local\\Vandro"},
        {L"C:", L"Vandro", L"C:Vandro"},
        {L"C:\\", L"Vandro", L"C:\\Vandro"},
        {L"", L"launcher.log", L"launcher.log"},
        {L"\\\\server\\share", L"install.log", L"\\\\server\\share\\install.log"},
        {L"C:\\a\\", L"sub\\file.txt", L"C:\\a\\sub\\file.txt"},
    });
}

TEST(JoinPath, RootedOrDriveRightSideReplaces) {
    ExpectJoins({
        {L"C:\\a\\b", L"D:\\x", L"D:\\x"},
        {L"C:\\a\\b", L"\\x", L"C:\\x"},
        {L"C:\\a\\b", L"/x", L"C:/x"},
        {L"C:\\a\\b", L"D:x", L"D:x"},
        {L"C:\\a", L"", L"C:\\a\\"},
    });
}
