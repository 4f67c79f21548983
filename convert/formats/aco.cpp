// Photoshop's swatches (.aco), big-endian: a version 1 section (version,
// count, then per colour its colour space and four 16-bit values),
// optionally followed by a version 2 section, which repeats the colours,
// each followed by its name (a 32-bit count of UTF-16 units with the closing
// zero, then the units). A file of a version 2 section alone is read too,
// and one of version 1 alone has no names. Only RGB (space 0) is read, each
// value to the nearest 8-bit one. Written as Photoshop writes it: both
// sections, each value v as v * 257, a colour without a name given an empty
// one, so that every Photoshop reads the colours and those since 5.0 the
// names too.
#include "bytes.h"
#include "names.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::size_t kColorSize = 10;  // space and four values

unsigned char toEight(std::uint32_t value) {
    return static_cast<unsigned char>((value + 128) / 257);
}

// One colour at the reader's position, which the caller has checked holds it.
ReadError readColor(ByteReader* reader, std::size_t number, Color* color) {
    const std::size_t at = reader->position;
    std::uint32_t values[5] = {};
    for (std::uint32_t& value : values) {
        takeU16BE(reader, &value);
    }
    if (values[0] != kRgb) {
        return readError(ReadProblem::UnsupportedSpace, at, number, values[0]);
    }
    *color = {toEight(values[1]), toEight(values[2]), toEight(values[3])};
    return kReadOk;
}

// A version 2 colour's name, which must fit in the file.
bool takeName(ByteReader* reader, Name* name) {
    std::uint32_t units = 0;
    if (!takeU32BE(reader, &units) || units > (reader->size - reader->position) / 2) {
        return false;
    }
    nameFromUtf16(reader->bytes + reader->position, units, name);
    return skipBytes(reader, 2 * std::size_t{units});
}

// What a section gives the palette: version 1, the colours; version 2
// after it, the names alone, its colours checked but those of version 1
// kept; version 2 alone, both.
struct Section {
    bool named;
    bool colors;
};

// The section after its version: count and colours, with names for version
// 2. `expected`, when not 0, is the count the section must have.
ReadError readSection(ByteReader* reader, Section section, std::size_t expected, Palette* palette) {
    const std::size_t countAt = reader->position;
    std::uint32_t count = 0;
    if (!takeU16BE(reader, &count)) {
        return readError(ReadProblem::Truncated, countAt);
    }
    const ReadError counted = checkCount(count, countAt);
    if (refused(counted) || (expected != 0 && count != expected)) {
        return refused(counted) ? counted
                                : readError(ReadProblem::CountMismatch, countAt, 0, count);
    }
    for (std::size_t i = 0; i < count; i++) {
        Color color{};
        if (!fits(*reader, kColorSize)) {
            return readError(ReadProblem::CountMismatch, countAt, 0, count);
        }
        const ReadError error = readColor(reader, i + 1, &color);
        if (refused(error)) {
            return error;
        }
        palette->colors[i] = section.colors ? color : palette->colors[i];
        if (section.named && !takeName(reader, &palette->colorNames[i])) {
            return readError(ReadProblem::CountMismatch, countAt, 0, count);
        }
    }
    palette->count = count;
    return kReadOk;
}

ReadError readVersion(ByteReader* reader, std::uint32_t expected) {
    const std::size_t at = reader->position;
    std::uint32_t version = 0;
    if (!takeU16BE(reader, &version)) {
        return readError(ReadProblem::Truncated, at);
    }
    return version == expected ? kReadOk : readError(ReadProblem::BadVersion, at, 0, version);
}

// What may follow version 1: nothing, or a version 2 section of as many
// colours, which gives their names.
ReadError readNames(ByteReader* reader, Palette* palette) {
    if (reader->position == reader->size) {
        return kReadOk;
    }
    const ReadError error = readVersion(reader, 2);
    return refused(error) ? error : readSection(reader, {true, false}, palette->count, palette);
}

void putColor(ByteWriter* writer, const Color& color) {
    putU16BE(writer, kRgb);
    putU16BE(writer, color.red * 257U);
    putU16BE(writer, color.green * 257U);
    putU16BE(writer, color.blue * 257U);
    putU16BE(writer, 0);
}

}  // namespace

ReadError readAco(const unsigned char* bytes, std::size_t size, Palette* palette) {
    ByteReader reader = {bytes, size, 0};
    std::uint32_t version = 0;
    if (!takeU16BE(&reader, &version)) {
        return readError(ReadProblem::Truncated, 0);
    }
    if (version != 1 && version != 2) {
        return readError(ReadProblem::BadVersion, 0, 0, version);
    }
    ReadError error = readSection(&reader, {version == 2, true}, 0, palette);
    if (!refused(error) && version == 1) {
        error = readNames(&reader, palette);
    }
    if (!refused(error) && reader.position != reader.size) {
        error = readError(ReadProblem::ExtraData, reader.position);
    }
    return error;
}

std::size_t writeAco(const Palette& palette, EncodedBytes* bytes) {
    ByteWriter writer = startWriting(bytes->data(), bytes->size());
    const auto count = static_cast<std::uint32_t>(palette.count);
    putU16BE(&writer, 1);
    putU16BE(&writer, count);
    for (std::size_t i = 0; i < palette.count; i++) {
        putColor(&writer, palette.colors[i]);
    }
    putU16BE(&writer, 2);
    putU16BE(&writer, count);
    for (std::size_t i = 0; i < palette.count; i++) {
        const Name& name = palette.colorNames[i];
        putColor(&writer, palette.colors[i]);
        putU32BE(&writer, static_cast<std::uint32_t>(utf16Units(name) + 1));
        putUtf16(&writer, name);
    }
    return written(writer);
}

}  // namespace kolorvane::formats
