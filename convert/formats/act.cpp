// .act: 256 entries of red, green and blue, colour 0 first, and in the
// 772-byte form a trailer of two big-endian 16-bit numbers: the count of
// colours in use and the transparent index. Any .act is read, whatever its
// content: a short one as if padded with zeros, a trailer that gives no count
// from 1 to 256 as 256 colours, the bytes of any other length past 768
// ignored. The 256 entries are kept whatever the count, as converting to EDGE
// PAL copies them all.
#include <algorithm>

#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kTrailerSize = 4;
constexpr std::size_t kTrailedSize = kColorTableSize + kTrailerSize;
constexpr std::uint32_t kNoTransparentIndex = 0xFFFF;

}  // namespace

ReadError readAct(const unsigned char* bytes, std::size_t size, Palette* palette) {
    PalettePlanes planes{};
    decodeColorTable(bytes, size, &planes);
    const ReadError error = paletteOfPlanes(planes, palette);
    if (refused(error)) {
        return error;
    }
    ByteReader trailer = {bytes, size, kColorTableSize};
    std::uint32_t count = 0;
    if (size == kTrailedSize && takeU16BE(&trailer, &count) && count >= 1 && count <= kEntryCount) {
        palette->count = count;
    }
    return kReadOk;
}

std::size_t writeAct(const Palette& palette, ByteBuffer* bytes) {
    std::array<unsigned char, kColorTableSize> table{};
    encodeColorTable(planesOfPalette(palette), &table);
    ByteWriter writer = startWriting(bytes);
    for (const unsigned char byte : table) {
        putByte(&writer, byte);
    }
    if (palette.count < kEntryCount) {
        putU16BE(&writer, static_cast<std::uint32_t>(palette.count));
        putU16BE(&writer, kNoTransparentIndex);
    }
    return written(writer);
}

}  // namespace kolorvane::formats
