#include "image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kolorvane::formats {

namespace {

// The open-addressed table starts at 1,024 slots and grows fourfold while
// it would be more than half full: a palette image's colours cost 16 KiB,
// the most colours a palette holds about 2 MiB.
constexpr unsigned kFirstSlotBits = 10;

struct Seen {
    std::uint32_t pixel;  // kTransparent: an empty slot
    std::uint64_t first;
};

}  // namespace

struct ColorTally {
    Seen* slots;
    unsigned slotBits;  // 2^slotBits slots
    std::size_t count;
};

namespace {

// The slot of `pixel`, or the empty one where it would go.
Seen* slotOf(const ColorTally& tally, std::uint32_t pixel) {
    const std::size_t mask = (std::size_t{1} << tally.slotBits) - 1;
    std::size_t slot = (pixel * 2654435761U) >> (32 - tally.slotBits);  // Fibonacci hashing
    while (tally.slots[slot].pixel != kTransparent && tally.slots[slot].pixel != pixel) {
        slot = (slot + 1) & mask;
    }
    return &tally.slots[slot];
}

// The table four times as large, every colour moved in; false, the table as
// it was, when the memory cannot be had.
bool growTally(ColorTally* tally) {
    const ColorTally old = *tally;
    const unsigned bits = old.slotBits + 2;
    auto* slots = static_cast<Seen*>(std::calloc(std::size_t{1} << bits, sizeof(Seen)));
    if (slots == nullptr) {
        return false;
    }
    *tally = {slots, bits, old.count};
    for (std::size_t i = 0; i < (std::size_t{1} << old.slotBits); i++) {
        if (old.slots[i].pixel != kTransparent) {
            *slotOf(*tally, old.slots[i].pixel) = old.slots[i];
        }
    }
    std::free(old.slots);
    return true;
}

}  // namespace

ReadError checkImageSize(std::uint64_t width, std::uint64_t height) {
    const bool inside =
        width != 0 && height != 0 && width <= kLargestImageSide && height <= kLargestImageSide;
    return inside ? kReadOk : readError(ReadProblem::ImageSize);
}

ColorTally* startTally() {
    auto* tally = static_cast<ColorTally*>(std::malloc(sizeof(ColorTally)));
    // Cleared: empty slots are zero.
    auto* slots = static_cast<Seen*>(std::calloc(std::size_t{1} << kFirstSlotBits, sizeof(Seen)));
    if (tally == nullptr || slots == nullptr) {
        std::free(tally);
        std::free(slots);
        return nullptr;
    }
    *tally = {slots, kFirstSlotBits, 0};
    return tally;
}

void endTally(ColorTally* tally) {
    if (tally != nullptr) {
        std::free(tally->slots);
    }
    std::free(tally);
}

TallyResult tallyPixels(ColorTally* tally, const std::uint32_t* pixels, std::size_t count,
                        std::uint64_t firstPosition, std::uint64_t step) {
    // A pixel like the one before it changes nothing and is passed over.
    std::uint32_t previous = kTransparent;
    for (std::size_t i = 0; i < count; i++) {
        const std::uint32_t pixel = pixels[i];
        if (pixel == kTransparent || pixel == previous) {
            continue;
        }
        previous = pixel;
        Seen* seen = slotOf(*tally, pixel);
        const std::uint64_t position = firstPosition + i * step;
        if (seen->pixel == kTransparent) {
            if (tally->count == kMaxColors) {
                return TallyResult::TooManyColors;
            }
            if (2 * (tally->count + 1) > (std::size_t{1} << tally->slotBits)) {
                if (!growTally(tally)) {
                    return TallyResult::NoMemory;
                }
                seen = slotOf(*tally, pixel);
            }
            *seen = {pixel, position};
            tally->count++;
        } else if (position < seen->first) {
            seen->first = position;
        }
    }
    return TallyResult::Counted;
}

ReadError tallyRefusal(TallyResult result) {
    return result == TallyResult::NoMemory ? kNoMemory : readError(ReadProblem::NotPaletteImage);
}

ReadError paletteOfTally(const ColorTally& tally, Palette* palette) {
    if (tally.count == 0) {
        return readError(ReadProblem::NoColors);
    }
    auto* found = static_cast<Seen*>(std::malloc(tally.count * sizeof(Seen)));
    const ReadError error = found == nullptr ? kNoMemory : resizePalette(palette, tally.count, 0);
    if (refused(error)) {
        std::free(found);
        return error;
    }
    std::size_t count = 0;
    for (std::size_t i = 0; i < (std::size_t{1} << tally.slotBits); i++) {
        if (tally.slots[i].pixel != kTransparent) {
            found[count++] = tally.slots[i];
        }
    }
    std::sort(found, found + count, [](const Seen& a, const Seen& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < count; i++) {
        const std::uint32_t pixel = found[i].pixel;
        palette->colors[i] = {static_cast<unsigned char>(pixel >> 16),
                              static_cast<unsigned char>(pixel >> 8),
                              static_cast<unsigned char>(pixel)};
    }
    std::free(found);
    return kReadOk;
}

bool swatchGridOf(const Palette& palette, SwatchGrid* grid) {
    if (palette.count == 0 || palette.count > kLargestSwatchGrid) {
        return false;
    }
    const auto count = static_cast<std::uint32_t>(palette.count);
    const std::uint32_t rows = (count + kSwatchesPerRow - 1) / kSwatchesPerRow;
    *grid = {kSwatchSide * std::min(count, kSwatchesPerRow), kSwatchHeight * rows, count};
    return true;
}

void swatchRow(const SwatchGrid& grid, std::uint32_t y, unsigned char* indices) {
    const std::uint32_t first = y / kSwatchHeight * kSwatchesPerRow;
    for (std::uint32_t x = 0; x < grid.width; x++) {
        const std::uint32_t square = first + x / kSwatchSide;
        indices[x] = static_cast<unsigned char>(square < grid.count ? square : 0);
    }
}

void swatchColorRow(const SwatchGrid& grid, const Palette& palette, std::uint32_t y,
                    Color* colors) {
    const std::uint32_t first = y / kSwatchHeight * kSwatchesPerRow;
    for (std::uint32_t x = 0; x < grid.width; x++) {
        const std::uint32_t square = first + x / kSwatchSide;
        colors[x] = palette.colors[square < grid.count ? square : 0];
    }
}

void putSwatchRowsFromBottom(ByteWriter* writer, const Palette& palette, const SwatchGrid& grid,
                             bool indexed) {
    unsigned char row[kLargestSwatchWidth] = {};
    Color colors[kLargestSwatchWidth] = {};
    for (std::uint32_t y = grid.height; y > 0; y--) {
        if (indexed) {
            swatchRow(grid, y - 1, row);
        } else {
            swatchColorRow(grid, palette, y - 1, colors);
        }
        for (std::uint32_t x = 0; x < grid.width; x++) {
            if (indexed) {
                putByte(writer, row[x]);
                continue;
            }
            putByte(writer, colors[x].blue);
            putByte(writer, colors[x].green);
            putByte(writer, colors[x].red);
        }
    }
}

ReadError readColorTable(SourceCursor* cursor, std::size_t first, std::size_t count,
                         TableLayout layout, Palette* palette) {
    if (first + count > kMaxColors) {
        return tooManyColors(0);
    }
    // A block of entries at a time, so that a long table is never read
    // whole before its size is known to be there.
    constexpr std::size_t kBlock = 256;
    unsigned char table[kBlock * 4] = {};
    ReadError error = kReadOk;
    for (std::size_t done = 0; !refused(error) && done < count; done += kBlock) {
        const std::size_t entries = std::min(kBlock, count - done);
        error = takeBytes(cursor, table, entries * entrySize(layout))
                    ? takeColorTable(table, first + done, entries, layout, palette)
                    : readError(ReadProblem::Truncated, cursor->position);
    }
    return error;
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
