// The GUI entry point. The command line and show command are not used: the
// window always opens the same way, and files arrive only by drop.
#include <windows.h>

#include "main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return kolorvane::runMainWindow(instance);
}
