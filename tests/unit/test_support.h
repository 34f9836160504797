// Helpers shared by the unit tests: temporary folders, the test host's
// settings, a window that counts status posts, and a clean launcher state.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <atomic>
#include <string>
#include <thread>

#include "shell/launcher_state.h"
#include "shell/paths.h"
#include "transfer/sha256.h"

namespace test {

inline std::wstring Env(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
    return (n > 0 && n < 4096) ? std::wstring(buffer, n) : std::wstring();
}

inline std::filesystem::path HostRoot() { return Env(L"VANDRO_TEST_HOST_ROOT"); }
inline std::wstring HostPort() { return Env(L"VANDRO_TEST_PORT"); }
inline std::wstring UntrustedPort() { return Env(L"VANDRO_TEST_UNTRUSTED_PORT"); }
inline std::filesystem::path FixturesDir() { return Env(L"VANDRO_TEST_FIXTURES"); }

// https://localhost:PORT + path, on the trusted listener.
inline std::wstring HostUrl(const std::wstring& path) { return L"https://localhost:" + HostPort() + path; }

// The message of the std::exception that `action` throws, or "no error".
template <class Action>
std::string ErrorText(Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

// The seed of a seeded test: the variable's value when set, else the fixed
// default; printed so that any run can be replayed.
inline std::uint64_t SeedFromEnv(const wchar_t* variable, std::uint64_t fallback, const char* what) {
    const std::wstring text = Env(variable);
    const std::uint64_t seed = text.empty() ? fallback : std::stoull(text);
    std::printf("%s seed: %llu (set %ls to replay another)\n", what, static_cast<unsigned long long>(seed), variable);
    return seed;
}

// Polls until the condition holds or the seconds pass; the condition's last
// answer. Bounds are generous: a loaded machine starts Wine processes slowly.
template <class Condition>
bool WaitUntil(double seconds, Condition&& condition) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    while (!condition()) {
        if (GetTickCount64() >= end) return condition();
        Sleep(10);
    }
    return true;
}

inline std::string Sha256Hex(const std::string& bytes) {
    Sha256Hasher hasher;
    if (!bytes.empty()) hasher.Update(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return hasher.FinishHex();
}

// Another program's hold on a file (made when missing), sharing only what
// `share` allows, until the object goes away.
struct FileHold {
    HANDLE handle;
    FileHold(const std::wstring& path, DWORD share)
        : handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~FileHold() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;
};

// The small real file system of the test run (a tmpfs of a few MiB), which a
// test fills to the last byte; emptied again when the object goes away.
// Absent where mounting was refused: such a test skips, visibly.
struct SmallDisk {
    std::filesystem::path root = Env(L"VANDRO_TEST_SMALL_DISK");
    std::filesystem::path filler = root / L"filler";
    bool Mounted() const { return !root.empty() && std::filesystem::exists(root / L".small-disk"); }
    // Writes until the disk refuses one more byte.
    void Fill() const {
        HANDLE file = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        static const char block[65536] = {};
        DWORD written = 0;
        for (DWORD size = sizeof(block); size > 0; size /= 2) {
            while (WriteFile(file, block, size, &written, nullptr) && written == size) {
            }
        }
        CloseHandle(file);
    }
    ~SmallDisk() {
        std::error_code ignored;
        if (!Mounted()) return;
        for (const auto& entry : std::filesystem::directory_iterator(root, ignored)) {
            if (entry.path().filename() != L".small-disk") std::filesystem::remove_all(entry.path(), ignored);
        }
    }
};

inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder under %TEMP%, removed with everything in it at the end.
struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        static unsigned counter = 0;
        path = std::filesystem::temp_directory_path() /
               (L"vandro-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()) +
                L"-" + std::to_wstring(++counter));
        std::filesystem::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
};

// A message-only window on the test's thread that counts WM_APP+1 posts.
struct PostCounter {
    HWND window = nullptr;
    static inline int received = 0;

    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_LAUNCHER_STATUS) {
            ++received;
            return 0;
        }
        return DefWindowProcW(w, m, wp, lp);
    }
    PostCounter() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VandroTestPostCounter";
        RegisterClassW(&wc);  // a second registration fails harmlessly
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        received = 0;
    }
    ~PostCounter() { DestroyWindow(window); }
    PostCounter(const PostCounter&) = delete;
    PostCounter& operator=(const PostCounter&) = delete;

    // Dispatches what is queued and returns the number of posts seen so far.
    int Drain() {
        MSG msg;
        while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        return received;
    }
};

// Puts the process-wide launcher state back to its start values and points
// the package cache at a private temporary folder.
struct CleanLauncherState {
    TempFolder cache;
    std::wstring savedCache;
    CleanLauncherState() {
        if (launcherState.worker.joinable()) launcherState.worker.join();
        launcherState.phase = Idle;
        launcherState.statusMessage = kInitialStatusMessage;
        launcherState.bytesDone = 0;
        launcherState.bytesTotal = 0;
        launcherState.busy = false;
        launcherState.cancelRequested = false;
        ResetEvent(launcherState.cancelEvent.handle);
        launcherState.window = nullptr;
        savedCache = packageCacheFolder;
        packageCacheFolder = cache.path.wstring();
    }
    ~CleanLauncherState() {
        if (launcherState.worker.joinable()) launcherState.worker.join();
        launcherState.window = nullptr;
        launcherState.busy = false;
        packageCacheFolder = savedCache;
    }
    CleanLauncherState(const CleanLauncherState&) = delete;
    CleanLauncherState& operator=(const CleanLauncherState&) = delete;

    std::string LogText() const { return ReadFileBytes(cache.path / kLauncherLogName); }
};

// Closes the platform's error boxes that this process shows while the
// object lives (the shell reports a missing program in a dialog that would
// otherwise wait for a click forever on the test display).
struct DialogDismisser {
    std::atomic<bool> stop{false};
    std::thread watcher{[this] {
        while (!stop.load()) {
            EnumWindows(
                [](HWND window, LPARAM) -> BOOL {
                    DWORD pid = 0;
                    GetWindowThreadProcessId(window, &pid);
                    wchar_t cls[16] = {};
                    GetClassNameW(window, cls, 16);
                    if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770") {
                        PostMessageW(window, WM_COMMAND, IDOK, 0);
                        PostMessageW(window, WM_CLOSE, 0, 0);
                    }
                    return TRUE;
                },
                0);
            Sleep(50);
        }
    }};
    ~DialogDismisser() {
        stop = true;
        watcher.join();
    }
};

}  // namespace test
