// The command line's host on Linux, macOS and other POSIX systems.
#pragma once

#include "host.h"
#include "posix_platform.h"

namespace kolorvane {

// The host over the standard streams, with the interrupts caught; `process`
// is filled in, and must outlive the host.
Host makePosixHost(PosixProcess* process);

}  // namespace kolorvane
