// The rules every image format follows, in one place:
//
// - An indexed image's palette is its colour table, every entry in order,
//   used or not: the reader takes the table and (where it decodes pixels)
//   drops the pixels.
// - Any other image's palette is the distinct colours of its pixels, each
//   where it first appears in reading order (rows from the top, each from
//   the left, whatever order the file stores them in), transparent pixels
//   skipped, more than kMaxColors refused: a ColorTally.
// - Width and height are checked from the header, before any pixel is
//   decoded: checkImageSize.
// - Pixels are decoded a row at a time, never the whole image.
// - Written: the swatch grid, one kSwatchSide square per colour,
//   kSwatchesPerRow to a row, square i of index i: swatchRow gives each row's
//   indices, and each format encodes them. A format that holds more than 256
//   colours writes a grid of more than 256 in true colour, swatchColorRow
//   giving each row's colours, up to kLargestSwatchGrid colours, whose
//   1,024 rows of squares reach kLargestImageSide.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bytes.h"
#include "format.h"

namespace kolorvane::formats {

// The most bytes an image source may have.
constexpr std::uint64_t kLargestImageSource = std::uint64_t{64} * 1024 * 1024;

// The widest and tallest image an image reader decodes: checked from the
// header, before any pixel, so that a few bytes claiming a vast image cost
// nothing.
constexpr std::uint32_t kLargestImageSide = 16384;

// ImageSize unless both are from 1 to kLargestImageSide.
ReadError checkImageSize(std::uint64_t width, std::uint64_t height);

// A pixel as the tally takes it: kOpaque | red << 16 | green << 8 | blue, or
// kTransparent for one that is skipped.
constexpr std::uint32_t kOpaque = std::uint32_t{1} << 24;
constexpr std::uint32_t kTransparent = 0;

constexpr std::uint32_t pixelOf(unsigned red, unsigned green, unsigned blue) {
    return kOpaque | (red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF);
}

// The distinct colours met so far, each with the first position it was met
// at (row × width + column, rows from the top): positions, not arrival,
// give the order, so that an image stored bottom row first, or in
// interlaced passes, gives the order of one read from the top. On the heap,
// never on a stack that Windows gives 1 MiB.
struct ColorTally;

// A new, empty tally, or null when the memory cannot be had.
ColorTally* startTally();
void endTally(ColorTally* tally);

enum class TallyResult { Counted, TooManyColors, NoMemory };

// The pixels of a row, or of a part of one: pixel i at position
// `firstPosition` + i × `step`. TooManyColors at a colour past the
// kMaxColors-th.
TallyResult tallyPixels(ColorTally* tally, const std::uint32_t* pixels, std::size_t count,
                        std::uint64_t firstPosition, std::uint64_t step);

// Why a tally stopped, as a reader refuses the image.
ReadError tallyRefusal(TallyResult result);

// The colours in the order of their first positions, into `palette`:
// NoColors for an image with no opaque pixel.
ReadError paletteOfTally(const ColorTally& tally, Palette* palette);

// The swatch grid a palette is written as. The fuzz build draws each
// square one pixel tall, so that a round trip through an image costs 16
// pixels a colour rather than 256; as wide, for the rows' alignment.
constexpr std::uint32_t kSwatchSide = 16;
#ifdef KOLORVANE_FUZZING
constexpr std::uint32_t kSwatchHeight = 1;
#else
constexpr std::uint32_t kSwatchHeight = kSwatchSide;
#endif
constexpr std::uint32_t kSwatchesPerRow = 16;
constexpr std::uint32_t kLargestSwatchWidth = kSwatchSide * kSwatchesPerRow;
constexpr std::uint32_t kLargestSwatchGrid = kLargestImageSide / kSwatchSide * kSwatchesPerRow;
// The most colours a grid of indices holds.
constexpr std::uint32_t kLargestIndexedGrid = 256;

struct SwatchGrid {
    std::uint32_t width;   // pixels: kSwatchSide × min(count, kSwatchesPerRow)
    std::uint32_t height;  // pixels: kSwatchHeight × the rows of squares
    std::uint32_t count;   // colours, 1 to kLargestSwatchGrid
};

// The grid of `palette`'s colours; false for a palette of no colours or
// more than kLargestSwatchGrid.
bool swatchGridOf(const Palette& palette, SwatchGrid* grid);

// The indices of row `y` (from the top), `grid.width` of them: square i
// holds index i; the squares a last row leaves empty hold index 0, which
// every format's table has.
void swatchRow(const SwatchGrid& grid, std::uint32_t y, unsigned char* indices);

// The grid's rows, bottom row first, as BMP and TGA store them: indices,
// or blue, green and red.
void putSwatchRowsFromBottom(ByteWriter* writer, const Palette& palette, const SwatchGrid& grid,
                             bool indexed);

// The colours of row `y` of a true-colour grid, `grid.width` of them; the
// squares a last row leaves empty hold colour 0.
void swatchColorRow(const SwatchGrid& grid, const Palette& palette, std::uint32_t y, Color* colors);

// What the formats read by hand share.

// The same from the cursor: Truncated where the source ends first,
// TooManyColors past kMaxColors.
ReadError readColorTable(SourceCursor* cursor, std::size_t first, std::size_t count,
                         TableLayout layout, Palette* palette);

// An image's data read a byte or a few at a time, from a block of it read
// from the source.
struct DataStream {
    SourceCursor* cursor;
    std::size_t next;
    std::size_t held;
    unsigned char block[4096];
};

// The stream from the cursor's position on.
void startDataStream(SourceCursor* cursor, DataStream* stream);
bool takeData(DataStream* stream, unsigned char* bytes, std::size_t count);
bool takeDataByte(DataStream* stream, unsigned* value);
// Why a take failed: Truncated, where the source ended.
ReadError dataEnded(const DataStream& stream);

// A tally and the buffers of one row: as the file stores it, and as pixels.
struct PixelRows {
    ColorTally* colors;
    unsigned char* stored;
    std::uint32_t* pixels;
};

// False, nothing held, when the memory cannot be had.
bool startPixelRows(std::size_t storedBytes, std::uint32_t width, PixelRows* rows);
void endPixelRows(PixelRows* rows);

}  // namespace kolorvane::formats
