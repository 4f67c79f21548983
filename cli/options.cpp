#include "options.h"

#include <cstring>

namespace kolorvane {

namespace {

enum class LongOption { OutputDirectory, NoClobber, Quiet, Help, Version, Unknown };

struct LongName {
    const char* name;
    LongOption option;
};

constexpr LongName kLongNames[] = {
    {"output-dir", LongOption::OutputDirectory},
    {"no-clobber", LongOption::NoClobber},
    {"quiet", LongOption::Quiet},
    {"help", LongOption::Help},
    {"version", LongOption::Version},
};

// The whole name before any "=": GNU tools also take unambiguous
// abbreviations, but a script that relies on them breaks when an option is
// added, so only full names are accepted.
LongOption findLongOption(const char* name, std::size_t length) {
    for (const LongName& entry : kLongNames) {
        if (std::strlen(entry.name) == length && std::strncmp(entry.name, name, length) == 0) {
            return entry.option;
        }
    }
    return LongOption::Unknown;
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

Command setOutputDirectory(Options* options, const char* value, const char* option) {
    if (value == nullptr) {
        return usageError(options, "option '", option, std::strlen(option), "' needs a folder");
    }
    if (value[0] == '\0') {
        return usageError(options, "option '", option, std::strlen(option),
                          "' was given an empty folder name");
    }
    options->outputDirectory = value;
    return Command::Convert;
}

// One "--name" or "--name=value"; `next` is the index of the argument that
// may hold the value, advanced when it does.
Command readLongOption(int argc, char** argv, int* next, Options* options) {
    const char* argument = argv[*next - 1];
    const char* name = argument + 2;
    const char* equals = std::strchr(name, '=');
    const std::size_t nameLength =
        equals == nullptr ? std::strlen(name) : static_cast<std::size_t>(equals - name);
    const LongOption option = findLongOption(name, nameLength);
    if (option == LongOption::Unknown) {
        return usageError(options, "unknown option '--", name, nameLength, "'");
    }
    if (option == LongOption::OutputDirectory) {
        const char* value = equals != nullptr ? equals + 1 : nullptr;
        if (value == nullptr && *next < argc) {
            value = argv[(*next)++];
        }
        return setOutputDirectory(options, value, "--output-dir");
    }
    if (equals != nullptr) {
        return usageError(options, "option '--", name, nameLength, "' takes no value");
    }
    switch (option) {
        case LongOption::NoClobber:
            options->noClobber = true;
            return Command::Convert;
        case LongOption::Quiet:
            options->quiet = true;
            return Command::Convert;
        case LongOption::Help:
            return Command::Help;
        case LongOption::Version:
            return Command::Version;
        case LongOption::OutputDirectory:
        case LongOption::Unknown:
            break;
    }
    return Command::UsageError;
}

// A group of short options such as "-nq" or "-qoDIR".
Command readShortOptions(int argc, char** argv, int* next, Options* options) {
    const char* argument = argv[*next - 1];
    for (std::size_t i = 1; argument[i] != '\0'; i++) {
        switch (argument[i]) {
            case 'n':
                options->noClobber = true;
                break;
            case 'q':
                options->quiet = true;
                break;
            case 'h':
                return Command::Help;
            case 'o': {
                // The rest of the group is the folder, or else the next argument.
                const char* value = argument[i + 1] != '\0' ? argument + i + 1 : nullptr;
                if (value == nullptr && *next < argc) {
                    value = argv[(*next)++];
                }
                return setOutputDirectory(options, value, "-o");
            }
            default:
                return usageError(options, "unknown option '-", argument + i, 1, "'");
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
