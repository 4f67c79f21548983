#include "options.h"

#include <cstring>

namespace kolorvane {

namespace {

enum class Meaning {
    To,
    From,
    OutputDirectory,
    CmykProfile,
    NoClobber,
    Quiet,
    Truncate,
    Show,
    Help,
    Version
};

struct Option {
    const char* longName;
    Meaning meaning;
    char shortName;  // '\0': long name only
    OptionValue value;
    const char* summary;
};

constexpr Option kOptions[] = {
    {"to", Meaning::To, 't', OptionValue::TargetFormat, "convert into FORMAT"},
    {"from", Meaning::From, '\0', OptionValue::SourceFormat,
     "read every FILE as FORMAT, whatever its name or bytes say"},
    {"output-dir", Meaning::OutputDirectory, 'o', OptionValue::Folder,
     "write the outputs into DIR instead"},
    {"cmyk-profile", Meaning::CmykProfile, '\0', OptionValue::File,
     "convert CMYK swatches through this ICC profile"},
    {"no-clobber", Meaning::NoClobber, 'n', OptionValue::None,
     "leave an existing output alone and say so"},
    {"truncate", Meaning::Truncate, '\0', OptionValue::None,
     "keep the first colours a smaller format holds"},
    {"quiet", Meaning::Quiet, 'q', OptionValue::None, "print errors only"},
    {"show", Meaning::Show, '\0', OptionValue::None, "list each FILE's colours; write nothing"},
    {"help", Meaning::Help, 'h', OptionValue::None, "show the help and exit"},
    {"version", Meaning::Version, '\0', OptionValue::None, "show the version and exit"},
};

bool takesValue(const Option& option) { return option.value != OptionValue::None; }

// An option's name as the user wrote it, for the messages, with what goes
// before it in them ("option '-", "unknown option '--"...).
struct Spelling {
    const char* before;
    const char* name;
    std::size_t length;
};

// By its long name, or with `length` 0 by the one byte of its short name.
// A long name is the whole name before any "=": GNU tools also take
// unambiguous abbreviations, but a script that relies on them breaks when an
// option is added, so only full names are accepted.
const Option* findOption(const char* name, std::size_t length) {
    for (const Option& option : kOptions) {
        if (length == 0 ? option.shortName == name[0]
                        : std::strlen(option.longName) == length &&
                              std::strncmp(option.longName, name, length) == 0) {
            return &option;
        }
    }
    return nullptr;
}

// `before`, at most 64 bytes of `subject` and `after`: an absurdly long
// argument must not push the rest of the line out of the buffer. Put
// together by hand, as printf's family would add its formatting code to the
// Windows .exe for this one line.
Command usageError(Options* options, const Spelling& spelling, const char* after) {
    static_assert(kProblemSize > 64 + 64, "room for the longest problem");
    const std::size_t beforeLength = std::strlen(spelling.before);
    const std::size_t shown = spelling.length > 64 ? 64 : spelling.length;
    // Each copy is terminated by the next; the last brings the terminator.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(options->problem, spelling.before, beforeLength);
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(options->problem + beforeLength, spelling.name, shown);
    std::memcpy(options->problem + beforeLength + shown, after, std::strlen(after) + 1);
    return Command::UsageError;
}

// A --to or --from FORMAT: a name of the table, and for --to one written.
Command applyFormat(const Spelling& spelling, const char* value, bool written, Options* options,
                    const Format** format) {
    if (value == nullptr) {
        return usageError(options, spelling, "' needs a format");
    }
    *format = formatNamed(value);
    if (*format == nullptr) {
        return usageError(options, Spelling{"unknown format '", value, std::strlen(value)}, "'");
    }
    if (written && (*format)->write == nullptr) {
        return usageError(options, Spelling{"format '", value, std::strlen(value)},
                          "' is only read: --from takes it, --to does not");
    }
    if (!written && (*format)->read == nullptr && (*format)->readStream == nullptr) {
        return usageError(options, Spelling{"format '", value, std::strlen(value)},
                          "' is only written: --to takes it, --from does not");
    }
    return Command::Convert;
}

// The file is read and checked once the whole command line is read.
Command applyCmykProfile(const Spelling& spelling, const char* value, Options* options) {
    if (value == nullptr || value[0] == '\0') {
        return usageError(options, spelling,
                          value == nullptr ? "' needs a file" : "' was given an empty file name");
    }
    options->cmykProfile = value;
    return Command::Convert;
}

// What each option means, in one place; `value` is null when none was given.
Command apply(const Option& option, const Spelling& spelling, const char* value, Options* options) {
    switch (option.meaning) {
        case Meaning::To:
            return applyFormat(spelling, value, true, options, &options->to);
        case Meaning::From:
            return applyFormat(spelling, value, false, options, &options->from);
        case Meaning::OutputDirectory:
            if (value == nullptr) {
                return usageError(options, spelling, "' needs a folder");
            }
            if (value[0] == '\0') {
                return usageError(options, spelling, "' was given an empty folder name");
            }
            options->outputDirectory = value;
            return Command::Convert;
        case Meaning::CmykProfile:
            return applyCmykProfile(spelling, value, options);
        case Meaning::NoClobber:
            options->noClobber = true;
            return Command::Convert;
        case Meaning::Quiet:
            options->quiet = true;
            return Command::Convert;
        case Meaning::Truncate:
            options->truncate = true;
            return Command::Convert;
        case Meaning::Show:
            options->show = true;
            return Command::Convert;
        case Meaning::Help:
            return Command::Help;
        case Meaning::Version:
            break;
    }
    return Command::Version;
}

// The value of an option that takes one: `joined` when it came in the same
// argument, else the next argument, which `next` then passes.
const char* valueOf(const char* joined, int argc, char** argv, int* next) {
    if (joined == nullptr && *next < argc) {
        return argv[(*next)++];
    }
    return joined;
}

// One "--name" or "--name=value"; `next` is the index of the argument that
// may hold the value, advanced when it does.
Command readLongOption(int argc, char** argv, int* next, Options* options) {
    const char* name = argv[*next - 1] + 2;
    const char* equals = std::strchr(name, '=');
    const std::size_t length =
        equals == nullptr ? std::strlen(name) : static_cast<std::size_t>(equals - name);
    const Spelling spelling = {"option '--", name, length};
    const Option* option = findOption(name, length);
    if (option == nullptr) {
        return usageError(options, Spelling{"unknown option '--", name, length}, "'");
    }
    if (!takesValue(*option) && equals != nullptr) {
        return usageError(options, spelling, "' takes no value");
    }
    const char* value = takesValue(*option)
                            ? valueOf(equals == nullptr ? nullptr : equals + 1, argc, argv, next)
                            : nullptr;
    return apply(*option, spelling, value, options);
}

// A group of short options such as "-nq" or "-qoDIR".
Command readShortOptions(int argc, char** argv, int* next, Options* options) {
    const char* argument = argv[*next - 1];
    for (std::size_t i = 1; argument[i] != '\0'; i++) {
        const Option* option = findOption(argument + i, 0);
        if (option == nullptr) {
            return usageError(options, Spelling{"unknown option '-", argument + i, 1}, "'");
        }
        const Spelling spelling = {"option '-", argument + i, 1};
        // The rest of the group is the value, or else the next argument.
        const char* rest = argument[i + 1] != '\0' ? argument + i + 1 : nullptr;
        const char* value = takesValue(*option) ? valueOf(rest, argc, argv, next) : nullptr;
        const Command command = apply(*option, spelling, value, options);
        if (command != Command::Convert || takesValue(*option)) {
            return command;
        }
    }
    return Command::Convert;
}

// What --show cannot go with, or null: the options about the output it
// never writes.
const char* showProblem(const Options& options) {
    if (options.to != nullptr) {
        return "--show cannot go with --to (-t): it converts nothing";
    }
    if (options.outputDirectory != nullptr) {
        return "--show cannot go with --output-dir (-o): it writes nothing";
    }
    if (options.noClobber) {
        return "--show cannot go with --no-clobber (-n): it writes nothing";
    }
    if (options.truncate) {
        return "--show cannot go with --truncate: it writes nothing";
    }
    return nullptr;
}

}  // namespace

std::size_t optionCount() { return sizeof kOptions / sizeof kOptions[0]; }

OptionSpelling optionSpelling(std::size_t index) {
    const Option& option = kOptions[index];
    return {option.longName, option.shortName, option.value, option.summary};
}

Command parseArguments(int argc, char** argv, Options* options) {
    *options = Options{};
    options->files = argv + 1;

    bool optionsEnded = false;
    int next = 1;
    while (next < argc) {
        char* argument = argv[next++];
        // Each operand moves to the next free place at the front; that place
        // is never past `argument`'s own, so nothing unread is overwritten.
        if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
            options->files[options->fileCount++] = argument;
            continue;
        }
        if (std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        const Command command = argument[1] == '-' ? readLongOption(argc, argv, &next, options)
                                                   : readShortOptions(argc, argv, &next, options);
        if (command != Command::Convert) {
            return command;
        }
    }
    const char* problem = options->show ? showProblem(*options) : nullptr;
    if (problem == nullptr && options->fileCount == 0) {
        problem = "no FILE given";
    }
    if (problem != nullptr) {
        std::memcpy(options->problem, problem, std::strlen(problem) + 1);
        return Command::UsageError;
    }
    return options->show ? Command::Show : Command::Convert;
}

}  // namespace kolorvane
