// The command line's options, read the way GNU tools read theirs: options and
// FILEs in any order, "--" ends the options, short options may be grouped
// ("-nq") and take their value joined or separate ("-oDIR", "-o DIR"), long
// ones with "=" or separate ("--output-dir=DIR"). A --to FORMAT is checked
// here against the table of formats: an unknown one is a usage error.
#pragma once

#include <cstddef>

#include "format.h"

namespace kolorvane {

enum class Command {
    Convert,
    Help,
    Version,
    UsageError,
};

constexpr std::size_t kProblemSize = 320;

struct Options {
    const char* outputDirectory;  // null: each output beside its source
    const Format* to;             // null: each source's default target
    const char* cmykProfile;      // null: the CMYK profile built into the program
    bool noClobber;
    bool quiet;
    char** files;  // the FILE operands in the order given
    int fileCount;
    char problem[kProblemSize];  // for a usage error, what was wrong, one line
};

// Reads argv[1] to argv[argc - 1]. The FILE operands are gathered, in their
// order, at the front of argv + 1 (where `files` then points), as GNU getopt
// rearranges argv; the strings themselves stay where they are.
Command parseArguments(int argc, char** argv, Options* options);

}  // namespace kolorvane
