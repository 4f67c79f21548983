#include "output_paths.h"

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

std::size_t folderLength(const char* path, const PathRules& rules) {
    const std::size_t length = pathLength(path);
    if (length >= kMaxPath) {
        return 0;
    }
    std::size_t folder = 0;
    std::size_t i = 0;
    while (i < length) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (i + 1 < length && rules.isLeadByte(c)) {
            i += 2;  // the trail byte is part of this character, whatever its value
            continue;
        }
        if (isSeparator(c, rules.separators)) {
            folder = i + 1;
        }
        i++;
    }
    return folder;
}

bool folderWithSeparator(const char* folder, const PathRules& rules, char* directory) {
    const std::size_t length = pathLength(folder);
    if (length >= kMaxPath) {
        return false;
    }
    copyTerminated(folder, length, directory);
    if (folderLength(directory, rules) == length) {
        return true;  // already ends in a separator
    }
    if (length + 1 >= kMaxPath) {
        return false;
    }
    directory[length] = rules.separators[0];
    directory[length + 1] = '\0';
    return true;
}

bool outputFileName(const char* fileName, const char* extension, char* output) {
    return replaceExtension(fileName, kExtensionSize, extension, output);
}

bool replaceExtension(const char* fileName, std::size_t replaced, const char* extension,
                      char* output) {
    const std::size_t length = pathLength(fileName);
    const std::size_t extensionLength = std::strlen(extension);
    if (length >= kMaxPath || length < replaced) {
        return false;
    }
    const std::size_t stem = length - replaced;
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

PlanStatus planPaths(const char* path, const PathRules& rules, const char* outputFolder,
                     PathPlan* plan) {
    if (pathLength(path) >= kMaxPath) {
        return PlanStatus::PathTooLong;
    }
    plan->kind = classifyPath(path);
    if (plan->kind == PaletteKind::Unsupported) {
        return PlanStatus::Unsupported;
    }
    return placeOutput(path, rules, outputFolder, outputExtension(plan->kind), kExtensionSize,
                       plan);
}

PlanStatus placeOutput(const char* path, const PathRules& rules, const char* outputFolder,
                       const char* extension, std::size_t replaced, PathPlan* plan) {
    const std::size_t split = folderLength(path, rules);
    plan->sourceFolderLength = split;
    if (outputFolder == nullptr) {
        copyTerminated(path, split, plan->folder);
    } else if (!joinPath(outputFolder, "", plan->folder)) {
        return PlanStatus::OutputTooLong;
    }
    if (!replaceExtension(path + split, replaced, extension, plan->output) ||
        !joinPath(plan->folder, plan->output, plan->target)) {
        return PlanStatus::OutputTooLong;
    }
    return PlanStatus::Planned;
}

}  // namespace kolorvane
