// The conversion core's operations, as Win32 calls in the ANSI code page.
#pragma once

#include "platform.h"

namespace kolorvane {

Platform makeWin32Platform();

}  // namespace kolorvane
