// PNG, through libspng, by the rules of image.h. An indexed image's palette
// is its PLTE chunk; any other image's the distinct colours of its pixels,
// a pixel of alpha 0 skipped and so is one of the colour a grey or RGB
// image's tRNS chunk names (PNG defines that colour key as fully
// transparent), other alpha ignored, 16-bit samples rounded to the nearest
// 8-bit value (v / 257). Values are taken as stored: gamma and colour-space
// chunks change nothing. An indexed image's tRNS changes nothing either, as
// its PLTE is the palette. The whole image is decoded, a row at a time, so
// that a damaged file is refused rather than half read.
//
// Written: the swatch grid as an 8-bit indexed image whose PLTE is the
// palette, and no other chunk.
#include <spng.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bytes.h"
#include "image.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

// Chunks libspng keeps (text, ICC profiles) and their inflated sizes, at
// most: a file cannot make the reader hold more than this.
constexpr std::size_t kChunkLimit = std::size_t{8} * 1024 * 1024;

// The source libspng reads in order, and how far it has read, for the
// offset where a file ends.
using Pull = SourceCursor;

// libspng's read callback: all `size` bytes, or the source's end.
int pullForSpng(spng_ctx* /*png*/, void* user, void* bytes, std::size_t size) {
    return takeBytes(static_cast<Pull*>(user), static_cast<unsigned char*>(bytes), size)
               ? 0
               : SPNG_IO_EOF;
}

ReadError problemOf(int status, const Pull& pull) {
    switch (status) {
        case SPNG_IO_EOF:
        case SPNG_IO_ERROR:
        case SPNG_EOF:
            return readError(ReadProblem::Truncated, pull.position);
        case SPNG_ESIGNATURE:
            return readError(ReadProblem::NotThisFormat);
        case SPNG_ECHUNK_CRC:
            return readError(ReadProblem::BadChecksum);
        case SPNG_EWIDTH:
        case SPNG_EHEIGHT:
        case SPNG_EUSER_WIDTH:
        case SPNG_EUSER_HEIGHT:
            return readError(ReadProblem::ImageSize);
        case SPNG_ENOPLTE:
        case SPNG_EDUP_PLTE:
            return readError(ReadProblem::NoPngPalette);
        case SPNG_EZLIB:
        case SPNG_EIDAT_TOO_SHORT:
        case SPNG_EIDAT_STREAM:
        case SPNG_EFILTER:
            return readError(ReadProblem::BadImageData, pull.position);
        default:  // the code kept, for the one a caller tells apart
            return {ReadProblem::LibraryRefused, 0, 0, static_cast<std::uint32_t>(status),
                    spng_strerror(status)};
    }
}

// How an image's pixels arrive: 8 or 16 bits a channel (host order), RGBA.
struct Layout {
    std::uint32_t width;
    bool wide;
    bool interlaced;
};

// Pixel `index` of a decoded scanline, in 8 bits a channel; kTransparent
// for one whose alpha is 0, which a colour key makes it too.
std::uint32_t pixelAt(const unsigned char* line, std::size_t index, bool wide) {
    std::uint32_t channels[4] = {};
    if (wide) {
        std::uint16_t samples[4] = {};
        std::memcpy(samples, line + index * sizeof samples, sizeof samples);
        for (std::size_t c = 0; c < 4; c++) {
            channels[c] = (samples[c] * 255U + 32895U) >> 16;  // round(v / 257)
        }
        channels[3] = samples[3];
    } else {
        for (std::size_t c = 0; c < 4; c++) {
            channels[c] = line[index * 4 + c];
        }
    }
    return channels[3] == 0 ? kTransparent : pixelOf(channels[0], channels[1], channels[2]);
}

// Adam7's passes: the first column of each and the step between columns.
constexpr std::uint32_t kPassColumn[] = {0, 4, 0, 2, 0, 1, 0};
constexpr std::uint32_t kPassStep[] = {8, 8, 4, 4, 2, 2, 1};

// The pixels of one decoded scanline, through `pixels` (room for a row),
// into the tally.
TallyResult tallyScanline(const unsigned char* line, const spng_row_info& info,
                          const Layout& layout, std::uint32_t* pixels, ColorTally* colors) {
    const int pass = layout.interlaced ? info.pass : 6;
    const std::uint32_t column = kPassColumn[pass];
    const std::uint32_t step = kPassStep[pass];
    std::size_t count = 0;
    for (std::uint32_t x = column; x < layout.width; x += step) {
        pixels[count] = pixelAt(line, count, layout.wide);
        count++;
    }
    const std::uint64_t rowStart = std::uint64_t{info.row_num} * layout.width;
    return tallyPixels(colors, pixels, count, rowStart + column, step);
}

// Decodes every scanline of the image in `format` through one buffer of a
// scanline, each into `colors` unless that is null (an indexed image's
// pixels, checked and dropped), then the chunks after the image, to its end.
ReadError decodeScanlines(spng_ctx* png, const Pull& pull, const spng_ihdr& header, int format,
                          ColorTally* colors) {
    std::size_t imageSize = 0;
    // A colour key makes its pixels' alpha 0; an indexed image's tRNS is not
    // asked for, as its pixels are not tallied.
    const int flags = SPNG_DECODE_PROGRESSIVE | (colors != nullptr ? SPNG_DECODE_TRNS : 0);
    int status = spng_decode_image(png, nullptr, 0, format, flags);
    if (status == 0) {
        status = spng_decoded_image_size(png, format, &imageSize);
    }
    // The widest scanline and its pixels; the image's size is never
    // allocated.
    const std::size_t lineSize = status == 0 ? imageSize / header.height : 0;
    auto* line = static_cast<unsigned char*>(status == 0 ? std::malloc(lineSize) : nullptr);
    auto* pixels = static_cast<std::uint32_t*>(
        status == 0 && colors != nullptr ? std::malloc(header.width * sizeof(std::uint32_t))
                                         : nullptr);
    if (status == 0 && (line == nullptr || (colors != nullptr && pixels == nullptr))) {
        status = SPNG_EMEM;
    }
    const Layout layout = {header.width, format == SPNG_FMT_RGBA16, header.interlace_method != 0};
    TallyResult tallied = TallyResult::Counted;
    spng_row_info info{};
    while (status == 0 && tallied == TallyResult::Counted) {
        status = spng_get_row_info(png, &info);
        if (status == 0) {
            status = spng_decode_scanline(png, line, lineSize);
        }
        if ((status == 0 || status == SPNG_EOI) && colors != nullptr) {
            tallied = tallyScanline(line, info, layout, pixels, colors);
        }
    }
    std::free(pixels);
    std::free(line);
    if (tallied != TallyResult::Counted) {
        return tallyRefusal(tallied);
    }
    status = status == SPNG_EOI ? spng_decode_chunks(png) : status;
    return status == 0 ? kReadOk : problemOf(status, pull);
}

ReadError readIndexed(spng_ctx* png, const Pull& pull, const spng_ihdr& header, Palette* palette) {
    const ReadError error = decodeScanlines(png, pull, header, SPNG_FMT_PNG, nullptr);
    spng_plte plte{};
    // Before the image data libspng refuses no critical chunk's length but
    // PLTE's: not whole entries, none, or more than the bit depth indexes.
    if (error.problem == ReadProblem::LibraryRefused && error.value == SPNG_ECHUNK_SIZE) {
        return readError(ReadProblem::NoPngPalette);
    }
    if (refused(error)) {
        return error;
    }
    if (spng_get_plte(png, &plte) != 0 || plte.n_entries == 0 || plte.n_entries > 256) {
        return readError(ReadProblem::NoPngPalette);
    }
    const ReadError sized = resizePalette(palette, plte.n_entries, 0);
    for (std::size_t i = 0; !refused(sized) && i < plte.n_entries; i++) {
        const spng_plte_entry& entry = plte.entries[i];
        palette->colors[i] = {entry.red, entry.green, entry.blue};
    }
    return sized;
}

ReadError readPixels(spng_ctx* png, const Pull& pull, const spng_ihdr& header, Palette* palette) {
    ColorTally* colors = startTally();
    if (colors == nullptr) {
        return problemOf(SPNG_EMEM, pull);
    }
    const int format = header.bit_depth == 16 ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    ReadError error = decodeScanlines(png, pull, header, format, colors);
    if (!refused(error)) {
        error = paletteOfTally(*colors, palette);
    }
    endTally(colors);
    return error;
}

ReadError readDecoder(spng_ctx* png, Pull* pull, Palette* palette) {
    spng_ihdr header{};
    int status = spng_set_png_stream(png, pullForSpng, pull);
    if (status == 0) {
        status = spng_set_image_limits(png, kLargestImageSide, kLargestImageSide);
    }
    if (status == 0) {
        status = spng_set_chunk_limits(png, kChunkLimit, kChunkLimit);
    }
    if (status == 0) {
        // Reads the signature and IHDR alone: the size is refused here,
        // before a byte of image data is inflated.
        status = spng_get_ihdr(png, &header);
    }
    if (status != 0) {
        return problemOf(status, *pull);
    }
    return header.color_type == SPNG_COLOR_TYPE_INDEXED ? readIndexed(png, *pull, header, palette)
                                                        : readPixels(png, *pull, header, palette);
}

}  // namespace

ReadError readPngStream(const ByteSource& source, Palette* palette) {
    Pull pull = {&source, 0};
    spng_ctx* png = spng_ctx_new(0);
    if (png == nullptr) {
        return problemOf(SPNG_EMEM, pull);
    }
    const ReadError error = readDecoder(png, &pull, palette);
    spng_ctx_free(png);
    return error;
}

ReadError readPng(const unsigned char* bytes, std::size_t size, Palette* palette) {
    MemorySource memory = {bytes, size};
    return readPngStream(sourceOf(&memory), palette);
}

namespace {

// Row `y` of the grid as the image stores it: indices, or red, green and
// blue.
void swatchLine(const SwatchGrid& grid, const Palette& palette, bool indexed, std::uint32_t y,
                unsigned char* line) {
    if (indexed) {
        swatchRow(grid, y, line);
        return;
    }
    Color colors[kLargestSwatchWidth] = {};
    swatchColorRow(grid, palette, y, colors);
    for (std::size_t x = 0; x < grid.width; x++) {
        line[3 * x] = colors[x].red;
        line[3 * x + 1] = colors[x].green;
        line[3 * x + 2] = colors[x].blue;
    }
}

// The image: its header and palette (an indexed image of up to 256
// colours, else true colour), then its rows of pixels. Null on failure.
void* encodeSwatches(spng_ctx* png, const Palette& palette, const SwatchGrid& grid,
                     std::size_t* size) {
    const bool indexed = grid.count <= kLargestIndexedGrid;
    spng_ihdr header = {
        grid.width,
        grid.height,
        8,
        static_cast<std::uint8_t>(indexed ? SPNG_COLOR_TYPE_INDEXED : SPNG_COLOR_TYPE_TRUECOLOR),
        0,
        0,
        0};
    spng_plte plte{};
    plte.n_entries = indexed ? grid.count : 0;
    for (std::uint32_t i = 0; i < plte.n_entries; i++) {
        const Color& color = palette.colors[i];
        plte.entries[i] = {color.red, color.green, color.blue, 0xFF};
    }
    int status = spng_set_ihdr(png, &header);
    status = status != 0 || !indexed ? status : spng_set_plte(png, &plte);
    status = status != 0 ? status
                         : spng_encode_image(png, nullptr, 0, SPNG_FMT_PNG,
                                             SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
    unsigned char line[3 * kLargestSwatchWidth] = {};
    const std::size_t lineSize = indexed ? header.width : 3 * std::size_t{header.width};
    for (std::uint32_t y = 0; status == 0 && y < header.height; y++) {
        swatchLine(grid, palette, indexed, y, line);
        status = spng_encode_row(png, line, lineSize);
    }
    // The last row ends the image: libspng says so, and writes IEND.
    if (status != SPNG_EOI) {
        return nullptr;
    }
    return spng_get_png_buffer(png, size, &status);
}

// The fuzz build writes rows unfiltered: libspng's trying of every filter
// on every row took half of a round trip's time, and every reader reads
// any filter.
bool unfilteredInFuzzing([[maybe_unused]] spng_ctx* png) {
#ifdef KOLORVANE_FUZZING
    return spng_set_option(png, SPNG_FILTER_CHOICE, SPNG_DISABLE_FILTERING) == 0;
#else
    return true;
#endif
}

}  // namespace

std::size_t writePng(const Palette& palette, ByteBuffer* bytes) {
    SwatchGrid grid{};
    spng_ctx* png = spng_ctx_new(SPNG_CTX_ENCODER);
    if (png == nullptr || !swatchGridOf(palette, &grid)) {
        spng_ctx_free(png);
        return 0;
    }
    std::size_t size = 0;
    void* encoded = nullptr;
    if (spng_set_option(png, SPNG_ENCODE_TO_BUFFER, 1) == 0 &&
        spng_set_option(png, SPNG_IMG_COMPRESSION_LEVEL, 9) == 0 && unfilteredInFuzzing(png)) {
        encoded = encodeSwatches(png, palette, grid, &size);
    }
    spng_ctx_free(png);
    if (encoded == nullptr || !reserveBytes(bytes, size)) {
        std::free(encoded);
        return 0;
    }
    std::memcpy(bytes->bytes, encoded, size);
    std::free(encoded);
    return size;
}

}  // namespace kolorvane::formats
