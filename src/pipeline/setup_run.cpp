#include "pipeline/setup_run.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <stdexcept>
#include <string>

#include "pipeline/installed_record.h"
#include "pipeline/setup_contract.h"
#include "shell/installed_game.h"
#include "shell/launcher_state.h"
#include "shell/paths.h"
#include "transfer/zone_marker.h"

namespace {

struct SnapshotHandle {
    HANDLE h;
    ~SnapshotHandle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

struct ProcessHandle {
    HANDLE h;
    ~ProcessHandle() {
        if (h) CloseHandle(h);
    }
};

// The shell may hand ShellExecuteExW to COM-based handlers (the zone check of
// a downloaded file among them), so the call wants an apartment. A thread
// that already has one keeps it: only what this guard initialised (S_OK, or
// S_FALSE for a further reference) is uninitialised; RPC_E_CHANGED_MODE took
// no reference.
struct ShellCallApartment {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ShellCallApartment() = default;
    ShellCallApartment(const ShellCallApartment&) = delete;
    ShellCallApartment& operator=(const ShellCallApartment&) = delete;
    ~ShellCallApartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
};

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameNameIgnoringAsciiCase(const wchar_t* a, const wchar_t* b) {
    for (; *a && *b; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) return false;
    }
    return *a == *b;
}

std::wstring SetupParameters() {
    return std::wstring(kSetupSwitches) + JoinPath(packageCacheFolder, kSetupLogName) + L"\"";
}

// Starts the setup program and waits for it without a time limit; closing the
// window does not end this wait. Returns its exit code (1 when unreadable).
DWORD RunAndWait(const std::wstring& setupPath) {
    const std::wstring parameters = SetupParameters();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = launcherState.window.load();
    info.lpVerb = L"open";
    info.lpFile = setupPath.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    BOOL started = FALSE;
    {
        // Left before the wait: an apartment that pumps no messages must not
        // sit in a wait without end.
        const ShellCallApartment apartment;
        started = ShellExecuteExW(&info);
    }
    ProcessHandle process{info.hProcess};
    if (!started || !process.h) throw std::runtime_error("Installer start");

    WaitForSingleObject(process.h, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.h, &exitCode);
    return exitCode;
}

}  // namespace

bool IsGameRunning() {
    SnapshotHandle snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
    if (snapshot.h == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.h, &entry); more; more = Process32NextW(snapshot.h, &entry)) {
        if (SameNameIgnoringAsciiCase(entry.szExeFile, kGameExeName)) return true;
    }
    return false;
}

SetupOutcome RunSetupProgram(const ReleaseManifest& manifest, const CachePaths& paths) {
    if (IsGameRunning()) {
        PublishStatus(Failed, kGameRunningMessage);
        return SetupOutcome::GameRunning;
    }
    WriteZoneMarker(paths.setupPath);
    PublishStatus(Installing, kInstallingMessage);

    const DWORD exitCode = RunAndWait(paths.setupPath);
    if (exitCode != kSetupExitOk && exitCode != kSetupExitRestartNeeded) {
        throw std::runtime_error("Installer exit " + std::to_string(exitCode));
    }
    DetectInstalledGame();
    if (installedGame.installLocation.empty()) throw std::runtime_error("Installed game missing");
    WriteInstalledPackageRecord(manifest.document, manifest.packageSha256);
    PublishStatus(Ready, kInstalledMessage);
    return SetupOutcome::Installed;
}
