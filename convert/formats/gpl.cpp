// GIMP's palette: the line "GIMP Palette", then "Name:" and "Columns:"
// lines, "#" comments and blank lines, which are skipped, and a line per
// colour: "R G B" in decimal, optionally followed by the colour's name.
#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

bool isSkipped(const Line& line) {
    return isBlank(line) || startsWith(line, "#") || startsWith(line, "Name:") ||
           startsWith(line, "Columns:");
}

}  // namespace

ReadError readGpl(const unsigned char* bytes, std::size_t size, Palette* palette) {
    LineReader lines = startLines(bytes, size);
    Line line{};
    if (!nextLine(&lines, &line) || !lineIs(line, "GIMP Palette")) {
        return readError(ReadProblem::NotThisFormat, 1);
    }
    std::size_t count = 0;
    while (nextLine(&lines, &line)) {
        if (isSkipped(line)) {
            continue;
        }
        if (count == kEntryCount) {
            return readError(ReadProblem::TooManyColors, line.number);
        }
        // What follows the numbers, after a space, is the colour's name.
        const ReadError error = takeRgb(&line, &palette->colors[count++]);
        if (refused(error)) {
            return error;
        }
    }
    palette->count = count;
    return checkCount(count, lines.number);
}

std::size_t writeGpl(const Palette& palette, EncodedBytes* bytes) {
    ByteWriter writer = startWriting(bytes->data(), bytes->size());
    putText(&writer, "GIMP Palette\nColumns: 16\n#\n");
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        putDecimal(&writer, color.red, 3);
        putByte(&writer, ' ');
        putDecimal(&writer, color.green, 3);
        putByte(&writer, ' ');
        putDecimal(&writer, color.blue, 3);
        putByte(&writer, '\n');
    }
    return written(writer);
}

}  // namespace kolorvane::formats
