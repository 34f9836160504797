// Whole install attempts with the real stages: the manifest and parts come
// from the loopback test host, the test setup program installs the test
// game into the prefix.
#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#include "player_texts.h"
#include "fixture_support.h"
#include "pipeline/install_pipeline.h"
#include "release_support.h"
#include "transfer/digest_pipe.h"
#include "transfer/download_host.h"

namespace {

// A release of the test setup program on the host, split into three parts,
// with manifestUrl pointing at it for the test.
struct PublishedSetup {
    test::HostFolder folder;
    std::string package;
    nlohmann::json manifest;
    std::wstring savedManifestUrl = manifestUrl;

    explicit PublishedSetup(const test::SetupScenario& scenario) {
        package = test::TestSetupProgramBytes(scenario);
        const std::size_t third = package.size() / 3;
        manifest = test::PublishRelease(folder, package, {third, third, package.size() - 2 * third});
        Publish();
        manifestUrl = folder.Url(L"latest.json");
    }
    ~PublishedSetup() { manifestUrl = savedManifestUrl; }
    PublishedSetup(const PublishedSetup&) = delete;
    PublishedSetup& operator=(const PublishedSetup&) = delete;

    void Publish() const { test::WriteFileBytes(folder.local / L"latest.json", manifest.dump()); }
    std::wstring SetupPath() const {
        return JoinPath(packageCacheFolder, L"VandroGLADE-" + Utf8ToWide(manifest["sha256"].get<std::string>().substr(0, 16)) + L".exe");
    }
};

struct Attempt {
    test::CleanInstallState state;
    test::TempFolder installFolder;
    test::PostCounter posts;
    Attempt() { launcherState.window = posts.window; }

    test::SetupScenario Scenario() const {
        test::SetupScenario s;
        s.installFolder = installFolder.path.wstring();
        return s;
    }
    // As the window does it: StartDownload, then wait for the worker.
    void Run() {
        StartDownload();
        for (int i = 0; i < 1200 && launcherState.busy.load(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_FALSE(launcherState.busy.load()) << "the attempt did not end within a minute";
        launcherState.worker.join();
    }
    std::string Log() const { return state.launcher.LogText(); }
    std::string Record() const { return test::ReadFileBytes(state.launcher.cache.path / kInstalledRecordName); }
};

}  // namespace

TEST(PipelineEndToEnd, FirstInstallEndsReadyWithEverythingInPlace) {
    Attempt attempt;
    PublishedSetup release(attempt.Scenario());

    attempt.Run();

    const PhaseSnapshot end = ReadPhaseAndMessage();
    EXPECT_EQ(end.phase, Ready);
    EXPECT_EQ(end.statusMessage, test::texts::kInstalled);
    EXPECT_EQ(attempt.Log(), "");
    EXPECT_EQ(launcherState.bytesTotal.load(), release.package.size());
    EXPECT_EQ(launcherState.bytesDone.load(), release.package.size());
    // Registry and executable, as the window will find them.
    EXPECT_EQ(installedGame.installLocation, attempt.installFolder.path.wstring());
    EXPECT_EQ(installedGame.displayVersion, L"1.1.1");
    EXPECT_TRUE(std::filesystem::exists(attempt.installFolder.path / kGameExeName));
    // The verified setup program stays in the cache with its marker; the part file is gone.
    const std::wstring setupPath = release.SetupPath();
    EXPECT_EQ(test::ReadFileBytes(setupPath), release.package);
    EXPECT_FALSE(std::filesystem::exists(setupPath + L".part"));
    EXPECT_EQ(test::ReadFileBytes(setupPath + L":Zone.Identifier"),
              "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=" + WideToUtf8(manifestUrl) + "\r\n");
    EXPECT_TRUE(std::filesystem::exists(attempt.state.launcher.cache.path / kSetupLogName));
    EXPECT_EQ(attempt.Record(), "{\r\n  \"sha256\": \"" + release.manifest["sha256"].get<std::string>() +
                                    "\",\r\n  \"version\": \"1.1.1\"\r\n}");
    // StartDownload, parts, Verifying, Installing, Ready, the end post.
    EXPECT_EQ(attempt.posts.Drain(), 6);
}

TEST(PipelineEndToEnd, SecondAttemptReusesTheCachedSetupProgram) {
    Attempt attempt;
    PublishedSetup release(attempt.Scenario());
    attempt.Run();
    ASSERT_EQ(ReadPhase(), Ready);
    attempt.posts.Drain();
    test::PostCounter::received = 0;

    test::RequestLog requests;
    attempt.Run();
    EXPECT_EQ(ReadPhase(), Ready);
    // Only the manifest was fetched again; no Downloading or Verifying publish.
    const std::string fetched = requests.Since();
    EXPECT_NE(fetched.find("latest.json"), std::string::npos);
    // Only this release's parts count: other tests may fetch theirs meanwhile.
    EXPECT_EQ(fetched.find(release.folder.RequestPath(L"part-")), std::string::npos) << fetched;
    EXPECT_EQ(attempt.posts.Drain(), 4);  // StartDownload, Installing, Ready, end
    EXPECT_EQ(attempt.Log(), "");
}

TEST(PipelineEndToEnd, ManifestWithoutVersionInstallsButFailsAndKeepsTheRecord) {
    Attempt attempt;
    test::WriteFileBytes(attempt.state.launcher.cache.path / kInstalledRecordName, "previous record");
    PublishedSetup release(attempt.Scenario());
    release.manifest.erase("version");
    release.Publish();

    attempt.Run();

    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, test::texts::kFailed);
    EXPECT_EQ(attempt.Log().rfind("[json.exception.out_of_range.403] key 'version' not found\r\n", 0), 0u)
        << attempt.Log();
    EXPECT_TRUE(std::filesystem::exists(attempt.installFolder.path / kGameExeName));
    EXPECT_EQ(attempt.Record(), "previous record");
}

// A part's digest threads that cannot start: out of memory or out of
// threads, the attempt fails like any other, and the launcher lives on.
TEST(PipelineEndToEnd, DigestThreadsThatCannotStartFailTheAttemptWithHashCreate) {
    static std::size_t failingDigest;
    static bool outOfMemory;
    const struct {
        const char* name;
        std::size_t digest;
        bool outOfMemory;
    } kRows[] = {
        {"first start out of memory", 0, true},
        {"second start out of memory", 1, true},
        {"second start out of threads", 1, false},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        Attempt attempt;
        PublishedSetup release(attempt.Scenario());
        const struct Unhook {
            ~Unhook() { digestThreadStarting = nullptr; }
        } unhook;
        failingDigest = row.digest;
        outOfMemory = row.outOfMemory;
        digestThreadStarting = [](std::size_t digest) {
            if (digest != failingDigest) return;
            if (outOfMemory) throw std::bad_alloc();
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        };
        attempt.Run();
        EXPECT_EQ(attempt.Log(), "Hash create\r\n");
        EXPECT_EQ(ReadPhaseAndMessage().statusMessage, test::texts::kFailed);
        EXPECT_FALSE(std::filesystem::exists(release.SetupPath()));
    }
}

TEST(PipelineEndToEnd, SetupFailuresAreLoggedOldestFirst) {
    Attempt attempt;
    test::SetupScenario failing = attempt.Scenario();
    failing.exitCode = 2;
    failing.registerGame = false;
    {
        PublishedSetup release(failing);
        attempt.Run();
    }
    test::SetupScenario unregistered = attempt.Scenario();
    unregistered.registerGame = false;
    {
        PublishedSetup release(unregistered);
        attempt.Run();
    }
    EXPECT_EQ(attempt.Log(), "Installer exit 2\r\nInstalled game missing\r\n");
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, test::texts::kFailed);
}

TEST(PipelineEndToEnd, ClosingDuringASlowPartCancelsTheAttempt) {
    Attempt attempt;
    PublishedSetup release(attempt.Scenario());
    test::SetHostRules({{release.folder.RequestPath(L"part-1.bin"), {{"pause_after", 1000}, {"pause_seconds", 3}}}});

    StartDownload();
    // Wait until the slow part has begun, then do what window destruction does.
    for (int i = 0; i < 400 && launcherState.bytesDone.load() <= release.package.size() / 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    launcherState.cancelRequested.exchange(true);
    launcherState.window.store(nullptr);
    launcherState.worker.join();
    test::SetHostRules({{release.folder.RequestPath(L"part-1.bin"), nlohmann::json::object()}});

    EXPECT_FALSE(launcherState.busy.load());
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, test::texts::kCancelled);
    EXPECT_EQ(attempt.Log(), "Cancelled\r\n");
    EXPECT_FALSE(std::filesystem::exists(attempt.installFolder.path / kGameExeName));
    EXPECT_EQ(attempt.posts.Drain(), 2);  // nothing after the window was gone
}

// The disk fills up in the middle of a part (after the room check, which
// needs half a gigabyte more than the package): the platform refuses the
// write, the attempt fails as any other, nothing stands at the setup
// program's path and the previous record is untouched. Once there is room
// again, the next attempt installs.
TEST(PipelineEndToEnd, DiskFullMidPartFailsCleanlyAndTheNextAttemptInstalls) {
    const test::SmallDisk disk;
    if (!disk.Mounted()) GTEST_SKIP() << "no small disk: mounting a tmpfs was refused";
    Attempt attempt;
    packageCacheFolder = (disk.root / L"cache").wstring();
    std::filesystem::create_directories(packageCacheFolder);
    const std::filesystem::path cache = packageCacheFolder;
    const std::string previous = "{\r\n  \"sha256\": \"" + std::string(64, 'a') + "\",\r\n  \"version\": \"1.0.0\"\r\n}";
    test::WriteFileBytes(cache / kInstalledRecordName, previous);
    // An earlier failure's line: the log's last block has room for one more
    // even on the full disk (a log begun on a full disk would stay empty).
    test::WriteFileBytes(cache / kLauncherLogName, "HTTP 404\r\n");
    PublishedSetup release(attempt.Scenario());
    const std::string slowPart = release.folder.RequestPath(L"part-1.bin");
    test::SetHostRules({{slowPart, {{"pause_after", 1000}, {"pause_seconds", 6}}}});
    const test::RequestLog requests;

    StartDownload();
    // The host holds the part back once asked for it: fill the disk meanwhile.
    test::WaitUntil(30, [&] { return requests.Since().find(slowPart + "\t") != std::string::npos; });
    const auto filling = std::chrono::steady_clock::now();
    disk.Fill();
    std::printf("filled the disk in %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - filling).count());
    launcherState.worker.join();
    test::SetHostRules({{slowPart, nlohmann::json::object()}});

    EXPECT_EQ(test::ReadFileBytes(cache / kLauncherLogName), "HTTP 404\r\nDisk write\r\n");
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, test::texts::kFailed);
    EXPECT_FALSE(std::filesystem::exists(release.SetupPath()));
    EXPECT_EQ(test::ReadFileBytes(cache / kInstalledRecordName), previous);

    std::filesystem::remove(disk.filler);
    attempt.Run();
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, test::texts::kInstalled);
    EXPECT_EQ(test::ReadFileBytes(cache / kLauncherLogName), "HTTP 404\r\nDisk write\r\n");
    EXPECT_NE(test::ReadFileBytes(cache / kInstalledRecordName), previous);
    EXPECT_TRUE(std::filesystem::exists(attempt.installFolder.path / kGameExeName));
}
