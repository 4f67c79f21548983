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

Failure readUpTo(const Platform& platform, FileHandle file, std::size_t capacity,
                 unsigned char* bytes, std::size_t* bytesRead) {
    std::size_t total = 0;
    while (total < capacity) {
        std::size_t got = 0;
        const Failure failure =
            platform.readFile(platform.context, file, capacity - total, bytes + total, &got);
        if (failed(failure)) {
            return failure;
        }
        if (got == 0) {
            break;
        }
        // A host that claims more than it was asked for is broken; trusting
        // it would run past the buffer.
        if (got > capacity - total) {
            return kShortTransfer;
        }
        total += got;
    }
    *bytesRead = total;
    return kSucceeded;
}

Failure writeAll(const Platform& platform, FileHandle file, const unsigned char* bytes,
                 std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        std::size_t written = 0;
        const Failure failure =
            platform.writeFile(platform.context, file, bytes + total, size - total, &written);
        if (failed(failure)) {
            return failure;
        }
        // No progress is a short write (a full disk, say): give up rather
        // than spin. More than was asked for is a broken host.
        if (written == 0 || written > size - total) {
            return kShortTransfer;
        }
        total += written;
    }
    return kSucceeded;
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
