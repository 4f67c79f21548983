// GIMP's palette: the line "GIMP Palette", then "Name:" (the palette's name)
// and "Columns:" lines, "#" comments and blank lines, then a line per
// colour: "R G B" in decimal, optionally followed by the colour's name.
// Aseprite adds the line "Channels: RGBA" when a fourth number, alpha, stands
// before each name; alpha is read and dropped. Written as GIMP writes it,
// "Name:" before "Columns:", as GIMP reads a "Columns:" line that comes
// first as a colour, and Krita refuses the file.
#include "bytes.h"
#include "colour_names.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

// The text after `prefix` on a line that starts with it, spaces trimmed.
Line valueAfter(Line line, const char* prefix) {
    skipSpaces(&line);
    while (*prefix != '\0') {
        line.begin++;
        prefix++;
    }
    skipSpaces(&line);
    while (line.end > line.begin && isSpace(line.end[-1])) {
        line.end--;
    }
    return line;
}

std::size_t lengthOf(const Line& line) { return static_cast<std::size_t>(line.end - line.begin); }

// What the lines before the colours say of them.
struct Header {
    bool alpha;  // "Channels: RGBA": four numbers a colour
    bool named;  // a "Name:" line was read; a later one is skipped
};

// A line that is not a colour: the palette's name, the channels, columns, a
// comment or a blank line. Refuses channels other than RGBA, or channels
// declared after the first colour, which would change how those were read.
bool readHeaderLine(const Line& line, std::size_t colors, Header* header, Palette* palette,
                    ReadError* error) {
    if (startsWith(line, "Channels:")) {
        const Line value = valueAfter(line, "Channels:");
        const bool rgba = lengthOf(value) == 4 && startsWith(value, "RGBA");
        *error = rgba && colors == 0 ? kReadOk : readError(ReadProblem::BadChannels, line.number);
        header->alpha = true;
        return true;
    }
    if (startsWith(line, "Name:")) {
        const Line value = valueAfter(line, "Name:");
        if (!header->named) {
            palette->name = nameFromText(palette, value.begin, lengthOf(value));
        }
        header->named = true;
        return true;
    }
    return isBlank(line) || startsWith(line, "#") || startsWith(line, "Columns:");
}

// A colour line: "R G B", or "R G B A" after "Channels: RGBA", then its name.
ReadError readColorLine(Line line, bool alpha, Palette* palette) {
    Color* color = &palette->colors[palette->count - 1];
    ReadError error = takeRgb(&line, color);
    if (!refused(error) && alpha) {
        unsigned char ignored = 0;
        skipSpaces(&line);
        error = takeChannel(&line, &ignored);
    }
    if (!refused(error)) {
        const Line value = valueAfter(line, "");
        palette->colorNames[palette->count - 1] =
            nameFromText(palette, value.begin, lengthOf(value));
    }
    return error;
}

void putColorLine(ByteWriter* writer, const Color& color, NameText name) {
    putDecimal(writer, color.red, 3);
    putByte(writer, ' ');
    putDecimal(writer, color.green, 3);
    putByte(writer, ' ');
    putDecimal(writer, color.blue, 3);
    putByte(writer, '\t');
    const std::size_t nameAt = writer->size;
    putOnOneLine(writer, name);
    if (writer->size == nameAt && !writer->overflowed) {
        writer->size--;  // no name, or spaces alone: no tab either
    }
    putByte(writer, '\n');
}

}  // namespace

ReadError readGpl(const unsigned char* bytes, std::size_t size, Palette* palette) {
    LineReader lines = startLines(bytes, size);
    Line line{};
    if (!nextLine(&lines, &line) || !lineIs(line, "GIMP Palette")) {
        return readError(ReadProblem::NotThisFormat, 1);
    }
    Header header = {false, false};
    while (nextLine(&lines, &line)) {
        ReadError error = kReadOk;
        if (readHeaderLine(line, palette->count, &header, palette, &error)) {
            if (refused(error)) {
                return error;
            }
            continue;
        }
        error = addColor(palette, Color{}, line.number);
        error = refused(error) ? error : readColorLine(line, header.alpha, palette);
        if (refused(error)) {
            return error;
        }
    }
    return checkCount(palette->count, lines.number);
}

std::size_t writeGpl(const Palette& palette, ByteBuffer* bytes) {
    ByteWriter writer = startWriting(bytes);
    putText(&writer, "GIMP Palette\nName: ");
    putOnOneLine(&writer, paletteName(palette));
    putText(&writer, "\nColumns: 16\n#\n");
    for (std::size_t i = 0; i < palette.count; i++) {
        putColorLine(&writer, palette.colors[i], colorName(palette, i));
    }
    return written(writer);
}

}  // namespace kolorvane::formats
