// Fault soak: many install attempts in a row through the real pipeline
// against the loopback host, each with one random fault, then a clean one.
// Every attempt must end settled (not busy, Failed or Ready), log exactly its
// own failure, leak no handle and leave the previous installed-package record
// alone; the clean attempt must install. Some faults end in a real setup run,
// so its process and snapshot handles are counted too. The seed is printed;
// VANDRO_SOAK_SEED replays or varies it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fixture_support.h"
#include "player_texts.h"
#include "pipeline/install_pipeline.h"
#include "release_support.h"
#include "test_support.h"
#include "transfer/download_host.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr int kFaultyAttempts = 110;
constexpr int kParts = 4;
// Wine opens a few handles of its own well after start-up, under load, and
// keeps them. A leak grows with the attempts instead: the count after a second
// warm-up band against the count at the end may differ by this much only.
constexpr long kLeakAllowance = 4;

const char* const kPreviousRecord = "{\n  \"sha256\": \"" 
                                    "00000000000000000000000000000000000000000000000000000000000000aa\",\n"
                                    "  \"version\": \"1.0.0\"\n}";

enum class Fault {
    ManifestStatus, ManifestTruncate, ManifestExtend, PartStatus, PartTruncate, PartExtend, PartClose, PartReset,
    PauseThenWrongDigest, WrongPartDigest, WrongPackageDigest, PartSizeLarger, PartSizeSmaller, TotalMismatch,
    LockedPartFile, HeldStaleSetup, NoRoom, GameRunning, SetupFails, SetupInstallsNoGame,
    Count
};

const char* FaultName(Fault fault) {
    static const char* const names[] = {
        "manifest status", "manifest truncated", "manifest extended", "part status", "part truncated",
        "part extended", "connection closed", "connection reset", "pause, then wrong digest", "wrong part digest",
        "wrong package digest", "part size larger", "part size smaller", "sizes do not add up", "part file locked",
        "stale setup program held", "no room", "game running", "setup program fails", "setup installs no game"};
    return names[static_cast<int>(fault)];
}

std::uint64_t Seed() { return test::SeedFromEnv(L"VANDRO_SOAK_SEED", 424242ULL, "fault soak"); }

// This process's open handles. Wine answers GetProcessHandleCount with 0, so
// there they are counted by asking after each handle value in turn: Wine hands
// out the lowest free value, so the handles lie close together from 4 up. The
// system's handle table is no way: Wine's server crashes when it is read while
// another process starts or ends, and every Wine process of the run hangs.
DWORD HandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    constexpr int kFreeRunEnd = 1024;  // this many free values in a row end the table
    for (ULONG_PTR value = 4, freeRun = 0; freeRun < kFreeRunEnd; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            freeRun = 0;
        } else {
            ++freeRun;
        }
    }
    return count;
}

// The handle count after the warm-up bands and after the last attempt; each
// count asks the server once per handle value, so only these two are taken.
struct HandleGrowth {
    int warmUpEnd;  // the attempt after which the baseline is taken
    DWORD baseline = 0;
    DWORD last = 0;
    void After(int attempt) {
        if (attempt == warmUpEnd) baseline = HandleCount();
    }
    void End() { last = HandleCount(); }
    long Growth() const { return static_cast<long>(last) - static_cast<long>(baseline); }
};

std::vector<std::string> LogLines(const test::CleanLauncherState& state) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : state.LogText()) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// A release of the soak: the test setup program in four parts on the host.
// Attempts fetch the manifest from the main release's folder (sub empty).
struct SoakRelease {
    test::HostFolder folder;
    test::TempFolder installRoot;
    std::string package;
    json manifest;
    std::wstring savedManifestUrl = manifestUrl;

    explicit SoakRelease(test::SetupScenario scenario = {}, const std::string& sub = "") : folder(sub) {
        scenario.installFolder = (installRoot.path / L"VandroGLADE").wstring();
        package = test::TestSetupProgramBytes(scenario);
        std::vector<std::size_t> sizes(kParts, package.size() / kParts);
        sizes.back() += package.size() % kParts;
        manifest = test::PublishRelease(folder, package, sizes);
        if (sub.empty()) manifestUrl = folder.Url(L"latest.json");
    }
    ~SoakRelease() {
        manifestUrl = savedManifestUrl;  // the same value for a sub-release
        std::error_code ignored;
        fs::remove(folder.local / L".rules.json", ignored);
    }
    SoakRelease(const SoakRelease&) = delete;
    SoakRelease& operator=(const SoakRelease&) = delete;

    std::string PartPath(int part) const { return folder.RequestPath(L"part-" + std::to_wstring(part) + L".bin"); }
    std::size_t PartSize(int part) const { return manifest["parts"][part]["size"].get<std::size_t>(); }
    CachePaths Paths() const { return MakeCachePaths(ParseReleaseManifest(manifest.dump())); }

    // The folder's own rules: faults for this attempt only.
    void Serve(const json& served, const json& rules) const {
        test::WriteFileBytes(folder.local / L".rules.json", rules.dump());
        test::WriteFileBytes(folder.local / L"latest.json", served.dump());
    }
};

// What one attempt is expected to end in: a log line from the set, or no
// log line and a published stop message.
struct Expectation {
    std::set<std::string> labels;    // exact lines
    std::string labelPrefix;         // or a line that starts like this
    const wchar_t* stopMessage = nullptr;
};

// Prepares the fault on the host, in the served manifest or in the cache,
// and returns what the attempt must end in. Holds what must stay held
// during the attempt in `holds` and `game`.
// Setup programs that run and fail: with an exit code, or without a game.
struct FailingSetups {
    SoakRelease exits{Scenario(2), "exits"};
    SoakRelease noGame{Scenario(0), "no-game"};
    static test::SetupScenario Scenario(std::uint32_t exitCode) {
        test::SetupScenario scenario;
        scenario.exitCode = exitCode;
        scenario.registerGame = false;
        scenario.installGame = false;
        return scenario;
    }
};

Expectation Arrange(Fault fault, std::mt19937_64& random, const SoakRelease& release, const FailingSetups& setups,
                    std::optional<test::FileHold>& hold, std::optional<test::RunningTestGame>& game,
                    const fs::path& gameFolder) {
    const int part = static_cast<int>(random() % kParts);
    const std::size_t partSize = release.PartSize(part);
    const std::string manifestPath = release.folder.RequestPath(L"latest.json");
    json served = release.manifest;
    json rules = json::object();
    Expectation expect;
    const std::string wrongDigest(64, 'e');
    switch (fault) {
        case Fault::ManifestStatus:
        case Fault::PartStatus: {
            static const int statuses[] = {404, 500, 503, 301, 206, 403};
            const int status = statuses[random() % 6];
            rules[fault == Fault::ManifestStatus ? manifestPath : release.PartPath(part)] = {{"status", status}};
            expect.labels = {"HTTP " + std::to_string(status)};
            break;
        }
        case Fault::ManifestTruncate:
            rules[manifestPath] = {{"truncate", 1 + random() % 40}};
            expect.labelPrefix = "[json.exception.parse_error.101]";
            break;
        case Fault::ManifestExtend:
            rules[manifestPath] = {{"extend", 1 + random() % 40}};
            expect.labelPrefix = "[json.exception.parse_error.101]";
            break;
        case Fault::PartTruncate:
            rules[release.PartPath(part)] = {{"truncate", 1 + random() % partSize}};
            expect.labels = {"Part checksum"};
            break;
        case Fault::PartExtend:
            rules[release.PartPath(part)] = {{"extend", 1 + random() % 70000}};
            expect.labels = {"Unexpected download size"};
            break;
        case Fault::PartClose:
        case Fault::PartReset:
            rules[release.PartPath(part)] = {{fault == Fault::PartClose ? "close_after" : "reset_after",
                                              random() % partSize}};
            // A cut between TLS records may read as a clean end; a reset can
            // discard the headers before WinHTTP has read them.
            expect.labels = {"Read failed", "Part checksum", "Network response failed"};
            break;
        case Fault::PauseThenWrongDigest:
            rules[release.PartPath(part)] = {{"pause_after", random() % partSize},
                                             {"pause_seconds", 0.05 + (random() % 20) / 100.0}};
            served["parts"][kParts - 1]["sha256"] = wrongDigest;
            expect.labels = {"Part checksum"};
            break;
        case Fault::WrongPartDigest:
            served["parts"][part]["sha256"] = wrongDigest;
            expect.labels = {"Part checksum"};
            break;
        case Fault::WrongPackageDigest:
            served["sha256"] = wrongDigest;
            expect.labels = {"Package checksum"};
            break;
        case Fault::PartSizeLarger:
        case Fault::PartSizeSmaller: {
            const std::int64_t delta = fault == Fault::PartSizeLarger ? 1 : -1;
            served["parts"][part]["size"] = partSize + delta;
            served["size"] = release.package.size() + delta;
            expect.labels = {fault == Fault::PartSizeLarger ? "Part checksum" : "Unexpected download size"};
            break;
        }
        case Fault::TotalMismatch:
            served["size"] = release.package.size() + 1;
            expect.labels = {"Part total"};
            break;
        case Fault::LockedPartFile:
            hold.emplace(release.Paths().partFilePath, /*share*/ 0);
            expect.labels = {"Cache create"};
            break;
        case Fault::HeldStaleSetup:
            // An older setup program under the same name that another program
            // keeps open: it cannot be replaced.
            test::WriteFileBytes(release.Paths().setupPath, "an older setup program");
            hold.emplace(release.Paths().setupPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
            expect.labelPrefix = "filesystem error";
            break;
        case Fault::NoRoom:
            expect.stopMessage = test::texts::kNoRoom;
            break;
        case Fault::GameRunning:
            game.emplace(gameFolder / kGameExeName);
            expect.stopMessage = test::texts::kGameRunning;
            break;
        case Fault::SetupFails:
            served = setups.exits.manifest;
            expect.labels = {"Installer exit 2"};
            break;
        case Fault::SetupInstallsNoGame:
            served = setups.noGame.manifest;
            expect.labels = {"Installed game missing"};
            break;
        case Fault::Count:
            break;
    }
    release.Serve(served, rules);
    return expect;
}

bool NoFreeSpace(const std::wstring&, std::uint64_t& freeBytes) {
    freeBytes = 0;
    return true;
}

// One attempt as the window starts it, run to its end. A disk without room
// is the injected free-space answer, whatever this machine's disk holds.
void RunAttempt(Fault fault) {
    if (fault != Fault::NoRoom) {
        StartDownload();
        if (launcherState.worker.joinable()) launcherState.worker.join();
        return;
    }
    launcherState.busy = true;
    PublishStatus(Downloading, test::texts::kPreparing);
    PipelineStages stages = RealPipelineStages();
    stages.downloadPackage = [](const ReleaseManifest& manifest) { return DownloadPackage(manifest, NoFreeSpace); };
    RunInstallPipelineWith(stages);
}

// The handle check itself: it sees handles, and a handle leaked once per
// attempt is caught while a steady count is not.
TEST(PipelineSoak, HandleCheckCatchesOneLeakedHandlePerAttempt) {
    for (const bool leak : {false, true}) {
        std::vector<HANDLE> leaked;
        HandleGrowth handles{9};
        for (int attempt = 0; attempt < 40; ++attempt) {
            HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (leak) leaked.push_back(event);
            else CloseHandle(event);
            handles.After(attempt);
        }
        handles.End();
        EXPECT_GT(handles.baseline, 0u) << "the handle count reads nothing";
        EXPECT_EQ(handles.Growth() > kLeakAllowance, leak) << "growth " << handles.Growth();
        for (HANDLE h : leaked) CloseHandle(h);
    }
}

TEST(PipelineSoak, FaultyAttemptsInARowEachSettleThenACleanAttemptInstalls) {
    const std::uint64_t seed = Seed();
    std::mt19937_64 random(seed);
    test::StopTestGames();
    test::CleanInstallState state;
    test::TempFolder gameFolder;
    const SoakRelease release;
    const FailingSetups setups;
    const fs::path recordPath = fs::path(packageCacheFolder) / kInstalledRecordName;
    test::WriteFileBytes(recordPath, kPreviousRecord);

    const int kinds = static_cast<int>(Fault::Count);
    std::vector<int> seen(kinds, 0);
    HandleGrowth handles{2 * kinds - 1};

    for (int attempt = 0; attempt < kFaultyAttempts; ++attempt) {
        // The first round meets every fault once, in order; then at random.
        const Fault fault = static_cast<Fault>(attempt < kinds ? attempt : static_cast<int>(random() % kinds));
        ++seen[static_cast<int>(fault)];
        const std::string where = "seed " + std::to_string(seed) + ", attempt " + std::to_string(attempt) + " (" +
                                  FaultName(fault) + ")";
        // Written at once, so a run that hangs or crashes shows where.
        std::printf("attempt %d: %s\n", attempt, FaultName(fault));
        const std::size_t linesBefore = LogLines(state.launcher).size();
        Expectation expect;
        {
            std::optional<test::FileHold> hold;
            std::optional<test::RunningTestGame> game;
            expect = Arrange(fault, random, release, setups, hold, game, gameFolder.path);
            RunAttempt(fault);
        }
        // A setup program verified while the game ran, or an older one held,
        // would be reused or hit again: the next attempt starts without it.
        std::error_code ignored;
        fs::remove(release.Paths().setupPath, ignored);

        EXPECT_FALSE(launcherState.busy.load()) << where;
        const PhaseSnapshot end = ReadPhaseAndMessage();
        EXPECT_EQ(end.phase, Failed) << where;
        const std::vector<std::string> lines = LogLines(state.launcher);
        if (expect.stopMessage != nullptr) {
            EXPECT_EQ(lines.size(), linesBefore) << where << ": a stop wrote a log line";
            EXPECT_EQ(end.statusMessage, expect.stopMessage) << where;
        } else {
            ASSERT_EQ(lines.size(), linesBefore + 1) << where << ": not exactly one new log line";
            const std::string& line = lines.back();
            const bool matches = expect.labels.count(line) ||
                                 (!expect.labelPrefix.empty() && line.rfind(expect.labelPrefix, 0) == 0);
            EXPECT_TRUE(matches) << where << ": logged \"" << line << "\"";
            EXPECT_EQ(end.statusMessage, test::texts::kFailed) << where;
        }
        EXPECT_EQ(test::ReadFileBytes(recordPath), kPreviousRecord) << where << ": the previous record changed";

        handles.After(attempt);
    }
    handles.End();
    std::printf("handles after the warm-up bands: %lu, at the end: %lu\n",
                static_cast<unsigned long>(handles.baseline), static_cast<unsigned long>(handles.last));
    EXPECT_GT(handles.baseline, 0u) << "the handle count reads nothing";
    EXPECT_LE(handles.Growth(), kLeakAllowance) << "handles grew with the attempts";
    for (int k = 0; k < kinds; ++k) {
        std::printf("  %-26s %d\n", FaultName(static_cast<Fault>(k)), seen[k]);
    }

    // The clean attempt: the same release without a fault installs.
    release.Serve(release.manifest, json::object());
    const std::size_t linesBefore = LogLines(state.launcher).size();
    RunAttempt(Fault::Count);
    EXPECT_FALSE(launcherState.busy.load());
    EXPECT_EQ(ReadPhase(), Ready);
    EXPECT_EQ(LogLines(state.launcher).size(), linesBefore) << "the clean attempt logged a failure";
    const json record = json::parse(test::ReadFileBytes(recordPath));
    EXPECT_EQ(record["sha256"], release.manifest["sha256"]);
    EXPECT_EQ(record["version"], "1.1.1");
    EXPECT_TRUE(fs::exists(fs::path(installedGame.installLocation) / kGameExeName));
}

}  // namespace
