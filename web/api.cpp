#include "api.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "builtin_profile.h"
#include "colour_management.h"
#include "documents.h"
#include "format_conversion.h"
#include "memory_source.h"
#include "messages.h"

namespace kolorvane::web {

// The largest CMYK profile taken, as the command line's: the largest press
// profiles are a few MiB.
constexpr std::size_t kMaxProfileSize = std::size_t{32} * 1024 * 1024;

constexpr std::size_t kMessageSize = 3 * kMaxPath;

enum class Refusal { None, UnsupportedName, UnknownPal, Other };

// The outputs "Save all" gathers, by name, until the archive is written.
struct SavedOutputs {
    std::vector<std::string> names;
    std::vector<std::string> contents;
};

struct Session {
    unsigned char* given;  // the bytes the page hands over
    std::size_t givenRoom;
    ByteBuffer window;  // the core's buffer for a source
    Palette palette;
    ByteBuffer encoded;
    std::size_t outputSize;
    const unsigned char* output;  // the encoded bytes, or the ZIP
    char outputName[kMaxPath];
    const Format* format;
    const Format* target;
    Refusal refusal;
    char message[kMessageSize];
    char warning[kMessageSize];
    char note[kMessageSize];
    unsigned char* profile;                     // the user's CMYK profile, or null for the built-in
    char profileDescription[kDescriptionSize];  // "" for the built-in
    ColorManagement colors;
    SavedOutputs* saved;  // between kv_zip_start and kv_zip_finish
    ByteBuffer archive;   // the last kv_zip_finish's ZIP
};

namespace {

// File names on the page have no folders: a "/" in one would be its own.
const PathRules kRules = {"/", [](unsigned char) { return false; }};

bool refuse(Session* session, Refusal refusal, const char* words) {
    session->refusal = refusal;
    std::strncpy(session->message, words, kMessageSize - 1);
    return false;
}

// Plans as the command line does; --show takes an output's path that
// would not fit as none.
bool plan(Session* session, const char* name, const Format* from, const Format* to, bool show,
          ConversionPlan* conversion) {
    PlanStatus status = planConversion(name, kRules, nullptr, from, to, conversion);
    if (show && status == PlanStatus::OutputTooLong) {
        status = PlanStatus::Planned;
    }
    switch (status) {
        case PlanStatus::Planned:
            return true;
        case PlanStatus::PathTooLong:
            return refuse(session, Refusal::Other, "the path is too long");
        case PlanStatus::OutputTooLong:
            return refuse(session, Refusal::Other, "the output's path would be too long");
        case PlanStatus::Unsupported:
            break;
    }
    char words[kMessageSize] = {};
    describeUnsupportedName(words, sizeof words);
    return refuse(session, Refusal::UnsupportedName, words);
}

// The bytes handed over read as the file `name`, their colours all in sRGB.
bool readGiven(Session* session, std::size_t size, const char* name,
               const ConversionPlan& conversion) {
    MemoryFile file = {session->given, size, 0};
    const PaletteSource source = readPaletteSource(
        memoryPlatform(&file), name, conversion.forced ? conversion.sourceFormat : nullptr,
        &session->window, &session->palette);
    if (source.source.status != SourceStatus::Read || refused(source.error)) {
        char words[kMessageSize] = {};
        const Format& format = source.format != nullptr ? *source.format : *conversion.sourceFormat;
        describeReadError(format, source.error, words, sizeof words);
        const bool pal = source.error.problem == ReadProblem::UnknownPal;
        return refuse(session, pal ? Refusal::UnknownPal : Refusal::Other, words);
    }
    session->format = source.format;
    ConvertedCounts counts{};
    if (!convertSourceColors(&session->colors, &session->palette, &counts)) {
        return refuse(session, Refusal::Other,
                      "LittleCMS cannot convert its colours through the CMYK profile");
    }
    if (counts.cmyk + counts.lab != 0) {
        describeColorConversion(counts, session->colors.description, session->warning,
                                sizeof session->warning);
    }
    return true;
}

// A --to or --from name, "" for none; false for a name no format has.
bool formatOf(Session* session, const char* name, const Format** format) {
    *format = name[0] == '\0' ? nullptr : formatNamed(name);
    return name[0] == '\0' || *format != nullptr ||
           refuse(session, Refusal::Other, "no format has that name");
}

void startCall(Session* session) {
    session->refusal = Refusal::None;
    session->message[0] = '\0';
    session->warning[0] = '\0';
    session->note[0] = '\0';
    session->format = nullptr;
    session->target = nullptr;
    session->outputSize = 0;
    session->outputName[0] = '\0';
    clearPalette(&session->palette);
}

// Converts through the `size` bytes of `profile`, the session's from now
// on, instead of the profile it had.
void useProfile(Session* session, unsigned char* profile, std::size_t size,
                const char* description) {
    endColorManagement(&session->colors);
    std::free(session->profile);
    session->profile = profile;
    session->colors = startColorManagement(profile, size);
    std::strncpy(session->profileDescription, description, kDescriptionSize - 1);
}

bool show(Session* session, std::size_t size, const char* name, const char* from, const char* to,
          ConversionPlan* conversion) {
    startCall(session);
    const Format* source = nullptr;
    const Format* target = nullptr;
    if (size > session->givenRoom || !formatOf(session, from, &source) ||
        !formatOf(session, to, &target) ||
        !plan(session, name, source, target, to[0] == '\0', conversion)) {
        return false;
    }
    session->target = conversion->target;
    return readGiven(session, size, name, *conversion);
}

}  // namespace

}  // namespace kolorvane::web

using namespace kolorvane;
using namespace kolorvane::web;

Session* kv_start() {
    auto* session = static_cast<Session*>(std::calloc(1, sizeof(Session)));
    if (session == nullptr) {
        return nullptr;
    }
    session->palette = kEmptyPalette;
    session->colors = startColorManagement(kBuiltInCmykProfile, kBuiltInCmykProfileSize);
    return session;
}

void kv_end(Session* session) {
    if (session == nullptr) {
        return;
    }
    endColorManagement(&session->colors);
    delete session->saved;
    endBytes(&session->archive);
    std::free(session->profile);
    std::free(session->given);
    endBytes(&session->window);
    endPalette(&session->palette);
    endBytes(&session->encoded);
    std::free(session);
}

unsigned char* kv_source(Session* session, std::size_t size) {
    if (size > session->givenRoom) {
        std::free(session->given);
        session->givenRoom = 0;
        session->given = static_cast<unsigned char*>(std::malloc(size));
        if (session->given == nullptr) {
            return nullptr;
        }
        session->givenRoom = size;
    }
    // Room for nothing is still somewhere to point at.
    return session->given != nullptr ? session->given : reinterpret_cast<unsigned char*>(session);
}

int kv_show(Session* session, std::size_t size, const char* name, const char* from) {
    ConversionPlan conversion{};
    return show(session, size, name, from, "", &conversion) ? 1 : 0;
}

int kv_convert(Session* session, std::size_t size, const char* name, const char* from,
               const char* to, int truncate) {
    ConversionPlan conversion{};
    if (!show(session, size, name, from, to, &conversion)) {
        return 0;
    }
    const FitResult fit = fitPalette(*conversion.target, truncate != 0, &session->palette);
    if (fit.fit == Fit::TooMany) {
        char words[kMessageSize] = {};
        describeFit(*conversion.target, fit, words, sizeof words);
        refuse(session, Refusal::Other, words);
        return 0;
    }
    if (fit.fit == Fit::Truncated) {
        describeFit(*conversion.target, fit, session->note, sizeof session->note);
    }
    nameAfterOutput(conversion, nullptr, &session->palette);
    session->outputSize = session->palette.outOfMemory
                              ? 0
                              : conversion.target->write(session->palette, &session->encoded);
    if (session->outputSize == 0) {
        refuse(session, Refusal::Other, "out of memory");
        return 0;
    }
    session->output = session->encoded.bytes;
    std::strncpy(session->outputName, conversion.paths.output, kMaxPath - 1);
    return 1;
}

const char* kv_message(const Session* session) { return session->message; }

int kv_refusal(const Session* session) { return static_cast<int>(session->refusal); }

const char* kv_warning(const Session* session) { return session->warning; }

const char* kv_note(const Session* session) { return session->note; }

const char* kv_format(const Session* session) {
    return session->format != nullptr ? session->format->name : "";
}

const char* kv_target(const Session* session) {
    return session->target != nullptr ? session->target->name : "";
}

std::size_t kv_count(const Session* session) { return session->palette.count; }

const unsigned char* kv_colors(const Session* session) {
    static_assert(sizeof(Color) == 3, "the page reads the colours as three bytes each");
    return session->palette.count == 0 ? nullptr : &session->palette.colors[0].red;
}

const char* kv_palette_name(const Session* session) { return paletteName(session->palette).bytes; }

std::size_t kv_palette_name_size(const Session* session) {
    return paletteName(session->palette).size;
}

const char* kv_color_name(const Session* session, std::size_t index) {
    return colorName(session->palette, index).bytes;
}

std::size_t kv_color_name_size(const Session* session, std::size_t index) {
    return colorName(session->palette, index).size;
}

const unsigned char* kv_output(const Session* session) { return session->output; }

std::size_t kv_output_size(const Session* session) { return session->outputSize; }

const char* kv_output_name(const Session* session) { return session->outputName; }

void kv_zip_start(Session* session) {
    delete session->saved;
    session->saved = new (std::nothrow) SavedOutputs;
}

int kv_zip_add(Session* session, const char* name) {
    if (session->saved == nullptr) {
        return 0;
    }
    const auto* output = reinterpret_cast<const char*>(session->output);
    session->saved->names.emplace_back(name);
    session->saved->contents.emplace_back(output, session->outputSize);
    return 1;
}

// Each output deflated: the archive is for carrying them, and a text
// palette of thousands of colours shrinks to a fraction.
int kv_zip_finish(Session* session) {
    startCall(session);
    SavedOutputs* saved = session->saved;
    session->saved = nullptr;
    if (saved == nullptr) {
        return 0;
    }
    std::vector<formats::ZipEntry> entries;
    for (std::size_t i = 0; i < saved->names.size(); i++) {
        entries.push_back({saved->names[i].c_str(), &saved->contents[i], false});
    }
    formats::ByteWriter writer = formats::startWriting(&session->archive);
    const bool done = formats::writeZip(entries.data(), entries.size(), &writer);
    delete saved;
    if (!done) {
        return 0;
    }
    session->output = session->archive.bytes;
    session->outputSize = formats::written(writer);
    return 1;
}

int kv_use_profile(Session* session, std::size_t size) {
    startCall(session);
    if (size > kMaxProfileSize) {
        refuse(session, Refusal::Other, "larger than 32 MiB, the most a profile is read from");
        return 0;
    }
    const ProfileCheck check = checkCmykProfile(session->given, size);
    if (check.problem != ProfileProblem::None) {
        Text words = {session->message, sizeof session->message, 0};
        addProfileCheck(&words, check);
        session->refusal = Refusal::Other;
        return 0;
    }
    auto* profile = static_cast<unsigned char*>(std::malloc(size));
    if (profile == nullptr) {
        refuse(session, Refusal::Other, "out of memory");
        return 0;
    }
    std::memcpy(profile, session->given, size);
    useProfile(session, profile, size, check.description);
    return 1;
}

const char* kv_profile(const Session* session) { return session->profileDescription; }

std::size_t kv_format_count() { return kFormatCount; }

const char* kv_format_name(std::size_t index) { return kFormats[index].name; }

const char* kv_format_title(std::size_t index) { return kFormats[index].title; }

const char* kv_format_extension(std::size_t index) { return kFormats[index].extension; }

int kv_format_writes(std::size_t index) { return kFormats[index].write != nullptr ? 1 : 0; }
