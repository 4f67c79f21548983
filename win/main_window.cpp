#include "main_window.h"

#include <shellapi.h>

#include "ansi_names.h"
#include "convert.h"
#include "win32_platform.h"

namespace kolorvane {

namespace {

constexpr char kClassName[] = "Default Class Name";
constexpr char kTitle[] = "Kolorvane";
constexpr int kWindowSize = 200;

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

HWND createMainWindow(HINSTANCE instance) {
    const int left = (GetSystemMetrics(SM_CXSCREEN) - kWindowSize) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - kWindowSize) / 2;
    return CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, left, top, kWindowSize,
                           kWindowSize, nullptr, nullptr, instance, nullptr);
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
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace kolorvane
