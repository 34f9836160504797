// Helpers for the window tests: a GDI+ session, frames painted off screen
// into a memory device context, and a clean screen state.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <cstdlib>

#include "shell/installed_game.h"
#include "shell/startup.h"
#include "test_support.h"
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
        backgroundImage.reset();
        logoImage.reset();
    }
    CleanScreenState(const CleanScreenState&) = delete;
    CleanScreenState& operator=(const CleanScreenState&) = delete;
};

inline void SetPhase(LauncherPhase phase, const std::wstring& message = L"") {
    std::lock_guard<std::mutex> lock(launcherState.mutex);
    launcherState.phase = phase;
    launcherState.statusMessage = message;
}

}  // namespace test
