// Names as the formats hold them, into and out of the palette's UTF-8: GIMP
// palettes in UTF-8 (or, from older GIMP versions, ISO 8859-1), .aco and .ase
// in big-endian UTF-16. Reading never refuses a name: what cannot be decoded
// becomes U+FFFD, and a name longer than kMaxNameCharacters keeps its first
// characters, never cut inside one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bytes.h"
#include "format.h"

namespace kolorvane::formats {

// Each of these adds a name to the palette's text and returns it; where
// the memory cannot be had, it returns no name and sets the palette's
// outOfMemory, which the read then reports.

// `size` bytes of text: UTF-8 when they are valid UTF-8, else ISO 8859-1. A
// name ends at a zero byte.
NameRef nameFromText(Palette* palette, const unsigned char* bytes, std::size_t size);

// `units` big-endian UTF-16 units at `bytes`, up to the first zero unit if
// there is one; an unpaired surrogate becomes U+FFFD.
NameRef nameFromUtf16(Palette* palette, const unsigned char* bytes, std::size_t units);

// The name's UTF-16 units, the closing zero not counted.
std::size_t utf16Units(NameText name);

// The name in big-endian UTF-16, then a zero unit.
void putUtf16(ByteWriter* writer, NameText name);

// The name for a line of a text: each control character (a line break, a
// tab) a space, so that it stays on its line and reads back as one name, and
// without spaces at either end, which a reader trims.
void putOnOneLine(ByteWriter* writer, NameText name);

// The UTF-8 sequence at `bytes` (of `left`): its length and code point, or
// 0 when it is not valid UTF-8 (overlong, a surrogate, past U+10FFFF, cut).
std::size_t decodeUtf8(const unsigned char* bytes, std::size_t left, std::uint32_t* codePoint);

// Whether a code point is a control character (Unicode's Cc: U+0000 to
// U+001F, U+007F to U+009F).
bool isControl(std::uint32_t codePoint);

// A name of plain ASCII `text`, for tests and the formats' own names.
NameRef nameOf(Palette* palette, const char* text);

}  // namespace kolorvane::formats
