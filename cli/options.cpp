#include "options.h"

#include <cstring>

namespace kolorvane {

namespace {

enum class Meaning { OutputDirectory, NoClobber, Quiet, Help, Version };

struct Option {
    char shortName;  // '\0': long name only
    const char* longName;
    Meaning meaning;
    bool takesValue;
};

constexpr Option kOptions[] = {
    {'o', "output-dir", Meaning::OutputDirectory, true},
    {'n', "no-clobber", Meaning::NoClobber, false},
    {'q', "quiet", Meaning::Quiet, false},
    {'h', "help", Meaning::Help, false},
    {'\0', "version", Meaning::Version, false},
};

// An option as the user wrote it, for the messages: its name and what goes
// before it in them ("option '-" or "option '--").
struct Spelling {
    const char* before;
    const char* name;
    std::size_t length;
};

// The whole name before any "=": GNU tools also take unambiguous
// abbreviations, but a script that relies on them breaks when an option is
// added, so only full names are accepted.
const Option* findLong(const char* name, std::size_t length) {
    for (const Option& option : kOptions) {
        if (std::strlen(option.longName) == length &&
            std::strncmp(option.longName, name, length) == 0) {
            return &option;
        }
    }
    return nullptr;
}

const Option* findShort(char name) {
    for (const Option& option : kOptions) {
        if (option.shortName == name) {
            return &option;
        }
    }
    return nullptr;
}

// `before`, at most 64 bytes of `subject` and `after`: an absurdly long
// argument must not push the rest of the line out of the buffer. Put
// together by hand, as printf's family would add its formatting code to the
// Windows .exe for this one line.
Command usageError(Options* options, const char* before, const char* subject,
                   std::size_t subjectLength, const char* after) {
    const std::size_t shown = subjectLength > 64 ? 64 : subjectLength;
    const std::size_t beforeLength = std::strlen(before);
    const std::size_t afterLength = std::strlen(after);
    static_assert(kProblemSize > 64 + 64, "room for the longest problem");
    // The copy of `after` at the end brings the terminator.
    char* end = options->problem;
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(end, before, beforeLength);
    end += beforeLength;
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(end, subject, shown);
    end += shown;
    std::memcpy(end, after, afterLength + 1);
    return Command::UsageError;
}

Command problemWith(Options* options, const Spelling& option, const char* problem) {
    return usageError(options, option.before, option.name, option.length, problem);
}

// What each option means, in one place; `value` is null when none was given.
Command apply(const Option& option, const Spelling& spelling, const char* value,
              Options* options) {
    switch (option.meaning) {
        case Meaning::OutputDirectory:
            if (value == nullptr) {
                return problemWith(options, spelling, "' needs a folder");
            }
            if (value[0] == '\0') {
                return problemWith(options, spelling, "' was given an empty folder name");
            }
            options->outputDirectory = value;
            return Command::Convert;
        case Meaning::NoClobber:
            options->noClobber = true;
            return Command::Convert;
        case Meaning::Quiet:
            options->quiet = true;
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
    const Spelling spelling = {
        "option '--", name, equals == nullptr ? std::strlen(name) : static_cast<std::size_t>(equals - name)};
    const Option* option = findLong(name, spelling.length);
    if (option == nullptr) {
        return usageError(options, "unknown option '--", name, spelling.length, "'");
    }
    if (!option->takesValue && equals != nullptr) {
        return problemWith(options, spelling, "' takes no value");
    }
    const char* value =
        option->takesValue ? valueOf(equals == nullptr ? nullptr : equals + 1, argc, argv, next)
                           : nullptr;
    return apply(*option, spelling, value, options);
}

// A group of short options such as "-nq" or "-qoDIR".
Command readShortOptions(int argc, char** argv, int* next, Options* options) {
    const char* argument = argv[*next - 1];
    for (std::size_t i = 1; argument[i] != '\0'; i++) {
        const Option* option = findShort(argument[i]);
        if (option == nullptr) {
            return usageError(options, "unknown option '-", argument + i, 1, "'");
        }
        const Spelling spelling = {"option '-", argument + i, 1};
        // The rest of the group is the value, or else the next argument.
        const char* rest = argument[i + 1] != '\0' ? argument + i + 1 : nullptr;
        const char* value = option->takesValue ? valueOf(rest, argc, argv, next) : nullptr;
        const Command command = apply(*option, spelling, value, options);
        if (command != Command::Convert || option->takesValue) {
            return command;
        }
    }
    return Command::Convert;
}

}  // namespace

Command parseArguments(int argc, char** argv, Options* options) {
    options->outputDirectory = nullptr;
    options->noClobber = false;
    options->quiet = false;
    options->files = argv + 1;
    options->fileCount = 0;
    options->problem[0] = '\0';

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
    if (options->fileCount == 0) {
        std::memcpy(options->problem, "no FILE given", sizeof "no FILE given");
        return Command::UsageError;
    }
    return Command::Convert;
}

}  // namespace kolorvane
