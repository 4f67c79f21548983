// What the writers of markup share (CSS, LibreOffice's and Scribus's XML):
// names made unique, as a format that looks colours up by name needs them,
// names escaped for an XML attribute, and decimal numbers with a fraction,
// read and written by hand as the other numbers are.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bytes.h"
#include "format.h"

namespace kolorvane::formats {

// The names given so far, by their hashes: a hash met again is taken for
// the same name, which at worst numbers a name that needed no number.
struct UniqueNames {
    std::uint64_t* slots;
    std::size_t mask;
};

// Room for `count` names; false when the memory cannot be had.
bool startUniqueNames(std::size_t count, UniqueNames* names);
void endUniqueNames(UniqueNames* names);

// A name being made, with room for the longest name and numbers after it.
struct NameDraft {
    char bytes[kMaxNameBytes + 48];
    std::size_t size;
};

void appendText(NameDraft* draft, const char* text);
void appendNumber(NameDraft* draft, std::size_t value);

// Gives the draft, as it is when it is free, else with `separator` and
// `number` after it, then `separator` and 2, 3... until it is free.
void giveUniqueName(UniqueNames* names, const char* separator, std::size_t number,
                    NameDraft* draft);

// The bytes as an XML attribute's value: &, <, > and " as references, a
// tab and a line break as character references so that they read back as
// they are, each other control character, which XML does not allow, a space.
void putXmlText(ByteWriter* writer, const char* bytes, std::size_t size);

// A decimal number, "-12.5", "3", ".25", "1e-05": an optional sign, digits
// with an optional fraction, an optional exponent, nothing else. False for
// any other text, or one of more than 64 characters.
bool parseDecimal(const char* text, double* value);

// `value` rounded to `decimals` places (at most 6), written without the
// zeros a fraction ends in: 12.5, 3, -0.25.
void putFixed(ByteWriter* writer, double value, unsigned decimals);

// "#" and `count` hexadecimal digits (either case), a byte of each two, as
// "#rrggbb" and Scribus's "#ccmmyykk" are; false for any other text.
bool parseHexBytes(const char* text, std::size_t count, unsigned char* bytes);

// The name as a draft: each control character but a tab and a line break,
// which XML cannot hold, a space.
void draftOf(NameText name, NameDraft* draft);

}  // namespace kolorvane::formats
