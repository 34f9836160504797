// The window's messages and input.
#pragma once

#include <windows.h>

inline constexpr const wchar_t* kWindowClassName = L"VandroGLADE.Download.Window";
inline constexpr const wchar_t* kWindowTitle = L"VandroGLADE \u2014 İndir ve Oyna";

LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void LaunchInstalledGame(HWND window);
