// One dropped file, from its path to the notice: the window's drop.
#pragma once

#include "files.h"
#include "output_paths.h"
#include "palette.h"

namespace kolorvane {

// Opens, reads and closes the source of a .pal or .act path. The planes start
// zeroed, so a short source leaves the entries it does not supply at zero.
SourceResult readSource(const Platform& platform, const char* path, PaletteKind kind,
                        PalettePlanes* planes);

// The bytes of the file a `sourceKind` source converts to (.act for .pal,
// .pal for .act), into `bytes`; their count.
std::size_t encodeConversion(PaletteKind sourceKind, const PalettePlanes& planes,
                             std::array<unsigned char, kEdgePalSize>* bytes);

// Converts the file at `path`, a full path in a kMaxPath buffer, and tells
// the user the outcome with one notice, or with none where a file could not
// be opened, read or written. A conversion leaves the source's directory as
// the current directory, and the output beside the source.
void handleDroppedFile(const Platform& platform, const char* path);

}  // namespace kolorvane
