// PaintWindow cost per frame into a memory DC, at the canvas size and at
// twice it, with the launcher's own pictures, in the idle state the window
// shows most of the time.
//   paint_bench [FRAMES]
// Prints "paint_ms_<W>x<H>=<mean ms per frame>" (PaintWindow with nothing
// changed: the idle window's repaint, the last frame shown again),
// "paint_composed_ms_<W>x<H>=" (a frame composed on the kept scenery: one
// input changes every frame) and "paint_uncached_ms_<W>x<H>=" (scenery drawn
// afresh).
#include <windows.h>
#include <gdiplus.h>

#include <chrono>
#include <cstdio>
#include <cwchar>

#include "ui/drawing.h"
#include "shell/startup.h"
#include "ui/painter.h"

namespace {

using Clock = std::chrono::steady_clock;

// A 32-bit top-down bitmap selected into a memory DC, as a window's client
// area would be.
struct MemorySurface {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    MemorySurface(int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, /*section*/ nullptr, 0);
        previous = SelectObject(dc, bitmap);
    }
    ~MemorySurface() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    MemorySurface(const MemorySurface&) = delete;
    MemorySurface& operator=(const MemorySurface&) = delete;
};

using Paint = void (*)(HDC, int, int);

double MillisecondsPerFrame(Paint paint, int width, int height, int frames) {
    const MemorySurface surface(width, height);
    for (int i = 0; i < 3; ++i) paint(surface.dc, width, height);  // warm-up: fonts, kept scenery
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < frames; ++i) paint(surface.dc, width, height);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / frames;
}

// The hover state flips every frame, so no frame can be shown again.
void PaintWindowComposing(HDC dc, int width, int height) {
    mainButtonHover = !mainButtonHover;
    PaintWindow(dc, width, height);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int frames = argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : 30;
    const GdiplusSession gdiplus;
    const LoadedPictures pictures;
    if (!backgroundImage || !logoImage) {
        std::printf("error=the pictures did not load\n");
        return 1;
    }
    for (const SIZE size : {SIZE{1000, 650}, SIZE{2000, 1300}}) {
        std::printf("paint_ms_%ldx%ld=%.2f\n", size.cx, size.cy,
                    MillisecondsPerFrame(PaintWindow, size.cx, size.cy, frames));
        std::printf("paint_composed_ms_%ldx%ld=%.2f\n", size.cx, size.cy,
                    MillisecondsPerFrame(PaintWindowComposing, size.cx, size.cy, frames));
        std::printf("paint_uncached_ms_%ldx%ld=%.2f\n", size.cx, size.cy,
                    MillisecondsPerFrame(PaintWindowUncached, size.cx, size.cy, frames));
    }
    return 0;
}
