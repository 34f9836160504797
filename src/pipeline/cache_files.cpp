#include "pipeline/cache_files.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <limits>

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

void AnnounceStep(const std::wstring& path) {
    if (cacheStepStarting) cacheStepStarting(path);
}

struct FileHandle {
    HANDLE h = INVALID_HANDLE_VALUE;
    FileHandle() = default;
    ~FileHandle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

bool WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, std::numeric_limits<DWORD>::max()));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

}  // namespace

void RemoveCacheFile(const std::wstring& path) {
    AnnounceStep(path);
    if (RetryWhileHeld([&] { return DeleteFileW(path.c_str()) != 0; })) return;
    // Once more through the standard library, whose error names the failure as before.
    std::filesystem::remove(std::filesystem::path(path));
}

void RenameCacheFile(const std::wstring& from, const std::wstring& to) {
    AnnounceStep(from);
    if (RetryWhileHeld([&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0; })) return;
    std::filesystem::rename(std::filesystem::path(from), std::filesystem::path(to));
}

bool ReplaceCacheFile(const std::wstring& from, const std::wstring& to) {
    AnnounceStep(from);
    return RetryWhileHeld([&] {
        return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
}

bool OpenCacheStreamForWriting(const std::wstring& path, std::ofstream& stream) {
    AnnounceStep(path);
    return RetryWhileHeld([&] {
        // The stream says only that it failed; the platform's own error,
        // left by the open beneath it, tells a hold from anything else.
        SetLastError(ERROR_SUCCESS);
        stream.clear();
        stream.open(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
        return stream.is_open();
    });
}

bool WriteCacheFileThrough(const std::wstring& path, const std::string& bytes) {
    AnnounceStep(path);
    FileHandle file;
    const bool opened = RetryWhileHeld([&] {
        file.h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        return file.h != INVALID_HANDLE_VALUE;
    });
    // Flushed before the handle closes: a scanner that opens the fresh file
    // afterwards can no longer keep these bytes off the disk.
    return opened && WriteAll(file.h, bytes) && FlushFileBuffers(file.h);
}
