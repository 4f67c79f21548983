#include "zip.h"

#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace kolorvane::web {

namespace {

constexpr std::uint16_t kVersion = 20;  // 2.0: stored entries and folders
constexpr std::uint16_t kUtf8Names = 0x0800;
constexpr std::uint16_t kDosDate = 0x0021;  // 1980-01-01: years from 1980, month, day
constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;

bool grow(Growing* buffer, std::size_t more) {
    if (more <= buffer->room - buffer->size) {
        return true;
    }
    std::size_t room = buffer->room < 4096 ? 4096 : buffer->room;
    while (room - buffer->size < more) {
        room *= 2;
    }
    auto* bytes = static_cast<unsigned char*>(std::realloc(buffer->bytes, room));
    if (bytes == nullptr) {
        return false;
    }
    buffer->bytes = bytes;
    buffer->room = room;
    return true;
}

// Little-endian fields, into room that grow() made.
void put16(Growing* buffer, std::uint32_t value) {
    buffer->bytes[buffer->size++] = static_cast<unsigned char>(value);
    buffer->bytes[buffer->size++] = static_cast<unsigned char>(value >> 8);
}

void put32(Growing* buffer, std::uint32_t value) {
    put16(buffer, value & 0xFFFF);
    put16(buffer, value >> 16);
}

void putBytes(Growing* buffer, const void* bytes, std::size_t size) {
    if (size != 0) {
        std::memcpy(buffer->bytes + buffer->size, bytes, size);
        buffer->size += size;
    }
}

// The fields the local header and the central directory share, from the
// version needed to the extra field's length.
void putCommon(Growing* buffer, std::uint32_t crc, std::uint32_t size, std::size_t nameSize) {
    put16(buffer, kVersion);
    put16(buffer, kUtf8Names);
    put16(buffer, 0);  // stored
    put16(buffer, 0);  // 00:00
    put16(buffer, kDosDate);
    put32(buffer, crc);
    put32(buffer, size);  // compressed
    put32(buffer, size);
    put16(buffer, static_cast<std::uint32_t>(nameSize));
    put16(buffer, 0);  // no extra field
}

void putCentral(Growing* directory, std::uint32_t crc, std::uint32_t size, const char* name,
                std::size_t nameSize, std::uint32_t offset) {
    put32(directory, kCentralSignature);
    put16(directory, kVersion);  // made by: MS-DOS and FAT's attributes
    putCommon(directory, crc, size, nameSize);
    put16(directory, 0);  // no comment
    put16(directory, 0);  // disk 0
    put16(directory, 0);  // internal attributes
    put32(directory, 0);  // external attributes
    put32(directory, offset);
    putBytes(directory, name, nameSize);
}

}  // namespace

bool addZipEntry(ZipWriter* zip, const char* name, const unsigned char* bytes, std::size_t size) {
    const std::size_t nameSize = std::strlen(name);
    const std::uint64_t end = std::uint64_t{zip->archive.size} + 30 + nameSize + size;
    if (zip->failed || zip->entries == kMaxZipEntries || nameSize > 0xFFFF || end > kMaxZipSize ||
        !grow(&zip->archive, 30 + nameSize + size) || !grow(&zip->directory, 46 + nameSize)) {
        zip->failed = true;
        return false;
    }
    const auto crc =
        static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), bytes, static_cast<uInt>(size)));
    const auto offset = static_cast<std::uint32_t>(zip->archive.size);
    put32(&zip->archive, kLocalSignature);
    putCommon(&zip->archive, crc, static_cast<std::uint32_t>(size), nameSize);
    putBytes(&zip->archive, name, nameSize);
    putBytes(&zip->archive, bytes, size);
    putCentral(&zip->directory, crc, static_cast<std::uint32_t>(size), name, nameSize, offset);
    zip->entries++;
    return true;
}

bool finishZip(ZipWriter* zip) {
    const std::uint64_t end = std::uint64_t{zip->archive.size} + zip->directory.size + 22;
    if (zip->failed || end > kMaxZipSize || !grow(&zip->archive, zip->directory.size + 22)) {
        zip->failed = true;
        return false;
    }
    const auto offset = static_cast<std::uint32_t>(zip->archive.size);
    putBytes(&zip->archive, zip->directory.bytes, zip->directory.size);
    put32(&zip->archive, kEndSignature);
    put16(&zip->archive, 0);  // this disk
    put16(&zip->archive, 0);  // the directory's disk
    put16(&zip->archive, zip->entries);
    put16(&zip->archive, zip->entries);
    put32(&zip->archive, static_cast<std::uint32_t>(zip->directory.size));
    put32(&zip->archive, offset);
    put16(&zip->archive, 0);  // no comment
    return true;
}

void endZip(ZipWriter* zip) {
    std::free(zip->archive.bytes);
    std::free(zip->directory.bytes);
    *zip = ZipWriter{};
}

}  // namespace kolorvane::web
