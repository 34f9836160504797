// One install attempt, from the manifest to the installed-package record.
#pragma once

#include <functional>

#include "pipeline/package_download.h"
#include "pipeline/package_verify.h"
#include "pipeline/release_manifest.h"
#include "pipeline/setup_run.h"

// The four stages in the order the attempt runs them. Tests substitute
// their own; the launcher always runs RealPipelineStages().
struct PipelineStages {
    std::function<ReleaseManifest()> fetchManifest;
    std::function<DownloadResult(const ReleaseManifest&)> downloadPackage;
    std::function<void(const ReleaseManifest&, const CachePaths&, Sha256Hasher&)> verifyAndAssemble;
    std::function<SetupOutcome(const ReleaseManifest&, const CachePaths&)> runSetupProgram;
};

PipelineStages RealPipelineStages();

// The worker thread's body. Returns normally in every case.
void RunInstallPipeline();
void RunInstallPipelineWith(const PipelineStages& stages);
