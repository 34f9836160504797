// The driver's ends, with substituted stages: phase, message, busy, counters,
// the launcher log and the number of WM_APP+1 posts.
#include <gtest/gtest.h>

#include <stdexcept>

#include "player_texts.h"
#include "pipeline/install_pipeline.h"
#include "test_support.h"

namespace {

constexpr const wchar_t* kNoRoom = L"Kurulum için yeterli boş alan bulunamadı.";
constexpr const wchar_t* kGameRunning = L"Kuruluma devam etmek için önce oyunu kapat.";
constexpr const wchar_t* kReady = L"Her şey hazır. Parkta görüşürüz!";

ReleaseManifest FakeManifest() {
    ReleaseManifest m;
    m.packageSha256 = std::string(64, 'a');
    m.packageSize = 3u * 1048576u;
    m.installedBytes = m.packageSize;
    launcherState.bytesTotal.exchange(m.packageSize);
    return m;
}

DownloadResult Reused(const ReleaseManifest&) {
    DownloadResult r;
    r.outcome = DownloadOutcome::Reused;
    return r;
}

SetupOutcome Installed(const ReleaseManifest&, const CachePaths&) {
    PublishStatus(Installing, L"VandroGLADE kuruluyor\u2026");
    PublishStatus(Ready, kReady);
    return SetupOutcome::Installed;
}

struct DriverRun {
    test::CleanLauncherState clean;
    test::PostCounter posts;
    PipelineStages stages{FakeManifest, Reused, [](const ReleaseManifest&, const CachePaths&, Sha256Hasher&) {},
                          Installed};
    DriverRun() {
        launcherState.window = posts.window;
        launcherState.busy = true;  // as StartDownload leaves it
    }
    void Run() { RunInstallPipelineWith(stages); }
};

}  // namespace

TEST(Driver, SuccessEndsReadyAndPostsOnceMore) {
    DriverRun run;
    run.Run();
    const PhaseSnapshot snap = ReadPhaseAndMessage();
    EXPECT_EQ(snap.phase, Ready);
    EXPECT_EQ(snap.statusMessage, kReady);
    EXPECT_FALSE(launcherState.busy.load());
    EXPECT_EQ(launcherState.bytesDone.load(), 3u * 1048576u);  // reuse jumps to the package size
    EXPECT_EQ(run.posts.Drain(), 3);                            // Installing, Ready, end
    EXPECT_EQ(run.clean.LogText(), "");
}

TEST(Driver, DownloadedPackageIsVerifiedBeforeSetup) {
    DriverRun run;
    int order = 0, verifiedAt = 0, setupAt = 0;
    run.stages.downloadPackage = [](const ReleaseManifest&) {
        DownloadResult r;
        r.outcome = DownloadOutcome::Downloaded;
        r.packageDigest = std::make_unique<Sha256Hasher>();
        return r;
    };
    run.stages.verifyAndAssemble = [&](const ReleaseManifest&, const CachePaths&, Sha256Hasher&) {
        verifiedAt = ++order;
        EXPECT_EQ(launcherState.bytesDone.load(), 0u);  // full progress only after verification
    };
    run.stages.runSetupProgram = [&](const ReleaseManifest& m, const CachePaths& p) {
        setupAt = ++order;
        return Installed(m, p);
    };
    run.Run();
    EXPECT_EQ(verifiedAt, 1);
    EXPECT_EQ(setupAt, 2);
    EXPECT_EQ(ReadPhase(), Ready);
}

TEST(Driver, NoRoomStopsWithoutLogOrFinalPost) {
    DriverRun run;
    bool setupRan = false;
    run.stages.downloadPackage = [](const ReleaseManifest&) {
        PublishStatus(Failed, kNoRoom);
        return DownloadResult{};
    };
    run.stages.runSetupProgram = [&](const ReleaseManifest&, const CachePaths&) {
        setupRan = true;
        return SetupOutcome::Installed;
    };
    run.Run();
    EXPECT_FALSE(setupRan);
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, kNoRoom);
    EXPECT_FALSE(launcherState.busy.load());
    EXPECT_EQ(launcherState.bytesDone.load(), 0u);
    EXPECT_EQ(run.posts.Drain(), 1);
    EXPECT_EQ(run.clean.LogText(), "");
}

TEST(Driver, GameRunningStopsWithoutLogOrFinalPost) {
    DriverRun run;
    run.stages.runSetupProgram = [](const ReleaseManifest&, const CachePaths&) {
        PublishStatus(Failed, kGameRunning);
        return SetupOutcome::GameRunning;
    };
    run.Run();
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, kGameRunning);
    EXPECT_FALSE(launcherState.busy.load());
    EXPECT_EQ(run.posts.Drain(), 1);
    EXPECT_EQ(run.clean.LogText(), "");
}

TEST(Driver, RaisedFailureLogsOneLineAndKeepsCounters) {
    DriverRun run;
    run.stages.fetchManifest = []() -> ReleaseManifest {
        launcherState.bytesTotal.exchange(42);
        throw std::runtime_error("Installed size");
    };
    run.Run();
    const PhaseSnapshot snap = ReadPhaseAndMessage();
    EXPECT_EQ(snap.phase, Failed);
    EXPECT_EQ(snap.statusMessage, test::texts::kFailed);
    EXPECT_FALSE(launcherState.busy.load());
    EXPECT_EQ(launcherState.bytesTotal.load(), 42u);
    EXPECT_EQ(launcherState.bytesDone.load(), 0u);
    EXPECT_EQ(run.posts.Drain(), 2);  // the handler's publish, then the end post
    EXPECT_EQ(run.clean.LogText(), "Installed size\r\n");
}

TEST(Driver, RaisedFailureAfterCancelSaysStopped) {
    DriverRun run;
    launcherState.cancelRequested = true;
    run.stages.downloadPackage = [](const ReleaseManifest&) -> DownloadResult { throw std::runtime_error("Cancelled"); };
    run.Run();
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, test::texts::kCancelled);
    EXPECT_FALSE(launcherState.busy.load());
    EXPECT_EQ(run.posts.Drain(), 2);
    EXPECT_EQ(run.clean.LogText(), "Cancelled\r\n");
}

TEST(Driver, FailuresAppendOldestFirstAndNothingPostsWithoutWindow) {
    DriverRun run;
    launcherState.window = nullptr;
    run.stages.fetchManifest = []() -> ReleaseManifest { throw std::runtime_error("Manifest schema"); };
    run.Run();
    launcherState.busy = true;
    run.stages.fetchManifest = []() -> ReleaseManifest { throw std::runtime_error("HTTP 404"); };
    run.Run();
    EXPECT_EQ(run.clean.LogText(), "Manifest schema\r\nHTTP 404\r\n");
    EXPECT_EQ(run.posts.Drain(), 0);
}
