// The command line's host on Linux, macOS and other POSIX systems.
#pragma once

#include "host.h"

namespace kolorvane {

struct PosixHostState {
    int error;  // errno of the first failure since forgetFailure, 0 for none
    unsigned long long nameSeed;
    unsigned long long namesTried;
};

// The table of operations over `state`, which it sets up and which must
// outlive every use of the table.
Host makePosixHost(PosixHostState* state);

}  // namespace kolorvane
