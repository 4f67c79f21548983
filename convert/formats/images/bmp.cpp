// BMP, by the rules of image.h. Every header that occurs is read: the
// 12-byte one of OS/2 1.x and Windows 2 (its table's entries B G R), the
// 16- and 64-byte ones of OS/2 2.x, and Windows' 40, 52, 56, 108 and 124
// (entries B G R and a reserved byte). An image of 1, 2, 4 or 8 bits a pixel
// is indexed: its palette is its colour table, biClrUsed entries or, where
// that is 0 (or the header has none), 2^bits. Its pixels are not needed: an
// uncompressed image's must be in the file, an RLE4 or RLE8 image's are
// decoded to its end so that damaged data is refused. An image of 16, 24 or
// 32 bits (BI_RGB, or BI_BITFIELDS with its masks) gives the distinct colours
// of its pixels, rows in file order (bottom-up or top-down) tallied at their
// places from the top; a pixel whose alpha, where masks give it one, is 0 is
// skipped, and a channel of fewer than 8 bits is widened by repeating its
// bits (a 5-bit v is (v << 3) | (v >> 2)).
//
// Written: the swatch grid as an 8-bit image under a BITMAPINFOHEADER, no
// compression, its colour table the palette's colours and biClrUsed their
// count, rows bottom-up.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "bytes.h"
#include "image.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kLargestInfoHeader = 124;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kInfoHeaderSize = 40;
// Offsets in the file of the fields a refusal names.
constexpr std::size_t kPixelOffsetAt = 10;
constexpr std::size_t kHeaderSizeAt = 14;
constexpr std::size_t kColorsUsedAt = kFileHeaderSize + 32;
// Where the masks are: in a header of 52 bytes or more, or after one of 40.
constexpr std::size_t kMasksAt = kFileHeaderSize + kInfoHeaderSize;

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kAlphaBitfields = 6,
};

// A channel's mask, as the place and width of its bits.
struct Channel {
    std::uint32_t shift;
    std::uint32_t width;
};

struct Header {
    std::uint32_t pixelOffset;  // where the pixel data starts
    std::uint32_t headerSize;
    std::int64_t width;
    std::int64_t height;  // below 0: rows stored top first
    std::uint32_t planes;
    std::uint32_t bits;
    std::uint32_t compression;
    std::uint32_t colorsUsed;
    std::uint32_t masks[4];  // red, green, blue, alpha
};

bool knownHeaderSize(std::uint32_t size) {
    constexpr std::uint32_t kSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
    return std::find(std::begin(kSizes), std::end(kSizes), size) != std::end(kSizes);
}

// Whether the header is one of OS/2 2.x's, whose compression 3 and 4 are
// Huffman and RLE24, not Windows' bit fields and JPEG.
bool os2Header(std::uint32_t size) { return size == 16 || size == 64; }

std::int32_t signed32(std::uint32_t value) {
    return value > 0x7FFFFFFFU ? static_cast<std::int32_t>(value - 0x80000000U) - 0x7FFFFFFF - 1
                               : static_cast<std::int32_t>(value);
}

// The fields of a header of 16 bytes or more, from its width on (at 18);
// those a shorter header lacks stay 0.
void parseInfoHeader(ByteReader* reader, Header* header) {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    takeU32LE(reader, &width);
    takeU32LE(reader, &height);
    header->width = signed32(width);
    header->height = signed32(height);
    takeU16LE(reader, &header->planes);
    takeU16LE(reader, &header->bits);
    takeU32LE(reader, &header->compression);
    skipBytes(reader,
              12);  // the image's size, which run-length data ends by itself, and resolution
    takeU32LE(reader, &header->colorsUsed);
    if (header->headerSize >= 52 && !os2Header(header->headerSize)) {
        skipBytes(reader, 4);  // colours important
        for (std::uint32_t& mask : header->masks) {
            takeU32LE(reader, &mask);  // the alpha mask only from 56 bytes on
        }
    }
}

void parseHeader(const unsigned char* bytes, Header* header) {
    ByteReader reader = {bytes, kFileHeaderSize + header->headerSize, kPixelOffsetAt};
    takeU32LE(&reader, &header->pixelOffset);
    skipBytes(&reader, 4);
    if (header->headerSize == kCoreHeaderSize) {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        takeU16LE(&reader, &width);
        takeU16LE(&reader, &height);
        header->width = width;
        header->height = height;
        takeU16LE(&reader, &header->planes);
        takeU16LE(&reader, &header->bits);
        return;
    }
    parseInfoHeader(&reader, header);
}

// The file header and the info header, whatever its size, into `header`.
ReadError readHeader(SourceCursor* cursor, Header* header) {
    unsigned char bytes[kFileHeaderSize + kLargestInfoHeader] = {};
    const std::size_t got = pullBytes(cursor, bytes, kFileHeaderSize + 4);
    if (got < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
        return readError(ReadProblem::NotThisFormat);
    }
    if (got < kFileHeaderSize + 4) {
        return readError(ReadProblem::Truncated, cursor->position);
    }
    *header = Header{};
    ByteReader size = {bytes, kFileHeaderSize + 4, kHeaderSizeAt};
    takeU32LE(&size, &header->headerSize);
    if (!knownHeaderSize(header->headerSize)) {
        return unsupportedValue(kHeaderSizeAt, "header size", header->headerSize);
    }
    if (!takeBytes(cursor, bytes + kFileHeaderSize + 4, header->headerSize - 4)) {
        return readError(ReadProblem::Truncated, cursor->position);
    }
    parseHeader(bytes, header);
    return kReadOk;
}

bool indexed(const Header& header) { return header.bits <= 8; }

bool bitfields(const Header& header) {
    return header.compression == kBitfields || header.compression == kAlphaBitfields;
}

// Whether the compression is one the bits and the header allow.
bool knownCompression(const Header& header) {
    switch (header.compression) {
        case kRgb:
            return true;
        case kRle8:
            return header.bits == 8;
        case kRle4:
            return header.bits == 4;
        case kBitfields:
        case kAlphaBitfields:
            return !os2Header(header.headerSize) && (header.bits == 16 || header.bits == 32);
        default:
            return false;
    }
}

std::uint64_t heightOf(const Header& header) {
    return static_cast<std::uint64_t>(header.height < 0 ? -header.height : header.height);
}

// The fields whose values the format does not define, the size last.
ReadError checkHeader(const Header& header) {
    const std::size_t at = kFileHeaderSize + (header.headerSize == kCoreHeaderSize ? 8 : 12);
    if (header.planes != 1) {
        return unsupportedValue(at, "planes", header.planes);
    }
    const std::uint32_t bits = header.bits;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
        bits != 32) {
        return unsupportedValue(at + 2, "bits per pixel", bits);
    }
    if (!knownCompression(header)) {
        return unsupportedValue(at + 4, "compression", header.compression);
    }
    return checkImageSize(header.width < 0 ? 0 : static_cast<std::uint64_t>(header.width),
                          heightOf(header));
}

// Bytes in a stored row: whole 32-bit words.
std::uint64_t rowBytes(const Header& header) {
    return (static_cast<std::uint64_t>(header.width) * header.bits + 31) / 32 * 4;
}

// Moves the cursor on to the pixel data, which may not start before it.
ReadError seekPixels(SourceCursor* cursor, const Header& header) {
    if (header.pixelOffset < cursor->position) {
        return unsupportedValue(kPixelOffsetAt, "pixel data offset", header.pixelOffset);
    }
    if (!skipSource(cursor, header.pixelOffset - cursor->position)) {
        return readError(ReadProblem::Truncated, cursor->position);
    }
    return kReadOk;
}

// The indices of an absolute run of `count`, dropped: RLE8's a byte each,
// RLE4's two to a byte, padded to 16 bits.
bool skipAbsolute(DataStream* stream, const Header& header, unsigned count) {
    const std::size_t bytes = header.bits == 8 ? count : (count + 1) / 2;
    unsigned char dropped[256] = {};
    return takeData(stream, dropped, bytes + bytes % 2);
}

// The RLE4 or RLE8 data from the cursor, to the end of the bitmap or of its
// last row, its indices dropped: data that ends early is refused. Runs past
// a row's end are cut there, as decoders do.
ReadError checkRunLengths(SourceCursor* cursor, const Header& header) {
    DataStream stream{};
    startDataStream(cursor, &stream);
    const std::uint64_t height = heightOf(header);
    std::uint64_t row = 0;
    unsigned char pair[2] = {};
    while (row < height) {
        if (!takeData(&stream, pair, 2)) {
            return dataEnded(stream);
        }
        if (pair[0] != 0 || pair[1] > 2) {  // a run, or an absolute run
            if (pair[0] == 0 && !skipAbsolute(&stream, header, pair[1])) {
                return dataEnded(stream);
            }
        } else if (pair[1] == 1) {  // the end of the bitmap
            return kReadOk;
        } else if (pair[1] == 0) {  // the end of a row
            row++;
        } else if (takeData(&stream, pair, 2)) {  // a move right and down
            row += pair[1];
        } else {
            return dataEnded(stream);
        }
    }
    return kReadOk;
}

// An indexed image: its colour table, then a check that its pixels are
// there.
ReadError readIndexed(SourceCursor* cursor, const Header& header, Palette* palette) {
    const bool core = header.headerSize == kCoreHeaderSize;
    const std::size_t count = header.colorsUsed != 0 ? header.colorsUsed : 1U << header.bits;
    if (header.colorsUsed > kEntryCount) {
        return tooManyColors(kColorsUsedAt, kEntryCount);
    }
    ReadError error =
        readColorTable(cursor, 0, count, core ? TableLayout::Bgr : TableLayout::Bgrx, palette);
    if (!refused(error)) {
        error = seekPixels(cursor, header);
    }
    if (refused(error) || header.compression != kRgb) {
        return refused(error) ? error : checkRunLengths(cursor, header);
    }
    if (!skipSource(cursor, rowBytes(header) * heightOf(header))) {
        return readError(ReadProblem::Truncated, cursor->position);
    }
    return kReadOk;
}

// The channels of the masks, and of an alpha mask where the masks give one:
// a mask of bits that are not side by side is refused.
ReadError channelsOf(const Header& header, Channel* channels) {
    constexpr const char* kNames[] = {"red mask", "green mask", "blue mask", "alpha mask"};
    for (std::size_t c = 0; c < 4; c++) {
        std::uint32_t mask = header.masks[c];
        std::uint32_t shift = 0;
        while (mask != 0 && (mask & 1) == 0) {
            mask >>= 1;
            shift++;
        }
        if ((mask & (mask + 1)) != 0) {
            return unsupportedValue(kMasksAt + 4 * c, kNames[c], header.masks[c]);
        }
        std::uint32_t width = 0;
        for (; mask != 0; mask >>= 1) {
            width++;
        }
        channels[c] = {shift, width};
    }
    return kReadOk;
}

// The masks of BI_RGB: 5 bits a channel in 16 bits, 8 in 32.
void defaultMasks(Header* header) {
    const bool sixteen = header->bits == 16;
    header->masks[0] = sixteen ? 0x7C00 : 0xFF0000;
    header->masks[1] = sixteen ? 0x03E0 : 0x00FF00;
    header->masks[2] = sixteen ? 0x001F : 0x0000FF;
    header->masks[3] = 0;
}

// The masks of a true-colour image, read after a 40-byte header where it
// has bit fields, into `channels`.
ReadError readMasks(SourceCursor* cursor, Header* header, Channel* channels) {
    if (!bitfields(*header)) {
        defaultMasks(header);
    } else if (header->headerSize == kInfoHeaderSize) {
        const std::size_t count = header->compression == kAlphaBitfields ? 4 : 3;
        unsigned char bytes[16] = {};
        if (!takeBytes(cursor, bytes, count * 4)) {
            return readError(ReadProblem::Truncated, cursor->position);
        }
        ByteReader reader = {bytes, count * 4, 0};
        for (std::size_t c = 0; c < count; c++) {
            takeU32LE(&reader, &header->masks[c]);
        }
    }
    return header->bits == 24 ? kReadOk : channelsOf(*header, channels);
}

// A channel's bits as 8: the top 8 of a wider one, a narrower one's bits
// repeated.
unsigned scaled(std::uint32_t value, std::uint32_t width) {
    if (width >= 8) {
        return value >> (width - 8);
    }
    if (width == 0) {
        return 0;
    }
    unsigned repeated = 0;
    unsigned bits = 0;
    for (; bits < 8; bits += width) {
        repeated = repeated << width | value;
    }
    return (repeated >> (bits - 8)) & 0xFF;
}

std::uint32_t maskedPixel(std::uint32_t value, const Channel* channels) {
    unsigned parts[4] = {};
    for (std::size_t c = 0; c < 4; c++) {
        const Channel& channel = channels[c];
        const std::uint32_t all = channel.width == 32 ? ~0U : (1U << channel.width) - 1;
        parts[c] = scaled(value >> channel.shift & all, channel.width);
    }
    const bool clear = channels[3].width != 0 && parts[3] == 0;
    return clear ? kTransparent : pixelOf(parts[0], parts[1], parts[2]);
}

// One stored row as pixels.
void pixelsOfRow(const Header& header, const Channel* channels, PixelRows* rows) {
    const unsigned char* at = rows->stored;
    const auto width = static_cast<std::size_t>(header.width);
    for (std::size_t x = 0; x < width; x++) {
        if (header.bits == 24) {
            rows->pixels[x] = pixelOf(at[2], at[1], at[0]);
            at += 3;
        } else if (header.bits == 16) {
            rows->pixels[x] = maskedPixel(at[0] | at[1] << 8, channels);
            at += 2;
        } else {
            const std::uint32_t value =
                at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
            rows->pixels[x] = maskedPixel(value, channels);
            at += 4;
        }
    }
}

// The rows in file order, each tallied at its place from the top.
ReadError tallyRows(SourceCursor* cursor, const Header& header, const Channel* channels,
                    PixelRows* rows, Palette* palette) {
    const std::uint64_t height = heightOf(header);
    const auto width = static_cast<std::uint64_t>(header.width);
    const auto size = static_cast<std::size_t>(rowBytes(header));
    for (std::uint64_t row = 0; row < height; row++) {
        if (!takeBytes(cursor, rows->stored, size)) {
            return readError(ReadProblem::Truncated, cursor->position);
        }
        pixelsOfRow(header, channels, rows);
        const std::uint64_t y = header.height < 0 ? row : height - 1 - row;
        const TallyResult tallied =
            tallyPixels(rows->colors, rows->pixels, static_cast<std::size_t>(width), y * width, 1);
        if (tallied != TallyResult::Counted) {
            return tallyRefusal(tallied);
        }
    }
    return paletteOfTally(*rows->colors, palette);
}

ReadError readTrueColor(SourceCursor* cursor, Header* header, Palette* palette) {
    Channel channels[4] = {};
    ReadError error = readMasks(cursor, header, channels);
    if (!refused(error)) {
        error = seekPixels(cursor, *header);
    }
    PixelRows rows{};
    if (refused(error)) {
        return error;
    }
    if (!startPixelRows(static_cast<std::size_t>(rowBytes(*header)),
                        static_cast<std::uint32_t>(header->width), &rows)) {
        return kNoMemory;
    }
    error = tallyRows(cursor, *header, channels, &rows, palette);
    endPixelRows(&rows);
    return error;
}

}  // namespace

ReadError readBmpStream(const ByteSource& source, Palette* palette) {
    SourceCursor cursor = {&source, 0};
    Header header{};
    ReadError error = readHeader(&cursor, &header);
    if (!refused(error)) {
        error = checkHeader(header);
    }
    if (refused(error)) {
        return error;
    }
    return indexed(header) ? readIndexed(&cursor, header, palette)
                           : readTrueColor(&cursor, &header, palette);
}

ReadError readBmp(const unsigned char* bytes, std::size_t size, Palette* palette) {
    MemorySource memory = {bytes, size};
    return readBmpStream(sourceOf(&memory), palette);
}

// An 8-bit image with a colour table up to 256 colours, a 24-bit one past.
std::size_t writeBmp(const Palette& palette, ByteBuffer* bytes) {
    SwatchGrid grid{};
    if (!swatchGridOf(palette, &grid)) {
        return 0;
    }
    const bool indexed = grid.count <= kLargestIndexedGrid;
    const std::uint32_t tableSize = indexed ? 4 * grid.count : 0;
    const std::uint32_t bits = indexed ? 8 : 24;
    // The grid is 16 pixels a square wide: its rows need no padding.
    const auto pixelOffset =
        static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize + tableSize);
    const std::uint32_t dataSize = grid.width * grid.height * (bits / 8);
    ByteWriter writer = startWriting(bytes);
    putByte(&writer, 'B');
    putByte(&writer, 'M');
    putU32LE(&writer, pixelOffset + dataSize);
    putU32LE(&writer, 0);  // reserved
    putU32LE(&writer, pixelOffset);
    for (const std::uint32_t field : {std::uint32_t{kInfoHeaderSize}, grid.width, grid.height}) {
        putU32LE(&writer, field);
    }
    putU16LE(&writer, 1);  // planes
    putU16LE(&writer, bits);
    // No compression, the data's size, 72 dpi, the colours used, all of
    // them important.
    for (const std::uint32_t field : {0U, dataSize, 2835U, 2835U, indexed ? grid.count : 0U, 0U}) {
        putU32LE(&writer, field);
    }
    putColorTable(&writer, palette, indexed ? grid.count : 0, TableLayout::Bgrx);
    putSwatchRowsFromBottom(&writer, palette, grid, indexed);
    return written(writer);
}

}  // namespace kolorvane::formats
