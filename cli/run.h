// The command line from its arguments to its exit status, on any host.
#pragma once

#include "host.h"
#include "options.h"

namespace kolorvane {

constexpr int kExitConverted = 0;  // every FILE converted, or left alone under -n
constexpr int kExitDone = 0;       // the help or version printed
constexpr int kExitFailed = 1;     // some FILE was not converted, or a report was lost
constexpr int kExitUsage = 2;      // the command line was wrong; nothing was converted

// Parses the arguments (rearranging argv as parseArguments does), then prints
// the help or version, or reports a usage error, or converts every FILE in
// turn: one line on standard output for each that is written and one on
// standard error for each that is not.
//
// The host's streams are given buffers of this call's own, and are flushed
// before it returns: nothing may be written to them afterwards.
int runCommandLine(const Host& host, int argc, char** argv);

}  // namespace kolorvane
