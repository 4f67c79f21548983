#include "show.h"

#include <cstdio>
#include <cstring>

#include "colour_names.h"
#include "output_paths.h"

namespace kolorvane {

namespace {

constexpr std::size_t kGridColumns = 16;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
constexpr char kReset[] = "\x1B[0m";

// Adds bytes whole or not at all: a line that is full keeps what it has.
bool addBytes(ShowLine* line, const char* bytes, std::size_t size) {
    if (size > kShowLineSize - line->size) {
        return false;
    }
    std::memcpy(line->bytes + line->size, bytes, size);
    line->size += size;
    return true;
}

bool add(ShowLine* line, const char* text) { return addBytes(line, text, std::strlen(text)); }

void addNumber(ShowLine* line, std::size_t value) {
    char digits[24] = {};
    std::size_t first = sizeof digits;
    do {
        digits[--first] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    addBytes(line, digits + first, sizeof digits - first);
}

// "#RRGGBB", upper case.
void addHex(ShowLine* line, const Color& color) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    const unsigned char values[] = {color.red, color.green, color.blue};
    char text[7] = {'#'};
    for (std::size_t i = 0; i < 3; i++) {
        text[1 + 2 * i] = kDigits[values[i] >> 4];
        text[2 + 2 * i] = kDigits[values[i] & 0xF];
    }
    addBytes(line, text, sizeof text);
}

// `width` spaces (at most 4) on the colour's background, then the
// terminal's own colours again.
void addSwatch(ShowLine* line, const Color& color, std::size_t width) {
    add(line, "\x1B[48;2;");
    addNumber(line, color.red);
    add(line, ";");
    addNumber(line, color.green);
    add(line, ";");
    addNumber(line, color.blue);
    add(line, "m");
    addBytes(line, "    ", width);
    add(line, kReset);
}

void addName(ShowLine* line, NameText name) { addShown(line, name.bytes, name.size); }

// "16 colours", "1 colour": the terminal's words for the eye.
void addCount(ShowLine* line, std::size_t count) {
    addNumber(line, count);
    add(line, count == 1 ? " colour" : " colours");
}

// Writes the line and its break: through the host's writeUnicode where it
// has one, else as bytes through the output stream, which keeps any error
// for the end of the run.
void emit(const Host& host, ShowLine* line, Listing* listing) {
    line->bytes[line->size] = '\n';
    const std::size_t size = line->size + 1;
    if (host.writeUnicode != nullptr) {
        listing->lost = !host.writeUnicode(line->bytes, size) || listing->lost;
        return;
    }
    static_cast<void>(std::fwrite(line->bytes, 1, size, host.output));
}

void emitBlank(const Host& host, ShowLine* line, Listing* listing) {
    line->size = 0;
    emit(host, line, listing);
}

}  // namespace

void addShown(ShowLine* line, const char* text, std::size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t at = 0; at < size;) {
        std::uint32_t codePoint = 0;
        const std::size_t length = formats::decodeUtf8(bytes + at, size - at, &codePoint);
        const bool shown = length != 0 && !formats::isControl(codePoint);
        if (!(shown ? addBytes(line, text + at, length) : add(line, kReplacement))) {
            return;
        }
        at += length != 0 ? length : 1;
    }
}

void fileLine(ShowStyle style, const char* file, std::size_t fileSize, const Format& format,
              const Palette& palette, ShowLine* line) {
    line->size = 0;
    const bool named = palette.name.size != 0;
    if (style == ShowStyle::List) {
        add(line, "#\t");
        addShown(line, file, fileSize);
        add(line, "\t");
        add(line, format.title);
        add(line, "\t");
        addNumber(line, palette.count);
        if (named) {
            add(line, "\t");
            addName(line, paletteName(palette));
        }
        return;
    }
    add(line, "\x1B[1m");  // the name in bold
    addShown(line, file, fileSize);
    add(line, kReset);
    add(line, ": ");
    add(line, format.title);
    add(line, ", ");
    addCount(line, palette.count);
    if (named) {
        add(line, ", \"");
        addName(line, paletteName(palette));
        add(line, "\"");
    }
}

void gridLine(const Palette& palette, std::size_t row, ShowLine* line) {
    line->size = 0;
    add(line, "    ");
    const std::size_t end = (row + 1) * kGridColumns;
    for (std::size_t i = row * kGridColumns; i < end && i < palette.count; i++) {
        addSwatch(line, palette.colors[i], 2);
    }
}

void colorLine(ShowStyle style, const Palette& palette, std::size_t index, ShowLine* line) {
    line->size = 0;
    const Color& color = palette.colors[index];
    const NameText name = colorName(palette, index);
    const char* separator = "\t";
    if (style == ShowStyle::Swatches) {
        add(line, index < 10 ? "  " : index < 100 ? " " : "");  // right-aligned
        separator = " ";
    }
    addNumber(line, index);
    add(line, separator);
    if (style == ShowStyle::Swatches) {
        addSwatch(line, color, 4);
        add(line, separator);
    }
    addHex(line, color);
    if (name.size != 0) {
        add(line, separator);
        addName(line, name);
    }
}

Listing startListing(const Host& host) {
    Listing listing = {ShowStyle::List, false, 0, 0, false};
    const bool noColor = host.noColor != nullptr && host.noColor[0] != '\0';
    const bool dumb = host.term != nullptr && std::strcmp(host.term, "dumb") == 0;
    if (!host.interactive || noColor || dumb) {
        return listing;
    }
    if (host.startEscapes != nullptr) {
        listing.escapesStarted = host.startEscapes(&listing.saved);
        if (!listing.escapesStarted) {
            return listing;  // the list alone, as for a file
        }
    }
    listing.style = ShowStyle::Swatches;
    return listing;
}

void listPalette(const Host& host, const char* file, const Format& format, const Palette& palette,
                 Listing* listing) {
    ShowLine line;
    const bool swatches = listing->style == ShowStyle::Swatches;
    if (swatches && listing->palettes > 0) {
        emitBlank(host, &line, listing);
    }
    // On Windows the name is in the ANSI code page, and the listing UTF-8.
    char utf8[4 * kMaxPath];
    const std::size_t length = std::strlen(file);
    const std::size_t size =
        host.nameToUtf8 != nullptr ? host.nameToUtf8(file, length, utf8, sizeof utf8) : 0;
    fileLine(listing->style, size != 0 ? utf8 : file, size != 0 ? size : length, format, palette,
             &line);
    emit(host, &line, listing);
    if (swatches) {
        for (std::size_t row = 0; row * kGridColumns < palette.count; row++) {
            gridLine(palette, row, &line);
            emit(host, &line, listing);
        }
        emitBlank(host, &line, listing);
    }
    for (std::size_t i = 0; i < palette.count; i++) {
        colorLine(listing->style, palette, i, &line);
        emit(host, &line, listing);
    }
    listing->palettes++;
    if (host.interactive) {
        static_cast<void>(std::fflush(host.output));
    }
}

void endListing(const Host& host, const Listing& listing) {
    if (listing.escapesStarted) {
        host.endEscapes(listing.saved);
    }
}

}  // namespace kolorvane
