// Start-up time of window programs to their first paint: from process
// creation until the window thread first waits for input with a window of
// the given class visible. The launcher paints its window synchronously right
// after showing it, before the message loop, so that moment follows the first
// frame. Each run closes the window and waits for the exit. The programs take
// turns, run by run, so that a slower spell of the machine falls on each
// alike; a first, uncounted round lets Wine start its own helpers.
//   launch_bench RUNS EXE WINDOW_CLASS [EXE WINDOW_CLASS]...
// Prints "startup_ms_N=<median>" and "startup_runs_ms_N=<each run>" for the
// Nth program, for tools/bench.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

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
double OneStart(const std::wstring& exe, const wchar_t* windowClass) {
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
        window = FindWindowW(windowClass, /*title*/ nullptr);
        if (!(window && IsWindowVisible(window))) Sleep(1);
    }
    const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!window || !IsWindowVisible(window)) return -3;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return milliseconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || argc % 2 != 0 || std::wcstol(argv[1], nullptr, 10) < 1) {
        std::fprintf(stderr, "usage: launch_bench RUNS EXE WINDOW_CLASS [EXE WINDOW_CLASS]...\n");
        return 2;
    }
    const int runs = static_cast<int>(std::wcstol(argv[1], nullptr, 10));
    const int programs = (argc - 2) / 2;
    std::vector<std::vector<double>> times(programs);
    std::vector<std::string> each(programs);
    for (int i = -1; i < runs; ++i) {
        for (int p = 0; p < programs; ++p) {
            const double ms = OneStart(argv[2 + 2 * p], argv[3 + 2 * p]);
            if (i < 0 && ms >= 0) continue;  // the warm-up round
            if (ms < 0) {
                std::printf("error=%ls, run %d failed (%s)\n", argv[2 + 2 * p], i + 1,
                            ms == -1 ? "cannot start" : ms == -2 ? "never went idle" : "no visible window");
                return 1;
            }
            times[p].push_back(ms);
            if (!each[p].empty()) each[p] += ' ';
            each[p] += std::to_string(static_cast<long>(ms));
        }
    }
    for (int p = 0; p < programs; ++p) {
        std::sort(times[p].begin(), times[p].end());
        std::printf("startup_ms_%d=%.0f\nstartup_runs_ms_%d=%s\n", p + 1, times[p][times[p].size() / 2], p + 1,
                    each[p].c_str());
    }
    return 0;
}
