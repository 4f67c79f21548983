#include "palette.h"

#include "naming.h"

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

bool readUpTo(const Platform& platform, FileHandle file, std::size_t capacity, unsigned char* bytes,
              std::size_t* bytesRead) {
    std::size_t total = 0;
    while (total < capacity) {
        std::size_t got = 0;
        if (!platform.readFile(platform.context, file, capacity - total, bytes + total, &got)) {
            return false;
        }
        if (got == 0) {
            break;
        }
        // A host that claims more than it was asked for is broken; trusting
        // it would run past the buffer.
        if (got > capacity - total) {
            return false;
        }
        total += got;
    }
    *bytesRead = total;
    return true;
}

bool writeAll(const Platform& platform, FileHandle file, const unsigned char* bytes,
              std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        std::size_t written = 0;
        if (!platform.writeFile(platform.context, file, bytes + total, size - total, &written)) {
            return false;
        }
        // No progress is a short write (a full disk, say): give up rather
        // than spin. More than was asked for is a broken host.
        if (written == 0 || written > size - total) {
            return false;
        }
        total += written;
    }
    return true;
}

ReadStatus readEdgePal(const Platform& platform, FileHandle file, PalettePlanes* planes) {
    std::array<unsigned char, kEdgePalSize> bytes{};
    std::size_t size = 0;
    if (!readUpTo(platform, file, bytes.size(), bytes.data(), &size)) {
        return ReadStatus::Failed;
    }
    return decodeEdgePal(bytes.data(), size, planes) ? ReadStatus::Accepted : ReadStatus::BadHeader;
}

ReadStatus readColorTable(const Platform& platform, FileHandle file, PalettePlanes* planes) {
    std::array<unsigned char, kColorTableSize> bytes{};
    std::size_t size = 0;
    if (!readUpTo(platform, file, bytes.size(), bytes.data(), &size)) {
        return ReadStatus::Failed;
    }
    decodeColorTable(bytes.data(), size, planes);
    return ReadStatus::Accepted;
}

bool writeEdgePal(const Platform& platform, FileHandle file, const PalettePlanes& planes) {
    std::array<unsigned char, kEdgePalSize> bytes{};
    encodeEdgePal(planes, &bytes);
    return writeAll(platform, file, bytes.data(), bytes.size());
}

bool writeColorTable(const Platform& platform, FileHandle file, const PalettePlanes& planes) {
    std::array<unsigned char, kColorTableSize> bytes{};
    encodeColorTable(planes, &bytes);
    return writeAll(platform, file, bytes.data(), bytes.size());
}

}  // namespace kolorvane
