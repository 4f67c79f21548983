// Paint.NET's palette (.txt): ";" comment lines, then a colour per line as
// eight hexadecimal digits, AARRGGBB. Alpha is read and dropped, and
// written as FF. Blank lines are skipped.
#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

ReadError readPaintNet(const unsigned char* bytes, std::size_t size, Palette* palette) {
    return readHexLines(bytes, size, {8, ";", nullptr}, palette);
}

std::size_t writePaintNet(const Palette& palette, ByteBuffer* bytes) {
    ByteWriter writer = startWriting(bytes);
    putText(&writer,
            "; Paint.NET palette, written by Kolorvane\r\n"
            "; One colour per line: AARRGGBB, alpha, red, green, blue\r\n");
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        putText(&writer, "FF");
        putHexPair(&writer, color.red, true);
        putHexPair(&writer, color.green, true);
        putHexPair(&writer, color.blue, true);
        putText(&writer, "\r\n");
    }
    return written(writer);
}

}  // namespace kolorvane::formats
