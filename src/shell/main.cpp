// The process shell: single instance, platform set-up, the one window, the
// message loop and an orderly shutdown that waits for the install worker.
#include <windows.h>
#include <dwmapi.h>
#include <objbase.h>
#include <gdiplus.h>

#include "shell/installed_game.h"
#include "shell/launcher_state.h"
#include "shell/paths.h"
#include "shell/startup.h"
#include "ui/drawing.h"
#include "ui/window_proc.h"

namespace {

constexpr DWORD kCornerPreferenceAttribute = 33;  // DWMWA_WINDOW_CORNER_PREFERENCE
constexpr DWORD kRoundCorners = 2;                 // DWMWCP_ROUND

// Guards in start-up order; their destructors run the shutdown in reverse.

struct InstanceMutex {
    HANDLE handle = CreateMutexW(/*security*/ nullptr, /*initialOwner*/ FALSE, kInstanceMutexName);
    bool anotherInstance = GetLastError() == ERROR_ALREADY_EXISTS;
    ~InstanceMutex() {
        if (handle) CloseHandle(handle);
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

void RaiseFirstInstance() {
    if (HWND existing = FindWindowW(kWindowClassName, /*title*/ nullptr)) SetForegroundWindow(existing);
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
    const InstanceMutex mutex;
    if (mutex.anotherInstance) {
        RaiseFirstInstance();
        return 0;
    }
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
