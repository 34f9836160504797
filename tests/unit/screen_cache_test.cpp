// The scenery and the last frame kept between paints: every frame painted on
// them must equal, pixel for pixel, the same frame drawn afresh, in every
// screen state, at every size, after the size or a picture changes, and
// after any one thing the frame shows changes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "player_texts.h"
#include "ui_support.h"

namespace {

using test::MemoryCanvas;

struct SceneryCacheTest : ::testing::Test {
    test::GdiplusSession gdiplus;
    test::CleanScreenState clean;
    SceneryCacheTest() {
        backgroundImage = LoadPngResource(kBackgroundResource);
        logoImage = LoadPngResource(kLogoResource);
    }
};

struct ScreenState {
    const char* name;
    LauncherPhase phase;
    const wchar_t* message;
    bool busy;
    std::uint64_t done;
    std::uint64_t total;
    const wchar_t* installLocation;
    bool hover;
};

// Installing is left out: its sweep moves with the clock between two paints.
const ScreenState kStates[] = {
    {"idle", Idle, test::texts::kInitial, false, 0, 0, L"", false},
    {"idle, hover, older game", Idle, test::texts::kInitial, false, 0, 0, L"C:\\Oyun", true},
    {"downloading", Downloading, L"Parkın bilgisayarına geliyor\u2026", true, 5u << 20, 512u << 20, L"", false},
    {"verifying", Verifying, L"İndirme kontrol ediliyor\u2026", true, 512u << 20, 512u << 20, L"", false},
    {"ready", Ready, L"Her şey hazır. Parkta görüşürüz!", false, 7u << 20, 7u << 20, L"C:\\Oyun", true},
    {"failed, older game", Failed, test::texts::kFailed, false, 1u << 20, 9u << 20, L"C:\\Oyun", false},
};

void Apply(const ScreenState& s) {
    test::SetPhase(s.phase, s.message);
    launcherState.busy = s.busy;
    launcherState.bytesDone = s.done;
    launcherState.bytesTotal = s.total;
    installedGame.installLocation = s.installLocation;
    mainButtonHover = s.hover;
}

// Pixels whose colour differs, and where the first one lies.
std::string Differences(const MemoryCanvas& a, const MemoryCanvas& b) {
    int count = 0;
    std::string first;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (a.At(x, y) == b.At(x, y)) continue;
            if (count++ == 0) first = " first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    }
    return count == 0 ? "" : std::to_string(count) + " pixels differ," + first;
}

// A fresh frame and a frame on the kept scenery, painted back to back.
std::string CompareFrames(int width, int height) {
    MemoryCanvas fresh(width, height, 0x123456);
    PaintWindowUncached(fresh.dc, width, height);
    GdiFlush();
    MemoryCanvas kept(width, height, 0x654321);
    PaintWindow(kept.dc, width, height);
    GdiFlush();
    return Differences(fresh, kept);
}

TEST_F(SceneryCacheTest, FramesOnTheKeptSceneryEqualFreshFramesInEveryState) {
    for (const auto& [width, height] : {std::pair{1000, 650}, std::pair{760, 650}, std::pair{1300, 650},
                                        std::pair{7, 5}}) {
        for (const ScreenState& state : kStates) {
            Apply(state);
            EXPECT_EQ(CompareFrames(width, height), "") << state.name << " at " << width << " x " << height;
        }
    }
    // Twice the canvas costs a fresh frame about half a second: two states.
    for (const ScreenState& state : {kStates[1], kStates[2]}) {
        Apply(state);
        EXPECT_EQ(CompareFrames(2000, 1300), "") << state.name << " at 2000 x 1300";
    }
}

TEST_F(SceneryCacheTest, KeptSceneryFollowsTheSizeAndThePictures) {
    Apply(kStates[0]);
    MemoryCanvas warm(1000, 650);
    PaintWindow(warm.dc, 1000, 650);  // scenery kept for this size and these pictures

    EXPECT_EQ(CompareFrames(800, 600), "") << "after a resize";
    // A different picture in the slot (made before the old one goes).
    GpBitmap* plain = nullptr;
    ASSERT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromScan0(64, 48, 0, PixelFormat32bppARGB, nullptr, &plain),
              Gdiplus::Ok);
    backgroundImage = OwnedBitmap(plain);
    EXPECT_EQ(CompareFrames(800, 600), "") << "after the background changed";
    logoImage.reset();
    EXPECT_EQ(CompareFrames(800, 600), "") << "after the logo went";
    backgroundImage.reset();
    EXPECT_EQ(CompareFrames(800, 600), "") << "without pictures";
    EXPECT_EQ(CompareFrames(1000, 650), "") << "back at the first size";
}

// The last frame is shown again only while nothing it was drawn from has
// changed: each row changes one input after a frame was kept, then the kept
// path must draw what a fresh frame draws, twice (the second one reused).
TEST_F(SceneryCacheTest, KeptFrameFollowsEveryInputOfThePaint) {
    const ScreenState base = kStates[5];  // failed, older game: link, counter and bar shown
    const struct {
        const char* name;
        void (*change)();
    } kChanges[] = {
        {"status sentence", [] { test::SetPhase(Failed, test::texts::kInitial); }},
        {"phase", [] { test::SetPhase(Idle, test::texts::kFailed); }},
        {"bytes done within the same megabyte", [] { launcherState.bytesDone = (1u << 20) + (700u << 10); }},
        {"bytes total", [] { launcherState.bytesTotal = 90u << 20; }},
        {"busy", [] { launcherState.busy = true; }},
        {"link gone", [] { installedGame.installLocation.clear(); }},
        {"hover", [] { mainButtonHover = true; }},
        {"focus ring shown", [] { displaySettings.keyboardCues = true; }},
        {"focus on the link, ring shown", [] {
             displaySettings.keyboardCues = true;
             keyboardFocus = KeyboardFocus::Link;
         }},
        {"a contrast theme", [] { screenPalette = ContrastPalette(); }},
    };
    for (const auto& row : kChanges) {
        Apply(base);
        focusCues = FocusCues{.windowFocused = true};
        keyboardFocus = KeyboardFocus::MainButton;
        MemoryCanvas warm(1000, 650);
        PaintWindow(warm.dc, 1000, 650);
        PaintWindow(warm.dc, 1000, 650);  // the same inputs: the kept frame
        row.change();
        EXPECT_EQ(CompareFrames(1000, 650), "") << row.name;
        EXPECT_EQ(CompareFrames(1000, 650), "") << row.name << ", shown again";
    }
}

}  // namespace
