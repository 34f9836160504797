// The demo game: one window that shows it is VandroGLADE and closes on Esc,
// Enter, a click or its close box. The setup program installs it as
// "VandroGLADE.exe", the process name the launcher looks for.
#include <windows.h>

#include <string>

namespace {

constexpr const wchar_t* kWindowClass = L"VandroGLADE.Game.Window";
constexpr const wchar_t* kWindowTitle = L"VandroGLADE";
constexpr const wchar_t* kPackName = L"VandroGLADE.pak";
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 360;

constexpr COLORREF kBackdrop = RGB(0x07, 0x17, 0x3A);
constexpr COLORREF kTitleColour = RGB(0xFF, 0xD1, 0x4D);
constexpr COLORREF kTextColour = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kHintColour = RGB(0xA8, 0xB8, 0xC8);

// Filled once before the window opens.
std::wstring packLine;

struct GdiObject {
    HGDIOBJ handle;
    ~GdiObject() {
        if (handle) DeleteObject(handle);
    }
};

HFONT MakeFont(int pixelHeight, bool bold) {
    return CreateFontW(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
}

// The pack lies next to the executable; its size tells that the install is whole.
std::wstring DescribePack() {
    wchar_t exe[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return L"Park verisi bulunamadı.";
    std::wstring path(exe, length);
    path.erase(path.find_last_of(L"\\/") + 1);
    path += kPackName;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return L"Park verisi bulunamadı.";
    const unsigned long long bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return L"Park verisi yüklendi: " + std::to_wstring(bytes / 1048576) + L" MB";
}

void DrawLine(HDC dc, const std::wstring& text, int top, int height, int pixelSize, bool bold, COLORREF colour) {
    GdiObject font{MakeFont(pixelSize, bold)};
    const HGDIOBJ previous = SelectObject(dc, font.handle);
    SetTextColor(dc, colour);
    RECT line{0, top, kClientWidth, top + height};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, previous);
}

void Paint(HWND window) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    GdiObject backdrop{CreateSolidBrush(kBackdrop)};
    FillRect(dc, &client, static_cast<HBRUSH>(backdrop.handle));
    SetBkMode(dc, TRANSPARENT);
    DrawLine(dc, L"VandroGLADE", 70, 90, 64, true, kTitleColour);
    DrawLine(dc, L"Parka hoş geldin! Oyun çalışıyor — demo sürümü " VANDRO_DEMO_VERSION L".", 175, 40, 20, false,
             kTextColour);
    DrawLine(dc, packLine, 215, 30, 16, false, kHintColour);
    DrawLine(dc, L"Kapatmak için Esc’e bas ya da pencereye tıkla.", 290, 30, 15, false, kHintColour);
    EndPaint(window, &ps);
}

LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE || wParam == VK_RETURN) DestroyWindow(window);
            return 0;
        case WM_LBUTTONUP:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    packLine = DescribePack();

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = GameWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);

    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const HWND window =
        CreateWindowExW(0, kWindowClass, kWindowTitle, style, (work.left + work.right - width) / 2,
                        (work.top + work.bottom - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
