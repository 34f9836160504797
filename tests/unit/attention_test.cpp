// The taskbar button and the signs that an attempt ended, through the
// decisions the window takes: Wine's taskbar object and flash accept every
// call and show nothing, and without a shell no "TaskbarButtonCreated" comes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "player_texts.h"
#include "test_support.h"
#include "ui/attention.h"
#include "ui_support.h"

namespace {

namespace texts = test::texts;
constexpr std::uint64_t kMiB = 1048576;

// The model the window builds from this state of the launcher.
ScreenModel Screen(LauncherPhase phase, const wchar_t* status, bool busy, std::uint64_t done, std::uint64_t total) {
    test::SetPhase(phase, status);
    launcherState.busy = busy;
    launcherState.bytesDone = done;
    launcherState.bytesTotal = total;
    return BuildScreenModel(1000, 650);
}

}  // namespace

// One row per status post or tick, in the order of a player's attempts; the
// button is called only when its state or value changes.
TEST(TaskbarButton, FollowsTheModelAndCallsOnlyOnAChange) {
    const test::CleanScreenState clean;
    struct Row {
        const char* what;
        LauncherPhase phase;
        const wchar_t* status;
        bool busy;
        std::uint64_t done, total;
        TBPFLAG flag;
        std::uint64_t shownDone, shownTotal;
        bool called;
    };
    const Row rows[] = {
        {"first start", Idle, texts::kInitial, false, 0, 0, TBPF_NOPROGRESS, 0, 0, false},
        {"preparing, no total yet", Downloading, texts::kPreparing, true, 0, 0, TBPF_INDETERMINATE, 0, 0, true},
        {"failed before a total was known", Failed, texts::kFailed, false, 0, 0, TBPF_ERROR, 1, 1, true},
        {"a new attempt after the failure", Downloading, texts::kPreparing, true, 0, 0, TBPF_INDETERMINATE, 0, 0,
         true},
        {"total known, counter at 0", Downloading, texts::kPreparing, true, 0, 16 * kMiB, TBPF_NORMAL, 0, 16 * kMiB,
         true},
        {"downloading", Downloading, texts::kDownloading, true, 5 * kMiB, 16 * kMiB, TBPF_NORMAL, 5 * kMiB, 16 * kMiB,
         true},
        {"the next tick, nothing new", Downloading, texts::kDownloading, true, 5 * kMiB, 16 * kMiB, TBPF_NORMAL,
         5 * kMiB, 16 * kMiB, false},
        {"further, within the same mebibyte", Downloading, texts::kDownloading, true, 5 * kMiB + 7, 16 * kMiB,
         TBPF_NORMAL, 5 * kMiB + 7, 16 * kMiB, true},
        {"the failure published, busy not yet cleared", Failed, texts::kFailed, true, 5 * kMiB + 7, 16 * kMiB,
         TBPF_INDETERMINATE, 0, 0, true},
        {"failed after the total", Failed, texts::kFailed, false, 5 * kMiB + 7, 16 * kMiB, TBPF_ERROR, 5 * kMiB + 7,
         16 * kMiB, true},
        {"a new attempt straight to a counter", Downloading, texts::kPreparing, true, 0, 16 * kMiB, TBPF_NORMAL, 0,
         16 * kMiB, true},
        {"no room", Failed, texts::kNoRoom, false, 0, 16 * kMiB, TBPF_PAUSED, 0, 16 * kMiB, true},
        {"checking", Verifying, texts::kVerifying, true, 16 * kMiB, 16 * kMiB, TBPF_INDETERMINATE, 0, 0, true},
        {"game running", Failed, texts::kGameRunning, false, 16 * kMiB, 16 * kMiB, TBPF_PAUSED, 16 * kMiB, 16 * kMiB,
         true},
        {"installing", Installing, texts::kInstalling, true, 16 * kMiB, 16 * kMiB, TBPF_INDETERMINATE, 0, 0, true},
        {"installed, busy not yet cleared", Ready, texts::kInstalled, true, 16 * kMiB, 16 * kMiB, TBPF_INDETERMINATE,
         0, 0, false},
        {"ready", Ready, texts::kInstalled, false, 16 * kMiB, 16 * kMiB, TBPF_NOPROGRESS, 0, 0, true},
    };
    TaskbarState shown;
    for (const Row& row : rows) {
        const bool called = FollowTaskbar(shown, Screen(row.phase, row.status, row.busy, row.done, row.total));
        EXPECT_EQ(called, row.called) << row.what;
        EXPECT_EQ(shown, (TaskbarState{row.flag, row.shownDone, row.shownTotal}))
            << row.what << ": flag " << shown.flag << ", " << shown.done << " of " << shown.total;
    }
}

// What one model does to a player who may be elsewhere.
TEST(AttemptEnding, FlashesAndNotifiesOncePerAttemptOnlyAPlayerWhoIsAway) {
    const test::CleanScreenState clean;
    struct Row {
        const char* what;
        bool wasRunning;
        LauncherPhase phase;
        const wchar_t* status;
        bool busy;
        bool foreground, minimised;
        bool flash;
        const wchar_t* notification;
    };
    const Row rows[] = {
        {"still busy, window behind another", true, Installing, texts::kInstalling, true, false, false, false, L""},
        {"installed in front of the player", true, Ready, texts::kInstalled, false, true, false, false, L""},
        {"installed behind another window", true, Ready, texts::kInstalled, false, false, false, true,
         texts::kInstalled},
        {"installed, minimised", true, Ready, texts::kInstalled, false, false, true, true, texts::kInstalled},
        {"installed, minimised yet still the foreground", true, Ready, texts::kInstalled, false, true, true, true,
         texts::kInstalled},
        {"failed behind another window", true, Failed, texts::kFailed, false, false, false, true, texts::kFailed},
        {"no room, minimised", true, Failed, texts::kNoRoom, false, false, true, true, texts::kNoRoom},
        {"game running, behind another window", true, Failed, texts::kGameRunning, false, false, false, true,
         texts::kGameRunning},
        {"the tick after the ending", false, Ready, texts::kInstalled, false, false, true, false, L""},
        {"ready at start, no attempt ran", false, Ready, texts::kReadyAtStart, false, false, false, false, L""},
    };
    for (const Row& row : rows) {
        bool attemptRunning = row.wasRunning;
        const Ending ending =
            EndingFor(attemptRunning, Screen(row.phase, row.status, row.busy, 0, 0), row.foreground, row.minimised);
        EXPECT_EQ(ending.flash, row.flash) << row.what;
        EXPECT_EQ(ending.notification, row.notification) << row.what;
        EXPECT_EQ(attemptRunning, row.busy) << row.what;
    }
}
