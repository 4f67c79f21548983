// A palette lump: 256 entries of R G B, 768 bytes, as Quake's palette.lmp
// holds them; Doom's PLAYPAL.lmp holds 14 of them (the game's palette, then
// its tints), and any lump of whole palettes gives its first. Written as
// Quake's, the entries past the palette's count black.
#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

ReadError readLmp(const unsigned char* bytes, std::size_t size, Palette* palette) {
    if (size < kColorTableSize) {
        return readError(ReadProblem::Truncated, size);
    }
    if (size % kColorTableSize != 0) {
        return readError(ReadProblem::ExtraData, size - size % kColorTableSize);
    }
    return takeColorTable(bytes, 0, kEntryCount, TableLayout::Rgb, palette);
}

std::size_t writeLmp(const Palette& palette, ByteBuffer* bytes) {
    ByteWriter writer = startWriting(bytes);
    putColorTable(&writer, palette, kEntryCount, TableLayout::Rgb);
    return written(writer);
}

}  // namespace kolorvane::formats
