#include "shell/paths.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <memory>
#include <system_error>

std::wstring packageCacheFolder;

namespace {

struct CoTaskText {
    wchar_t* text = nullptr;
    ~CoTaskText() { CoTaskMemFree(text); }
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool StartsWithDrive(const std::wstring& s) {
    return s.size() >= 2 && ((s[0] >= L'A' && s[0] <= L'Z') || (s[0] >= L'a' && s[0] <= L'z')) && s[1] == L':';
}

}  // namespace

std::wstring JoinPath(const std::wstring& left, const std::wstring& right) {
    if (right.empty() || StartsWithDrive(right) || IsSeparator(right[0])) {
        return (std::filesystem::path(left) / std::filesystem::path(right)).wstring();
    }
    std::wstring joined = left;
    const bool bareDrive = left.size() == 2 && StartsWithDrive(left);
    if (!left.empty() && !IsSeparator(left.back()) && !bareDrive) {
        joined += L'\\';
    }
    joined += right;
    return joined;
}

bool ResolvePackageCacheFolder() {
    CoTaskText localAppData;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &localAppData.text);
    if (FAILED(hr) || localAppData.text == nullptr || localAppData.text[0] == L'\0') {
        return false;
    }
    packageCacheFolder = JoinPath(JoinPath(JoinPath(localAppData.text, L"Vandro"), L"Launcher"), L"Cache");
    std::error_code error;
    std::filesystem::create_directories(packageCacheFolder, error);
    return !error;
}
