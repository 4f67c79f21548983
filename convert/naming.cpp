#include "naming.h"

#include <cstring>

namespace kolorvane {

namespace {

constexpr std::size_t kExtensionSize = 4;

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool isSeparator(unsigned char c, const char* separators) {
    return c != 0 && std::strchr(separators, c) != nullptr;
}

// Copies `count` bytes and terminates them; the caller has checked the size.
void copyTerminated(const char* from, std::size_t count, char* to) {
    std::memcpy(to, from, count);
    to[count] = '\0';
}

}  // namespace

const char* outputExtension(PaletteKind kind) {
    switch (kind) {
        case PaletteKind::EdgePal:
            return ".act";
        case PaletteKind::ColorTable:
            return ".pal";
        case PaletteKind::Unsupported:
            break;
    }
    return nullptr;
}

bool equalsIgnoreCaseN(const void* a, const void* b, std::size_t n) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    bool same = true;
    for (std::size_t i = 0; i < n; i++) {
        same = (foldAscii(x[i]) == foldAscii(y[i])) && same;
    }
    return same;
}

std::size_t pathLength(const char* path) {
    const void* end = std::memchr(path, 0, kMaxPath);
    return end == nullptr ? kMaxPath
                          : static_cast<std::size_t>(static_cast<const char*>(end) - path);
}

PaletteKind classifyPath(const char* path) {
    const std::size_t length = pathLength(path);
    if (length >= kMaxPath || length < kExtensionSize) {
        return PaletteKind::Unsupported;
    }
    const char* tail = path + length - kExtensionSize;
    if (equalsIgnoreCaseN(tail, ".pal", kExtensionSize)) {
        return PaletteKind::EdgePal;
    }
    if (equalsIgnoreCaseN(tail, ".act", kExtensionSize)) {
        return PaletteKind::ColorTable;
    }
    return PaletteKind::Unsupported;
}

long lastSeparator(const Platform& platform, const char* path, const char* separators) {
    const std::size_t length = pathLength(path);
    if (length >= kMaxPath) {
        return -1;
    }
    long found = -1;
    std::size_t i = 0;
    while (i < length) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (i + 1 < length && platform.isLeadByte(platform.context, c)) {
            i += 2;  // the trail byte is part of this character, whatever its value
            continue;
        }
        // The first byte is never a split point: "\name" has no directory.
        if (i > 0 && isSeparator(c, separators)) {
            found = static_cast<long>(i);
        }
        i++;
    }
    return found;
}

std::size_t directoryPartLength(const Platform& platform, const char* path,
                                const char* separators) {
    const long at = lastSeparator(platform, path, separators);
    if (at >= 0) {
        return static_cast<std::size_t>(at) + 1;
    }
    // lastSeparator passes over the first byte, but a path that fits and
    // starts with a separator names a file in the root.
    if (pathLength(path) < kMaxPath &&
        isSeparator(static_cast<unsigned char>(path[0]), separators)) {
        return 1;
    }
    return 0;
}

bool directoryPart(const Platform& platform, const char* path, char* directory) {
    const long at = lastSeparator(platform, path, "\\");
    if (at < 0) {
        return false;
    }
    copyTerminated(path, static_cast<std::size_t>(at) + 1, directory);
    return true;
}

bool fileNamePart(const Platform& platform, const char* path, char* fileName) {
    const long at = lastSeparator(platform, path, "\\");
    if (at < 0) {
        return false;
    }
    const std::size_t start = static_cast<std::size_t>(at) + 1;
    copyTerminated(path + start, pathLength(path) - start, fileName);
    return true;
}

bool outputFileName(const char* fileName, const char* extension, char* output) {
    const std::size_t length = pathLength(fileName);
    const std::size_t extensionLength = std::strlen(extension);
    if (length >= kMaxPath || length < kExtensionSize) {
        return false;
    }
    const std::size_t stem = length - kExtensionSize;
    if (stem + extensionLength >= kMaxPath) {
        return false;
    }
    std::memcpy(output, fileName, stem);
    copyTerminated(extension, extensionLength, output + stem);
    return true;
}

bool joinPath(const char* directory, const char* name, char* path) {
    const std::size_t directoryLength = pathLength(directory);
    const std::size_t nameLength = pathLength(name);
    if (directoryLength + nameLength >= kMaxPath) {
        return false;
    }
    std::memcpy(path, directory, directoryLength);
    copyTerminated(name, nameLength, path + directoryLength);
    return true;
}

}  // namespace kolorvane
