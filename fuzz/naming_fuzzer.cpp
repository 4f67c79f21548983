// The naming rules on arbitrary paths of up to kMaxPath bytes, in code page
// 932 (through the fake) and in a single-byte code page.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fake_platform.h"
#include "fuzz_checks.h"
#include "output_paths.h"

namespace kolorvane::fuzzing {

namespace {

constexpr unsigned char kUntouched = 0xEE;

bool noLeadBytes(unsigned char) { return false; }

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

void checkPlan(const Platform& platform, const char* path, bool terminated) {
    PathPlan plan{};
    const PlanStatus status = planPaths(path, PathRules{"\\", platform.isLeadByte}, nullptr, &plan);
    if (!terminated) {
        require(status == PlanStatus::PathTooLong, "a path without a terminator is too long");
        return;
    }
    if (classifyPath(path) == PaletteKind::Unsupported) {
        require(status == PlanStatus::Unsupported, "only a .pal or .act path is planned");
        return;
    }
    // The output's name is as long as the source's, so its path fits too.
    require(status == PlanStatus::Planned, "a .pal or .act path that fits is planned");
    const std::string text = path;
    const std::size_t at = lastRealBackslash(platform, text);
    const std::size_t split = at == std::string::npos ? 0 : at + 1;
    require(plan.sourceFolderLength == split && plan.folder == text.substr(0, split),
            "the folder is the path up to its last real backslash");
    require(std::string(plan.target) == std::string(plan.folder) + plan.output,
            "the output's path is the folder and the output's name");
    const std::string name = text.substr(split);
    require(name.size() >= 4 && plan.output == name.substr(0, name.size() - 4) +
                                                   outputExtension(classifyPath(path)),
            "the output's name is the source's with the other extension");
    checkOutputName(path + split, true);
}

void checkFolderLength(const Platform& platform, const char* path) {
    const std::size_t backslash = folderLength(path, PathRules{"\\", platform.isLeadByte});
    const std::size_t either = folderLength(path, PathRules{"\\/", platform.isLeadByte});
    require(either >= backslash, "more separators never find an earlier one");
    require(either < kMaxPath, "a folder lies inside the buffer");
    require(either == 0 || path[either - 1] == '\\' || path[either - 1] == '/',
            "a folder ends in a separator");
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
        checkPlan(*platform, path.get(), terminated);
        checkFolderLength(*platform, path.get());
    }
    checkOutputName(path.get(), terminated);
    checkCaseFolding(path.get(), length);
    return 0;
}
