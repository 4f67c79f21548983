#include "image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kolorvane::formats {

namespace {

// An open-addressed table four times the most colours a palette holds.
constexpr std::size_t kSlots = 4 * kEntryCount;
static_assert(kSlots == 1024, "a slot is the top 10 bits of a 32-bit hash");

struct Seen {
    std::uint32_t pixel;  // kTransparent: an empty slot
    std::uint64_t first;
};

// The slot of `pixel`, or the empty one where it would go.
Seen* slotOf(Seen* slots, std::uint32_t pixel) {
    std::size_t slot = (pixel * 2654435761U) >> 22;  // Fibonacci hashing
    while (slots[slot].pixel != kTransparent && slots[slot].pixel != pixel) {
        slot = (slot + 1) % kSlots;
    }
    return &slots[slot];
}

}  // namespace

struct ColorTally {
    Seen slots[kSlots];
    std::size_t count;
};

ReadError checkImageSize(std::uint64_t width, std::uint64_t height) {
    const bool inside =
        width != 0 && height != 0 && width <= kLargestImageSide && height <= kLargestImageSide;
    return inside ? kReadOk : readError(ReadProblem::ImageSize);
}

ColorTally* startTally() {
    // Cleared: empty slots are zero.
    return static_cast<ColorTally*>(std::calloc(1, sizeof(ColorTally)));
}

void endTally(ColorTally* tally) { std::free(tally); }

bool tallyPixels(ColorTally* tally, const std::uint32_t* pixels, std::size_t count,
                 std::uint64_t firstPosition, std::uint64_t step) {
    // A pixel like the one before it changes nothing and is passed over.
    std::uint32_t previous = kTransparent;
    for (std::size_t i = 0; i < count; i++) {
        const std::uint32_t pixel = pixels[i];
        if (pixel == kTransparent || pixel == previous) {
            continue;
        }
        previous = pixel;
        Seen* seen = slotOf(tally->slots, pixel);
        const std::uint64_t position = firstPosition + i * step;
        if (seen->pixel == kTransparent) {
            if (tally->count == kEntryCount) {
                return false;
            }
            *seen = {pixel, position};
            tally->count++;
        } else if (position < seen->first) {
            seen->first = position;
        }
    }
    return true;
}

ReadError paletteOfTally(const ColorTally& tally, Palette* palette) {
    if (tally.count == 0) {
        return readError(ReadProblem::NoColors);
    }
    Seen found[kEntryCount] = {};
    std::size_t count = 0;
    for (const Seen& seen : tally.slots) {
        if (seen.pixel != kTransparent) {
            found[count++] = seen;
        }
    }
    std::sort(found, found + count, [](const Seen& a, const Seen& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < count; i++) {
        const std::uint32_t pixel = found[i].pixel;
        palette->colors[i] = {static_cast<unsigned char>(pixel >> 16),
                              static_cast<unsigned char>(pixel >> 8),
                              static_cast<unsigned char>(pixel)};
    }
    palette->count = count;
    return kReadOk;
}

bool swatchGridOf(const Palette& palette, SwatchGrid* grid) {
    if (palette.count == 0 || palette.count > kEntryCount) {
        return false;
    }
    const auto count = static_cast<std::uint32_t>(palette.count);
    const std::uint32_t rows = (count + kSwatchesPerRow - 1) / kSwatchesPerRow;
    *grid = {kSwatchSide * std::min(count, kSwatchesPerRow), kSwatchSide * rows, count};
    return true;
}

void swatchRow(const SwatchGrid& grid, std::uint32_t y, unsigned char* indices) {
    const std::uint32_t first = y / kSwatchSide * kSwatchesPerRow;
    for (std::uint32_t x = 0; x < grid.width; x++) {
        const std::uint32_t square = first + x / kSwatchSide;
        indices[x] = static_cast<unsigned char>(square < grid.count ? square : 0);
    }
}

ReadError readColorTable(SourceCursor* cursor, std::size_t first, std::size_t count,
                         TableLayout layout, Palette* palette) {
    unsigned char table[kEntryCount * 4] = {};
    if (first + count > kEntryCount) {
        return readError(ReadProblem::TooManyColors);
    }
    if (!takeBytes(cursor, table, count * entrySize(layout))) {
        return readError(ReadProblem::Truncated, cursor->position);
    }
    takeColorTable(table, first, count, layout, palette);
    return kReadOk;
}

void startDataStream(SourceCursor* cursor, DataStream* stream) {
    stream->cursor = cursor;
    stream->next = 0;
    stream->held = 0;
}

namespace {

// The next block, from where the last ended: false at the source's end.
bool refill(DataStream* stream) {
    stream->next = 0;
    stream->held = pullBytes(stream->cursor, stream->block, sizeof stream->block);
    return stream->held != 0;
}

}  // namespace

bool takeData(DataStream* stream, unsigned char* bytes, std::size_t count) {
    while (count > 0) {
        if (stream->next == stream->held && !refill(stream)) {
            return false;
        }
        const std::size_t part = std::min(count, stream->held - stream->next);
        std::memcpy(bytes, stream->block + stream->next, part);
        stream->next += part;
        bytes += part;
        count -= part;
    }
    return true;
}

bool takeDataByte(DataStream* stream, unsigned* value) {
    if (stream->next == stream->held && !refill(stream)) {
        return false;
    }
    *value = stream->block[stream->next++];
    return true;
}

ReadError dataEnded(const DataStream& stream) {
    return readError(ReadProblem::Truncated, stream.cursor->position - (stream.held - stream.next));
}

bool startPixelRows(std::size_t storedBytes, std::uint32_t width, PixelRows* rows) {
    *rows = {startTally(), static_cast<unsigned char*>(std::malloc(storedBytes)),
             static_cast<std::uint32_t*>(std::malloc(width * sizeof(std::uint32_t)))};
    if (rows->colors == nullptr || rows->stored == nullptr || rows->pixels == nullptr) {
        endPixelRows(rows);
        return false;
    }
    return true;
}

void endPixelRows(PixelRows* rows) {
    endTally(rows->colors);
    std::free(rows->stored);
    std::free(rows->pixels);
    *rows = {nullptr, nullptr, nullptr};
}

}  // namespace kolorvane::formats
