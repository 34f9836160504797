// The drawing kit on small GDI+ bitmaps, and the resources embedded in the
// program (the test exe links the same resource script).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ui_support.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kTurkish = MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT);

std::string ResourceBytes(const wchar_t* type, WORD id, WORD language) {
    HRSRC found = FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), language);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes ? std::string(bytes, SizeofResource(nullptr, found)) : std::string();
}

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// A white ARGB bitmap with a surface on it, for drawing one shape or label.
struct Sheet {
    OwnedBitmap bitmap;
    OwnedGraphics graphics;
    explicit Sheet(int w, int h) {
        GpBitmap* b = nullptr;
        GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &b);
        bitmap.reset(b);
        GpGraphics* g = nullptr;
        GdipGetImageGraphicsContext(b, &g);
        graphics.reset(g);
        GdipSetSmoothingMode(g, SmoothingModeAntiAlias);
        GdipGraphicsClear(g, 0xFFFFFFFF);
    }
    ARGB At(int x, int y) const {
        ARGB c = 0;
        GdipBitmapGetPixel(bitmap.get(), x, y, &c);
        return c;
    }
    bool Inked(int x, int y) const { return (At(x, y) & 0xFFFFFF) != 0xFFFFFF; }
};

struct InkBox {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

InkBox InkOf(const Sheet& sheet, int w, int h) {
    InkBox box;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!sheet.Inked(x, y)) continue;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

}  // namespace

TEST(DrawingResources, PicturesHaveTheirSizeAndChannelLayout) {
    struct Row {
        WORD id;
        std::uint32_t width, height;
        int colourType;  // PNG: 2 = RGB, 6 = RGBA
    };
    for (const Row& row : {Row{kBackgroundResource, 1672, 941, 2}, Row{kLogoResource, 1254, 1254, 6}}) {
        SCOPED_TRACE(row.id);
        const std::string png = ResourceBytes(RT_RCDATA, row.id, kEnglishUs);
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        EXPECT_EQ(png.substr(12, 4), "IHDR");
        EXPECT_EQ(BigEndian32(png, 16), row.width);
        EXPECT_EQ(BigEndian32(png, 20), row.height);
        EXPECT_EQ(png[24], 8);  // bits per channel
        EXPECT_EQ(png[25], row.colourType);
        EXPECT_LT(png.size(), 600u * 1024u);  // kept small in the exe
    }
}

TEST(DrawingResources, EverythingButTheVersionIsEnglishUs) {
    for (WORD id : {kBackgroundResource, kLogoResource, kLicenceResource}) {
        EXPECT_FALSE(ResourceBytes(RT_RCDATA, id, kEnglishUs).empty()) << id;
    }
    EXPECT_FALSE(ResourceBytes(RT_MANIFEST, 1, kEnglishUs).empty());
}

TEST(DrawingResources, LicenceNoticeNamesTheBundledJsonVersion) {
    const std::string notice = ResourceBytes(RT_RCDATA, kLicenceResource, kEnglishUs);
    ASSERT_FALSE(notice.empty());
    EXPECT_NE(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, notice.data(), static_cast<int>(notice.size()),
                                  nullptr, 0),
              0);
    const std::string version = std::to_string(NLOHMANN_JSON_VERSION_MAJOR) + "." +
                                std::to_string(NLOHMANN_JSON_VERSION_MINOR) + "." +
                                std::to_string(NLOHMANN_JSON_VERSION_PATCH);
    const std::size_t firstBreak = notice.find('\n');
    ASSERT_NE(firstBreak, std::string::npos);
    EXPECT_GT(firstBreak, 10u);  // a heading line of our own comes first
    EXPECT_GT(notice.find("JSON for Modern C++"), firstBreak);
    EXPECT_NE(notice.find("JSON for Modern C++ (nlohmann::json), version " + version), std::string::npos);
    EXPECT_NE(notice.find("MIT License"), std::string::npos);
    EXPECT_NE(notice.find("Copyright (c) 2013-2022 Niels Lohmann"), std::string::npos);
    EXPECT_NE(notice.find("THE SOFTWARE IS PROVIDED \"AS IS\""), std::string::npos);
    // All four components' notices, the MinGW-w64 runtime's in full (about 40 KB).
    EXPECT_GT(notice.size(), 30000u);
    EXPECT_LT(notice.size(), 60000u);
}

TEST(DrawingResources, VersionInformationIsTurkishUnicode) {
    const std::string block = ResourceBytes(RT_VERSION, 1, kTurkish);
    ASSERT_FALSE(block.empty());
    EXPECT_TRUE(ResourceBytes(RT_VERSION, 1, kEnglishUs).empty());

    // Looks up "key\0", skips the padding to a 32-bit boundary, reads the value.
    auto stringValue = [&](const std::wstring& key) {
        const std::string needle(reinterpret_cast<const char*>(key.c_str()), (key.size() + 1) * sizeof(wchar_t));
        std::size_t at = block.find(needle);
        if (at == std::string::npos) return std::wstring(L"<missing>");
        at = (at + needle.size() + 3) & ~std::size_t{3};
        const wchar_t* value = reinterpret_cast<const wchar_t*>(block.data() + at);
        return std::wstring(value);
    };
    EXPECT_NE(block.find(std::string(reinterpret_cast<const char*>(L"041F04B0"), 16)), std::string::npos);
    EXPECT_EQ(stringValue(L"CompanyName"), L"Vandro");
    EXPECT_EQ(stringValue(L"FileDescription"), L"VandroGLADE İndir ve Oyna");
    EXPECT_EQ(stringValue(L"FileVersion"), L"1.0.0");
    EXPECT_EQ(stringValue(L"ProductName"), L"VandroGLADE");

    const std::string translationKey(reinterpret_cast<const char*>(L"Translation"), 12 * sizeof(wchar_t));
    std::size_t at = block.find(translationKey);
    ASSERT_NE(at, std::string::npos);
    at = (at + translationKey.size() + 3) & ~std::size_t{3};
    std::uint16_t translation[2] = {};
    std::memcpy(translation, block.data() + at, sizeof(translation));
    EXPECT_EQ(translation[0], 0x041F);
    EXPECT_EQ(translation[1], 1200);

    const std::size_t fixed = block.find(std::string("\xBD\x04\xEF\xFE", 4));
    ASSERT_NE(fixed, std::string::npos);
    VS_FIXEDFILEINFO info{};
    std::memcpy(&info, block.data() + fixed, sizeof(info));
    EXPECT_EQ(info.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(info.dwFileVersionLS, 0u);
    EXPECT_EQ(info.dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(info.dwProductVersionLS, 0u);
}

TEST(DrawingPictures, LoadsIntoIndependentArgbCopies) {
    test::GdiplusSession gdiplus;
    struct Row {
        WORD id;
        UINT width, height;
    };
    for (const Row& row : {Row{kBackgroundResource, 1672, 941}, Row{kLogoResource, 1254, 1254}}) {
        SCOPED_TRACE(row.id);
        const OwnedBitmap picture = LoadPngResource(row.id);
        ASSERT_TRUE(picture);
        UINT w = 0, h = 0;
        GdipGetImageWidth(picture.get(), &w);
        GdipGetImageHeight(picture.get(), &h);
        EXPECT_EQ(w, row.width);
        EXPECT_EQ(h, row.height);
        PixelFormat format = 0;
        GdipGetImagePixelFormat(picture.get(), &format);
        EXPECT_EQ(format, static_cast<PixelFormat>(PixelFormat32bppARGB));
    }
}

TEST(DrawingPictures, BackgroundIsOpaqueAndLogoKeepsItsTransparency) {
    test::GdiplusSession gdiplus;
    const OwnedBitmap background = LoadPngResource(kBackgroundResource);
    const OwnedBitmap logo = LoadPngResource(kLogoResource);
    ASSERT_TRUE(background && logo);
    for (int y = 0; y < 941; y += 94) {
        for (int x = 0; x < 1672; x += 167) {
            ARGB c = 0;
            GdipBitmapGetPixel(background.get(), x, y, &c);
            EXPECT_EQ(c >> 24, 0xFFu) << x << "," << y;
        }
    }
    ARGB corner = 0xFFFFFFFF, middle = 0;
    GdipBitmapGetPixel(logo.get(), 0, 0, &corner);
    GdipBitmapGetPixel(logo.get(), 627, 627, &middle);
    EXPECT_EQ(corner >> 24, 0u);
    EXPECT_EQ(middle >> 24, 0xFFu);
}

TEST(DrawingPictures, MissingOrUndecodableResourceGivesNothing) {
    test::GdiplusSession gdiplus;
    EXPECT_FALSE(LoadPngResource(kLicenceResource));  // text, not a picture
    EXPECT_FALSE(LoadPngResource(104));
}

TEST(DrawingShapes, RoundedRectanglesHaveQuarterCircleCorners) {
    test::GdiplusSession gdiplus;
    struct Probe {
        int x, y;
        bool filled;
    };
    struct Row {
        const char* name;
        float x, y, w, h, radius;
        std::vector<Probe> probes;
    };
    const Row rows[] = {
        // 100 x 40 at (10, 10), radius 20: the short sides are half circles.
        {"pill", 10, 10, 100, 40, 20,
         {{60, 30, true}, {11, 30, true}, {108, 30, true}, {12, 12, false}, {108, 48, false}, {30, 11, true},
          {60, 8, false}, {60, 52, false}, {112, 30, false}}},
        // Radius 10 on 80 x 60: straight edges between the corners.
        {"card", 10, 10, 80, 60, 10,
         {{11, 40, true}, {50, 11, true}, {88, 68, false}, {11, 11, false}, {89, 40, true}, {15, 15, true}}},
        // 2 x radius equal to both sides: a circle.
        {"dot", 20, 20, 9, 9, 4.5f, {{24, 24, true}, {20, 20, false}, {28, 28, false}, {21, 24, true}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Sheet sheet(130, 80);
        FillRoundedRect(sheet.graphics.get(), row.x, row.y, row.w, row.h, row.radius, 0xFFFF0000);
        for (const Probe& p : row.probes) {
            const ARGB c = sheet.At(p.x, p.y);
            if (p.filled) {
                EXPECT_EQ(c, 0xFFFF0000u) << p.x << "," << p.y;
            } else {
                EXPECT_EQ(c, 0xFFFFFFFFu) << p.x << "," << p.y;
            }
        }
    }
}

TEST(DrawingShapes, FillKeepsTheColoursAlpha) {
    test::GdiplusSession gdiplus;
    Sheet sheet(40, 40);
    FillRoundedRect(sheet.graphics.get(), 0, 0, 40, 40, 5, 0x80000000);  // half-transparent black on white
    const ARGB c = sheet.At(20, 20);
    EXPECT_NEAR(static_cast<int>((c >> 16) & 0xFF), 127, 2);
}

TEST(DrawingLabels, CentredVerticallyAndHorizontallyOnRequest) {
    test::GdiplusSession gdiplus;
    for (bool centred : {false, true}) {
        SCOPED_TRACE(centred);
        Sheet sheet(300, 100);
        DrawLabel(sheet.graphics.get(), L"Oyna", 0, 0, 300, 100, 20, 0xFF000000, true, centred);
        const InkBox ink = InkOf(sheet, 300, 100);
        ASSERT_GE(ink.right, 0) << "no text drawn (is the font installed?)";
        EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 50.0, 6.0);
        if (centred) {
            EXPECT_NEAR((ink.left + ink.right) / 2.0, 150.0, 6.0);
        } else {
            EXPECT_LT(ink.left, 8);
        }
    }
}

TEST(DrawingLabels, LongLeftAlignedTextWrapsAsAVerticallyCentredBlock) {
    test::GdiplusSession gdiplus;
    Sheet sheet(120, 200);
    DrawLabel(sheet.graphics.get(), L"İndirme tamamlanamadı. Bağlantını kontrol edip tekrar dene.", 0, 0, 120, 200, 15,
              0xFF000000, false, false);
    const InkBox ink = InkOf(sheet, 120, 200);
    ASSERT_GE(ink.right, 0);
    EXPECT_LT(ink.right, 120);
    EXPECT_GT(ink.bottom - ink.top, 45);  // three lines or more, not one
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 100.0, 10.0);
}

TEST(DrawingLabels, BoldIsHeavierThanRegular) {
    test::GdiplusSession gdiplus;
    int inked[2] = {0, 0};
    for (int bold = 0; bold < 2; ++bold) {
        Sheet sheet(200, 60);
        DrawLabel(sheet.graphics.get(), L"Tekrar Dene", 0, 0, 200, 60, 20, 0xFF000000, bold == 1, false);
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 200; ++x) inked[bold] += (sheet.At(x, y) & 0xFF) < 128 ? 1 : 0;
        }
    }
    EXPECT_GT(inked[1], inked[0] + inked[0] / 10);
}
