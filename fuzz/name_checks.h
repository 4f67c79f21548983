// What a name read or written must be, for the formats' fuzz targets.
#pragma once

#include "format.h"

namespace kolorvane::fuzzing {

// Every name holds valid UTF-8 of at most 255 characters and no zero byte,
// within the palette's text.
inline bool validName(const Palette& palette, NameRef name) {
    if (name.size > kMaxNameBytes || name.at + std::size_t{name.size} > palette.textSize) {
        return false;
    }
    std::size_t characters = 0;
    for (std::size_t i = 0; i < name.size; i++) {
        const auto byte = static_cast<unsigned char>(palette.text[name.at + i]);
        characters += (byte & 0xC0) != 0x80 ? 1 : 0;
        if (byte == 0 || byte == 0xC0 || byte == 0xC1 || byte > 0xF4) {
            return false;
        }
    }
    return characters <= kMaxNameCharacters;
}

}  // namespace kolorvane::fuzzing
