#include "pipeline/cache_files.h"

#include <windows.h>

#include <filesystem>

namespace {

constexpr ULONGLONG kHoldWaitMs = 2000;
constexpr DWORD kRetryPauseMs = 50;

// A file someone else holds open: sharing and lock violations, and the
// access denial that a pending delete or a scanner's open can cause. Read
// from the Win32 error, since the standard library folds these into others.
bool IsHeld(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Runs `attempt` (true on success, else the reason in GetLastError) until it
// succeeds, fails for another reason, or the hold outlasts the wait.
template <class Attempt>
bool RetryWhileHeld(Attempt&& attempt) {
    const ULONGLONG deadline = GetTickCount64() + kHoldWaitMs;
    for (;;) {
        if (attempt()) return true;
        if (!IsHeld(GetLastError()) || GetTickCount64() >= deadline) return false;
        Sleep(kRetryPauseMs);
    }
}

}  // namespace

void RemoveCacheFile(const std::wstring& path) {
    if (RetryWhileHeld([&] { return DeleteFileW(path.c_str()) != 0; })) return;
    // Once more through the standard library, whose error names the failure as before.
    std::filesystem::remove(std::filesystem::path(path));
}

void RenameCacheFile(const std::wstring& from, const std::wstring& to) {
    if (RetryWhileHeld([&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0; })) return;
    std::filesystem::rename(std::filesystem::path(from), std::filesystem::path(to));
}

bool ReplaceCacheFile(const std::wstring& from, const std::wstring& to) {
    return RetryWhileHeld([&] {
        return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
}

bool ClearCacheFileForWriting(const std::wstring& path) {
    return RetryWhileHeld([&] {
        // The sharing of the stream that writes the file afterwards.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        CloseHandle(file);
        return true;
    });
}
