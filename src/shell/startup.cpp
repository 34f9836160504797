#include "shell/startup.h"

#include "ui/drawing.h"

#include <algorithm>

namespace {

constexpr int kMaxWindowWidth = 1000;
constexpr int kMaxWindowHeight = 650;
constexpr int kWorkAreaMargin = 40;

}  // namespace

WindowPlacement ComputeWindowPlacement(const RECT& workArea) {
    WindowPlacement placement{};
    placement.width = std::min<int>(kMaxWindowWidth, workArea.right - workArea.left - kWorkAreaMargin);
    placement.height = std::min<int>(kMaxWindowHeight, workArea.bottom - workArea.top - kWorkAreaMargin);
    placement.x = (workArea.left + workArea.right - placement.width) / 2;
    placement.y = (workArea.top + workArea.bottom - placement.height) / 2;
    return placement;
}

GdiplusSession::GdiplusSession() {
    const Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, /*output*/ nullptr);
}

GdiplusSession::~GdiplusSession() {
    if (token) Gdiplus::GdiplusShutdown(token);
}

LoadedPictures::LoadedPictures() {
    backgroundImage = LoadPngResource(kBackgroundResource);
    logoImage = LoadPngResource(kLogoResource);
}

LoadedPictures::~LoadedPictures() {
    logoImage.reset();
    backgroundImage.reset();
}
