#include "palette.h"

#include <algorithm>

namespace kolorvane {

namespace {

// The byte at `offset`, or zero past the end of a short source.
unsigned char byteAt(const unsigned char* bytes, std::size_t size, std::size_t offset) {
    return offset < size ? bytes[offset] : 0;
}

}  // namespace

bool decodeEdgePal(const unsigned char* bytes, std::size_t size, PalettePlanes* planes) {
    std::array<unsigned char, kEdgePalHeaderSize> header{};
    for (std::size_t i = 0; i < header.size(); i++) {
        header[i] = byteAt(bytes, size, i);
    }
    if (!equalsIgnoreCaseN(header.data(), kEdgePalHeader.data(), header.size())) {
        return false;
    }
    for (std::size_t j = 0; j < kEntryCount; j++) {
        const std::size_t entry = kEdgePalHeaderSize + 3 * j;
        planes->first[j] = byteAt(bytes, size, entry);
        planes->second[j] = byteAt(bytes, size, entry + 1);
        planes->third[j] = byteAt(bytes, size, entry + 2);
    }
    return true;
}

void decodeColorTable(const unsigned char* bytes, std::size_t size, PalettePlanes* planes) {
    for (std::size_t k = 0; k < kEntryCount; k++) {
        const std::size_t j = kEntryCount - 1 - k;
        planes->first[j] = byteAt(bytes, size, 3 * k);
        planes->second[j] = byteAt(bytes, size, 3 * k + 1);
        planes->third[j] = byteAt(bytes, size, 3 * k + 2);
    }
}

void encodeEdgePal(const PalettePlanes& planes, std::array<unsigned char, kEdgePalSize>* bytes) {
    // Always the upper-case header, whatever case the source's header had.
    for (std::size_t i = 0; i < kEdgePalHeaderSize; i++) {
        (*bytes)[i] = kEdgePalHeader[i];
    }
    for (std::size_t j = 0; j < kEntryCount; j++) {
        const std::size_t entry = kEdgePalHeaderSize + 3 * j;
        (*bytes)[entry] = planes.first[j];
        (*bytes)[entry + 1] = planes.second[j];
        (*bytes)[entry + 2] = planes.third[j];
    }
}

void encodeColorTable(const PalettePlanes& planes,
                      std::array<unsigned char, kColorTableSize>* bytes) {
    for (std::size_t k = 0; k < kEntryCount; k++) {
        const std::size_t j = kEntryCount - 1 - k;
        (*bytes)[3 * k] = planes.first[j];
        (*bytes)[3 * k + 1] = planes.second[j];
        (*bytes)[3 * k + 2] = planes.third[j];
    }
}

bool decodePalette(PaletteKind kind, const unsigned char* bytes, std::size_t size,
                   PalettePlanes* planes) {
    if (kind == PaletteKind::EdgePal) {
        return decodeEdgePal(bytes, size, planes);
    }
    decodeColorTable(bytes, size, planes);
    return true;
}

std::size_t encodePalette(PaletteKind kind, const PalettePlanes& planes,
                          std::array<unsigned char, kEdgePalSize>* bytes) {
    if (kind == PaletteKind::EdgePal) {
        encodeEdgePal(planes, bytes);
        return kEdgePalSize;
    }
    std::array<unsigned char, kColorTableSize> table{};
    encodeColorTable(planes, &table);
    std::copy(table.begin(), table.end(), bytes->begin());
    return kColorTableSize;
}

}  // namespace kolorvane
