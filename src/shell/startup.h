// Start-up's fixed names and the pieces of it that need no platform state.
#pragma once

#include <windows.h>

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
