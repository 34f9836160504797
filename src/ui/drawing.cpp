#include "ui/drawing.h"

#include <objidl.h>

#include <cstring>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

OwnedBitmap backgroundImage;
OwnedBitmap logoImage;

void BitmapDeleter::operator()(GpBitmap* bitmap) const { GdipDisposeImage(bitmap); }
void GraphicsDeleter::operator()(GpGraphics* graphics) const { GdipDeleteGraphics(graphics); }
void BrushDeleter::operator()(GpBrush* brush) const { GdipDeleteBrush(brush); }

namespace {

struct PathDeleter {
    void operator()(GpPath* path) const { GdipDeletePath(path); }
};
struct FontFamilyDeleter {
    void operator()(GpFontFamily* family) const { GdipDeleteFontFamily(family); }
};
struct FontDeleter {
    void operator()(GpFont* font) const { GdipDeleteFont(font); }
};
struct StringFormatDeleter {
    void operator()(GpStringFormat* format) const { GdipDeleteStringFormat(format); }
};

// A movable block that is freed unless a stream has taken it over.
struct GlobalBlock {
    HGLOBAL block;
    ~GlobalBlock() {
        if (block) GlobalFree(block);
    }
};

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};

// The resource's bytes copied into a stream that owns its memory block.
std::unique_ptr<IStream, StreamRelease> ResourceStream(WORD id) {
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!resource) return nullptr;
    const DWORD size = SizeofResource(nullptr, resource);
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return nullptr;

    GlobalBlock memory{GlobalAlloc(GMEM_MOVEABLE, size)};
    if (!memory.block) return nullptr;
    void* target = GlobalLock(memory.block);
    if (!target) return nullptr;
    std::memcpy(target, bytes, size);
    GlobalUnlock(memory.block);

    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory.block, /*fDeleteOnRelease*/ TRUE, &stream)) || !stream) return nullptr;
    memory.block = nullptr;  // the stream frees it now
    return std::unique_ptr<IStream, StreamRelease>(stream);
}

}  // namespace

OwnedBrush MakeSolidBrush(ARGB colour) {
    GpSolidFill* brush = nullptr;
    if (GdipCreateSolidFill(colour, &brush) != Ok) return nullptr;
    return OwnedBrush(brush);
}

namespace {

struct PenDeleter {
    void operator()(GpPen* pen) const { GdipDeletePen(pen); }
};

// A closed figure of four quarter-circle corners; empty when GDI+ refuses.
std::unique_ptr<GpPath, PathDeleter> RoundedRectPath(float x, float y, float w, float h, float radius) {
    GpPath* rawPath = nullptr;
    if (GdipCreatePath(FillModeAlternate, &rawPath) != Ok) return nullptr;
    std::unique_ptr<GpPath, PathDeleter> path(rawPath);
    const float d = 2.0f * radius;
    if (GdipAddPathArc(rawPath, x, y, d, d, 180.0f, 90.0f) != Ok ||
        GdipAddPathArc(rawPath, x + w - d, y, d, d, 270.0f, 90.0f) != Ok ||
        GdipAddPathArc(rawPath, x + w - d, y + h - d, d, d, 0.0f, 90.0f) != Ok ||
        GdipAddPathArc(rawPath, x, y + h - d, d, d, 90.0f, 90.0f) != Ok || GdipClosePathFigure(rawPath) != Ok) {
        return nullptr;
    }
    return path;
}

}  // namespace

bool FillRoundedRect(GpGraphics* graphics, float x, float y, float w, float h, float radius, ARGB colour) {
    const auto path = RoundedRectPath(x, y, w, h, radius);
    if (!path) return false;
    const OwnedBrush brush = MakeSolidBrush(colour);
    return brush && GdipFillPath(graphics, brush.get(), path.get()) == Ok;
}

bool OutlineRoundedRect(GpGraphics* graphics, float x, float y, float w, float h, float radius, float lineWidth,
                        ARGB colour) {
    const auto path = RoundedRectPath(x, y, w, h, radius);
    if (!path) return false;
    GpPen* rawPen = nullptr;
    if (GdipCreatePen1(colour, lineWidth, UnitWorld, &rawPen) != Ok) return false;
    const std::unique_ptr<GpPen, PenDeleter> pen(rawPen);
    return GdipDrawPath(graphics, rawPen, path.get()) == Ok;
}

bool DrawLabel(GpGraphics* graphics, const std::wstring& text, float x, float y, float w, float h, float size,
               ARGB colour, bool bold, bool centred) {
    GpFontFamily* rawFamily = nullptr;
    if (GdipCreateFontFamilyFromName(kFontFamilyName, nullptr, &rawFamily) != Ok) return false;
    std::unique_ptr<GpFontFamily, FontFamilyDeleter> family(rawFamily);
    GpFont* rawFont = nullptr;
    if (GdipCreateFont(rawFamily, size, bold ? FontStyleBold : FontStyleRegular, UnitPixel, &rawFont) != Ok) {
        return false;
    }
    std::unique_ptr<GpFont, FontDeleter> font(rawFont);
    const OwnedBrush brush = MakeSolidBrush(colour);
    if (!brush) return false;
    GpStringFormat* rawFormat = nullptr;
    if (GdipCreateStringFormat(/*flags*/ 0, LANG_NEUTRAL, &rawFormat) != Ok) return false;
    std::unique_ptr<GpStringFormat, StringFormatDeleter> format(rawFormat);
    GdipSetStringFormatLineAlign(rawFormat, StringAlignmentCenter);
    if (centred) GdipSetStringFormatAlign(rawFormat, StringAlignmentCenter);

    const RectF layout(x, y, w, h);
    return GdipDrawString(graphics, text.c_str(), /*length: up to the null*/ -1, rawFont, &layout, rawFormat,
                          brush.get()) == Ok;
}

OwnedBitmap LoadPngResource(WORD id) {
    const auto stream = ResourceStream(id);
    if (!stream) return nullptr;
    GpBitmap* rawDecoded = nullptr;
    if (GdipCreateBitmapFromStream(stream.get(), &rawDecoded) != Ok) return nullptr;
    const OwnedBitmap decoded(rawDecoded);  // released before the stream

    UINT width = 0, height = 0;
    if (GdipGetImageWidth(rawDecoded, &width) != Ok || GdipGetImageHeight(rawDecoded, &height) != Ok) return nullptr;
    GpBitmap* copy = nullptr;
    if (GdipCloneBitmapAreaI(0, 0, static_cast<INT>(width), static_cast<INT>(height), PixelFormat32bppARGB, rawDecoded,
                             &copy) != Ok) {
        return nullptr;
    }
    return OwnedBitmap(copy);
}

void IconDeleter::operator()(HICON icon) const { DestroyIcon(icon); }

OwnedIcon MakePictureIcon(GpBitmap* picture, int size) {
    if (!picture || size <= 0) return nullptr;
    GpBitmap* rawSquare = nullptr;
    if (GdipCreateBitmapFromScan0(size, size, /*stride*/ 0, PixelFormat32bppARGB, nullptr, &rawSquare) != Ok) {
        return nullptr;
    }
    const OwnedBitmap square(rawSquare);
    GpGraphics* rawGraphics = nullptr;
    if (GdipGetImageGraphicsContext(rawSquare, &rawGraphics) != Ok) return nullptr;
    OwnedGraphics graphics(rawGraphics);
    GdipSetInterpolationMode(rawGraphics, InterpolationModeHighQualityBicubic);
    GdipSetPixelOffsetMode(rawGraphics, PixelOffsetModeHighQuality);
    if (GdipDrawImageRectI(rawGraphics, picture, 0, 0, size, size) != Ok) return nullptr;
    graphics.reset();  // every pixel is in before the icon copies them
    HICON icon = nullptr;
    if (GdipCreateHICONFromBitmap(rawSquare, &icon) != Ok) return nullptr;
    return OwnedIcon(icon);
}
