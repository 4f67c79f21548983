// The program's one window: a drop target centred on the screen, 200 x 200 at
// 96 DPI and as large to the eye at any other.
#pragma once

#include <windows.h>

namespace kolorvane {

// Registers the class, shows the window and runs the message loop. Returns
// the process's exit code: 0 when the loop ends, 1 when start-up fails.
int runMainWindow(HINSTANCE instance);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kolorvane
