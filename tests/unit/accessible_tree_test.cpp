// What a screen reader is told at each repaint, along one install attempt.
// (The tree itself is read from another process by the integration tests.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player_texts.h"
#include "ui/accessible_tree.h"

namespace {

namespace texts = test::texts;

std::string Describe(const std::vector<AccessibleEvent>& events) {
    std::string out;
    for (const AccessibleEvent& e : events) out += std::to_string(e.event) + "@" + std::to_string(e.child) + " ";
    return out;
}

}  // namespace

TEST(AccessibleAnnouncements, EachChangeOnceAndTheCounterAtMostEveryHalfSecond) {
    const HWND window = reinterpret_cast<HWND>(0x1234), other = reinterpret_cast<HWND>(0x5678);
    const AccessibleEvent statusName{EVENT_OBJECT_NAMECHANGE, kStatusChild},
        statusLive{EVENT_OBJECT_LIVEREGIONCHANGED, kStatusChild}, value{EVENT_OBJECT_VALUECHANGE, kProgressChild},
        buttonName{EVENT_OBJECT_NAMECHANGE, kMainButtonChild}, buttonState{EVENT_OBJECT_STATECHANGE, kMainButtonChild};
    struct Row {
        const char* what;
        HWND window;
        ULONGLONG now;
        const wchar_t* status;
        const wchar_t* counter;
        const wchar_t* label;
        bool busy;
        std::vector<AccessibleEvent> expected;
    };
    const Row rows[] = {
        {"first repaint: only noted", window, 10000, texts::kInitial, L"", texts::kButtonInstall, false, {}},
        {"attempt starts", window, 10100, texts::kPreparing, L"", texts::kButtonDownloading, true,
         {statusName, statusLive, buttonName, buttonState}},
        {"total known", window, 10200, texts::kPreparing, L"0 / 16 MB", texts::kButtonDownloading, true, {value}},
        {"counter moves too soon", window, 10400, texts::kDownloading, L"6 / 16 MB", texts::kButtonDownloading, true,
         {statusName, statusLive}},
        {"still too soon", window, 10699, texts::kDownloading, L"6 / 16 MB", texts::kButtonDownloading, true, {}},
        {"held-back counter goes out", window, 10700, texts::kDownloading, L"6 / 16 MB", texts::kButtonDownloading,
         true, {value}},
        {"nothing new", window, 11500, texts::kDownloading, L"6 / 16 MB", texts::kButtonDownloading, true, {}},
        {"installing: new label, same busy", window, 11600, texts::kInstalling, L"16 / 16 MB",
         texts::kButtonInstalling, true, {statusName, statusLive, value, buttonName, buttonState}},
        {"busy ends, label as before", window, 11700, texts::kInstalling, L"16 / 16 MB", texts::kButtonInstalling,
         false, {buttonName, buttonState}},
        {"ready", window, 11800, texts::kInstalled, L"16 / 16 MB", texts::kButtonPlay, false,
         {statusName, statusLive, buttonName, buttonState}},
        {"another window: only noted", other, 11900, texts::kInitial, L"", texts::kButtonInstall, false, {}},
    };
    Announced last;
    for (const Row& row : rows) {
        const ScreenContent content{Idle, row.status, 0, 0, row.busy, false, row.label, row.counter};
        const std::vector<AccessibleEvent> events = ChangesToAnnounce(last, row.window, content, row.now);
        EXPECT_EQ(Describe(events), Describe(row.expected)) << row.what;
    }
}
