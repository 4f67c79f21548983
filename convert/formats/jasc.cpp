// JASC-PAL, Paint Shop Pro's palette: the lines "JASC-PAL", "0100", the
// number of colours, then "R G B" in decimal, a line per colour, CR LF
// line breaks (LF alone is read too). Blank lines are skipped. Read at any
// count; written with 256 colours at most, as Paint Shop Pro's palettes
// stop there.
#include <cstring>

#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr char kSignature[] = "JASC-PAL";
constexpr char kVersion[] = "0100";

// The third line: the number of colours.
ReadError readCount(LineReader* lines, std::size_t* count) {
    Line line{};
    if (!nextLine(lines, &line)) {
        return readError(ReadProblem::NoColors, lines->number);
    }
    skipSpaces(&line);
    unsigned number = 0;
    const ReadError error = takeNumber(&line, kMaxColors, &number);
    if (error.problem == ReadProblem::NumberTooLarge) {
        return tooManyColors(line.number);
    }
    if (refused(error) || !isBlank(line)) {
        return readError(ReadProblem::Malformed, line.number);
    }
    *count = number;
    return checkCount(number, line.number);
}

// A colour line: three numbers and nothing after them.
ReadError readColorLine(Line line, Color* color) {
    const ReadError error = takeRgb(&line, color);
    if (refused(error)) {
        return error;
    }
    return isBlank(line) ? kReadOk : readError(ReadProblem::Malformed, line.number);
}

}  // namespace

bool detectJasc(const unsigned char* bytes, std::size_t size) {
    const std::size_t length = sizeof kSignature - 1;
    return size >= length && std::memcmp(bytes, kSignature, length) == 0;
}

ReadError readJasc(const unsigned char* bytes, std::size_t size, Palette* palette) {
    LineReader lines = startLines(bytes, size);
    Line line{};
    if (!nextLine(&lines, &line) || !lineIs(line, kSignature)) {
        return readError(ReadProblem::NotThisFormat, 1);
    }
    if (!nextLine(&lines, &line) || !lineIs(line, kVersion)) {
        return readError(ReadProblem::BadVersion, 2);
    }
    std::size_t count = 0;
    const ReadError counted = readCount(&lines, &count);
    if (refused(counted)) {
        return counted;
    }
    const std::size_t countLine = lines.number;
    std::size_t read = 0;
    while (nextLine(&lines, &line)) {
        if (isBlank(line)) {
            continue;
        }
        if (read == count) {
            return readError(ReadProblem::CountMismatch, countLine, 0,
                             static_cast<std::uint32_t>(count));
        }
        Color color{};
        ReadError error = readColorLine(line, &color);
        error = refused(error) ? error : addColor(palette, color, line.number);
        if (refused(error)) {
            return error;
        }
        read++;
    }
    if (read != count) {
        return readError(ReadProblem::CountMismatch, countLine, 0,
                         static_cast<std::uint32_t>(count));
    }
    return kReadOk;
}

std::size_t writeJasc(const Palette& palette, ByteBuffer* bytes) {
    ByteWriter writer = startWriting(bytes);
    putText(&writer, "JASC-PAL\r\n0100\r\n");
    putDecimal(&writer, static_cast<unsigned>(palette.count));
    putText(&writer, "\r\n");
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        putDecimal(&writer, color.red);
        putByte(&writer, ' ');
        putDecimal(&writer, color.green);
        putByte(&writer, ' ');
        putDecimal(&writer, color.blue);
        putText(&writer, "\r\n");
    }
    return written(writer);
}

}  // namespace kolorvane::formats
