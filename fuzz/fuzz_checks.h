// What the fuzz targets share: a check that stops the run on a broken
// invariant, and the two file layouts worked out directly from the bytes, as
// an independent yardstick for what the core decodes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "output_paths.h"
#include "palette.h"
#include "platform.h"

namespace kolorvane::fuzzing {

using Bytes = std::vector<unsigned char>;

// Prints `what` and aborts, which libFuzzer reports as a crash and keeps the
// input that caused it.
void require(bool holds, const char* what);

// The planes a source of `kind` holds, zero where it is too short. For a .pal
// whose header is not "EDGE PAL" 00 00 (letters in either case) `accepted`
// is false and the planes are all zero.
PalettePlanes expectedPlanes(PaletteKind kind, const Bytes& source, bool* accepted);

// The bytes of `planes` in the layout a source of `sourceKind` converts to.
Bytes expectedOutput(PaletteKind sourceKind, const PalettePlanes& planes);

bool samePlanes(const PalettePlanes& a, const PalettePlanes& b);

// Whether each byte of `text` starts a character, walking it forward the way
// Windows does: a lead byte takes the byte after it, unless it is the last.
std::vector<bool> characterStarts(const Platform& platform, const std::string& text);

// The last position that holds a backslash starting a character, or npos.
std::size_t lastRealBackslash(const Platform& platform, const std::string& text);

}  // namespace kolorvane::fuzzing
