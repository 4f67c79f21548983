// What the readers and writers share: a cursor over binary data that checks
// the size before it touches a byte, a cursor over the lines of a text, the
// decimal and hexadecimal numbers in them, and a writer that never passes the
// end of its buffer. Numbers are parsed and formatted by hand: the Windows
// .exe carries no printf or strtol.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format.h"

namespace kolorvane::formats {

// Binary input. `position` never passes `size`; a take that does not fit
// reads nothing and moves nothing.
struct ByteReader {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t position;
};

bool fits(const ByteReader& reader, std::size_t count);
bool skipBytes(ByteReader* reader, std::size_t count);
bool takeU16BE(ByteReader* reader, std::uint32_t* value);
bool takeU32BE(ByteReader* reader, std::uint32_t* value);
bool takeU16LE(ByteReader* reader, std::uint32_t* value);
bool takeU32LE(ByteReader* reader, std::uint32_t* value);
// The next `count` bytes equal `expected`; taken only when they do.
bool takeTag(ByteReader* reader, const char* expected, std::size_t count);

// A source in memory, read as a file is: what a streamed format's `read`
// hands its `readStream`, so that both take the same path.
struct MemorySource {
    const unsigned char* bytes;
    std::size_t size;
};

ByteSource sourceOf(MemorySource* memory);

// A source read in order, from `position` on, as a header, a table and the
// chunks after them are.
struct SourceCursor {
    const ByteSource* source;
    std::uint64_t position;
};

// Up to `count` bytes, fewer only at the source's end: their count.
std::size_t pullBytes(SourceCursor* cursor, unsigned char* bytes, std::size_t count);
// Exactly `count` bytes, or false (the cursor then at the source's end).
bool takeBytes(SourceCursor* cursor, unsigned char* bytes, std::size_t count);
// Passes `count` bytes without reading them where the source's size is
// known; false when they run past its end.
bool skipSource(SourceCursor* cursor, std::uint64_t count);

// One line of a text, without its line break (LF or CR LF); `number` from 1.
struct Line {
    const unsigned char* begin;
    const unsigned char* end;
    std::size_t number;
};

// The lines of a text, from a UTF-8 byte order mark's end if there is one.
struct LineReader {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t position;
    std::size_t number;
};

LineReader startLines(const unsigned char* bytes, std::size_t size);
bool nextLine(LineReader* reader, Line* line);

bool isSpace(unsigned char c);
void skipSpaces(Line* line);
bool isBlank(Line line);
// Whether the line, leading spaces skipped, starts with `prefix`.
bool startsWith(Line line, const char* prefix);
// Whether the line is `text` and spaces alone.
bool lineIs(Line line, const char* text);

// A decimal number at the line's start (no sign), which must end at a space
// or the line's end: Malformed when it does not, NumberTooLarge above `most`.
ReadError takeNumber(Line* line, unsigned most, unsigned* value);
// A number from 0 to 255.
ReadError takeChannel(Line* line, unsigned char* value);
// Three channels, spaces before and between them, as "R G B" lines hold.
ReadError takeRgb(Line* line, Color* color);
// A line that is `digits` hexadecimal digits (either case) and spaces around
// them, the last six of them red, green and blue: Malformed for another
// length, BadHexDigit for a character that is not one.
ReadError readHexLine(Line line, std::size_t digits, Color* color);
// How a format of hexadecimal lines lays them out: the digits a colour has,
// the start of a comment line and the mark a colour may start with (null:
// none).
struct HexLines {
    std::size_t digits;
    const char* comment;
    const char* mark;
};

// A palette of one colour per line as readHexLine reads it, skipping blank
// lines and comments.
ReadError readHexLines(const unsigned char* bytes, std::size_t size, const HexLines& layout,
                       Palette* palette);

// EDGE PAL's planes and the palette, the one place where the one order
// meets the other: plane entry j is palette index 255 - j. The planes take
// the first 256 entries stored, black past them; the palette takes all 256.
PalettePlanes planesOfPalette(const Palette& palette);
ReadError paletteOfPlanes(const PalettePlanes& planes, Palette* palette);

// Whether `count` is a palette's: NoColors or TooManyColors when not.
ReadError checkCount(std::size_t count, std::size_t at);

// Room for one more colour, at index `count`, of a source that lists its
// colours one by one: TooManyColors at `at` past kMaxColors, kNoMemory when
// the memory cannot be had.
ReadError addColor(Palette* palette, Color color, std::size_t at);

// The CMYK or Lab swatch colour `index` was read as, or null: for a writer
// whose format holds it, which asks for each colour in turn. `next` walks
// the palette's source colours, which are in index order, from 0.
const SourceColor* sourceColorAt(const Palette& palette, std::size_t index, std::size_t* next);

// Tables of R G B, as the older formats hold a palette.

// A 5- or 6-bit value widened to 8 bits by repeating its top bits, as most
// tools do, so that a writer's v >> 3 or v >> 2 gives v back.
constexpr unsigned char widen5(unsigned value) {
    return static_cast<unsigned char>((value << 3) | (value >> 2));
}
constexpr unsigned char widen6(unsigned value) {
    return static_cast<unsigned char>((value << 2) | (value >> 4));
}

// How a colour table lays out an entry.
enum class TableLayout {
    Rgb,      // red, green, blue
    Bgr,      // blue, green, red
    Bgrx,     // blue, green, red and a byte ignored (reserved, or alpha)
    Xrgb555,  // 16 bits, little-endian: 5 bits each, red highest, the top bit ignored
};

std::size_t entrySize(TableLayout layout);

// `count` entries of `layout` at `bytes`, into the palette's colours from
// `first` on: its count becomes first + count, the colours before `first`
// left as they are (black where it had none). kNoMemory when the memory
// cannot be had.
ReadError takeColorTable(const unsigned char* bytes, std::size_t first, std::size_t count,
                         TableLayout layout, Palette* palette);

// Binary and text output into a buffer that grows as it is written, from
// its start. Where the memory cannot be had, nothing more is written and
// `overflowed` is set; `written` is then 0.
struct ByteWriter {
    ByteBuffer* buffer;
    std::size_t size;
    bool overflowed;
};

ByteWriter startWriting(ByteBuffer* buffer);
std::size_t written(const ByteWriter& writer);
void putByte(ByteWriter* writer, unsigned value);
void putU16BE(ByteWriter* writer, std::uint32_t value);
void putU32BE(ByteWriter* writer, std::uint32_t value);
void putU16LE(ByteWriter* writer, std::uint32_t value);
void putU32LE(ByteWriter* writer, std::uint32_t value);
void putText(ByteWriter* writer, const char* text);
// Four bytes written already, from `at`, made `value`: a size known only
// once what it counts is written.
void setU32BE(ByteWriter* writer, std::size_t at, std::uint32_t value);
void setU32LE(ByteWriter* writer, std::size_t at, std::uint32_t value);
// `value` in decimal, at least `width` characters, padded with spaces.
void putDecimal(ByteWriter* writer, unsigned value, unsigned width = 0);
void putHexPair(ByteWriter* writer, unsigned value, bool upperCase);
// `count` entries of `layout`: the palette's colours, those past its count
// black.
void putColorTable(ByteWriter* writer, const Palette& palette, std::size_t count,
                   TableLayout layout);

}  // namespace kolorvane::formats
