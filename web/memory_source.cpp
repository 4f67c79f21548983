#include "memory_source.h"

#include <algorithm>
#include <cstring>

namespace kolorvane::web {

namespace {

constexpr Failure kNotHere = {Cause::Other, 0};

MemoryFile& fileOf(void* context) { return *static_cast<MemoryFile*>(context); }

Failure openSource(void* context, const char* /*path*/, FileHandle* file) {
    fileOf(context).position = 0;
    *file = FileHandle{0};
    return kSucceeded;
}

Failure createNewFile(void* /*context*/, const char* /*path*/, const FileIdentity* /*source*/,
                      FileHandle* /*file*/) {
    return kNotHere;
}

// Up to `capacity` bytes from `offset`, none past the end.
std::size_t copyFrom(const MemoryFile& source, std::uint64_t offset, std::size_t capacity,
                     unsigned char* bytes) {
    if (offset >= source.size) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(offset);
    const std::size_t count = std::min(capacity, source.size - at);
    std::memcpy(bytes, source.bytes + at, count);
    return count;
}

Failure readFile(void* context, FileHandle /*file*/, std::size_t capacity, unsigned char* bytes,
                 std::size_t* bytesRead) {
    MemoryFile& source = fileOf(context);
    *bytesRead = copyFrom(source, source.position, capacity, bytes);
    source.position += *bytesRead;
    return kSucceeded;
}

Failure readFileAt(void* context, FileHandle /*file*/, std::uint64_t offset, std::size_t capacity,
                   unsigned char* bytes, std::size_t* bytesRead) {
    *bytesRead = copyFrom(fileOf(context), offset, capacity, bytes);
    return kSucceeded;
}

Failure writeFile(void* /*context*/, FileHandle /*file*/, const unsigned char* /*bytes*/,
                  std::size_t /*size*/, std::size_t* bytesWritten) {
    *bytesWritten = 0;
    return kNotHere;
}

// A regular file of its size: one volume, one file.
Failure identifyFile(void* context, FileHandle /*file*/, FileIdentity* identity) {
    *identity = FileIdentity{};
    identity->index = 1;
    identity->size = fileOf(context).size;
    return kSucceeded;
}

Failure findTarget(void* /*context*/, const char* /*folder*/, const char* /*name*/,
                   TargetPlace* /*place*/, FileIdentity* /*identity*/) {
    return kNotHere;
}

Failure keepIdentity(void* /*context*/, FileHandle /*file*/, const FileIdentity& /*identity*/) {
    return kNotHere;
}

Failure flushFile(void* /*context*/, FileHandle /*file*/) { return kNotHere; }

Failure closeFile(void* /*context*/, FileHandle /*file*/) { return kSucceeded; }

Failure replaceFile(void* /*context*/, const char* /*from*/, const char* /*to*/) {
    return kNotHere;
}

Failure moveToNewName(void* /*context*/, const char* /*from*/, const char* /*to*/) {
    return kNotHere;
}

Failure removeFile(void* /*context*/, const char* /*path*/) { return kNotHere; }

Failure setCurrentDirectory(void* /*context*/, const char* /*directory*/) { return kNotHere; }

void showNotice(void* /*context*/, const char* /*text*/, const char* /*caption*/) {}

bool isLeadByte(unsigned char /*byte*/) { return false; }

}  // namespace

Platform memoryPlatform(MemoryFile* file) { return KOLORVANE_PLATFORM_TABLE(file); }

}  // namespace kolorvane::web
