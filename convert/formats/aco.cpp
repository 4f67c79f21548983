// Photoshop's swatches (.aco), big-endian: a version 1 section (version,
// count, then per colour its colour space and four 16-bit values),
// optionally followed by a version 2 section, which repeats the colours,
// each followed by its name (a 32-bit count of UTF-16 units with the closing
// zero, then the units). A file of a version 2 section alone is read too,
// and one of version 1 alone has no names. RGB (space 0) is read to the
// nearest 8-bit value, HSB (1) and grayscale (8) through their formulas;
// CMYK (2) and Lab (7) are kept for the colour management to convert; the
// book spaces, whose values are not public, are refused. Written as
// Photoshop writes it: both sections, RGB, each value v as v * 257, a
// colour without a name given an empty one, so that every Photoshop reads
// the colours and those since 5.0 the names too; a colour read as CMYK or
// Lab is written in its space, as it is read, to the nearest step.
#include <cmath>

#include "bytes.h"
#include "colour_names.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kLargestGray = 10000;       // all black
constexpr std::uint32_t kLargestLightness = 10000;  // L 100
constexpr std::int32_t kSmallestAxis = -12800;      // a and b of -128
constexpr std::int32_t kLargestAxis = 12700;        // and of 127
constexpr std::size_t kColorSize = 10;              // space and four values

unsigned char toEight(std::uint32_t value) {
    return static_cast<unsigned char>((value + 128) / 257);
}

unsigned char nearestByte(double share) {
    return static_cast<unsigned char>(std::floor(share * 255.0 + 0.5));
}

// Photoshop's HSB: the hue in 65536ths of a turn, saturation and
// brightness in 65535ths.
Color fromHsb(std::uint32_t hue, std::uint32_t saturation, std::uint32_t brightness) {
    return colorFromHsb(hue / 65536.0, saturation / 65535.0, brightness / 65535.0);
}

// Photoshop's grey is the share of black in 10000ths.
Color fromGray(std::uint32_t black) {
    const auto level = static_cast<unsigned char>(((kLargestGray - black) * 255 + 5000) / 10000);
    return {level, level, level};
}

std::int32_t signedValue(std::uint32_t value) {
    return value < 0x8000 ? static_cast<std::int32_t>(value)
                          : static_cast<std::int32_t>(value) - 0x10000;
}

bool onAxis(std::int32_t value) { return value >= kSmallestAxis && value <= kLargestAxis; }

// A colour as the file gives it: RGB at once, or kept in its space.
struct AcoColor {
    Color rgb;
    bool kept;
    SourceColor source;
};

// CMYK, each ink stored inverted (0 is full ink), or Lab, L in 100ths and a
// and b in signed 100ths; false for Lab out of its range.
bool keepColor(std::uint32_t space, const std::uint32_t* values, AcoColor* color) {
    color->kept = true;
    color->source.space = static_cast<ColorSpace>(space);
    if (color->source.space == ColorSpace::Cmyk) {
        for (std::size_t i = 0; i < 4; i++) {
            color->source.values[i] = (65535 - values[i]) * 100.0 / 65535.0;
        }
        return true;
    }
    const std::int32_t a = signedValue(values[1]);
    const std::int32_t b = signedValue(values[2]);
    color->source.values = {values[0] / 100.0, a / 100.0, b / 100.0, 0.0};
    return values[0] <= kLargestLightness && onAxis(a) && onAxis(b);
}

// One colour at the reader's position, which the caller has checked holds it.
ReadError readColor(ByteReader* reader, std::size_t number, AcoColor* color) {
    const std::size_t at = reader->position;
    std::uint32_t space = 0;
    std::uint32_t values[4] = {};
    takeU16BE(reader, &space);
    for (std::uint32_t& value : values) {
        takeU16BE(reader, &value);
    }
    bool inRange = true;
    switch (static_cast<ColorSpace>(space)) {
        case ColorSpace::Hsb:
            color->rgb = fromHsb(values[0], values[1], values[2]);
            break;
        case ColorSpace::Grayscale:
            inRange = values[0] <= kLargestGray;
            color->rgb = fromGray(inRange ? values[0] : 0);
            break;
        case ColorSpace::Cmyk:
        case ColorSpace::Lab:
            inRange = keepColor(space, values, color);
            break;
        default:
            if (space != kRgb) {
                return readError(ReadProblem::UnsupportedSpace, at, number, space);
            }
            color->rgb = {toEight(values[0]), toEight(values[1]), toEight(values[2])};
    }
    return inRange ? kReadOk : readError(ReadProblem::OutOfRange, at, number, space);
}

// Colour `index` of the palette, from the section that gives the colours.
void placeColor(const AcoColor& color, std::size_t index, Palette* palette) {
    palette->colors[index] = color.kept ? Color{0, 0, 0} : color.rgb;
    if (color.kept) {
        SourceColor source = color.source;
        source.index = index;
        keepSourceColor(palette, source);
    }
}

// A version 2 colour's name, which must fit in the file: colour `index`'s.
bool takeName(ByteReader* reader, std::size_t index, Palette* palette) {
    std::uint32_t units = 0;
    if (!takeU32BE(reader, &units) || units > (reader->size - reader->position) / 2) {
        return false;
    }
    palette->colorNames[index] = nameFromUtf16(palette, reader->bytes + reader->position, units);
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
    // A count the rest of the file cannot hold is refused before the
    // palette is sized by it.
    const ReadError counted = checkCount(count, countAt);
    if (refused(counted) || (expected != 0 && count != expected) ||
        !fits(*reader, count * kColorSize)) {
        return refused(counted) ? counted
                                : readError(ReadProblem::CountMismatch, countAt, 0, count);
    }
    const ReadError sized = section.colors ? resizePalette(palette, count, countAt) : kReadOk;
    if (refused(sized)) {
        return sized;
    }
    for (std::size_t i = 0; i < count; i++) {
        AcoColor color{};
        if (!fits(*reader, kColorSize)) {
            return readError(ReadProblem::CountMismatch, countAt, 0, count);
        }
        const ReadError error = readColor(reader, i + 1, &color);
        if (refused(error)) {
            return error;
        }
        if (section.colors) {
            placeColor(color, i, palette);
        }
        if (section.named && !takeName(reader, i, palette)) {
            return readError(ReadProblem::CountMismatch, countAt, 0, count);
        }
    }
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

// A value in `steps` a unit, to the nearest, as 16 bits (two's complement
// where it is below 0).
std::uint32_t stepsOf(double value, double steps) {
    return static_cast<std::uint32_t>(std::lround(value * steps)) & 0xFFFF;
}

// The colour in RGB, or in the space it was read in.
void putColor(ByteWriter* writer, const Color& color, const SourceColor* source) {
    if (source == nullptr) {
        putU16BE(writer, kRgb);
        putU16BE(writer, color.red * 257U);
        putU16BE(writer, color.green * 257U);
        putU16BE(writer, color.blue * 257U);
        putU16BE(writer, 0);
        return;
    }
    const bool cmyk = source->space == ColorSpace::Cmyk;
    putU16BE(writer, static_cast<std::uint32_t>(source->space));
    for (std::size_t i = 0; i < 4; i++) {
        const double value = source->values[i];
        putU16BE(writer, cmyk ? 65535 - stepsOf(value, 655.35) : stepsOf(value, i < 3 ? 100 : 0));
    }
}

}  // namespace

// The hexcone model (HSV), each channel rounded to the nearest 8-bit value.
Color colorFromHsb(double hue, double saturation, double brightness) {
    // A whole turn is no turn: Procreate's hues run to 1 inclusive.
    const double sixths = hue >= 1.0 ? 0.0 : hue * 6.0;
    const auto sector = static_cast<std::size_t>(sixths);  // 0 to 5
    const double within = sixths - static_cast<double>(sector);
    const double s = saturation;
    const double v = brightness;
    // The brightest channel, the dimmest, falling and rising: which is which
    // goes round the six sectors.
    const double levels[4] = {v, v * (1 - s), v * (1 - s * within), v * (1 - s * (1 - within))};
    constexpr std::size_t kOrder[6][3] = {{0, 3, 1}, {2, 0, 1}, {1, 0, 3},
                                          {1, 2, 0}, {3, 1, 0}, {0, 1, 2}};
    const std::size_t* order = kOrder[sector];
    return {nearestByte(levels[order[0]]), nearestByte(levels[order[1]]),
            nearestByte(levels[order[2]])};
}

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

std::size_t writeAco(const Palette& palette, ByteBuffer* bytes) {
    ByteWriter writer = startWriting(bytes);
    const auto count = static_cast<std::uint32_t>(palette.count);
    putU16BE(&writer, 1);
    putU16BE(&writer, count);
    std::size_t next = 0;
    for (std::size_t i = 0; i < palette.count; i++) {
        putColor(&writer, palette.colors[i], sourceColorAt(palette, i, &next));
    }
    putU16BE(&writer, 2);
    putU16BE(&writer, count);
    next = 0;
    for (std::size_t i = 0; i < palette.count; i++) {
        const NameText name = colorName(palette, i);
        putColor(&writer, palette.colors[i], sourceColorAt(palette, i, &next));
        putU32BE(&writer, static_cast<std::uint32_t>(utf16Units(name) + 1));
        putUtf16(&writer, name);
    }
    return written(writer);
}

}  // namespace kolorvane::formats
