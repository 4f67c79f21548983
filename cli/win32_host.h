// The command line's host on Windows: the window's Win32 operations, with a
// note of why the first one that fails, and the console's streams.
#pragma once

#include <windows.h>

#include "host.h"

namespace kolorvane {

struct Win32HostState {
    Platform system;      // the Win32 operations the window uses
    DWORD error;          // of the first failure since forgetFailure, 0 for none
    bool folder;          // that failure was on a path that names a folder
    const char* opening;  // the source being read, to look at when a read fails
};

// The table of operations over `state`, which it sets up and which must
// outlive every use of the table.
Host makeWin32Host(Win32HostState* state);

}  // namespace kolorvane
