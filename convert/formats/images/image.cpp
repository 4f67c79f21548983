#include "image.h"

#include <algorithm>
#include <cstdlib>

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
    const bool fits =
        width != 0 && height != 0 && width <= kLargestImageSide && height <= kLargestImageSide;
    return fits ? kReadOk : readError(ReadProblem::ImageSize);
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

}  // namespace kolorvane::formats
