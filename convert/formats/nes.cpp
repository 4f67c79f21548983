// An NES palette, as emulators and pixel artists keep them: the console's
// 64 colours as R G B, 192 bytes, or 1,536 bytes that go on with the 7
// variants its colour emphasis bits give, of which the first 64 are read.
// Read only, through --from: .pal, its usual extension, is EDGE PAL's.
#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr std::size_t kColors = 64;
constexpr std::size_t kPlainSize = 3 * kColors;
constexpr std::size_t kEmphasisSize = 8 * kPlainSize;

}  // namespace

ReadError readNes(const unsigned char* bytes, std::size_t size, Palette* palette) {
    if (size < kPlainSize) {
        return readError(ReadProblem::Truncated, size);
    }
    if (size != kPlainSize && size != kEmphasisSize) {
        return readError(ReadProblem::ExtraData, size < kEmphasisSize ? kPlainSize : kEmphasisSize);
    }
    return takeColorTable(bytes, 0, kColors, TableLayout::Rgb, palette);
}

}  // namespace kolorvane::formats
