// The window as screen readers see it (MSAA): an accessible object for the
// client area with one simple child per element, and the events that tell
// a reader what changed on screen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/screen.h"

// Child ids, in reading order from the top. The link, present only while it
// is shown, comes last, so every other element keeps its id.
enum AccessibleChild : LONG {
    kMinimiseChild = 1,
    kCloseChild = 2,
    kHeadingChild = 3,
    kStatusChild = 4,
    kProgressChild = 5,
    kMainButtonChild = 6,
    kLinkChild = 7,
};

// WM_GETOBJECT: true when the request is for the client object (compared as
// a 32-bit id, as the system sends it); other ids get the default handling.
bool IsClientObjectRequest(LPARAM objectId);
// Hands a fresh accessible object for the window to the asking client.
LRESULT ServeAccessibleTree(HWND window, WPARAM wParam);

// WM_CREATE: the status sentence becomes a polite live region.
void PrepareAccessibleTree(HWND window);
// WM_DESTROY: clients are cut off, so no call waits on a thread that no
// longer pumps messages; objects still held answer CO_E_OBJNOTCONNECTED.
void DisconnectAccessibleTree(HWND window);

// At each repaint, with the content that frame shows: raises the events for
// what changed since the last announcement (the first repaint of a window
// only takes note).
void AnnounceChanges(HWND window, const ScreenContent& content);

// What a reader was last told about one window.
struct Announced {
    HWND window = nullptr;
    std::wstring status;
    std::wstring counter;
    std::wstring label;
    bool busy = false;
    ULONGLONG valueEventTick = 0;
};
struct AccessibleEvent {
    DWORD event;
    LONG child;
};
// A counter that moves on every chunk would drown the reader: its changes
// go out at most this often, the last one held back until a later repaint.
inline constexpr ULONGLONG kValueEventSpacingMs = 500;
// The events AnnounceChanges raises for `content` at `now`; brings `last` up to date.
std::vector<AccessibleEvent> ChangesToAnnounce(Announced& last, HWND window, const ScreenContent& content,
                                               ULONGLONG now);
// EVENT_OBJECT_FOCUS on the focused element, while the window has the focus.
void AnnounceFocus(HWND window, const ScreenContent& content);
