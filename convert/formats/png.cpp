// PNG, through libspng. An indexed image's palette is its PLTE chunk, every
// entry in index order; any other image's palette is the distinct colours of
// its pixels in reading order (rows from the top, each from the left), alpha
// 0 skipped and other alpha ignored, 16-bit samples rounded to the nearest
// 8-bit value (v / 257). Values are taken as stored: gamma and colour-space
// chunks change nothing, and tRNS is not applied. The whole image is decoded,
// a row at a time, so that a damaged file is refused rather than half read.
//
// Written: an 8-bit indexed image whose PLTE is the palette, one 16 x 16
// square per colour, 16 to a row, and no other chunk. The squares a last row
// leaves empty hold colour 0: every index must name a PLTE entry.
#include <spng.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "readers.h"

namespace kolorvane::formats {

namespace {

// Chunks libspng keeps (text, ICC profiles) and their inflated sizes, at
// most: a file cannot make the reader hold more than this.
constexpr std::size_t kChunkLimit = std::size_t{8} * 1024 * 1024;

// What the reader has pulled so far, for the offset where a file ends.
struct Pull {
    const ByteSource* source;
    std::size_t pulled;
};

// libspng's read callback: all `size` bytes, or the source's end.
int pullForSpng(spng_ctx* /*png*/, void* user, void* bytes, std::size_t size) {
    Pull* pull = static_cast<Pull*>(user);
    const std::size_t given =
        pull->source->pull(pull->source->context, static_cast<unsigned char*>(bytes), size);
    pull->pulled += given;
    return given == size ? 0 : SPNG_IO_EOF;
}

ReadError problemOf(int status, const Pull& pull) {
    switch (status) {
        case SPNG_IO_EOF:
        case SPNG_IO_ERROR:
        case SPNG_EOF:
            return readError(ReadProblem::Truncated, pull.pulled);
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
            return readError(ReadProblem::BadImageData);
        default:
            return readError(ReadProblem::DamagedPng, 0, 0, static_cast<std::uint32_t>(status));
    }
}

// The distinct colours met so far, each with the first position it was met
// at (row × width + column), in an open-addressed table four times the most
// colours a palette holds. Positions, not arrival, give the order, as an
// interlaced image's rows come in passes.
constexpr std::size_t kSlots = 4 * kEntryCount;
constexpr std::uint32_t kUsed = 1U << 24;
static_assert(kSlots == 1024, "a slot is the top 10 bits of a 32-bit hash");

struct Seen {
    std::uint32_t key;  // kUsed | red << 16 | green << 8 | blue; 0: empty
    std::uint64_t first;
};

struct ColorTally {
    Seen slots[kSlots];
    std::size_t count;
};

bool tally(std::uint32_t key, std::uint64_t position, ColorTally* colors) {
    std::size_t slot = (key * 2654435761U) >> 22;  // Fibonacci hashing
    while (colors->slots[slot].key != 0 && colors->slots[slot].key != key) {
        slot = (slot + 1) % kSlots;
    }
    Seen& seen = colors->slots[slot];
    if (seen.key == 0) {
        if (colors->count == kEntryCount) {
            return false;
        }
        seen = {key, position};
        colors->count++;
    } else if (position < seen.first) {
        seen.first = position;
    }
    return true;
}

// How an image's pixels arrive: 8 or 16 bits a channel (host order), RGBA.
struct Layout {
    std::uint32_t width;
    bool wide;
    bool interlaced;
};

// The colour and alpha of pixel `index` of a decoded scanline, in 8 bits,
// as one key (kUsed set), or 0 for a pixel whose alpha is 0.
std::uint32_t keyOf(const unsigned char* line, std::size_t index, bool wide) {
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
    if (channels[3] == 0) {
        return 0;
    }
    return kUsed | channels[0] << 16 | channels[1] << 8 | channels[2];
}

// Adam7's passes: the first column of each and the step between columns.
constexpr std::uint32_t kPassColumn[] = {0, 4, 0, 2, 0, 1, 0};
constexpr std::uint32_t kPassStep[] = {8, 8, 4, 4, 2, 2, 1};

// The pixels of one decoded scanline into the tally: false at a 257th
// colour. A pixel like the one before it changes nothing and is passed over.
bool tallyScanline(const unsigned char* line, const spng_row_info& info, const Layout& layout,
                   ColorTally* colors) {
    const int pass = layout.interlaced ? info.pass : 6;
    const std::uint32_t column = kPassColumn[pass];
    const std::uint32_t step = kPassStep[pass];
    const std::uint64_t rowStart = std::uint64_t{info.row_num} * layout.width;
    std::uint32_t previous = ~0U;
    for (std::uint32_t x = column, i = 0; x < layout.width; x += step, i++) {
        const std::uint32_t key = keyOf(line, i, layout.wide);
        if (key != previous && key != 0 && !tally(key, rowStart + x, colors)) {
            return false;
        }
        previous = key;
    }
    return true;
}

// The colours in the order of their first positions.
void colorsInOrder(const ColorTally& colors, Palette* palette) {
    Seen found[kEntryCount] = {};
    std::size_t count = 0;
    for (const Seen& seen : colors.slots) {
        if (seen.key != 0) {
            found[count++] = seen;
        }
    }
    std::sort(found, found + count, [](const Seen& a, const Seen& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < count; i++) {
        const std::uint32_t key = found[i].key;
        palette->colors[i] = {static_cast<unsigned char>(key >> 16),
                              static_cast<unsigned char>(key >> 8),
                              static_cast<unsigned char>(key)};
    }
    palette->count = count;
}

// Decodes every scanline of the image in `format` through one buffer of a
// scanline, each into `colors` unless that is null (an indexed image's
// pixels, checked and dropped), then the chunks after the image, to its end.
ReadError decodeScanlines(spng_ctx* png, const Pull& pull, const spng_ihdr& header, int format,
                          ColorTally* colors) {
    std::size_t imageSize = 0;
    int status = spng_decode_image(png, nullptr, 0, format, SPNG_DECODE_PROGRESSIVE);
    if (status == 0) {
        status = spng_decoded_image_size(png, format, &imageSize);
    }
    // The widest scanline; the image's size is never allocated.
    const std::size_t lineSize = status == 0 ? imageSize / header.height : 0;
    auto* line = static_cast<unsigned char*>(status == 0 ? std::malloc(lineSize) : nullptr);
    if (status == 0 && line == nullptr) {
        status = SPNG_EMEM;
    }
    const Layout layout = {header.width, format == SPNG_FMT_RGBA16, header.interlace_method != 0};
    bool fits = true;
    spng_row_info info{};
    while (status == 0 && fits) {
        status = spng_get_row_info(png, &info);
        if (status == 0) {
            status = spng_decode_scanline(png, line, lineSize);
        }
        if ((status == 0 || status == SPNG_EOI) && colors != nullptr) {
            fits = tallyScanline(line, info, layout, colors);
        }
    }
    std::free(line);
    if (!fits) {
        return readError(ReadProblem::NotPaletteImage);
    }
    status = status == SPNG_EOI ? spng_decode_chunks(png) : status;
    return status == 0 ? kReadOk : problemOf(status, pull);
}

ReadError readIndexed(spng_ctx* png, const Pull& pull, const spng_ihdr& header, Palette* palette) {
    const ReadError error = decodeScanlines(png, pull, header, SPNG_FMT_PNG, nullptr);
    spng_plte plte{};
    // Before the image data libspng refuses no critical chunk's length but
    // PLTE's: not whole entries, none, or more than the bit depth indexes.
    if (error.problem == ReadProblem::DamagedPng && error.value == SPNG_ECHUNK_SIZE) {
        return readError(ReadProblem::NoPngPalette);
    }
    if (refused(error)) {
        return error;
    }
    if (spng_get_plte(png, &plte) != 0 || plte.n_entries == 0 || plte.n_entries > kEntryCount) {
        return readError(ReadProblem::NoPngPalette);
    }
    for (std::size_t i = 0; i < plte.n_entries; i++) {
        const spng_plte_entry& entry = plte.entries[i];
        palette->colors[i] = {entry.red, entry.green, entry.blue};
    }
    palette->count = plte.n_entries;
    return kReadOk;
}

ReadError readPixels(spng_ctx* png, const Pull& pull, const spng_ihdr& header, Palette* palette) {
    // About 12 KiB: on the heap, with the scanline, not on a stack of 1 MiB
    // that the caller shares. Cleared: empty slots are zero.
    auto* colors = static_cast<ColorTally*>(std::calloc(1, sizeof(ColorTally)));
    if (colors == nullptr) {
        return problemOf(SPNG_EMEM, pull);
    }
    const int format = header.bit_depth == 16 ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    ReadError error = decodeScanlines(png, pull, header, format, colors);
    if (!refused(error) && colors->count == 0) {
        error = readError(ReadProblem::NoColors);
    }
    if (!refused(error)) {
        colorsInOrder(*colors, palette);
    }
    std::free(colors);
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

// A source in memory, pulled from as a file is.
struct MemorySource {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t position;
};

std::size_t pullFromMemory(void* context, unsigned char* bytes, std::size_t size) {
    auto* memory = static_cast<MemorySource*>(context);
    const std::size_t given = std::min(size, memory->size - memory->position);
    if (given != 0) {
        std::memcpy(bytes, memory->bytes + memory->position, given);
    }
    memory->position += given;
    return given;
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
    MemorySource memory = {bytes, size, 0};
    return readPngStream(ByteSource{&memory, pullFromMemory}, palette);
}

namespace {

constexpr std::uint32_t kSquare = 16;
constexpr std::uint32_t kSquaresPerRow = 16;

// The image: its header and palette, then its rows of pixels. Null on
// failure.
void* encodeSwatches(spng_ctx* png, const Palette& palette, std::size_t* size) {
    const auto count = static_cast<std::uint32_t>(palette.count);
    const std::uint32_t columns = std::min(count, kSquaresPerRow);
    const std::uint32_t rows = (count + kSquaresPerRow - 1) / kSquaresPerRow;
    spng_ihdr header = {columns * kSquare, rows * kSquare, 8, SPNG_COLOR_TYPE_INDEXED, 0, 0, 0};
    spng_plte plte{};
    plte.n_entries = count;
    for (std::uint32_t i = 0; i < count; i++) {
        const Color& color = palette.colors[i];
        plte.entries[i] = {color.red, color.green, color.blue, 0xFF};
    }
    int status = spng_set_ihdr(png, &header);
    status = status != 0 ? status : spng_set_plte(png, &plte);
    status = status != 0 ? status
                         : spng_encode_image(png, nullptr, 0, SPNG_FMT_PNG,
                                             SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
    unsigned char pixels[kSquaresPerRow * kSquare] = {};
    for (std::uint32_t y = 0; status == 0 && y < header.height; y++) {
        for (std::uint32_t x = 0; x < header.width; x++) {
            const std::uint32_t square = y / kSquare * kSquaresPerRow + x / kSquare;
            pixels[x] = static_cast<unsigned char>(square < count ? square : 0);
        }
        status = spng_encode_row(png, pixels, header.width);
    }
    // The last row ends the image: libspng says so, and writes IEND.
    if (status != SPNG_EOI) {
        return nullptr;
    }
    return spng_get_png_buffer(png, size, &status);
}

}  // namespace

std::size_t writePng(const Palette& palette, EncodedBytes* bytes) {
    spng_ctx* png = spng_ctx_new(SPNG_CTX_ENCODER);
    if (png == nullptr || palette.count == 0 || palette.count > kEntryCount) {
        spng_ctx_free(png);
        return 0;
    }
    std::size_t size = 0;
    void* encoded = nullptr;
    if (spng_set_option(png, SPNG_ENCODE_TO_BUFFER, 1) == 0 &&
        spng_set_option(png, SPNG_IMG_COMPRESSION_LEVEL, 9) == 0) {
        encoded = encodeSwatches(png, palette, &size);
    }
    spng_ctx_free(png);
    if (encoded == nullptr || size > bytes->size()) {
        std::free(encoded);
        return 0;
    }
    std::memcpy(bytes->data(), encoded, size);
    std::free(encoded);
    return size;
}

}  // namespace kolorvane::formats
