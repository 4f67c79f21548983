// Adobe Swatch Exchange (.ase), big-endian: "ASEF", version 1.0, the number
// of blocks, then each block's type, the size of what follows and that:
// a colour entry (its name, a 16-bit count of UTF-16 units with the closing
// zero, then the units; its model, "RGB ", "Gray", "CMYK" or "LAB "; a
// 32-bit float per channel; its type, global, spot or normal), a group's
// start (its name) or a group's end. A block may hold more than that; the
// rest is skipped. RGB is read as round(f * 255), Gray as three equal
// values; colours are written as RGB, v / 255, each with its name, or
// "R=r G=g B=b" when it has none, as Illustrator names an unnamed swatch.
// A group's name is not the palette's.
#include <cstring>

#include "bytes.h"
#include "names.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::uint32_t kColorBlock = 0x0001;
constexpr std::uint32_t kGroupStart = 0xC001;
constexpr std::uint32_t kGroupEnd = 0xC002;
constexpr std::uint32_t kNormalColor = 2;
constexpr std::size_t kHeaderSize = 12;
constexpr std::uint32_t kExponentMask = 0x7F800000;

// A channel, from its IEEE 754 bits: false for NaN, an infinity or a value
// outside 0 to 1.
bool channelOf(std::uint32_t bits, unsigned char* channel) {
    if ((bits & kExponentMask) == kExponentMask) {
        return false;
    }
    float value = 0;
    static_assert(sizeof value == sizeof bits, "IEEE 754 single precision");
    std::memcpy(&value, &bits, sizeof value);
    if (!(value >= 0.0F && value <= 1.0F)) {
        return false;
    }
    // round(value * 255), in halves: floor((510 v + 1) / 2).
    *channel = static_cast<unsigned char>(static_cast<unsigned>(value * 510.0F + 1.0F) / 2);
    return true;
}

// The space of a model other than RGB and Gray, for the refusal.
std::uint32_t spaceOf(const unsigned char* model) {
    if (std::memcmp(model, "CMYK", 4) == 0) {
        return static_cast<std::uint32_t>(ColorSpace::Cmyk);
    }
    return static_cast<std::uint32_t>(std::memcmp(model, "LAB ", 4) == 0 ? ColorSpace::Lab
                                                                         : ColorSpace::Other);
}

// A name: its count of UTF-16 units, then the units, within the block.
// `name` may be null: a group's name is passed over.
bool takeName(ByteReader* block, Name* name) {
    std::uint32_t units = 0;
    const std::size_t at = block->position + 2;
    if (!takeU16BE(block, &units) || !skipBytes(block, 2 * std::size_t{units})) {
        return false;
    }
    if (name != nullptr) {
        nameFromUtf16(block->bytes + at, units, name);
    }
    return true;
}

// The model and channels of colour `number`, after its name.
ReadError readChannels(ByteReader* block, std::size_t number, Color* color) {
    const std::size_t at = block->position;
    if (!fits(*block, 4)) {
        return readError(ReadProblem::Malformed, at, number);
    }
    const unsigned char* model = block->bytes + at;
    const bool gray = std::memcmp(model, "Gray", 4) == 0;
    if (!gray && std::memcmp(model, "RGB ", 4) != 0) {
        return readError(ReadProblem::UnsupportedSpace, at, number, spaceOf(model));
    }
    skipBytes(block, 4);
    unsigned char channels[3] = {};
    for (std::size_t i = 0; i < (gray ? 1U : 3U); i++) {
        std::uint32_t bits = 0;
        if (!takeU32BE(block, &bits)) {
            return readError(ReadProblem::Malformed, at, number);
        }
        if (!channelOf(bits, &channels[i])) {
            return readError(ReadProblem::BadFloat, block->position - 4, number);
        }
    }
    if (gray) {
        channels[1] = channels[2] = channels[0];
    }
    *color = {channels[0], channels[1], channels[2]};
    return skipBytes(block, 2) ? kReadOk : readError(ReadProblem::Malformed, at, number);
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
    const std::size_t number = type == kColorBlock ? palette->count + 1 : 0;
    if (type == kColorBlock && palette->count == kEntryCount) {
        return readError(ReadProblem::TooManyColors, at);
    }
    Name* name = type == kColorBlock ? &palette->colorNames[palette->count] : nullptr;
    if (!takeName(&block, name)) {
        return readError(ReadProblem::NameTooLong, at, number);
    }
    if (type == kGroupStart) {
        return kReadOk;
    }
    const ReadError error = readChannels(&block, number, &palette->colors[palette->count]);
    palette->count += refused(error) ? 0 : 1;
    return error;
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

// "R=r G=g B=b", the name a colour without one is written with.
void nameByNumbers(const Color& color, Name* name) {
    std::array<char, 24> text{};  // the longest, "R=255 G=255 B=255", and a zero
    ByteWriter numbers = startWriting(reinterpret_cast<unsigned char*>(text.data()), 23);
    putText(&numbers, "R=");
    putDecimal(&numbers, color.red);
    putText(&numbers, " G=");
    putDecimal(&numbers, color.green);
    putText(&numbers, " B=");
    putDecimal(&numbers, color.blue);
    nameOf(text.data(), name);
}

// The colour's name, or its numbers for one without: its count of units
// with the closing zero, then the units.
void putName(ByteWriter* writer, const Color& color, const Name& name) {
    Name numbered;  // NOLINT(cppcoreguidelines-pro-type-member-init): its size says what is set
    numbered.size = 0;
    if (name.size == 0) {
        nameByNumbers(color, &numbered);
    }
    const Name& given = name.size == 0 ? numbered : name;
    putU16BE(writer, static_cast<std::uint32_t>(utf16Units(given) + 1));
    putUtf16(writer, given);
}

std::uint32_t floatBits(unsigned channel) {
    const float value = static_cast<float>(channel) / 255.0F;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
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

std::size_t writeAse(const Palette& palette, EncodedBytes* bytes) {
    ByteWriter writer = startWriting(bytes->data(), bytes->size());
    putText(&writer, "ASEF");
    putU16BE(&writer, 1);
    putU16BE(&writer, 0);
    putU32BE(&writer, static_cast<std::uint32_t>(palette.count));
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        putU16BE(&writer, kColorBlock);
        const std::size_t lengthAt = writer.size;
        putU32BE(&writer, 0);  // the block's size, filled in below
        putName(&writer, color, palette.colorNames[i]);
        putText(&writer, "RGB ");
        putU32BE(&writer, floatBits(color.red));
        putU32BE(&writer, floatBits(color.green));
        putU32BE(&writer, floatBits(color.blue));
        putU16BE(&writer, kNormalColor);
        if (!writer.overflowed) {
            const std::size_t length = writer.size - lengthAt - 4;
            ByteWriter size = startWriting(writer.bytes + lengthAt, 4);
            putU32BE(&size, static_cast<std::uint32_t>(length));
        }
    }
    return written(writer);
}

}  // namespace kolorvane::formats
