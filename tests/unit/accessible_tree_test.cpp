// What a screen reader is told at each status post and tick, along one install attempt.
// (The tree itself is read from another process by the integration tests.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player_texts.h"
#include "ui/accessible_tree.h"
#include "ui/announcer.h"
#include "ui_support.h"

namespace {

namespace texts = test::texts;

std::string Describe(const std::vector<AccessibleEvent>& events) {
    std::string out;
    for (const AccessibleEvent& e : events) out += std::to_string(e.event) + "@" + std::to_string(e.child) + " ";
    return out;
}

}  // namespace

// One row per announcement (a status post or a tick), each with the model
// the window shows then. A failure or a stop is an alert: the status turns
// assertive before its events, and polite again before the next message's.
TEST(AccessibleAnnouncements, EachChangeOnceTheValueAtMostEveryHalfSecondAndTheLinkAsAReorder) {
    const HWND window = reinterpret_cast<HWND>(0x1234), other = reinterpret_cast<HWND>(0x5678);
    const AccessibleEvent statusName{EVENT_OBJECT_NAMECHANGE, kStatusChild},
        statusLive{EVENT_OBJECT_LIVEREGIONCHANGED, kStatusChild}, value{EVENT_OBJECT_VALUECHANGE, kProgressChild},
        buttonName{EVENT_OBJECT_NAMECHANGE, kMainButtonChild}, buttonState{EVENT_OBJECT_STATECHANGE, kMainButtonChild},
        reorder{EVENT_OBJECT_REORDER, CHILDID_SELF}, assertive{kStatusTurnsAssertive, kStatusChild},
        polite{kStatusTurnsPolite, kStatusChild};
    struct Row {
        const char* what;
        HWND window;
        ULONGLONG now;
        const wchar_t* status;
        const wchar_t* value;
        const wchar_t* label;
        bool busy;
        bool linkShown;
        std::vector<AccessibleEvent> expected;
        LauncherPhase phase = Idle;
    };
    const Row rows[] = {
        {"window created: only noted", window, 10000, texts::kNewRelease, L"", texts::kButtonInstall, false, true, {}},
        {"attempt starts, the link goes", window, 10100, texts::kPreparing, L"", texts::kButtonDownloading, true,
         false, {statusName, statusLive, buttonName, buttonState, reorder}},
        {"total known", window, 10200, texts::kPreparing, L"%0", texts::kButtonDownloading, true, false, {value}},
        {"value moves too soon", window, 10400, texts::kDownloading, L"%37", texts::kButtonDownloading, true, false,
         {statusName, statusLive}},
        {"still too soon", window, 10699, texts::kDownloading, L"%37", texts::kButtonDownloading, true, false, {}},
        {"held-back value goes out at the next tick", window, 10700, texts::kDownloading, L"%37",
         texts::kButtonDownloading, true, false, {value}},
        {"nothing new", window, 11500, texts::kDownloading, L"%37", texts::kButtonDownloading, true, false, {}},
        {"installing: new label, same busy", window, 11600, texts::kInstalling, L"%100", texts::kButtonInstalling,
         true, false, {statusName, statusLive, value, buttonName, buttonState}},
        {"busy ends, label as before", window, 11700, texts::kInstalling, L"%100", texts::kButtonInstalling, false,
         false, {buttonName, buttonState}},
        {"failed with a game: the link is back", window, 11800, texts::kFailed, L"%100", texts::kButtonRetry, false,
         true, {assertive, statusName, statusLive, buttonName, buttonState, reorder}, Failed},
        {"ready: the link goes", window, 11900, texts::kInstalled, L"%100", texts::kButtonPlay, false, false,
         {polite, statusName, statusLive, buttonName, buttonState, reorder}, Ready},
        {"no room: a stop", window, 11950, texts::kNoRoom, L"%100", texts::kButtonRetry, false, false,
         {assertive, statusName, statusLive, buttonName, buttonState}, Failed},
        {"cancelled: still assertive", window, 11970, texts::kCancelled, L"%100", texts::kButtonRetry, false, false,
         {statusName, statusLive}, Failed},
        {"another window: only noted", other, 12000, texts::kInitial, L"", texts::kButtonInstall, false, true, {}},
    };
    Announced last;
    for (const Row& row : rows) {
        ScreenModel model{};
        model.statusMessage = row.status;
        model.busy = row.busy;
        model.buttonLabel = row.label;
        model.progressValue = row.value;
        model.linkShown = row.linkShown;
        model.phase = row.phase;
        const std::vector<AccessibleEvent> events = ChangesToAnnounce(last, row.window, model, row.now);
        EXPECT_EQ(Describe(events), Describe(row.expected)) << row.what;
    }
}

// The worker's last publish is handled before it clears busy (on one or two
// cores the window often runs first): the reader hears the end once, never
// the busy label after it.
TEST(AccessibleAnnouncements, TheEndOfAnAttemptIsNeverHeardWithTheBusyLabel) {
    const HWND window = reinterpret_cast<HWND>(0x1234);
    struct Row {
        const char* what;
        LauncherPhase end;
        const wchar_t* message;
        const wchar_t* label;
    };
    const Row rows[] = {
        {"installed", Ready, texts::kInstalled, texts::kButtonPlay},
        {"failed", Failed, texts::kFailed, texts::kButtonRetry},
        {"stopped early", Failed, texts::kNoRoom, texts::kButtonRetry},
    };
    for (const Row& row : rows) {
        test::CleanScreenState clean;
        launcherState.busy = true;  // as StartDownload leaves it
        PublishStatus(Downloading, texts::kDownloading);
        Announced last;
        ChangesToAnnounce(last, window, BuildScreenModel(1000, 650), 10000);
        PublishStatus(row.end, row.message);  // its post is handled here
        const ScreenModel end = BuildScreenModel(1000, 650);
        EXPECT_FALSE(end.busy) << row.what;
        EXPECT_EQ(std::wstring(end.buttonLabel), row.label) << row.what;
        ChangesToAnnounce(last, window, end, 10100);
        EndAttempt();
        const ScreenModel after = BuildScreenModel(1000, 650);
        EXPECT_EQ(Describe(ChangesToAnnounce(last, window, after, 10200)), "") << row.what << ": heard again";
        EXPECT_FALSE(launcherState.busy.load()) << row.what;
    }
}
