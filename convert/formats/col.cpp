// Animator Pro's palette (.col): an 8-byte header of little-endian numbers,
// the file's size (32-bit), the magic 0xB123 and the version, 0 (16-bit
// each); then entries of R G B, 8 bits each. Animator Pro writes 256 of
// them, 776 bytes; as its own description says that is not to be assumed,
// a file of fewer, its size saying so, is read as that many colours.
// Written: always 256 entries, those past the palette's count black.
#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kFileSize = kHeaderSize + kColorTableSize;
constexpr std::uint32_t kMagic = 0xB123;

}  // namespace

bool detectCol(const unsigned char* bytes, std::size_t size) {
    return size >= kHeaderSize && bytes[4] == (kMagic & 0xFF) && bytes[5] == kMagic >> 8;
}

ReadError readCol(const unsigned char* bytes, std::size_t size, Palette* palette) {
    ByteReader reader = {bytes, size, 0};
    std::uint32_t fileSize = 0;
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    if (!takeU32LE(&reader, &fileSize) || !takeU16LE(&reader, &magic) ||
        !takeU16LE(&reader, &version) || magic != kMagic) {
        return readError(ReadProblem::NotThisFormat);
    }
    if (version != 0) {
        return readError(ReadProblem::BadVersion, 6, 0, version);
    }
    if (fileSize > size) {
        return readError(ReadProblem::Truncated, size);
    }
    if (fileSize < kHeaderSize + 3 || (fileSize - kHeaderSize) % 3 != 0) {
        return unsupportedValue(0, "file size", fileSize);
    }
    if (fileSize < size) {
        return readError(ReadProblem::ExtraData, fileSize);
    }
    const std::size_t count = (size - kHeaderSize) / 3;
    if (count > kEntryCount) {
        return tooManyColors(0, kEntryCount);
    }
    return takeColorTable(bytes + kHeaderSize, 0, count, TableLayout::Rgb, palette);
}

std::size_t writeCol(const Palette& palette, ByteBuffer* bytes) {
    ByteWriter writer = startWriting(bytes);
    putU32LE(&writer, kFileSize);
    putU16LE(&writer, kMagic);
    putU16LE(&writer, 0);
    putColorTable(&writer, palette, kEntryCount, TableLayout::Rgb);
    return written(writer);
}

}  // namespace kolorvane::formats
