// The process shell: single instance, platform set-up, the one window, the
// message loop and an orderly shutdown that waits for the install worker.
#include <windows.h>
#include <dwmapi.h>
#include <objbase.h>
#include <gdiplus.h>

#include <algorithm>

#include "shell/installed_game.h"
#include "shell/launcher_state.h"
#include "shell/paths.h"
#include "shell/startup.h"
#include "ui/drawing.h"
#include "ui/window_proc.h"

namespace {

constexpr DWORD kCornerPreferenceAttribute = 33;  // DWMWA_WINDOW_CORNER_PREFERENCE
constexpr DWORD kRoundCorners = 2;                 // DWMWCP_ROUND
constexpr ULONGLONG kFirstInstanceWaitMs = 5000;
constexpr DWORD kFirstInstancePollMs = 100;

// Guards in start-up order; their destructors run the shutdown in reverse.

// The single-instance name, owned by the window thread for the life of the
// process: a waiting start waits on it and takes over the moment the owner
// ends. Made first and released last, after the worker has been joined.
struct InstanceMutex {
    HANDLE handle = nullptr;
    bool owned = false;
    // Another instance holds the name: it exists already, or its access
    // list keeps us out (an instance started as administrator).
    bool anotherInstance = false;
    InstanceMutex() {
        handle = CreateMutexW(/*security*/ nullptr, /*initialOwner*/ TRUE, kInstanceMutexName);
        const DWORD error = GetLastError();
        anotherInstance = error == ERROR_ALREADY_EXISTS || (!handle && error == ERROR_ACCESS_DENIED);
        owned = handle && !anotherInstance;
    }
    ~InstanceMutex() {
        if (owned) ReleaseMutex(handle);
        if (handle) CloseHandle(handle);
    }
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    // Waits at most `ms` for the owner to let go; an owner that ended
    // without letting go (WAIT_ABANDONED) is the usual way. True once ours.
    bool Acquire(DWORD ms) {
        if (!handle) {
            Sleep(ms);  // no handle to wait on: only the other's window can end the wait
            return false;
        }
        const DWORD result = WaitForSingleObject(handle, ms);
        owned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        return owned;
    }
};

struct ComApartment {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComApartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
};

// The window's destruction already asked a running download to stop; a
// running setup program is waited for.
struct WorkerJoin {
    ~WorkerJoin() {
        if (launcherState.worker.joinable()) launcherState.worker.join();
    }
};

// Another instance holds the name. Without a window it is still starting,
// or it is ending after its window was closed (a download stopping, a setup
// program still running): wait a few seconds. Its window, when one appears,
// is raised and this start ends; when it ends, this start takes over at
// once. Returns true when this process is now the only instance.
bool BecomeOnlyInstance(InstanceMutex& mutex) {
    if (!mutex.anotherInstance) return true;
    const ULONGLONG deadline = GetTickCount64() + kFirstInstanceWaitMs;
    for (;;) {
        if (HWND existing = FindWindowW(kWindowClassName, /*title*/ nullptr)) {
            // An elevated window may refuse; this start ends all the same.
            SetForegroundWindow(existing);
            return false;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        if (mutex.Acquire(static_cast<DWORD>(std::min<ULONGLONG>(kFirstInstancePollMs, deadline - now)))) return true;
    }
}

int FailStartup() {
    // A quit message left by a half-created window would close the box at once.
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    MessageBoxW(nullptr, kStartupFailedMessage, kWindowTitle, MB_OK | MB_ICONERROR);
    return 1;
}

HWND CreateLauncherWindow(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = LauncherWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClassName;
    RegisterClassW(&windowClass);

    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const WindowPlacement placement = ComputeWindowPlacement(workArea);
    return CreateWindowExW(WS_EX_APPWINDOW, kWindowClassName, kWindowTitle, WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                           placement.x, placement.y, placement.width, placement.height, /*parent*/ nullptr,
                           /*menu*/ nullptr, instance, /*param*/ nullptr);
}

void RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Before anything can load a DLL: never from the launcher's own folder
    // (a Downloads folder full of other people's files). The DLLs that are
    // not the system's known DLLs are delay-loaded, so none is loaded yet.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    InstanceMutex mutex;
    if (!BecomeOnlyInstance(mutex)) return 0;
    const ComApartment com;
    const GdiplusSession gdiplus;
    if (!ResolvePackageCacheFolder()) return FailStartup();

    DetectInstalledGameAtStartup();  // detection and the version gate
    const LoadedPictures pictures;
    const WorkerJoin workerJoin;

    HWND window = CreateLauncherWindow(instance);
    if (!window) return FailStartup();
    launcherState.window.store(window);
    DwmSetWindowAttribute(window, kCornerPreferenceAttribute, &kRoundCorners, sizeof(kRoundCorners));
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    RunMessageLoop();
    return 0;
}
