// The window's messages and input: each message becomes calls on the units
// that own what it is about (model, painter, tree, announcer).
#pragma once

#include <windows.h>

#include "ui/screen_model.h"

inline constexpr const wchar_t* kWindowClassName = L"VandroGLADE.Download.Window";

// Posted by a reader's default action, the element's child id in wParam
// (WM_APP+1 is the worker's status post).
inline constexpr UINT WM_READER_PRESS = WM_APP + 2;
// The notification icon's callback, beside the worker's status post
// (WM_APP+1, WM_LAUNCHER_STATUS): the balloon's time-out and click.
inline constexpr UINT WM_NOTIFICATION_ICON = WM_APP + 3;

LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void LaunchInstalledGame(HWND window);

// The top band left of the glyphs moves the window; it has no lower bounds.
bool IsInDragStrip(CanvasPoint point);

enum class ClickAction { None, LaunchGame, Close, Minimise, StartDownload };
// The first matching row of the click table, on the screen as it is now;
// phase counts only for the main button.
ClickAction ChooseClickAction(CanvasPoint point);
