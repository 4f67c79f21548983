#include "main_window.h"

#include <shellapi.h>

#include "ansi_names.h"
#include "dropped_file.h"
#include "win32_platform.h"

namespace kolorvane {

namespace {

constexpr char kClassName[] = "Default Class Name";
constexpr char kTitle[] = "Kolorvane";
constexpr int kWindowSize = 200;  // outer size at 96 DPI

bool registerMainClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageA(nullptr, IDI_APPLICATION, IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = static_cast<HCURSOR>(
        LoadImageA(nullptr, IDC_ARROW, IMAGE_CURSOR, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kClassName;
    return RegisterClassExA(&windowClass) != 0;
}

// The DPI functions came with Windows 10 1607: they are looked up at run
// time, so that the program still starts on Windows 7 and 8, whose user32
// lacks them. FARPROC goes through void (*)(), which converts to any
// function pointer type without a warning.
FARPROC user32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 == nullptr ? nullptr : GetProcAddress(user32, name);
}

// The screen's DPI as Windows 7, 8 and 8.1 give it: the system's.
UINT screenDpi() {
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return USER_DEFAULT_SCREEN_DPI;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// The DPI windows are made for, before there is one to ask.
UINT systemDpi() {
    const auto getDpiForSystem = reinterpret_cast<UINT(WINAPI*)()>(
        reinterpret_cast<void (*)()>(user32Function("GetDpiForSystem")));
    return getDpiForSystem != nullptr ? getDpiForSystem() : screenDpi();
}

// The DPI of the monitor `window` is on.
UINT monitorDpi(HWND window) {
    const auto getDpiForWindow = reinterpret_cast<UINT(WINAPI*)(HWND)>(
        reinterpret_cast<void (*)()>(user32Function("GetDpiForWindow")));
    return getDpiForWindow != nullptr ? getDpiForWindow(window) : systemDpi();
}

// The window's outer rectangle at `dpi`: the size that looks as 200 pixels do
// at 96 DPI, centred on the screen.
RECT centredRect(UINT dpi) {
    const int size = MulDiv(kWindowSize, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    RECT rect = {};
    rect.left = (GetSystemMetrics(SM_CXSCREEN) - size) / 2;
    rect.top = (GetSystemMetrics(SM_CYSCREEN) - size) / 2;
    rect.right = rect.left + size;
    rect.bottom = rect.top + size;
    return rect;
}

void moveWindowTo(HWND window, const RECT& rect) {
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Made at the system's DPI, which is fixed at sign-in, the window may find
// its monitor at another (its scale changed since); the system sends no
// WM_DPICHANGED for that, so it is resized here, before it is shown.
HWND createMainWindow(HINSTANCE instance) {
    const UINT createdAt = systemDpi();
    const RECT rect = centredRect(createdAt);
    const HWND window = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, rect.left,
                                        rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                        nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    const UINT dpi = monitorDpi(window);
    if (dpi != createdAt) {
        moveWindowTo(window, centredRect(dpi));
    }
    return window;
}

// Moved to a monitor of another DPI: the rectangle the system suggests keeps
// the window's size to the eye, and its place under the cursor.
LRESULT onDpiChanged(HWND window, const RECT* suggested) {
    moveWindowTo(window, *suggested);
    return 0;
}

LRESULT onDestroy() {
    PostQuitMessage(0);
    return 0;
}

// The first dropped file's path in the ANSI code page, into `path` (MAX_PATH
// zeroed bytes), or nothing when that path would not name exactly the file
// dropped: a name longer than the buffer would have to be cut, and one with
// a character the code page lacks would come out as a look-alike (the yen
// sign as a backslash, é as e), both naming some other file. The empty path
// left is reported as a file the program cannot handle.
void fetchDroppedPath(HDROP drop, char* path) {
    wchar_t name[MAX_PATH] = {};
    if (DragQueryFileW(drop, 0, nullptr, 0) >= MAX_PATH ||
        DragQueryFileW(drop, 0, name, MAX_PATH) == 0) {
        return;
    }
    if (exactAnsiName(GetACP(), name, path, MAX_PATH) != AnsiName::Exact) {
        ZeroMemory(path, MAX_PATH);
    }
}

// Converts the first file of the drop.
LRESULT onDropFiles(HDROP drop) {
    char* path = static_cast<char*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, MAX_PATH));
    if (path == nullptr) {
        DragFinish(drop);
        return 0;
    }
    fetchDroppedPath(drop, path);
    handleDroppedFile(makeWin32Platform(), path);
    DragFinish(drop);
    GlobalFree(path);
    return 0;
}

}  // namespace

int runMainWindow(HINSTANCE instance) {
    if (!registerMainClass(instance)) {
        return 1;
    }
    const HWND window = createMainWindow(instance);
    if (window == nullptr) {
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    DragAcceptFiles(window, TRUE);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            return onDestroy();
        case WM_DROPFILES:
            return onDropFiles(reinterpret_cast<HDROP>(wParam));
        case WM_DPICHANGED:
            return onDpiChanged(window, reinterpret_cast<const RECT*>(lParam));
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace kolorvane
