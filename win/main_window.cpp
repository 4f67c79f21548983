#include "main_window.h"

#include <shellapi.h>

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

// Converts the first file of the drop. A path longer than the buffer is not
// fetched at all: cut short it would name some other file, so the empty
// path it leaves is reported as a file the program cannot handle.
LRESULT onDropFiles(HDROP drop) {
    char* path = static_cast<char*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, MAX_PATH));
    if (path == nullptr) {
        DragFinish(drop);
        return 0;
    }
    const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
    if (length < MAX_PATH) {
        DragQueryFileA(drop, 0, path, MAX_PATH);
    }
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
