#include "pipeline/install_pipeline.h"

#include <exception>

#include "pipeline/launcher_log.h"
#include "shell/launcher_state.h"

PipelineStages RealPipelineStages() {
    return PipelineStages{FetchReleaseManifest, [](const ReleaseManifest& manifest) { return DownloadPackage(manifest); },
                          VerifyAndAssemble, RunSetupProgram};
}

void RunInstallPipeline() {
    RunInstallPipelineWith(RealPipelineStages());
}

namespace {

// Ends the attempt after an early stop: the stop's own publish already posted.
void EndEarly() {
    EndAttempt();
}

}  // namespace

void RunInstallPipelineWith(const PipelineStages& stages) {
    try {
        const ReleaseManifest manifest = stages.fetchManifest();
        DownloadResult download = stages.downloadPackage(manifest);
        if (download.outcome == DownloadOutcome::NoRoom) {
            EndEarly();
            return;
        }
        if (download.outcome == DownloadOutcome::Downloaded) {
            stages.verifyAndAssemble(manifest, download.paths, *download.packageDigest);
        }
        download.packageDigest.reset();
        launcherState.bytesDone.exchange(manifest.packageSize);
        if (stages.runSetupProgram(manifest, download.paths) == SetupOutcome::GameRunning) {
            EndEarly();
            return;
        }
    } catch (const std::exception& failure) {
        AppendLauncherLog(failure);
    }
    EndAttempt();
    if (HWND window = launcherState.window.load()) {
        PostMessageW(window, WM_LAUNCHER_STATUS, 0, 0);
    }
}
