#include "fuzz_checks.h"

#include <cstdio>
#include <cstdlib>

namespace kolorvane::fuzzing {

namespace {

unsigned char byteAt(const Bytes& bytes, std::size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

bool headerAccepted(const Bytes& source) {
    const char expected[] = "edge pal\0";  // ten bytes with the terminator
    for (std::size_t i = 0; i < kEdgePalHeaderSize; i++) {
        unsigned char c = byteAt(source, i);
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<unsigned char>(c + ('a' - 'A'));
        }
        if (c != static_cast<unsigned char>(expected[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

void require(bool holds, const char* what) {
    if (!holds) {
        (void)std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

PalettePlanes expectedPlanes(PaletteKind kind, const Bytes& source, bool* accepted) {
    PalettePlanes planes{};
    *accepted = kind == PaletteKind::ColorTable || headerAccepted(source);
    if (!*accepted) {
        return planes;
    }
    for (std::size_t entry = 0; entry < kEntryCount; entry++) {
        // .pal entry j sits at 10 + 3j; .act entry k at 3k and is .pal entry 255 - k.
        const std::size_t offset = kind == PaletteKind::EdgePal ? kEdgePalHeaderSize + 3 * entry
                                                                : 3 * (kEntryCount - 1 - entry);
        planes.first[entry] = byteAt(source, offset);
        planes.second[entry] = byteAt(source, offset + 1);
        planes.third[entry] = byteAt(source, offset + 2);
    }
    return planes;
}

Bytes expectedOutput(PaletteKind sourceKind, const PalettePlanes& planes) {
    Bytes out;
    if (sourceKind == PaletteKind::ColorTable) {
        out.assign(kEdgePalHeader.begin(), kEdgePalHeader.end());
    }
    for (std::size_t n = 0; n < kEntryCount; n++) {
        const std::size_t j = sourceKind == PaletteKind::EdgePal ? kEntryCount - 1 - n : n;
        out.push_back(planes.first[j]);
        out.push_back(planes.second[j]);
        out.push_back(planes.third[j]);
    }
    return out;
}

bool samePlanes(const PalettePlanes& a, const PalettePlanes& b) {
    return a.first == b.first && a.second == b.second && a.third == b.third;
}

std::vector<bool> characterStarts(const Platform& platform, const std::string& text) {
    std::vector<bool> starts(text.size(), false);
    for (std::size_t i = 0; i < text.size(); i++) {
        starts[i] = true;
        if (i + 1 < text.size() && platform.isLeadByte(static_cast<unsigned char>(text[i]))) {
            i++;
        }
    }
    return starts;
}

std::size_t lastRealBackslash(const Platform& platform, const std::string& text) {
    const std::vector<bool> starts = characterStarts(platform, text);
    std::size_t found = std::string::npos;
    for (std::size_t i = 0; i < text.size(); i++) {
        if (starts[i] && text[i] == '\\') {
            found = i;
        }
    }
    return found;
}

}  // namespace kolorvane::fuzzing
