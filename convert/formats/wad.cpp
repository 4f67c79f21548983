// Doom's WAD, an IWAD (a game's data) or a PWAD (an add-on's): a 12-byte
// header, "IWAD" or "PWAD" and two little-endian 32-bit numbers, the count
// of lumps and the directory's offset; the lumps; and the directory, 16
// bytes a lump: its offset and size (little-endian 32-bit) and its name, 8
// bytes padded with zeros. The palette is the first 768 bytes of the
// PLAYPAL lump, which holds the game's palette and then its 13 tints; of
// several PLAYPAL lumps the last counts, as the game takes it.
//
// A WAD is a game's whole data (tens of megabytes, the directory usually at
// the end and PLAYPAL in the middle): it is read at three places, never
// whole, through the source: the header, the directory a block at a time,
// and the lump. The directory, and every lump it lists, must lie inside the
// file. A source of unknown size (a pipe) can only be read on: its WAD is
// read when PLAYPAL comes after the directory, and refused when it comes
// before, never by reading the whole pipe to find it.
#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kNameSize = 8;
constexpr std::size_t kEntriesABlock = 256;
// The numbers are signed 32-bit fields: none is larger.
constexpr std::uint32_t kLargestNumber = 0x7FFFFFFF;

// Where the directory is and what it lists.
struct Directory {
    std::uint64_t start;
    std::uint32_t count;
};

// A lump the directory lists, and where its entry is (0: none found).
struct Lump {
    std::uint64_t entry;
    std::uint32_t offset;
    std::uint32_t size;
};

bool sizeKnown(const ByteSource& source) { return source.size != kUnknownSourceSize; }

bool isPlaypal(const unsigned char* name) {
    return equalsIgnoreCaseN(name, "PLAYPAL", kNameSize - 1) && name[kNameSize - 1] == 0;
}

ReadError readHeader(const ByteSource& source, Directory* directory) {
    unsigned char header[kHeaderSize] = {};
    const std::size_t got = source.readAt(source.context, 0, header, sizeof header);
    ByteReader reader = {header, got, 0};
    std::uint32_t count = 0;
    std::uint32_t offset = 0;
    const bool magic = takeTag(&reader, "IWAD", 4) || takeTag(&reader, "PWAD", 4);
    if (!magic || !takeU32LE(&reader, &count) || !takeU32LE(&reader, &offset)) {
        return readError(ReadProblem::NotThisFormat);
    }
    if (count > kLargestNumber) {
        return unsupportedValue(4, "lump count", count);
    }
    const std::uint64_t length = std::uint64_t{count} * kEntrySize;
    if (offset > kLargestNumber || (sizeKnown(source) && offset + length > source.size)) {
        return readError(ReadProblem::SizePastEnd, 8);
    }
    if (count != 0 && offset < kHeaderSize) {
        return readError(ReadProblem::Malformed, 8);  // over the header
    }
    *directory = {offset, count};
    return kReadOk;
}

// One entry: PLAYPAL is kept in `playpal`; a lump past the file's end, or
// of a size no file holds, refuses the WAD.
ReadError readEntry(const ByteSource& source, const unsigned char* bytes, std::uint64_t at,
                    Lump* playpal) {
    ByteReader reader = {bytes, kEntrySize, 0};
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    takeU32LE(&reader, &offset);
    takeU32LE(&reader, &size);
    const std::uint64_t end = std::uint64_t{offset} + size;
    if (offset > kLargestNumber || size > kLargestNumber ||
        (sizeKnown(source) && end > source.size)) {
        return readError(ReadProblem::SizePastEnd, at);
    }
    if (isPlaypal(bytes + 8)) {
        *playpal = {at, offset, size};
    }
    return kReadOk;
}

// The directory, a block of entries a read.
ReadError findPlaypal(const ByteSource& source, const Directory& directory, Lump* playpal) {
    unsigned char block[kEntriesABlock * kEntrySize];
    for (std::uint32_t first = 0; first < directory.count; first += kEntriesABlock) {
        const std::uint32_t left = directory.count - first;
        const std::size_t entries = left < kEntriesABlock ? left : kEntriesABlock;
        const std::uint64_t at = directory.start + static_cast<std::uint64_t>(first) * kEntrySize;
        const std::size_t got = source.readAt(source.context, at, block, entries * kEntrySize);
        if (got != entries * kEntrySize) {
            return readError(ReadProblem::Truncated, at + got);
        }
        for (std::size_t i = 0; i < entries; i++) {
            const ReadError error =
                readEntry(source, block + i * kEntrySize, at + i * kEntrySize, playpal);
            if (refused(error)) {
                return error;
            }
        }
    }
    return kReadOk;
}

ReadError readPlaypal(const ByteSource& source, const Directory& directory, const Lump& lump,
                      Palette* palette) {
    if (lump.size < kColorTableSize) {
        return unsupportedValue(lump.entry + 4, "PLAYPAL lump size", lump.size);
    }
    const std::uint64_t passed =
        directory.start + static_cast<std::uint64_t>(directory.count) * kEntrySize;
    if (!sizeKnown(source) && lump.offset < passed) {
        return readError(ReadProblem::BehindInStream, lump.offset);
    }
    unsigned char table[kColorTableSize];
    const std::size_t got = source.readAt(source.context, lump.offset, table, sizeof table);
    if (got != sizeof table) {
        return readError(ReadProblem::Truncated, lump.offset + got);
    }
    return takeColorTable(table, 0, kEntryCount, TableLayout::Rgb, palette);
}

}  // namespace

ReadError readWadStream(const ByteSource& source, Palette* palette) {
    Directory directory{};
    ReadError error = readHeader(source, &directory);
    Lump playpal = {0, 0, 0};
    if (!refused(error)) {
        error = findPlaypal(source, directory, &playpal);
    }
    if (!refused(error) && playpal.entry == 0) {
        error = readErrorSaying(ReadProblem::Missing, "PLAYPAL lump");
    }
    return refused(error) ? error : readPlaypal(source, directory, playpal, palette);
}

ReadError readWad(const unsigned char* bytes, std::size_t size, Palette* palette) {
    MemorySource memory = {bytes, size};
    return readWadStream(sourceOf(&memory), palette);
}

}  // namespace kolorvane::formats
