// GIF, through giflib, by the rules of image.h. A GIF is always indexed:
// its palette is its global colour table or, in a file without one, the
// first image's local table, every entry in order (the count is the
// table's size, a power of two from 2 to 256); a file with neither is
// refused. Every record is read to the trailer, and every image's pixels
// decoded a row at a time and dropped, so that a damaged or truncated file
// is refused rather than half read. The logical screen and each image are
// checked against kLargestImageSide before a pixel is decoded; an image may
// reach past the logical screen, as browsers and Pillow show such frames.
// An image's compressed data may be no larger than its pixels could need
// (imageDataBound): giflib clears its whole table of 4,096 codes at each
// clear code, which yields no pixel, so data of nothing but clear codes
// would cost about 2 s a MB.
//
// Written: a GIF89a whose global colour table is the palette, padded with
// black to a power of two entries, and the swatch grid as its one image.
#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "image.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kSignatureSize = 6;

// The source giflib reads in order, and whether a read came back short:
// then whatever giflib says, the file ends early. While an image's data is
// read, `limit` is the position it may not pass (else kNoLimit), and
// `overLimit` says that a read would have passed it.
struct Pull {
    SourceCursor cursor;
    bool ended;
    std::uint64_t limit;
    bool overLimit;
};

constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

// giflib's input callback: up to `count` bytes, fewer at the source's end;
// none past the limit.
int pullForGif(GifFileType* gif, GifByteType* bytes, int count) {
    auto* pull = static_cast<Pull*>(gif->UserData);
    const auto wanted = static_cast<std::size_t>(count > 0 ? count : 0);
    if (pull->cursor.position + wanted > pull->limit) {
        pull->overLimit = true;
        return 0;
    }
    const std::size_t got = pullBytes(&pull->cursor, bytes, wanted);
    pull->ended = pull->ended || got < wanted;
    return static_cast<int>(got);
}

ReadError problemOf(int code, const Pull& pull) {
    if (pull.overLimit) {
        return readError(ReadProblem::ImageDataTooLarge, pull.cursor.position);
    }
    if (pull.ended) {
        return readError(ReadProblem::Truncated, pull.cursor.position);
    }
    switch (code) {
        case D_GIF_ERR_NOT_GIF_FILE:
            return readError(ReadProblem::NotThisFormat);
        // A read that did not end the source failed on an LZW code size
        // over 8, which giflib reports as a failed read.
        case D_GIF_ERR_READ_FAILED:
        case D_GIF_ERR_IMAGE_DEFECT:
        case D_GIF_ERR_EOF_TOO_SOON:
        case D_GIF_ERR_DATA_TOO_BIG:
            return readError(ReadProblem::BadImageData, pull.cursor.position);
        default: {
            const char* words = GifErrorString(code);
            return {ReadProblem::LibraryRefused, 0, 0, static_cast<std::uint32_t>(code),
                    words != nullptr ? words : "an unknown error"};
        }
    }
}

// "GIF87a" or "GIF89a", checked here: giflib looks at "GIF" alone.
ReadError checkSignature(const ByteSource& source) {
    unsigned char bytes[kSignatureSize] = {};
    SourceCursor cursor = {&source, 0};
    const std::size_t got = pullBytes(&cursor, bytes, sizeof bytes);
    if (std::memcmp(bytes, "GIF87a", got) != 0 && std::memcmp(bytes, "GIF89a", got) != 0) {
        return readError(ReadProblem::NotThisFormat);
    }
    return got < kSignatureSize ? readError(ReadProblem::Truncated, got) : kReadOk;
}

// The colour table found, kept apart until the whole file is read. A GIF's
// table holds 256 colours at most.
constexpr std::size_t kLargestTable = 256;

struct Table {
    std::array<Color, kLargestTable> colors;
    std::size_t count;
};

void takeTable(const ColorMapObject& map, Table* table) {
    const auto count = std::min(static_cast<std::size_t>(map.ColorCount), kLargestTable);
    for (std::size_t i = 0; i < count; i++) {
        const GifColorType& color = map.Colors[i];
        table->colors[i] = {color.Red, color.Green, color.Blue};
    }
    table->count = count;
}

// The most bytes of LZW data, sub-blocks and all, that `pixels` pixels
// could need: a code of at most 12 bits for every pixel, and a clear code
// for every 64 of them, in sub-blocks of as few as 32 bytes. An encoder
// that leaves the data uncompressed, clearing the table before its codes
// widen, needs about 9 bits a pixel at most; one that compresses, fewer.
// Past the bound, the data is mostly codes that yield no pixel.
std::uint64_t imageDataBound(std::uint64_t pixels) {
    const std::uint64_t codes = pixels + pixels / 64 + 16;
    const std::uint64_t bytes = codes * 12 / 8 + 1;
    return bytes + bytes / 32 + 2;
}

// The pixels of the image whose descriptor giflib has just read, its size
// checked first: decoded a row at a time into one row's buffer, and
// dropped, its data no larger than imageDataBound. Interlaced or not, the
// image is its height in rows.
ReadError decodeImage(GifFileType* gif, Pull* pull) {
    const GifImageDesc& image = gif->Image;
    const ReadError error = checkImageSize(static_cast<std::uint32_t>(image.Width),
                                           static_cast<std::uint32_t>(image.Height));
    if (refused(error)) {
        return error;
    }
    const auto pixels = static_cast<std::uint64_t>(image.Width) * image.Height;
    pull->limit = pull->cursor.position + imageDataBound(pixels);
    std::array<GifPixelType, kLargestImageSide> row{};
    for (int y = 0; y < image.Height; y++) {
        if (DGifGetLine(gif, row.data(), image.Width) == GIF_ERROR) {
            return problemOf(gif->Error, *pull);
        }
    }
    pull->limit = kNoLimit;
    return kReadOk;
}

// An image: its descriptor and local table, then its pixels. The header
// alone is asked for: DGifGetImageDesc would also keep a copy of every
// descriptor and local table until the file is closed, memory that grows
// with the number of frames.
ReadError readImage(GifFileType* gif, Pull* pull, Table* table) {
    if (DGifGetImageHeader(gif) == GIF_ERROR) {
        return problemOf(gif->Error, *pull);
    }
    if (table->count == 0) {
        if (gif->Image.ColorMap == nullptr) {
            return readErrorSaying(ReadProblem::Missing, "colour table");
        }
        takeTable(*gif->Image.ColorMap, table);
    }
    return decodeImage(gif, pull);
}

// An extension's sub-blocks, read to their terminator and passed over.
ReadError skipExtension(GifFileType* gif, const Pull& pull) {
    int code = 0;
    GifByteType* block = nullptr;
    int status = DGifGetExtension(gif, &code, &block);
    while (status == GIF_OK && block != nullptr) {
        status = DGifGetExtensionNext(gif, &block);
    }
    return status == GIF_OK ? kReadOk : problemOf(gif->Error, pull);
}

ReadError readRecords(GifFileType* gif, Pull* pull, Table* table) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    ReadError error = kReadOk;
    while (!refused(error) && type != TERMINATE_RECORD_TYPE) {
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            return problemOf(gif->Error, *pull);
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            error = readImage(gif, pull, table);
        } else if (type == EXTENSION_RECORD_TYPE) {
            error = skipExtension(gif, *pull);
        }
    }
    return error;
}

// The file after its screen descriptor and global table, which DGifOpen
// has read: the screen's size checked, then every record.
ReadError readOpenGif(GifFileType* gif, Pull* pull, Palette* palette) {
    ReadError error = checkImageSize(static_cast<std::uint32_t>(gif->SWidth),
                                     static_cast<std::uint32_t>(gif->SHeight));
    Table table{};
    if (gif->SColorMap != nullptr) {
        takeTable(*gif->SColorMap, &table);
    }
    error = refused(error) ? error : readRecords(gif, pull, &table);
    if (!refused(error) && table.count == 0) {
        error = readErrorSaying(ReadProblem::Missing, "colour table");
    }
    error = refused(error) ? error : resizePalette(palette, table.count, 0);
    if (!refused(error)) {
        std::copy(table.colors.begin(), table.colors.begin() + table.count, palette->colors);
    }
    return error;
}

}  // namespace

ReadError readGifStream(const ByteSource& source, Palette* palette) {
    const ReadError signature = checkSignature(source);
    if (refused(signature)) {
        return signature;
    }
    Pull pull = {{&source, 0}, false, kNoLimit, false};
    int code = 0;
    GifFileType* gif = DGifOpen(&pull, pullForGif, &code);
    if (gif == nullptr) {
        return problemOf(code, pull);
    }
    const ReadError error = readOpenGif(gif, &pull, palette);
    DGifCloseFile(gif, nullptr);
    return error;
}

ReadError readGif(const unsigned char* bytes, std::size_t size, Palette* palette) {
    MemorySource memory = {bytes, size};
    return readGifStream(sourceOf(&memory), palette);
}

namespace {

// giflib's output callback: into the buffer, as far as it holds.
int putForGif(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* writer = static_cast<ByteWriter*>(gif->UserData);
    for (int i = 0; i < count; i++) {
        putByte(writer, bytes[i]);
    }
    return writer->overflowed ? 0 : count;
}

// The bits of the smallest table that holds `count` colours: GIF's tables
// have 2 to 256 entries, a power of two.
int tableBits(std::uint32_t count) {
    int bits = 1;
    while ((std::uint32_t{1} << bits) < count) {
        bits++;
    }
    return bits;
}

// The screen with the palette as its global table (8 bits a primary, as
// the colours are), then the grid as one image, a row at a time.
bool encodeSwatches(GifFileType* gif, const Palette& palette, const SwatchGrid& grid) {
    std::array<GifColorType, kLargestTable> colors{};  // black past the count
    for (std::uint32_t i = 0; i < grid.count; i++) {
        const Color& color = palette.colors[i];
        colors[i] = {color.red, color.green, color.blue};
    }
    const int bits = tableBits(grid.count);
    const ColorMapObject table = {1 << bits, bits, false, colors.data()};
    const auto width = static_cast<int>(grid.width);
    const auto height = static_cast<int>(grid.height);
    EGifSetGifVersion(gif, true);
    bool encoded = EGifPutScreenDesc(gif, width, height, 8, 0, &table) == GIF_OK &&
                   EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    std::array<GifPixelType, kLargestSwatchWidth> row{};
    for (std::uint32_t y = 0; encoded && y < grid.height; y++) {
        swatchRow(grid, y, row.data());
        encoded = EGifPutLine(gif, row.data(), width) == GIF_OK;
    }
    return encoded;
}

}  // namespace

std::size_t writeGif(const Palette& palette, ByteBuffer* bytes) {
    SwatchGrid grid{};
    if (!swatchGridOf(palette, &grid)) {
        return 0;
    }
    ByteWriter writer = startWriting(bytes);
    int code = 0;
    GifFileType* gif = EGifOpen(&writer, putForGif, &code);
    if (gif == nullptr) {
        return 0;
    }
    const bool encoded = encodeSwatches(gif, palette, grid);
    // Closing writes the trailer (without saying whether it could) and
    // frees what giflib holds, either way: the buffer's own overflow says.
    const bool closed = EGifCloseFile(gif, &code) == GIF_OK;
    return encoded && closed ? written(writer) : 0;
}

}  // namespace kolorvane::formats
