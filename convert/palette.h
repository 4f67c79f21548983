// The two palette layouts and the palette in memory.
//
//   .pal, 778 bytes: "EDGE PAL" 00 00, then 256 entries of three bytes.
//   .act, 768 bytes: 256 entries of three bytes, in the reverse entry order.
//
// Entry bytes are never interpreted; only the order of the entries differs.
#pragma once

#include <array>
#include <cstddef>

#include "output_paths.h"

namespace kolorvane {

constexpr std::size_t kEntryCount = 256;
constexpr std::size_t kEdgePalHeaderSize = 10;
constexpr std::size_t kColorTableSize = 3 * kEntryCount;
constexpr std::size_t kEdgePalSize = kEdgePalHeaderSize + kColorTableSize;

// "EDGE PAL" 00 00, as written; a reader accepts the letters in either case.
constexpr std::array<unsigned char, kEdgePalHeaderSize> kEdgePalHeader = {
    'E', 'D', 'G', 'E', ' ', 'P', 'A', 'L', 0, 0,
};

// Indexed by .pal entry number: index j is .pal entry j and .act entry 255 - j.
struct PalettePlanes {
    std::array<unsigned char, kEntryCount> first;
    std::array<unsigned char, kEntryCount> second;
    std::array<unsigned char, kEntryCount> third;
};

// Decoding and encoding over bytes in memory. A source shorter than its
// layout reads as if padded with zero bytes; bytes past the layout are ignored.
// decodeEdgePal leaves `planes` untouched when it refuses the header.
bool decodeEdgePal(const unsigned char* bytes, std::size_t size, PalettePlanes* planes);
void decodeColorTable(const unsigned char* bytes, std::size_t size, PalettePlanes* planes);
void encodeEdgePal(const PalettePlanes& planes, std::array<unsigned char, kEdgePalSize>* bytes);
void encodeColorTable(const PalettePlanes& planes,
                      std::array<unsigned char, kColorTableSize>* bytes);

// The bytes of a file of `kind` that holds `planes`, into `bytes`; their count.
std::size_t encodePalette(PaletteKind kind, const PalettePlanes& planes,
                          std::array<unsigned char, kEdgePalSize>* bytes);

// The planes from the bytes of a file of `kind`; false, and the planes
// untouched, for a .pal whose header is refused.
bool decodePalette(PaletteKind kind, const unsigned char* bytes, std::size_t size,
                   PalettePlanes* planes);

}  // namespace kolorvane
