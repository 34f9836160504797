// What a screen reader is told, and when: the events for what changed on
// screen, from a fresh screen model compared with the one last announced,
// at each status post and each tick, whether or not a paint follows (a
// minimised window gets none, and announces as an open one does).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/screen_model.h"

// WM_CREATE (takes note only), each status post and each tick, with the
// model of that moment: raises the events for what changed since the last
// announcement, and gives the focus back to the button when the focused
// link went.
void AnnounceScreen(HWND window, const ScreenModel& model);
// EVENT_OBJECT_FOCUS on the focused element, while the window has the focus.
void AnnounceFocus(HWND window);
// WM_DESTROY: the record ends with the one window; the next starts afresh.
void ForgetAnnouncements();

// What a reader was last told about one window.
struct Announced {
    HWND window = nullptr;
    std::wstring status;
    std::wstring value;
    std::wstring label;
    bool busy = false;
    bool linkShown = false;
    bool alert = false;  // the status's live setting is assertive
    ULONGLONG valueEventTick = 0;
};
struct AccessibleEvent {
    DWORD event;
    LONG child;
};
// Two steps among the events that are not events: the status's live setting
// turns assertive before the live-region event of a failure or a stop, as a
// message box would be an alert, and polite again before the next message's.
// (A reader reads the setting when it handles the event, later.)
inline constexpr DWORD kStatusTurnsAssertive = 0xFFFF0001;
inline constexpr DWORD kStatusTurnsPolite = 0xFFFF0002;
// A bar that moves on every chunk would drown the reader: its value changes
// go out at most this often. One held back goes out at the first
// announcement after the spacing, so at the tick's pace within about 600 ms.
inline constexpr ULONGLONG kValueEventSpacingMs = 500;
// The events for `model` at `now`, in the order they are raised; brings
// `last` up to date. The first model of a window is only noted.
std::vector<AccessibleEvent> ChangesToAnnounce(Announced& last, HWND window, const ScreenModel& model,
                                               ULONGLONG now);
