// The player's display settings that a custom-drawn window must follow on
// its own (a contrast theme, keyboard cues, animations), and the colours the
// screen is drawn in under them.
#pragma once

#include <windows.h>

#include <cstdint>

// Whether a contrast theme is on. The program keeps the system's answer;
// tests put their own query here, since Wine always answers "off".
using ContrastThemeQuery = bool (*)();
bool SystemContrastThemeOn();
extern ContrastThemeQuery contrastThemeQuery;

struct DisplaySettings {
    bool contrastTheme = false;
    bool keyboardCues = false;  // focus cues shown without Tab first
    bool animations = true;     // "Show animations in Windows"
    bool operator==(const DisplaySettings&) const = default;
};
// The settings as the system reports them now.
DisplaySettings ReadDisplaySettings();

// Every colour of a frame, 32-bit ARGB, and the lines that only a contrast
// frame draws. Widths are canvas units, with a floor in device pixels so that
// a small window still shows them.
struct Palette {
    // System colours: no pictures, no shade, no badge fill, no card shadow;
    // the main button and the progress bar are outlined.
    bool contrast;
    std::uint32_t backdrop;  // the whole bitmap, margins included
    std::uint32_t shade;     // over the background picture
    std::uint32_t logoWord;
    std::uint32_t headline;
    std::uint32_t subline;
    std::uint32_t webAddress;
    std::uint32_t cardShadow;
    std::uint32_t card;
    std::uint32_t badge;
    std::uint32_t badgeText;
    std::uint32_t cardHeading;
    std::uint32_t status;
    std::uint32_t track;
    std::uint32_t trackOutline;  // contrast only
    std::uint32_t fill;
    std::uint32_t counter;
    std::uint32_t buttonNormal;
    std::uint32_t buttonHover;
    std::uint32_t buttonBusy;
    std::uint32_t buttonLabel;
    std::uint32_t buttonHoverLabel;
    std::uint32_t buttonBusyLabel;
    std::uint32_t buttonBorder;  // contrast only
    std::uint32_t buttonBusyBorder;  // contrast only
    std::uint32_t link;
    std::uint32_t smallPrint;
    std::uint32_t glyph;  // minimise and close
    std::uint32_t focusRing;
    float focusRingWidth;
    float focusRingMinimumPixels;
    float outlineWidth;  // the button's border and the bar's outline
    float outlineMinimumPixels;
    bool operator==(const Palette&) const = default;
};
// The launcher's own colours.
const Palette& NormalPalette();
// The system's colour pairs, read now.
Palette ContrastPalette();
Palette PaletteFor(const DisplaySettings& settings);

// What the window follows now. Start-up and each settings, colour or theme
// change read them again; until then they are the defaults and the
// launcher's own colours. Window thread only.
extern DisplaySettings displaySettings;
extern Palette screenPalette;
void RefreshDisplaySettings();
