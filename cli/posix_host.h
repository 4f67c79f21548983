// The command line's host on Linux, macOS and other POSIX systems.
#pragma once

#include "host.h"
#include "posix_platform.h"

namespace kolorvane {

// The host over the standard streams, with the interrupts caught.
Host makePosixHost();

}  // namespace kolorvane
