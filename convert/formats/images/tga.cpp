// TGA, by the rules of image.h. A colour-mapped image (type 1, or 9 with
// run-length coding) gives its colour map, each entry at its index: the map
// holds `length` entries from index `first`, those before it black, so that
// a pixel's index still names its colour. Entries are 15 or 16 bits (5 a
// channel, the top bit ignored), 24 (B G R) or 32 (B G R A, alpha ignored).
// Its pixels are not needed: an uncompressed image's must be in the file, a
// coded one's are decoded so that damaged data is refused. A true-colour
// (2, 10) or grey (3, 11) image gives the distinct colours of its pixels, in
// reading order from the top left whichever corner its rows start at; a
// pixel whose alpha is 0 is skipped where the header gives it 8 bits of
// alpha (32-bit colour, 16-bit grey), the attribute bit of 16-bit colour is
// ignored, as writers fill it carelessly.
//
// Written: type 1, 8-bit indices, a 24-bit map of the palette's colours,
// rows from the bottom as TGA stores them by default, and the TGA 2.0
// footer.
#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "image.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kHeaderSize = 18;
// Offsets of the fields a refusal names.
constexpr std::size_t kMapTypeAt = 1;
constexpr std::size_t kImageTypeAt = 2;
constexpr std::size_t kMapLengthAt = 5;
constexpr std::size_t kMapBitsAt = 7;
constexpr std::size_t kDepthAt = 16;
constexpr std::size_t kDescriptorAt = 17;
constexpr unsigned kTopFirst = 0x20;
constexpr unsigned kRightToLeft = 0x10;
constexpr unsigned kRunPacket = 0x80;
constexpr char kFooter[] = "TRUEVISION-XFILE.";

struct Header {
    std::uint32_t idLength;
    std::uint32_t mapType;  // 1: a colour map follows the ID
    std::uint32_t imageType;
    std::uint32_t mapFirst;
    std::uint32_t mapLength;
    std::uint32_t mapBits;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t depth;       // bits per pixel
    std::uint32_t descriptor;  // alpha bits, the corner rows start at
};

void parseHeader(const unsigned char* bytes, Header* header) {
    ByteReader reader = {bytes, kHeaderSize, 3};
    header->idLength = bytes[0];
    header->mapType = bytes[kMapTypeAt];
    header->imageType = bytes[kImageTypeAt];
    takeU16LE(&reader, &header->mapFirst);
    takeU16LE(&reader, &header->mapLength);
    header->mapBits = bytes[kMapBitsAt];
    skipBytes(&reader, 5);  // the map's entry size, the image's origin on a screen
    takeU16LE(&reader, &header->width);
    takeU16LE(&reader, &header->height);
    header->depth = bytes[kDepthAt];
    header->descriptor = bytes[kDescriptorAt];
}

bool mapped(const Header& header) { return header.imageType % 8 == 1; }
bool grey(const Header& header) { return header.imageType % 8 == 3; }
bool coded(const Header& header) { return header.imageType >= 9; }

bool knownDepth(const Header& header) {
    const std::uint32_t depth = header.depth;
    if (mapped(header)) {
        return depth == 8;
    }
    return grey(header) ? depth == 8 || depth == 16
                        : depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

// The fields whose values the format does not define, then the size.
ReadError checkFields(const Header& header) {
    const std::uint32_t type = header.imageType;
    const std::uint32_t bits = header.mapBits;
    if (header.mapType > 1) {
        return unsupportedValue(kMapTypeAt, "colour map type", header.mapType);
    }
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) {
        return unsupportedValue(kImageTypeAt, "image type", type);
    }
    // A map of no entries, which an image that is not colour-mapped may
    // declare, has no entry size to check.
    const bool map = header.mapType == 1 && (header.mapLength != 0 || mapped(header));
    if (map && bits != 15 && bits != 16 && bits != 24 && bits != 32) {
        return unsupportedValue(kMapBitsAt, "colour map entry size", bits);
    }
    if ((header.descriptor >> 6) != 0) {
        return unsupportedValue(kDescriptorAt, "interleaving", header.descriptor >> 6);
    }
    if (!knownDepth(header)) {
        return unsupportedValue(kDepthAt, "bits per pixel", header.depth);
    }
    return checkImageSize(header.width, header.height);
}

ReadError checkHeader(const Header& header) {
    const ReadError error = checkFields(header);
    if (refused(error) || !mapped(header)) {
        return error;
    }
    if (header.mapType == 0 || header.mapLength == 0) {
        return readErrorSaying(ReadProblem::Missing, "colour map");
    }
    return header.mapFirst + header.mapLength > kLargestIndexedGrid
               ? tooManyColors(kMapLengthAt, kLargestIndexedGrid)
               : kReadOk;
}

TableLayout mapLayout(const Header& header) {
    switch (header.mapBits) {
        case 24:
            return TableLayout::Bgr;
        case 32:
            return TableLayout::Bgrx;
        default:
            return TableLayout::Xrgb555;
    }
}

// The image's pixels as they come: as they are, or in packets, each a
// count and then one pixel repeated (a run) or that many pixels.
struct Packets {
    DataStream stream;
    std::size_t pixelBytes;
    bool coded;
    bool run;
    unsigned left;  // pixels of the current packet
    unsigned char value[4];
};

bool takePixels(Packets* packets, unsigned char* bytes, std::size_t count) {
    const std::size_t size = packets->pixelBytes;
    if (!packets->coded) {
        return takeData(&packets->stream, bytes, count * size);
    }
    for (std::size_t i = 0; i < count; i++) {
        unsigned first = 0;
        if (packets->left == 0) {
            if (!takeDataByte(&packets->stream, &first)) {
                return false;
            }
            packets->run = (first & kRunPacket) != 0;
            packets->left = (first & ~kRunPacket) + 1;
            if (packets->run && !takeData(&packets->stream, packets->value, size)) {
                return false;
            }
        }
        if (packets->run) {
            std::memcpy(bytes + i * size, packets->value, size);
        } else if (!takeData(&packets->stream, bytes + i * size, size)) {
            return false;
        }
        packets->left--;
    }
    return true;
}

// A stored pixel as the tally takes it.
std::uint32_t pixelAt(const Header& header, const unsigned char* at) {
    const bool alpha = (header.descriptor & 0x0F) == 8;
    if (grey(header)) {
        const bool clear = header.depth == 16 && alpha && at[1] == 0;
        return clear ? kTransparent : pixelOf(at[0], at[0], at[0]);
    }
    switch (header.depth) {
        case 15:
        case 16: {
            const unsigned value = at[0] | at[1] << 8;
            return pixelOf(widen5(value >> 10 & 0x1F), widen5(value >> 5 & 0x1F),
                           widen5(value & 0x1F));
        }
        case 24:
            return pixelOf(at[2], at[1], at[0]);
        default:
            return alpha && at[3] == 0 ? kTransparent : pixelOf(at[2], at[1], at[0]);
    }
}

// One stored row as pixels from the left.
void pixelsOfRow(const Header& header, std::size_t pixelBytes, PixelRows* rows) {
    const bool fromRight = (header.descriptor & kRightToLeft) != 0;
    for (std::size_t c = 0; c < header.width; c++) {
        const std::size_t x = fromRight ? header.width - 1 - c : c;
        rows->pixels[x] = pixelAt(header, rows->stored + c * pixelBytes);
    }
}

// Every row, tallied at its place from the top where `rows` has a tally,
// dropped otherwise.
ReadError decodeRows(SourceCursor* cursor, const Header& header, PixelRows* rows) {
    Packets packets{};
    packets.pixelBytes = (header.depth + 7) / 8;
    packets.coded = coded(header);
    startDataStream(cursor, &packets.stream);
    const bool topFirst = (header.descriptor & kTopFirst) != 0;
    const std::uint64_t width = header.width;
    for (std::uint32_t row = 0; row < header.height; row++) {
        if (!takePixels(&packets, rows->stored, header.width)) {
            return dataEnded(packets.stream);
        }
        if (rows->colors == nullptr) {
            continue;
        }
        pixelsOfRow(header, packets.pixelBytes, rows);
        const std::uint64_t y = topFirst ? row : header.height - 1 - row;
        const TallyResult tallied =
            tallyPixels(rows->colors, rows->pixels, header.width, y * width, 1);
        if (tallied != TallyResult::Counted) {
            return tallyRefusal(tallied);
        }
    }
    return kReadOk;
}

// The image data: a true-colour or grey image's pixels tallied into the
// palette, a colour-mapped one's checked and dropped.
ReadError readImageData(SourceCursor* cursor, const Header& header, Palette* palette) {
    if (mapped(header) && !coded(header)) {
        const bool there = skipSource(cursor, std::uint64_t{header.width} * header.height);
        return there ? kReadOk : readError(ReadProblem::Truncated, cursor->position);
    }
    PixelRows rows{};
    if (!startPixelRows(std::size_t{header.width} * 4, header.width, &rows)) {
        return kNoMemory;
    }
    if (mapped(header)) {
        endTally(rows.colors);
        rows.colors = nullptr;
    }
    ReadError error = decodeRows(cursor, header, &rows);
    if (!refused(error) && !mapped(header)) {
        error = paletteOfTally(*rows.colors, palette);
    }
    endPixelRows(&rows);
    return error;
}

// The image ID and the colour map: the map read into the palette where the
// image is colour-mapped, passed over where it is not.
ReadError readMap(SourceCursor* cursor, const Header& header, Palette* palette) {
    if (!skipSource(cursor, header.idLength)) {
        return readError(ReadProblem::Truncated, cursor->position);
    }
    if (mapped(header)) {
        return readColorTable(cursor, header.mapFirst, header.mapLength, mapLayout(header),
                              palette);
    }
    const std::uint64_t entry = (header.mapBits + 7) / 8;
    const std::uint64_t size = header.mapType == 1 ? entry * header.mapLength : 0;
    return skipSource(cursor, size) ? kReadOk : readError(ReadProblem::Truncated, cursor->position);
}

}  // namespace

ReadError readTgaStream(const ByteSource& source, Palette* palette) {
    SourceCursor cursor = {&source, 0};
    unsigned char bytes[kHeaderSize] = {};
    if (!takeBytes(&cursor, bytes, kHeaderSize)) {
        return readError(ReadProblem::Truncated, cursor.position);
    }
    Header header{};
    parseHeader(bytes, &header);
    ReadError error = checkHeader(header);
    if (!refused(error)) {
        error = readMap(&cursor, header, palette);
    }
    return refused(error) ? error : readImageData(&cursor, header, palette);
}

ReadError readTga(const unsigned char* bytes, std::size_t size, Palette* palette) {
    MemorySource memory = {bytes, size};
    return readTgaStream(sourceOf(&memory), palette);
}

// Colour-mapped up to 256 colours, true colour past.
std::size_t writeTga(const Palette& palette, ByteBuffer* bytes) {
    SwatchGrid grid{};
    if (!swatchGridOf(palette, &grid)) {
        return 0;
    }
    const bool indexed = grid.count <= kLargestIndexedGrid;
    ByteWriter writer = startWriting(bytes);
    putByte(&writer, 0);                // no image ID
    putByte(&writer, indexed);          // a colour map, or none
    putByte(&writer, indexed ? 1 : 2);  // colour-mapped or true colour, uncompressed
    putU16LE(&writer, 0);
    putU16LE(&writer, indexed ? grid.count : 0);
    putByte(&writer, indexed ? 24 : 0);
    // The origin on a screen, the size, 8-bit indices or 24-bit pixels,
    // rows from the bottom and no alpha.
    for (const std::uint32_t field : {0U, 0U, grid.width, grid.height}) {
        putU16LE(&writer, field);
    }
    putByte(&writer, indexed ? 8 : 24);
    putByte(&writer, 0);
    putColorTable(&writer, palette, indexed ? grid.count : 0, TableLayout::Bgr);
    putSwatchRowsFromBottom(&writer, palette, grid, indexed);
    // No extension area or developer directory, then the signature.
    putU32LE(&writer, 0);
    putU32LE(&writer, 0);
    for (const char c : kFooter) {
        putByte(&writer, static_cast<unsigned char>(c));  // its terminating zero too
    }
    return written(writer);
}

}  // namespace kolorvane::formats
