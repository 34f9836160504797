#include "ui/window_proc.h"

#include <shellapi.h>
#include <windowsx.h>

#include "shell/installed_game.h"
#include "shell/launcher_state.h"
#include "ui/accessible_tree.h"

namespace {

constexpr UINT_PTR kRepaintTimer = 1;
constexpr UINT kRepaintMilliseconds = 100;

constexpr float kDragStripRight = 875.0f;
constexpr float kDragStripBottom = 48.0f;

void RepaintAll(HWND window) { InvalidateRect(window, nullptr, /*erase*/ FALSE); }

bool ClientFrameIsCurrent(HWND window) {
    RECT client{};
    return GetClientRect(window, &client) && FrameIsCurrent(client.right, client.bottom);
}

CanvasPoint CanvasPointOf(LPARAM clientPoint) {
    return ClientToCanvas(canvasMapping, static_cast<float>(GET_X_LPARAM(clientPoint)),
                          static_cast<float>(GET_Y_LPARAM(clientPoint)));
}

// The frame and what it tells a screen reader come from one reading of the state.
void Paint(HWND window) {
    const ScreenContent content = ReadScreenContent();
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    PaintScreen(dc, client.right, client.bottom, content);
    EndPaint(window, &paint);
    if (keyboardFocus == KeyboardFocus::Link && !content.linkShown) {
        keyboardFocus = KeyboardFocus::MainButton;  // the focused link is gone
        AnnounceFocus(window, content);
    }
    AnnounceChanges(window, content);
}

LRESULT CaptionHitTest(HWND window, LPARAM screenPoint) {
    POINT point{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
    ScreenToClient(window, &point);
    const CanvasPoint canvas =
        ClientToCanvas(canvasMapping, static_cast<float>(point.x), static_cast<float>(point.y));
    return IsInDragStrip(canvas) ? HTCAPTION : HTCLIENT;
}

void TrackHover(HWND window, LPARAM clientPoint) {
    const bool hover = kMainButtonRect.Contains(CanvasPointOf(clientPoint));
    if (hover != mainButtonHover) {
        mainButtonHover = hover;
        RepaintAll(window);
    }
    const bool clickable = hover && !launcherState.busy.load();
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
    const bool onLink = FocusedElement(ReadScreenContent()) == KeyboardFocus::Link;
    SendMessageW(window, WM_LBUTTONUP, 0, ClientPointParam(onLink ? kLinkPressPoint : kKeyboardPressPoint));
}

// Tab and Shift+Tab: with only the button and the link to reach, both
// move to the other one; the ring shows from now on.
void MoveKeyboardFocus(HWND window) {
    const ScreenContent content = ReadScreenContent();
    const bool toLink = content.linkShown && FocusedElement(content) == KeyboardFocus::MainButton;
    keyboardFocus = toLink ? KeyboardFocus::Link : KeyboardFocus::MainButton;
    focusRingShown = true;
    RepaintAll(window);
    AnnounceFocus(window, content);
}

void OnCreate(HWND window) {
    SetTimer(window, kRepaintTimer, kRepaintMilliseconds, /*timerProc*/ nullptr);
    keyboardFocus = KeyboardFocus::MainButton;
    BOOL keyboardCues = FALSE;
    SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &keyboardCues, 0);
    focusRingShown = keyboardCues != FALSE;
    PrepareAccessibleTree(window);
}

void OnDestroy(HWND window) {
    DisconnectAccessibleTree(window);
    RequestCancel();
    launcherState.window.store(nullptr);
    PostQuitMessage(0);
}

}  // namespace

LPARAM ClientPointParam(CanvasPoint point) {
    const POINT client = CanvasToClient(canvasMapping, point);
    return MAKELPARAM(static_cast<WORD>(client.x & 0xFFFF), static_cast<WORD>(client.y & 0xFFFF));
}

bool IsInDragStrip(CanvasPoint point) { return point.y < kDragStripBottom && point.x < kDragStripRight; }

ClickAction ChooseClickAction(CanvasPoint point) {
    if (kOpenGameLinkRect.Contains(point) && !launcherState.busy.load() && !installedGame.installLocation.empty()) {
        return ClickAction::LaunchGame;
    }
    if (kCloseGlyphRect.Contains(point)) return ClickAction::Close;
    if (kMinimiseGlyphRect.Contains(point)) return ClickAction::Minimise;
    if (kMainButtonRect.Contains(point) && !launcherState.busy.load()) {
        const bool ready = ReadPhase() == Ready;
        return ready && !installedGame.installLocation.empty() ? ClickAction::LaunchGame : ClickAction::StartDownload;
    }
    return ClickAction::None;
}

void LaunchInstalledGame(HWND window) {
    const std::wstring folder = installedGame.installLocation;
    const std::wstring program = GameExecutablePath();
    ShellExecuteW(window, L"open", program.c_str(), /*parameters*/ nullptr, folder.c_str(), SW_SHOWNORMAL);
}

LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(window);
            return 0;
        case WM_DESTROY:
            OnDestroy(window);
            return 0;
        case WM_PAINT:
            Paint(window);
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
                MoveKeyboardFocus(window);
                return 0;
            }
            break;
        case WM_SETFOCUS:
            AnnounceFocus(window, ReadScreenContent());
            return 0;
        case WM_GETOBJECT:
            if (IsClientObjectRequest(lParam)) return ServeAccessibleTree(window, wParam);
            break;
        case WM_TIMER:
            // The tick shows progress and the sweep; an idle window's tick
            // would only show the same frame again. The system's own repaints
            // and every status post are still answered in full.
            if (!ClientFrameIsCurrent(window)) RepaintAll(window);
            return 0;
        case WM_LAUNCHER_STATUS:
            RepaintAll(window);
            return 0;
        case WM_MOUSEMOVE:
            TrackHover(window, lParam);
            return 0;
        case WM_LBUTTONUP:
            Click(window, lParam);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
