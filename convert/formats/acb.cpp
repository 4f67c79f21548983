// Adobe colour books (.acb), big-endian, read only: "8BCB", version 1, the
// book's id, then four strings (the title, the prefix and the suffix of
// every colour's name, and a description), each a 32-bit count of UTF-16
// units and the units; the count of colours, the colours on a page, the
// page's key colour and the colour space (0 RGB, 2 CMYK, 7 Lab); then each
// colour's name (a string), a six-character key and a byte per component;
// last, optionally, "spflspot" or "spflproc" (spot or process inks). A
// string "$$$/key=value", as Adobe's own books hold them, gives its value.
//
// A colour's name is the prefix, its own name and the suffix; the title is
// the palette's name. RGB bytes are read as they are. CMYK bytes are
// inverted, 255 - ink x 2.55, so that 0 is full ink, as Photoshop's books
// and the npm @atesgoral/acb encoder store them; Lab bytes are L x 2.55,
// a + 128 and b + 128. CMYK and Lab are kept for the colour management.
// The key, the pages and the spot flag are not kept.
#include "bytes.h"
#include "colour_names.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kCmyk = 2;
constexpr std::uint32_t kLab = 7;
constexpr std::size_t kKeySize = 6;
constexpr std::size_t kTailSize = 8;
// Units of each part of a name joined: more than the longest name takes,
// whatever its characters.
constexpr std::size_t kPartUnits = 2 * kMaxNameCharacters + 2;

// A string's UTF-16 units in the source, up to its first zero unit.
struct Text {
    const unsigned char* units;
    std::size_t count;
};

std::uint32_t unitAt(const Text& text, std::size_t i) {
    return static_cast<std::uint32_t>(text.units[2 * i] << 8 | text.units[2 * i + 1]);
}

// The units after the first "=" of a "$$$/key=value" string; any other
// string as it is.
Text valueOf(Text text) {
    constexpr char kKey[] = "$$$/";
    for (std::size_t i = 0; i < 4; i++) {
        if (i >= text.count || unitAt(text, i) != static_cast<unsigned char>(kKey[i])) {
            return text;
        }
    }
    for (std::size_t i = 4; i < text.count; i++) {
        if (unitAt(text, i) == '=') {
            return {text.units + 2 * (i + 1), text.count - i - 1};
        }
    }
    return text;
}

// A string at the reader's position: Truncated where it does not fit.
ReadError takeString(ByteReader* reader, Text* text) {
    const std::size_t at = reader->position;
    std::uint32_t units = 0;
    if (!takeU32BE(reader, &units) || units > (reader->size - reader->position) / 2) {
        return readError(ReadProblem::Truncated, at);
    }
    Text read = {reader->bytes + reader->position, 0};
    while (read.count < units && unitAt(read, read.count) != 0) {
        read.count++;
    }
    skipBytes(reader, 2 * std::size_t{units});
    *text = valueOf(read);
    return kReadOk;
}

// What the book gives every colour: its prefix and suffix, and its space.
struct Book {
    Text prefix;
    Text suffix;
    std::uint32_t space;
};

// The prefix, the colour's own name and the suffix, as one name.
NameRef joinedName(Palette* palette, const Book& book, const Text& own) {
    unsigned char units[std::size_t{6} * kPartUnits] = {};  // three parts, two bytes a unit
    std::size_t size = 0;
    for (const Text& part : {book.prefix, own, book.suffix}) {
        const std::size_t bytes = 2 * (part.count < kPartUnits ? part.count : kPartUnits);
        for (std::size_t i = 0; i < bytes; i++) {
            units[size + i] = part.units[i];
        }
        size += bytes;
    }
    return nameFromUtf16(palette, units, size / 2);
}

// A colour's components as its space gives them: RGB at once, CMYK and Lab
// kept for the colour management.
ReadError placeColor(const Book& book, const unsigned char* bytes, std::size_t at,
                     Palette* palette) {
    const std::size_t index = palette->count;
    const bool kept = book.space != kRgb;
    const ReadError added =
        addColor(palette, kept ? Color{0, 0, 0} : Color{bytes[0], bytes[1], bytes[2]}, at);
    if (refused(added) || !kept) {
        return added;
    }
    SourceColor source = {
        index, ColorSpace::Lab, {bytes[0] / 2.55, bytes[1] - 128.0, bytes[2] - 128.0, 0.0}};
    if (book.space == kCmyk) {
        source.space = ColorSpace::Cmyk;
        for (std::size_t i = 0; i < 4; i++) {
            source.values[i] = (255 - bytes[i]) / 2.55;
        }
    }
    keepSourceColor(palette, source);
    return kReadOk;
}

// Colour `number` at the reader's position.
ReadError readColor(ByteReader* reader, const Book& book, Palette* palette) {
    const std::size_t at = reader->position;
    Text own = {};
    const ReadError named = takeString(reader, &own);
    const std::size_t components = book.space == kCmyk ? 4 : 3;
    if (refused(named) || !skipBytes(reader, kKeySize) || !fits(*reader, components)) {
        return readError(ReadProblem::Truncated, at, palette->count + 1);
    }
    const ReadError placed = placeColor(book, reader->bytes + reader->position, at, palette);
    if (refused(placed)) {
        return placed;
    }
    palette->colorNames[palette->count - 1] = joinedName(palette, book, own);
    skipBytes(reader, components);
    return kReadOk;
}

// The header up to the colours: the palette's name, and the book's
// prefix, suffix and space into `book`; the count into `count`.
ReadError readHeader(ByteReader* reader, Palette* palette, Book* book, std::uint32_t* count) {
    std::uint32_t version = 0;
    if (!takeTag(reader, "8BCB", 4)) {
        return readError(ReadProblem::NotThisFormat);
    }
    if (!takeU16BE(reader, &version) || !skipBytes(reader, 2)) {
        return readError(ReadProblem::Truncated, reader->position);
    }
    if (version != 1) {
        return readError(ReadProblem::BadVersion, 4, 0, version);
    }
    Text strings[4] = {};
    for (Text& text : strings) {
        const ReadError error = takeString(reader, &text);
        if (refused(error)) {
            return error;
        }
    }
    palette->name = nameFromUtf16(palette, strings[0].units, strings[0].count);
    *book = {strings[1], strings[2], 0};
    const std::size_t countAt = reader->position;
    if (!takeU16BE(reader, count) || !skipBytes(reader, 4) || !takeU16BE(reader, &book->space)) {
        return readError(ReadProblem::Truncated, reader->position);
    }
    if (book->space != kRgb && book->space != kCmyk && book->space != kLab) {
        return unsupportedValue(reader->position - 2, "colour space", book->space);
    }
    return checkCount(*count, countAt);
}

}  // namespace

ReadError readAcb(const unsigned char* bytes, std::size_t size, Palette* palette) {
    ByteReader reader = {bytes, size, 0};
    Book book = {};
    std::uint32_t count = 0;
    const ReadError header = readHeader(&reader, palette, &book, &count);
    if (refused(header)) {
        return header;
    }
    for (std::uint32_t i = 0; i < count; i++) {
        const ReadError error = readColor(&reader, book, palette);
        if (refused(error)) {
            return error;
        }
    }
    const std::size_t end = reader.position;
    const bool flagged =
        takeTag(&reader, "spflspot", kTailSize) || takeTag(&reader, "spflproc", kTailSize);
    if (reader.position != size) {
        return readError(ReadProblem::ExtraData, flagged ? reader.position : end);
    }
    return kReadOk;
}

}  // namespace kolorvane::formats
