// The command line's words for what the formats refuse, put together by
// hand: printf's family would add its formatting code to the Windows .exe.
#pragma once

#include <cstddef>

#include "cmyk_profile.h"
#include "colour_management.h"
#include "format.h"

namespace kolorvane {

// Why `format` refused a source, one line without its break, into `text`
// (`capacity` bytes, cut short should it not fit).
void describeReadError(const Format& format, const ReadError& error, char* text,
                       std::size_t capacity);

// "not a .pal, .act, ... or .png file name", each extension of the table
// once, into `text`.
void describeUnsupportedName(char* text, std::size_t capacity);

// The warning for a FILE whose CMYK or Lab colours were converted, without
// "kolorvane-cli: FILE: ": "12 colours converted to sRGB: 10 CMYK through
// "PROFILE", 2 Lab; 3 outside sRGB, clipped", each part only where it
// counts something. `profile` is the CMYK profile's description.
void describeColorConversion(const ConvertedCounts& counts, const char* profile, char* text,
                             std::size_t capacity);

// Why the --cmyk-profile at `path` cannot be used, as a usage error says
// it; `systemWords` are the system's for the failure's code ("" for none).
void describeProfileLoad(const char* path, const ProfileLoad& load, const char* systemWords,
                         char* text, std::size_t capacity);

}  // namespace kolorvane
