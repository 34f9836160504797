// The package cache against the loopback test host: parts into one part
// file, reuse of a complete setup program, the per-part and whole-package
// checks, the room rule and the file-system failures.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/cache_files.h"
#include "pipeline/install_pipeline.h"
#include "pipeline/installed_record.h"
#include "pipeline/package_download.h"
#include "pipeline/package_verify.h"
#include "player_texts.h"
#include "release_support.h"
#include "test_support.h"
#include "transfer/download_host.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// Crosses the transfer's 256 KiB chunk size in the first part.
const std::vector<std::size_t> kPartSizes = {300000, 262144, 5000};

// One test's release on the host, its private cache and a post counter.
struct DownloadRun {
    test::CleanLauncherState clean;
    test::PostCounter posts;
    test::HostFolder folder;
    test::RequestLog requests;
    std::string package = test::PatternBytes(300000 + 262144 + 5000, 7);
    json manifest = test::PublishRelease(folder, package, kPartSizes);

    DownloadRun() { launcherState.window = posts.window; }
    ReleaseManifest Parsed() const { return ParseReleaseManifest(manifest.dump()); }
    CachePaths Paths() const { return MakeCachePaths(Parsed()); }
    bool Requested(int part) const {
        return requests.Since().find(folder.RequestPath(L"part-" + std::to_wstring(part) + L".bin") + "\t") !=
               std::string::npos;
    }
    std::string PartBytes(int part) const {
        std::size_t offset = 0;
        for (int i = 0; i < part; ++i) offset += kPartSizes[i];
        return package.substr(offset, kPartSizes[part]);
    }
};

// Points manifestUrl at the test's own folder for the test's lifetime.
struct ServedManifest {
    std::wstring saved = manifestUrl;
    ServedManifest(const DownloadRun& run) {
        test::WriteFileBytes(run.folder.local / L"latest.json", run.manifest.dump());
        manifestUrl = run.folder.Url(L"latest.json");
    }
    ~ServedManifest() { manifestUrl = saved; }
};

// A scanner's brief hold: the file opened with `share` now, closed after
// `ms` or when the test is done with it, whichever comes first.
struct TimedHold {
    HANDLE handle;
    KernelEvent done{/*manualReset*/ true};
    std::thread closer;
    TimedHold(const std::wstring& path, DWORD share, DWORD ms)
        : handle(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)),
          closer([this, ms] {
              WaitForSingleObject(done.handle, ms);
              CloseHandle(handle);
          }) {}
    ~TimedHold() {
        SetEvent(done.handle);
        closer.join();
    }
    TimedHold(const TimedHold&) = delete;
    TimedHold& operator=(const TimedHold&) = delete;
};

// A hold that begins as the n-th cache step on its file does, for the time
// the object lives: a scanner drawn in by the step before.
struct HoldAtStep {
    static inline std::wstring path;
    static inline int stepsLeft = 0;
    static inline DWORD share = 0;
    static inline DWORD ms = 0;
    static inline std::optional<TimedHold> hold;
    static void OnStep(const std::wstring& stepPath) {
        if (stepPath == path && --stepsLeft == 0) hold.emplace(stepPath, share, ms);
    }
    HoldAtStep(const std::wstring& file, int step, DWORD shareMode, DWORD holdMs) {
        path = file;
        stepsLeft = step;
        share = shareMode;
        ms = holdMs;
        cacheStepStarting = OnStep;
    }
    ~HoldAtStep() {
        cacheStepStarting = nullptr;
        hold.reset();
    }
    HoldAtStep(const HoldAtStep&) = delete;
    HoldAtStep& operator=(const HoldAtStep&) = delete;
};

}  // namespace

TEST(PipelineDownload, PartsArriveInOrderAndBecomeTheSetupProgram) {
    DownloadRun run;
    const ReleaseManifest manifest = run.Parsed();
    DownloadResult result = DownloadPackage(manifest);

    ASSERT_EQ(result.outcome, DownloadOutcome::Downloaded);
    const std::wstring expectedSetup =
        packageCacheFolder + L"\\VandroGLADE-" + Utf8ToWide(manifest.packageSha256.substr(0, 16)) + L".exe";
    EXPECT_EQ(result.paths.setupPath, expectedSetup);
    EXPECT_EQ(result.paths.partFilePath, expectedSetup + L".part");
    EXPECT_EQ(test::ReadFileBytes(result.paths.partFilePath), run.package);
    EXPECT_FALSE(fs::exists(result.paths.setupPath));
    EXPECT_EQ(launcherState.bytesDone.load(), run.package.size());
    PhaseSnapshot snap = ReadPhaseAndMessage();
    EXPECT_EQ(snap.phase, Downloading);
    EXPECT_EQ(snap.statusMessage, test::texts::kDownloading);
    const std::string log = run.requests.Since();
    const std::size_t first = log.find(run.folder.RequestPath(L"part-0.bin") + "\tVandroGLADE/1.0");
    const std::size_t second = log.find(run.folder.RequestPath(L"part-1.bin") + "\tVandroGLADE/1.0");
    const std::size_t third = log.find(run.folder.RequestPath(L"part-2.bin") + "\tVandroGLADE/1.0");
    ASSERT_NE(third, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);

    VerifyAndAssemble(manifest, result.paths, *result.packageDigest);
    snap = ReadPhaseAndMessage();
    EXPECT_EQ(snap.phase, Verifying);
    EXPECT_EQ(snap.statusMessage, test::texts::kVerifying);
    EXPECT_EQ(test::ReadFileBytes(result.paths.setupPath), run.package);
    EXPECT_FALSE(fs::exists(result.paths.partFilePath));
    EXPECT_EQ(run.posts.Drain(), 2);  // Downloading, Verifying
}

TEST(PipelineDownload, CompleteCachedSetupProgramIsReusedWithoutDownloadOrVerify) {
    DownloadRun run;
    const ServedManifest served(run);
    const CachePaths paths = run.Paths();
    test::WriteFileBytes(paths.setupPath, run.package);
    test::WriteFileBytes(paths.partFilePath, "left from a broken download");
    launcherState.bytesTotal = 0;
    launcherState.busy = true;
    launcherState.phase = Downloading;
    launcherState.statusMessage = test::texts::kPreparing;

    PipelineStages stages = RealPipelineStages();
    PhaseSnapshot atSetup{Idle, L"", false};
    std::uint64_t bytesDoneAtSetup = 0;
    std::wstring setupPathAtSetup;
    stages.runSetupProgram = [&](const ReleaseManifest&, const CachePaths& p) {
        atSetup = ReadPhaseAndMessage();
        bytesDoneAtSetup = launcherState.bytesDone.load();
        setupPathAtSetup = p.setupPath;
        return SetupOutcome::Installed;
    };
    RunInstallPipelineWith(stages);

    EXPECT_EQ(run.clean.LogText(), "");
    EXPECT_EQ(atSetup.phase, Downloading);  // neither the download message nor Verifying
    EXPECT_EQ(atSetup.statusMessage, test::texts::kPreparing);
    EXPECT_EQ(bytesDoneAtSetup, run.package.size());  // the driver's jump
    EXPECT_EQ(setupPathAtSetup, paths.setupPath);
    EXPECT_EQ(launcherState.bytesTotal.load(), run.package.size());
    EXPECT_EQ(run.posts.Drain(), 1);  // only the driver's end post
    EXPECT_FALSE(run.Requested(0));
    EXPECT_EQ(test::ReadFileBytes(paths.partFilePath), "left from a broken download");
}

TEST(PipelineDownload, CachedSetupProgramWithWrongDigestIsReplaced) {
    DownloadRun run;
    const ReleaseManifest manifest = run.Parsed();
    const CachePaths paths = MakeCachePaths(manifest);
    std::string corrupt = run.package;
    corrupt[123456] ^= 0x01;
    test::WriteFileBytes(paths.setupPath, corrupt);

    DownloadResult result = DownloadPackage(manifest);
    ASSERT_EQ(result.outcome, DownloadOutcome::Downloaded);
    EXPECT_TRUE(run.Requested(0) && run.Requested(1) && run.Requested(2));
    VerifyAndAssemble(manifest, result.paths, *result.packageDigest);
    EXPECT_EQ(test::ReadFileBytes(paths.setupPath), run.package);
    EXPECT_FALSE(fs::exists(paths.partFilePath));
}

TEST(PipelineDownload, SwappedPartsPassTheirOwnChecksButFailThePackage) {
    DownloadRun run;
    std::swap(run.manifest["parts"][0], run.manifest["parts"][1]);
    const ReleaseManifest manifest = run.Parsed();

    DownloadResult result = DownloadPackage(manifest);
    ASSERT_EQ(result.outcome, DownloadOutcome::Downloaded);
    EXPECT_EQ(test::ErrorText([&] { VerifyAndAssemble(manifest, result.paths, *result.packageDigest); }),
              "Package checksum");
    EXPECT_EQ(test::ReadFileBytes(result.paths.partFilePath), run.PartBytes(1) + run.PartBytes(0) + run.PartBytes(2));
    EXPECT_FALSE(fs::exists(result.paths.setupPath));
}

TEST(PipelineDownload, BytesChangedOnDiskAfterTheStreamFailTheReadBack) {
    DownloadRun run;
    const ReleaseManifest manifest = run.Parsed();
    DownloadResult result = DownloadPackage(manifest);
    ASSERT_EQ(result.outcome, DownloadOutcome::Downloaded);
    // The streamed digest is right; the disk now holds one other byte.
    std::string onDisk = test::ReadFileBytes(result.paths.partFilePath);
    onDisk[400000] ^= 0x20;
    test::WriteFileBytes(result.paths.partFilePath, onDisk);

    EXPECT_EQ(test::ErrorText([&] { VerifyAndAssemble(manifest, result.paths, *result.packageDigest); }),
              "Package checksum");
    EXPECT_FALSE(fs::exists(result.paths.setupPath));
}

TEST(PipelineDownload, ShortPartFailsAndTheNextPartIsNeverRequested) {
    DownloadRun run;
    test::SetHostRules({{run.folder.RequestPath(L"part-1.bin"), {{"truncate", 1}}}});
    const ReleaseManifest manifest = run.Parsed();

    EXPECT_EQ(test::ErrorText([&] { DownloadPackage(manifest); }), "Part checksum");
    EXPECT_TRUE(run.Requested(0));
    EXPECT_TRUE(run.Requested(1));
    EXPECT_FALSE(run.Requested(2));
    EXPECT_EQ(launcherState.bytesDone.load(), kPartSizes[0] + kPartSizes[1] - 1);
    // The part file stays behind with what arrived; the next download truncates it.
    EXPECT_EQ(test::ReadFileBytes(MakeCachePaths(manifest).partFilePath),
              run.PartBytes(0) + run.PartBytes(1).substr(0, kPartSizes[1] - 1));
}

TEST(PipelineDownload, LongPartFailsWithUnexpectedSize) {
    DownloadRun run;
    test::SetHostRules({{run.folder.RequestPath(L"part-2.bin"), {{"extend", 1}}}});
    const ReleaseManifest manifest = run.Parsed();

    EXPECT_EQ(test::ErrorText([&] { DownloadPackage(manifest); }), "Unexpected download size");
    // The chunk that crossed the limit was neither written nor counted.
    const std::string written = test::ReadFileBytes(MakeCachePaths(manifest).partFilePath);
    EXPECT_LE(written.size(), run.package.size());
    EXPECT_EQ(written, run.package.substr(0, written.size()));
    EXPECT_EQ(launcherState.bytesDone.load(), written.size());
}

// What the injected free-space query reports.
std::uint64_t reportedFreeBytes = 0;
bool ReportedFreeSpace(const std::wstring&, std::uint64_t& freeBytes) {
    freeBytes = reportedFreeBytes;
    return true;
}

TEST(PipelineDownload, RoomMeansPackageInstalledSizeAndReserveToTheByte) {
    constexpr std::uint64_t kReserve = 512ULL * 1024 * 1024;
    struct Row {
        const char* situation;
        std::optional<std::uint64_t> installedBytes;  // none: left out of the manifest
        std::int64_t slack;                           // free bytes beyond what is needed
    };
    const Row rows[] = {
        {"exactly enough", 40000000, 0},
        {"one byte short", 40000000, -1},
        {"without installedBytes: twice the package, exactly", std::nullopt, 0},
        {"without installedBytes: one byte short", std::nullopt, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        DownloadRun run;
        if (row.installedBytes) run.manifest["installedBytes"] = *row.installedBytes;
        else run.manifest.erase("installedBytes");
        const ReleaseManifest manifest = run.Parsed();
        const std::uint64_t needed = run.package.size() + row.installedBytes.value_or(run.package.size()) + kReserve;
        reportedFreeBytes = needed + row.slack;
        // Even a complete cached copy needs the room.
        test::WriteFileBytes(MakeCachePaths(manifest).setupPath, run.package);
        launcherState.busy = true;

        PipelineStages stages;
        stages.fetchManifest = [&] { return manifest; };
        stages.downloadPackage = [](const ReleaseManifest& m) { return DownloadPackage(m, ReportedFreeSpace); };
        bool ranSetup = false;
        stages.runSetupProgram = [&](const ReleaseManifest&, const CachePaths&) {
            ranSetup = true;
            return SetupOutcome::Installed;
        };
        RunInstallPipelineWith(stages);

        EXPECT_FALSE(launcherState.busy.load());
        EXPECT_EQ(run.clean.LogText(), "");
        if (row.slack < 0) {
            const PhaseSnapshot snap = ReadPhaseAndMessage();
            EXPECT_EQ(snap.phase, Failed);
            EXPECT_EQ(snap.statusMessage, test::texts::kNoRoom);
            EXPECT_FALSE(ranSetup);
            EXPECT_EQ(run.posts.Drain(), 1);  // the stop's own publish, no end post
        } else {
            EXPECT_TRUE(ranSetup);
        }
        EXPECT_FALSE(run.Requested(0));
    }
}

TEST(PipelineDownload, FailedFreeSpaceQueryCountsAsNoRoom) {
    DownloadRun run;
    const ReleaseManifest manifest = run.Parsed();
    packageCacheFolder = (run.clean.cache.path / L"deleted-meanwhile").wstring();

    EXPECT_EQ(DownloadPackage(manifest).outcome, DownloadOutcome::NoRoom);
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, test::texts::kNoRoom);
    EXPECT_FALSE(run.Requested(0));
}

TEST(PipelineDownload, HeldOldSetupProgramFailsRemoveAndKeepsThePartFile) {
    DownloadRun run;
    const ReleaseManifest manifest = run.Parsed();
    const CachePaths paths = MakeCachePaths(manifest);
    test::WriteFileBytes(paths.setupPath, "an older, broken setup program");
    DownloadResult result = DownloadPackage(manifest);
    ASSERT_EQ(result.outcome, DownloadOutcome::Downloaded);

    const test::FileHold hold(paths.setupPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(hold.handle, INVALID_HANDLE_VALUE);
    try {
        VerifyAndAssemble(manifest, result.paths, *result.packageDigest);
        ADD_FAILURE() << "a held setup program was removed";
    } catch (const fs::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("remove"), std::string::npos) << e.what();
        EXPECT_EQ(e.path1().wstring(), paths.setupPath);
    }
    EXPECT_EQ(test::ReadFileBytes(paths.partFilePath), run.package);
    EXPECT_EQ(test::ReadFileBytes(paths.setupPath), "an older, broken setup program");
}

// Each cache step that a scanner's hold could fail: a hold of 300 ms is
// waited out, a hold of 10 s ends the step as it always did, in bounded time.
TEST(PipelineDownload, BriefHoldsAreWaitedOutAndLongOnesFailAsBefore) {
    const DWORD readOnly = FILE_SHARE_READ;
    const DWORD noDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
    struct Row {
        const char* what;
        DWORD share;
        std::function<std::wstring(DownloadRun&)> prepare;  // returns the file to hold
        std::function<void(DownloadRun&)> step;
        std::function<std::string(DownloadRun&)> outcome;
        const char* afterLongHold;  // part of the error, or the outcome without one
        int atStep = 0;             // the hold begins with the n-th cache step on the file; 0: before the step
    };
    const auto record = [] { return JoinPath(packageCacheFolder, kInstalledRecordName); };
    const auto newRecord = [&](DownloadRun&) {
        return test::ReadFileBytes(record()).find("\"new\"") != std::string::npos ? "new record" : "previous record";
    };
    const auto writeNewRecord = [](DownloadRun& run) { WriteInstalledPackageRecord(run.manifest, "new"); };
    DownloadResult pending;  // downloaded before the hold, verified and renamed under it
    const auto download = [&](DownloadRun& run) { pending = DownloadPackage(run.Parsed()); };
    const auto assemble = [&](DownloadRun& run) { VerifyAndAssemble(run.Parsed(), pending.paths, *pending.packageDigest); };
    const auto downloaded = [&](DownloadRun& run) {
        download(run);
        assemble(run);
    };
    const auto setupIsThePackage = [](DownloadRun& run) {
        return test::ReadFileBytes(run.Paths().setupPath) == run.package ? "installed package" : "old files";
    };
    const Row rows[] = {
        {"removing an older setup program", noDelete,
         [&](DownloadRun& run) {
             test::WriteFileBytes(run.Paths().setupPath, "an older setup program");
             download(run);
             return run.Paths().setupPath;
         },
         assemble, setupIsThePackage, "remove"},
        {"renaming the part file", noDelete,
         [&](DownloadRun& run) {
             download(run);
             return run.Paths().partFilePath;
         },
         assemble, setupIsThePackage, "rename"},
        {"creating the part file over a held one", readOnly,
         [](DownloadRun& run) {
             test::WriteFileBytes(run.Paths().partFilePath, "an earlier attempt's part file");
             return run.Paths().partFilePath;
         },
         downloaded, setupIsThePackage, "Cache create"},
        {"opening the part file for writing", readOnly,
         [](DownloadRun& run) {
             test::WriteFileBytes(run.Paths().partFilePath, "an earlier attempt's part file");
             return run.Paths().partFilePath;
         },
         downloaded, setupIsThePackage, "Cache create", 1},
        {"replacing the installed-package record", noDelete,
         [&](DownloadRun& run) {
             WriteInstalledPackageRecord(run.manifest, "previous");
             return record();
         },
         writeNewRecord, newRecord, "previous record"},
        {"creating the record's temporary file over a held stale one", readOnly,
         [&](DownloadRun& run) {
             WriteInstalledPackageRecord(run.manifest, "previous");
             test::WriteFileBytes(record() + L".tmp", "a killed write's record");
             return record() + L".tmp";
         },
         writeNewRecord, newRecord, "previous record"},
        {"moving the record's temporary file once closed", readOnly,
         [&](DownloadRun& run) {
             WriteInstalledPackageRecord(run.manifest, "previous");
             return record() + L".tmp";
         },
         writeNewRecord, newRecord, "previous record", 2},
    };
    for (const Row& row : rows) {
        for (const DWORD holdMs : {300u, 10000u}) {
            SCOPED_TRACE(std::string(row.what) + ", held " + std::to_string(holdMs) + " ms");
            DownloadRun run;
            const std::wstring file = row.prepare(run);
            std::optional<TimedHold> hold;
            std::optional<HoldAtStep> later;
            if (row.atStep == 0) hold.emplace(file, row.share, holdMs);
            if (row.atStep != 0) later.emplace(file, row.atStep, row.share, holdMs);
            const auto start = std::chrono::steady_clock::now();
            const std::string error = test::ErrorText([&] { row.step(run); });
            const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const HANDLE held = row.atStep == 0 ? hold->handle : HoldAtStep::hold ? HoldAtStep::hold->handle : nullptr;
            ASSERT_NE(held, nullptr) << "the step never reached the file";
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
            if (holdMs == 300) {
                EXPECT_EQ(error, "no error");
                EXPECT_NE(row.outcome(run), "old files");
                EXPECT_NE(row.outcome(run), "previous record");
            } else {
                const std::string ended = error == "no error" ? row.outcome(run) : error;
                EXPECT_NE(ended.find(row.afterLongHold), std::string::npos) << ended;
                EXPECT_LT(seconds, 8.0);  // about 2 s of retries; generous for a loaded machine
            }
        }
    }
}

TEST(PipelineDownload, PartFileThatCannotBeOpenedFailsCacheCreate) {
    DownloadRun run;
    const ReleaseManifest manifest = run.Parsed();
    fs::create_directories(MakeCachePaths(manifest).partFilePath);  // a folder in the part file's place

    EXPECT_EQ(test::ErrorText([&] { DownloadPackage(manifest); }), "Cache create");
    EXPECT_FALSE(run.Requested(0));
    EXPECT_EQ(run.posts.Drain(), 0);  // nothing published before the stream opened
}

// The release that tools/publish-release wrote before this test (ctest
// fixture "published"): the launcher takes what the vendor's tool writes.
TEST(PipelinePublished, ReleaseWrittenByThePublishingToolDownloadsAndVerifies) {
    test::CleanLauncherState clean;
    const std::wstring savedManifestUrl = manifestUrl;
    manifestUrl = test::HostUrl(L"/vandroglade/windows/PublishedByTool/latest.json");
    const ReleaseManifest manifest = FetchReleaseManifest();
    manifestUrl = savedManifestUrl;
    EXPECT_EQ(manifest.parts.size(), 3u);
    EXPECT_EQ(manifest.document.at("version"), "1.1.1");

    DownloadResult result = DownloadPackage(manifest);
    ASSERT_EQ(result.outcome, DownloadOutcome::Downloaded);
    VerifyAndAssemble(manifest, result.paths, *result.packageDigest);
    EXPECT_EQ(fs::file_size(result.paths.setupPath), manifest.packageSize);
    EXPECT_EQ(launcherState.bytesDone.load(), manifest.packageSize);
}
