// Drawing tools on the GDI+ flat API and the two embedded pictures.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <memory>
#include <string>

using GpGraphics = Gdiplus::GpGraphics;
using GpBitmap = Gdiplus::GpBitmap;

struct BitmapDeleter {
    void operator()(GpBitmap* bitmap) const;
};
using OwnedBitmap = std::unique_ptr<GpBitmap, BitmapDeleter>;

// Released before GDI+ shuts down.
extern OwnedBitmap backgroundImage;
extern OwnedBitmap logoImage;

inline constexpr WORD kBackgroundResource = 101;
inline constexpr WORD kLogoResource = 102;
inline constexpr WORD kLicenceResource = 103;

void FillRoundedRect(GpGraphics* graphics, float x, float y, float w, float h, float radius, ARGB colour);
void DrawLabel(GpGraphics* graphics, const std::wstring& text, float x, float y, float w, float h, float size,
               ARGB colour, bool bold, bool centred);
OwnedBitmap LoadPngResource(WORD id);
