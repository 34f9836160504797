// What the window shows and tells, as one record: built from the launcher's
// state and the window's own, by one function, so that the painter, the
// accessible tree and the announcer all see the same screen. Also the
// canvas the screen is laid out on, and where its elements lie.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "shell/launcher_state.h"
#include "ui/display_settings.h"

inline constexpr const wchar_t* kWindowTitle = L"VandroGLADE \u2014 İndir ve Oyna";

struct CanvasMapping {
    float scale = 1.0f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;
};

// Written by each paint of a real frame, read by input and the tree.
extern CanvasMapping canvasMapping;

// The window's own state; window thread only, written by the window procedure.
extern bool mainButtonHover;
// The two elements the keyboard reaches with Tab. The link holds the focus
// only while it is shown (see ScreenModel::focused).
enum class KeyboardFocus { MainButton, Link };
extern KeyboardFocus keyboardFocus;
// What the focus ring follows, as standard controls draw their focus cue:
// it shows while the window has the keyboard focus and either the UI state
// the system keeps for the window does not hide focus cues (WM_QUERYUISTATE),
// or Windows shows keyboard cues (displaySettings); mouse users see no ring.
// The window sets that state as a dialog does: from the last input when it
// opens, and shown from the first Tab.
struct FocusCues {
    HWND window = nullptr;       // whose UI state is asked; none: cues hidden
    bool windowFocused = false;  // from WM_SETFOCUS to WM_KILLFOCUS
};
extern FocusCues focusCues;

struct ProgressFill {
    bool shown;
    float x;
    float width;
    bool operator==(const ProgressFill&) const = default;
};

// Everything one frame shows and a reader is told, and nothing else.
struct ScreenModel {
    // The content, from the launcher's state.
    LauncherPhase phase;
    std::wstring statusMessage;
    bool busy;
    const wchar_t* buttonLabel;
    ProgressFill fill;          // by the fraction, or the sweep while installing
    std::wstring counterText;   // "6 / 16 MB"; empty while no counter is drawn
    std::wstring progressValue; // "%37"; empty while no counter is drawn
    std::uint64_t bytesDone;    // the counters as read: the taskbar button's value
    std::uint64_t bytesTotal;
    bool linkShown;
    bool gameInstalled;  // an install folder is known; read only while not busy
    // The interaction, from the window's own state.
    bool hover;
    KeyboardFocus focused;
    bool ringShown;
    // The player's display settings.
    Palette palette;
    // The client area, in pixels.
    int clientWidth;
    int clientHeight;
    bool operator==(const ScreenModel&) const = default;
};

// The one way to a model: the launcher's state as one paint reads it, the
// window's own state, the display settings, the clock (only while the
// installing bar sweeps) and the client size.
ScreenModel BuildScreenModel(int clientWidth, int clientHeight);
ScreenModel BuildScreenModel(HWND window);

// Tab and Shift+Tab: the focus goes to the next element Tab reaches that is
// shown, round to the first (with the button and the link, to the other
// one).
void MoveKeyboardFocus();
// The focused link is gone from this model: the focus goes back to the
// button, and stays there when the link returns. True when it moved.
bool SettleKeyboardFocus(const ScreenModel& model);

// Fixed texts of the card.
inline constexpr const wchar_t* kCardHeadingText = L"Parkın\nseni bekliyor.";
inline constexpr const wchar_t* kOpenGameLinkText = L"Kurulu oyunu aç";

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

// Where the elements lie (see ScreenElements).
inline constexpr CanvasRect kMinimiseGlyphRect{881, 12, 42, 35};
inline constexpr CanvasRect kCloseGlyphRect{936, 12, 42, 35};
inline constexpr CanvasRect kMainButtonRect{656, 404, 264, 59};
inline constexpr CanvasRect kOpenGameLinkRect{656, 466, 264, 23};
inline constexpr CanvasRect kProgressTrackRect{656, 349, 264, 9};
inline constexpr CanvasRect kCardHeadingRect{656, 160, 266, 96};
inline constexpr CanvasRect kStatusRect{656, 267, 266, 64};
inline constexpr CanvasRect kByteCounterRect{656, 363, 264, 24};

// Enter and Space press the focused element here: the main button, or the
// link once Tab has moved the focus to it.
inline constexpr CanvasPoint kKeyboardPressPoint{780, 432};
inline constexpr CanvasPoint kLinkPressPoint{788, 477};
CanvasPoint FocusedPressPoint();

// The canvas scaled uniformly into the client area and centred.
CanvasMapping ComputeCanvasMapping(int clientWidth, int clientHeight);
// Client pixels to canvas units; a mapping without a usable scale counts as
// scale 1, so input never divides by zero.
CanvasPoint ClientToCanvas(const CanvasMapping& mapping, float clientX, float clientY);
// Canvas units to client pixels, truncated toward zero.
POINT CanvasToClient(const CanvasMapping& mapping, CanvasPoint point);
// The pointer lParam of a canvas point, through the last paint's mapping.
LPARAM ClientPointParam(CanvasPoint point);

const wchar_t* MainButtonLabel(bool busy, LauncherPhase phase);

// bytesDone / bytesTotal in double, narrowed to float, capped at 1; 0 without a total.
float ProgressFraction(std::uint64_t bytesDone, std::uint64_t bytesTotal);
// The sweeping segment while installing (a still, full bar when the player
// has turned animations off), else a bar of at least 9 units for any
// fraction above 0, else nothing.
ProgressFill ProgressFillFor(LauncherPhase phase, float fraction, std::uint64_t tickMilliseconds,
                             bool animations = true);

// Whole mebibytes, rounded down: "5 / 512 MB".
std::wstring ByteCounterText(std::uint64_t bytesDone, std::uint64_t bytesTotal);
// The whole percentage, rounded down, written the Turkish way: "%37";
// "%100" only once every byte is in; empty without a total.
std::wstring ProgressPercentText(std::uint64_t bytesDone, std::uint64_t bytesTotal);
