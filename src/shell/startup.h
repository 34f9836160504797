// Start-up's fixed names and the pieces of it that need no platform state.
#pragma once

#include <windows.h>
#include <gdiplus.h>

inline constexpr const wchar_t* kInstanceMutexName = L"Local\\VandroGLADE.Download";
inline constexpr const wchar_t* kStartupFailedMessage = L"VandroGLADE başlatılamadı.";

struct WindowPlacement {
    int x;
    int y;
    int width;
    int height;
};

// At most 1000 x 650 physical pixels, at most the work area less 40 in each
// direction, centred in the work area (integer halves truncated toward zero).
WindowPlacement ComputeWindowPlacement(const RECT& workArea);

// GDI+ for as long as the object lives (version 1, nothing suppressed).
struct GdiplusSession {
    ULONG_PTR token = 0;
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
};

// The two pictures in their slots for as long as the object lives; declare
// it after the GdiplusSession, since every bitmap must be gone before GDI+
// shuts down.
struct LoadedPictures {
    LoadedPictures();
    ~LoadedPictures();
    LoadedPictures(const LoadedPictures&) = delete;
    LoadedPictures& operator=(const LoadedPictures&) = delete;
};
