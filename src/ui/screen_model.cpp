#include "ui/screen_model.h"

#include <algorithm>
#include <utility>

#include "shell/installed_game.h"
#include "ui/screen_elements.h"

CanvasMapping canvasMapping;
bool mainButtonHover = false;
KeyboardFocus keyboardFocus = KeyboardFocus::MainButton;
FocusCues focusCues;

namespace {

constexpr float kMinimumFillWidth = 9.0f;
constexpr std::uint64_t kSweepPeriodMs = 1800;
constexpr float kSweepTravel = 160.0f;
constexpr float kSweepWidth = 100.0f;
constexpr std::uint64_t kMebibyte = 1048576;

// What the launcher's state shows, read as one paint reads it: phase,
// message and busy together under the mutex, so that the end of an attempt
// never comes with its busy flag; the counters by atomic loads.
struct ScreenContent {
    LauncherPhase phase;
    std::wstring statusMessage;
    std::uint64_t bytesDone;
    std::uint64_t bytesTotal;
    bool busy;
    bool gameInstalled;
    bool linkShown;
};

ScreenContent ReadScreenContent() {
    PhaseSnapshot state = ReadPhaseAndMessage();
    ScreenContent content{state.phase, std::move(state.statusMessage), 0, 0, state.busy, false, false};
    content.bytesTotal = launcherState.bytesTotal.load();
    content.bytesDone = launcherState.bytesDone.load();
    // busy first: the worker rewrites installLocation only while busy is set.
    content.gameInstalled = !content.busy && !installedGame.installLocation.empty();
    // In Ready the main button starts the game; the link would repeat it.
    content.linkShown = content.gameInstalled && content.phase != Ready;
    return content;
}

bool FocusRingShown(const FocusCues& cues, bool keyboardCues) {
    if (!cues.windowFocused) return false;
    if (keyboardCues) return true;
    const LRESULT uiState = cues.window ? SendMessageW(cues.window, WM_QUERYUISTATE, 0, 0) : UISF_HIDEFOCUS;
    return (uiState & UISF_HIDEFOCUS) == 0;
}

}  // namespace

ScreenModel BuildScreenModel(int clientWidth, int clientHeight) {
    ScreenContent content = ReadScreenContent();
    // The sweep is the only thing that moves with the clock.
    const bool animations = displaySettings.animations;
    const std::uint64_t sweepTick = content.phase == Installing && animations ? GetTickCount64() : 0;
    const float fraction = ProgressFraction(content.bytesDone, content.bytesTotal);
    const bool counter = content.bytesTotal != 0;
    const bool onLink = keyboardFocus == KeyboardFocus::Link && content.linkShown;
    return ScreenModel{
        content.phase,
        std::move(content.statusMessage),
        content.busy,
        MainButtonLabel(content.busy, content.phase),
        ProgressFillFor(content.phase, fraction, sweepTick, animations),
        counter ? ByteCounterText(content.bytesDone, content.bytesTotal) : std::wstring(),
        counter ? ProgressPercentText(content.bytesDone, content.bytesTotal) : std::wstring(),
        content.bytesDone,
        content.bytesTotal,
        content.linkShown,
        content.gameInstalled,
        mainButtonHover,
        onLink ? KeyboardFocus::Link : KeyboardFocus::MainButton,
        FocusRingShown(focusCues, displaySettings.keyboardCues),
        screenPalette,
        clientWidth,
        clientHeight,
    };
}

ScreenModel BuildScreenModel(HWND window) {
    RECT client{};
    if (!GetClientRect(window, &client)) client = RECT{};
    return BuildScreenModel(client.right, client.bottom);
}

void MoveKeyboardFocus() {
    const ScreenModel model = BuildScreenModel(0, 0);
    const LONG count = static_cast<LONG>(ScreenElements().size());
    const LONG from = ElementWithFocus(model.focused).id;
    for (LONG step = 1; step <= count; ++step) {
        const ScreenElement& next = ElementOf((from - 1 + step) % count + 1);
        if (next.tabStop && ElementShownIn(next, model)) {
            keyboardFocus = *next.tabStop;
            break;
        }
    }
}

bool SettleKeyboardFocus(const ScreenModel& model) {
    if (keyboardFocus != KeyboardFocus::Link || model.linkShown) return false;
    keyboardFocus = KeyboardFocus::MainButton;
    return true;
}

CanvasPoint FocusedPressPoint() {
    return ElementWithFocus(BuildScreenModel(0, 0).focused).press.value_or(kKeyboardPressPoint);
}

CanvasMapping ComputeCanvasMapping(int clientWidth, int clientHeight) {
    const float width = static_cast<float>(clientWidth);
    const float height = static_cast<float>(clientHeight);
    CanvasMapping mapping;
    mapping.scale = std::min(height / kCanvasHeight, width / kCanvasWidth);
    mapping.offsetX = (width - kCanvasWidth * mapping.scale) * 0.5f;
    mapping.offsetY = (height - kCanvasHeight * mapping.scale) * 0.5f;
    return mapping;
}

CanvasPoint ClientToCanvas(const CanvasMapping& mapping, float clientX, float clientY) {
    const float scale = mapping.scale > 0.0f ? mapping.scale : 1.0f;
    return {(clientX - mapping.offsetX) / scale, (clientY - mapping.offsetY) / scale};
}

POINT CanvasToClient(const CanvasMapping& mapping, CanvasPoint point) {
    return {static_cast<LONG>(point.x * mapping.scale + mapping.offsetX),
            static_cast<LONG>(point.y * mapping.scale + mapping.offsetY)};
}

LPARAM ClientPointParam(CanvasPoint point) {
    const POINT client = CanvasToClient(canvasMapping, point);
    return MAKELPARAM(static_cast<WORD>(client.x & 0xFFFF), static_cast<WORD>(client.y & 0xFFFF));
}

const wchar_t* MainButtonLabel(bool busy, LauncherPhase phase) {
    if (busy) return phase == Installing ? L"Kuruluyor\u2026" : L"İndiriliyor\u2026";
    if (phase == Ready) return L"Oyna";
    if (phase == Failed) return L"Tekrar Dene";
    return L"İndir ve Kur";
}

float ProgressFraction(std::uint64_t bytesDone, std::uint64_t bytesTotal) {
    if (bytesTotal == 0) return 0.0f;
    const float fraction = static_cast<float>(static_cast<double>(bytesDone) / static_cast<double>(bytesTotal));
    return std::min(fraction, 1.0f);
}

ProgressFill ProgressFillFor(LauncherPhase phase, float fraction, std::uint64_t tickMilliseconds, bool animations) {
    const float left = kProgressTrackRect.x;
    if (phase == Installing && !animations) return {true, left, kProgressTrackRect.width};
    if (phase == Installing) {
        const float t = static_cast<float>(tickMilliseconds % kSweepPeriodMs);
        return {true, left + (t / static_cast<float>(kSweepPeriodMs)) * kSweepTravel, kSweepWidth};
    }
    if (fraction > 0.0f) return {true, left, std::max(fraction * kProgressTrackRect.width, kMinimumFillWidth)};
    return {false, left, 0.0f};
}

std::wstring ByteCounterText(std::uint64_t bytesDone, std::uint64_t bytesTotal) {
    return std::to_wstring(bytesDone / kMebibyte) + L" / " + std::to_wstring(bytesTotal / kMebibyte) + L" MB";
}

std::wstring ProgressPercentText(std::uint64_t bytesDone, std::uint64_t bytesTotal) {
    if (bytesTotal == 0) return {};
    // In whole numbers: a double would round 99.9999... up to 100 for large totals.
    const std::uint64_t percent =
        bytesDone >= bytesTotal
            ? 100
            : static_cast<std::uint64_t>(static_cast<unsigned __int128>(bytesDone) * 100 / bytesTotal);
    return L"%" + std::to_wstring(percent);
}
