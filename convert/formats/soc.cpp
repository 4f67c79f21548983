// LibreOffice's colour palettes (.soc): XML, a color-table element
// (office:color-table, as older palettes have it, or ooo:color-table) whose
// draw:color elements each give a colour's draw:name and its draw:color,
// "#rrggbb". Prefixes are read as LibreOffice's own palettes spell them.
// Every colour is read, in order, one without a name too. LibreOffice skips
// a colour without a name and lets a repeated name replace the one before,
// so each colour is written with a name of its own: its name, or its
// "#rrggbb" where it has none, with " N" after it (N the colour's number,
// from 1) where that is taken. The palette's name is not kept.
#include <cstring>

#include <pugixml.hpp>

#include "bytes.h"
#include "colour_names.h"
#include "documents.h"
#include "markup.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

// LibreOffice's palettes are a few levels deep: the table and its colours.
constexpr XmlLimits kLimits = {kMaxSourceSize, 8};

bool isColorTable(const pugi::xml_node& root) {
    const pugi::char_t* name = root.name();
    return std::strcmp(name, "office:color-table") == 0 ||
           std::strcmp(name, "ooo:color-table") == 0;
}

// The colour of a draw:color element, into the palette.
ReadError readColor(const pugi::xml_node& element, Palette* palette) {
    unsigned char rgb[3] = {};
    if (!parseHexBytes(element.attribute("draw:color").value(), 6, rgb)) {
        return readError(ReadProblem::Malformed, 0, palette->count + 1);
    }
    const ReadError added = addColor(palette, {rgb[0], rgb[1], rgb[2]}, 0);
    if (refused(added)) {
        return added;
    }
    const char* name = element.attribute("draw:name").value();
    palette->colorNames[palette->count - 1] =
        nameFromText(palette, reinterpret_cast<const unsigned char*>(name), std::strlen(name));
    return kReadOk;
}

void putHexColor(ByteWriter* writer, const Color& color) {
    putByte(writer, '#');
    putHexPair(writer, color.red, false);
    putHexPair(writer, color.green, false);
    putHexPair(writer, color.blue, false);
}

// "#rrggbb", the name of a colour without one.
void hexName(const Color& color, NameDraft* name) {
    constexpr char kDigits[] = "0123456789abcdef";
    name->size = 0;
    name->bytes[name->size++] = '#';
    for (const unsigned channel : {color.red, color.green, color.blue}) {
        name->bytes[name->size++] = kDigits[channel >> 4];
        name->bytes[name->size++] = kDigits[channel & 0xF];
    }
}

}  // namespace

ReadError readSoc(const unsigned char* bytes, std::size_t size, Palette* palette) {
    const auto* text = reinterpret_cast<const char*>(bytes);
    pugi::xml_document document;
    const ReadError parsed = parseXml(text, size, kLimits, &document);
    if (refused(parsed)) {
        return parsed;
    }
    const pugi::xml_node table = document.document_element();
    if (!isColorTable(table)) {
        return readError(ReadProblem::NotThisFormat);
    }
    return readColorElements(table, "draw:color", text, size, readColor, palette);
}

std::size_t writeSoc(const Palette& palette, ByteBuffer* bytes) {
    UniqueNames taken = {};
    if (!startUniqueNames(palette.count, &taken)) {
        return 0;
    }
    ByteWriter writer = startWriting(bytes);
    putText(&writer,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<ooo:color-table "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
            "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
            "xmlns:svg=\"http://www.w3.org/2000/svg\" "
            "xmlns:ooo=\"http://openoffice.org/2004/office\">\n");
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        NameDraft name;  // NOLINT(cppcoreguidelines-pro-type-member-init): its size says
        draftOf(colorName(palette, i), &name);
        if (name.size == 0) {
            hexName(color, &name);
        }
        giveUniqueName(&taken, " ", i + 1, &name);
        putText(&writer, "  <draw:color draw:name=\"");
        putXmlText(&writer, name.bytes, name.size);
        putText(&writer, "\" draw:color=\"");
        putHexColor(&writer, color);
        putText(&writer, "\"/>\n");
    }
    putText(&writer, "</ooo:color-table>\n");
    endUniqueNames(&taken);
    return written(writer);
}

}  // namespace kolorvane::formats
