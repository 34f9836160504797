// Input: hit areas on canvas points, the click table, then the window
// procedure on a real window of the launcher's class.
#include <gtest/gtest.h>
#include <oleacc.h>

#include <filesystem>
#include <string>

#include "fixture_support.h"
#include "player_texts.h"
#include "transfer/text_encoding.h"
#include "ui/accessible_tree.h"
#include "ui/window_proc.h"
#include "ui_support.h"

namespace {

namespace texts = test::texts;

constexpr const wchar_t* kSomeGame = L"C:\\Games\\VandroGLADE";

struct ClickTest : ::testing::Test {
    test::CleanScreenState clean;
    static void Set(bool busy, const std::wstring& installLocation, LauncherPhase phase) {
        launcherState.busy = busy;
        installedGame.installLocation = installLocation;
        test::SetPhase(phase);
    }
};

LPARAM Packed(int x, int y) { return MAKELPARAM(static_cast<WORD>(x & 0xFFFF), static_cast<WORD>(y & 0xFFFF)); }

// The UI state Windows keeps for a top-level window, in front of the
// launcher's procedure: Wine 8 keeps none (WM_QUERYUISTATE answers 0, and
// WM_CHANGEUISTATE brings no WM_UPDATEUISTATE). A window opens with focus
// cues and accelerators hidden, as Windows opens one while keyboard cues are
// off; UIS_INITIALIZE clears or sets them by the last input.
struct WindowsUiState {
    static inline WORD state = 0;
    static inline bool lastInputFromKeyboard = false;

    static void Reset(bool fromKeyboard) {
        state = UISF_HIDEFOCUS | UISF_HIDEACCEL;
        lastInputFromKeyboard = fromKeyboard;
    }
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_QUERYUISTATE) return state;
        const LRESULT result = LauncherWindowProc(window, message, wParam, lParam);
        WORD action = LOWORD(wParam);
        const WORD flags = HIWORD(wParam);
        if (message == WM_CHANGEUISTATE) {
            if (action == UIS_INITIALIZE) action = lastInputFromKeyboard ? UIS_CLEAR : UIS_SET;
            const WORD changed = action == UIS_SET ? state | flags : state & ~flags;
            if (changed != state) SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(action, flags), 0);
        }
        if (message == WM_UPDATEUISTATE) state = action == UIS_SET ? state | flags : state & ~flags;
        return result;
    }
};

// A hidden window of the launcher's class at (100, 100), 1000 x 650, opened
// from the mouse.
struct LauncherWindowTest : ::testing::Test {
    test::GdiplusSession gdiplus;
    test::CleanScreenState clean;
    HWND window = nullptr;

    LauncherWindowTest() { Open(/*fromKeyboard*/ false); }
    ~LauncherWindowTest() override { Close(); }
    void Open(bool fromKeyboard) {
        WindowsUiState::Reset(fromKeyboard);
        WNDCLASSW wc{};
        wc.lpfnWndProc = WindowsUiState::Procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClassName;
        RegisterClassW(&wc);
        window = CreateWindowExW(WS_EX_APPWINDOW, kWindowClassName, kWindowTitle, WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                                 100, 100, 1000, 650, nullptr, nullptr, wc.hInstance, nullptr);
    }
    void Close() {
        if (IsWindow(window)) DestroyWindow(window);
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageW(window, message, wParam, lParam);
    }
    bool NeedsRepaint() {
        RECT update{};
        return GetUpdateRect(window, &update, FALSE) && update.right - update.left == 1000 &&
               update.bottom - update.top == 650;
    }
};

// A copy of the test game installed in a folder of its own.
struct InstalledTestGame {
    test::TempFolder folder;
    InstalledTestGame() {
        std::filesystem::copy_file(test::TestGameExe(), folder.path / kGameExeName);
        installedGame.installLocation = folder.path.wstring();
    }
    ~InstalledTestGame() { test::StopTestGames(); }
    // The game's own record of how it started; waits up to 30 s for it.
    std::string StartRecord() const {
        test::WaitUntil(30, [&] { return std::filesystem::exists(folder.path / test::kTestGameStartRecord); });
        Sleep(50);
        return test::ReadTestGameStartRecord(folder.path);
    }
};

}  // namespace

TEST(WindowHitTest, DragStripIsTheTopBandLeftOfTheGlyphsWithoutLowerBounds) {
    struct Row {
        CanvasPoint p;
        bool drag;
    };
    const Row rows[] = {
        {{0, 0}, true},        {{874.9f, 47.9f}, true}, {{875, 0}, false},  {{0, 48}, false},
        {{-50, -30}, true},    {{-10, 47}, true},       {{500, -200}, true}, {{881, 20}, false},
        {{950, 20}, false},    {{300, 100}, false},
    };
    for (const Row& row : rows) EXPECT_EQ(IsInDragStrip(row.p), row.drag) << row.p.x << "," << row.p.y;
}

TEST_F(ClickTest, HitAreasIncludeTheLowerAndExcludeTheUpperBound) {
    Set(false, kSomeGame, Idle);
    using A = ClickAction;
    struct Row {
        CanvasPoint p;
        ClickAction action;
    };
    const Row rows[] = {
        // link (656, 466, 264, 23)
        {{656, 466}, A::LaunchGame}, {{919.9f, 488.9f}, A::LaunchGame}, {{920, 470}, A::None},
        {{700, 489}, A::None}, {{655.9f, 470}, A::None},
        // main button (656, 404, 264, 59)
        {{656, 404}, A::StartDownload}, {{919.9f, 462.9f}, A::StartDownload}, {{920, 430}, A::None},
        {{700, 463}, A::None}, {{700, 403.9f}, A::None}, {{655.9f, 430}, A::None},
        // close glyph (936, 12, 42, 35)
        {{936, 12}, A::Close}, {{977.9f, 46.9f}, A::Close}, {{978, 20}, A::None}, {{950, 47}, A::None},
        {{935.9f, 20}, A::None}, {{950, 11.9f}, A::None},
        // minimise glyph (881, 12, 42, 35)
        {{881, 12}, A::Minimise}, {{922.9f, 46.9f}, A::Minimise}, {{923, 20}, A::None}, {{900, 47}, A::None},
        {{880.9f, 20}, A::None},
        // letterbox and elsewhere
        {{-10, 430}, A::None}, {{1005, 430}, A::None}, {{780, 700}, A::None}, {{300, 300}, A::None},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ChooseClickAction(row.p), row.action) << row.p.x << "," << row.p.y;
    }
}

TEST_F(ClickTest, ConditionsPickTheFirstMatchingRow) {
    using A = ClickAction;
    const CanvasPoint link{780, 477}, button{780, 432}, close{957, 29}, minimise{902, 29};
    struct Row {
        const char* name;
        CanvasPoint p;
        bool busy;
        const wchar_t* location;
        LauncherPhase phase;
        ClickAction action;
    };
    const Row rows[] = {
        {"link, game known", link, false, kSomeGame, Idle, A::LaunchGame},
        {"link in Ready, where it is not drawn", link, false, kSomeGame, Ready, A::LaunchGame},
        {"link while busy", link, true, kSomeGame, Failed, A::None},
        {"link, no game", link, false, L"", Failed, A::None},
        {"button in Ready with a game", button, false, kSomeGame, Ready, A::LaunchGame},
        {"button in Ready without a game", button, false, L"", Ready, A::StartDownload},
        {"button after a failure with a game", button, false, kSomeGame, Failed, A::StartDownload},
        {"button on first start", button, false, L"", Idle, A::StartDownload},
        {"button while busy", button, true, kSomeGame, Ready, A::None},
        {"close while busy", close, true, L"", Downloading, A::Close},
        {"minimise while busy", minimise, true, L"", Installing, A::Minimise},
    };
    for (const Row& row : rows) {
        Set(row.busy, row.location, row.phase);
        EXPECT_EQ(ChooseClickAction(row.p), row.action) << row.name;
    }
}

TEST_F(ClickTest, ClientPointsMapThroughTheLastPaintOrTheIdentity) {
    Set(false, L"", Idle);
    auto at = [](float x, float y) { return ClientToCanvas(canvasMapping, x, y); };
    EXPECT_EQ(ChooseClickAction(at(665, 433)), ClickAction::StartDownload);  // before any paint: identity
    EXPECT_TRUE(IsInDragStrip(at(874, 47)));

    canvasMapping = CanvasMapping{0.76f, 0.0f, 78.0f};  // 760 x 650 client
    EXPECT_TRUE(IsInDragStrip(at(380, 20)));                               // band above the canvas
    EXPECT_FALSE(IsInDragStrip(at(700, 20)));                              // above the glyphs
    EXPECT_EQ(ChooseClickAction(at(505, 407)), ClickAction::StartDownload); // canvas (664.5, 432.9)
    EXPECT_EQ(ChooseClickAction(at(665, 433)), ClickAction::None);        // canvas (875, 467): right of the link
    EXPECT_EQ(ChooseClickAction(at(380, 600)), ClickAction::None);        // band below the canvas
}

TEST_F(LauncherWindowTest, AnswersEraseAndCaptionHitTests) {
    ASSERT_TRUE(window);
    EXPECT_EQ(Send(WM_ERASEBKGND), 1);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, Packed(110, 110)), HTCAPTION);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, Packed(100 + 874, 100 + 47)), HTCAPTION);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, Packed(100 + 900, 100 + 20)), HTCLIENT);  // minimise glyph
    EXPECT_EQ(Send(WM_NCHITTEST, 0, Packed(100 + 500, 100 + 300)), HTCLIENT);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, Packed(100 + 999, 100 + 649)), HTCLIENT);  // no sizing border
    EXPECT_EQ(Send(WM_NCHITTEST, 0, Packed(100, 100)), HTCAPTION);             // no sizing corner
}

TEST_F(LauncherWindowTest, HoverFollowsTheButtonAndTheHandOnlyWhenNotBusy) {
    ASSERT_TRUE(window);
    ShowWindow(window, SW_SHOWNOACTIVATE);  // hidden windows collect no update region
    const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND), arrow = LoadCursorW(nullptr, IDC_ARROW);

    ValidateRect(window, nullptr);
    Send(WM_MOUSEMOVE, 0, Packed(665, 433));
    EXPECT_TRUE(mainButtonHover);
    EXPECT_EQ(GetCursor(), hand);
    EXPECT_TRUE(NeedsRepaint());

    ValidateRect(window, nullptr);
    launcherState.busy = true;
    Send(WM_MOUSEMOVE, 0, Packed(700, 440));
    EXPECT_TRUE(mainButtonHover);  // busy does not change hover
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_FALSE(NeedsRepaint());  // no change, no repaint

    launcherState.busy = false;
    Send(WM_MOUSEMOVE, 0, Packed(10, 300));
    EXPECT_FALSE(mainButtonHover);
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_TRUE(NeedsRepaint());
}

// A status post repaints the whole window; the tick only when the frame
// would differ from the one shown (progress, a new text, the sweep) or was
// shown only in part.
TEST_F(LauncherWindowTest, TimerAndStatusPostsRepaintTheWholeWindow) {
    ASSERT_TRUE(window);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    struct Row {
        const char* what;
        UINT message;
        LauncherPhase phase;
        std::uint64_t bytesDone;
        bool repaint;
        bool partialPaintFirst = false;  // a WM_PAINT of a corner only, before the message
    };
    const Row rows[] = {
        {"first tick, nothing shown yet", WM_TIMER, Ready, 0, true},
        {"tick, nothing changed", WM_TIMER, Ready, 0, false},
        {"status post, nothing changed", WM_LAUNCHER_STATUS, Ready, 0, true},
        {"tick, new phase", WM_TIMER, Downloading, 0, true},
        {"tick, same progress", WM_TIMER, Downloading, 0, false},
        {"tick, progress moved", WM_TIMER, Downloading, 4096, true},
        {"tick after progress shown in a corner only", WM_TIMER, Downloading, 1 << 19, true, /*partialPaintFirst*/ true},
        {"tick, nothing changed since the whole repaint", WM_TIMER, Downloading, 1 << 19, false},
        {"tick while installing (the sweep moves)", WM_TIMER, Installing, 0, true},
        {"next tick while installing", WM_TIMER, Installing, 0, true},
    };
    launcherState.bytesTotal = 1 << 20;
    for (const Row& row : rows) {
        test::SetPhase(row.phase, L"Durum");
        launcherState.bytesDone = row.bytesDone;
        Sleep(20);  // the sweep follows the clock
        if (row.partialPaintFirst) {
            const RECT corner{0, 0, 100, 100};
            ValidateRect(window, nullptr);
            InvalidateRect(window, &corner, FALSE);
            UpdateWindow(window);
        }
        ValidateRect(window, nullptr);
        EXPECT_EQ(Send(row.message, 7), 0);
        EXPECT_EQ(NeedsRepaint(), row.repaint) << row.what;
        UpdateWindow(window);  // shows whatever the row asked for
    }
}

TEST_F(LauncherWindowTest, MinimiseGlyphMinimisesAndCloseGlyphEndsTheLoop) {
    ASSERT_TRUE(window);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    launcherState.window = window;
    launcherState.busy = true;  // both glyphs work during an attempt

    Send(WM_LBUTTONUP, 0, Packed(902, 29));
    EXPECT_TRUE(IsIconic(window));
    ShowWindow(window, SW_RESTORE);
    EXPECT_TRUE(IsWindow(window));

    Send(WM_LBUTTONUP, 0, Packed(957, 29));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(launcherState.cancelRequested.load());
    EXPECT_EQ(launcherState.window.load(), nullptr);
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
}

TEST_F(LauncherWindowTest, EnterAndSpaceDoNothingWhileBusy) {
    ASSERT_TRUE(window);
    launcherState.busy = true;
    test::SetPhase(Downloading, L"Durum");
    for (WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_SPACE}}) EXPECT_EQ(Send(WM_KEYDOWN, key), 0);
    EXPECT_FALSE(launcherState.worker.joinable());
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, L"Durum");
}

// Every way of starting the game: it runs from its own folder.
TEST_F(LauncherWindowTest, GameStartsFromItsInstallFolderByLinkButtonEnterOrSpace) {
    ASSERT_TRUE(window);
    struct Row {
        const char* how;
        LauncherPhase phase;
        UINT message;
        WPARAM key;
        CanvasPoint click;
        bool tabFirst = false;
    };
    const Row rows[] = {
        {"link", Idle, WM_LBUTTONUP, 0, {780, 477}},
        {"Oyna", Ready, WM_LBUTTONUP, 0, {780, 432}},
        {"Enter", Ready, WM_KEYDOWN, VK_RETURN, {}},
        {"Space", Ready, WM_KEYDOWN, VK_SPACE, {}},
        {"Tab to the link, Enter", Failed, WM_KEYDOWN, VK_RETURN, {}, /*tabFirst*/ true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        InstalledTestGame game;
        test::SetPhase(row.phase);
        keyboardFocus = KeyboardFocus::MainButton;
        if (row.tabFirst) Send(WM_KEYDOWN, VK_TAB);
        canvasMapping = CanvasMapping{0.76f, 0.0f, 78.0f};  // as the last paint of a 760 x 650 client left it
        const POINT client = CanvasToClient(canvasMapping, row.click);
        Send(row.message, row.key, row.message == WM_LBUTTONUP ? Packed(client.x, client.y) : 0);
        const std::string record = game.StartRecord();
        EXPECT_NE(record.find("cwd=" + WideToUtf8(game.folder.path.wstring()) + "\r\n"), std::string::npos) << record;
        EXPECT_NE(record.find("argc=1\r\n"), std::string::npos) << record;
        EXPECT_FALSE(launcherState.worker.joinable());  // no install attempt started
    }
}

// Tab reaches the link only while it is shown; the focus comes back to the
// button when the link goes, and stays there when it returns.
TEST_F(LauncherWindowTest, TabMovesTheFocusBetweenTheButtonAndAShownLink) {
    ASSERT_TRUE(window);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    using F = KeyboardFocus;
    struct Step {
        const char* what;
        bool busy;
        const wchar_t* location;
        UINT message;  // WM_KEYDOWN (Tab), or WM_TIMER (the tick, whether or not a paint follows)
        F focus;
    };
    const Step steps[] = {
        {"no link: Tab stays on the button", false, L"", WM_KEYDOWN, F::MainButton},
        {"link shown: Tab reaches it", false, kSomeGame, WM_KEYDOWN, F::Link},
        {"Tab again: back to the button", false, kSomeGame, WM_KEYDOWN, F::MainButton},
        {"and to the link", false, kSomeGame, WM_KEYDOWN, F::Link},
        {"an attempt hides the link: the tick gives the focus back", true, kSomeGame, WM_TIMER, F::MainButton},
        {"the link returns: the focus stays", false, kSomeGame, WM_TIMER, F::MainButton},
    };
    for (const Step& step : steps) {
        launcherState.busy = step.busy;
        installedGame.installLocation = step.location;
        test::SetPhase(Failed);
        ValidateRect(window, nullptr);
        if (step.message == WM_KEYDOWN) {
            EXPECT_EQ(Send(WM_KEYDOWN, VK_TAB), 0) << step.what;
            EXPECT_TRUE(NeedsRepaint()) << step.what;  // the ring moves
        } else {
            Send(step.message, 1);
        }
        EXPECT_EQ(keyboardFocus, step.focus) << step.what;
    }
}

// The ring follows the UI state the system keeps for the window (the last
// input when it opens, Tab, the system's own changes), the system's keyboard
// cues (read again when they change) and the keyboard focus: probed where it
// runs above the button.
TEST_F(LauncherWindowTest, FocusRingFollowsTheUiStateCuesAndTheFocus) {
    ASSERT_TRUE(window);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    test::SystemUiSettings settings;
    enum class Do { CuesOff, CuesOn, Focus, LoseFocus, Tab, HideCues, ShowCues, OpenFromKeyboard };
    struct Step {
        const char* what;
        Do action;
        bool ring;
    };
    const Step steps[] = {
        {"cues off", Do::CuesOff, false},
        {"opened from the mouse, focused, cues off", Do::Focus, false},
        {"cues on", Do::CuesOn, true},
        {"focus lost", Do::LoseFocus, false},
        {"focus back", Do::Focus, true},
        {"cues on: the UI state hiding focus cues does not hide the ring", Do::HideCues, true},
        {"cues off again", Do::CuesOff, false},
        {"the UI state shows focus cues before any Tab", Do::ShowCues, true},
        {"and hides them", Do::HideCues, false},
        {"Tab shows the ring again", Do::Tab, true},
        {"focus lost after Tab", Do::LoseFocus, false},
        {"focus back: the UI state still shows focus cues", Do::Focus, true},
        {"opened again from the keyboard, focused: the ring at once", Do::OpenFromKeyboard, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        ValidateRect(window, nullptr);
        switch (step.action) {
            case Do::CuesOff:
            case Do::CuesOn:
                test::SystemUiSettings::SetKeyboardCues(step.action == Do::CuesOn);
                Send(WM_SETTINGCHANGE, SPI_SETKEYBOARDCUES);
                break;
            case Do::Focus: Send(WM_SETFOCUS); break;
            case Do::LoseFocus: Send(WM_KILLFOCUS); break;
            case Do::Tab: Send(WM_KEYDOWN, VK_TAB); break;
            case Do::HideCues: Send(WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS)); break;
            case Do::ShowCues: Send(WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS)); break;
            case Do::OpenFromKeyboard:
                Close();
                Open(/*fromKeyboard*/ true);
                ShowWindow(window, SW_SHOWNOACTIVATE);
                ValidateRect(window, nullptr);
                Send(WM_SETFOCUS);
                break;
        }
        EXPECT_TRUE(NeedsRepaint());
        test::MemoryCanvas frame(1000, 650);
        frame.Paint();
        const test::Rgb above = frame.AtCanvas(780, 402.5f);
        EXPECT_TRUE(test::Near(above, step.ring ? 0x122848 : 0xFFFCF2)) << std::hex << above;
    }
}

// Each message that tells of a changed display setting has the settings
// read again and the window repainted at once: the contrast theme, a system
// colour while the theme stays on (the next frame shows it), animations.
TEST_F(LauncherWindowTest, DisplaySettingMessagesReadTheSettingsAgainAndRepaint) {
    ASSERT_TRUE(window);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    test::SystemUiSettings settings;
    const COLORREF theme[] = {RGB(0x20, 0xC0, 0x40), RGB(0xC0, 0x20, 0x50), RGB(0x50, 0x30, 0xB0), RGB(0xE0, 0xE0, 0x10),
                              RGB(0x90, 0x10, 0x90), RGB(0x10, 0xF0, 0xF0), RGB(0x70, 0x80, 0x30), RGB(0xF0, 0x70, 0x00)};
    const test::InjectedContrastTheme injected(theme);
    test::SetPhase(Installing, L"Durum");
    launcherState.busy = true;
    struct Row {
        const char* what;
        void (*change)();
        UINT message;
        WPARAM wParam;
        bool contrast;
        test::Rgb card;
        float fillWidth;  // a full bar stands still; the sweep is 100 wide
    };
    const Row rows[] = {
        {"theme off", [] { contrastThemeQuery = [] { return false; }; }, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, false,
         0xFFFCF2, 100},
        {"theme on", [] { contrastThemeQuery = [] { return true; }; }, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, true,
         0x20C040, 100},
        {"theme off, by a colour change", [] { contrastThemeQuery = [] { return false; }; }, WM_SYSCOLORCHANGE, 0,
         false, 0xFFFCF2, 100},
        {"theme on, by a theme change", [] { contrastThemeQuery = [] { return true; }; }, WM_THEMECHANGED, 0, true,
         0x20C040, 100},
        {"the window's colour while the theme stays on",
         [] {
             const int role = COLOR_WINDOW;
             const COLORREF colour = RGB(0x30, 0xA0, 0x60);
             SetSysColors(1, &role, &colour);
         },
         WM_SYSCOLORCHANGE, 0, true, 0x30A060, 100},
        {"animations off", [] { test::SystemUiSettings::SetAnimations(false); }, WM_SETTINGCHANGE,
         SPI_SETCLIENTAREAANIMATION, true, 0x30A060, 264},
        {"animations on", [] { test::SystemUiSettings::SetAnimations(true); }, WM_SETTINGCHANGE,
         SPI_SETCLIENTAREAANIMATION, true, 0x30A060, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.change();
        ValidateRect(window, nullptr);
        EXPECT_EQ(Send(row.message, row.wParam), 0);
        EXPECT_TRUE(NeedsRepaint());
        const ScreenModel model = BuildScreenModel(window);
        EXPECT_EQ(model.palette.contrast, row.contrast);
        EXPECT_EQ(model.fill.width, row.fillWidth);
        test::MemoryCanvas frame(1000, 650);
        frame.Paint();
        EXPECT_EQ(frame.AtCanvas(900, 300), row.card);
    }
}

// The client object only, whatever the upper half of lParam holds, the same
// one at every request; a reader's object is cut off with the window, and
// its default action is a press posted to the window, not an action inside
// the reader's call, landing where the element is when it is handled.
TEST_F(LauncherWindowTest, AccessibleObjectForTheClientOnlyAndCutOffWithTheWindow) {
    ASSERT_TRUE(window);
    struct Com {
        HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ~Com() {
            if (SUCCEEDED(result)) CoUninitialize();
        }
    } com;
    installedGame.installLocation = kSomeGame;  // the link is shown
    canvasMapping = CanvasMapping{0.76f, 0.0f, 78.0f};
    struct Row {
        const char* what;
        LPARAM id;
        bool served;
    };
    const Row rows[] = {
        {"client", static_cast<LPARAM>(static_cast<DWORD>(OBJID_CLIENT)), true},
        {"client, sign-extended", static_cast<LPARAM>(OBJID_CLIENT), true},
        {"window", static_cast<LPARAM>(static_cast<DWORD>(OBJID_WINDOW)), false},
        {"caret", static_cast<LPARAM>(static_cast<DWORD>(OBJID_CARET)), false},
    };
    IAccessible* served = nullptr;
    for (const Row& row : rows) {
        const LRESULT result = Send(WM_GETOBJECT, 0, row.id);
        EXPECT_EQ(result > 0, row.served) << row.what;
        if (result <= 0) continue;
        IAccessible* object = nullptr;
        ASSERT_HRESULT_SUCCEEDED(ObjectFromLresult(result, IID_IAccessible, 0, reinterpret_cast<void**>(&object)));
        EXPECT_TRUE(!served || object == served) << row.what << ": another object";
        if (served) served->Release();
        served = object;
    }
    ASSERT_TRUE(served);
    VARIANT self{}, link{};
    self.vt = link.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    link.lVal = kLinkChild;
    BSTR name = nullptr;
    ASSERT_EQ(served->get_accName(link, &name), S_OK);
    EXPECT_EQ(std::wstring(name), texts::kOpenGameLink);
    SysFreeString(name);

    ASSERT_EQ(served->accDoDefaultAction(link), S_OK);
    MSG press{};
    ASSERT_TRUE(PeekMessageW(&press, window, WM_READER_PRESS, WM_READER_PRESS, PM_REMOVE));
    EXPECT_EQ(press.wParam, static_cast<WPARAM>(kLinkChild));
    // Posted, then a paint at another scale (a window started minimised and
    // restored), then handled: the minimise glyph is pressed where it is now.
    VARIANT minimise = link;
    minimise.lVal = kMinimiseChild;
    ASSERT_EQ(served->accDoDefaultAction(minimise), S_OK);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    canvasMapping = CanvasMapping{1.6f, 0.0f, 20.0f};
    ASSERT_TRUE(PeekMessageW(&press, window, WM_READER_PRESS, WM_READER_PRESS, PM_REMOVE));
    DispatchMessageW(&press);
    EXPECT_TRUE(IsIconic(window)) << "the press missed the minimise glyph";
    ShowWindow(window, SW_RESTORE);
    // A press on an element not shown is refused and sends nothing.
    installedGame.installLocation.clear();
    EXPECT_EQ(served->accDoDefaultAction(link), DISP_E_MEMBERNOTFOUND);
    EXPECT_FALSE(PeekMessageW(&press, window, WM_READER_PRESS, WM_READER_PRESS, PM_REMOVE));

    DestroyWindow(window);
    LONG count = 0;
    name = nullptr;
    EXPECT_EQ(served->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(served->get_accName(self, &name), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(served->accDoDefaultAction(link), CO_E_OBJNOTCONNECTED);
    served->Release();
}
