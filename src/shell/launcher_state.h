// The one record the window thread and the install worker share, and the two
// operations that publish into it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

enum LauncherPhase : std::int32_t {
    Idle = 0,
    Downloading = 1,
    Verifying = 2,
    Installing = 3,
    Ready = 4,
    Failed = 5,
};

// Posted (never sent) to the window after every change it should show.
constexpr UINT WM_LAUNCHER_STATUS = WM_APP + 1;

inline constexpr const wchar_t* kInitialStatusMessage = L"VandroGLADE\u2019ı indir, parkın kapıları açılsın.";
inline constexpr const wchar_t* kPreparingMessage = L"İndirme hazırlanıyor\u2026";
inline constexpr const wchar_t* kAttemptFailedMessage = L"İndirme tamamlanamadı. Bağlantını kontrol edip tekrar dene.";
inline constexpr const wchar_t* kAttemptCancelledMessage = L"İndirme durduruldu.";

// A kernel event, closed with its owner.
struct KernelEvent {
    HANDLE handle;
    explicit KernelEvent(bool manualReset) : handle(CreateEventW(nullptr, manualReset, /*initial*/ FALSE, nullptr)) {}
    ~KernelEvent() {
        if (handle) CloseHandle(handle);
    }
    KernelEvent(const KernelEvent&) = delete;
    KernelEvent& operator=(const KernelEvent&) = delete;
};

struct LauncherState {
    std::mutex mutex;  // guards phase and statusMessage; busy clears under it
    LauncherPhase phase = Idle;
    std::wstring statusMessage = kInitialStatusMessage;
    std::atomic<std::uint64_t> bytesDone{0};
    std::atomic<std::uint64_t> bytesTotal{0};
    std::atomic<bool> busy{false};
    std::atomic<bool> cancelRequested{false};
    // Set together with cancelRequested, so that a network wait ends at once
    // instead of at its next chunk; the flag stays what decides.
    KernelEvent cancelEvent{/*manualReset*/ true};
    std::atomic<HWND> window{nullptr};
    std::thread worker;  // window thread only
};

extern LauncherState launcherState;

// Window thread only. Claims busy and starts one install attempt, or does
// nothing when an attempt is already running.
void StartDownload();

// Window thread, when the window goes: asks a running attempt to stop.
void RequestCancel();

// Worker thread. Stores phase and message together, then notifies the
// window. Ready and Failed end the attempt and clear busy with them.
void PublishStatus(LauncherPhase phase, const std::wstring& message);

// Worker thread, its last action on the state: clears busy when the attempt
// ended without publishing Ready or Failed. One that did has cleared it
// already, and the window may have claimed it for the next attempt, which
// joins this worker only after the claim.
void EndAttempt();

// A consistent copy of phase, message and busy, taken under the mutex.
struct PhaseSnapshot {
    LauncherPhase phase;
    std::wstring statusMessage;
    bool busy;
};
PhaseSnapshot ReadPhaseAndMessage();
LauncherPhase ReadPhase();
