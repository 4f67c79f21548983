#include "messages.h"

#include <cstdint>
#include <cstring>

#include "image.h"
#include "output_paths.h"

// The limits the words name, as text, checked against the constants.
#define KOLORVANE_MAX_COLORS "65535"
#define KOLORVANE_LARGEST_SIDE "16384"

namespace kolorvane {

static_assert(kMaxColors == 65535 && formats::kLargestImageSide == 16384,
              "the words name the limits");

void add(Text* text, const char* part) {
    for (const char* c = part; *c != '\0' && text->size + 1 < text->capacity; c++) {
        text->bytes[text->size++] = *c;
    }
    text->bytes[text->size] = '\0';
}

void addNumber(Text* text, std::uint32_t value, unsigned base) {
    char digits[12] = {};
    std::size_t count = sizeof digits - 1;
    do {
        digits[--count] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    add(text, digits + count);
}

namespace {

// "line 3: " or "offset 12: ", as the format counts.
void addWhere(Text* text, const Format& format, const ReadError& error) {
    add(text, format.text ? "line " : "offset ");
    addNumber(text, error.at);
    add(text, ": ");
}

void addColor(Text* text, const ReadError& error) {
    add(text, "colour ");
    addNumber(text, error.color);
}

const char* spaceName(std::uint32_t space) {
    constexpr const char* kNames[] = {
        nullptr, "HSB", "CMYK",      "Pantone",   "Focoltone", "Trumatch",
        "Toyo",  "Lab", "grayscale", "wide CMYK", "HKS",
    };
    if (space == static_cast<std::uint32_t>(ColorSpace::Other)) {
        return "in an unknown colour model";
    }
    return space > 0 && space < sizeof kNames / sizeof kNames[0] ? kNames[space] : nullptr;
}

void addSpace(Text* text, const ReadError& error) {
    addColor(text, error);
    add(text, " is ");
    const char* name = spaceName(error.value);
    if (name != nullptr) {
        add(text, name);
    } else {
        add(text, "in colour space ");
        addNumber(text, error.value);
    }
    add(text, "; only RGB, HSB, CMYK, Lab and grayscale colours are read");
}

// A swatch's value outside what its space holds.
void addOutOfRange(Text* text, const ReadError& error) {
    addColor(text, error);
    switch (static_cast<ColorSpace>(error.value)) {
        case ColorSpace::Lab:
            return add(text, " has a Lab value outside L 0 to 100, a and b -128 to 127");
        case ColorSpace::Grayscale:
            return add(text, " has a grayscale value over 10000, all black");
        default:
            return add(text, " has a value out of range");
    }
}

void addVersion(Text* text, std::uint32_t version) {
    if (version == 0) {  // a version line that is no number
        return add(text, "an unsupported version");
    }
    add(text, "version ");
    if (version > 0xFFFF) {  // major and minor, as ASE has them
        addNumber(text, version >> 16);
        add(text, ".");
        version &= 0xFFFF;
    }
    addNumber(text, version);
    add(text, " is not supported");
}

void addCountMismatch(Text* text, const Format& format, const ReadError& error) {
    add(text, "the count, ");
    addNumber(text, error.value);
    add(text, format.text ? ", disagrees with the colours listed" : ", disagrees with the data");
}

// "an EDGE PAL", "a GIMP palette".
void addTitle(Text* text, const Format& format) {
    const char first = format.title[0];
    add(text, std::strchr("AEIOU", first) != nullptr ? "an " : "a ");
    add(text, format.title);
}

void addNotThis(Text* text, const Format& format) {
    add(text, "not ");
    addTitle(text, format);
}

// "not an A, B or C": the titles of the formats that read `extension`'s.
void addNoneOf(Text* text, const Format& extension) {
    const char* path = extension.extension;
    std::size_t listed = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < kFormatCount; i++) {
        count += extensionLength(kFormats[i], path) != 0 ? 1 : 0;
    }
    for (std::size_t i = 0; i < kFormatCount; i++) {
        const Format& format = kFormats[i];
        if (extensionLength(format, path) == 0) {
            continue;
        }
        if (listed++ == 0) {
            addNotThis(text, format);
            continue;
        }
        add(text, listed == count ? " or " : ", ");
        add(text, format.title);
    }
}

// "larger than 1 MiB, the most a palette is read from", with the format's
// own limit.
void addTooLarge(Text* text, const Format& format) {
    add(text, "larger than ");
    addNumber(text, static_cast<std::uint32_t>(format.largest / (std::size_t{1024} * 1024)));
    add(text, " MiB, the most a palette is read from");
}

// The problems of a whole image, which no position tells more of; null for
// another problem.
const char* imageWords(ReadProblem problem) {
    switch (problem) {
        case ReadProblem::BadChecksum:
            return "a chunk's CRC does not match its data";
        case ReadProblem::NoPngPalette:
            return "an indexed image without a valid PLTE chunk";
        case ReadProblem::ImageSize:
            return "the width or height is 0 or more than " KOLORVANE_LARGEST_SIDE " pixels";
        case ReadProblem::NotPaletteImage:
            return "more than " KOLORVANE_MAX_COLORS " colours: not a palette image";
        case ReadProblem::BadImageData:
            return "the image data is damaged or ends early";
        case ReadProblem::ImageDataTooLarge:
            return "an image's compressed data is far larger than its pixels need";
        default:
            return nullptr;
    }
}

// The problems whose words need no numbers but the position.
const char* plainWords(ReadProblem problem) {
    switch (problem) {
        case ReadProblem::Truncated:
            return "the file ends early";
        case ReadProblem::SizePastEnd:
            return "a size points past the end of the file";
        case ReadProblem::NumberTooLarge:
            return "a number above 255";
        case ReadProblem::BadHexDigit:
            return "a character that is not a hexadecimal digit";
        case ReadProblem::ExtraData:
            return "data past the last colour";
        case ReadProblem::BadChannels:
            return "the channels are not RGBA";
        case ReadProblem::BehindInStream:
            return "the palette is before what was read already, and a pipe cannot go back; "
                   "read the file itself";
        default:
            return nullptr;
    }
}

// The problems whose words hold the number read; false for another.
bool addNumbered(Text* text, const ReadError& error) {
    switch (error.problem) {
        case ReadProblem::TooManyColors:
            add(text, "more than ");
            addNumber(text, error.value);
            add(text, " colours");
            return true;
        case ReadProblem::UnknownBlock:
            add(text, "a block of unknown type 0x");
            addNumber(text, error.value, 16);
            return true;
        case ReadProblem::Refused:
            if (error.color != 0) {
                addColor(text, error);
                add(text, ": ");
            }
            add(text, error.what);
            return true;
        case ReadProblem::Unsupported:
            add(text, error.what);
            add(text, " ");
            addNumber(text, error.value);
            add(text, " is not supported");
            return true;
        default:
            return false;
    }
}

void addPositioned(Text* text, const Format& format, const ReadError& error) {
    addWhere(text, format, error);
    if (addNumbered(text, error)) {
        return;
    }
    const char* words = plainWords(error.problem);
    if (words != nullptr) {
        add(text, words);
        return;
    }
    switch (error.problem) {
        case ReadProblem::BadVersion:
            return addVersion(text, error.value);
        case ReadProblem::CountMismatch:
            return addCountMismatch(text, format, error);
        case ReadProblem::UnsupportedSpace:
            return addSpace(text, error);
        case ReadProblem::BadFloat:
            addColor(text, error);
            return add(text, " has a value that is not a number from 0 to 1");
        case ReadProblem::OutOfRange:
            return addOutOfRange(text, error);
        case ReadProblem::NameTooLong:
            if (error.color != 0) {
                addColor(text, error);
            } else {
                add(text, "a group");
            }
            return add(text, "'s name is longer than its block");
        default:
            break;
    }
    if (error.color != 0) {
        addColor(text, error);
        add(text, " is ");
    }
    add(text, "malformed");
}

}  // namespace

void describeReadError(const Format& format, const ReadError& error, char* text,
                       std::size_t capacity) {
    text[0] = '\0';
    Text words = {text, capacity, 0};
    switch (error.problem) {
        case ReadProblem::None:
            return;
        case ReadProblem::TooLarge:
            return addTooLarge(&words, format);
        case ReadProblem::UnknownPal:
            return add(&words, "the header is not \"EDGE PAL\"");
        case ReadProblem::NotThisFormat:
            return addNotThis(&words, format);
        case ReadProblem::NoColors:
            return add(&words, "no colours");
        case ReadProblem::UnknownKind:
            return addNoneOf(&words, format);
        case ReadProblem::Missing:
            add(&words, "no ");
            return add(&words, error.what);
        case ReadProblem::LibraryRefused:
            add(&words, "the decoder refuses it: ");
            return add(&words, error.what);
        default:
            break;
    }
    const char* image = imageWords(error.problem);
    if (image != nullptr) {
        return add(&words, image);
    }
    addPositioned(&words, format, error);
}

namespace {

// Whether `extension` is among the first `count` of `extensions`, ASCII
// case ignored.
bool listed(const char (*extensions)[kMaxPath], std::size_t count, const char* extension) {
    const std::size_t length = std::strlen(extension) + 1;
    for (std::size_t i = 0; i < count; i++) {
        if (std::strlen(extensions[i]) + 1 == length &&
            equalsIgnoreCaseN(extensions[i], extension, length)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void describeUnsupportedName(char* text, std::size_t capacity) {
    text[0] = '\0';
    Text words = {text, capacity, 0};
    // Every extension read, once: "not a .pal, .act, ... or .wad file name".
    constexpr std::size_t kMost = 64;
    char extensions[kMost][kMaxPath] = {};
    std::size_t count = 0;
    for (std::size_t i = 0; i < kFormatCount; i++) {
        for (std::size_t n = 0; count < kMost && readExtension(kFormats[i], n, extensions[count]);
             n++) {
            count += listed(extensions, count, extensions[count]) ? 0 : 1;
        }
    }
    add(&words, "not a ");
    for (std::size_t i = 0; i < count; i++) {
        add(&words, i == 0 ? "" : (i + 1 == count ? " or " : ", "));
        add(&words, extensions[i]);
    }
    add(&words, " file name");
}

namespace {

// "10 CMYK", "1 colour"...
void addCount(Text* text, std::size_t count, const char* what) {
    addNumber(text, static_cast<std::uint32_t>(count));
    add(text, what);
}

const char* profileClassWords(const ProfileCheck& check) {
    switch (check.problem) {
        case ProfileProblem::NotDevice:
            return "not a CMYK profile colours are converted from, but a device link, "
                   "abstract or named colour profile";
        case ProfileProblem::NoCmykToPcs:
            return "a CMYK profile without a table to convert its colours from, "
                   "relative colorimetric";
        case ProfileProblem::NoMemory:
            return "out of memory";
        default:
            return "not an ICC profile";
    }
}

}  // namespace

void addProfileCheck(Text* text, const ProfileCheck& check) {
    if (check.problem != ProfileProblem::NotCmyk) {
        return add(text, profileClassWords(check));
    }
    add(text, "not a CMYK profile: its colours are ");
    add(text, check.space);
}

void describeFit(const Format& target, const FitResult& fit, char* text, std::size_t capacity) {
    text[0] = '\0';
    Text words = {text, capacity, 0};
    const auto holds = static_cast<std::uint32_t>(target.capacity);
    if (fit.fit == Fit::Fits) {
        return;
    }
    if (fit.fit == Fit::Truncated) {
        addNumber(&words, static_cast<std::uint32_t>(fit.count - fit.kept));
        add(&words, " of ");
    }
    addNumber(&words, static_cast<std::uint32_t>(fit.count));
    add(&words, fit.fit == Fit::Truncated ? " colours left out; " : " colours; ");
    addTitle(&words, target);
    add(&words, " holds ");
    addNumber(&words, holds);
    if (fit.fit == Fit::TooMany) {
        add(&words, " (--truncate keeps the first ");
        addNumber(&words, holds);
        add(&words, ")");
    }
}

void describeColorConversion(const ConvertedCounts& counts, const char* profile, char* text,
                             std::size_t capacity) {
    text[0] = '\0';
    Text words = {text, capacity, 0};
    const std::size_t total = counts.cmyk + counts.lab;
    addCount(&words, total,
             total == 1 ? " colour converted to sRGB: " : " colours converted to sRGB: ");
    if (counts.cmyk != 0) {
        addCount(&words, counts.cmyk, " CMYK through ");
        add(&words, profile[0] != '\0' ? "\"" : "a profile without a description");
        add(&words, profile);
        add(&words, profile[0] != '\0' ? "\"" : "");
        add(&words, counts.lab != 0 ? ", " : "");
    }
    if (counts.lab != 0) {
        addCount(&words, counts.lab, " Lab");
    }
    if (counts.outside != 0) {
        add(&words, "; ");
        addCount(&words, counts.outside, " outside sRGB, clipped");
    }
}

}  // namespace kolorvane
