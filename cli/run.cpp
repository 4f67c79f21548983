#include "run.h"

#include <cstring>

#include "convert.h"
#include "naming.h"
#include "palette.h"

#ifndef KOLORVANE_VERSION_TEXT
#error "KOLORVANE_VERSION_TEXT is set by the build"
#endif

namespace kolorvane {

namespace {

constexpr char kProgram[] = "kolorvane-cli";

constexpr const char* kHelpLines[] = {
    "Usage: kolorvane-cli [OPTIONS] FILE...",
    "Converts each FILE ending in .pal (any case) to an .act, and each ending in",
    ".act to a .pal, beside it: Sunset.PAL gives Sunset.act. An existing output",
    "is replaced, always completely or not at all.",
    "",
    "  -o, --output-dir DIR  write the outputs into DIR instead",
    "  -n, --no-clobber      leave an existing output alone and say so",
    "  -q, --quiet           print errors only",
    "  -h, --help            show this help and exit",
    "      --version         show the version and exit",
    "",
    "Each output written is named on standard output; each FILE not converted,",
    "and each output left alone by -n, on standard error.",
    "Exit status: 0 when every FILE was converted (an output left alone by -n",
    "counts as done), 1 when any FILE was not, 2 for a wrong command line.",
};

// Room for the longest report: two paths that fit kMaxPath, the system's
// message and the words around them.
constexpr std::size_t kLineSize = 3 * kMaxPath + 128;
constexpr std::size_t kMessageSize = kMaxPath;
// Standard output is gathered into this many bytes before a write, unless it
// is a terminal, so that a batch does not cost a system call per file.
constexpr std::size_t kOutputBufferSize = 16384;

struct Line {
    char text[kLineSize];
    std::size_t used;
};

struct Report {
    bool quiet;
    bool interactive;  // standard output is a terminal: each line goes at once
    bool outputLost;   // a write to standard output failed
    bool errorLost;    // a write to standard error failed
    std::size_t used;
    char buffer[kOutputBufferSize];
};

// Appends as much of `text` as fits; a line cut short still ends in newline.
void append(Line* line, const char* text) {
    const std::size_t room = sizeof line->text - line->used;
    std::size_t length = std::strlen(text);
    if (length > room) {
        length = room;
    }
    std::memcpy(line->text + line->used, text, length);
    line->used += length;
}

void endLine(const Host& host, Line* line) {
    const std::size_t newline = std::strlen(host.newline);
    if (line->used + newline > sizeof line->text) {
        line->used = sizeof line->text - newline;
    }
    std::memcpy(line->text + line->used, host.newline, newline);
    line->used += newline;
}

void write(const Host& host, Stream stream, const char* bytes, std::size_t size, Report* report) {
    if (size != 0 && !host.writeStream(host.platform.context, stream, bytes, size)) {
        (stream == Stream::Output ? report->outputLost : report->errorLost) = true;
    }
}

void flushOutput(const Host& host, Report* report) {
    write(host, Stream::Output, report->buffer, report->used, report);
    report->used = 0;
}

void printOutput(const Host& host, const Line& line, Report* report) {
    if (report->used + line.used > sizeof report->buffer) {
        flushOutput(host, report);
    }
    std::memcpy(report->buffer + report->used, line.text, line.used);
    report->used += line.used;
    if (report->interactive) {
        flushOutput(host, report);
    }
}

// Standard output goes first, so that a terminal or a file that receives
// both shows every line in the order of the FILEs.
void printError(const Host& host, const Line& line, Report* report) {
    flushOutput(host, report);
    write(host, Stream::Error, line.text, line.used, report);
}

// "kolorvane-cli: FILE: " and the words of `reason`, `detail` and the
// system's message, each when there is one.
void reportFailure(const Host& host, const char* file, const char* reason, const char* detail,
                   bool withSystemText, Report* report) {
    Line line{};
    append(&line, kProgram);
    append(&line, ": ");
    append(&line, file);
    append(&line, ": ");
    append(&line, reason);
    append(&line, detail);
    if (withSystemText) {
        char text[kMessageSize] = {};
        host.failureText(host.platform.context, text, sizeof text);
        if (text[0] != '\0') {
            append(&line, ": ");
            append(&line, text);
        }
    }
    endLine(host, &line);
    printError(host, line, report);
}

void reportWritten(const Host& host, const char* file, const char* target, Report* report) {
    if (report->quiet) {
        return;
    }
    Line line{};
    append(&line, file);
    append(&line, " -> ");
    append(&line, target);
    endLine(host, &line);
    printOutput(host, line, report);
}

void reportKept(const Host& host, const char* file, const char* target, Report* report) {
    if (report->quiet) {
        return;
    }
    Line line{};
    append(&line, kProgram);
    append(&line, ": ");
    append(&line, file);
    append(&line, ": ");
    append(&line, target);
    append(&line, " exists, left alone");
    endLine(host, &line);
    printError(host, line, report);
}

// Why the source could not be opened or read, in the user's terms.
void reportSourceFailure(const Host& host, const char* file, SourceStatus status, Report* report) {
    switch (host.failureCause(host.platform.context)) {
        case FailureCause::NoSuchFile:
            reportFailure(host, file, "no such file", "", false, report);
            return;
        case FailureCause::Folder:
            reportFailure(host, file, "is a folder, not a file", "", false, report);
            return;
        case FailureCause::None:
        case FailureCause::Other:
            break;
    }
    reportFailure(host, file, status == SourceStatus::NotOpened ? "cannot open" : "cannot read", "",
                  true, report);
}

// Copies `text` and a terminator into a kMaxPath buffer; false if it does not fit.
bool copyPath(const char* text, std::size_t length, char* path) {
    if (length >= kMaxPath) {
        return false;
    }
    std::memcpy(path, text, length);
    path[length] = '\0';
    return true;
}

// The folder the outputs go to when -o names one, ending in a separator as
// the core expects. False if it does not fit with room for a name.
bool outputFolder(const Host& host, const char* folder, char* directory) {
    const std::size_t length = pathLength(folder);
    if (!copyPath(folder, length, directory)) {
        return false;
    }
    if (directoryPartLength(host.platform, directory, host.separators) == length) {
        return true;  // already ends in a separator
    }
    if (length + 1 >= kMaxPath) {
        return false;
    }
    directory[length] = host.separators[0];
    directory[length + 1] = '\0';
    return true;
}

// One FILE, from its name to its report. `outputDirectory` is null for an
// output beside the source. True unless it failed.
bool convertFile(const Host& host, const char* file, const char* outputDirectory,
                 ExistingOutput existing, Report* report) {
    char path[kMaxPath] = {};
    if (!copyPath(file, pathLength(file), path)) {
        reportFailure(host, file, "the path is too long", "", false, report);
        return false;
    }
    const PaletteKind kind = classifyPath(path);
    if (kind == PaletteKind::Unsupported) {
        reportFailure(host, file, "not a .pal or .act file name", "", false, report);
        return false;
    }

    // The output's name is the source's with the window's rule, beside it or
    // in the folder given.
    const std::size_t split = directoryPartLength(host.platform, path, host.separators);
    char directory[kMaxPath] = {};
    char output[kMaxPath] = {};
    char target[kMaxPath] = {};
    const char* folder = outputDirectory;
    if (folder == nullptr) {
        copyPath(path, split, directory);
        folder = directory;
    }
    if (!outputFileName(path + split, outputExtension(kind), output) ||
        !joinPath(folder, output, target)) {
        reportFailure(host, file, "the output's path would be too long", "", false, report);
        return false;
    }

    host.forgetFailure(host.platform.context);
    PalettePlanes planes{};
    const SourceStatus status = readSource(host.platform, path, kind, &planes);
    switch (status) {
        case SourceStatus::Read:
            break;
        case SourceStatus::BadHeader:
            reportFailure(host, file, "the header is not \"EDGE PAL\"", "", false, report);
            return false;
        case SourceStatus::NotOpened:
        case SourceStatus::Failed:
            reportSourceFailure(host, file, status, report);
            return false;
    }

    host.holdInterrupts(host.platform.context);
    const WriteStatus written =
        writeConvertedOutput(host.platform, kind, planes, folder, output, existing);
    host.releaseInterrupts(host.platform.context);
    switch (written) {
        case WriteStatus::Written:
            reportWritten(host, file, target, report);
            return true;
        case WriteStatus::Kept:
            reportKept(host, file, target, report);
            return true;
        case WriteStatus::Failed:
            break;
    }
    reportFailure(host, file, "cannot write ", target, true, report);
    return false;
}

bool printLines(const Host& host, const char* const* lines, std::size_t count) {
    Report report{};
    for (std::size_t i = 0; i < count; i++) {
        Line line{};
        append(&line, lines[i]);
        endLine(host, &line);
        printOutput(host, line, &report);
    }
    flushOutput(host, &report);
    return !report.outputLost;
}

}  // namespace

int convertFiles(const Host& host, const Options& options) {
    Report report{};
    report.quiet = options.quiet;
    report.interactive = host.isTerminal(host.platform.context, Stream::Output);

    char folder[kMaxPath] = {};
    const char* outputDirectory = nullptr;
    if (options.outputDirectory != nullptr) {
        if (!outputFolder(host, options.outputDirectory, folder)) {
            reportFailure(host, options.outputDirectory, "the folder's path is too long", "", false,
                          &report);
            return kExitUsage;
        }
        outputDirectory = folder;
    }

    const ExistingOutput existing =
        options.noClobber ? ExistingOutput::Keep : ExistingOutput::Replace;
    bool allConverted = true;
    for (int i = 0; i < options.fileCount; i++) {
        allConverted =
            convertFile(host, options.files[i], outputDirectory, existing, &report) && allConverted;
    }
    flushOutput(host, &report);
    if (report.outputLost) {
        // The names of the outputs written did not all reach their reader,
        // which should not take the run for a success.
        Line line{};
        append(&line, kProgram);
        append(&line, ": cannot write to standard output");
        endLine(host, &line);
        write(host, Stream::Error, line.text, line.used, &report);
    }
    return allConverted && !report.outputLost && !report.errorLost ? kExitConverted : kExitFailed;
}

int runCommandLine(const Host& host, int argc, char** argv) {
    Options options{};
    switch (parseArguments(argc, argv, &options)) {
        case Command::Convert:
            return convertFiles(host, options);
        case Command::Help:
            return printLines(host, kHelpLines, sizeof kHelpLines / sizeof kHelpLines[0])
                       ? kExitConverted
                       : kExitFailed;
        case Command::Version: {
            const char* const lines[] = {"kolorvane-cli " KOLORVANE_VERSION_TEXT};
            return printLines(host, lines, 1) ? kExitConverted : kExitFailed;
        }
        case Command::UsageError:
            break;
    }
    Report report{};
    Line line{};
    append(&line, kProgram);
    append(&line, ": ");
    append(&line, options.problem);
    endLine(host, &line);
    append(&line, "Try 'kolorvane-cli --help' for more information.");
    endLine(host, &line);
    printError(host, line, &report);
    return kExitUsage;
}

}  // namespace kolorvane
