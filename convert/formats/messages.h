// The words for what the formats refuse, one place for every front end,
// put together by hand: printf's family would add its formatting code to
// the Windows .exe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "colour_management.h"
#include "format.h"
#include "format_conversion.h"

namespace kolorvane {

// Text into a buffer of `capacity` bytes: whatever does not fit is dropped,
// and it stays terminated.
struct Text {
    char* bytes;
    std::size_t capacity;
    std::size_t size;
};

void add(Text* text, const char* part);
void addNumber(Text* text, std::uint32_t value, unsigned base = 10);

// Why `format` refused a source, one line without its break, into `text`
// (`capacity` bytes, cut short should it not fit).
void describeReadError(const Format& format, const ReadError& error, char* text,
                       std::size_t capacity);

// Why a palette is not written as `target`, or what of it was left out:
// "548 colours; an EDGE PAL holds 256 (--truncate keeps the first 256)",
// "292 of 548 colours left out; an EDGE PAL holds 256"; nothing where it
// fits.
void describeFit(const Format& target, const FitResult& fit, char* text, std::size_t capacity);

// "not a .pal, .act, ... or .png file name", each extension of the table
// once, into `text`.
void describeUnsupportedName(char* text, std::size_t capacity);

// The warning for a FILE whose CMYK or Lab colours were converted, without
// "kolorvane-cli: FILE: ": "12 colours converted to sRGB: 10 CMYK through
// "PROFILE", 2 Lab; 3 outside sRGB, clipped", each part only where it
// counts something. `profile` is the CMYK profile's description.
void describeColorConversion(const ConvertedCounts& counts, const char* profile, char* text,
                             std::size_t capacity);

// Why LittleCMS will not convert through a CMYK profile: "not a CMYK
// profile: its colours are RGB".
void addProfileCheck(Text* text, const ProfileCheck& check);

}  // namespace kolorvane
