// The window as screen readers see it (MSAA): an accessible object for the
// client area, a dialog, with one simple child per element of the
// catalogue, read from a fresh screen model at each call.
#pragma once

#include <windows.h>

#include "ui/screen_elements.h"
#include "ui/screen_model.h"

// The child that holds the keyboard focus in this model.
LONG FocusedChild(const ScreenModel& model);

// WM_GETOBJECT: true when the request is for the client object (compared as
// a 32-bit id, as the system sends it); other ids get the default handling.
bool IsClientObjectRequest(LPARAM objectId);
// Hands the window's accessible object to the asking client, made at the
// first request.
LRESULT ServeAccessibleTree(HWND window, WPARAM wParam);

// WM_CREATE: the status sentence becomes a polite live region.
void PrepareAccessibleTree(HWND window);
// The status's live setting: assertive (an alert) or polite.
void SetStatusLiveSetting(HWND window, bool assertive);
// WM_DESTROY: clients are cut off, so no call waits on a thread that no
// longer pumps messages; objects still held answer CO_E_OBJNOTCONNECTED.
void DisconnectAccessibleTree(HWND window);
