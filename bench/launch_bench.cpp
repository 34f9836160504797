// Start-up time of the launcher to its first paint: from process creation
// until its window thread first waits for input with its window visible.
// Start-up paints the window synchronously right after showing it, before
// the message loop, so that moment follows the first frame. Each run closes
// the window and waits for the exit; a first, uncounted run lets Wine start
// its own helpers.
//   launch_bench LAUNCHER_EXE [RUNS]
// Prints "startup_ms=<median>" and "startup_runs_ms=<each run>" for tools/bench.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "ui/window_proc.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ChildProcess {
    PROCESS_INFORMATION info{};
    ~ChildProcess() {
        if (info.hProcess) {
            if (WaitForSingleObject(info.hProcess, 10000) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 1);
            CloseHandle(info.hProcess);
        }
        if (info.hThread) CloseHandle(info.hThread);
    }
};

// Milliseconds to the first idle wait, or a negative value on failure.
double OneStart(const std::wstring& exe) {
    ChildProcess child;
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    const Clock::time_point start = Clock::now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child.info)) {
        return -1;
    }
    if (WaitForInputIdle(child.info.hProcess, 30000) != 0) return -2;
    // Idle can come before the window (a set-up call may wait for messages).
    HWND window = nullptr;
    for (int i = 0; i < 30000 && !(window && IsWindowVisible(window)); ++i) {
        window = FindWindowW(kWindowClassName, /*title*/ nullptr);
        if (!(window && IsWindowVisible(window))) Sleep(1);
    }
    const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!window || !IsWindowVisible(window)) return -3;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return milliseconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: launch_bench LAUNCHER_EXE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 5;
    std::vector<double> times;
    std::string each;
    for (int i = -1; i < runs; ++i) {
        const double ms = OneStart(argv[1]);
        if (i < 0 && ms >= 0) continue;  // the warm-up run
        if (ms < 0) {
            std::printf("error=run %d failed (%s)\n", i + 1,
                        ms == -1 ? "cannot start" : ms == -2 ? "never went idle" : "no visible window");
            return 1;
        }
        times.push_back(ms);
        if (!each.empty()) each += ' ';
        each += std::to_string(static_cast<long>(ms));
    }
    std::sort(times.begin(), times.end());
    std::printf("startup_ms=%.0f\nstartup_runs_ms=%s\n", times[times.size() / 2], each.c_str());
    return 0;
}
