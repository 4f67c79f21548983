// The palette's memory and the buffers of bytes: each grows, doubling, as
// far as it is asked to and is kept until it is ended, so that a batch of
// small palettes pays for its memory once and a large one pays for its own
// size alone.
#include <cstdlib>
#include <cstring>

#include "format.h"

namespace kolorvane {

namespace {

// The room to grow `room` to for `needed`: twice as much, or as much as is
// needed where that is more.
std::size_t grownRoom(std::size_t room, std::size_t needed, std::size_t least) {
    room = room < least ? least : 2 * room;
    return room < needed ? needed : room;
}

// `*block` grown to `count` items of `size` bytes, keeping what it holds;
// false, the block as it was, when the memory cannot be had.
bool regrow(void** block, std::size_t count, std::size_t size) {
    void* grown = std::realloc(*block, count * size);
    if (grown == nullptr) {
        return false;
    }
    *block = grown;
    return true;
}

bool growColors(Palette* palette, std::size_t count) {
    if (count <= palette->room) {
        return true;
    }
    const std::size_t room = grownRoom(palette->room, count, 256);
    void* colors = palette->colors;
    void* names = palette->colorNames;
    const bool grown =
        regrow(&colors, room, sizeof(Color)) && regrow(&names, room, sizeof(NameRef));
    palette->colors = static_cast<Color*>(colors);
    palette->colorNames = static_cast<NameRef*>(names);
    palette->room = grown ? room : palette->room;
    return grown;
}

}  // namespace

void clearPalette(Palette* palette) {
    palette->count = 0;
    palette->stored = 0;
    palette->name = {0, 0};
    palette->textSize = 0;
    palette->sourceColorCount = 0;
    palette->outOfMemory = false;
}

void endPalette(Palette* palette) {
    std::free(palette->colors);
    std::free(palette->colorNames);
    std::free(palette->text);
    std::free(palette->sourceColors);
    *palette = kEmptyPalette;
}

ReadError resizePalette(Palette* palette, std::size_t count, std::size_t at) {
    if (count > kMaxColors) {
        return tooManyColors(at);
    }
    if (!growColors(palette, count)) {
        return kNoMemory;
    }
    for (std::size_t i = palette->stored; i < count; i++) {
        palette->colors[i] = {0, 0, 0};
        palette->colorNames[i] = {0, 0};
    }
    palette->stored = count;
    palette->count = count;
    return kReadOk;
}

NameText colorName(const Palette& palette, std::size_t index) {
    const NameRef name = index < palette.stored ? palette.colorNames[index] : NameRef{0, 0};
    return {palette.text + name.at, name.size};
}

NameText paletteName(const Palette& palette) {
    return {palette.text + palette.name.at, palette.name.size};
}

bool keepSourceColor(Palette* palette, const SourceColor& color) {
    if (palette->sourceColorCount == palette->sourceColorRoom) {
        const std::size_t room =
            grownRoom(palette->sourceColorRoom, palette->sourceColorCount + 1, 16);
        void* block = palette->sourceColors;
        if (!regrow(&block, room, sizeof(SourceColor))) {
            palette->outOfMemory = true;
            return false;
        }
        palette->sourceColors = static_cast<SourceColor*>(block);
        palette->sourceColorRoom = room;
    }
    palette->sourceColors[palette->sourceColorCount++] = color;
    return true;
}

bool reserveBytes(ByteBuffer* buffer, std::size_t size) {
    if (size <= buffer->room) {
        return true;
    }
    void* bytes = buffer->bytes;
    const std::size_t room = grownRoom(buffer->room, size, 4096);
    if (!regrow(&bytes, room, 1)) {
        return false;
    }
    buffer->bytes = static_cast<unsigned char*>(bytes);
    buffer->room = room;
    return true;
}

void endBytes(ByteBuffer* buffer) {
    std::free(buffer->bytes);
    *buffer = {nullptr, 0};
}

}  // namespace kolorvane
