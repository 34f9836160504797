// The painter: the launcher's one screen, drawn from a screen model on the
// 1000 x 650 canvas, and what it keeps between frames.
#pragma once

#include <windows.h>

#include "ui/screen_model.h"

// WM_PAINT: one frame of a fresh model between BeginPaint and EndPaint,
// which is called whatever happens to the frame.
void PaintWindowMessage(HWND window);

// One complete frame of a fresh model into a device context, covering its
// whole client area; stores canvasMapping. An empty client area (minimised)
// draws nothing and keeps the mapping of the last real frame. The scenery
// (backdrop, background, shade, fixed texts and card) is kept between frames
// for the current client size, pictures and palette.
void PaintWindow(HDC dc, int clientWidth, int clientHeight);
// The same frame with its scenery drawn afresh: the reference the kept
// scenery is proven against, pixel for pixel, and the benchmark's baseline.
void PaintWindowUncached(HDC dc, int clientWidth, int clientHeight);

// True when the last frame shown was drawn whole from this model, on the
// whole client area, with the current pictures: painting again would show
// the same pixels.
bool FrameIsCurrent(const ScreenModel& model);
bool FrameIsCurrent(HWND window);

// The part of a picture that covers the canvas, keeping its aspect and
// cropping the excess equally on both sides; in picture pixels.
CanvasRect CoverFitSource(float imageWidth, float imageHeight);
