// The naming rules on arbitrary paths of up to kMaxPath bytes, in code page
// 932 (through the fake) and in a single-byte code page.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fake_platform.h"
#include "fuzz_checks.h"
#include "naming.h"

namespace kolorvane::fuzzing {

namespace {

constexpr unsigned char kUntouched = 0xEE;

bool noLeadBytes(void*, unsigned char) { return false; }

Platform inSingleByteCodePage(Platform platform) {
    platform.isLeadByte = noLeadBytes;
    return platform;
}

// A kMaxPath buffer on the heap, exactly that size, so that AddressSanitizer
// sees a read or write past its end; filled so that a write shows.
std::unique_ptr<char[]> pathBuffer() {
    auto buffer = std::make_unique<char[]>(kMaxPath);
    std::memset(buffer.get(), kUntouched, kMaxPath);
    return buffer;
}

bool untouched(const char* buffer) {
    return std::all_of(buffer, buffer + kMaxPath,
                       [](char c) { return static_cast<unsigned char>(c) == kUntouched; });
}

PaletteKind expectedKind(const std::string& path, bool terminated) {
    if (!terminated || path.size() < 4) {
        return PaletteKind::Unsupported;
    }
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
    if (tail == ".pal") {
        return PaletteKind::EdgePal;
    }
    return tail == ".act" ? PaletteKind::ColorTable : PaletteKind::Unsupported;
}

void checkOutputName(const char* fileName, bool terminated) {
    const std::string name = terminated ? std::string(fileName) : std::string();
    for (const char* extension : {".act", ".pal"}) {
        const std::unique_ptr<char[]> output = pathBuffer();
        const bool made = outputFileName(fileName, extension, output.get());
        if (!terminated || name.size() < 4) {
            require(!made, "no output name without four bytes to replace");
            require(untouched(output.get()), "a refused output name writes nothing");
            continue;
        }
        require(made, "a name of four bytes or more gives an output name");
        const std::string expected = name.substr(0, name.size() - 4) + extension;
        require(output.get() == expected,
                "the output name is the stem and the lower-case extension");
    }
}

void checkSplit(const Platform& platform, const char* path, bool terminated) {
    const std::string text = terminated ? std::string(path) : std::string();
    const std::unique_ptr<char[]> directory = pathBuffer();
    const std::unique_ptr<char[]> fileName = pathBuffer();
    const bool hasDirectory = directoryPart(platform, path, directory.get());
    const bool hasFileName = fileNamePart(platform, path, fileName.get());
    const std::size_t at = terminated ? lastRealBackslash(platform, text) : std::string::npos;

    require(hasDirectory == hasFileName, "both parts are found or neither");
    if (at == std::string::npos) {
        require(!hasDirectory, "no directory without a real backslash after the first byte");
        require(untouched(directory.get()) && untouched(fileName.get()),
                "a path that does not split writes nothing");
        return;
    }
    require(hasDirectory, "a real backslash after the first byte splits the path");
    const std::string dir = directory.get();
    const std::string name = fileName.get();
    require(dir.size() == at + 1 && text.compare(0, dir.size(), dir) == 0,
            "the directory part is the path up to its last real backslash");
    require(dir.back() == '\\' && characterStarts(platform, text)[at],
            "the directory part ends in a backslash character, not a trail byte");
    require(dir + name == text, "the directory and file-name parts make up the path");
    checkOutputName(fileName.get(), true);
}

void checkLastSeparator(const Platform& platform, const char* path) {
    const long backslash = lastSeparator(platform, path, "\\");
    const long either = lastSeparator(platform, path, "\\/");
    require(either >= backslash, "more separators never find an earlier one");
    require(backslash < static_cast<long>(kMaxPath) && either < static_cast<long>(kMaxPath),
            "a separator lies inside the buffer");
    require(either < 0 || path[either] == '\\' || path[either] == '/',
            "lastSeparator points at a separator");
}

void checkCaseFolding(const char* path, std::size_t length) {
    // Swapping the case of every ASCII letter never changes the comparison.
    std::string swapped(path, length);
    for (char& c : swapped) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - ('a' - 'A'));
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
    require(equalsIgnoreCaseN(path, swapped.data(), length), "ASCII case is ignored");
    // Any other byte compares exactly, even with the byte that differs from
    // it in the case bit alone ('@' and '`', '[' and '{', C1 and E1), which
    // a folding wider than A-Z would take for its other case.
    const char* other = std::find_if(path, path + length, [](char c) {
        return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
    });
    if (other != path + length) {
        std::string changed(path, length);
        changed[static_cast<std::size_t>(other - path)] ^= 0x20;
        require(!equalsIgnoreCaseN(path, changed.data(), length),
                "a byte other than a letter compares exactly");
    }
}

}  // namespace

}  // namespace kolorvane::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kolorvane;
    using namespace kolorvane::fuzzing;

    // Up to kMaxPath bytes; with all kMaxPath of them the path has no
    // terminator inside its buffer, which every routine must notice.
    auto path = std::make_unique<char[]>(kMaxPath);
    std::memset(path.get(), 0, kMaxPath);
    std::memcpy(path.get(), data, std::min(size, kMaxPath));
    const std::size_t length = pathLength(path.get());
    const bool terminated = length < kMaxPath;
    require(length <= kMaxPath && (terminated || std::memchr(path.get(), 0, kMaxPath) == nullptr),
            "pathLength stops at the terminator or the buffer's end");

    const std::string text = terminated ? std::string(path.get()) : std::string();
    require(classifyPath(path.get()) == expectedKind(text, terminated),
            "the kind goes by the last four bytes");

    testing::FakePlatform fake;
    const Platform codePage932 = testing::makePlatform(&fake);
    const Platform singleByte = inSingleByteCodePage(codePage932);
    for (const Platform* platform : {&codePage932, &singleByte}) {
        checkSplit(*platform, path.get(), terminated);
        checkLastSeparator(*platform, path.get());
    }
    checkOutputName(path.get(), terminated);
    checkCaseFolding(path.get(), length);
    return 0;
}
