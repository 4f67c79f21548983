// Swatches of other colour spaces turned into sRGB, through LittleCMS: CMYK
// through a press profile, relative colorimetric with black-point
// compensation, as Adobe's applications convert by default; Lab, relative
// to D50 as the ICC's connection space is, from LittleCMS's built-in Lab
// profile, relative colorimetric; both into its built-in sRGB profile. In
// double precision, so that a colour outside sRGB can be told before it is
// clipped, and no 16-bit step costs the result a level or two.
//
// The readers keep such swatches as SourceColors beside the palette; this
// is all that calls LittleCMS.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format.h"

namespace kolorvane {

// A profile's description: printable ASCII, each other character a "?", cut
// to fit, so that a profile cannot put control characters on a terminal.
constexpr std::size_t kDescriptionSize = 128;

// What a run converts with: the CMYK profile's bytes, which the caller keeps
// for as long as this is in use, and what is made from them. LittleCMS's
// context and transforms are made at the first colour that needs them and
// kept for the run.
struct ColorManagement {
    const unsigned char* cmykProfile;
    std::size_t cmykProfileSize;
    void* context;        // cmsContext: this run's own, so nothing is global
    void* cmykTransform;  // cmsHTRANSFORM: CMYK to sRGB
    void* labTransform;   // cmsHTRANSFORM: Lab to sRGB
    // The CMYK profile's description, once the profile has been opened.
    char description[kDescriptionSize];
};

// A ColorManagement that converts CMYK through the profile of `size` bytes
// at `profile`. Nothing is opened or made yet.
ColorManagement startColorManagement(const unsigned char* profile, std::size_t size);

// Releases whatever was made.
void endColorManagement(ColorManagement* management);

enum class ProfileProblem {
    None,
    NotIcc,       // not a profile LittleCMS can open
    NotCmyk,      // colours of another space; `space` names it
    NotDevice,    // a device link, an abstract or a named colour profile
    NoCmykToPcs,  // no table to convert its colours from, relative colorimetric
    NoMemory,     // LittleCMS had none to look at it with
};

struct ProfileCheck {
    ProfileProblem problem;
    char space[5];  // the colour space its header names ("RGB", "GRAY"), trimmed
    char description[kDescriptionSize];
};

// Whether the `size` bytes at `bytes` are a CMYK profile that colours can be
// converted from, and its description.
ProfileCheck checkCmykProfile(const unsigned char* bytes, std::size_t size);

// How many colours a palette had converted, and how many of them fell
// outside sRGB (a channel below -0.5 or above 255.5 of 255) and were clipped.
struct ConvertedCounts {
    std::size_t cmyk;
    std::size_t lab;
    std::size_t outside;
};

// Turns the palette's source colours into its colours, each channel the
// nearest 8-bit value of the clipped one, and keeps them, for a writer
// whose format holds them as they are (a Format's keepsCmykAndLab). False when a
// transform could not be made (a profile LittleCMS cannot use after all, or
// no memory): then some colours are left black, and the palette is not to
// be written.
bool convertSourceColors(ColorManagement* management, Palette* palette, ConvertedCounts* counts);

}  // namespace kolorvane
