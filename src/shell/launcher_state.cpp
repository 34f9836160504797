#include "shell/launcher_state.h"

#include <exception>
#include <stdexcept>
#include <system_error>

#include "pipeline/install_pipeline.h"
#include "pipeline/launcher_log.h"

LauncherState launcherState;

namespace {

void PostStatusChanged() {
    if (HWND window = launcherState.window.load()) {
        PostMessageW(window, WM_LAUNCHER_STATUS, 0, 0);
    }
}

bool Finished(LauncherPhase phase) { return phase == Ready || phase == Failed; }

// Ready and Failed end the attempt: busy clears with them, in the same
// critical section, so that no reading of the three pairs the end with the
// attempt's busy flag. The clearing still follows the worker's last write of
// the installed game.
void StoreStatus(LauncherPhase phase, const std::wstring& message) {
    std::lock_guard<std::mutex> lock(launcherState.mutex);
    launcherState.phase = phase;
    if (&message != &launcherState.statusMessage) {
        launcherState.statusMessage = message;
    }
    if (Finished(phase)) launcherState.busy.exchange(false);
}

// The worker's body: the pipeline catches what derives from std::exception;
// anything else must still leave busy cleared, or no attempt could ever
// start again.
void WorkerBody() {
    try {
        RunInstallPipeline();
        return;
    } catch (...) {
    }
    try {
        AppendLauncherLog(std::runtime_error("Unknown failure"));
    } catch (...) {
    }
    EndAttempt();
    PostStatusChanged();
}

}  // namespace

void PublishStatus(LauncherPhase phase, const std::wstring& message) {
    StoreStatus(phase, message);
    PostStatusChanged();  // always after the unlock
}

PhaseSnapshot ReadPhaseAndMessage() {
    std::lock_guard<std::mutex> lock(launcherState.mutex);
    return PhaseSnapshot{launcherState.phase, launcherState.statusMessage, launcherState.busy.load()};
}

void EndAttempt() {
    std::lock_guard<std::mutex> lock(launcherState.mutex);
    if (!Finished(launcherState.phase)) launcherState.busy.exchange(false);
}

LauncherPhase ReadPhase() {
    std::lock_guard<std::mutex> lock(launcherState.mutex);
    return launcherState.phase;
}

void RequestCancel() {
    launcherState.cancelRequested.exchange(true);
    SetEvent(launcherState.cancelEvent.handle);
}

void StartDownload() {
    if (launcherState.busy.exchange(true)) {
        return;
    }
    if (launcherState.worker.joinable()) {
        launcherState.worker.join();
    }
    launcherState.cancelRequested.exchange(false);
    ResetEvent(launcherState.cancelEvent.handle);
    launcherState.bytesDone.exchange(0);
    launcherState.bytesTotal.exchange(0);
    PublishStatus(Downloading, kPreparingMessage);
    try {
        launcherState.worker = std::thread(WorkerBody);
    } catch (const std::exception& failure) {
        // No worker: report it like a failed attempt and free the button,
        // even when the log cannot take the line.
        try {
            AppendLauncherLog(failure);
        } catch (...) {
        }
        launcherState.busy.exchange(false);
        PostStatusChanged();
    }
}
