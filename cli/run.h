// The command line from its arguments to its exit status, on any host.
#pragma once

#include "host.h"
#include "options.h"

namespace kolorvane {

constexpr int kExitConverted = 0;  // every FILE converted, or left alone under -n
constexpr int kExitFailed = 1;     // some FILE was not converted, or a report was lost
constexpr int kExitUsage = 2;      // the command line was wrong; nothing was converted

// Parses the arguments (rearranging argv as parseArguments does), then prints
// the help or version, or reports a usage error, or converts every FILE.
int runCommandLine(const Host& host, int argc, char** argv);

// Converts each FILE in turn, one line on standard output for each that is
// written and one on standard error for each that is not.
int convertFiles(const Host& host, const Options& options);

}  // namespace kolorvane
