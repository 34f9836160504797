// The window's messages and input.
#pragma once

#include <windows.h>

#include "ui/screen.h"

inline constexpr const wchar_t* kWindowClassName = L"VandroGLADE.Download.Window";
inline constexpr const wchar_t* kWindowTitle = L"VandroGLADE \u2014 İndir ve Oyna";

LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void LaunchInstalledGame(HWND window);

// Enter and Space press the focused element here: the main button, or the
// link once Tab has moved the focus to it.
inline constexpr CanvasPoint kKeyboardPressPoint{780, 432};
inline constexpr CanvasPoint kLinkPressPoint{788, 477};

// The pointer lParam of a canvas point, through the last paint's mapping.
LPARAM ClientPointParam(CanvasPoint point);

// The top band left of the glyphs moves the window; it has no lower bounds.
bool IsInDragStrip(CanvasPoint point);

enum class ClickAction { None, LaunchGame, Close, Minimise, StartDownload };
// The first matching row of the click table, reading busy before
// installLocation and phase only for the main button.
ClickAction ChooseClickAction(CanvasPoint point);
