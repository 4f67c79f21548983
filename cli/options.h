// The command line's options, read the way GNU tools read theirs: options and
// FILEs in any order, "--" ends the options, short options may be grouped
// ("-nq") and take their value joined or separate ("-oDIR", "-o DIR"), long
// ones with "=" or separate ("--output-dir=DIR"). A --to or --from FORMAT is
// checked here against the table of formats: an unknown one is a usage
// error, and so is a --to FORMAT that is only read. --show writes nothing,
// so an option about what is written is a usage error beside it.
#pragma once

#include <cstddef>

#include "format.h"

namespace kolorvane {

enum class Command {
    Convert,
    Show,  // list each FILE's colours; nothing written
    Help,
    Version,
    UsageError,
};

constexpr std::size_t kProblemSize = 320;

struct Options {
    const char* outputDirectory;  // null: each output beside its source
    const Format* from;           // null: each source as its extension and bytes say
    const Format* to;             // null: each source's default target
    const char* cmykProfile;      // null: the CMYK profile built into the program
    bool noClobber;
    bool quiet;
    bool truncate;  // write the first colours a smaller format holds
    bool show;
    char** files;  // the FILE operands in the order given
    int fileCount;
    char problem[kProblemSize];  // for a usage error, what was wrong, one line
};

// What an option's value is, so that a shell can offer it: nothing, a format
// --to writes (a format with a writer), any format's name, a folder or a
// file.
enum class OptionValue { None, TargetFormat, SourceFormat, Folder, File };

// An option as the user spells it, for the shell completions.
struct OptionSpelling {
    const char* longName;
    char shortName;  // '\0': long name only
    OptionValue value;
    const char* summary;  // what it does, a few words as in the help
};

// The options, in the order of their table.
std::size_t optionCount();
OptionSpelling optionSpelling(std::size_t index);

// Reads argv[1] to argv[argc - 1]. The FILE operands are gathered, in their
// order, at the front of argv + 1 (where `files` then points), as GNU getopt
// rearranges argv; the strings themselves stay where they are.
Command parseArguments(int argc, char** argv, Options* options);

}  // namespace kolorvane
