#include "reading.h"

#include <array>
#include <memory>

#include "dropped_file.h"
#include "fake_platform.h"
#include "fuzz_checks.h"

namespace kolorvane::fuzzing {

namespace {

using testing::FakePlatform;

constexpr char kSourcePath[] = "C:\\in\\source";
constexpr char kOutputDirectory[] = "C:\\out\\";
constexpr char kOutputName[] = "converted";

struct ReadPattern {
    std::size_t readChunk;  // 0: whole requests at once
    int failAt;             // the fake's ordinal of the call to fail, -1 for none
};

// Calls are counted from the open (0), so 1 is the first read and 3 a later
// read or, for a short source, the close.
constexpr ReadPattern kPatterns[] = {{0, -1}, {1, -1}, {7, -1}, {7, 1}, {7, 3}};

// Bytes no read leaves by chance in every position, so that a read which
// touches a plane it should have left alone shows.
std::unique_ptr<PalettePlanes> canaryPlanes() {
    // On the heap and exactly its size, so that AddressSanitizer sees any
    // write past the last plane.
    auto planes = std::make_unique<PalettePlanes>();
    for (std::size_t j = 0; j < kEntryCount; j++) {
        planes->first[j] = static_cast<unsigned char>(0xA5 ^ j);
        planes->second[j] = static_cast<unsigned char>(0x5A ^ j);
        planes->third[j] = static_cast<unsigned char>(0xC3 ^ j);
    }
    return planes;
}

PaletteKind otherKind(PaletteKind kind) {
    return kind == PaletteKind::EdgePal ? PaletteKind::ColorTable : PaletteKind::EdgePal;
}

void checkReadSource(PaletteKind kind, const Bytes& source, const ReadPattern& pattern,
                     bool accepted, const PalettePlanes& expected) {
    FakePlatform fake;
    testing::addFile(&fake, kSourcePath, source);
    fake.readChunk = pattern.readChunk;
    fake.failAt = pattern.failAt;
    const Platform platform = testing::makePlatform(&fake);
    const std::unique_ptr<PalettePlanes> planes = canaryPlanes();
    const PalettePlanes before = *planes;

    const SourceStatus status = readSource(platform, kSourcePath, kind, planes.get()).status;

    require(fake.open.empty() && !fake.closeTwiceSeen, "readSource closes the source once");
    require(fake.files[kSourcePath] == source, "reading leaves the source as it was");
    if (fake.failAt >= 0 && fake.failableCalls > fake.failAt) {
        require(status == SourceStatus::Failed, "a failed read or close is reported");
        require(samePlanes(*planes, before), "a failed read leaves the planes untouched");
    } else if (!accepted) {
        require(status == SourceStatus::BadHeader, "a bad header is refused");
        require(samePlanes(*planes, before), "a refused header leaves the planes untouched");
    } else {
        require(status == SourceStatus::Read, "a good source is read");
        require(samePlanes(*planes, expected), "the planes hold what the source says");
    }
}

// Written in the other layout and in the same one, each read back as what it
// is, the planes come back unchanged.
void checkRoundTrips(PaletteKind kind, const PalettePlanes& planes) {
    FakePlatform fake;
    testing::addDirectory(&fake, kOutputDirectory);
    fake.writeChunk = 7;
    const Platform platform = testing::makePlatform(&fake);
    const std::string converted = std::string(kOutputDirectory) + kOutputName;
    std::array<unsigned char, kEdgePalSize> bytes{};

    require(writeOutput(platform, bytes.data(), encodeConversion(kind, planes, &bytes),
                        kOutputDirectory, kOutputName, ExistingOutput::Replace, FileIdentity{})
                    .status == WriteStatus::Written,
            "writeOutput succeeds on a healthy host");
    require(fake.files[converted] == expectedOutput(kind, planes),
            "the conversion holds the planes in the other layout");
    PalettePlanes back{};
    require(readSource(platform, converted.c_str(), otherKind(kind), &back).status ==
                    SourceStatus::Read &&
                samePlanes(back, planes),
            "the conversion reads back as the same planes");

    const std::string sameLayout = std::string(kOutputDirectory) + "same";
    const char* temporary = sameLayout.c_str();
    FileHandle file = kInvalidFile;
    require(!failed(platform.createNewFile(platform.context, temporary, nullptr, &file)),
            "the fake creates a file");
    const Failure written =
        writeAll(platform, file, bytes.data(), encodePalette(kind, planes, &bytes));
    require(!failed(platform.closeFile(platform.context, file)) && !failed(written),
            "the same layout is written");
    PalettePlanes same{};
    require(readSource(platform, temporary, kind, &same).status == SourceStatus::Read &&
                samePlanes(same, planes),
            "the same layout reads back as the same planes");
    require(fake.open.empty(), "every file of the round trips is closed");
}

}  // namespace

void checkReading(PaletteKind kind, const std::uint8_t* data, std::size_t size) {
    const Bytes source(data, data + size);
    bool accepted = false;
    const PalettePlanes expected = expectedPlanes(kind, source, &accepted);

    // Straight from libFuzzer's buffer, which is exactly `size` bytes on the
    // heap: a decoder that reads past a short source is caught.
    const std::unique_ptr<PalettePlanes> decoded = canaryPlanes();
    if (kind == PaletteKind::EdgePal) {
        require(decodeEdgePal(data, size, decoded.get()) == accepted, "decodeEdgePal's verdict");
    } else {
        decodeColorTable(data, size, decoded.get());
    }
    require(samePlanes(*decoded, accepted ? expected : *canaryPlanes()), "the decoded planes");

    for (const ReadPattern& pattern : kPatterns) {
        checkReadSource(kind, source, pattern, accepted, expected);
    }
    if (accepted) {
        checkRoundTrips(kind, expected);
    }
}

}  // namespace kolorvane::fuzzing
