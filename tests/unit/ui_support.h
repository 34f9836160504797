// Helpers for the window tests: a GDI+ session, frames painted off screen
// into a memory device context, and a clean screen state.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "shell/installed_game.h"
#include "shell/startup.h"
#include "test_support.h"
#include "ui/display_settings.h"
#include "ui/drawing.h"
#include "ui/painter.h"
#include "ui/screen_model.h"

namespace test {

// GDI+ for one test; pictures a test loaded go before GDI+ does.
struct GdiplusSession {
    ::GdiplusSession session;
    ~GdiplusSession() {
        backgroundImage.reset();
        logoImage.reset();
    }
};

// 0xRRGGBB of a pixel; alpha is left out (the window has none).
using Rgb = std::uint32_t;

inline Rgb RgbOf(std::uint32_t argb) { return argb & 0xFFFFFF; }

inline bool Near(Rgb a, Rgb b, int tolerance = 3) {
    for (int shift = 0; shift <= 16; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance) return false;
    }
    return true;
}

// A top-down 32 bpp DIB section selected into a memory DC: what a paint
// leaves in the window's device context, readable pixel by pixel.
struct MemoryCanvas {
    int width, height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint32_t* bits = nullptr;

    MemoryCanvas(int w, int h, std::uint32_t fill = 0xFF00FF) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        void* pixels = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        bits = static_cast<std::uint32_t*>(pixels);
        previous = SelectObject(dc, bitmap);
        for (int i = 0; bits && i < w * h; ++i) bits[i] = fill;
    }
    ~MemoryCanvas() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    void Paint() {
        PaintWindow(dc, width, height);
        GdiFlush();
    }
    Rgb At(int x, int y) const { return bits[y * width + x] & 0xFFFFFF; }
    // At a canvas point, through the mapping of the last paint.
    Rgb AtCanvas(float x, float y) const {
        const POINT p = CanvasToClient(canvasMapping, {x, y});
        return At(p.x, p.y);
    }
    // How many pixels of a canvas rectangle differ from the colour.
    int CountUnlike(const CanvasRect& r, Rgb colour, int tolerance = 24) const {
        int count = 0;
        for (int y = static_cast<int>(r.y); y < static_cast<int>(r.y + r.height); ++y) {
            for (int x = static_cast<int>(r.x); x < static_cast<int>(r.x + r.width); ++x) {
                if (!Near(AtCanvas(static_cast<float>(x), static_cast<float>(y)), colour, tolerance)) ++count;
            }
        }
        return count;
    }
    int CountLike(const CanvasRect& r, Rgb colour, int tolerance) const {
        return static_cast<int>(r.width) * static_cast<int>(r.height) - CountUnlike(r, colour, tolerance);
    }
};

// Launcher state back to its start values, no game installed, no pictures,
// identity mapping, no hover.
struct CleanScreenState {
    CleanLauncherState launcher;
    CleanScreenState() { Reset(); }
    ~CleanScreenState() { Reset(); }
    static void Reset() {
        installedGame = InstalledGame{};
        canvasMapping = CanvasMapping{};
        mainButtonHover = false;
        keyboardFocus = KeyboardFocus::MainButton;
        focusCues = FocusCues{};
        contrastThemeQuery = SystemContrastThemeOn;
        displaySettings = DisplaySettings{};
        screenPalette = NormalPalette();
        backgroundImage.reset();
        logoImage.reset();
    }
    CleanScreenState(const CleanScreenState&) = delete;
    CleanScreenState& operator=(const CleanScreenState&) = delete;
};

// A contrast theme for one test: the query answers "on" (Wine's never
// does), and the theme's colours are set to values no normal frame uses.
// The system's colours come back afterwards; they hold for every program
// of the prefix.
struct InjectedContrastTheme {
    static constexpr int kRoles[] = {COLOR_WINDOW,    COLOR_WINDOWTEXT,    COLOR_BTNFACE,  COLOR_BTNTEXT,
                                     COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_GRAYTEXT, COLOR_HOTLIGHT};
    static constexpr int kRoleCount = static_cast<int>(std::size(kRoles));
    COLORREF saved[kRoleCount];
    ContrastThemeQuery savedQuery = contrastThemeQuery;

    explicit InjectedContrastTheme(const COLORREF (&colours)[kRoleCount]) {
        for (int i = 0; i < kRoleCount; ++i) saved[i] = GetSysColor(kRoles[i]);
        SetSysColors(kRoleCount, kRoles, colours);
        contrastThemeQuery = [] { return true; };
        RefreshDisplaySettings();
    }
    ~InjectedContrastTheme() {
        SetSysColors(kRoleCount, kRoles, saved);
        contrastThemeQuery = savedQuery;
        RefreshDisplaySettings();
    }
    InjectedContrastTheme(const InjectedContrastTheme&) = delete;
    InjectedContrastTheme& operator=(const InjectedContrastTheme&) = delete;
};

// The system's keyboard cues and animations set for one test, and set back
// afterwards; they hold for every program of the prefix while its server runs.
struct SystemUiSettings {
    BOOL savedCues = FALSE;
    BOOL savedAnimations = TRUE;
    SystemUiSettings() {
        SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &savedCues, 0);
        SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &savedAnimations, 0);
    }
    ~SystemUiSettings() {
        SetKeyboardCues(savedCues != FALSE);
        SetAnimations(savedAnimations != FALSE);
    }
    static void SetKeyboardCues(bool on) {
        SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(on)), 0);
    }
    static void SetAnimations(bool on) {
        SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(on)), 0);
    }
    SystemUiSettings(const SystemUiSettings&) = delete;
    SystemUiSettings& operator=(const SystemUiSettings&) = delete;
};

// Writes the canvas as BUILD/artifacts/FOLDER/NAME.png, for a person to look
// at; false when it could not.
inline bool SaveArtifactPng(const MemoryCanvas& canvas, const std::wstring& folder, const std::wstring& name) {
    const std::wstring build = Env(L"VANDRO_TEST_BUILD");
    if (build.empty()) return false;
    const std::filesystem::path dir = std::filesystem::path(build) / L"artifacts" / folder;
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(canvas.width, canvas.height, canvas.width * 4,
                                                       PixelFormat32bppRGB, reinterpret_cast<BYTE*>(canvas.bits),
                                                       &bitmap) != Gdiplus::Ok) {
        return false;
    }
    const OwnedBitmap owned(bitmap);
    const CLSID png{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    const std::wstring path = (dir / (name + L".png")).wstring();
    return Gdiplus::DllExports::GdipSaveImageToFile(bitmap, path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

inline void SetPhase(LauncherPhase phase, const std::wstring& message = L"") {
    std::lock_guard<std::mutex> lock(launcherState.mutex);
    launcherState.phase = phase;
    launcherState.statusMessage = message;
}

}  // namespace test
