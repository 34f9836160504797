// The taskbar button and the player's attention: the attempt's progress on
// the button, the window's icons, and, when an attempt ends while the player
// is elsewhere, a flash of the button and one notification that readers
// speak. Every call to the taskbar object, the flash and the notification
// area is made here.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>

#include "ui/screen_model.h"

// What the taskbar button shows: a progress state and, for the states with a
// bar, its value (done of total).
struct TaskbarState {
    TBPFLAG flag = TBPF_NOPROGRESS;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    bool operator==(const TaskbarState&) const = default;
};
// The button's state for this screen, read from the model as paint and the
// announcer read it. True when it differs from `shown`, which then becomes
// it: the taskbar is called only then.
bool FollowTaskbar(TaskbarState& shown, const ScreenModel& model);

// What the window does to draw the player back.
struct Ending {
    bool flash = false;
    std::wstring notification;  // the text to show; empty for none
    bool operator==(const Ending&) const = default;
};
// An attempt ends when a model is no longer busy after one that was
// (`attemptRunning`, brought up to date). A player who has another window in
// front, or has minimised this one, is elsewhere: the button flashes and
// the notification tells the status sentence now shown.
Ending EndingFor(bool& attemptRunning, const ScreenModel& model, bool foreground, bool minimised);

// WM_CREATE: the window's record starts afresh, and the shell's
// "TaskbarButtonCreated" may reach the window even when it runs elevated.
void StartAttention(HWND window);
// Each status post and tick, with the one model the announcer and the frame
// check see: the taskbar button follows, and an ending draws attention.
void FollowAttempt(HWND window, const ScreenModel& model);
// The shell's message that the button exists (again, after the shell
// restarted); the button is driven from then on.
bool IsTaskbarButtonCreated(UINT message);
void OnTaskbarButtonCreated(HWND window);
// The big and small icons, made from the logo at the window's DPI once the
// first frame is out; true until they have been tried.
bool WindowIconsDue(HWND window);
void SetWindowIcons(HWND window);
// The notification icon's callback (WM_NOTIFICATION_ICON).
void OnNotificationIcon(HWND window, LPARAM lParam);
// The player is back: the notification has done its work.
void OnWindowActivated(HWND window);
// WM_NCDESTROY: the notification icon, the taskbar object and the icons go
// with the window.
void EndAttention(HWND window);
