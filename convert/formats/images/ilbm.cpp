// IFF ILBM, Deluxe Paint's image (.lbm, .iff, .bbm; some games' .col), by
// the rules of image.h: a FORM of type ILBM (bitplanes) or "PBM " (chunky
// pixels, Deluxe Paint for the PC) holding chunks, each a 4-letter type, a
// big-endian 32-bit length, the data and a pad byte after an odd length.
// Its palette is the CMAP chunk: length / 3 entries of R G B, values as
// stored. A FORM without one (a 24-bit image) holds no palette.
//
// The chunks are walked through the source, each read where it starts and
// its data passed over, so that a large image is never read whole: every
// chunk must lie inside the FORM, and the FORM inside the file. BODY, the
// pixels, is not decoded: an indexed image's palette is its table, whatever
// the pixels hold, so decoding them would change nothing read. BMHD, where
// there is one, is checked: its masking and compression must be values the
// format defines (compression 2 is Atari Deluxe Paint's VDAT), and where
// there is a BODY, an image (a colour-map file has 0 planes) must have a
// width and height image.h allows. Games and paint programs ship palettes
// as forms of a 0 × 0 BMHD, a CMAP and no BODY: a palette with no picture.
//
// Written: BMHD, CMAP (the palette's colours) and BODY, the swatch grid in 8
// bitplanes, each plane's row compressed by ByteRun1, as Deluxe Paint
// writes them and every reader takes them.
#include <cstring>

#include "bytes.h"
#include "image.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kFormHeaderSize = 12;  // "FORM", length, type
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kBmhdSize = 20;
constexpr std::uint32_t kLargestMasking = 3;      // lasso
constexpr std::uint32_t kLargestCompression = 2;  // VDAT
constexpr std::uint32_t kPlanes = 8;

bool isType(const unsigned char* bytes, const char* type) {
    return std::memcmp(bytes, type, 4) == 0;
}

// A CMAP holds 256 entries at most.
constexpr std::size_t kLargestCmap = 256;

// The chunks of a FORM, read in order up to its end, and the first CMAP's
// entries, which become the palette only once the whole FORM is sound.
struct Walk {
    SourceCursor cursor;
    std::uint64_t end;
    std::size_t count;  // 0 until a CMAP is read
    unsigned char table[3 * kLargestCmap];
    // The image the BMHD describes, checked once the walk knows whether
    // there is a BODY.
    std::uint32_t width;
    std::uint32_t height;
    bool image;  // a BMHD of 1 plane or more
    bool body;
};

ReadError checkBmhd(const unsigned char* bmhd, std::uint64_t at, Walk* walk) {
    ByteReader reader = {bmhd, kBmhdSize, 0};
    takeU16BE(&reader, &walk->width);
    takeU16BE(&reader, &walk->height);
    const std::uint32_t planes = bmhd[8];
    const std::uint32_t masking = bmhd[9];
    const std::uint32_t compression = bmhd[10];
    if (masking > kLargestMasking) {
        return unsupportedValue(at + 9, "masking", masking);
    }
    if (compression > kLargestCompression) {
        return unsupportedValue(at + 10, "compression", compression);
    }
    walk->image = planes != 0;
    return kReadOk;
}

// What the chunk of `type` and `length` bytes at the cursor says: a BMHD
// checked, the first CMAP's entries taken, anything else nothing. The
// bytes it read: `taken`.
ReadError takeChunk(Walk* walk, const unsigned char* type, std::uint32_t length,
                    std::size_t* taken) {
    const std::uint64_t at = walk->cursor.position;
    if (isType(type, "BMHD")) {
        unsigned char bmhd[kBmhdSize] = {};
        if (length < kBmhdSize) {
            return readError(ReadProblem::Malformed, at - 4);
        }
        *taken = kBmhdSize;
        return takeBytes(&walk->cursor, bmhd, kBmhdSize)
                   ? checkBmhd(bmhd, at, walk)
                   : readError(ReadProblem::Truncated, walk->cursor.position);
    }
    walk->body = walk->body || isType(type, "BODY");
    if (isType(type, "CMAP") && walk->count == 0) {
        const std::uint32_t count = length / 3;
        if (count == 0 || count > kLargestCmap) {
            return count == 0 ? readError(ReadProblem::NoColors, at - 4)
                              : tooManyColors(at - 4, kLargestCmap);
        }
        *taken = 3 * std::size_t{count};
        walk->count = count;
        return takeBytes(&walk->cursor, walk->table, *taken)
                   ? kReadOk
                   : readError(ReadProblem::Truncated, walk->cursor.position);
    }
    return kReadOk;
}

// The chunk at the cursor, whose header is read: its data, then the cursor
// on to the next. An odd length is followed by a pad byte, which the FORM's
// last chunk is taken without, as some writers leave it out.
ReadError readChunk(Walk* walk, const unsigned char* type, std::uint32_t length) {
    const std::uint64_t at = walk->cursor.position;
    std::size_t taken = 0;
    const ReadError error = takeChunk(walk, type, length, &taken);
    if (refused(error)) {
        return error;
    }
    std::uint64_t next = at + length + (length & 1U);
    next = next > walk->end ? at + length : next;
    return skipSource(&walk->cursor, next - at - taken)
               ? kReadOk
               : readError(ReadProblem::Truncated, walk->cursor.position);
}

ReadError walkChunks(Walk* walk) {
    while (walk->cursor.position < walk->end) {
        const std::uint64_t at = walk->cursor.position;
        unsigned char header[kChunkHeaderSize] = {};
        if (walk->end - at < kChunkHeaderSize) {
            return readError(ReadProblem::Malformed, at);
        }
        if (!takeBytes(&walk->cursor, header, sizeof header)) {
            return readError(ReadProblem::Truncated, walk->cursor.position);
        }
        ByteReader reader = {header, sizeof header, 4};
        std::uint32_t length = 0;
        takeU32BE(&reader, &length);
        if (length > walk->end - at - kChunkHeaderSize) {
            return readError(ReadProblem::SizePastEnd, at + 4);
        }
        const ReadError error = readChunk(walk, header, length);
        if (refused(error)) {
            return error;
        }
    }
    if (walk->count == 0) {
        return readErrorSaying(ReadProblem::Missing, "CMAP chunk");
    }
    return walk->body && walk->image ? checkImageSize(walk->width, walk->height) : kReadOk;
}

}  // namespace

bool detectIlbm(const unsigned char* bytes, std::size_t size) {
    return size >= kFormHeaderSize && isType(bytes, "FORM") &&
           (isType(bytes + 8, "ILBM") || isType(bytes + 8, "PBM "));
}

ReadError readIlbmStream(const ByteSource& source, Palette* palette) {
    Walk walk = {{&source, 0}, 0, 0, {}, 0, 0, false, false};
    unsigned char header[kFormHeaderSize] = {};
    if (!takeBytes(&walk.cursor, header, sizeof header) || !detectIlbm(header, sizeof header)) {
        return readError(ReadProblem::NotThisFormat);
    }
    ByteReader reader = {header, sizeof header, 4};
    std::uint32_t length = 0;
    takeU32BE(&reader, &length);
    walk.end = std::uint64_t{length} + kChunkHeaderSize;
    if (source.size != kUnknownSourceSize && walk.end > source.size) {
        return readError(ReadProblem::SizePastEnd, 4);
    }
    if (walk.end < kFormHeaderSize) {
        return readError(ReadProblem::Malformed, 4);  // shorter than its own type
    }
    const ReadError error = walkChunks(&walk);
    return refused(error) ? error
                          : takeColorTable(walk.table, 0, walk.count, TableLayout::Rgb, palette);
}

ReadError readIlbm(const unsigned char* bytes, std::size_t size, Palette* palette) {
    MemorySource memory = {bytes, size};
    return readIlbmStream(sourceOf(&memory), palette);
}

namespace {

void putBmhd(ByteWriter* writer, const SwatchGrid& grid) {
    putText(writer, "BMHD");
    putU32BE(writer, kBmhdSize);
    putU16BE(writer, grid.width);
    putU16BE(writer, grid.height);
    putU32BE(writer, 0);  // x and y
    putByte(writer, kPlanes);
    putByte(writer, 0);  // masking: none
    putByte(writer, 1);  // compression: ByteRun1
    putByte(writer, 0);
    putU16BE(writer, 0);  // the transparent colour, unused without masking
    putByte(writer, 1);   // square pixels
    putByte(writer, 1);
    putU16BE(writer, grid.width);  // the page
    putU16BE(writer, grid.height);
}

// A row of one plane in ByteRun1: a run of 2 to 128 equal bytes as 257 - n
// and the byte, any other n (1 to 128) bytes as n - 1 and the bytes.
void putByteRun1(ByteWriter* writer, const unsigned char* row, std::size_t size) {
    constexpr std::size_t kLongest = 128;
    for (std::size_t i = 0; i < size;) {
        std::size_t run = 1;
        while (i + run < size && run < kLongest && row[i + run] == row[i]) {
            run++;
        }
        if (run >= 2) {
            putByte(writer, static_cast<unsigned>(257 - run));
            putByte(writer, row[i]);
            i += run;
            continue;
        }
        // Bytes up to where a run begins.
        std::size_t length = 1;
        while (i + length < size && length < kLongest &&
               !(i + length + 1 < size && row[i + length] == row[i + length + 1])) {
            length++;
        }
        putByte(writer, static_cast<unsigned>(length - 1));
        for (std::size_t k = 0; k < length; k++) {
            putByte(writer, row[i + k]);
        }
        i += length;
    }
}

// The grid's rows, each as its 8 planes from the lowest bit of the index,
// a pixel a bit, the leftmost in the top bit of the first byte.
void putBody(ByteWriter* writer, const SwatchGrid& grid) {
    unsigned char indices[kLargestSwatchWidth] = {};
    unsigned char plane[kLargestSwatchWidth / 8] = {};
    const std::size_t rowBytes = grid.width / 8;  // a multiple of 16 pixels
    for (std::uint32_t y = 0; y < grid.height; y++) {
        swatchRow(grid, y, indices);
        for (std::uint32_t bit = 0; bit < kPlanes; bit++) {
            for (std::size_t x = 0; x < grid.width; x++) {
                const auto mask = static_cast<unsigned char>(0x80U >> (x % 8));
                plane[x / 8] = static_cast<unsigned char>(
                    ((indices[x] >> bit) & 1U) != 0 ? plane[x / 8] | mask : plane[x / 8] & ~mask);
            }
            putByteRun1(writer, plane, rowBytes);
        }
    }
}

}  // namespace

std::size_t writeIlbm(const Palette& palette, ByteBuffer* bytes) {
    SwatchGrid grid{};
    if (!swatchGridOf(palette, &grid)) {
        return 0;
    }
    ByteWriter writer = startWriting(bytes);
    putText(&writer, "FORM");
    putU32BE(&writer, 0);
    putText(&writer, "ILBM");
    putBmhd(&writer, grid);
    putText(&writer, "CMAP");
    putU32BE(&writer, 3 * grid.count);
    putColorTable(&writer, palette, grid.count, TableLayout::Rgb);
    if (grid.count % 2 != 0) {
        putByte(&writer, 0);
    }
    putText(&writer, "BODY");
    putU32BE(&writer, 0);
    const std::size_t body = writer.size;
    putBody(&writer, grid);
    const std::size_t bodyLength = writer.size - body;
    if (bodyLength % 2 != 0) {
        putByte(&writer, 0);
    }
    setU32BE(&writer, 4, static_cast<std::uint32_t>(writer.size - kChunkHeaderSize));
    setU32BE(&writer, body - 4, static_cast<std::uint32_t>(bodyLength));
    return written(writer);
}

}  // namespace kolorvane::formats
