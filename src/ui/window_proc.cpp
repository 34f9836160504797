#include "ui/window_proc.h"

#include <shellapi.h>
#include <windowsx.h>

#include "shell/installed_game.h"
#include "shell/launcher_state.h"
#include "ui/accessible_tree.h"
#include "ui/announcer.h"
#include "ui/attention.h"
#include "ui/display_settings.h"
#include "ui/painter.h"
#include "ui/screen_elements.h"

namespace {

constexpr UINT_PTR kRepaintTimer = 1;
constexpr UINT kRepaintMilliseconds = 100;
// The icons wait until the first frame is out, or this long for a window
// that starts minimised and gets no frame.
constexpr UINT_PTR kIconTimer = 2;
constexpr UINT kIconFallbackMilliseconds = 1000;

constexpr float kDragStripRight = 875.0f;
constexpr float kDragStripBottom = 48.0f;

void RepaintAll(HWND window) { InvalidateRect(window, nullptr, /*erase*/ FALSE); }

CanvasPoint CanvasPointOf(LPARAM clientPoint) {
    return ClientToCanvas(canvasMapping, static_cast<float>(GET_X_LPARAM(clientPoint)),
                          static_cast<float>(GET_Y_LPARAM(clientPoint)));
}

// A status post or a tick: the reader hears what changed, painted or not,
// and the taskbar button follows. A post repaints in full; the tick only
// when the frame shown is not that of the screen now (progress, the sweep,
// a partial paint).
void FollowTheScreen(HWND window, bool repaint) {
    const ScreenModel model = BuildScreenModel(window);
    AnnounceScreen(window, model);
    FollowAttempt(window, model);
    if (repaint || !FrameIsCurrent(model)) RepaintAll(window);
}

LRESULT CaptionHitTest(HWND window, LPARAM screenPoint) {
    POINT point{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
    ScreenToClient(window, &point);
    const CanvasPoint canvas =
        ClientToCanvas(canvasMapping, static_cast<float>(point.x), static_cast<float>(point.y));
    return IsInDragStrip(canvas) ? HTCAPTION : HTCLIENT;
}

void TrackHover(HWND window, LPARAM clientPoint) {
    const ScreenElement& button = ElementOf(kMainButtonChild);
    const bool hover = button.rect.Contains(CanvasPointOf(clientPoint));
    if (hover != mainButtonHover) {
        mainButtonHover = hover;
        RepaintAll(window);
    }
    const bool clickable = hover && ElementEnabledIn(button, BuildScreenModel(0, 0));
    SetCursor(LoadCursorW(nullptr, clickable ? IDC_HAND : IDC_ARROW));
}

void Click(HWND window, LPARAM clientPoint) {
    switch (ChooseClickAction(CanvasPointOf(clientPoint))) {
        case ClickAction::LaunchGame: LaunchInstalledGame(window); break;
        case ClickAction::Close: DestroyWindow(window); break;
        case ClickAction::Minimise: ShowWindow(window, SW_MINIMIZE); break;
        case ClickAction::StartDownload: StartDownload(); break;
        case ClickAction::None: break;
    }
}

// The keyboard presses the focused element by a synthetic release on it.
void PressFocusedElement(HWND window) {
    SendMessageW(window, WM_LBUTTONUP, 0, ClientPointParam(FocusedPressPoint()));
}

// A reader's press, as Enter on that element, at the point it has now; an
// element gone from the screen since is not pressed.
void PressNamedElement(HWND window, WPARAM child) {
    if (child < 1 || child > ScreenElements().size()) return;
    const ScreenElement& element = ElementOf(static_cast<LONG>(child));
    if (!element.press || !ElementShownIn(element, BuildScreenModel(0, 0))) return;
    SendMessageW(window, WM_LBUTTONUP, 0, ClientPointParam(*element.press));
}

// Tab shows focus cues, as the dialog manager shows them for its controls.
void OnTab(HWND window) {
    MoveKeyboardFocus();
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    RepaintAll(window);
    AnnounceFocus(window);
}

void OnCreate(HWND window) {
    SetTimer(window, kRepaintTimer, kRepaintMilliseconds, /*timerProc*/ nullptr);
    keyboardFocus = KeyboardFocus::MainButton;
    focusCues = FocusCues{.window = window};
    // Opened from the keyboard, the window shows its focus cues at once;
    // from the mouse, not until Tab.
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    RefreshDisplaySettings();
    PrepareAccessibleTree(window);
    AnnounceScreen(window, BuildScreenModel(window));  // the first model is only noted
    StartAttention(window);
    SetTimer(window, kIconTimer, kIconFallbackMilliseconds, /*timerProc*/ nullptr);
}

// Timers come only when no paint is due: the icons follow the first frame.
void OnPainted(HWND window) {
    if (WindowIconsDue(window)) SetTimer(window, kIconTimer, USER_TIMER_MINIMUM, /*timerProc*/ nullptr);
}

void OnTimer(HWND window, WPARAM timer) {
    if (timer == kIconTimer) {
        KillTimer(window, kIconTimer);
        SetWindowIcons(window);
    } else {
        FollowTheScreen(window, /*repaint*/ false);
    }
}

// A contrast theme, its colours, keyboard cues or animations changed: the
// window follows at once.
void OnDisplaySettingsChanged(HWND window) {
    RefreshDisplaySettings();
    RepaintAll(window);
}

// Standard controls draw no focus cue in a window without the focus.
void OnKeyboardFocus(HWND window, bool focused) {
    focusCues.windowFocused = focused;
    RepaintAll(window);
    if (focused) AnnounceFocus(window);
}

// The three steps that end the launcher first: nothing after them (the
// accessibility cut-off allocates) may keep the quit message from going out.
void OnDestroy(HWND window) {
    RequestCancel();
    launcherState.window.store(nullptr);
    PostQuitMessage(0);
    DisconnectAccessibleTree(window);
    ForgetAnnouncements();
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(window);
            return 0;
        case WM_DESTROY:
            OnDestroy(window);
            return 0;
        case WM_NCDESTROY:
            EndAttention(window);
            break;
        case WM_PAINT:
            PaintWindowMessage(window);
            OnPainted(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // every frame covers the whole client area
        case WM_NCHITTEST:
            return CaptionHitTest(window, lParam);
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_SPACE) {
                PressFocusedElement(window);
                return 0;
            }
            if (wParam == VK_TAB) {
                OnTab(window);
                return 0;
            }
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            OnKeyboardFocus(window, message == WM_SETFOCUS);
            return 0;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
        case WM_THEMECHANGED:
            OnDisplaySettingsChanged(window);
            return 0;
        case WM_UPDATEUISTATE:
            // The system hides or shows focus cues (the Alt key, for one,
            // shows them); it keeps the state, the next frame asks for it.
            if (HIWORD(wParam) & UISF_HIDEFOCUS) RepaintAll(window);
            break;
        case WM_GETOBJECT:
            if (IsClientObjectRequest(lParam)) return ServeAccessibleTree(window, wParam);
            break;
        case WM_TIMER:
            OnTimer(window, wParam);
            return 0;
        case WM_LAUNCHER_STATUS:
            FollowTheScreen(window, /*repaint*/ true);
            return 0;
        case WM_MOUSEMOVE:
            TrackHover(window, lParam);
            return 0;
        case WM_LBUTTONUP:
            Click(window, lParam);
            return 0;
        case WM_READER_PRESS:
            PressNamedElement(window, wParam);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) OnWindowActivated(window);
            break;  // the default activation gives the window the focus
        case WM_NOTIFICATION_ICON:
            OnNotificationIcon(window, lParam);
            return 0;
        default:
            if (IsTaskbarButtonCreated(message)) {
                OnTaskbarButtonCreated(window);
                return 0;
            }
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool IsInDragStrip(CanvasPoint point) { return point.y < kDragStripBottom && point.x < kDragStripRight; }

ClickAction ChooseClickAction(CanvasPoint point) {
    const ScreenModel model = BuildScreenModel(0, 0);
    // The link's area launches even in Ready, where the link is not drawn.
    const ScreenElement& link = ElementOf(kLinkChild);
    if (link.rect.Contains(point) && ElementEnabledIn(link, model) && model.gameInstalled) {
        return ClickAction::LaunchGame;
    }
    if (ElementOf(kCloseChild).rect.Contains(point)) return ClickAction::Close;
    if (ElementOf(kMinimiseChild).rect.Contains(point)) return ClickAction::Minimise;
    const ScreenElement& button = ElementOf(kMainButtonChild);
    if (button.rect.Contains(point) && ElementEnabledIn(button, model)) {
        const bool ready = model.phase == Ready;
        return ready && model.gameInstalled ? ClickAction::LaunchGame : ClickAction::StartDownload;
    }
    return ClickAction::None;
}

void LaunchInstalledGame(HWND window) {
    const std::wstring folder = installedGame.installLocation;
    const std::wstring program = GameExecutablePath();
    ShellExecuteW(window, L"open", program.c_str(), /*parameters*/ nullptr, folder.c_str(), SW_SHOWNORMAL);
}

// No C++ exception leaves the window procedure (only allocations can throw):
// a message whose handling failed gets the default handling instead.
LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleMessage(window, message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
