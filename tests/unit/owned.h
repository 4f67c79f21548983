// A palette and a buffer of bytes that give their memory back when they go
// out of scope, for the tests.
#pragma once

#include <memory>

#include "format.h"

namespace kolorvane::testing {

struct OwnedPalette {
    Palette palette = kEmptyPalette;
    OwnedPalette() = default;
    OwnedPalette(const OwnedPalette&) = delete;
    OwnedPalette& operator=(const OwnedPalette&) = delete;
    ~OwnedPalette() { endPalette(&palette); }
};

struct OwnedBytes {
    ByteBuffer buffer = {nullptr, 0};
    OwnedBytes() = default;
    OwnedBytes(const OwnedBytes&) = delete;
    OwnedBytes& operator=(const OwnedBytes&) = delete;
    ~OwnedBytes() { endBytes(&buffer); }
};

// A palette on the heap, for a test that hands it around.
struct PaletteEnd {
    void operator()(Palette* palette) const {
        endPalette(palette);
        delete palette;  // NOLINT(cppcoreguidelines-owning-memory)
    }
};
using PalettePointer = std::unique_ptr<Palette, PaletteEnd>;

inline PalettePointer emptyPalette() { return PalettePointer(new Palette(kEmptyPalette)); }

}  // namespace kolorvane::testing
