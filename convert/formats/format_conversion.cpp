#include "format_conversion.h"

#include <algorithm>
#include <cstring>

#include "colour_names.h"

namespace kolorvane {

namespace {

// The source's bytes as `format` takes them: those past what it reads
// ignored, or a source that has more refused.
ReadError decode(const Format& format, const unsigned char* bytes, std::size_t size,
                 Palette* palette) {
    if (size > format.largest) {
        if (!format.ignoresTail) {
            return readError(ReadProblem::TooLarge);
        }
        size = static_cast<std::size_t>(format.largest);
    }
    clearPalette(palette);
    return format.read(bytes, size, palette);
}

// An open source read through the batch's buffer, which holds one window
// of the file at a time: a small file whole, in one read, a large one never
// whole, unless its format reads it whole, when the buffer grows to hold
// it. A regular file's windows are read where they are asked for; a
// source of unknown size (a FIFO) can only be read on, so it is. A read
// that fails ends the bytes; the failure is kept for the report.
struct FilePull {
    const Platform* platform;
    FileHandle file;
    ByteBuffer* buffer;
    std::uint64_t size;   // the file's, or kUnknownSourceSize
    std::uint64_t start;  // the window: the file's bytes [start, start + held)
    std::size_t held;
    std::uint64_t next;   // where a plain read goes on from
    std::uint64_t limit;  // a source of unknown size is not read on past this
    Failure failure;
};

// Up to `capacity` bytes at `offset`, looping over short reads.
Failure readAtUpTo(const Platform& platform, FileHandle file, std::uint64_t offset,
                   std::size_t capacity, unsigned char* bytes, std::size_t* bytesRead) {
    std::size_t total = 0;
    while (total < capacity) {
        std::size_t got = 0;
        const Failure failure = platform.readFileAt(platform.context, file, offset + total,
                                                    capacity - total, bytes + total, &got);
        if (failed(failure) || got == 0 || got > capacity - total) {
            *bytesRead = total;
            return failure;
        }
        total += got;
    }
    *bytesRead = total;
    return kSucceeded;
}

// The bytes a window from `offset` may hold.
std::size_t windowSize(const FilePull& pull, std::uint64_t offset) {
    return pull.size == kUnknownSourceSize ? kFirstWindowSize
                                           : static_cast<std::size_t>(std::min<std::uint64_t>(
                                                 kFirstWindowSize, pull.size - offset));
}

// Plain reads on from where the last ended, a window at a time, until the
// window holds `offset` or the source ends.
std::size_t readOn(FilePull* pull, std::uint64_t offset) {
    std::size_t got = 0;
    do {
        pull->failure = readUpTo(*pull->platform, pull->file, windowSize(*pull, pull->next),
                                 pull->buffer->bytes, &got);
        pull->start = pull->next;
        pull->next += got;
    } while (!failed(pull->failure) && got != 0 && pull->next <= offset);
    return got;
}

// The window from `offset`: read on from the last plain read where it
// follows it, else read there; a source of unknown size is read on (the
// bytes before `offset` dropped) and never back. False when nothing could
// be read there.
bool fillWindow(FilePull* pull, std::uint64_t offset) {
    const bool sized = pull->size != kUnknownSourceSize;
    if (failed(pull->failure) || (sized && offset >= pull->size) ||
        (!sized && pull->next > pull->limit)) {
        return false;
    }
    std::size_t got = 0;
    if (offset == pull->next || (!sized && offset > pull->next)) {
        got = readOn(pull, offset);
    } else if (sized) {
        pull->failure = readAtUpTo(*pull->platform, pull->file, offset, windowSize(*pull, offset),
                                   pull->buffer->bytes, &got);
        pull->start = offset;
    } else {
        pull->failure = {Cause::Other, 0};  // back in a source that can only be read on
    }
    pull->held = failed(pull->failure) ? 0 : got;
    return offset >= pull->start && offset - pull->start < pull->held;
}

std::size_t readFromFile(void* context, std::uint64_t offset, unsigned char* bytes,
                         std::size_t count) {
    auto* pull = static_cast<FilePull*>(context);
    std::size_t given = 0;
    while (given < count) {
        const std::uint64_t at = offset + given;
        const bool inWindow = at >= pull->start && at < pull->start + pull->held;
        if (!inWindow && !fillWindow(pull, at)) {
            break;
        }
        const std::size_t from = static_cast<std::size_t>(at - pull->start);
        const std::size_t taken = std::min(count - given, pull->held - from);
        std::memcpy(bytes + given, pull->buffer->bytes + from, taken);
        given += taken;
    }
    return given;
}

// What a source is read as and into, and what came of it.
struct Reading {
    const char* path;
    const Format* from;
    ByteBuffer* buffer;
    Palette* palette;
    const Format* format;
    ReadError error;
};

// The open source handed to a format that reads where it asks. A size
// known to be too large is refused before a byte more is read; one of
// unknown size, once read past its limit.
ReadError readStreamed(const Format& format, FilePull* pull, Palette* palette) {
    if (pull->size != kUnknownSourceSize && pull->size > format.largest) {
        return readError(ReadProblem::TooLarge);
    }
    pull->limit = format.largest;
    clearPalette(palette);
    const ReadError error = format.readStream(ByteSource{pull, pull->size, readFromFile}, palette);
    return pull->next > format.largest ? readError(ReadProblem::TooLarge) : error;
}

// The rest of a source whose format reads it whole, after the first
// window, which holds the whole of a small one: the buffer grown to hold
// it, up to one byte past what the format reads, to tell a source that has
// more.
ReadError readRest(const Format& format, FilePull* pull) {
    const std::uint64_t most = format.ignoresTail ? format.largest : format.largest + 1;
    const bool sized = pull->size != kUnknownSourceSize;
    std::size_t held = pull->held;
    // A read that fills less than it asked for has met the end.
    bool ended = sized ? held == pull->size : held < kFirstWindowSize;
    while (!ended && held < most) {
        const std::uint64_t wanted = std::min(most, sized ? pull->size : 2 * std::uint64_t{held});
        if (!reserveBytes(pull->buffer, static_cast<std::size_t>(wanted))) {
            return kNoMemory;
        }
        const auto asked = static_cast<std::size_t>(wanted - held);
        std::size_t got = 0;
        pull->failure =
            readUpTo(*pull->platform, pull->file, asked, pull->buffer->bytes + held, &got);
        held += got;
        ended = failed(pull->failure) || got < asked || (sized && held == pull->size);
    }
    pull->held = held;
    pull->next = held;
    return kReadOk;
}

// A source its format reads whole: its bytes, then its palette.
ReadError readWhole(const Format& format, FilePull* pull, Palette* palette) {
    if (pull->size != kUnknownSourceSize && pull->size > format.largest && !format.ignoresTail) {
        return readError(ReadProblem::TooLarge);
    }
    const ReadError error = readRest(format, pull);
    return refused(error) || failed(pull->failure)
               ? error
               : decode(format, pull->buffer->bytes, pull->held, palette);
}

// Whether a source of `size` bytes is too large for every format it may
// be read as: refused then before a byte is read.
bool tooLargeForAll(const Reading& reading, std::uint64_t size) {
    if (size == kUnknownSize) {
        return false;
    }
    for (std::size_t i = 0; i < kFormatCount; i++) {
        const Format& format = kFormats[i];
        const bool candidate = reading.from != nullptr ? &format == reading.from
                                                       : extensionLength(format, reading.path) != 0;
        if (candidate && (format.ignoresTail || size <= format.largest)) {
            return false;
        }
    }
    return true;
}

// The open source's first window, which holds a small source whole; its
// format, by --from or by those bytes; then its palette, from those bytes
// or read where the format asks.
Failure readOpen(void* context, const Platform& platform, FileHandle file,
                 const FileIdentity& identity) {
    Reading& reading = *static_cast<Reading*>(context);
    if (tooLargeForAll(reading, identity.size)) {
        reading.format = reading.from != nullptr ? reading.from : formatOfExtension(reading.path);
        reading.error = readError(ReadProblem::TooLarge);
        return kSucceeded;
    }
    FilePull pull = {&platform, file, reading.buffer,   identity.size, 0,
                     0,         0,    kFirstWindowSize, kSucceeded};
    if (!reserveBytes(reading.buffer, windowSize(pull, 0))) {
        reading.error = kNoMemory;
        return kSucceeded;
    }
    fillWindow(&pull, 0);
    if (failed(pull.failure)) {
        return pull.failure;
    }
    reading.format = reading.from != nullptr ? reading.from
                                             : detectFormat(reading.path, reading.buffer->bytes,
                                                            pull.held, &reading.error);
    if (reading.format == nullptr) {
        return kSucceeded;
    }
    const Format& format = *reading.format;
    reading.error = format.readStream != nullptr ? readStreamed(format, &pull, reading.palette)
                                                 : readWhole(format, &pull, reading.palette);
    return pull.failure;
}

// The length of the extension that planning replaces: the one of a format
// the name ends in or, for --from, whatever follows the file name's last
// dot; 0 when there is none.
std::size_t sourceExtensionLength(const char* path, const PathRules& rules, const Format* from) {
    const Format* format = formatOfExtension(path);
    if (format != nullptr) {
        return extensionLength(*format, path);
    }
    if (from == nullptr) {
        return 0;
    }
    const std::size_t length = pathLength(path);
    const char* name = path + folderLength(path, rules);
    const char* dot = std::strrchr(name, '.');
    return dot == nullptr ? 0 : static_cast<std::size_t>(path + length - dot);
}

}  // namespace

PlanStatus planConversion(const char* path, const PathRules& rules, const char* outputFolder,
                          const Format* from, const Format* to, ConversionPlan* plan) {
    if (pathLength(path) >= kMaxPath) {
        return PlanStatus::PathTooLong;
    }
    plan->sourceFormat = from != nullptr ? from : formatOfExtension(path);
    plan->forced = from != nullptr;
    if (plan->sourceFormat == nullptr) {
        return PlanStatus::Unsupported;
    }
    plan->target = to != nullptr ? to : &defaultTarget(*plan->sourceFormat);
    return placeOutput(path, rules, outputFolder, plan->target->extension,
                       sourceExtensionLength(path, rules, from), &plan->paths);
}

FitResult fitPalette(const Format& target, bool truncate, Palette* palette) {
    const std::size_t count = palette->count;
    if (count <= target.capacity) {
        return {Fit::Fits, count, count};
    }
    if (!truncate) {
        return {Fit::TooMany, count, 0};
    }
    palette->count = target.capacity;
    palette->stored = target.capacity;
    return {Fit::Truncated, count, target.capacity};
}

void nameAfterOutput(const ConversionPlan& plan, NameToUtf8 toUtf8, Palette* palette) {
    if (palette->name.size != 0) {
        return;
    }
    // The output's name ends in the target's extension.
    const char* output = plan.paths.output;
    const std::size_t length = pathLength(output) - std::strlen(plan.target->extension);
    char utf8[4 * kMaxPath];
    const std::size_t size = toUtf8 == nullptr ? length : toUtf8(output, length, utf8, sizeof utf8);
    const char* text = toUtf8 == nullptr ? output : utf8;
    palette->name =
        formats::nameFromText(palette, reinterpret_cast<const unsigned char*>(text), size);
}

PaletteSource readPaletteSource(const Platform& platform, const char* path, const Format* from,
                                ByteBuffer* buffer, Palette* palette) {
    Reading reading = {path, from, buffer, palette, nullptr, kReadOk};
    const SourceResult source = readOpenSource(platform, path, readOpen, &reading);
    const bool read = source.status == SourceStatus::Read;
    return {source, read ? reading.error : kReadOk, read ? reading.format : nullptr};
}

}  // namespace kolorvane
