// A VGA palette: 256 entries of R G B in the 6 bits the VGA's DAC takes (0
// to 63), 768 bytes, as many DOS games and the original Animator's .col
// store them. Each value is widened to 8 bits by repeating its top bits.
// Read only: no extension is its own, so it is read through --from, and
// from a .col that holds exactly that.
#include <algorithm>

#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr unsigned kLargestValue = 63;

bool isSixBit(unsigned char value) { return value <= kLargestValue; }

}  // namespace

bool detectVga(const unsigned char* bytes, std::size_t size) {
    return size == kColorTableSize && std::all_of(bytes, bytes + size, isSixBit);
}

ReadError readVga(const unsigned char* bytes, std::size_t size, Palette* palette) {
    if (size < kColorTableSize) {
        return readError(ReadProblem::Truncated, size);
    }
    if (size > kColorTableSize) {
        return readError(ReadProblem::ExtraData, kColorTableSize);
    }
    const unsigned char* wide = std::find_if_not(bytes, bytes + size, isSixBit);
    if (wide != bytes + size) {
        return unsupportedValue(static_cast<std::size_t>(wide - bytes), "6-bit value", *wide);
    }
    const ReadError error = resizePalette(palette, kEntryCount, 0);
    for (std::size_t i = 0; !refused(error) && i < kEntryCount; i++) {
        const unsigned char* entry = bytes + 3 * i;
        palette->colors[i] = {widen6(entry[0]), widen6(entry[1]), widen6(entry[2])};
    }
    return error;
}

}  // namespace kolorvane::formats
