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
#include "bytes.h"
#include "markup.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

bool keeps(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
}

// The name as an identifier: empty when nothing of it is kept.
void identifierOf(NameText name, NameDraft* draft) {
    draft->size = 0;
    bool dash = false;
    for (std::size_t i = 0; i < name.size; i++) {
        auto c = static_cast<unsigned char>(name.bytes[i]);
        c = c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
        if (!keeps(c)) {
            dash = draft->size != 0;
            continue;
        }
        if (dash) {
            draft->bytes[draft->size++] = '-';
            dash = false;
        }
        draft->bytes[draft->size++] = static_cast<char>(c);
    }
}

// Colour `number`'s property name, free till now.
void nameProperty(NameText name, std::size_t number, UniqueNames* taken, NameDraft* draft) {
    identifierOf(name, draft);
    if (draft->size == 0) {
        appendText(draft, "color-");
        appendNumber(draft, number);
    }
    giveUniqueName(taken, "-", number, draft);
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
    UniqueNames taken = {};
    if (!startUniqueNames(palette.count, &taken)) {
        return 0;
    }
    ByteWriter writer = startWriting(bytes);
    putText(&writer, "@charset \"UTF-8\";\n");
    if (paletteName(palette).size != 0) {
        putComment(&writer, paletteName(palette));
    }
    putText(&writer, ":root {\n");
    for (std::size_t i = 0; i < palette.count; i++) {
        NameDraft property;  // NOLINT(cppcoreguidelines-pro-type-member-init): its size says
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
    endUniqueNames(&taken);
    return written(writer);
}

}  // namespace kolorvane::formats
