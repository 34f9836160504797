// The launcher's one screen, composed on a 1000 x 650 canvas.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct CanvasMapping {
    float scale = 1.0f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;
};

extern CanvasMapping canvasMapping;
extern bool mainButtonHover;

// Draws one complete frame and stores canvasMapping.
void PaintWindow(HDC dc, int clientWidth, int clientHeight);
