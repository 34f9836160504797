#include "ui/painter.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "ui/display_settings.h"
#include "ui/drawing.h"
#include "ui/screen_elements.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

ARGB MainButtonColour(const Palette& palette, bool enabled, bool hover) {
    if (!enabled) return palette.buttonBusy;
    return hover ? palette.buttonHover : palette.buttonNormal;
}

std::uint32_t Palette::*MainButtonLabelColour(bool enabled, bool hover) {
    if (!enabled) return &Palette::buttonBusyLabel;
    return hover ? &Palette::buttonHoverLabel : &Palette::buttonLabel;
}

constexpr float kBarRadius = 4.5f;
constexpr float kMainButtonRadius = 17.0f;
// The focus ring lies just outside the focused element (the button and the
// link are 3 units apart).
constexpr float kFocusRingGap = 1.5f;
// A contrast ring keeps the window's colour between itself and the button's
// border, which may be drawn in the same colour: at least this many units,
// and two device pixels.
constexpr float kContrastRingClearance = 1.0f;
constexpr float kContrastRingClearancePixels = 2.0f;

// Whether every drawing call of a frame succeeded: only such a frame, or
// scenery, is kept and shown again.
struct Drawn {
    bool all = true;
    void operator()(bool drawn) { all = all && drawn; }
};

bool DrawStyled(GpGraphics* g, const Palette& palette, const std::wstring& text, const TextStyle& style) {
    return DrawLabel(g, text, style.rect.x, style.rect.y, style.rect.width, style.rect.height, style.size,
                     palette.*style.colour, style.bold, style.centred);
}

bool FillRounded(GpGraphics* g, const CanvasRect& r, float radius, ARGB colour) {
    return FillRoundedRect(g, r.x, r.y, r.width, r.height, radius, colour);
}

// A line of `units` canvas units, never thinner than its floor in device
// pixels at this scale.
float LineWidth(float units, float minimumPixels, float scale) {
    return scale > 0.0f ? std::max(units, minimumPixels / scale) : units;
}

// An outline just inside the shape's edge, so that nothing under it shows
// past it.
bool OutlineInside(GpGraphics* g, const CanvasRect& r, float radius, float width, ARGB colour) {
    const float half = width * 0.5f;
    return OutlineRoundedRect(g, r.x + half, r.y + half, r.width - width, r.height - width, radius - half, width,
                              colour);
}

// An empty picture slot is legal and draws nothing.
bool DrawBackground(GpGraphics* g) {
    GpBitmap* picture = backgroundImage.get();
    if (!picture) return true;
    UINT w = 0, h = 0;
    if (GdipGetImageWidth(picture, &w) != Ok || GdipGetImageHeight(picture, &h) != Ok || w == 0 || h == 0) {
        return false;
    }
    const CanvasRect source = CoverFitSource(static_cast<float>(w), static_cast<float>(h));
    return GdipDrawImageRectRect(g, picture, 0, 0, kCanvasWidth, kCanvasHeight, source.x, source.y, source.width,
                                 source.height, UnitPixel, /*imageAttributes*/ nullptr, /*abort*/ nullptr,
                                 nullptr) == Ok;
}

// The bar with its counter. A contrast theme outlines the bar as the
// system draws its own.
bool DrawBar(GpGraphics* g, const ScreenModel& model, const ScreenElement& bar, float outline) {
    const Palette& palette = model.palette;
    Drawn drawn;
    drawn(FillRounded(g, kProgressTrackRect, kBarRadius, palette.track));
    if (model.fill.shown) {
        drawn(FillRounded(g, {model.fill.x, kProgressTrackRect.y, model.fill.width, kProgressTrackRect.height},
                          kBarRadius, palette.fill));
    }
    if (palette.contrast) drawn(OutlineInside(g, kProgressTrackRect, kBarRadius, outline, palette.trackOutline));
    if (!model.counterText.empty()) drawn(DrawStyled(g, palette, model.counterText, bar.style));
    return drawn.all;
}

// The main button, by whether it is enabled and hovered; outlined in a
// contrast theme as the system draws its own.
bool DrawButton(GpGraphics* g, const ScreenModel& model, const ScreenElement& button, float outline) {
    const Palette& palette = model.palette;
    const bool enabled = ElementEnabledIn(button, model);
    Drawn drawn;
    drawn(FillRounded(g, button.rect, kMainButtonRadius, MainButtonColour(palette, enabled, model.hover)));
    if (palette.contrast) {
        const ARGB border = enabled ? palette.buttonBorder : palette.buttonBusyBorder;
        drawn(OutlineInside(g, button.rect, kMainButtonRadius, outline, border));
    }
    TextStyle label = button.style;
    label.colour = MainButtonLabelColour(enabled, model.hover);
    drawn(DrawStyled(g, palette, model.buttonLabel, label));
    return drawn.all;
}

// The logo's picture and word, or the badge's fill and text; a contrast
// theme has no picture and none of the soft shapes.
bool DrawUnderText(GpGraphics* g, const Palette& palette, const ScreenElement& element) {
    if (palette.contrast) return true;
    if (element.look == ElementLook::Badge) return FillRounded(g, element.rect, 13, palette.badge);
    GpBitmap* logo = logoImage.get();
    return !logo || GdipDrawImageRect(g, logo, 38, 8, 250, 250) == Ok;
}

bool DrawElement(GpGraphics* g, const ScreenModel& model, const ScreenElement& element, float outline) {
    Drawn drawn;
    switch (element.look) {
        case ElementLook::Bar: return DrawBar(g, model, element, outline);
        case ElementLook::Button: return DrawButton(g, model, element, outline);
        case ElementLook::Logo:
        case ElementLook::Badge: drawn(DrawUnderText(g, model.palette, element)); break;
        case ElementLook::Text: break;
    }
    const std::wstring text = element.drawnText ? element.drawnText : ElementTextIn(element.name, element, model);
    drawn(DrawStyled(g, model.palette, text, element.style));
    return drawn.all;
}

// The shown elements of one layer, in reading order.
bool DrawLayer(GpGraphics* g, const ScreenModel& model, ElementLayer layer) {
    const float scale = ComputeCanvasMapping(model.clientWidth, model.clientHeight).scale;
    const float outline = LineWidth(model.palette.outlineWidth, model.palette.outlineMinimumPixels, scale);
    Drawn drawn;
    for (const ScreenElement& element : ScreenElements()) {
        if (element.layer == layer && ElementShownIn(element, model)) drawn(DrawElement(g, model, element, outline));
    }
    return drawn.all;
}

// The scenery's elements depend on the palette only.
ScreenModel ScreenModelOfScenery(const Palette& palette) {
    ScreenModel model{};
    model.palette = palette;
    return model;
}

// Elements 3 to 13: everything that does not depend on the launcher's state.
// A contrast theme has no picture or shade behind text and none of the soft
// shapes: the word "GLADE" stands without its logo, the badge's text without
// its fill, the card without its shadow.
bool DrawFixedScenery(GpGraphics* g, const Palette& palette) {
    Drawn drawn;
    if (!palette.contrast) {
        const OwnedBrush shade = MakeSolidBrush(palette.shade);
        drawn(shade && GdipFillRectangle(g, shade.get(), 0, 0, kCanvasWidth, kCanvasHeight) == Ok);
    }
    const ScreenModel scenery = ScreenModelOfScenery(palette);
    drawn(DrawLayer(g, scenery, ElementLayer::Backdrop));
    if (!palette.contrast) drawn(FillRounded(g, {632, 99, 320, 463}, 25, palette.cardShadow));
    drawn(FillRounded(g, {628, 92, 320, 463}, 25, palette.card));
    drawn(DrawLayer(g, scenery, ElementLayer::Card));
    return drawn.all;
}

// Steps 1 to 13: backdrop, background, shade and fixed scenery. They depend
// on the client size, the two pictures and the palette only.
bool DrawScenery(GpGraphics* g, const Palette& palette) {
    Drawn drawn;
    drawn(GdipGraphicsClear(g, palette.backdrop) == Ok);
    if (!palette.contrast) drawn(DrawBackground(g));
    drawn(DrawFixedScenery(g, palette));
    return drawn.all;
}

bool DrawFocusRing(GpGraphics* g, const Palette& palette, KeyboardFocus focused, float scale) {
    const bool onLink = focused == KeyboardFocus::Link;
    const CanvasRect& r = ElementWithFocus(focused).rect;
    const float width = LineWidth(palette.focusRingWidth, palette.focusRingMinimumPixels, scale);
    const float clearance = LineWidth(kContrastRingClearance, kContrastRingClearancePixels, scale);
    const float distance = palette.contrast ? clearance + width * 0.5f : kFocusRingGap;
    const float gap = onLink ? -distance : distance;  // the link's ring stays clear of the button
    const float radius = onLink ? r.height * 0.5f - distance : kMainButtonRadius + distance;
    return OutlineRoundedRect(g, r.x - gap, r.y - gap, r.width + 2 * gap, r.height + 2 * gap, radius, width,
                              palette.focusRing);
}

// Steps 14 on: what follows the model, then the lines that are drawn over
// it. Reads nothing but the model, so equal models on the same scenery give
// the same pixels.
bool DrawLiveElements(GpGraphics* g, const ScreenModel& model) {
    const Palette& palette = model.palette;
    const float scale = ComputeCanvasMapping(model.clientWidth, model.clientHeight).scale;
    Drawn drawn;
    drawn(DrawLayer(g, model, ElementLayer::Live));
    if (model.ringShown) drawn(DrawFocusRing(g, palette, model.focused, scale));
    return drawn.all;
}

// Off-screen frame: a bitmap of the client size and a surface on it.
struct Frame {
    OwnedBitmap bitmap;
    OwnedGraphics graphics;  // released first: it draws into the bitmap
};

using Pixels = std::vector<std::uint32_t>;  // 32 bpp premultiplied ARGB, top-down rows, no padding

// A frame in GDI+'s own memory, or, given `pixels`, drawing straight into
// them, with the canvas mapped onto it; no surface when GDI+ refuses.
Frame CreateFrame(int width, int height, const CanvasMapping& mapping, Pixels* pixels = nullptr) {
    Frame frame;
    GpBitmap* bitmap = nullptr;
    const INT stride = pixels ? width * static_cast<INT>(sizeof(std::uint32_t)) : 0;
    BYTE* scan0 = pixels ? reinterpret_cast<BYTE*>(pixels->data()) : nullptr;
    if (GdipCreateBitmapFromScan0(width, height, stride, PixelFormat32bppPARGB, scan0, &bitmap) != Ok) return frame;
    frame.bitmap.reset(bitmap);
    GpGraphics* graphics = nullptr;
    if (GdipGetImageGraphicsContext(bitmap, &graphics) != Ok) return frame;
    OwnedGraphics surface(graphics);
    GdipSetSmoothingMode(graphics, SmoothingModeAntiAlias);
    GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
    GdipSetTextRenderingHint(graphics, TextRenderingHintClearTypeGridFit);
    if (GdipTranslateWorldTransform(graphics, mapping.offsetX, mapping.offsetY, MatrixOrderPrepend) != Ok ||
        GdipScaleWorldTransform(graphics, mapping.scale, mapping.scale, MatrixOrderPrepend) != Ok) {
        return frame;
    }
    frame.graphics = std::move(surface);
    return frame;
}

// The scenery of the current client size, kept between frames, and the
// frame composed on a copy of it. The scenery is most of a frame's cost
// (the background is scaled with bicubic filtering), and the 100 ms repaint
// would redraw it ten times a second. Rebuilt when the size, a picture slot
// or the palette changes, and after any drawing call in it failed. Plain
// memory, so nothing in it outlives GDI+. Window thread only.
struct SceneryCache {
    int width = 0;
    int height = 0;
    const GpBitmap* background = nullptr;
    const GpBitmap* logo = nullptr;
    Palette palette = NormalPalette();
    Pixels scenery;  // empty unless every drawing call in it succeeded
    Pixels frame;
    std::optional<ScreenModel> composed;  // what `frame` shows, once every call in it succeeded
};
SceneryCache sceneryCache;

// What the last frame that reached the whole client area was drawn from, so
// that a repaint that would show the same pixels again can be left out.
struct ShownFrame {
    const GpBitmap* background;
    const GpBitmap* logo;
    ScreenModel model;
    bool operator==(const ShownFrame&) const = default;
};
std::optional<ShownFrame> lastShown;

bool SceneryIsCurrent(const SceneryCache& cache, int width, int height, const Palette& palette) {
    return !cache.scenery.empty() && cache.width == width && cache.height == height &&
           cache.background == backgroundImage.get() && cache.logo == logoImage.get() && cache.palette == palette;
}

// The scenery drawn into the cache; false when no surface could be made.
// Scenery with a missing element serves this frame only.
bool BuildScenery(SceneryCache& cache, int width, int height, const CanvasMapping& mapping, const Palette& palette,
                  bool& whole) {
    cache = SceneryCache{width, height, backgroundImage.get(), logoImage.get(), palette, {}, {}, {}};
    cache.scenery.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const Frame frame = CreateFrame(width, height, mapping, &cache.scenery);
    if (!frame.graphics) {
        cache.scenery.clear();
        return false;
    }
    whole = DrawScenery(frame.graphics.get(), palette);
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

bool CopyToWindow(HDC dc, GpBitmap* frame) {
    GpGraphics* target = nullptr;
    if (GdipCreateFromHDC(dc, &target) != Ok) return false;
    const OwnedGraphics owner(target);
    return GdipDrawImageI(target, frame, 0, 0) == Ok;
}

// What became of one frame: whether its pixels reached the device context,
// and whether every drawing call in it succeeded.
struct Outcome {
    bool shown;
    bool whole;
};

// The live elements on a copy of the kept scenery, shown as plain pixels:
// the scenery is opaque, so the frame is too. When the model is the one the
// kept frame shows (the idle window's repaint), that frame is shown again.
// Not shown when the cache cannot serve; the caller then draws everything.
Outcome PaintOnKeptScenery(HDC dc, const CanvasMapping& mapping, const ScreenModel& model) {
    SceneryCache& cache = sceneryCache;
    const Palette& palette = model.palette;
    const int width = model.clientWidth, height = model.clientHeight;
    if (SceneryIsCurrent(cache, width, height, palette) && cache.composed == model) {
        return {ShowPixels(dc, width, height, cache.frame), true};
    }
    bool sceneryWhole = true;
    try {
        if (!SceneryIsCurrent(cache, width, height, palette) &&
            !BuildScenery(cache, width, height, mapping, palette, sceneryWhole)) {
            return {false, false};
        }
        cache.composed.reset();
        cache.frame = cache.scenery;
    } catch (const std::bad_alloc&) {
        cache = SceneryCache{};
        return {false, false};
    }
    bool liveWhole = false;
    {
        const Frame frame = CreateFrame(width, height, mapping, &cache.frame);
        if (!frame.graphics) return {false, false};
        liveWhole = DrawLiveElements(frame.graphics.get(), model);
    }
    if (!sceneryWhole) cache.scenery.clear();  // drawn afresh at the next paint
    if (sceneryWhole && liveWhole) cache.composed = model;
    return {ShowPixels(dc, width, height, cache.frame), sceneryWhole && liveWhole};
}

Outcome ComposeAndShow(HDC dc, const ScreenModel& model, bool useSceneryCache) {
    if (useSceneryCache) {
        const Outcome kept = PaintOnKeptScenery(dc, canvasMapping, model);
        if (kept.shown) return kept;
    }
    const Frame frame = CreateFrame(model.clientWidth, model.clientHeight, canvasMapping);
    GpGraphics* g = frame.graphics.get();
    if (!g) return {false, false};
    const bool sceneryWhole = DrawScenery(g, model.palette);
    const bool liveWhole = DrawLiveElements(g, model);
    return {CopyToWindow(dc, frame.bitmap.get()), sceneryWhole && liveWhole};
}

// `wholeClient`: the device context lets the frame reach every pixel of the
// client area (a WM_PAINT whose rcPaint covers it).
void PaintFrame(HDC dc, const ScreenModel& model, bool wholeClient, bool useSceneryCache) {
    // Minimised: no frame can be built, and a zero scale would break input.
    if (model.clientWidth <= 0 || model.clientHeight <= 0) return;
    // Input follows the window's size even when this frame cannot be built.
    canvasMapping = ComputeCanvasMapping(model.clientWidth, model.clientHeight);
    lastShown.reset();
    const Outcome outcome = ComposeAndShow(dc, model, useSceneryCache);
    // Only a frame that is all there, and all on the window, may stand for
    // the next repaint; any other is drawn again at the next tick.
    if (outcome.shown && outcome.whole && wholeClient) {
        lastShown = ShownFrame{backgroundImage.get(), logoImage.get(), model};
    }
}

// No exception leaves a paint: the frame is left out, and what is kept
// between frames is dropped, so that the next paint draws everything afresh.
void PaintGuarded(HDC dc, int clientWidth, int clientHeight, bool wholeClient, bool useSceneryCache) noexcept {
    try {
        PaintFrame(dc, BuildScreenModel(clientWidth, clientHeight), wholeClient, useSceneryCache);
    } catch (...) {
        lastShown.reset();
        sceneryCache = SceneryCache{};
    }
}

bool Covers(const RECT& paint, const RECT& client) {
    return paint.left <= client.left && paint.top <= client.top && paint.right >= client.right &&
           paint.bottom >= client.bottom;
}

}  // namespace

void PaintWindowMessage(HWND window) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    RECT client{};
    if (dc && GetClientRect(window, &client)) {
        PaintGuarded(dc, client.right, client.bottom, Covers(paint.rcPaint, client), /*useSceneryCache*/ true);
    }
    EndPaint(window, &paint);
}

void PaintWindow(HDC dc, int clientWidth, int clientHeight) {
    PaintGuarded(dc, clientWidth, clientHeight, /*wholeClient*/ true, /*useSceneryCache*/ true);
}

void PaintWindowUncached(HDC dc, int clientWidth, int clientHeight) {
    PaintGuarded(dc, clientWidth, clientHeight, /*wholeClient*/ true, /*useSceneryCache*/ false);
}

bool FrameIsCurrent(const ScreenModel& model) {
    return lastShown == ShownFrame{backgroundImage.get(), logoImage.get(), model};
}

bool FrameIsCurrent(HWND window) { return FrameIsCurrent(BuildScreenModel(window)); }

CanvasRect CoverFitSource(float imageWidth, float imageHeight) {
    const float k = std::max(kCanvasHeight / imageHeight, kCanvasWidth / imageWidth);
    const float sourceWidth = kCanvasWidth / k;
    const float sourceHeight = kCanvasHeight / k;
    return {(imageWidth - sourceWidth) * 0.5f, (imageHeight - sourceHeight) * 0.5f, sourceWidth, sourceHeight};
}
