// Where the launcher's start-up time goes: the steps of its entry point up to
// the first frame, run in the same order with the launcher's own code, each
// timed on its own. The first step is the process's own start (from its
// creation to the entry point: loading, the runtime, static values). The
// window is closed again at the end.
//   startup_steps
// Prints "step_<n>=<name>|<ms>" lines for tools/bench.
#include <windows.h>
#include <dwmapi.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>

#include "shell/installed_game.h"
#include "shell/launcher_state.h"
#include "shell/paths.h"
#include "shell/startup.h"
#include "ui/window_proc.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(std::uint64_t hundredNs) { return static_cast<double>(hundredNs) / 1e4; }
std::uint64_t Value(const FILETIME& t) { return static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

int step = 0;
Clock::time_point last;

void Step(const char* name) {
    const Clock::time_point now = Clock::now();
    std::printf("step_%d=%s|%.1f\n", ++step, name, std::chrono::duration<double, std::milli>(now - last).count());
    last = Clock::now();
}

}  // namespace

int wmain() {
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    GetSystemTimePreciseAsFileTime(&now);
    last = Clock::now();
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    std::printf("step_%d=process start to the entry point|%.1f\n", ++step, Ms(Value(now) - Value(created)));

    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\VandroBench.StartupSteps");
    Step("1 single-instance mutex");
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Step("2 COM apartment");
    {
        const GdiplusSession gdiplus;
        Step("3 GDI+ start-up");
        ResolvePackageCacheFolder();
        Step("4 package cache folder");
        DetectInstalledGameAtStartup();
        Step("5 installed-game detection and version gate");
        const LoadedPictures pictures;
        Step("6 the two pictures");
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = LauncherWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kWindowClassName;
        RegisterClassW(&windowClass);
        Step("7 window class");
        RECT workArea{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
        const WindowPlacement placement = ComputeWindowPlacement(workArea);
        HWND window = CreateWindowExW(WS_EX_APPWINDOW, kWindowClassName, L"startup_steps",
                                      WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, placement.x, placement.y,
                                      placement.width, placement.height, nullptr, nullptr, windowClass.hInstance,
                                      nullptr);
        if (window == nullptr) {
            std::printf("error=no window\n");
            return 1;
        }
        launcherState.window.store(window);
        Step("8 window creation (with WM_CREATE: timer, display settings, accessibility set-up)");
        const DWORD corners = 2;
        DwmSetWindowAttribute(window, 33, &corners, sizeof(corners));
        Step("9 rounded corners");
        ShowWindow(window, SW_SHOWNORMAL);
        Step("10a showing the window");
        UpdateWindow(window);
        Step("10b the first frame");
        DestroyWindow(window);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    if (mutex) CloseHandle(mutex);
    return 0;
}
