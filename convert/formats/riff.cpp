// Microsoft's RIFF palette: "RIFF", the size of what follows (32-bit,
// little-endian), the form "PAL ", then chunks, of which the first "data"
// chunk holds the palette: version 0x0300, the number of colours (16-bit),
// then red, green, blue and a flags byte per colour. Other chunks are
// skipped; every size is checked against the bytes there before it is used.
#include <cstring>

#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::uint32_t kVersion = 0x0300;
constexpr std::size_t kHeaderSize = 12;  // "RIFF", size, "PAL "
constexpr std::size_t kChunkHeaderSize = 8;

// The data chunk, `reader` limited to it: version, count and the colours,
// which must fill it exactly.
ReadError readData(ByteReader reader, Palette* palette) {
    const std::size_t start = reader.position;
    std::uint32_t version = 0;
    std::uint32_t count = 0;
    if (!takeU16LE(&reader, &version) || !takeU16LE(&reader, &count)) {
        return readError(ReadProblem::Truncated, start);
    }
    if (version != kVersion) {
        return readError(ReadProblem::BadVersion, start, 0, version);
    }
    const ReadError counted = checkCount(count, start + 2);
    if (refused(counted)) {
        return counted;
    }
    if (reader.size - reader.position != 4 * std::size_t{count}) {
        return readError(ReadProblem::CountMismatch, start + 2, 0, count);
    }
    const ReadError error = resizePalette(palette, count, start + 2);
    for (std::size_t i = 0; !refused(error) && i < count; i++) {
        const unsigned char* entry = reader.bytes + reader.position + 4 * i;
        palette->colors[i] = {entry[0], entry[1], entry[2]};
    }
    return error;
}

}  // namespace

bool detectRiff(const unsigned char* bytes, std::size_t size) {
    return size >= kHeaderSize && std::memcmp(bytes, "RIFF", 4) == 0 &&
           std::memcmp(bytes + 8, "PAL ", 4) == 0;
}

ReadError readRiff(const unsigned char* bytes, std::size_t size, Palette* palette) {
    if (!detectRiff(bytes, size)) {
        return readError(ReadProblem::NotThisFormat);
    }
    ByteReader reader = {bytes, size, 4};
    std::uint32_t riffSize = 0;
    takeU32LE(&reader, &riffSize);
    if (riffSize > size - 8) {
        return readError(ReadProblem::SizePastEnd, 4);
    }
    if (riffSize < 4) {
        return readError(ReadProblem::Malformed, 4);  // too small for its own form
    }
    // Bytes past the RIFF's own size are not its.
    reader = {bytes, 8 + std::size_t{riffSize}, kHeaderSize};
    while (reader.position < reader.size) {
        const std::size_t at = reader.position;
        std::uint32_t chunkSize = 0;
        if (!skipBytes(&reader, 4) || !takeU32LE(&reader, &chunkSize)) {
            return readError(ReadProblem::Truncated, at);
        }
        if (!fits(reader, chunkSize)) {
            return readError(ReadProblem::SizePastEnd, at + 4);
        }
        if (std::memcmp(bytes + at, "data", 4) == 0) {
            return readData({bytes, reader.position + chunkSize, reader.position}, palette);
        }
        // A chunk of odd size is followed by a pad byte.
        skipBytes(&reader, chunkSize);
        skipBytes(&reader, chunkSize & 1U);
    }
    return readError(ReadProblem::NoColors, reader.size);
}

std::size_t writeRiff(const Palette& palette, ByteBuffer* bytes) {
    const auto count = static_cast<std::uint32_t>(palette.count);
    const std::uint32_t dataSize = 4 + 4 * count;
    ByteWriter writer = startWriting(bytes);
    putText(&writer, "RIFF");
    putU32LE(&writer, 4 + kChunkHeaderSize + dataSize);
    putText(&writer, "PAL data");
    putU32LE(&writer, dataSize);
    putU16LE(&writer, kVersion);
    putU16LE(&writer, count);
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        putByte(&writer, color.red);
        putByte(&writer, color.green);
        putByte(&writer, color.blue);
        putByte(&writer, 0);
    }
    return written(writer);
}

}  // namespace kolorvane::formats
