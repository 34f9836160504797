// Drawing tools on the GDI+ flat API and the two embedded pictures.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <memory>
#include <string>
#include <type_traits>

using GpGraphics = Gdiplus::GpGraphics;
using GpBitmap = Gdiplus::GpBitmap;
using GpBrush = Gdiplus::GpBrush;
using ARGB = Gdiplus::ARGB;

struct BitmapDeleter {
    void operator()(GpBitmap* bitmap) const;
};
using OwnedBitmap = std::unique_ptr<GpBitmap, BitmapDeleter>;

// Owners for the surfaces and brushes the screen composes with.
struct GraphicsDeleter {
    void operator()(GpGraphics* graphics) const;
};
using OwnedGraphics = std::unique_ptr<GpGraphics, GraphicsDeleter>;
struct BrushDeleter {
    void operator()(GpBrush* brush) const;
};
using OwnedBrush = std::unique_ptr<GpBrush, BrushDeleter>;

// A one-colour brush, alpha included; empty when GDI+ refuses.
OwnedBrush MakeSolidBrush(ARGB colour);

// Released before GDI+ shuts down.
extern OwnedBitmap backgroundImage;
extern OwnedBitmap logoImage;

inline constexpr WORD kBackgroundResource = 101;
inline constexpr WORD kLogoResource = 102;
inline constexpr WORD kLicenceResource = 103;

// The launcher's one typeface.
inline constexpr const wchar_t* kFontFamilyName = L"Segoe UI";

// Each tool is true when it drew: a caller that keeps what it drew keeps
// only what is all there.
bool FillRoundedRect(GpGraphics* graphics, float x, float y, float w, float h, float radius, ARGB colour);
// The same shape as FillRoundedRect, outlined with a line of the given width
// centred on it.
bool OutlineRoundedRect(GpGraphics* graphics, float x, float y, float w, float h, float radius, float lineWidth,
                        ARGB colour);
bool DrawLabel(GpGraphics* graphics, const std::wstring& text, float x, float y, float w, float h, float size,
               ARGB colour, bool bold, bool centred);
OwnedBitmap LoadPngResource(WORD id);

struct IconDeleter {
    void operator()(HICON icon) const;
};
using OwnedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
// The picture scaled onto a square of `size` pixels, as an icon; empty
// without a picture or when GDI+ refuses.
OwnedIcon MakePictureIcon(GpBitmap* picture, int size);
