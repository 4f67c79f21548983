// The command line's host on Windows: the window's Win32 operations and the
// console's streams.
#pragma once

#include "host.h"

namespace kolorvane {

Host makeWin32Host();

}  // namespace kolorvane
