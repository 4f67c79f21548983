// A colour per line as six hexadecimal digits, RRGGBB (either case, read;
// lower case, written), or #RRGGBB, as Aseprite can save them. Blank lines
// are skipped; any other line that starts with "#" is refused.
#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

ReadError readHex(const unsigned char* bytes, std::size_t size, Palette* palette) {
    return readHexLines(bytes, size, {6, nullptr, "#"}, palette);
}

std::size_t writeHex(const Palette& palette, ByteBuffer* bytes) {
    ByteWriter writer = startWriting(bytes);
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        putHexPair(&writer, color.red, false);
        putHexPair(&writer, color.green, false);
        putHexPair(&writer, color.blue, false);
        putByte(&writer, '\n');
    }
    return written(writer);
}

}  // namespace kolorvane::formats
