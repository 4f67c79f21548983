// The core's file operations on Linux, macOS and other POSIX systems.
#pragma once

#include "platform.h"

namespace kolorvane {

// The sequence the temporary names are drawn from.
struct PosixNames {
    unsigned long long seed;
    unsigned long long tried;
};

// The operations over `names`, which it seeds and which must outlive every
// use of the table.
Platform makePosixPlatform(PosixNames* names);

}  // namespace kolorvane
