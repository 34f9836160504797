// The cheapest window start-up this Wine allows, the reference for the
// launcher's own: one class, one pop-up window of the launcher's size,
// painted one colour as soon as it shows, then the message loop until the
// window is closed. Linked with nothing of the launcher (neither its library
// nor its resources), so launch_bench times only what any window costs.
#include <windows.h>

namespace {

constexpr const wchar_t* kClassName = L"VandroBench.BareWindow";

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            HBRUSH colour = CreateSolidBrush(RGB(0xFF, 0xFC, 0xF2));
            FillRect(dc, &paint.rcPaint, colour);
            DeleteObject(colour);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = BareWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) return 1;
    HWND window = CreateWindowExW(0, kClassName, L"Bare window", WS_POPUP, 0, 0, 1000, 650,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    // As the launcher does: the first frame is painted before the loop.
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
