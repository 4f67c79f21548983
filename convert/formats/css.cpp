// CSS custom properties (.css), written only: "@charset", so that a page
// of any encoding reads the names as UTF-8, a comment giving the palette's
// name, then a :root rule of one property a line,
// "--name: #rrggbb;", in the colours' order. A property's name is the
// colour's made an identifier: ASCII letters in lower case, digits, "_" and
// every character past ASCII kept, each other run of characters one "-",
// none at either end; "color-N" (N the colour's number, from 1) for a colour
// without a name or with none of those characters. A name taken already
// gets "-N", then "-N-2", "-N-3" and so on until it is free, so that every
// property is its own colour.
#include <cstdlib>

#include "bytes.h"
#include "model_bridge.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

// Room for the longest name made an identifier, and the numbers after it.
constexpr std::size_t kLongestProperty = kMaxNameBytes + 32;

// The properties written so far, by the hash of their names: a hash met
// again is taken for the same name, which at worst numbers a name that
// needed no number.
struct Taken {
    std::uint64_t* slots;
    std::size_t mask;
};

Taken startTaken(std::size_t count) {
    std::size_t size = 16;
    while (size < 2 * count) {
        size *= 2;
    }
    return {static_cast<std::uint64_t*>(std::calloc(size, sizeof(std::uint64_t))), size - 1};
}

// FNV-1a, never 0, which marks a free slot.
std::uint64_t hashOf(const char* bytes, std::size_t size) {
    std::uint64_t hash = 0xCBF29CE484222325U;
    for (std::size_t i = 0; i < size; i++) {
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3U;
    }
    return hash == 0 ? 1 : hash;
}

// Takes the name; false when it was taken already.
bool take(Taken* taken, const char* bytes, std::size_t size) {
    const std::uint64_t hash = hashOf(bytes, size);
    for (std::size_t slot = hash & taken->mask;; slot = (slot + 1) & taken->mask) {
        if (taken->slots[slot] == hash) {
            return false;
        }
        if (taken->slots[slot] == 0) {
            taken->slots[slot] = hash;
            return true;
        }
    }
}

struct Property {
    char bytes[kLongestProperty];
    std::size_t size;
};

bool keeps(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
}

void append(Property* property, const char* text) {
    for (const char* c = text; *c != '\0'; c++) {
        property->bytes[property->size++] = *c;
    }
}

void appendNumber(Property* property, std::size_t value) {
    char digits[24] = {};
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        property->bytes[property->size++] = digits[--count];
    }
}

// The name as an identifier: empty when nothing of it is kept.
void identifierOf(NameText name, Property* property) {
    property->size = 0;
    bool dash = false;
    for (std::size_t i = 0; i < name.size; i++) {
        auto c = static_cast<unsigned char>(name.bytes[i]);
        c = c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
        if (!keeps(c)) {
            dash = property->size != 0;
            continue;
        }
        if (dash) {
            property->bytes[property->size++] = '-';
            dash = false;
        }
        property->bytes[property->size++] = static_cast<char>(c);
    }
}

// Colour `number`'s property name, free till now, into `property`.
void nameProperty(NameText name, std::size_t number, Taken* taken, Property* property) {
    identifierOf(name, property);
    if (property->size == 0) {
        append(property, "color-");
        appendNumber(property, number);
    }
    if (take(taken, property->bytes, property->size)) {
        return;
    }
    append(property, "-");
    appendNumber(property, number);
    const std::size_t numbered = property->size;
    for (std::size_t again = 2; !take(taken, property->bytes, property->size); again++) {
        property->size = numbered;
        append(property, "-");
        appendNumber(property, again);
    }
}

// The palette's name in a comment on one line: each control character a
// space, and "*/", which would end the comment, split by one.
void putComment(ByteWriter* writer, NameText name) {
    putText(writer, "/* ");
    for (std::size_t i = 0; i < name.size; i++) {
        const auto c = static_cast<unsigned char>(name.bytes[i]);
        putByte(writer, c < 0x20 || c == 0x7F ? ' ' : c);
        if (c == '*' && i + 1 < name.size && name.bytes[i + 1] == '/') {
            putByte(writer, ' ');
        }
    }
    putText(writer, " */\n");
}

}  // namespace

std::size_t writeCss(const Palette& palette, ByteBuffer* bytes) {
    Taken taken = startTaken(palette.count);
    if (taken.slots == nullptr) {
        return 0;
    }
    ByteWriter writer = startWriting(bytes);
    putText(&writer, "@charset \"UTF-8\";\n");
    if (paletteName(palette).size != 0) {
        putComment(&writer, paletteName(palette));
    }
    putText(&writer, ":root {\n");
    for (std::size_t i = 0; i < palette.count; i++) {
        Property property;  // NOLINT(cppcoreguidelines-pro-type-member-init): its size says
        nameProperty(colorName(palette, i), i + 1, &taken, &property);
        putText(&writer, "  --");
        for (std::size_t c = 0; c < property.size; c++) {
            putByte(&writer, static_cast<unsigned char>(property.bytes[c]));
        }
        const Color& color = palette.colors[i];
        putText(&writer, ": #");
        putHexPair(&writer, color.red, false);
        putHexPair(&writer, color.green, false);
        putHexPair(&writer, color.blue, false);
        putText(&writer, ";\n");
    }
    putText(&writer, "}\n");
    std::free(taken.slots);
    return written(writer);
}

}  // namespace kolorvane::formats
