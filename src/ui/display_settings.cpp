#include "ui/display_settings.h"

namespace {

constexpr Palette kNormalPalette{
    .contrast = false,
    .backdrop = 0xFF07173A,
    .shade = 0x3E030F2A,
    .logoWord = 0xFFFFDD5A,
    .headline = 0xFFFFFFFF,
    .subline = 0xFFF7F6EC,
    .webAddress = 0xFFE2F2FF,
    .cardShadow = 0x36000920,
    .card = 0xFFFFFCF2,
    .badge = 0xFFDBF4EF,
    .badgeText = 0xFF206568,
    .cardHeading = 0xFF122848,
    .status = 0xFF4B5D70,
    .track = 0xFFDDE7EB,
    .trackOutline = 0,
    .fill = 0xFF20B5CF,
    .counter = 0xFF5B6C7B,
    .buttonNormal = 0xFFFFD14D,
    .buttonHover = 0xFFFFE174,
    .buttonBusy = 0xFFE6E4D5,
    .buttonLabel = 0xFF162C48,
    .buttonHoverLabel = 0xFF162C48,
    .buttonBusyLabel = 0xFF162C48,
    .buttonBorder = 0,
    .buttonBusyBorder = 0,
    .link = 0xFF18788F,
    .smallPrint = 0xFF64737F,
    .glyph = 0xFFFFFFFF,
    // A thin outline in the card heading's colour.
    .focusRing = 0xFF122848,
    .focusRingWidth = 1.5f,
    .focusRingMinimumPixels = 0.0f,
    .outlineWidth = 0.0f,
    .outlineMinimumPixels = 0.0f,
};

// COLORREF is 0x00BBGGRR; the frame's colours are opaque 0xAARRGGBB.
std::uint32_t SystemColour(int index) {
    const COLORREF c = GetSysColor(index);
    return 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

bool SystemFlag(UINT action, bool fallback) {
    BOOL value = fallback ? TRUE : FALSE;
    if (!SystemParametersInfoW(action, 0, &value, 0)) return fallback;
    return value != FALSE;
}

}  // namespace

bool SystemContrastThemeOn() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0)) return false;
    return (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

ContrastThemeQuery contrastThemeQuery = SystemContrastThemeOn;

DisplaySettings ReadDisplaySettings() {
    DisplaySettings settings;
    settings.contrastTheme = contrastThemeQuery();
    settings.keyboardCues = SystemFlag(SPI_GETKEYBOARDCUES, false);
    // A system that cannot say animates, as Windows does by default.
    settings.animations = SystemFlag(SPI_GETCLIENTAREAANIMATION, true);
    return settings;
}

const Palette& NormalPalette() { return kNormalPalette; }

Palette ContrastPalette() {
    const std::uint32_t window = SystemColour(COLOR_WINDOW);
    const std::uint32_t text = SystemColour(COLOR_WINDOWTEXT);
    const std::uint32_t buttonFace = SystemColour(COLOR_BTNFACE);
    const std::uint32_t buttonText = SystemColour(COLOR_BTNTEXT);
    const std::uint32_t highlight = SystemColour(COLOR_HIGHLIGHT);
    const std::uint32_t grayText = SystemColour(COLOR_GRAYTEXT);
    return Palette{
        .contrast = true,
        .backdrop = window,
        .shade = 0,  // none of the four is drawn
        .logoWord = text,
        .headline = text,
        .subline = text,
        .webAddress = text,
        .cardShadow = 0,
        .card = window,
        .badge = 0,
        .badgeText = text,
        .cardHeading = text,
        .status = text,
        .track = window,
        .trackOutline = text,
        .fill = highlight,
        .counter = text,
        .buttonNormal = buttonFace,
        .buttonHover = highlight,
        // Busy is drawn as Windows draws a disabled control: grey text on
        // the window's colour, which is what the theme pairs it with, and no
        // border that would make it look enabled.
        .buttonBusy = window,
        .buttonLabel = buttonText,
        .buttonHoverLabel = SystemColour(COLOR_HIGHLIGHTTEXT),
        .buttonBusyLabel = grayText,
        .buttonBorder = buttonText,
        .buttonBusyBorder = grayText,
        .link = SystemColour(COLOR_HOTLIGHT),
        .smallPrint = text,
        .glyph = text,
        .focusRing = text,
        // Three pixels at least, so that two of them carry the full colour
        // wherever the line falls between pixels.
        .focusRingWidth = 2.0f,
        .focusRingMinimumPixels = 3.0f,
        .outlineWidth = 2.0f,
        .outlineMinimumPixels = 2.0f,
    };
}

Palette PaletteFor(const DisplaySettings& settings) {
    return settings.contrastTheme ? ContrastPalette() : kNormalPalette;
}

DisplaySettings displaySettings;
Palette screenPalette = kNormalPalette;

void RefreshDisplaySettings() {
    displaySettings = ReadDisplaySettings();
    screenPalette = PaletteFor(displaySettings);
}

