#include "run.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "cmyk_profile.h"
#include "colour_management.h"
#include "files.h"
#include "format_conversion.h"
#include "messages.h"
#include "output_paths.h"
#include "show.h"

#if !defined(KOLORVANE_VERSION_TEXT) || !defined(KOLORVANE_COPYRIGHT_TEXT)
#error "KOLORVANE_VERSION_TEXT and KOLORVANE_COPYRIGHT_TEXT are set by the build"
#endif

namespace kolorvane {

namespace {

constexpr char kProgram[] = "kolorvane-cli";

constexpr const char* kHelpLines[] = {
    "Usage: kolorvane-cli [OPTIONS] FILE...",
    "  or:  kolorvane-cli --show [-q] [--from FORMAT] FILE...",
    "Converts each FILE, beside it, from the format its name ends in (any case):",
    "a .pal to an .act, every other FILE to an EDGE PAL .pal, or each to the",
    "format --to names: Sunset.PAL gives Sunset.act. An existing output is",
    "replaced completely or not at all, the new bytes flushed to the disk first;",
    "one that holds them already is left as it is.",
    "",
    "  -t, --to FORMAT       convert into FORMAT, one of those below",
    "      --from FORMAT     read every FILE as FORMAT, whatever its name or bytes say",
    "      --show            list each FILE's colours instead of converting it:",
    "                        swatches in a terminal, else tab-separated lines",
    "  -o, --output-dir DIR  write the outputs into DIR instead",
    "      --cmyk-profile FILE",
    "                        convert CMYK colours through this ICC profile",
    "  -n, --no-clobber      leave an existing output alone and say so",
    "      --truncate        write the first colours a smaller format holds",
    "                        instead of refusing the FILE",
    "  -q, --quiet           print errors only",
    "  -h, --help            show this help and exit",
    "      --version         show the version and exit",
    "",
    "Each output written, or found unchanged, is named on standard output; each",
    "FILE not converted, and each output left alone by -n, on standard error.",
    "Exit status: 0 when every FILE was converted or shown (an output left alone",
    "by -n counts as done), 1 when any FILE was not, 2 for a wrong command line.",
    "",
    "A palette of more colours than the format written holds is refused, unless",
    "--truncate is given: a line on standard error says how many were left out.",
    "",
    "CMYK and Lab swatches are converted to sRGB by LittleCMS, CMYK through",
    "ISO Coated v2 300% (basICColor) unless --cmyk-profile names another; a",
    "line on standard error says how many were, and how many were clipped.",
    "",
    "Formats, each with the colours it holds (where several read an extension,",
    "a file's first bytes say which):",
};

// As GNU tools say it, after the program, its package and version: the
// copyright line of LICENSE and the licence.
constexpr const char* kVersionLines[] = {
    KOLORVANE_COPYRIGHT_TEXT,
    "License MIT: <https://opensource.org/license/mit>.",
    "This is free software: you are free to change and redistribute it.",
    "There is NO WARRANTY, to the extent permitted by law.",
};

// Standard output is gathered into this many bytes before a write, unless it
// is a terminal, so that a batch does not cost a system call per file.
// Standard error is flushed after each line; its buffer only keeps a line in
// one write.
constexpr std::size_t kOutputBufferSize = 16384;
constexpr std::size_t kErrorBufferSize = 2048;

// A failed write is not acted on here, nor by any caller: the stream keeps
// its error, which streamsWritten checks at the end of the run.
void putLine(std::FILE* stream, std::initializer_list<const char*> parts) {
    for (const char* part : parts) {
        static_cast<void>(std::fputs(part, stream));
    }
    static_cast<void>(std::fputc('\n', stream));
}

void flush(std::FILE* stream) { static_cast<void>(std::fflush(stream)); }

// Standard output goes first, so that a terminal or a file that receives
// both shows every line in the order of the FILEs.
void printError(const Host& host, std::initializer_list<const char*> parts) {
    flush(host.output);
    putLine(host.error, parts);
    flush(host.error);
}

// "kolorvane-cli: FILE: " with `reason`, `detail` and the system's words for
// `code`, where there are any.
void reportFailure(const Host& host, const char* file, const char* reason, const char* detail = "",
                   std::uint32_t code = 0) {
    char text[kMaxPath] = {};
    host.describe(code, text, sizeof text);
    printError(host,
               {kProgram, ": ", file, ": ", reason, detail, text[0] != '\0' ? ": " : "", text});
}

// Why the names alone rule a FILE out; null when they do not, or when the
// name ends in no format's extension.
const char* planProblem(PlanStatus status) {
    switch (status) {
        case PlanStatus::PathTooLong:
            return "the path is too long";
        case PlanStatus::OutputTooLong:
            return "the output's path would be too long";
        case PlanStatus::Unsupported:
        case PlanStatus::Planned:
            break;
    }
    return nullptr;
}

// Why the source was not read or was refused, in the user's terms; a
// source that none of `extension`'s formats took, in theirs.
void reportSourceFailure(const Host& host, const char* file, const Format& extension,
                         const PaletteSource& read) {
    const SourceResult& result = read.source;
    const Cause cause = result.failure.cause;
    if (result.status == SourceStatus::Read) {
        char reason[kMaxPath] = {};
        describeReadError(read.format != nullptr ? *read.format : extension, read.error, reason,
                          sizeof reason);
        reportFailure(host, file, reason);
        return;
    }
    if (cause == Cause::NoSuchFile || cause == Cause::Folder) {
        reportFailure(host, file,
                      cause == Cause::NoSuchFile ? "no such file" : "is a folder, not a file");
        return;
    }
    reportFailure(host, file,
                  result.status == SourceStatus::NotOpened ? "cannot open" : "cannot read", "",
                  result.failure.code);
}

// Why the output was not written. The two the core refuses on its own get
// words of their own; every other failure is the system's.
void reportWriteFailure(const Host& host, const char* file, const char* target, Failure failure) {
    if (failure.cause == Cause::Source) {
        printError(host, {kProgram, ": ", file, ": the output ", target,
                          " would replace the source itself; -o can name another folder"});
        return;
    }
    if (failure.cause == Cause::Dangling) {
        printError(host, {kProgram, ": ", file, ": cannot write ", target,
                          ": it is a symbolic link to a file that does not exist"});
        return;
    }
    reportFailure(host, file, "cannot write ", target, failure.code);
}

bool reportWrite(const Host& host, const char* file, const char* target, const WriteResult& result,
                 bool quiet) {
    if (result.status == WriteStatus::Failed) {
        reportWriteFailure(host, file, target, result.failure);
        return false;
    }
    if (quiet) {
        return true;
    }
    if (result.status == WriteStatus::Kept) {
        printError(host, {kProgram, ": ", file, ": ", target, " exists, left alone"});
        return true;
    }
    putLine(host.output,
            {file, " -> ", target, result.status == WriteStatus::Unchanged ? " (unchanged)" : ""});
    if (host.interactive) {
        flush(host.output);
    }
    return true;
}

constexpr char kLostOutput[] = "cannot write to standard output";

constexpr char kUnspelled[] = "the name has characters the system's code page cannot spell";

// Whether `text` is, or is the value inside ("-oDIR"), an argument whose
// name the code page cannot spell.
bool isUnspelled(const Host& host, const char* text) {
    for (int i = 0; i < host.unspelledCount; i++) {
        const char* argument = host.unspelled[i];
        if (text >= argument && text <= argument + std::strlen(argument)) {
            return true;
        }
    }
    return false;
}

// The -o folder, ending in a separator, into `folder`; what is wrong with
// it, or null.
const char* outputFolderProblem(const Host& host, const char* given, char* folder) {
    if (isUnspelled(host, given)) {
        return kUnspelled;
    }
    return folderWithSeparator(given, host.rules, folder) ? nullptr
                                                          : "the folder's path is too long";
}

// Where each FILE is read, decoded and encoded in turn: memory that grows
// to the largest FILE of the batch and is kept for the next, so that a
// batch of small palettes asks for it once.
struct Workspace {
    ByteBuffer source;
    Palette palette;
    ByteBuffer encoded;
};

void endWorkspace(Workspace* work) {
    endBytes(&work->source);
    endPalette(&work->palette);
    endBytes(&work->encoded);
}

// What every FILE of a run shares: the output folder (null: beside each
// source), the options, the workspace and the colour management.
struct Batch {
    const char* outputFolder;
    const Options* options;
    Workspace* work;
    ColorManagement* colors;
};

// Plans a FILE's conversion; false, the reason reported, when its name
// alone rules it out. For --show, which writes nothing, an output's path
// that would not fit is none.
bool planFile(const Host& host, const char* file, const Batch& batch, ConversionPlan* plan) {
    char unsupported[kMaxPath] = {};
    const char* problem = kUnspelled;
    if (!isUnspelled(host, file)) {
        PlanStatus status = planConversion(file, host.rules, batch.outputFolder,
                                           batch.options->from, batch.options->to, plan);
        if (batch.options->show && status == PlanStatus::OutputTooLong) {
            status = PlanStatus::Planned;
        }
        problem = planProblem(status);
        if (status == PlanStatus::Unsupported) {
            describeUnsupportedName(unsupported, sizeof unsupported);
            problem = unsupported;
        }
    }
    if (problem != nullptr) {
        reportFailure(host, file, problem);
    }
    return problem == nullptr;
}

// Plans a FILE's conversion and reads its palette into the workspace, its
// colours all in sRGB, counting those converted; false, the reason
// reported, unless it was read and accepted.
bool readFile(const Host& host, const char* file, const Batch& batch, ConversionPlan* conversion,
              PaletteSource* source, ConvertedCounts* counts) {
    if (!planFile(host, file, batch, conversion)) {
        return false;
    }
    Workspace& work = *batch.work;
    *source = readPaletteSource(host.platform, file,
                                conversion->forced ? conversion->sourceFormat : nullptr,
                                &work.source, &work.palette);
    if (source->source.status != SourceStatus::Read || refused(source->error)) {
        reportSourceFailure(host, file, *conversion->sourceFormat, *source);
        return false;
    }
    if (!convertSourceColors(batch.colors, &work.palette, counts)) {
        reportFailure(host, file, "LittleCMS cannot convert its colours through the CMYK profile");
        return false;
    }
    return true;
}

// The warning for a FILE whose CMYK or Lab colours were converted to sRGB.
void reportConverted(const Host& host, const char* file, const ConvertedCounts& counts,
                     const ColorManagement& colors) {
    if (counts.cmyk + counts.lab == 0) {
        return;
    }
    char words[2 * kMaxPath] = {};
    describeColorConversion(counts, colors.description, words, sizeof words);
    printError(host, {kProgram, ": ", file, ": ", words});
}

// Whether the palette read fits the format it is written as, or with
// --truncate was cut to it; false, the reason reported, when it is refused.
bool fitFile(const Host& host, const char* file, const Batch& batch, const Format& target,
             FitResult* fit) {
    *fit = fitPalette(target, batch.options->truncate, &batch.work->palette);
    if (fit->fit == Fit::TooMany) {
        char words[kMaxPath] = {};
        describeFit(target, *fit, words, sizeof words);
        reportFailure(host, file, words);
    }
    return fit->fit != Fit::TooMany;
}

// The lines on standard error for a FILE written or found unchanged: its
// colours converted to sRGB, and those --truncate left out.
void reportNotes(const Host& host, const char* file, const Batch& batch,
                 const ConvertedCounts& counts, const Format& target, const FitResult& fit) {
    reportConverted(host, file, counts, *batch.colors);
    if (fit.fit == Fit::Truncated) {
        char words[kMaxPath] = {};
        describeFit(target, fit, words, sizeof words);
        printError(host, {kProgram, ": ", file, ": ", words});
    }
}

// One FILE, from its name to its report. True unless it failed.
bool convertFile(const Host& host, const char* file, const Batch& batch) {
    ConversionPlan conversion{};
    PaletteSource source{};
    ConvertedCounts counts{};
    FitResult fit{};
    if (!readFile(host, file, batch, &conversion, &source, &counts) ||
        !fitFile(host, file, batch, *conversion.target, &fit)) {
        return false;
    }
    Workspace& work = *batch.work;
    nameAfterOutput(conversion, host.nameToUtf8, &work.palette);
    if (work.palette.outOfMemory) {
        reportFailure(host, file, "out of memory");
        return false;
    }
    const ExistingOutput existing =
        batch.options->noClobber ? ExistingOutput::Keep : ExistingOutput::ReplaceIfChanged;
    const std::size_t size = conversion.target->write(work.palette, &work.encoded);
    if (size == 0) {  // a writer that could not have the memory it needs
        reportFailure(host, file, "out of memory");
        return false;
    }
    host.holdInterrupts(host.platform.context);
    const WriteResult written =
        writeOutput(host.platform, work.encoded.bytes, size, conversion.paths.folder,
                    conversion.paths.output, existing, source.source.identity);
    host.releaseInterrupts(host.platform.context);
    // A format that keeps CMYK and Lab as they are converted none of them.
    if (!batch.options->quiet && !conversion.target->keepsCmykAndLab &&
        (written.status == WriteStatus::Written || written.status == WriteStatus::Unchanged)) {
        reportNotes(host, file, batch, counts, *conversion.target, fit);
    }
    return reportWrite(host, file, conversion.paths.target, written, batch.options->quiet);
}

// Whether every line reached its stream, once the last is flushed out.
bool streamsWritten(const Host& host) {
    if (std::fflush(host.output) != 0 || std::ferror(host.output) != 0) {
        // The names of the outputs written did not all reach their reader,
        // which should not take the run for a success.
        putLine(host.error, {kProgram, ": ", kLostOutput});
        flush(host.error);
        return false;
    }
    return std::fflush(host.error) == 0 && std::ferror(host.error) == 0;
}

int convertFiles(const Host& host, const Options& options, ColorManagement* colors) {
    char folder[kMaxPath] = {};
    const char* problem = options.outputDirectory == nullptr
                              ? nullptr
                              : outputFolderProblem(host, options.outputDirectory, folder);
    if (problem != nullptr) {
        reportFailure(host, options.outputDirectory, problem);
        return kExitUsage;
    }
    Workspace work{};
    const Batch batch = {options.outputDirectory != nullptr ? folder : nullptr, &options, &work,
                         colors};
    bool allConverted = true;
    for (int i = 0; i < options.fileCount; i++) {
        allConverted = convertFile(host, options.files[i], batch) && allConverted;
    }
    endWorkspace(&work);
    return allConverted ? kExitConverted : kExitFailed;
}

// --show: each FILE read as a conversion reads it, refused as it refuses,
// and listed; nothing written. Under -q, only the refusals.
bool showFile(const Host& host, const char* file, const Batch& batch, Listing* listing) {
    ConversionPlan plan{};
    PaletteSource source{};
    ConvertedCounts counts{};
    if (!readFile(host, file, batch, &plan, &source, &counts)) {
        return false;
    }
    if (!batch.options->quiet) {
        reportConverted(host, file, counts, *batch.colors);
        listPalette(host, file, *source.format, batch.work->palette, listing);
    }
    return true;
}

int showFiles(const Host& host, const Options& options, ColorManagement* colors) {
    Workspace work{};
    const Batch batch = {nullptr, &options, &work, colors};
    Listing listing = startListing(host);
    bool allShown = true;
    for (int i = 0; i < options.fileCount; i++) {
        allShown = showFile(host, options.files[i], batch, &listing) && allShown;
    }
    endListing(host, listing);
    endWorkspace(&work);
    if (listing.lost) {
        printError(host, {kProgram, ": ", kLostOutput});
        return kExitFailed;
    }
    return allShown ? kExitConverted : kExitFailed;
}

void reportUsageError(const Host& host, const char* problem) {
    printError(host,
               {kProgram, ": ", problem, "\nTry 'kolorvane-cli --help' for more information."});
}

// The FILEs converted, or shown, with the run's colour management, whose
// CMYK profile, when the user names one, is read and checked first, before
// any FILE is touched: a usage error when it cannot be used.
int runWithColors(const Host& host, const Options& options,
                  int (*run)(const Host& host, const Options& options, ColorManagement* colors)) {
    const char* path = options.cmykProfile;
    if (path != nullptr && isUnspelled(host, path)) {
        printError(host, {kProgram, ": --cmyk-profile ", path, ": ", kUnspelled,
                          "\nTry 'kolorvane-cli --help' for more information."});
        return kExitUsage;
    }
    RunColors colors{};
    const ProfileLoad load = startRunColors(host, path, &colors);
    if (load.failure != ProfileFailure::None) {
        char system[kMaxPath] = {};
        host.describe(load.code, system, sizeof system);
        char problem[3 * kMaxPath] = {};
        describeProfileLoad(path, load, system, problem, sizeof problem);
        reportUsageError(host, problem);
        return kExitUsage;
    }
    const int status = run(host, options, &colors.management);
    endRunColors(&colors);
    return status;
}

// The help, and a line for each format of the table: its name, the
// extensions it is read from, the one it is written as first, and the
// colours it holds.
void printHelp(const Host& host) {
    for (const char* line : kHelpLines) {
        putLine(host.output, {line});
    }
    constexpr char kPadding[] = "          ";  // the longest name and two spaces
    for (std::size_t i = 0; i < kFormatCount; i++) {
        const Format& format = kFormats[i];
        const std::size_t length = std::strlen(format.name);
        const bool others = format.alsoReads != nullptr;
        char capacity[12] = {};
        Text holds = {capacity, sizeof capacity, 0};
        addNumber(&holds, static_cast<std::uint32_t>(format.capacity));
        putLine(host.output,
                {"  ", format.name, kPadding + (length < 10 ? length : 10), format.extension,
                 format.extension[0] != '\0' && others ? " " : "", others ? format.alsoReads : "",
                 others ? " " : "  ", format.title, " (", capacity, " colours",
                 format.write == nullptr                                  ? ", read only)"
                 : format.read == nullptr && format.readStream == nullptr ? ", written only)"
                                                                          : ")"});
    }
}

int runCommand(const Host& host, int argc, char** argv) {
    Options options{};
    switch (parseArguments(argc, argv, &options)) {
        case Command::Convert:
            return runWithColors(host, options, convertFiles);
        case Command::Show:
            return runWithColors(host, options, showFiles);
        case Command::Help:
            printHelp(host);
            return kExitDone;
        case Command::Version:
            putLine(host.output, {"kolorvane-cli (Kolorvane) ", KOLORVANE_VERSION_TEXT});
            for (const char* line : kVersionLines) {
                putLine(host.output, {line});
            }
            return kExitDone;
        case Command::UsageError:
            break;
    }
    reportUsageError(host, options.problem);
    return kExitUsage;
}

}  // namespace

int runCommandLine(const Host& host, int argc, char** argv) {
    char outputBuffer[kOutputBufferSize];
    char errorBuffer[kErrorBufferSize];
    // Should either fail, the stream keeps the C library's own buffering.
    static_cast<void>(std::setvbuf(host.output, outputBuffer, _IOFBF, sizeof outputBuffer));
    static_cast<void>(std::setvbuf(host.error, errorBuffer, _IOFBF, sizeof errorBuffer));
    const int status = runCommand(host, argc, argv);
    const bool written = streamsWritten(host);
    return status == kExitUsage || written ? status : kExitFailed;
}

}  // namespace kolorvane
