// EDGE PAL: "EDGE PAL" 00 00, then 256 entries of red, green and blue, entry
// j holding colour 255 - j. Read and written by the same code as the
// window's conversion, so that the two never differ: a short source reads as
// if padded with zeros, bytes past 778 are ignored, the header's letters may
// be in either case and are written in upper case.
#include <algorithm>

#include "bytes.h"
#include "readers.h"

namespace kolorvane::formats {

bool detectEdge(const unsigned char* bytes, std::size_t size) {
    std::array<unsigned char, kEdgePalHeaderSize> header{};
    std::copy(bytes, bytes + std::min(size, header.size()), header.begin());
    return equalsIgnoreCaseN(header.data(), kEdgePalHeader.data(), header.size());
}

ReadError readEdge(const unsigned char* bytes, std::size_t size, Palette* palette) {
    PalettePlanes planes{};
    if (!decodeEdgePal(bytes, size, &planes)) {
        return readError(ReadProblem::NotThisFormat);
    }
    return paletteOfPlanes(planes, palette);
}

std::size_t writeEdge(const Palette& palette, ByteBuffer* bytes) {
    std::array<unsigned char, kEdgePalSize> file{};
    encodeEdgePal(planesOfPalette(palette), &file);
    if (!reserveBytes(bytes, file.size())) {
        return 0;
    }
    std::copy(file.begin(), file.end(), bytes->bytes);
    return file.size();
}

}  // namespace kolorvane::formats
