// Adobe Swatch Exchange (.ase), big-endian: "ASEF", version 1.0, the number
// of blocks, then each block's type, the size of what follows and that:
// a colour entry (its name, a 16-bit count of UTF-16 units with the closing
// zero, then the units; its model, "RGB ", "Gray", "CMYK" or "LAB ",
// compared without regard to case and trailing spaces; a 32-bit float per
// channel; its type, global, spot or normal), a group's start (its name) or
// a group's end. A block may hold more than that; the rest is skipped. RGB
// is read as round(f * 255), Gray as three equal values; CMYK (inks from 0
// to 1) and Lab (L from 0 to 1, a and b as they are) are kept for the
// colour management to convert. Colours are written as RGB, v / 255, each
// with its name, or "R=r G=g B=b" when it has none, as Illustrator names an
// unnamed swatch; a colour read as CMYK or Lab in its space, as it is read
// (to a float's precision). A group's name is not the palette's.
#include <array>
#include <cstring>

#include "bytes.h"
#include "colour_names.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::uint32_t kColorBlock = 0x0001;
constexpr std::uint32_t kGroupStart = 0xC001;
constexpr std::uint32_t kGroupEnd = 0xC002;
constexpr std::uint32_t kNormalColor = 2;
constexpr std::size_t kHeaderSize = 12;
constexpr std::uint32_t kExponentMask = 0x7F800000;

enum class Model { Rgb, Gray, Cmyk, Lab, Other };

// The model's four characters, any case, spaces at the end trimmed.
Model modelOf(const unsigned char* bytes) {
    struct Known {
        const char* name;
        Model model;
    };
    constexpr Known kModels[] = {
        {"RGB", Model::Rgb}, {"GRAY", Model::Gray}, {"CMYK", Model::Cmyk}, {"LAB", Model::Lab}};
    std::size_t length = 4;
    while (length > 0 && bytes[length - 1] == ' ') {
        length--;
    }
    for (const Known& known : kModels) {
        if (std::strlen(known.name) == length && equalsIgnoreCaseN(bytes, known.name, length)) {
            return known.model;
        }
    }
    return Model::Other;
}

std::size_t channelsOf(Model model) {
    constexpr std::size_t kChannels[] = {3, 1, 4, 3, 0};
    return kChannels[static_cast<std::size_t>(model)];
}

// A float from its IEEE 754 bits: false for NaN or an infinity.
bool takeFloat(ByteReader* block, float* value) {
    std::uint32_t bits = 0;
    static_assert(sizeof *value == sizeof bits, "IEEE 754 single precision");
    if (!takeU32BE(block, &bits)) {
        return false;
    }
    std::memcpy(value, &bits, sizeof bits);
    return (bits & kExponentMask) != kExponentMask;
}

// Whether channel `i` of a colour of `model` is within its range: L from 0
// to 1 and a and b from -128 to 127 for Lab, 0 to 1 for every other.
bool inRange(Model model, std::size_t i, float value) {
    if (model == Model::Lab && i > 0) {
        return value >= -128.0F && value <= 127.0F;
    }
    return value >= 0.0F && value <= 1.0F;
}

// round(value * 255), in halves: floor((510 v + 1) / 2).
unsigned char toByte(float value) {
    return static_cast<unsigned char>(static_cast<unsigned>(value * 510.0F + 1.0F) / 2);
}

// The next colour of the palette, of `model`: RGB and Gray at once, CMYK
// and Lab kept in their space.
void placeColor(Model model, const float* values, Palette* palette) {
    const std::size_t index = palette->count - 1;
    Color& color = palette->colors[index];
    if (model == Model::Rgb || model == Model::Gray) {
        const bool gray = model == Model::Gray;
        color = {toByte(values[0]), toByte(values[gray ? 0 : 1]), toByte(values[gray ? 0 : 2])};
        return;
    }
    color = {0, 0, 0};
    SourceColor source{};
    source.index = index;
    if (model == Model::Cmyk) {
        source.space = ColorSpace::Cmyk;
        source.values = {values[0] * 100.0, values[1] * 100.0, values[2] * 100.0,
                         values[3] * 100.0};
    } else {
        source.space = ColorSpace::Lab;
        source.values = {values[0] * 100.0, values[1], values[2], 0.0};
    }
    keepSourceColor(palette, source);
}

// A name: its count of UTF-16 units, then the units, within the block: the
// last colour's, or for a group's (`named` false) passed over.
bool takeName(ByteReader* block, bool named, Palette* palette) {
    std::uint32_t units = 0;
    const std::size_t at = block->position + 2;
    if (!takeU16BE(block, &units) || !skipBytes(block, 2 * std::size_t{units})) {
        return false;
    }
    if (named) {
        palette->colorNames[palette->count - 1] = nameFromUtf16(palette, block->bytes + at, units);
    }
    return true;
}

// The model and channels of colour `number`, after its name, into the
// palette.
ReadError readChannels(ByteReader* block, std::size_t number, Palette* palette) {
    const std::size_t at = block->position;
    if (!fits(*block, 4)) {
        return readError(ReadProblem::Malformed, at, number);
    }
    const Model model = modelOf(block->bytes + at);
    if (model == Model::Other) {
        return readError(ReadProblem::UnsupportedSpace, at, number,
                         static_cast<std::uint32_t>(ColorSpace::Other));
    }
    skipBytes(block, 4);
    float values[4] = {};
    for (std::size_t i = 0; i < channelsOf(model); i++) {
        if (!fits(*block, 4)) {
            return readError(ReadProblem::Malformed, at, number);
        }
        if (!takeFloat(block, &values[i]) || !inRange(model, i, values[i])) {
            return model == Model::Lab
                       ? readError(ReadProblem::OutOfRange, block->position - 4, number,
                                   static_cast<std::uint32_t>(ColorSpace::Lab))
                       : readError(ReadProblem::BadFloat, block->position - 4, number);
        }
    }
    if (!skipBytes(block, 2)) {
        return readError(ReadProblem::Malformed, at, number);
    }
    placeColor(model, values, palette);
    return kReadOk;
}

// One block, `block` limited to it; a colour entry adds to the palette.
ReadError readBlock(ByteReader block, std::uint32_t type, Palette* palette) {
    const std::size_t at = block.position - 6;
    if (type == kGroupEnd) {
        return kReadOk;
    }
    if (type != kColorBlock && type != kGroupStart) {
        return readError(ReadProblem::UnknownBlock, at, 0, type);
    }
    const bool color = type == kColorBlock;
    const std::size_t number = color ? palette->count + 1 : 0;
    const ReadError added = color ? addColor(palette, Color{}, at) : kReadOk;
    if (refused(added)) {
        return added;
    }
    if (!takeName(&block, color, palette)) {
        return readError(ReadProblem::NameTooLong, at, number);
    }
    return color ? readChannels(&block, number, palette) : kReadOk;
}

ReadError readHeader(ByteReader* reader, std::uint32_t* blocks) {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    if (!takeTag(reader, "ASEF", 4)) {
        return readError(ReadProblem::NotThisFormat);
    }
    if (!takeU16BE(reader, &major) || !takeU16BE(reader, &minor) || !takeU32BE(reader, blocks)) {
        return readError(ReadProblem::Truncated, reader->position);
    }
    return major == 1 && minor == 0 ? kReadOk
                                    : readError(ReadProblem::BadVersion, 4, 0, major << 16 | minor);
}

// "R=r G=g B=b", the name a colour without one is written with, into
// `text`; its length.
std::size_t nameByNumbers(const Color& color, std::array<char, 24>* text) {
    constexpr const char* kLabels[] = {"R=", " G=", " B="};
    const unsigned values[] = {color.red, color.green, color.blue};
    std::size_t size = 0;
    for (std::size_t c = 0; c < 3; c++) {
        for (const char* label = kLabels[c]; *label != '\0'; label++) {
            (*text)[size++] = *label;
        }
        char digits[3] = {};
        std::size_t count = 0;
        unsigned value = values[c];
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0) {
            (*text)[size++] = digits[--count];
        }
    }
    return size;
}

// The colour's name, or its numbers for one without: its count of units
// with the closing zero, then the units.
void putName(ByteWriter* writer, const Color& color, NameText name) {
    std::array<char, 24> numbers{};
    const NameText given =
        name.size != 0 ? name : NameText{numbers.data(), nameByNumbers(color, &numbers)};
    putU16BE(writer, static_cast<std::uint32_t>(utf16Units(given) + 1));
    putUtf16(writer, given);
}

std::uint32_t bitsOf(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::uint32_t floatBits(unsigned channel) { return bitsOf(static_cast<float>(channel) / 255.0F); }

// The colour's model and channels: RGB, or the space it was read in, its
// inks and L from 0 to 1.
void putChannels(ByteWriter* writer, const Color& color, const SourceColor* source) {
    if (source == nullptr) {
        putText(writer, "RGB ");
        putU32BE(writer, floatBits(color.red));
        putU32BE(writer, floatBits(color.green));
        putU32BE(writer, floatBits(color.blue));
        return;
    }
    const bool cmyk = source->space == ColorSpace::Cmyk;
    putText(writer, cmyk ? "CMYK" : "LAB ");
    for (std::size_t i = 0; i < (cmyk ? 4U : 3U); i++) {
        const bool share = cmyk || i == 0;
        putU32BE(writer,
                 bitsOf(static_cast<float>(share ? source->values[i] / 100.0 : source->values[i])));
    }
}

}  // namespace

ReadError readAse(const unsigned char* bytes, std::size_t size, Palette* palette) {
    ByteReader reader = {bytes, size, 0};
    std::uint32_t blocks = 0;
    const ReadError header = readHeader(&reader, &blocks);
    if (refused(header)) {
        return header;
    }
    for (std::uint32_t i = 0; i < blocks; i++) {
        std::uint32_t type = 0;
        std::uint32_t length = 0;
        if (!takeU16BE(&reader, &type) || !takeU32BE(&reader, &length)) {
            return readError(ReadProblem::CountMismatch, 8, 0, blocks);
        }
        if (!fits(reader, length)) {
            return readError(ReadProblem::SizePastEnd, reader.position - 4);
        }
        const ReadError error =
            readBlock({bytes, reader.position + length, reader.position}, type, palette);
        if (refused(error)) {
            return error;
        }
        skipBytes(&reader, length);
    }
    if (reader.position != size) {
        return readError(ReadProblem::ExtraData, reader.position);
    }
    return checkCount(palette->count, kHeaderSize);
}

std::size_t writeAse(const Palette& palette, ByteBuffer* bytes) {
    ByteWriter writer = startWriting(bytes);
    putText(&writer, "ASEF");
    putU16BE(&writer, 1);
    putU16BE(&writer, 0);
    putU32BE(&writer, static_cast<std::uint32_t>(palette.count));
    std::size_t next = 0;
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        putU16BE(&writer, kColorBlock);
        const std::size_t lengthAt = writer.size;
        putU32BE(&writer, 0);  // the block's size, filled in below
        putName(&writer, color, colorName(palette, i));
        putChannels(&writer, color, sourceColorAt(palette, i, &next));
        putU16BE(&writer, kNormalColor);
        setU32BE(&writer, lengthAt, static_cast<std::uint32_t>(writer.size - lengthAt - 4));
    }
    return written(writer);
}

}  // namespace kolorvane::formats
