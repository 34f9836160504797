#include "ui/attention.h"

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>

#include "pipeline/package_download.h"
#include "pipeline/setup_run.h"
#include "ui/drawing.h"
#include "ui/window_proc.h"

namespace {

constexpr UINT kNotificationIconId = 1;
constexpr const wchar_t* kNotificationTitle = L"VandroGLADE";

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};

// One window's taskbar button, icons and notification.
struct Attention {
    HWND window = nullptr;
    std::unique_ptr<ITaskbarList3, ComRelease> taskbar;  // from "TaskbarButtonCreated" on
    TaskbarState shown;
    bool attemptRunning = false;
    bool iconsTried = false;
    OwnedIcon bigIcon;
    OwnedIcon smallIcon;
    bool notificationShown = false;
};

Attention attention;

TaskbarState TaskbarStateFor(const ScreenModel& model) {
    const bool counterShown = !model.counterText.empty();
    if (model.busy) {
        if (model.phase == Downloading && counterShown) return {TBPF_NORMAL, model.bytesDone, model.bytesTotal};
        return {TBPF_INDETERMINATE, 0, 0};
    }
    if (model.phase != Failed) return {};
    // The two stops wait for the player (room, a closed game); the rest failed.
    const bool stopped = model.statusMessage == kNoRoomMessage || model.statusMessage == kGameRunningMessage;
    const TBPFLAG flag = stopped ? TBPF_PAUSED : TBPF_ERROR;
    if (!counterShown) return {flag, 1, 1};
    return {flag, model.bytesDone, model.bytesTotal};
}

// Text into a fixed field of the shell's record, cut to fit.
template <std::size_t N>
void CopyField(wchar_t (&field)[N], const std::wstring& text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::copy_n(text.c_str(), length, field);
    field[length] = L'\0';
}

NOTIFYICONDATAW NotificationIcon(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = kNotificationIconId;
    return data;
}

void RemoveNotification(HWND window) {
    if (!attention.notificationShown) return;
    NOTIFYICONDATAW data = NotificationIcon(window);
    Shell_NotifyIconW(NIM_DELETE, &data);
    attention.notificationShown = false;
}

// The icon goes in quietly, learns the version-4 callbacks, then shows the
// balloon; a shell that refuses the icon leaves everything as it was.
void Notify(HWND window, const std::wstring& text) {
    RemoveNotification(window);
    SetWindowIcons(window);
    NOTIFYICONDATAW data = NotificationIcon(window);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = WM_NOTIFICATION_ICON;
    data.hIcon = attention.smallIcon.get();
    CopyField(data.szTip, kNotificationTitle);
    if (!Shell_NotifyIconW(NIM_ADD, &data)) return;
    attention.notificationShown = true;
    data.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &data);

    data.uFlags = NIF_INFO;
    CopyField(data.szInfoTitle, kNotificationTitle);
    CopyField(data.szInfo, text);
    data.dwInfoFlags = (data.hIcon ? NIIF_USER : NIIF_INFO) | NIIF_RESPECT_QUIET_TIME;
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void Flash(HWND window) {
    FLASHWINFO flash{};
    flash.cbSize = sizeof(flash);
    flash.hwnd = window;
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    FlashWindowEx(&flash);
}

// A failing call changes nothing: the button just keeps what it showed.
void ShowOnTaskbar(HWND window, const TaskbarState& state) {
    ITaskbarList3* taskbar = attention.taskbar.get();
    if (!taskbar) return;
    taskbar->SetProgressState(window, state.flag);
    if (state.flag != TBPF_NOPROGRESS && state.flag != TBPF_INDETERMINATE) {
        taskbar->SetProgressValue(window, state.done, state.total);
    }
}

UINT TaskbarButtonCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

}  // namespace

bool FollowTaskbar(TaskbarState& shown, const ScreenModel& model) {
    const TaskbarState state = TaskbarStateFor(model);
    if (state == shown) return false;
    shown = state;
    return true;
}

Ending EndingFor(bool& attemptRunning, const ScreenModel& model, bool foreground, bool minimised) {
    const bool ended = attemptRunning && !model.busy;
    attemptRunning = model.busy;
    if (!ended || (foreground && !minimised)) return {};
    return {true, model.statusMessage};
}

void StartAttention(HWND window) {
    attention = Attention{};
    attention.window = window;
    if (const UINT message = TaskbarButtonCreatedMessage()) {
        ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, /*filterStatus*/ nullptr);
    }
}

void FollowAttempt(HWND window, const ScreenModel& model) {
    if (attention.window != window) return;
    if (FollowTaskbar(attention.shown, model)) ShowOnTaskbar(window, attention.shown);
    const Ending ending =
        EndingFor(attention.attemptRunning, model, GetForegroundWindow() == window, IsIconic(window) != FALSE);
    if (ending.flash) Flash(window);
    if (!ending.notification.empty()) Notify(window, ending.notification);
}

bool IsTaskbarButtonCreated(UINT message) {
    const UINT created = TaskbarButtonCreatedMessage();
    return created != 0 && message == created;
}

// cppcheck-suppress constParameter ; a window handle: the taskbar object takes it later
void OnTaskbarButtonCreated(HWND window) {
    if (attention.window != window) return;
    attention.taskbar.reset();
    attention.shown = TaskbarState{};  // a new button shows no progress; the next tick sets it
    ITaskbarList3* taskbar = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&taskbar))) ||
        !taskbar) {
        return;
    }
    std::unique_ptr<ITaskbarList3, ComRelease> owned(taskbar);
    if (SUCCEEDED(taskbar->HrInit())) attention.taskbar = std::move(owned);
}

// cppcheck-suppress constParameter ; a window handle, as every function here takes one
bool WindowIconsDue(HWND window) { return attention.window == window && !attention.iconsTried; }

void SetWindowIcons(HWND window) {
    if (!WindowIconsDue(window)) return;
    attention.iconsTried = true;
    const UINT dpi = GetDpiForWindow(window);
    const auto metric = [dpi](int index) { return dpi ? GetSystemMetricsForDpi(index, dpi) : GetSystemMetrics(index); };
    attention.bigIcon = MakePictureIcon(logoImage.get(), metric(SM_CXICON));
    attention.smallIcon = MakePictureIcon(logoImage.get(), metric(SM_CXSMICON));
    if (attention.bigIcon) SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(attention.bigIcon.get()));
    if (attention.smallIcon) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(attention.smallIcon.get()));
    }
}

void OnNotificationIcon(HWND window, LPARAM lParam) {
    if (attention.window != window) return;
    switch (LOWORD(lParam)) {
        case NIN_BALLOONUSERCLICK:
        case NIN_SELECT:
        case NIN_KEYSELECT:
            RemoveNotification(window);
            if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
            SetForegroundWindow(window);
            break;
        case NIN_BALLOONTIMEOUT:
            RemoveNotification(window);
            break;
        default:
            break;
    }
}

void OnWindowActivated(HWND window) {
    if (attention.window == window) RemoveNotification(window);
}

void EndAttention(HWND window) {
    if (attention.window != window) return;
    RemoveNotification(window);
    attention = Attention{};
}
