// Scribus's swatches (.xml): a SCRIBUSCOLORS element, its Name the
// palette's, holding COLOR elements, each with its NAME and one of: SPACE
// with the values of that space (RGB: R, G and B from 0 to 255; CMYK: C, M,
// Y and K from 0 to 100; Lab: L from 0 to 100, A and B from -128 to 127;
// each missing one 0); CMYK, "#ccmmyykk", each ink a byte of 255ths; RGB,
// "#rrggbb". SPACE wins over the others, as Scribus reads it: some of its
// own files' hex and SPACE values disagree. CMYK and Lab are kept for the
// colour management. Other XML, whatever its root, is not a Scribus file.
//
// Written as Scribus writes it: an RGB colour as RGB; one read as CMYK or
// Lab in its own space, its SPACE values to six decimals, with CMYK's hex,
// or the colour in sRGB, for older Scribus. Scribus keys its colours by
// name, so each is written with a name of its own: its name, or its
// "#rrggbb" where it has none, with " N" after it (N the colour's number,
// from 1) where that is taken. The spot and registration flags are not
// kept.
#include <cmath>
#include <cstring>

#include <pugixml.hpp>

#include "bytes.h"
#include "colour_names.h"
#include "documents.h"
#include "markup.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr XmlLimits kLimits = {kMaxSourceSize, 8};
constexpr unsigned kDecimals = 6;

// A SPACE attribute's values: their names, and the range each must be in.
struct SpaceLayout {
    const char* space;
    ColorSpace kept;
    const char* names[4];
    std::size_t count;
    double least;
    double most;
};

constexpr SpaceLayout kSpaces[] = {
    {"RGB", ColorSpace::Other, {"R", "G", "B", nullptr}, 3, 0.0, 255.0},
    {"CMYK", ColorSpace::Cmyk, {"C", "M", "Y", "K"}, 4, 0.0, 100.0},
    {"Lab", ColorSpace::Lab, {"L", "A", "B", nullptr}, 3, -128.0, 127.0},
};

// A colour read: RGB, or a swatch kept in its space.
struct Swatch {
    Color rgb;
    bool kept;
    SourceColor source;
};

// The values of a SPACE colour of `layout`.
ReadError readSpace(const pugi::xml_node& element, const SpaceLayout& layout, std::size_t number,
                    Swatch* swatch) {
    double values[4] = {};
    for (std::size_t i = 0; i < layout.count; i++) {
        const pugi::xml_attribute attribute = element.attribute(layout.names[i]);
        if (attribute && !parseDecimal(attribute.value(), &values[i])) {
            return readError(ReadProblem::Malformed, 0, number);
        }
        const bool lightness = layout.kept == ColorSpace::Lab && i == 0;
        if (values[i] < (lightness ? 0.0 : layout.least) ||
            values[i] > (lightness ? 100.0 : layout.most)) {
            const auto space =
                layout.kept == ColorSpace::Other ? 0U : static_cast<unsigned>(layout.kept);
            return readError(ReadProblem::OutOfRange, 0, number, space);
        }
    }
    swatch->kept = layout.kept != ColorSpace::Other;
    swatch->source = {0, layout.kept, {values[0], values[1], values[2], values[3]}};
    const auto level = [&values](std::size_t i) {
        return static_cast<unsigned char>(std::lround(values[i]));
    };
    swatch->rgb = swatch->kept ? Color{0, 0, 0} : Color{level(0), level(1), level(2)};
    return kReadOk;
}

// A COLOR element's colour, by SPACE, else CMYK, else RGB.
ReadError readSwatch(const pugi::xml_node& element, std::size_t number, Swatch* swatch) {
    const pugi::xml_attribute space = element.attribute("SPACE");
    if (space) {
        for (const SpaceLayout& layout : kSpaces) {
            if (std::strcmp(space.value(), layout.space) == 0) {
                return readSpace(element, layout, number, swatch);
            }
        }
        return readError(ReadProblem::UnsupportedSpace, 0, number,
                         static_cast<std::uint32_t>(ColorSpace::Other));
    }
    unsigned char bytes[4] = {};
    const pugi::xml_attribute cmyk = element.attribute("CMYK");
    if (cmyk && parseHexBytes(cmyk.value(), 8, bytes)) {
        swatch->kept = true;
        swatch->source = {0, ColorSpace::Cmyk, {}};
        for (std::size_t i = 0; i < 4; i++) {
            swatch->source.values[i] = bytes[i] / 2.55;
        }
        return kReadOk;
    }
    if (cmyk || !parseHexBytes(element.attribute("RGB").value(), 6, bytes)) {
        return readError(ReadProblem::Malformed, 0, number);
    }
    swatch->rgb = {bytes[0], bytes[1], bytes[2]};
    return kReadOk;
}

ReadError readColor(const pugi::xml_node& element, Palette* palette) {
    const std::size_t index = palette->count;
    Swatch swatch = {};
    ReadError error = readSwatch(element, index + 1, &swatch);
    if (!refused(error)) {
        error = addColor(palette, swatch.rgb, 0);
    }
    if (refused(error)) {
        return error;
    }
    swatch.source.index = index;
    if (swatch.kept) {
        keepSourceColor(palette, swatch.source);
    }
    const char* name = element.attribute("NAME").value();
    palette->colorNames[index] =
        nameFromText(palette, reinterpret_cast<const unsigned char*>(name), std::strlen(name));
    return kReadOk;
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

void putHex(ByteWriter* writer, const unsigned char* bytes, std::size_t count) {
    putByte(writer, '#');
    for (std::size_t i = 0; i < count; i++) {
        putHexPair(writer, bytes[i], false);
    }
}

// A colour's space and values: those it was read in where it was CMYK or
// Lab, else RGB.
void putValues(ByteWriter* writer, const Color& color, const SourceColor* source) {
    if (source == nullptr) {
        const unsigned char rgb[3] = {color.red, color.green, color.blue};
        putText(writer, " RGB=\"");
        putHex(writer, rgb, 3);
        putText(writer, "\"/>\n");
        return;
    }
    const SpaceLayout& layout = kSpaces[source->space == ColorSpace::Cmyk ? 1 : 2];
    putText(writer, " SPACE=\"");
    putText(writer, layout.space);
    putText(writer, "\"");
    for (std::size_t i = 0; i < layout.count; i++) {
        putText(writer, " ");
        putText(writer, layout.names[i]);
        putText(writer, "=\"");
        putFixed(writer, source->values[i], kDecimals);
        putText(writer, "\"");
    }
    unsigned char hex[4] = {color.red, color.green, color.blue, 0};
    for (std::size_t i = 0; i < 4 && source->space == ColorSpace::Cmyk; i++) {
        hex[i] = static_cast<unsigned char>(std::lround(source->values[i] * 2.55));
    }
    putText(writer, source->space == ColorSpace::Cmyk ? " CMYK=\"" : " RGB=\"");
    putHex(writer, hex, source->space == ColorSpace::Cmyk ? 4 : 3);
    putText(writer, "\"/>\n");
}

}  // namespace

ReadError readScribus(const unsigned char* bytes, std::size_t size, Palette* palette) {
    const auto* text = reinterpret_cast<const char*>(bytes);
    pugi::xml_document document;
    const ReadError parsed = parseXml(text, size, kLimits, &document);
    if (refused(parsed)) {
        return parsed;
    }
    const pugi::xml_node root = document.document_element();
    if (std::strcmp(root.name(), "SCRIBUSCOLORS") != 0) {
        return readError(ReadProblem::NotThisFormat);
    }
    const char* name = root.attribute("Name").value();
    palette->name =
        nameFromText(palette, reinterpret_cast<const unsigned char*>(name), std::strlen(name));
    return readColorElements(root, "COLOR", text, size, readColor, palette);
}

std::size_t writeScribus(const Palette& palette, ByteBuffer* bytes) {
    UniqueNames taken = {};
    if (!startUniqueNames(palette.count, &taken)) {
        return 0;
    }
    ByteWriter writer = startWriting(bytes);
    const NameText name = paletteName(palette);
    putText(&writer, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SCRIBUSCOLORS Name=\"");
    putXmlText(&writer, name.bytes, name.size);
    putText(&writer, "\">\n");
    std::size_t next = 0;
    for (std::size_t i = 0; i < palette.count; i++) {
        NameDraft own;  // NOLINT(cppcoreguidelines-pro-type-member-init): its size says
        draftOf(colorName(palette, i), &own);
        if (own.size == 0) {
            hexName(palette.colors[i], &own);
        }
        giveUniqueName(&taken, " ", i + 1, &own);
        putText(&writer, " <COLOR NAME=\"");
        putXmlText(&writer, own.bytes, own.size);
        putText(&writer, "\"");
        putValues(&writer, palette.colors[i], sourceColorAt(palette, i, &next));
    }
    putText(&writer, "</SCRIBUSCOLORS>\n");
    endUniqueNames(&taken);
    return written(writer);
}

}  // namespace kolorvane::formats
