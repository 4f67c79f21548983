// The command line's host on Windows: the window's Win32 operations and the
// console's streams.
#pragma once

#include "host.h"
#include "win32_arguments.h"

namespace kolorvane {

// The host for `arguments`, whose names it refuses where the code page
// cannot spell them; they must outlive every use of the host.
Host makeWin32Host(const AnsiArguments& arguments);

}  // namespace kolorvane
