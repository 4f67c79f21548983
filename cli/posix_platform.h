// The core's file operations on Linux, macOS and other POSIX systems.
#pragma once

#include <sys/types.h>

#include "platform.h"

namespace kolorvane {

// What the operations need to know of the process, read once at the start.
struct PosixProcess {
    mode_t umask;  // the permissions a new file of the user's is denied
};

// The operations, with `process` (which must outlive the table) as their
// context.
Platform makePosixPlatform(PosixProcess* process);

}  // namespace kolorvane
