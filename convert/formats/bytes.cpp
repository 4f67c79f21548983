#include "bytes.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace kolorvane::formats {

namespace {

// Each reads `count` bytes at the reader's position, most significant first
// or last, once the caller has checked that they fit.
std::uint32_t bigEndian(const unsigned char* at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; i++) {
        value = (value << 8) | at[i];
    }
    return value;
}

std::uint32_t littleEndian(const unsigned char* at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i > 0; i--) {
        value = (value << 8) | at[i - 1];
    }
    return value;
}

bool take(ByteReader* reader, std::size_t count, bool big, std::uint32_t* value) {
    if (!fits(*reader, count)) {
        return false;
    }
    const unsigned char* at = reader->bytes + reader->position;
    *value = big ? bigEndian(at, count) : littleEndian(at, count);
    reader->position += count;
    return true;
}

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

int hexDigit(unsigned char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    const unsigned char lower = static_cast<unsigned char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

}  // namespace

void putDecimal(ByteWriter* writer, unsigned value, unsigned width) {
    char digits[10] = {};
    unsigned count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (unsigned pad = count; pad < width; pad++) {
        putByte(writer, ' ');
    }
    while (count > 0) {
        putByte(writer, static_cast<unsigned char>(digits[--count]));
    }
}

bool fits(const ByteReader& reader, std::size_t count) {
    return count <= reader.size - reader.position;
}

bool skipBytes(ByteReader* reader, std::size_t count) {
    if (!fits(*reader, count)) {
        return false;
    }
    reader->position += count;
    return true;
}

bool takeU16BE(ByteReader* reader, std::uint32_t* value) { return take(reader, 2, true, value); }
bool takeU32BE(ByteReader* reader, std::uint32_t* value) { return take(reader, 4, true, value); }
bool takeU16LE(ByteReader* reader, std::uint32_t* value) { return take(reader, 2, false, value); }
bool takeU32LE(ByteReader* reader, std::uint32_t* value) { return take(reader, 4, false, value); }

bool takeTag(ByteReader* reader, const char* expected, std::size_t count) {
    if (!fits(*reader, count) ||
        std::memcmp(reader->bytes + reader->position, expected, count) != 0) {
        return false;
    }
    reader->position += count;
    return true;
}

namespace {

std::size_t readFromMemory(void* context, std::uint64_t offset, unsigned char* bytes,
                           std::size_t count) {
    const auto* memory = static_cast<const MemorySource*>(context);
    if (offset >= memory->size) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(offset);
    const std::size_t given = std::min(count, memory->size - at);
    std::memcpy(bytes, memory->bytes + at, given);
    return given;
}

}  // namespace

ByteSource sourceOf(MemorySource* memory) { return {memory, memory->size, readFromMemory}; }

std::size_t pullBytes(SourceCursor* cursor, unsigned char* bytes, std::size_t count) {
    const ByteSource& source = *cursor->source;
    const std::size_t given =
        count == 0 ? 0 : source.readAt(source.context, cursor->position, bytes, count);
    cursor->position += given;
    return given;
}

bool takeBytes(SourceCursor* cursor, unsigned char* bytes, std::size_t count) {
    return pullBytes(cursor, bytes, count) == count;
}

bool skipSource(SourceCursor* cursor, std::uint64_t count) {
    const std::uint64_t size = cursor->source->size;
    if (size != kUnknownSourceSize) {
        const bool within = cursor->position <= size && count <= size - cursor->position;
        cursor->position = within ? cursor->position + count : size;
        return within;
    }
    // Of unknown size: the bytes are read on, and dropped.
    unsigned char dropped[4096];
    while (count > 0) {
        const std::size_t part =
            count < sizeof dropped ? static_cast<std::size_t>(count) : sizeof dropped;
        if (!takeBytes(cursor, dropped, part)) {
            return false;
        }
        count -= part;
    }
    return true;
}

LineReader startLines(const unsigned char* bytes, std::size_t size) {
    const bool bom = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    return {bytes, size, bom ? std::size_t{3} : std::size_t{0}, 0};
}

bool nextLine(LineReader* reader, Line* line) {
    if (reader->position >= reader->size) {
        return false;
    }
    const unsigned char* begin = reader->bytes + reader->position;
    const std::size_t left = reader->size - reader->position;
    const void* found = std::memchr(begin, '\n', left);
    const unsigned char* end =
        found != nullptr ? static_cast<const unsigned char*>(found) : begin + left;
    reader->position += static_cast<std::size_t>(end - begin) + (found != nullptr ? 1 : 0);
    if (end > begin && end[-1] == '\r') {
        end--;
    }
    *line = {begin, end, ++reader->number};
    return true;
}

bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; }

void skipSpaces(Line* line) {
    while (line->begin < line->end && isSpace(*line->begin)) {
        line->begin++;
    }
}

bool isBlank(Line line) {
    skipSpaces(&line);
    return line.begin == line.end;
}

bool startsWith(Line line, const char* prefix) {
    skipSpaces(&line);
    const std::size_t length = std::strlen(prefix);
    return static_cast<std::size_t>(line.end - line.begin) >= length &&
           std::memcmp(line.begin, prefix, length) == 0;
}

bool lineIs(Line line, const char* text) {
    if (!startsWith(line, text)) {
        return false;
    }
    skipSpaces(&line);
    line.begin += std::strlen(text);
    return isBlank(line);
}

ReadError takeNumber(Line* line, unsigned most, unsigned* value) {
    const ReadError malformed = readError(ReadProblem::Malformed, line->number);
    if (line->begin == line->end || !isDigit(*line->begin)) {
        return malformed;
    }
    // Past `most` the digits are still walked, but the value no longer grows.
    unsigned number = 0;
    while (line->begin < line->end && isDigit(*line->begin)) {
        number = number > most ? number : number * 10 + static_cast<unsigned>(*line->begin - '0');
        line->begin++;
    }
    if (line->begin < line->end && !isSpace(*line->begin)) {
        return malformed;
    }
    if (number > most) {
        return readError(ReadProblem::NumberTooLarge, line->number);
    }
    *value = number;
    return kReadOk;
}

ReadError takeChannel(Line* line, unsigned char* value) {
    unsigned number = 0;
    const ReadError error = takeNumber(line, 255, &number);
    *value = static_cast<unsigned char>(number);
    return error;
}

ReadError takeRgb(Line* line, Color* color) {
    skipSpaces(line);
    ReadError error = takeChannel(line, &color->red);
    for (unsigned char* channel : {&color->green, &color->blue}) {
        skipSpaces(line);
        error = refused(error) ? error : takeChannel(line, channel);
    }
    return error;
}

ReadError readHexLine(Line line, std::size_t digits, Color* color) {
    skipSpaces(&line);
    while (line.end > line.begin && isSpace(line.end[-1])) {
        line.end--;
    }
    if (static_cast<std::size_t>(line.end - line.begin) != digits) {
        return readError(ReadProblem::Malformed, line.number);
    }
    unsigned char value[4] = {};
    for (std::size_t i = 0; i < digits / 2; i++) {
        const int high = hexDigit(line.begin[2 * i]);
        const int low = hexDigit(line.begin[2 * i + 1]);
        if (high < 0 || low < 0) {
            return readError(ReadProblem::BadHexDigit, line.number);
        }
        value[i] = static_cast<unsigned char>(high * 16 + low);
    }
    const unsigned char* rgb = value + digits / 2 - 3;
    *color = {rgb[0], rgb[1], rgb[2]};
    return kReadOk;
}

namespace {

// The line without the `mark` a colour may start with ("#RRGGBB"), which
// the digits must follow at once.
ReadError unmarked(Line* line, const char* mark) {
    if (mark == nullptr || !startsWith(*line, mark)) {
        return kReadOk;
    }
    skipSpaces(line);
    line->begin += std::strlen(mark);
    const bool digitFollows = line->begin < line->end && !isSpace(*line->begin);
    return digitFollows ? kReadOk : readError(ReadProblem::Malformed, line->number);
}

}  // namespace

ReadError readHexLines(const unsigned char* bytes, std::size_t size, const HexLines& layout,
                       Palette* palette) {
    LineReader lines = startLines(bytes, size);
    Line line{};
    while (nextLine(&lines, &line)) {
        if (isBlank(line) || (layout.comment != nullptr && startsWith(line, layout.comment))) {
            continue;
        }
        Color color{};
        ReadError error = unmarked(&line, layout.mark);
        error = refused(error) ? error : readHexLine(line, layout.digits, &color);
        error = refused(error) ? error : addColor(palette, color, line.number);
        if (refused(error)) {
            return error;
        }
    }
    return checkCount(palette->count, lines.number);
}

ReadError checkCount(std::size_t count, std::size_t at) {
    if (count == 0) {
        return readError(ReadProblem::NoColors, at);
    }
    return count > kMaxColors ? tooManyColors(at) : kReadOk;
}

ReadError addColor(Palette* palette, Color color, std::size_t at) {
    const std::size_t index = palette->count;
    const ReadError error = resizePalette(palette, index + 1, at);
    if (!refused(error)) {
        palette->colors[index] = color;
    }
    return error;
}

PalettePlanes planesOfPalette(const Palette& palette) {
    PalettePlanes planes{};
    const std::size_t stored = palette.stored < kEntryCount ? palette.stored : kEntryCount;
    for (std::size_t i = 0; i < stored; i++) {
        const Color& color = palette.colors[i];
        const std::size_t j = kEntryCount - 1 - i;
        planes.first[j] = color.red;
        planes.second[j] = color.green;
        planes.third[j] = color.blue;
    }
    return planes;
}

ReadError paletteOfPlanes(const PalettePlanes& planes, Palette* palette) {
    const ReadError error = resizePalette(palette, kEntryCount, 0);
    for (std::size_t i = 0; !refused(error) && i < kEntryCount; i++) {
        const std::size_t j = kEntryCount - 1 - i;
        palette->colors[i] = {planes.first[j], planes.second[j], planes.third[j]};
    }
    return error;
}

ByteWriter startWriting(ByteBuffer* buffer) { return {buffer, 0, false}; }

void setU32BE(ByteWriter* writer, std::size_t at, std::uint32_t value) {
    if (!writer->overflowed && at + 4 <= writer->size) {
        unsigned char* bytes = writer->buffer->bytes + at;
        for (std::size_t i = 0; i < 4; i++) {
            bytes[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
        }
    }
}

void setU32LE(ByteWriter* writer, std::size_t at, std::uint32_t value) {
    setU32BE(writer, at,
             (value & 0xFF) << 24 | (value & 0xFF00) << 8 | (value >> 8 & 0xFF00) | value >> 24);
}

const SourceColor* sourceColorAt(const Palette& palette, std::size_t index, std::size_t* next) {
    while (*next < palette.sourceColorCount && palette.sourceColors[*next].index < index) {
        (*next)++;
    }
    const bool found =
        *next < palette.sourceColorCount && palette.sourceColors[*next].index == index;
    return found ? &palette.sourceColors[*next] : nullptr;
}

std::size_t written(const ByteWriter& writer) { return writer.overflowed ? 0 : writer.size; }

void putByte(ByteWriter* writer, unsigned value) {
    if (writer->size >= writer->buffer->room &&
        (writer->overflowed || !reserveBytes(writer->buffer, writer->size + 1))) {
        writer->overflowed = true;
        return;
    }
    writer->buffer->bytes[writer->size++] = static_cast<unsigned char>(value);
}

void putU16BE(ByteWriter* writer, std::uint32_t value) {
    putByte(writer, (value >> 8) & 0xFF);
    putByte(writer, value & 0xFF);
}

void putU32BE(ByteWriter* writer, std::uint32_t value) {
    putU16BE(writer, value >> 16);
    putU16BE(writer, value & 0xFFFF);
}

void putU16LE(ByteWriter* writer, std::uint32_t value) {
    putByte(writer, value & 0xFF);
    putByte(writer, (value >> 8) & 0xFF);
}

void putU32LE(ByteWriter* writer, std::uint32_t value) {
    putU16LE(writer, value & 0xFFFF);
    putU16LE(writer, value >> 16);
}

void putText(ByteWriter* writer, const char* text) {
    for (const char* c = text; *c != '\0'; c++) {
        putByte(writer, static_cast<unsigned char>(*c));
    }
}

void putHexPair(ByteWriter* writer, unsigned value, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    putByte(writer, static_cast<unsigned char>(digits[(value >> 4) & 0xF]));
    putByte(writer, static_cast<unsigned char>(digits[value & 0xF]));
}

std::size_t entrySize(TableLayout layout) {
    switch (layout) {
        case TableLayout::Bgrx:
            return 4;
        case TableLayout::Xrgb555:
            return 2;
        default:
            return 3;
    }
}

namespace {

Color colorOfEntry(const unsigned char* entry, TableLayout layout) {
    auto byte = [](unsigned value) { return static_cast<unsigned char>(value); };
    switch (layout) {
        case TableLayout::Rgb:
            return {entry[0], entry[1], entry[2]};
        case TableLayout::Xrgb555: {
            const unsigned value = entry[0] | entry[1] << 8;
            return {byte(widen5(value >> 10 & 0x1F)), byte(widen5(value >> 5 & 0x1F)),
                    byte(widen5(value & 0x1F))};
        }
        default:  // Bgr and Bgrx
            return {entry[2], entry[1], entry[0]};
    }
}

}  // namespace

ReadError takeColorTable(const unsigned char* bytes, std::size_t first, std::size_t count,
                         TableLayout layout, Palette* palette) {
    const std::size_t size = entrySize(layout);
    const std::size_t kept = palette->stored < first ? palette->stored : first;
    const ReadError error = resizePalette(palette, kept, 0);
    const ReadError grown = refused(error) ? error : resizePalette(palette, first + count, 0);
    for (std::size_t i = 0; !refused(grown) && i < count; i++) {
        palette->colors[first + i] = colorOfEntry(bytes + i * size, layout);
    }
    return grown;
}

void putColorTable(ByteWriter* writer, const Palette& palette, std::size_t count,
                   TableLayout layout) {
    for (std::size_t i = 0; i < count; i++) {
        const Color color = i < palette.count ? palette.colors[i] : Color{0, 0, 0};
        switch (layout) {
            case TableLayout::Rgb:
                putByte(writer, color.red);
                putByte(writer, color.green);
                putByte(writer, color.blue);
                break;
            case TableLayout::Xrgb555:
                putU16LE(writer,
                         (color.red >> 3) << 10 | (color.green >> 3) << 5 | color.blue >> 3);
                break;
            default:  // Bgr and Bgrx
                putByte(writer, color.blue);
                putByte(writer, color.green);
                putByte(writer, color.red);
                if (layout == TableLayout::Bgrx) {
                    putByte(writer, 0);
                }
        }
    }
}

}  // namespace kolorvane::formats
