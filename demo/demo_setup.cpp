// Setup program of the demo release: a small per-user installer.
//
//   VandroGLADE-setup.exe [/SILENT | /VERYSILENT] [/SUPPRESSMSGBOXES] [/NORESTART] [/LOG[="path"]]
//   uninstall.exe /UNINSTALL [the same switches]
//
// Installs the files it carries as resources (the game, its data pack and the
// uninstaller, which is this program built without payload) into
// %LOCALAPPDATA%\Programs\VandroGLADE and registers the game under the current
// user's uninstall key, which is where the launcher looks for it. Exit codes follow the usual setup
// conventions: 0 done, 1 could not start, 2 declined by the user, 4 failed.
#include <windows.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo_payload.h"
#include "pipeline/setup_contract.h"

namespace {

constexpr const wchar_t* kProductName = L"VandroGLADE";
constexpr const wchar_t* kPublisher = L"Vandro";
constexpr const wchar_t* kPackName = L"VandroGLADE.pak";
constexpr const wchar_t* kUninstallerName = L"uninstall.exe";
constexpr const wchar_t* kDefaultLogName = L"VandroGLADE-setup.log";
constexpr const wchar_t* kSetupMutex = L"Local\\VandroGLADE.Setup";

constexpr int kExitOk = 0;
constexpr int kExitCannotStart = 1;
constexpr int kExitDeclined = 2;
constexpr int kExitFailed = 4;

struct Options {
    bool silent = false;      // /SILENT or /VERYSILENT: no questions, no windows
    bool noMessages = false;  // /SUPPRESSMSGBOXES: not even error boxes
    bool uninstall = false;
    bool wantLog = false;
    std::wstring logPath;  // empty with wantLog: the default in %TEMP%
    std::vector<std::wstring> ignored;
};

struct OwnedHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~OwnedHandle() {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

struct RegistryKey {
    HKEY key = nullptr;
    ~RegistryKey() {
        if (key) RegCloseKey(key);
    }
};

struct CoTaskText {
    wchar_t* text = nullptr;
    ~CoTaskText() { CoTaskMemFree(text); }
};

struct LocalArgs {
    wchar_t** argv = nullptr;
    ~LocalArgs() { LocalFree(argv); }
};

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// The setup log: time-stamped UTF-8 lines, written through at once so a crash
// or a kill still leaves everything up to that moment on disk.
OwnedHandle setupLog;

void Log(const std::wstring& line) {
    if (setupLog.handle == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u   ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    const std::string text = stamp + ToUtf8(line) + "\r\n";
    DWORD written = 0;
    WriteFile(setupLog.handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::wstring ErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return L"error " + std::to_wstring(code) + (text.empty() ? L"" : L": " + text);
}

// A failed step: what went wrong, in words for the log and the error box.
[[noreturn]] void Fail(const std::wstring& what, DWORD code) { throw std::runtime_error(ToUtf8(what + L" (" + ErrorText(code) + L")")); }

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

bool SwitchIs(const std::wstring& arg, const wchar_t* name) { return lstrcmpiW(arg.c_str(), name) == 0; }

Options ParseOptions() {
    Options options;
    int argc = 0;
    LocalArgs args{CommandLineToArgvW(GetCommandLineW(), &argc)};
    for (int i = 1; args.argv != nullptr && i < argc; ++i) {
        const std::wstring arg = args.argv[i];
        if (SwitchIs(arg, L"/SILENT") || SwitchIs(arg, L"/VERYSILENT")) {
            options.silent = true;
        } else if (SwitchIs(arg, L"/SUPPRESSMSGBOXES")) {
            options.noMessages = true;
        } else if (SwitchIs(arg, L"/NORESTART")) {
            // Nothing this setup does ever needs a restart.
        } else if (SwitchIs(arg, L"/UNINSTALL")) {
            options.uninstall = true;
        } else if (SwitchIs(arg, L"/LOG")) {
            options.wantLog = true;
        } else if (arg.size() > 5 && CompareStringOrdinal(arg.c_str(), 5, L"/LOG=", 5, TRUE) == CSTR_EQUAL) {
            // CommandLineToArgvW has already removed the quotes around the path.
            options.wantLog = true;
            options.logPath = arg.substr(5);
        } else {
            options.ignored.push_back(arg);
        }
    }
    return options;
}

void OpenLog(const Options& options) {
    if (!options.wantLog) return;
    std::wstring path = options.logPath;
    if (path.empty()) {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        if (length == 0 || length > MAX_PATH) return;
        path = std::wstring(temp, length) + kDefaultLogName;
    }
    setupLog.handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
}

void ShowMessage(const Options& options, const std::wstring& text, UINT icon) {
    if (options.noMessages) return;
    MessageBoxW(nullptr, text.c_str(), L"VandroGLADE Kurulum", MB_OK | icon | MB_SETFOREGROUND);
}

bool AskYesNo(const Options& options, const std::wstring& question) {
    if (options.silent || options.noMessages) return true;
    return MessageBoxW(nullptr, question.c_str(), L"VandroGLADE Kurulum", MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) ==
           IDYES;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) Fail(L"Cannot read the setup program's own path", GetLastError());
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
    return folder + L'\\' + name;
}

// %LOCALAPPDATA%\Programs\VandroGLADE: the per-user programs folder needs no
// administrator rights.
std::wstring InstallFolder() {
    CoTaskText programs;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_UserProgramFiles, KF_FLAG_CREATE, nullptr, &programs.text))) {
        return Join(programs.text, kProductName);
    }
    CoTaskText local;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local.text);
    if (FAILED(hr)) Fail(L"Cannot find the user's local application data folder", static_cast<DWORD>(hr));
    return Join(Join(local.text, L"Programs"), kProductName);
}

DWORD WriteWholeFile(const std::wstring& path, const void* data, DWORD size) {
    OwnedHandle file{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.handle, data, size, &written, nullptr) || !FlushFileBuffers(file.handle)) return GetLastError();
    return written == size ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

// Writes the bytes to a temporary sibling first, so an interrupted install
// never leaves a truncated file under the real name.
void WriteFileReplacing(const std::wstring& path, const void* data, DWORD size) {
    const std::wstring temporary = path + L".new";
    const DWORD error = WriteWholeFile(temporary, data, size);
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temporary.c_str());
        Fail(L"Cannot write " + temporary, error);
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD moveError = GetLastError();
        DeleteFileW(temporary.c_str());
        Fail(L"Cannot replace " + path + L" (is the game still running?)", moveError);
    }
}

struct Payload {
    const void* data = nullptr;
    DWORD size = 0;
};

Payload FindPayload(int id) {
    const HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    const HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data == nullptr) Fail(L"The setup program is damaged: payload " + std::to_wstring(id) + L" is missing", GetLastError());
    return {data, SizeofResource(nullptr, resource)};
}

// Returns the number of bytes installed.
DWORD InstallPayload(int id, const std::wstring& path) {
    const Payload payload = FindPayload(id);
    Log(L"Installing " + path + L" (" + std::to_wstring(payload.size) + L" bytes)");
    WriteFileReplacing(path, payload.data, payload.size);
    return payload.size;
}

void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    const LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) Fail(std::wstring(L"Cannot write the registry value ") + name, static_cast<DWORD>(status));
}

void SetNumber(HKEY key, const wchar_t* name, DWORD value) {
    const LSTATUS status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (status != ERROR_SUCCESS) Fail(std::wstring(L"Cannot write the registry value ") + name, static_cast<DWORD>(status));
}

std::wstring Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[16];
    std::swprintf(text, 16, L"%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

// Written last: the launcher takes the key as proof of a whole install.
void Register(const std::wstring& folder, unsigned long long installedBytes) {
    RegistryKey key;
    const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallSubkey, 0, nullptr, 0,
                                           KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key.key, nullptr);
    if (status != ERROR_SUCCESS) Fail(std::wstring(L"Cannot create HKCU\\") + kUninstallSubkey, static_cast<DWORD>(status));
    const std::wstring location = Join(folder, L"");  // with a final backslash, as installers write it
    const std::wstring uninstaller = L"\"" + Join(folder, kUninstallerName) + L"\" /UNINSTALL";
    SetString(key.key, L"DisplayName", kProductName);
    SetString(key.key, kDisplayVersionValue, VANDRO_DEMO_VERSION);
    SetString(key.key, L"Publisher", kPublisher);
    SetString(key.key, kInstallLocationValue, location);
    SetString(key.key, L"DisplayIcon", Join(folder, kGameExeName));
    SetString(key.key, L"UninstallString", uninstaller);
    SetString(key.key, L"QuietUninstallString", uninstaller + L" /VERYSILENT /SUPPRESSMSGBOXES");
    SetString(key.key, L"InstallDate", Today());
    SetNumber(key.key, L"EstimatedSize", static_cast<DWORD>(installedBytes / 1024));
    SetNumber(key.key, L"NoModify", 1);
    SetNumber(key.key, L"NoRepair", 1);
    Log(std::wstring(L"Registered HKCU\\") + kUninstallSubkey);
}

int Install(const Options& options) {
    const std::wstring folder = InstallFolder();
    Log(L"Install folder: " + folder);
    if (!AskYesNo(options, std::wstring(L"VandroGLADE ") + VANDRO_DEMO_VERSION + L" bu klasöre kurulsun mu?\n\n" + folder)) {
        Log(L"Declined by the user");
        return kExitDeclined;
    }
    const int created = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS) {
        Fail(L"Cannot create " + folder, static_cast<DWORD>(created));
    }
    unsigned long long installedBytes = InstallPayload(IDR_DEMO_GAME, Join(folder, kGameExeName));
    installedBytes += InstallPayload(IDR_DEMO_PACK, Join(folder, kPackName));
    InstallPayload(IDR_DEMO_UNINSTALLER, Join(folder, kUninstallerName));
    Register(folder, installedBytes);
    Log(L"Installation finished");
    if (!options.silent) ShowMessage(options, L"VandroGLADE kuruldu. İyi eğlenceler!", MB_ICONINFORMATION);
    return kExitOk;
}

std::wstring ReadInstallLocation() {
    std::vector<wchar_t> buffer(32768, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kUninstallSubkey, kInstallLocationValue,
                                        RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, buffer.data(), &size);
    return status == ERROR_SUCCESS ? std::wstring(buffer.data()) : std::wstring();
}

void RemoveFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) {
        Log(L"Removed " + path);
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) Fail(L"Cannot remove " + path + L" (is the game still running?)", error);
}

// A running program cannot delete its own file: a hidden command processor
// does it once this process has ended, then removes the folder if it is empty.
void RemoveSelfLater(const std::wstring& self, const std::wstring& folder) {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) Fail(L"Cannot find the system folder", GetLastError());
    const std::wstring shell = Join(std::wstring(system, length), L"cmd.exe");
    std::wstring command = L"\"" + shell + L"\" /d /c ping -n 3 127.0.0.1 >nul & del /f /q \"" + self +
                           L"\" & rmdir \"" + folder + L"\"";
    wchar_t temp[MAX_PATH + 1];
    const DWORD tempLength = GetTempPathW(MAX_PATH + 1, temp);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(shell.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS,
                        nullptr, tempLength ? temp : nullptr, &startup, &process)) {
        Fail(L"Cannot schedule the removal of " + self, GetLastError());
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Log(L"Scheduled the removal of " + self + L" and " + folder);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

int Uninstall(const Options& options) {
    const std::wstring location = ReadInstallLocation();
    if (location.empty()) {
        Log(L"VandroGLADE is not installed for this user; nothing to remove");
        if (!options.silent) ShowMessage(options, L"VandroGLADE bu kullanıcı için kurulu değil.", MB_ICONINFORMATION);
        return kExitOk;
    }
    std::wstring folder = location;
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    Log(L"Uninstalling from " + folder);
    if (!AskYesNo(options, L"VandroGLADE bilgisayarından kaldırılsın mı?\n\n" + folder)) {
        Log(L"Declined by the user");
        return kExitDeclined;
    }
    RemoveFile(Join(folder, kGameExeName));
    RemoveFile(Join(folder, kPackName));
    const LSTATUS status = RegDeleteKeyExW(HKEY_CURRENT_USER, kUninstallSubkey, KEY_WOW64_64KEY, 0);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) Fail(L"Cannot remove the uninstall registration", static_cast<DWORD>(status));
    Log(std::wstring(L"Removed HKCU\\") + kUninstallSubkey);

    const std::wstring uninstaller = Join(folder, kUninstallerName);
    if (SamePath(ModulePath(), uninstaller)) {
        RemoveSelfLater(uninstaller, folder);
    } else {
        RemoveFile(uninstaller);
        // Only an empty folder goes: anything the player put there stays.
        if (RemoveDirectoryW(folder.c_str())) Log(L"Removed " + folder);
    }
    Log(L"Uninstall finished");
    if (!options.silent) ShowMessage(options, L"VandroGLADE kaldırıldı.", MB_ICONINFORMATION);
    return kExitOk;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const Options options = ParseOptions();
    OpenLog(options);
    Log(std::wstring(L"VandroGLADE ") + VANDRO_DEMO_VERSION + (options.uninstall ? L" uninstall" : L" setup") +
        L" started: " + GetCommandLineW());
    for (const std::wstring& arg : options.ignored) Log(L"Ignored unknown argument: " + arg);

    // One setup at a time: two would write the same files.
    OwnedHandle mutex{CreateMutexW(nullptr, FALSE, kSetupMutex)};
    if (mutex.handle != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        Log(L"Another VandroGLADE setup is running");
        ShowMessage(options, L"Başka bir VandroGLADE kurulumu çalışıyor.", MB_ICONWARNING);
        Log(L"Exit code " + std::to_wstring(kExitCannotStart));
        return kExitCannotStart;
    }

    int exitCode = kExitFailed;
    try {
        exitCode = options.uninstall ? Uninstall(options) : Install(options);
    } catch (const std::exception& failure) {
        const std::wstring what = Widen(failure.what());
        Log(L"Failed: " + what);
        ShowMessage(options, (options.uninstall ? L"VandroGLADE kaldırılamadı.\n\n" : L"VandroGLADE kurulamadı.\n\n") + what,
                    MB_ICONERROR);
        exitCode = kExitFailed;
    }
    Log(L"Exit code " + std::to_wstring(exitCode));
    return exitCode;
}
