// The launcher's one screen, composed on a 1000 x 650 canvas.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "shell/launcher_state.h"

struct CanvasMapping {
    float scale = 1.0f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;
};

extern CanvasMapping canvasMapping;
extern bool mainButtonHover;

// The two elements the keyboard reaches with Tab. The link holds the focus
// only while it is shown (see FocusedElement). Window thread only.
enum class KeyboardFocus { MainButton, Link };
extern KeyboardFocus keyboardFocus;
// The focus ring shows once the player has used Tab, or always when the
// system asks for keyboard cues; mouse users see no ring.
extern bool focusRingShown;

// What the state-dependent part of a frame shows, read afresh from the
// launcher's state as one paint reads it.
struct ScreenContent {
    LauncherPhase phase;
    std::wstring statusMessage;
    std::uint64_t bytesDone;
    std::uint64_t bytesTotal;
    bool busy;
    bool linkShown;
    const wchar_t* buttonLabel;
    std::wstring counterText;  // empty while no counter is drawn
    bool operator==(const ScreenContent&) const = default;
};
ScreenContent ReadScreenContent();

// The element that holds the keyboard focus in this content.
KeyboardFocus FocusedElement(const ScreenContent& content);

// Fixed texts of the card, as drawn.
const wchar_t* CardHeadingText();
const wchar_t* OpenGameLinkText();

// Draws one complete frame and stores canvasMapping. An empty client area
// (minimised) draws nothing and keeps the mapping of the last real frame.
// The scenery (backdrop, background, shade, fixed texts and card) is kept
// between frames for the current client size and pictures.
void PaintWindow(HDC dc, int clientWidth, int clientHeight);
// The same frame with its scenery drawn afresh: the reference the kept
// scenery is proven against, pixel for pixel, and the benchmark's baseline.
void PaintWindowUncached(HDC dc, int clientWidth, int clientHeight);
// PaintWindow for content the caller has already read, so that what the
// frame shows and what the caller does with it belong together.
void PaintScreen(HDC dc, int clientWidth, int clientHeight, const ScreenContent& content);
// True when the last frame shown was drawn at this size from everything a
// frame would be drawn from now: painting again would show the same pixels.
bool FrameIsCurrent(int clientWidth, int clientHeight);

inline constexpr float kCanvasWidth = 1000.0f;
inline constexpr float kCanvasHeight = 650.0f;

struct CanvasPoint {
    float x;
    float y;
};

// (x, y, width, height) in canvas units; a point is inside from the lower
// bound up to, not including, the upper bound.
struct CanvasRect {
    float x, y, width, height;
    constexpr bool Contains(CanvasPoint p) const { return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height; }
};

// Drawn here and hit by the window's input handling.
inline constexpr CanvasRect kMinimiseGlyphRect{881, 12, 42, 35};
inline constexpr CanvasRect kCloseGlyphRect{936, 12, 42, 35};
inline constexpr CanvasRect kMainButtonRect{656, 404, 264, 59};
inline constexpr CanvasRect kOpenGameLinkRect{656, 466, 264, 23};
inline constexpr CanvasRect kProgressTrackRect{656, 349, 264, 9};
inline constexpr CanvasRect kCardHeadingRect{656, 160, 266, 96};
inline constexpr CanvasRect kStatusRect{656, 267, 266, 64};
inline constexpr CanvasRect kByteCounterRect{656, 363, 264, 24};

// The canvas scaled uniformly into the client area and centred.
CanvasMapping ComputeCanvasMapping(int clientWidth, int clientHeight);
// Client pixels to canvas units; a mapping without a usable scale counts as
// scale 1, so input never divides by zero.
CanvasPoint ClientToCanvas(const CanvasMapping& mapping, float clientX, float clientY);
// Canvas units to client pixels, truncated toward zero.
POINT CanvasToClient(const CanvasMapping& mapping, CanvasPoint point);

// The part of a picture that covers the canvas, keeping its aspect and
// cropping the excess equally on both sides; in picture pixels.
CanvasRect CoverFitSource(float imageWidth, float imageHeight);

const wchar_t* MainButtonLabel(bool busy, LauncherPhase phase);
std::uint32_t MainButtonColour(bool busy, bool hover);

// bytesDone / bytesTotal in double, narrowed to float, capped at 1; 0 without a total.
float ProgressFraction(std::uint64_t bytesDone, std::uint64_t bytesTotal);

struct ProgressFill {
    bool shown;
    float x;
    float width;
};
// The sweeping segment while installing, else a bar of at least 9 units for
// any fraction above 0, else nothing.
ProgressFill ProgressFillFor(LauncherPhase phase, float fraction, std::uint64_t tickMilliseconds);

// Whole mebibytes, rounded down: "5 / 512 MB".
std::wstring ByteCounterText(std::uint64_t bytesDone, std::uint64_t bytesTotal);
