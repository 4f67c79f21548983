// The growing palette's calls over the fixed palette of 256 colours, for
// the formats written for it, until it lands; then this goes.
#pragma once

#include "bytes.h"
#include "format.h"
#include "names.h"

namespace kolorvane {

using ByteBuffer = EncodedBytes;
using NameRef = Name;

struct NameText {
    const char* bytes;
    std::size_t size;
};

inline NameText colorName(const Palette& palette, std::size_t index) {
    return {palette.colorNames[index].bytes.data(), palette.colorNames[index].size};
}

inline NameText paletteName(const Palette& palette) {
    return {palette.name.bytes.data(), palette.name.size};
}

inline bool keepSourceColor(Palette* palette, const SourceColor& color) {
    if (palette->sourceColorCount == kEntryCount) {
        return false;
    }
    palette->sourceColors[palette->sourceColorCount++] = color;
    return true;
}

}  // namespace kolorvane

namespace kolorvane::formats {

inline ByteWriter startWriting(ByteBuffer* buffer) {
    return startWriting(buffer->data(), buffer->size());
}

inline ReadError addColor(Palette* palette, Color color, std::size_t at) {
    if (palette->count == kEntryCount) {
        return readError(ReadProblem::TooManyColors, at);
    }
    palette->colors[palette->count++] = color;
    return kReadOk;
}

inline Name nameFromText(Palette* /*palette*/, const unsigned char* bytes, std::size_t size) {
    Name name;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    nameFromText(bytes, size, &name);
    return name;
}

inline Name nameFromUtf16(Palette* /*palette*/, const unsigned char* bytes, std::size_t units) {
    Name name;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    nameFromUtf16(bytes, units, &name);
    return name;
}

}  // namespace kolorvane::formats
