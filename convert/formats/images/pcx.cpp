// PCX, by the rules of image.h. Its palette is where its kind keeps it:
// - 8 bits, 1 plane: the 256 entries of R G B after the 0x0C byte 769
//   bytes from the file's end, read there alone (the image data between is
//   not needed, and a file cut short has lost that palette);
// - 1 bit in 2 to 4 planes, or 2 or 4 bits in 1: the first 2^(bits ×
//   planes) of the 16 entries in the header;
// - 1 bit, 1 plane: black and white, whatever the header holds, as PCX
//   readers take it;
// - 8 bits, 3 planes (24 bits): the distinct colours of its pixels.
// The image data of every kind but the first is decoded to its last row,
// the runs free to cross rows, so that data that ends early is refused.
//
// Written: a version 5 PCX of 8 bits in 1 plane, the swatch grid run-length
// coded a row at a time (runs of at most 63; a byte of 0xC0 or more always
// as a run), then 0x0C and 256 entries, those past the palette's count
// black.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "image.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kHeaderPaletteAt = 16;
constexpr std::size_t kHeaderEntries = 16;
constexpr unsigned char kManufacturer = 0x0A;
constexpr unsigned char kPaletteMark = 0x0C;
// The 256-colour palette at the end: its mark and its entries.
constexpr std::size_t kTailSize = 1 + 3 * kEntryCount;
constexpr unsigned kLongestRun = 63;
constexpr unsigned kRunFlags = 0xC0;
// Offsets of the fields a refusal names.
constexpr std::size_t kVersionAt = 1;
constexpr std::size_t kEncodingAt = 2;
constexpr std::size_t kBitsAt = 3;
constexpr std::size_t kPlanesAt = 65;
constexpr std::size_t kBytesPerLineAt = 66;

struct Header {
    std::uint32_t version;
    std::uint32_t encoding;  // 1: run-length coded; 0: as it is
    std::uint32_t bits;      // per pixel in a plane
    std::uint32_t planes;
    std::int64_t width;
    std::int64_t height;
    std::uint32_t bytesPerLine;  // of a plane's row
};

void parseHeader(const unsigned char* bytes, Header* header) {
    ByteReader reader = {bytes, kHeaderSize, kBitsAt + 1};
    std::uint32_t box[4] = {};  // the first column and row, the last ones
    header->version = bytes[kVersionAt];
    header->encoding = bytes[kEncodingAt];
    header->bits = bytes[kBitsAt];
    for (std::uint32_t& edge : box) {
        takeU16LE(&reader, &edge);
    }
    header->width = std::int64_t{box[2]} - box[0] + 1;
    header->height = std::int64_t{box[3]} - box[1] + 1;
    header->planes = bytes[kPlanesAt];
    reader.position = kBytesPerLineAt;
    takeU16LE(&reader, &header->bytesPerLine);
}

// The kinds of PCX read: bits in planes.
bool knownKind(const Header& header) {
    switch (header.planes) {
        case 1:
            return header.bits == 1 || header.bits == 2 || header.bits == 4 || header.bits == 8;
        case 2:
        case 4:
            return header.bits == 1;
        case 3:
            return header.bits == 1 || header.bits == 8;
        default:
            return false;
    }
}

ReadError checkHeader(const Header& header) {
    const std::uint32_t version = header.version;
    if (version != 0 && version != 2 && version != 3 && version != 4 && version != 5) {
        return readError(ReadProblem::BadVersion, kVersionAt, 0, version);
    }
    if (header.encoding > 1) {
        return unsupportedValue(kEncodingAt, "encoding", header.encoding);
    }
    if (!knownKind(header)) {
        return header.bits == 1 || header.bits == 2 || header.bits == 4 || header.bits == 8
                   ? unsupportedValue(kPlanesAt, "planes", header.planes)
                   : unsupportedValue(kBitsAt, "bits per pixel", header.bits);
    }
    const ReadError size =
        checkImageSize(header.width < 0 ? 0 : header.width, header.height < 0 ? 0 : header.height);
    if (refused(size)) {
        return size;
    }
    // A plane's row holds at least the row's pixels.
    const std::uint64_t least = (static_cast<std::uint64_t>(header.width) * header.bits + 7) / 8;
    return header.bytesPerLine < least
               ? unsupportedValue(kBytesPerLineAt, "bytes per line", header.bytesPerLine)
               : kReadOk;
}

// The last kTailSize bytes of a source whose size is not known, read on to
// its end.
bool takeTailReadingOn(SourceCursor* cursor, unsigned char* tail) {
    constexpr std::size_t kBlock = 4096;
    unsigned char bytes[kTailSize + kBlock] = {};
    std::size_t kept = 0;
    for (std::size_t got = 1; got != 0; kept += got) {
        if (kept > kTailSize) {
            std::memmove(bytes, bytes + kept - kTailSize, kTailSize);
            kept = kTailSize;
        }
        got = pullBytes(cursor, bytes + kept, kBlock);
    }
    std::memcpy(tail, bytes + (kept > kTailSize ? kept - kTailSize : 0), kTailSize);
    return kept >= kTailSize;
}

// The palette after the 0x0C byte at the end: read there alone where the
// source's size is known, else by reading on to the end.
ReadError readTailPalette(SourceCursor* cursor, Palette* palette) {
    const std::uint64_t size = cursor->source->size;
    unsigned char tail[kTailSize] = {};
    if (size != kUnknownSourceSize) {
        if (size < kHeaderSize + kTailSize) {
            return readError(ReadProblem::Truncated, size);
        }
        cursor->position = size - kTailSize;
        if (!takeBytes(cursor, tail, kTailSize)) {
            return readError(ReadProblem::Truncated, cursor->position);
        }
    } else if (!takeTailReadingOn(cursor, tail)) {
        return readError(ReadProblem::Truncated, cursor->position);
    }
    if (tail[0] != kPaletteMark) {
        return readErrorSaying(ReadProblem::Missing,
                               "256-colour palette after a 0x0C byte at the end");
    }
    return takeColorTable(tail + 1, 0, kEntryCount, TableLayout::Rgb, palette);
}

// Image data as it comes: as it is, or run-length coded, where a byte
// with its top two bits set is the count of a run of the byte after it.
struct Runs {
    DataStream stream;
    bool coded;
    unsigned left;  // of the current run
    unsigned value;
};

// The next `count` bytes of decoded data; a run may go on past the row it
// started in.
bool takeDecoded(Runs* runs, unsigned char* bytes, std::size_t count) {
    if (!runs->coded) {
        return takeData(&runs->stream, bytes, count);
    }
    for (std::size_t i = 0; i < count;) {
        while (runs->left == 0) {
            unsigned first = 0;
            if (!takeDataByte(&runs->stream, &first)) {
                return false;
            }
            const bool run = (first & kRunFlags) == kRunFlags;
            runs->left = run ? first & kLongestRun : 1;
            runs->value = first;
            if (run && !takeDataByte(&runs->stream, &runs->value)) {
                return false;
            }
        }
        const std::size_t part = std::min<std::size_t>(runs->left, count - i);
        std::memset(bytes + i, static_cast<int>(runs->value), part);
        runs->left -= static_cast<unsigned>(part);
        i += part;
    }
    return true;
}

std::size_t scanlineBytes(const Header& header) {
    return std::size_t{header.bytesPerLine} * header.planes;
}

// Every row, into `rows` (its stored buffer a scanline) and tallied where
// `rows` has a tally, dropped otherwise.
ReadError decodeRows(SourceCursor* cursor, const Header& header, PixelRows* rows) {
    Runs runs = {{}, header.encoding == 1, 0, 0};
    startDataStream(cursor, &runs.stream);
    const auto width = static_cast<std::size_t>(header.width);
    const std::size_t line = header.bytesPerLine;
    for (std::uint64_t y = 0; y < static_cast<std::uint64_t>(header.height); y++) {
        if (!takeDecoded(&runs, rows->stored, scanlineBytes(header))) {
            return dataEnded(runs.stream);
        }
        if (rows->colors == nullptr) {
            continue;
        }
        const unsigned char* stored = rows->stored;
        for (std::size_t x = 0; x < width; x++) {
            rows->pixels[x] = pixelOf(stored[x], stored[line + x], stored[2 * line + x]);
        }
        const TallyResult tallied = tallyPixels(rows->colors, rows->pixels, width, y * width, 1);
        if (tallied != TallyResult::Counted) {
            return tallyRefusal(tallied);
        }
    }
    return kReadOk;
}

// The image data decoded to its last row: a 24-bit image's pixels tallied
// into the palette, an indexed image's dropped.
ReadError readImageData(SourceCursor* cursor, const Header& header, bool tally, Palette* palette) {
    PixelRows rows{};
    const auto width = static_cast<std::uint32_t>(header.width);
    if (!startPixelRows(scanlineBytes(header), width, &rows)) {
        return kNoMemory;
    }
    if (!tally) {
        endTally(rows.colors);
        rows.colors = nullptr;
    }
    ReadError error = decodeRows(cursor, header, &rows);
    if (!refused(error) && tally) {
        error = paletteOfTally(*rows.colors, palette);
    }
    endPixelRows(&rows);
    return error;
}

// The palette of an indexed image that the header holds, or black and
// white; then its image data, checked.
ReadError readHeaderPalette(SourceCursor* cursor, const Header& header, const unsigned char* bytes,
                            Palette* palette) {
    const std::size_t count = std::size_t{1} << (header.bits * header.planes);
    constexpr unsigned char kBlackAndWhite[] = {0, 0, 0, 255, 255, 255};
    const bool mono = count == 2 && header.planes == 1;
    const ReadError error = takeColorTable(mono ? kBlackAndWhite : bytes + kHeaderPaletteAt, 0,
                                           count, TableLayout::Rgb, palette);
    return refused(error) ? error : readImageData(cursor, header, false, palette);
}

}  // namespace

ReadError readPcxStream(const ByteSource& source, Palette* palette) {
    SourceCursor cursor = {&source, 0};
    unsigned char bytes[kHeaderSize] = {};
    const std::size_t got = pullBytes(&cursor, bytes, kHeaderSize);
    if (got == 0 || bytes[0] != kManufacturer) {
        return readError(ReadProblem::NotThisFormat);
    }
    if (got < kHeaderSize) {
        return readError(ReadProblem::Truncated, got);
    }
    Header header{};
    parseHeader(bytes, &header);
    const ReadError error = checkHeader(header);
    if (refused(error)) {
        return error;
    }
    if (header.bits == 8) {
        return header.planes == 1 ? readTailPalette(&cursor, palette)
                                  : readImageData(&cursor, header, true, palette);
    }
    return readHeaderPalette(&cursor, header, bytes, palette);
}

ReadError readPcx(const unsigned char* bytes, std::size_t size, Palette* palette) {
    MemorySource memory = {bytes, size};
    return readPcxStream(sourceOf(&memory), palette);
}

namespace {

// One row of indices, run-length coded as PCX requires.
void putRuns(ByteWriter* writer, const unsigned char* row, std::uint32_t width) {
    for (std::uint32_t x = 0; x < width;) {
        const unsigned value = row[x];
        unsigned length = 1;
        while (x + length < width && length < kLongestRun && row[x + length] == value) {
            length++;
        }
        if (length > 1 || value >= kRunFlags) {
            putByte(writer, kRunFlags | length);
        }
        putByte(writer, value);
        x += length;
    }
}

void putHeader(ByteWriter* writer, const SwatchGrid& grid) {
    putByte(writer, kManufacturer);
    putByte(writer, 5);  // version 5: a 256-colour palette at the end
    putByte(writer, 1);  // run-length coded
    putByte(writer, 8);  // bits per pixel
    // The first column and row, the last ones, 72 dpi across and down.
    for (const std::uint32_t field : {0U, 0U, grid.width - 1, grid.height - 1, 72U, 72U}) {
        putU16LE(writer, field);
    }
    for (std::size_t i = 0; i < 3 * kHeaderEntries + 1; i++) {
        putByte(writer, 0);  // the header's palette, unused, and a reserved byte
    }
    putByte(writer, 1);            // planes
    putU16LE(writer, grid.width);  // bytes per line: even, as the grid is 16 pixels a square
    putU16LE(writer, 1);           // a colour palette
    while (writer->size < kHeaderSize && !writer->overflowed) {
        putByte(writer, 0);
    }
}

}  // namespace

std::size_t writePcx(const Palette& palette, ByteBuffer* bytes) {
    SwatchGrid grid{};
    if (!swatchGridOf(palette, &grid)) {
        return 0;
    }
    ByteWriter writer = startWriting(bytes);
    putHeader(&writer, grid);
    unsigned char row[kLargestSwatchWidth] = {};
    for (std::uint32_t y = 0; y < grid.height; y++) {
        swatchRow(grid, y, row);
        putRuns(&writer, row, grid.width);
    }
    putByte(&writer, kPaletteMark);
    putColorTable(&writer, palette, kEntryCount, TableLayout::Rgb);
    return written(writer);
}

}  // namespace kolorvane::formats
