// The screen: its tables as plain functions, then whole frames painted into
// a memory device context and probed pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>

#include "player_texts.h"
#include "transfer/text_encoding.h"
#include "ui_support.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;
using test::Near;
using test::Rgb;

namespace {

constexpr Rgb kBackdrop = 0x07173A;
constexpr Rgb kCard = 0xFFFCF2;
constexpr Rgb kTrack = 0xDDE7EB;
constexpr Rgb kFill = 0x20B5CF;
constexpr Rgb kButtonBusy = 0xE6E4D5;
constexpr Rgb kButtonHover = 0xFFE174;
constexpr Rgb kButtonNormal = 0xFFD14D;
constexpr std::uint64_t kMiB = 1048576;

// The 0x3E030F2A shade over the backdrop, where no picture is loaded.
Rgb ShadeOverBackdrop() {
    const double a = 0x3E / 255.0;
    auto channel = [&](int shade, int under) { return static_cast<Rgb>(std::lround(shade * a + under * (1 - a))); };
    return (channel(0x03, 0x07) << 16) | (channel(0x0F, 0x17) << 8) | channel(0x2A, 0x3A);
}

constexpr float kTrackMiddle = 353.5f;
constexpr CanvasRect kCounterRect{656, 363, 264, 24};
constexpr CanvasPoint kButtonProbe{665, 433};  // inside the button, clear of its label

struct ScreenTest : ::testing::Test {
    test::GdiplusSession gdiplus;
    test::CleanScreenState clean;

    static void Set(LauncherPhase phase, bool busy, std::uint64_t done, std::uint64_t total,
                    const std::wstring& installLocation = L"", bool hover = false) {
        test::SetPhase(phase, L"Durum");
        launcherState.busy = busy;
        launcherState.bytesDone = done;
        launcherState.bytesTotal = total;
        installedGame.installLocation = installLocation;
        mainButtonHover = hover;
    }
    // Pixels along the middle of the track that carry the fill colour.
    static int FilledUnits(const test::MemoryCanvas& frame) {
        int n = 0;
        for (int x = 656; x < 920; ++x) n += Near(frame.AtCanvas(static_cast<float>(x), kTrackMiddle), kFill, 6);
        return n;
    }
};

// A bitmap filled by rectangles of solid colour.
OwnedBitmap SolidBlocks(int w, int h, ARGB base, std::initializer_list<std::pair<CanvasRect, ARGB>> blocks) {
    GpBitmap* bitmap = nullptr;
    GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    OwnedBitmap owned(bitmap);
    GpGraphics* g = nullptr;
    GdipGetImageGraphicsContext(bitmap, &g);
    const OwnedGraphics surface(g);
    GdipSetCompositingMode(g, CompositingModeSourceCopy);
    GdipGraphicsClear(g, base);
    for (const auto& [r, colour] : blocks) {
        const OwnedBrush brush = MakeSolidBrush(colour);
        GdipFillRectangle(g, brush.get(), r.x, r.y, r.width, r.height);
    }
    return owned;
}

}  // namespace

TEST(ScreenTables, MainButtonLabelFollowsBusyFirst) {
    struct Row {
        bool busy;
        LauncherPhase phase;
        const wchar_t* label;
    };
    using namespace test::texts;
    const Row rows[] = {
        {true, Installing, kButtonInstalling}, {true, Idle, kButtonDownloading},
        {true, Downloading, kButtonDownloading}, {true, Verifying, kButtonDownloading},
        {true, Ready, kButtonDownloading},     {true, Failed, kButtonDownloading},
        {false, Ready, kButtonPlay},           {false, Failed, kButtonRetry},
        {false, Idle, kButtonInstall},         {false, Downloading, kButtonInstall},
        {false, Verifying, kButtonInstall},    {false, Installing, kButtonInstall},
    };
    for (const Row& row : rows) {
        EXPECT_STREQ(MainButtonLabel(row.busy, row.phase), row.label) << row.busy << " " << row.phase;
    }
}

// The counter drawn under the bar, and the bar's value a reader hears.
TEST(ScreenTables, CounterAndPercentRoundDown) {
    struct Row {
        std::uint64_t done, total;
        const wchar_t* counter;
        const wchar_t* percent;
    };
    const std::uint64_t most = ~std::uint64_t{0};
    const Row rows[] = {
        {1048575, 2097152, L"0 / 2 MB", L"%49"},
        {5 * kMiB + 1, 512 * kMiB, L"5 / 512 MB", L"%0"},
        {0, 1, L"0 / 0 MB", L"%0"},
        {0, 0, L"0 / 0 MB", L""},  // no total: no value (and no counter is drawn)
        {6 * kMiB, 16 * kMiB, L"6 / 16 MB", L"%37"},
        {16 * kMiB - 1, 16 * kMiB, L"15 / 16 MB", L"%99"},  // "%100" only with every byte in
        {16 * kMiB, 16 * kMiB, L"16 / 16 MB", L"%100"},
        {3 * kMiB, 2 * kMiB, L"3 / 2 MB", L"%100"},  // printed as they are, even past the total
        {4096 * 1024 * kMiB, 4096 * 1024 * kMiB, L"4194304 / 4194304 MB", L"%100"},  // no digit grouping
        {most - 1, most, L"17592186044415 / 17592186044415 MB", L"%99"},  // no rounding up through a double
        {most / 3, most, L"5864062014805 / 17592186044415 MB", L"%33"},   // no overflow of done x 100
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ByteCounterText(row.done, row.total), row.counter) << row.done;
        EXPECT_EQ(ProgressPercentText(row.done, row.total), row.percent) << row.done;
    }
}

TEST(ScreenTables, FractionIsCappedAndNeedsATotal) {
    EXPECT_EQ(ProgressFraction(0, 0), 0.0f);
    EXPECT_EQ(ProgressFraction(500, 0), 0.0f);
    EXPECT_EQ(ProgressFraction(1, 2), 0.5f);
    EXPECT_EQ(ProgressFraction(3, 2), 1.0f);
    EXPECT_EQ(ProgressFraction(~std::uint64_t{0}, 1), 1.0f);
    EXPECT_GT(ProgressFraction(1, std::uint64_t{1} << 40), 0.0f);  // tiny, but above 0
    EXPECT_EQ(ProgressFraction((std::uint64_t{1} << 40) - 1, std::uint64_t{1} << 40), 1.0f);  // narrowed to float
}

TEST(ScreenTables, ProgressFillBySweepFractionOrNothing) {
    struct Row {
        LauncherPhase phase;
        float fraction;
        std::uint64_t tick;
        bool shown;
        float x, width;
        bool animations = true;
    };
    const Row rows[] = {
        {Idle, 0.0f, 0, false, 656, 0},
        {Downloading, 1e-9f, 0, true, 656, 9},  // a dot, never thinner than its ends
        {Downloading, 0.02f, 0, true, 656, 9},
        {Downloading, 0.5f, 0, true, 656, 132},
        {Failed, 1.0f, 0, true, 656, 264},
        {Ready, 0.25f, 0, true, 656, 66},
        {Installing, 0.0f, 0, true, 656, 100},
        {Installing, 1.0f, 900, true, 736, 100},  // the sweep, not the full bar
        {Installing, 0.5f, 1800 * 5 + 450, true, 696, 100},
        {Installing, 0.0f, 1799, true, 656 + 1799.0f / 1800 * 160, 100},
        {Installing, 0.25f, 900, true, 656, 264, /*animations*/ false},  // still and full
        {Downloading, 0.25f, 900, true, 656, 66, /*animations*/ false},  // only the sweep stands still
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.phase << " " << row.fraction << " " << row.tick << " "
                                        << row.animations);
        const ProgressFill fill = ProgressFillFor(row.phase, row.fraction, row.tick, row.animations);
        EXPECT_EQ(fill.shown, row.shown);
        if (!row.shown) continue;
        EXPECT_NEAR(fill.x, row.x, 1e-3);
        EXPECT_NEAR(fill.width, row.width, 1e-3);
    }
}

TEST(ScreenMapping, FitsTheCanvasAndCentresIt) {
    struct Row {
        int w, h;
        float scale, offsetX, offsetY;
    };
    const Row rows[] = {
        {1000, 650, 1.0f, 0, 0},   {760, 650, 0.76f, 0, 78},  {1300, 650, 1.0f, 150, 0},
        {2000, 1300, 2.0f, 0, 0},  {500, 650, 0.5f, 0, 162.5f}, {984, 640, 0.984f, 0, 0.2f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.w << "x" << row.h);
        const CanvasMapping m = ComputeCanvasMapping(row.w, row.h);
        EXPECT_NEAR(m.scale, row.scale, 1e-5);
        EXPECT_NEAR(m.offsetX, row.offsetX, 1e-3);
        EXPECT_NEAR(m.offsetY, row.offsetY, 1e-3);
    }
}

TEST(ScreenMapping, ConvertsBothWaysAndNeverDividesByZero) {
    const CanvasMapping letterbox{0.76f, 0.0f, 78.0f};
    const CanvasPoint p = ClientToCanvas(letterbox, 380.0f, 325.0f);
    EXPECT_NEAR(p.x, 500.0f, 1e-3);
    EXPECT_NEAR(p.y, 325.0f, 1e-3);
    const POINT press = CanvasToClient(letterbox, {780, 432});
    EXPECT_EQ(press.x, 592);  // 592.8 truncated
    EXPECT_EQ(press.y, 406);  // 406.32 truncated

    const CanvasPoint unusable = ClientToCanvas(CanvasMapping{0.0f, 10.0f, 20.0f}, 110.0f, 220.0f);
    EXPECT_TRUE(std::isfinite(unusable.x) && std::isfinite(unusable.y));
    EXPECT_EQ(unusable.x, 100.0f);
    EXPECT_EQ(unusable.y, 200.0f);
}

TEST(ScreenMapping, CoverFitCropsTheExcessEquallyOnBothSides) {
    const CanvasRect wide = CoverFitSource(1672, 941);
    EXPECT_NEAR(wide.x, 112.15f, 0.01f);
    EXPECT_NEAR(wide.y, 0.0f, 0.01f);
    EXPECT_NEAR(wide.width, 1447.69f, 0.01f);
    EXPECT_NEAR(wide.height, 941.0f, 0.01f);

    const CanvasRect tall = CoverFitSource(500, 1000);  // k = 2: full width, cropped top and bottom
    EXPECT_NEAR(tall.x, 0.0f, 1e-3);
    EXPECT_NEAR(tall.y, 337.5f, 1e-3);
    EXPECT_NEAR(tall.width, 500.0f, 1e-3);
    EXPECT_NEAR(tall.height, 325.0f, 1e-3);
}

// One row per screen the launcher can show.
TEST_F(ScreenTest, EveryScreenHasItsButtonLinkProgressAndCounter) {
    const std::wstring game = L"C:\\Games\\VandroGLADE";
    enum class FillIs { Empty, Half, Full, Sweep };
    struct Row {
        const char* situation;
        LauncherPhase phase;
        bool busy;
        bool hover;
        std::wstring installLocation;
        std::uint64_t done, total;
        Rgb button;
        bool link;
        FillIs fill;
        bool counter;
    };
    const Row rows[] = {
        {"first start", Idle, false, false, L"", 0, 0, kButtonNormal, false, FillIs::Empty, false},
        {"old version found", Idle, false, false, game, 0, 0, kButtonNormal, true, FillIs::Empty, false},
        {"current version found", Ready, false, false, game, 0, 0, kButtonNormal, false, FillIs::Empty, false},
        {"hover", Idle, false, true, L"", 0, 0, kButtonHover, false, FillIs::Empty, false},
        {"preparing", Downloading, true, false, game, 0, 0, kButtonBusy, false, FillIs::Empty, false},
        {"downloading", Downloading, true, true, game, 50 * kMiB, 100 * kMiB, kButtonBusy, false, FillIs::Half, true},
        {"verifying", Verifying, true, false, L"", 100 * kMiB, 100 * kMiB, kButtonBusy, false, FillIs::Full, true},
        {"installing", Installing, true, false, L"", 100 * kMiB, 100 * kMiB, kButtonBusy, false, FillIs::Sweep, true},
        {"installed", Ready, false, false, game, 100 * kMiB, 100 * kMiB, kButtonNormal, false, FillIs::Full, true},
        {"failed with a game", Failed, false, false, game, 50 * kMiB, 100 * kMiB, kButtonNormal, true, FillIs::Half,
         true},
        {"failed, no game", Failed, false, false, L"", 0, 0, kButtonNormal, false, FillIs::Empty, false},
        {"failed, worker not yet done", Failed, true, false, game, 0, 0, kButtonBusy, false, FillIs::Empty, false},
        {"counter without fill", Downloading, true, false, L"", 0, 100 * kMiB, kButtonBusy, false, FillIs::Empty, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        Set(row.phase, row.busy, row.done, row.total, row.installLocation, row.hover);
        test::MemoryCanvas frame(1000, 650);
        frame.Paint();

        EXPECT_TRUE(Near(frame.AtCanvas(kButtonProbe.x, kButtonProbe.y), row.button));
        const int linkInk = frame.CountUnlike(kOpenGameLinkRect, kCard);
        if (row.link) {
            EXPECT_GT(linkInk, 30);
        } else {
            EXPECT_EQ(linkInk, 0);
        }
        const int counterInk = frame.CountUnlike(kCounterRect, kCard);
        if (row.counter) {
            EXPECT_GT(counterInk, 20);
        } else {
            EXPECT_EQ(counterInk, 0);
        }
        const int filled = FilledUnits(frame);
        switch (row.fill) {
            case FillIs::Empty: EXPECT_EQ(filled, 0); break;
            case FillIs::Half: EXPECT_NEAR(filled, 132, 3); break;
            case FillIs::Full: EXPECT_NEAR(filled, 264, 3); break;
            case FillIs::Sweep: EXPECT_NEAR(filled, 100, 3); break;
        }
    }
}

TEST_F(ScreenTest, FillExtentForTinyHalfAndOverfullProgress) {
    struct Row {
        const char* name;
        std::uint64_t done, total;
        int filledFrom, filledTo;  // canvas x, inclusive, on the track's middle line
        int trackAt;               // a point of bare track, or -1
    };
    const Row rows[] = {
        {"tiny", 1, std::uint64_t{1} << 40, 657, 663, 670},
        {"half", 50, 100, 660, 784, 792},
        {"over the total", 300, 100, 660, 915, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Set(Downloading, true, row.done, row.total);
        test::MemoryCanvas frame(1000, 650);
        frame.Paint();
        for (int x = row.filledFrom; x <= row.filledTo; ++x) {
            EXPECT_TRUE(Near(frame.AtCanvas(static_cast<float>(x), kTrackMiddle), kFill, 6)) << x;
        }
        if (row.trackAt >= 0) {
            EXPECT_TRUE(Near(frame.AtCanvas(static_cast<float>(row.trackAt), kTrackMiddle), kTrack));
        }
        EXPECT_TRUE(Near(frame.AtCanvas(930, kTrackMiddle), kCard));  // never past the track's end
    }
}

TEST_F(ScreenTest, InstallingSweepsWithTheTickCount) {
    Set(Installing, true, 100, 100);
    for (int attempt = 0; attempt < 5; ++attempt) {
        test::MemoryCanvas frame(1000, 650);
        const std::uint64_t before = GetTickCount64() % 1800;
        frame.Paint();
        const std::uint64_t after = GetTickCount64() % 1800;
        if (after < before) continue;  // wrapped during the paint: sample again
        const float leftEarliest = 656 + before / 1800.0f * 160;
        const float leftLatest = 656 + after / 1800.0f * 160;
        for (float x = leftLatest + 5; x <= leftEarliest + 95; x += 1) {
            EXPECT_TRUE(Near(frame.AtCanvas(x, kTrackMiddle), kFill, 6)) << x;
        }
        if (leftEarliest - 6 > 661) {
            EXPECT_TRUE(Near(frame.AtCanvas(leftEarliest - 6, kTrackMiddle), kTrack));
        }
        if (leftLatest + 106 < 915) {
            EXPECT_TRUE(Near(frame.AtCanvas(leftLatest + 106, kTrackMiddle), kTrack));
        }
        return;
    }
    FAIL() << "the tick count wrapped in every sample";
}

TEST_F(ScreenTest, LetterboxBandsAroundANarrowOrWideCanvas) {
    const Rgb shade = ShadeOverBackdrop();
    {
        test::MemoryCanvas frame(760, 650);
        frame.Paint();
        EXPECT_NEAR(canvasMapping.scale, 0.76f, 1e-6);
        EXPECT_EQ(canvasMapping.offsetX, 0.0f);
        EXPECT_NEAR(canvasMapping.offsetY, 78.0f, 1e-4);
        for (int y : {0, 40, 76, 574, 649}) EXPECT_EQ(frame.At(380, y), kBackdrop) << y;
        for (int y : {80, 300}) EXPECT_TRUE(Near(frame.At(100, y), shade)) << y;
    }
    {
        test::MemoryCanvas frame(1300, 650);
        frame.Paint();
        EXPECT_EQ(canvasMapping.scale, 1.0f);
        EXPECT_EQ(canvasMapping.offsetX, 150.0f);
        EXPECT_EQ(canvasMapping.offsetY, 0.0f);
        for (int x : {0, 148, 1152, 1299}) EXPECT_EQ(frame.At(x, 325), kBackdrop) << x;
        EXPECT_TRUE(Near(frame.At(152, 325), shade));
    }
}

TEST_F(ScreenTest, EmptyClientAreaDrawsNothingAndKeepsTheMapping) {
    const CanvasMapping before{0.5f, 3.0f, 4.0f};
    for (const auto& [w, h] : {std::pair{0, 650}, std::pair{1000, 0}, std::pair{0, 0}}) {
        canvasMapping = before;
        test::MemoryCanvas frame(10, 10, 0xFF00FF);
        PaintWindow(frame.dc, w, h);
        EXPECT_EQ(canvasMapping.scale, before.scale);
        EXPECT_EQ(canvasMapping.offsetX, before.offsetX);
        EXPECT_EQ(canvasMapping.offsetY, before.offsetY);
        EXPECT_EQ(frame.At(5, 5), 0xFF00FFu);
    }
}

TEST_F(ScreenTest, FixedTextsAreDrawnInTheirRectanglesAndColours) {
    const Rgb shade = ShadeOverBackdrop();
    struct Row {
        const char* name;
        CanvasRect rect;
        Rgb under;
        Rgb ink;  // what the fully covered pixels of the glyphs show
    };
    const Row rows[] = {
        {"logo word", {90, 220, 150, 48}, shade, 0xFFDD5A},      {"headline", {50, 445, 530, 65}, shade, 0xFFFFFF},
        {"subline", {53, 510, 510, 52}, shade, 0xF7F6EC},        {"web address", {53, 595, 450, 28}, shade, 0xE2F2FF},
        {"badge", {670, 122, 85, 21}, 0xDBF4EF, 0x206568},       {"card heading", {656, 160, 266, 96}, kCard, 0x122848},
        {"status", {656, 267, 266, 64}, kCard, 0x4B5D70},        {"system line", {656, 492, 264, 19}, kCard, 0x64737F},
        {"edition line", {656, 511, 264, 20}, kCard, 0x64737F}, {"button label", {700, 410, 180, 47}, kButtonNormal, 0x162C48},
        {"minimise glyph", {881, 12, 42, 35}, shade, 0xFFFFFF},  {"close glyph", {936, 12, 42, 35}, shade, 0xFFFFFF},
    };
    test::MemoryCanvas frame(1000, 650);
    frame.Paint();
    for (const Row& row : rows) {
        EXPECT_GT(frame.CountUnlike(row.rect, row.under), 15) << row.name;
        EXPECT_GT(frame.CountLike(row.rect, row.ink, 2), 0) << row.name;
    }
}

TEST_F(ScreenTest, BackgroundIsCoverFittedAndTheLogoKeepsItsAlpha) {
    // Red and blue strips lie outside the cover-fit crop of a 1672 x 941 picture.
    backgroundImage = SolidBlocks(1672, 941, 0xFF00C000, {{{0, 0, 106, 941}, 0xFFFF0000}, {{1567, 0, 105, 941}, 0xFF0000FF}});
    logoImage = SolidBlocks(100, 100, 0x00000000, {{{50, 0, 50, 100}, 0xFFFF0000}});  // left half transparent
    test::MemoryCanvas frame(1000, 650);
    frame.Paint();
    for (int x : {0, 1, 999}) {
        const Rgb c = frame.At(x, 325);
        EXPECT_GT((c >> 8) & 0xFF, 0x80u) << x;  // green under the shade
        EXPECT_LT((c >> 16) & 0xFF, 0x20u) << x;
        EXPECT_LT(c & 0xFF, 0x40u) << x;
    }
    EXPECT_TRUE(Near(frame.At(250, 100), 0xFF0000));  // opaque half of the logo, over the shade
    const Rgb seeThrough = frame.At(60, 100);
    EXPECT_LT((seeThrough >> 16) & 0xFF, 0x20u);
    EXPECT_GT((seeThrough >> 8) & 0xFF, 0x80u);
    EXPECT_FALSE(Near(frame.At(292, 100), 0xFF0000));  // the logo ends at x 288
}

namespace {

// A contrast theme's colours, each unlike every colour of a normal frame,
// in the order of test::InjectedContrastTheme::kRoles.
struct ThemeColours {
    Rgb window, text, buttonFace, buttonText, highlight, highlightText, grayText, hotLight;
};
constexpr ThemeColours kTheme{0x20C040, 0xC02050, 0x5030B0, 0xE0E010, 0x901090, 0x10F0F0, 0x708030, 0xF07000};

constexpr COLORREF Ref(Rgb c) { return RGB(c >> 16, (c >> 8) & 0xFF, c & 0xFF); }
constexpr COLORREF kThemeColours[] = {Ref(kTheme.window),     Ref(kTheme.text),      Ref(kTheme.buttonFace),
                                      Ref(kTheme.buttonText), Ref(kTheme.highlight), Ref(kTheme.highlightText),
                                      Ref(kTheme.grayText),   Ref(kTheme.hotLight)};

struct ContrastScreenTest : ScreenTest {
    test::InjectedContrastTheme theme{kThemeColours};
    ContrastScreenTest() {
        backgroundImage = LoadPngResource(kBackgroundResource);  // so that leaving them out shows
        logoImage = LoadPngResource(kLogoResource);
    }
};

// Pixels on the track's middle line in the colour, exactly.
int UnitsOnTrack(const test::MemoryCanvas& frame, Rgb colour) {
    int n = 0;
    for (int x = 656; x < 920; ++x) n += frame.AtCanvas(static_cast<float>(x), kTrackMiddle) == colour;
    return n;
}

// Where a pixel is neither one of the theme's colours nor on the line
// between two colours that meet (anti-aliased text and edges), within 2 per
// channel; empty when there is none.
std::string ForeignPixels(const test::MemoryCanvas& frame) {
    const ThemeColours& t = kTheme;
    const Rgb colours[] = {t.window, t.text, t.buttonFace, t.buttonText, t.highlight, t.highlightText, t.grayText,
                           t.hotLight};
    const std::pair<Rgb, Rgb> meeting[] = {
        {t.text, t.window},          {t.hotLight, t.window},     {t.buttonText, t.buttonFace},
        {t.highlightText, t.highlight}, {t.grayText, t.window},     {t.buttonText, t.window},
        {t.buttonText, t.highlight}, {t.text, t.highlight},       {t.highlight, t.window},
    };
    auto channel = [](Rgb c, int i) { return static_cast<double>((c >> (8 * i)) & 0xFF); };
    auto onLine = [&](Rgb p, Rgb a, Rgb b) {
        double along = 0, length = 0;
        for (int i = 0; i < 3; ++i) {
            along += (channel(p, i) - channel(b, i)) * (channel(a, i) - channel(b, i));
            length += (channel(a, i) - channel(b, i)) * (channel(a, i) - channel(b, i));
        }
        const double s = std::clamp(along / length, 0.0, 1.0);
        for (int i = 0; i < 3; ++i) {
            if (std::abs(channel(p, i) - (channel(b, i) + s * (channel(a, i) - channel(b, i)))) > 2) return false;
        }
        return true;
    };
    int count = 0;
    std::string first;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const Rgb p = frame.At(x, y);
            if (std::find(std::begin(colours), std::end(colours), p) != std::end(colours)) continue;
            const auto between = [&](const std::pair<Rgb, Rgb>& m) { return onLine(p, m.first, m.second); };
            if (std::any_of(std::begin(meeting), std::end(meeting), between)) continue;
            if (count++ == 0) {
                char where[64];
                std::snprintf(where, sizeof where, " first %06X at (%d, %d)", static_cast<unsigned>(p), x, y);
                first = where;
            }
        }
    }
    return count == 0 ? "" : std::to_string(count) + " foreign pixels," + first;
}

}  // namespace

// Each frame under a contrast theme, with the button plain, hovered and busy:
// every role in its system colour at a fixed point or in its text, nothing
// else in the frame, and a picture of it for a person to look at.
TEST_F(ContrastScreenTest, EveryRoleShowsItsSystemColourAndNothingElse) {
    const ThemeColours& t = kTheme;
    const std::wstring game = L"C:\\Games\\VandroGLADE";
    struct Row {
        const wchar_t* name;  // of the picture, too
        LauncherPhase phase;
        bool busy;
        bool hover;
        std::wstring installLocation;
        std::uint64_t done, total;
        Rgb face, label;
        bool link;
        int fillUnits;  // on the track's middle line, clear of the outline
    };
    const Row rows[] = {
        {L"idle", Idle, false, false, L"", 0, 0, t.buttonFace, t.buttonText, false, 0},
        {L"idle-hover", Idle, false, true, L"", 0, 0, t.highlight, t.highlightText, false, 0},
        {L"old-game", Idle, false, false, game, 0, 0, t.buttonFace, t.buttonText, true, 0},
        {L"old-game-hover", Idle, false, true, game, 0, 0, t.highlight, t.highlightText, true, 0},
        {L"downloading", Downloading, true, false, game, 50 * kMiB, 100 * kMiB, t.window, t.grayText, false, 130},
        {L"downloading-hover", Downloading, true, true, L"", 50 * kMiB, 100 * kMiB, t.window, t.grayText, false,
         130},
        {L"installing", Installing, true, false, L"", 100 * kMiB, 100 * kMiB, t.window, t.grayText, false, 100},
        {L"ready", Ready, false, false, game, 100 * kMiB, 100 * kMiB, t.buttonFace, t.buttonText, false, 260},
        {L"ready-hover", Ready, false, true, game, 100 * kMiB, 100 * kMiB, t.highlight, t.highlightText, false, 260},
    };
    // Where the photograph, the logo, the shade, the card's shadow and the
    // badge's fill would show.
    const CanvasPoint plain[] = {{20, 300}, {160, 130}, {300, 40}, {700, 558}, {660, 140}, {900, 300}};
    // Texts in the window's text colour (the counter's only with a total).
    const CanvasRect texts[] = {
        {90, 220, 150, 48}, {50, 445, 530, 65},  {53, 510, 510, 52},  {53, 595, 450, 28},
        {658, 119, 107, 27}, kCardHeadingRect,    kStatusRect,         {656, 492, 264, 19},
        {656, 511, 264, 20}, kMinimiseGlyphRect, kCloseGlyphRect,
    };
    for (const Row& row : rows) {
        const std::string name = WideToUtf8(row.name);
        SCOPED_TRACE(name);
        Set(row.phase, row.busy, row.done, row.total, row.installLocation, row.hover);
        test::MemoryCanvas frame(1000, 650);
        frame.Paint();
        EXPECT_TRUE(test::SaveArtifactPng(frame, L"contrast", row.name));

        for (const CanvasPoint& p : plain) EXPECT_EQ(frame.AtCanvas(p.x, p.y), t.window) << p.x << "," << p.y;
        if (row.fillUnits == 130) {  // half a bar: its fill, then the bare track
            EXPECT_EQ(frame.AtCanvas(700, kTrackMiddle), t.highlight);
            EXPECT_EQ(frame.AtCanvas(900, kTrackMiddle), t.window);
        }
        EXPECT_EQ(frame.AtCanvas(kButtonProbe.x, kButtonProbe.y), row.face);
        // The button's border: a busy one in grey, as a disabled control's.
        EXPECT_EQ(frame.AtCanvas(780, 404.5f), row.busy ? t.grayText : t.buttonText);
        EXPECT_EQ(frame.AtCanvas(780, 349.5f), t.text);        // the bar's outline
        EXPECT_NEAR(UnitsOnTrack(frame, t.highlight), row.fillUnits, 4);
        EXPECT_GT(frame.CountLike({700, 410, 180, 47}, row.label, 0), 0);
        EXPECT_EQ(frame.CountLike(kOpenGameLinkRect, t.hotLight, 0) > 0, row.link);
        EXPECT_EQ(frame.CountLike(kCounterRect, t.text, 0) > 0, row.total != 0);
        for (const CanvasRect& r : texts) EXPECT_GT(frame.CountLike(r, t.text, 0), 0) << r.x << "," << r.y;
        EXPECT_EQ(ForeignPixels(frame), "");
    }
    test::MemoryCanvas narrow(760, 650);  // the bands above and below the canvas
    narrow.Paint();
    EXPECT_EQ(narrow.At(380, 20), t.window);
    EXPECT_EQ(narrow.At(380, 630), t.window);
}

// The ring of a contrast theme, on the button and on the link, at any
// scale: in the window's text colour, at least two device pixels of it
// across, with the window's colour between it and what it surrounds.
TEST_F(ContrastScreenTest, RingIsTheTextColourAtLeastTwoPixelsWideAtAnyScale) {
    const ThemeColours& t = kTheme;
    installedGame.installLocation = L"C:\\Games\\VandroGLADE";  // the link is shown
    focusCues = FocusCues{.windowFocused = true};
    displaySettings.keyboardCues = true;
    for (const auto& [width, height] : {std::pair{500, 325}, std::pair{760, 650}, std::pair{1000, 650},
                                        std::pair{2000, 1300}}) {
        for (const KeyboardFocus focus : {KeyboardFocus::MainButton, KeyboardFocus::Link}) {
            SCOPED_TRACE(testing::Message() << width << " x " << height
                                            << (focus == KeyboardFocus::Link ? ", link" : ", button"));
            keyboardFocus = focus;
            test::MemoryCanvas frame(width, height);
            frame.Paint();
            // Along the element's middle row, from 8 units left of it to its
            // left edge (the link's ring lies just inside the link).
            const CanvasRect& r = focus == KeyboardFocus::Link ? kOpenGameLinkRect : kMainButtonRect;
            const POINT from = CanvasToClient(canvasMapping, {r.x - 8, r.y + r.height / 2});
            const POINT to = CanvasToClient(canvasMapping, {r.x + (focus == KeyboardFocus::Link ? 8.0f : 0.0f), 0});
            int ring = 0, gap = 0;
            for (int x = from.x; x < to.x; ++x) {
                const Rgb p = frame.At(x, from.y);
                if (p == t.text) ++ring;
                if (p == t.window && ring > 0) ++gap;
            }
            EXPECT_GE(ring, 2);
            if (focus == KeyboardFocus::MainButton) {
                EXPECT_GE(gap, 1);
            }
        }
    }
}
