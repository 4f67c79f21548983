#include "conversion.h"

#include <algorithm>
#include <cstring>

#include "names.h"

namespace kolorvane {

namespace {

// The most bytes any format of `extension`'s reads.
std::size_t largestOf(const Format& extension) {
    std::size_t largest = 0;
    for (std::size_t i = 0; i < kFormatCount; i++) {
        const Format& format = kFormats[i];
        if (std::strcmp(format.extension, extension.extension) == 0 && format.largest > largest) {
            largest = format.largest;
        }
    }
    return largest;
}

// The source's bytes as `format` takes them: those past what it reads
// ignored, or a source that has more refused.
ReadError decode(const Format& format, const unsigned char* bytes, std::size_t size,
                 Palette* palette) {
    if (size > format.largest) {
        if (!format.ignoresTail) {
            return readError(ReadProblem::TooLarge);
        }
        size = format.largest;
    }
    clearPalette(palette);
    return format.read(bytes, size, palette);
}

// An open source pulled from through the batch's buffer, refilled by reads
// of the buffer's size: a small file in one read, a large one never held
// whole. A read that fails, or a file longer than the format reads, ends the
// bytes; the failure is kept for the report.
struct FilePull {
    const Platform* platform;
    FileHandle file;
    unsigned char* buffer;
    std::size_t begin;  // the bytes read and not yet pulled: [begin, end)
    std::size_t end;
    std::uint64_t total;  // bytes read from the file
    std::uint64_t largest;
    Failure failure;
};

bool refill(FilePull* pull) {
    std::size_t got = 0;
    if (!failed(pull->failure) && pull->total <= pull->largest) {
        pull->failure = pull->platform->readFile(pull->platform->context, pull->file,
                                                 kSourceBufferSize, pull->buffer, &got);
    }
    pull->total += got;
    pull->begin = 0;
    pull->end = got;
    return !failed(pull->failure) && got != 0 && pull->total <= pull->largest;
}

std::size_t pullFromFile(void* context, unsigned char* bytes, std::size_t size) {
    auto* pull = static_cast<FilePull*>(context);
    std::size_t given = 0;
    while (given < size && (pull->begin < pull->end || refill(pull))) {
        const std::size_t taken = std::min(size - given, pull->end - pull->begin);
        std::memcpy(bytes + given, pull->buffer + pull->begin, taken);
        pull->begin += taken;
        given += taken;
    }
    return given;
}

// What a streamed source is read with, and what its reader said.
struct Stream {
    const Format* format;
    unsigned char* buffer;
    Palette* palette;
    ReadError error;
};

// The open source streamed to the format's reader: the failure of a read,
// and the reader's verdict in the stream. A size known to be too large is
// refused before a byte is read.
Failure streamFile(void* context, const Platform& platform, FileHandle file,
                   const FileIdentity& identity) {
    Stream& stream = *static_cast<Stream*>(context);
    const std::uint64_t largest = stream.format->largest;
    if (identity.size != kUnknownSize && identity.size > largest) {
        stream.error = readError(ReadProblem::TooLarge);
        return kSucceeded;
    }
    FilePull pull{};  // nothing read yet, nothing failed
    pull.platform = &platform;
    pull.file = file;
    pull.buffer = stream.buffer;
    pull.largest = largest;
    clearPalette(stream.palette);
    stream.error = stream.format->readStream(ByteSource{&pull, pullFromFile}, stream.palette);
    stream.error = pull.total > largest ? readError(ReadProblem::TooLarge) : stream.error;
    return pull.failure;
}

// A source of a format read as a stream, opened, identified and closed as
// every other source is. `buffer` is written through the stream's context.
// NOLINTBEGIN(readability-non-const-parameter)
PaletteSource streamPaletteSource(const Platform& platform, const char* path, const Format& format,
                                  unsigned char* buffer, Palette* palette) {
    Stream stream = {&format, buffer, palette, kReadOk};
    const SourceResult source = readOpenSource(platform, path, streamFile, &stream);
    const bool read = source.status == SourceStatus::Read;
    return {source, read ? stream.error : kReadOk, read ? &format : nullptr};
}
// NOLINTEND(readability-non-const-parameter)

}  // namespace

PlanStatus planConversion(const char* path, const PathRules& rules, const char* outputFolder,
                          const Format* to, ConversionPlan* plan) {
    if (pathLength(path) >= kMaxPath) {
        return PlanStatus::PathTooLong;
    }
    plan->extension = formatOfExtension(path);
    if (plan->extension == nullptr) {
        return PlanStatus::Unsupported;
    }
    plan->target = to != nullptr ? to : &defaultTarget(*plan->extension);
    return placeOutput(path, rules, outputFolder, plan->target->extension, &plan->paths);
}

void nameAfterOutput(const ConversionPlan& plan, NameToUtf8 toUtf8, Palette* palette) {
    if (palette->name.size != 0) {
        return;
    }
    // Every format's extension is four bytes, and the output's name ends in one.
    const char* output = plan.paths.output;
    const std::size_t length = pathLength(output) - std::strlen(plan.target->extension);
    char utf8[4 * kMaxPath];
    const std::size_t size = toUtf8 == nullptr ? length : toUtf8(output, length, utf8, sizeof utf8);
    const char* text = toUtf8 == nullptr ? output : utf8;
    formats::nameFromText(reinterpret_cast<const unsigned char*>(text), size, &palette->name);
}

PaletteSource readPaletteSource(const Platform& platform, const char* path, const Format& extension,
                                unsigned char* buffer, Palette* palette) {
    if (extension.readStream != nullptr) {
        return streamPaletteSource(platform, path, extension, buffer, palette);
    }
    // One byte past the most the formats read, to tell a source that has more.
    const std::size_t capacity = largestOf(extension) + 1;
    std::size_t size = 0;
    PaletteSource result = {readSourceBytes(platform, path, buffer, capacity, &size), kReadOk,
                            nullptr};
    if (result.source.status != SourceStatus::Read) {
        return result;
    }
    result.format = detectFormat(extension, buffer, size, &result.error);
    if (result.format != nullptr) {
        result.error = decode(*result.format, buffer, size, palette);
    }
    return result;
}

}  // namespace kolorvane
