#include "ui/screen.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "shell/installed_game.h"
#include "ui/drawing.h"

#ifndef VANDRO_WEB_ADDRESS
#define VANDRO_WEB_ADDRESS "vandro.example"
#endif

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

CanvasMapping canvasMapping;
bool mainButtonHover = false;
KeyboardFocus keyboardFocus = KeyboardFocus::MainButton;
bool focusRingShown = false;

namespace {

constexpr ARGB kBackdropColour = 0xFF07173A;
constexpr ARGB kShadeColour = 0x3E030F2A;
constexpr ARGB kFillColour = 0xFF20B5CF;
constexpr float kBarRadius = 4.5f;
constexpr float kMainButtonRadius = 17.0f;
constexpr float kMinimumFillWidth = 9.0f;
constexpr std::uint64_t kSweepPeriodMs = 1800;
constexpr float kSweepTravel = 160.0f;
constexpr float kSweepWidth = 100.0f;
constexpr std::uint64_t kMebibyte = 1048576;
// The focus ring: a thin outline in the card's text colour, just outside
// the focused element (the button and the link are 3 units apart).
constexpr ARGB kCardTextColour = 0xFF122848;
constexpr float kFocusRingWidth = 1.5f;
constexpr float kFocusRingGap = 1.5f;

constexpr const wchar_t* kWebAddress = L"" VANDRO_WEB_ADDRESS;

struct Text {
    const wchar_t* text;
    CanvasRect rect;
    float size;
    ARGB colour;
    bool bold;
    bool centred;
};

void Draw(GpGraphics* g, const Text& t) {
    DrawLabel(g, t.text, t.rect.x, t.rect.y, t.rect.width, t.rect.height, t.size, t.colour, t.bold, t.centred);
}

void DrawText(GpGraphics* g, const std::wstring& text, const Text& style) {
    DrawLabel(g, text, style.rect.x, style.rect.y, style.rect.width, style.rect.height, style.size, style.colour,
              style.bold, style.centred);
}

constexpr Text kLogoWord{L"GLADE", {90, 220, 150, 48}, 30, 0xFFFFDD5A, true, true};
constexpr Text kHeadline{L"Keşfe hazır mısın?", {50, 445, 530, 65}, 37, 0xFFFFFFFF, true, false};
constexpr Text kSubline{L"Oyunlar, arkadaşlar ve kocaman bir park.", {53, 510, 510, 52}, 17, 0xFFF7F6EC, false, false};
constexpr Text kWebAddressText{kWebAddress, {53, 595, 450, 28}, 15, 0xFFE2F2FF, true, false};
constexpr Text kBadgeText{L"WINDOWS", {658, 119, 107, 27}, 11, 0xFF206568, true, true};
constexpr Text kCardHeading{L"Parkın\nseni bekliyor.", kCardHeadingRect, 31, kCardTextColour, true, false};
constexpr Text kStatusStyle{nullptr, kStatusRect, 15, 0xFF4B5D70, false, false};
constexpr Text kCounterStyle{nullptr, kByteCounterRect, 12, 0xFF5B6C7B, false, false};
constexpr Text kButtonLabelStyle{nullptr, {662, 404, 252, 59}, 19, 0xFF162C48, true, true};
constexpr Text kOpenGameLink{L"Kurulu oyunu aç", kOpenGameLinkRect, 12, 0xFF18788F, true, true};
constexpr Text kSystemLine{L"Windows 10/11 · 64 bit", {656, 492, 264, 23}, 12, 0xFF64737F, false, true};
constexpr Text kEditionLine{L"VandroGLADE \u2014 PC sürümü", {656, 511, 264, 20}, 12, 0xFF64737F, false, true};
constexpr Text kMinimiseGlyph{L"\u2014", kMinimiseGlyphRect, 18, 0xFFFFFFFF, false, true};
constexpr Text kCloseGlyph{L"\u00D7", kCloseGlyphRect, 25, 0xFFFFFFFF, false, true};

void FillRounded(GpGraphics* g, const CanvasRect& r, float radius, ARGB colour) {
    FillRoundedRect(g, r.x, r.y, r.width, r.height, radius, colour);
}

void DrawBackground(GpGraphics* g) {
    GpBitmap* picture = backgroundImage.get();
    if (!picture) return;
    UINT w = 0, h = 0;
    if (GdipGetImageWidth(picture, &w) != Ok || GdipGetImageHeight(picture, &h) != Ok || w == 0 || h == 0) return;
    const CanvasRect source = CoverFitSource(static_cast<float>(w), static_cast<float>(h));
    GdipDrawImageRectRect(g, picture, 0, 0, kCanvasWidth, kCanvasHeight, source.x, source.y, source.width,
                          source.height, UnitPixel, /*imageAttributes*/ nullptr, /*abort*/ nullptr, nullptr);
}

// Elements 3 to 13: everything that does not depend on the launcher's state.
void DrawFixedScenery(GpGraphics* g, GpBrush* shade) {
    if (shade) GdipFillRectangle(g, shade, 0, 0, kCanvasWidth, kCanvasHeight);
    if (GpBitmap* logo = logoImage.get()) GdipDrawImageRect(g, logo, 38, 8, 250, 250);
    Draw(g, kLogoWord);
    Draw(g, kHeadline);
    Draw(g, kSubline);
    Draw(g, kWebAddressText);
    FillRounded(g, {632, 99, 320, 463}, 25, 0x36000920);
    FillRounded(g, {628, 92, 320, 463}, 25, 0xFFFFFCF2);
    FillRounded(g, {656, 119, 111, 27}, 13, 0xFFDBF4EF);
    Draw(g, kBadgeText);
    Draw(g, kCardHeading);
}

void DrawProgress(GpGraphics* g, LauncherPhase phase, float fraction, std::uint64_t sweepTick) {
    FillRounded(g, kProgressTrackRect, kBarRadius, 0xFFDDE7EB);
    const ProgressFill fill = ProgressFillFor(phase, fraction, sweepTick);
    if (fill.shown) {
        FillRounded(g, {fill.x, kProgressTrackRect.y, fill.width, kProgressTrackRect.height}, kBarRadius, kFillColour);
    }
}

// Off-screen frame: a bitmap of the client size and a surface on it.
struct Frame {
    OwnedBitmap bitmap;
    OwnedGraphics graphics;  // released first: it draws into the bitmap
};

void SetQuality(GpGraphics* graphics) {
    GdipSetSmoothingMode(graphics, SmoothingModeAntiAlias);
    GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
    GdipSetTextRenderingHint(graphics, TextRenderingHintClearTypeGridFit);
}

using Pixels = std::vector<std::uint32_t>;  // 32 bpp premultiplied ARGB, top-down rows, no padding

// A frame in GDI+'s own memory, or, given `pixels`, drawing straight into them.
Frame CreateFrame(int width, int height, Pixels* pixels = nullptr) {
    Frame frame;
    GpBitmap* bitmap = nullptr;
    const INT stride = pixels ? width * static_cast<INT>(sizeof(std::uint32_t)) : 0;
    BYTE* scan0 = pixels ? reinterpret_cast<BYTE*>(pixels->data()) : nullptr;
    if (GdipCreateBitmapFromScan0(width, height, stride, PixelFormat32bppPARGB, scan0, &bitmap) != Ok) return frame;
    frame.bitmap.reset(bitmap);
    GpGraphics* graphics = nullptr;
    if (GdipGetImageGraphicsContext(bitmap, &graphics) != Ok) return frame;
    frame.graphics.reset(graphics);
    SetQuality(graphics);
    return frame;
}

void MapCanvas(GpGraphics* g, const CanvasMapping& mapping) {
    GdipTranslateWorldTransform(g, mapping.offsetX, mapping.offsetY, MatrixOrderPrepend);
    GdipScaleWorldTransform(g, mapping.scale, mapping.scale, MatrixOrderPrepend);
}

// Steps 1 to 13: backdrop, background, shade and fixed scenery. They depend
// on the client size and the two pictures only.
void DrawScenery(GpGraphics* g) {
    GdipGraphicsClear(g, kBackdropColour);
    DrawBackground(g);
    const OwnedBrush shade = MakeSolidBrush(kShadeColour);
    DrawFixedScenery(g, shade.get());
}

// Everything the live elements of a frame are drawn from, and nothing else:
// DrawLiveElements reads only this, so equal inputs on the same scenery give
// the same pixels, and the last composed frame can be shown again as it is.
struct FrameInputs {
    ScreenContent content;
    bool hover;
    bool focusRingShown;
    KeyboardFocus focused;
    std::uint64_t sweepTick;  // the clock while Installing sweeps; 0 otherwise
    bool operator==(const FrameInputs&) const = default;
};

// The scenery of the current client size, kept between frames, and the
// frame composed on a copy of it. The scenery is most of a frame's cost
// (the background is scaled with bicubic filtering), and the 100 ms repaint
// would redraw it ten times a second. Rebuilt when the size or either picture
// slot changes. Plain memory, so nothing in it outlives GDI+. Window thread only.
struct SceneryCache {
    int width = 0;
    int height = 0;
    const GpBitmap* background = nullptr;
    const GpBitmap* logo = nullptr;
    Pixels scenery;
    Pixels frame;
    std::optional<FrameInputs> composed;  // what `frame` shows, once it is whole
};
SceneryCache sceneryCache;

// What the last frame that reached a device context was drawn from, so that
// a repaint that would show the same pixels again can be left out.
struct ShownFrame {
    int width;
    int height;
    const GpBitmap* background;
    const GpBitmap* logo;
    FrameInputs inputs;
    bool operator==(const ShownFrame&) const = default;
};
std::optional<ShownFrame> lastShown;

ShownFrame CurrentFrame(int width, int height, const FrameInputs& inputs) {
    return {width, height, backgroundImage.get(), logoImage.get(), inputs};
}

bool SceneryIsCurrent(const SceneryCache& cache, int width, int height) {
    return !cache.scenery.empty() && cache.width == width && cache.height == height &&
           cache.background == backgroundImage.get() && cache.logo == logoImage.get();
}

bool BuildScenery(SceneryCache& cache, int width, int height, const CanvasMapping& mapping) {
    cache = SceneryCache{width, height, backgroundImage.get(), logoImage.get(), {}, {}, {}};
    cache.scenery.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const Frame frame = CreateFrame(width, height, &cache.scenery);
    if (!frame.graphics) {
        cache.scenery.clear();
        return false;
    }
    MapCanvas(frame.graphics.get(), mapping);
    DrawScenery(frame.graphics.get());
    return true;
}  // the surface and the bitmap end here, and the drawing stays in the pixels

// Puts opaque frame pixels on the device context as they are.
bool ShowPixels(HDC dc, int width, int height, const Pixels& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as the pixels lie
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                             static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS) == height;
}

void CopyToWindow(HDC dc, GpBitmap* frame) {
    GpGraphics* target = nullptr;
    if (GdipCreateFromHDC(dc, &target) != Ok) return;
    const OwnedGraphics owner(target);
    GdipDrawImageI(target, frame, 0, 0);
}

}  // namespace

CanvasMapping ComputeCanvasMapping(int clientWidth, int clientHeight) {
    const float width = static_cast<float>(clientWidth);
    const float height = static_cast<float>(clientHeight);
    CanvasMapping mapping;
    mapping.scale = std::min(height / kCanvasHeight, width / kCanvasWidth);
    mapping.offsetX = (width - kCanvasWidth * mapping.scale) * 0.5f;
    mapping.offsetY = (height - kCanvasHeight * mapping.scale) * 0.5f;
    return mapping;
}

CanvasPoint ClientToCanvas(const CanvasMapping& mapping, float clientX, float clientY) {
    const float scale = mapping.scale > 0.0f ? mapping.scale : 1.0f;
    return {(clientX - mapping.offsetX) / scale, (clientY - mapping.offsetY) / scale};
}

POINT CanvasToClient(const CanvasMapping& mapping, CanvasPoint point) {
    return {static_cast<LONG>(point.x * mapping.scale + mapping.offsetX),
            static_cast<LONG>(point.y * mapping.scale + mapping.offsetY)};
}

CanvasRect CoverFitSource(float imageWidth, float imageHeight) {
    const float k = std::max(kCanvasHeight / imageHeight, kCanvasWidth / imageWidth);
    const float sourceWidth = kCanvasWidth / k;
    const float sourceHeight = kCanvasHeight / k;
    return {(imageWidth - sourceWidth) * 0.5f, (imageHeight - sourceHeight) * 0.5f, sourceWidth, sourceHeight};
}

const wchar_t* MainButtonLabel(bool busy, LauncherPhase phase) {
    if (busy) return phase == Installing ? L"Kuruluyor\u2026" : L"İndiriliyor\u2026";
    if (phase == Ready) return L"Oyna";
    if (phase == Failed) return L"Tekrar Dene";
    return L"İndir ve Kur";
}

std::uint32_t MainButtonColour(bool busy, bool hover) {
    if (busy) return 0xFFE6E4D5;
    return hover ? 0xFFFFE174 : 0xFFFFD14D;
}

float ProgressFraction(std::uint64_t bytesDone, std::uint64_t bytesTotal) {
    if (bytesTotal == 0) return 0.0f;
    const float fraction = static_cast<float>(static_cast<double>(bytesDone) / static_cast<double>(bytesTotal));
    return std::min(fraction, 1.0f);
}

ProgressFill ProgressFillFor(LauncherPhase phase, float fraction, std::uint64_t tickMilliseconds) {
    const float left = kProgressTrackRect.x;
    if (phase == Installing) {
        const float t = static_cast<float>(tickMilliseconds % kSweepPeriodMs);
        return {true, left + (t / static_cast<float>(kSweepPeriodMs)) * kSweepTravel, kSweepWidth};
    }
    if (fraction > 0.0f) return {true, left, std::max(fraction * kProgressTrackRect.width, kMinimumFillWidth)};
    return {false, left, 0.0f};
}

std::wstring ByteCounterText(std::uint64_t bytesDone, std::uint64_t bytesTotal) {
    return std::to_wstring(bytesDone / kMebibyte) + L" / " + std::to_wstring(bytesTotal / kMebibyte) + L" MB";
}

ScreenContent ReadScreenContent() {
    PhaseSnapshot state = ReadPhaseAndMessage();
    ScreenContent content{state.phase, std::move(state.statusMessage), 0, 0, false, false, nullptr, {}};
    content.bytesTotal = launcherState.bytesTotal.load();
    content.bytesDone = launcherState.bytesDone.load();
    content.busy = launcherState.busy.load();
    // busy first: the worker rewrites installLocation only while busy is set.
    content.linkShown = !content.busy && !installedGame.installLocation.empty() && content.phase != Ready;
    content.buttonLabel = MainButtonLabel(content.busy, content.phase);
    if (content.bytesTotal != 0) content.counterText = ByteCounterText(content.bytesDone, content.bytesTotal);
    return content;
}

KeyboardFocus FocusedElement(const ScreenContent& content) {
    return keyboardFocus == KeyboardFocus::Link && content.linkShown ? KeyboardFocus::Link : KeyboardFocus::MainButton;
}

const wchar_t* CardHeadingText() { return kCardHeading.text; }
const wchar_t* OpenGameLinkText() { return kOpenGameLink.text; }

namespace {

// Steps 14 on: what follows the launcher's state, then the lines and glyphs
// that are drawn over it.
void DrawFocusRing(GpGraphics* g, KeyboardFocus focused) {
    const bool onLink = focused == KeyboardFocus::Link;
    const CanvasRect& r = onLink ? kOpenGameLinkRect : kMainButtonRect;
    const float gap = onLink ? -kFocusRingGap : kFocusRingGap;  // the link's ring stays clear of the button
    const float radius = onLink ? r.height * 0.5f - kFocusRingGap : kMainButtonRadius + kFocusRingGap;
    OutlineRoundedRect(g, r.x - gap, r.y - gap, r.width + 2 * gap, r.height + 2 * gap, radius, kFocusRingWidth,
                       kCardTextColour);
}

// The one place the frame's inputs are read; the sweep is the only one that
// moves with the clock.
FrameInputs ReadFrameInputs(const ScreenContent& content) {
    const std::uint64_t sweepTick = content.phase == Installing ? GetTickCount64() : 0;
    return {content, mainButtonHover, focusRingShown, FocusedElement(content), sweepTick};
}

void DrawLiveElements(GpGraphics* g, const FrameInputs& in) {
    const ScreenContent& content = in.content;
    DrawText(g, content.statusMessage, kStatusStyle);

    DrawProgress(g, content.phase, ProgressFraction(content.bytesDone, content.bytesTotal), in.sweepTick);
    if (!content.counterText.empty()) DrawText(g, content.counterText, kCounterStyle);

    FillRounded(g, kMainButtonRect, kMainButtonRadius, MainButtonColour(content.busy, in.hover));
    DrawText(g, content.buttonLabel, kButtonLabelStyle);
    if (content.linkShown) Draw(g, kOpenGameLink);
    if (in.focusRingShown) DrawFocusRing(g, in.focused);

    Draw(g, kSystemLine);
    Draw(g, kEditionLine);
    Draw(g, kMinimiseGlyph);
    Draw(g, kCloseGlyph);
}

// The live elements on a copy of the kept scenery, shown as plain pixels:
// the scenery is opaque, so the frame is too. When nothing the frame is drawn
// from has changed (the idle window's 100 ms repaint), the last composed
// frame is shown again. False when the cache cannot serve; the caller then
// draws everything.
bool PaintOnKeptScenery(HDC dc, int width, int height, const CanvasMapping& mapping, const FrameInputs& inputs) {
    SceneryCache& cache = sceneryCache;
    if (SceneryIsCurrent(cache, width, height) && cache.composed == inputs) {
        return ShowPixels(dc, width, height, cache.frame);
    }
    try {
        if (!SceneryIsCurrent(cache, width, height) && !BuildScenery(cache, width, height, mapping)) return false;
        cache.composed.reset();
        cache.frame = cache.scenery;
    } catch (const std::bad_alloc&) {
        cache = SceneryCache{};
        return false;
    }
    {
        const Frame frame = CreateFrame(width, height, &cache.frame);
        if (!frame.graphics) return false;
        MapCanvas(frame.graphics.get(), mapping);
        DrawLiveElements(frame.graphics.get(), inputs);
    }
    cache.composed = inputs;
    return ShowPixels(dc, width, height, cache.frame);
}

// True when a frame reached the device context.
bool ComposeAndShow(HDC dc, int clientWidth, int clientHeight, const FrameInputs& inputs, bool useSceneryCache) {
    if (useSceneryCache && PaintOnKeptScenery(dc, clientWidth, clientHeight, canvasMapping, inputs)) return true;
    const Frame frame = CreateFrame(clientWidth, clientHeight);
    GpGraphics* g = frame.graphics.get();
    if (!g) return false;
    MapCanvas(g, canvasMapping);
    DrawScenery(g);
    DrawLiveElements(g, inputs);
    CopyToWindow(dc, frame.bitmap.get());
    return true;
}

void PaintFrame(HDC dc, int clientWidth, int clientHeight, const ScreenContent& content, bool useSceneryCache) {
    // Minimised: no frame can be built, and a zero scale would break input.
    if (clientWidth <= 0 || clientHeight <= 0) return;
    // Input follows the window's size even when this frame cannot be built.
    canvasMapping = ComputeCanvasMapping(clientWidth, clientHeight);
    const FrameInputs inputs = ReadFrameInputs(content);
    lastShown.reset();
    if (ComposeAndShow(dc, clientWidth, clientHeight, inputs, useSceneryCache)) {
        lastShown = CurrentFrame(clientWidth, clientHeight, inputs);
    }
}

}  // namespace

void PaintWindow(HDC dc, int clientWidth, int clientHeight) {
    PaintFrame(dc, clientWidth, clientHeight, ReadScreenContent(), /*useSceneryCache*/ true);
}

void PaintWindowUncached(HDC dc, int clientWidth, int clientHeight) {
    PaintFrame(dc, clientWidth, clientHeight, ReadScreenContent(), /*useSceneryCache*/ false);
}

void PaintScreen(HDC dc, int clientWidth, int clientHeight, const ScreenContent& content) {
    PaintFrame(dc, clientWidth, clientHeight, content, /*useSceneryCache*/ true);
}

bool FrameIsCurrent(int clientWidth, int clientHeight) {
    return lastShown == CurrentFrame(clientWidth, clientHeight, ReadFrameInputs(ReadScreenContent()));
}
