#include "colour_names.h"

#include <cstdint>
#include <cstdlib>

namespace kolorvane::formats {

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

// A name being filled at the end of the palette's text, with its count of
// characters, so that the limit is kept without counting them again for
// each one. The room for its bytes is had before the first.
struct NameBuilder {
    Palette* palette;
    NameRef name;
    std::size_t characters;
    std::size_t room;  // bytes it may still take
};

// Room for a name of up to `most` bytes; a builder that takes nothing when
// the memory cannot be had.
NameBuilder startName(Palette* palette, std::size_t most) {
    most = most < kMaxNameBytes ? most : kMaxNameBytes;
    const std::size_t needed = palette->textSize + most;
    if (needed > palette->textRoom) {
        std::size_t room = palette->textRoom < 4096 ? 4096 : palette->textRoom;
        while (room < needed) {
            room *= 2;
        }
        void* text = std::realloc(palette->text, room);
        if (text == nullptr) {
            palette->outOfMemory = true;
            return {palette, {0, 0}, 0, 0};
        }
        palette->text = static_cast<char*>(text);
        palette->textRoom = room;
    }
    return {palette, {static_cast<std::uint32_t>(palette->textSize), 0}, 0, most};
}

// The name built, its bytes kept in the text.
NameRef endName(const NameBuilder& builder) {
    builder.palette->textSize += builder.name.size;
    return builder.name.size == 0 ? NameRef{0, 0} : builder.name;
}

// Adds one code point, as UTF-8; false once the name is full.
bool append(NameBuilder* builder, std::uint32_t codePoint) {
    const std::size_t length = codePoint < 0x80      ? 1
                               : codePoint < 0x800   ? 2
                               : codePoint < 0x10000 ? 3
                                                     : 4;
    if (builder->characters == kMaxNameCharacters || length > builder->room) {
        return false;
    }
    char* bytes = builder->palette->text + builder->name.at + builder->name.size;
    constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (std::size_t i = length; i > 1; i--) {
        bytes[i - 1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        codePoint >>= 6;
    }
    bytes[0] = static_cast<char>(length == 1 ? codePoint : kLead[length] | codePoint);
    builder->name.size += static_cast<std::uint32_t>(length);
    builder->room -= length;
    builder->characters++;
    return true;
}

// The bytes before the first zero byte.
std::size_t beforeZero(const unsigned char* bytes, std::size_t size) {
    std::size_t length = 0;
    while (length < size && bytes[length] != 0) {
        length++;
    }
    return length;
}

bool isUtf8(const unsigned char* bytes, std::size_t size) {
    std::uint32_t ignored = 0;
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = decodeUtf8(bytes + at, size - at, &ignored);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

// The code point at `*at` of a name, whose UTF-8 is valid, and past it.
std::uint32_t nextCodePoint(NameText name, std::size_t* at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(name.bytes);
    std::uint32_t codePoint = 0;
    *at += decodeUtf8(bytes + *at, name.size - *at, &codePoint);
    return codePoint;
}

std::uint32_t unitAt(const unsigned char* bytes, std::size_t i) {
    return static_cast<std::uint32_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
}

// What the line's reader trims: a space, or what is written as one.
bool isBlankCharacter(std::uint32_t codePoint) { return codePoint == ' ' || isControl(codePoint); }

}  // namespace

bool isControl(std::uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

std::size_t decodeUtf8(const unsigned char* bytes, std::size_t left, std::uint32_t* codePoint) {
    const unsigned char lead = bytes[0];
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xC0 ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF8 ? 4
                                             : 0;
    if (length == 0 || length > left) {
        return 0;
    }
    constexpr std::uint32_t kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    std::uint32_t value = lead & kLeadBits[length];
    for (std::size_t i = 1; i < length; i++) {
        if ((bytes[i] & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (bytes[i] & 0x3F);
    }
    if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *codePoint = value;
    return length;
}

NameRef nameFromText(Palette* palette, const unsigned char* bytes, std::size_t size) {
    size = beforeZero(bytes, size);
    const bool utf8 = isUtf8(bytes, size);
    // UTF-8 as it is, or each byte of ISO 8859-1 in two at most.
    NameBuilder builder = startName(palette, utf8 ? size : 2 * size);
    std::uint32_t codePoint = 0;
    for (std::size_t at = 0; at < size;) {
        // ISO 8859-1 gives each byte the code point of its value.
        const std::size_t length = utf8 ? decodeUtf8(bytes + at, size - at, &codePoint) : 1;
        if (!append(&builder, utf8 ? codePoint : bytes[at])) {
            break;
        }
        at += length;
    }
    return endName(builder);
}

NameRef nameFromUtf16(Palette* palette, const unsigned char* bytes, std::size_t units) {
    // Three bytes a unit at most: a pair of them is one four-byte character.
    NameBuilder builder = startName(palette, 3 * units);
    for (std::size_t i = 0; i < units; i++) {
        std::uint32_t unit = unitAt(bytes, i);
        if (unit == 0) {
            break;
        }
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const std::uint32_t next = i + 1 < units ? unitAt(bytes, i + 1) : 0;
        if (high && next >= 0xDC00 && next <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
            i++;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = kReplacement;
        }
        if (!append(&builder, unit)) {
            break;
        }
    }
    return endName(builder);
}

std::size_t utf16Units(NameText name) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < name.size;) {
        units += nextCodePoint(name, &at) >= 0x10000 ? 2 : 1;
    }
    return units;
}

void putUtf16(ByteWriter* writer, NameText name) {
    for (std::size_t at = 0; at < name.size;) {
        const std::uint32_t codePoint = nextCodePoint(name, &at);
        if (codePoint >= 0x10000) {
            putU16BE(writer, 0xD800 + ((codePoint - 0x10000) >> 10));
            putU16BE(writer, 0xDC00 + ((codePoint - 0x10000) & 0x3FF));
        } else {
            putU16BE(writer, codePoint);
        }
    }
    putU16BE(writer, 0);
}

void putOnOneLine(ByteWriter* writer, NameText name) {
    // Spaces at either end are left out: a reader of the line takes them
    // for the space around the name, and GIMP would keep them.
    std::size_t begin = 0;
    std::size_t end = 0;
    for (std::size_t at = 0; at < name.size;) {
        const std::size_t from = at;
        if (!isBlankCharacter(nextCodePoint(name, &at))) {
            begin = end == 0 ? from : begin;
            end = at;
        }
    }
    for (std::size_t at = begin; at < end;) {
        const std::size_t from = at;
        if (isControl(nextCodePoint(name, &at))) {
            putByte(writer, ' ');
            continue;
        }
        for (std::size_t i = from; i < at; i++) {
            putByte(writer, static_cast<unsigned char>(name.bytes[i]));
        }
    }
}

NameRef nameOf(Palette* palette, const char* text) {
    std::size_t size = 0;
    while (text[size] != '\0') {
        size++;
    }
    return nameFromText(palette, reinterpret_cast<const unsigned char*>(text), size);
}

}  // namespace kolorvane::formats
