#include "colour_management.h"

// C++17 has no `register`, which LittleCMS's header uses unless told not to.
#define CMS_NO_REGISTER_KEYWORD 1
#include <lcms2.h>

#include <cmath>
#include <type_traits>

namespace kolorvane {

namespace {

constexpr double kLargestLevel = 255.0;
// A channel this far past either end is outside sRGB; paper white, which
// comes out a hair above 255, is not.
constexpr double kOutsideBy = 0.5;

// `text` as a description keeps it: printable ASCII; a UTF-16 surrogate
// pair, as LittleCMS hands it over, one "?" like any other character.
void describe(const wchar_t* text, char* description) {
    std::size_t size = 0;
    for (const wchar_t* c = text; *c != L'\0' && size + 1 < kDescriptionSize; c++) {
        const auto unit =
            static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(*c));
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            continue;  // the second half of a pair, whose first gave the "?"
        }
        description[size++] = unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    description[size] = '\0';
}

// The profile's description (its 'desc' tag, in English where it has a
// choice) into `description`; empty when it has none.
void describeProfile(cmsHPROFILE profile, char* description) {
    wchar_t text[kDescriptionSize] = {};
    const cmsUInt32Number got =
        cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    text[kDescriptionSize - 1] = L'\0';  // cut short, LittleCMS leaves it unterminated
    if (got == 0) {
        text[0] = L'\0';
    }
    describe(text, description);
}

// The four characters of a header signature, spaces at the end trimmed, each
// that is not printable a "?".
void signatureText(cmsUInt32Number signature, char* text) {
    std::size_t length = 4;
    for (std::size_t i = 0; i < 4; i++) {
        const auto c = static_cast<unsigned char>(signature >> (24 - 8 * i));
        text[i] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    while (length > 0 && text[length - 1] == ' ') {
        length--;
    }
    text[length] = '\0';
}

bool isDeviceClass(cmsProfileClassSignature kind) {
    return kind == cmsSigInputClass || kind == cmsSigDisplayClass || kind == cmsSigOutputClass ||
           kind == cmsSigColorSpaceClass;
}

ProfileProblem problemOf(cmsHPROFILE profile) {
    if (cmsGetColorSpace(profile) != cmsSigCmykData) {
        return ProfileProblem::NotCmyk;
    }
    if (!isDeviceClass(cmsGetDeviceClass(profile))) {
        return ProfileProblem::NotDevice;
    }
    return cmsIsIntentSupported(profile, INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_INPUT) != 0
               ? ProfileProblem::None
               : ProfileProblem::NoCmykToPcs;
}

cmsHPROFILE openProfile(cmsContext context, const unsigned char* bytes, std::size_t size) {
    if (bytes == nullptr || size > 0xFFFFFFFFU) {
        return nullptr;  // none, or more than an ICC profile's 32-bit size
    }
    return cmsOpenProfileFromMemTHR(context, bytes, static_cast<cmsUInt32Number>(size));
}

// From `input`, of `format`, to sRGB in doubles; null when it cannot be made.
// Both profiles are closed, whatever happens: the transform keeps what it
// needs of them.
cmsHTRANSFORM transformToSrgb(cmsContext context, cmsHPROFILE input, cmsUInt32Number format,
                              cmsUInt32Number flags) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context);
    cmsHTRANSFORM transform = nullptr;
    if (input != nullptr && srgb != nullptr) {
        transform = cmsCreateTransformTHR(context, input, format, srgb, TYPE_RGB_DBL,
                                          INTENT_RELATIVE_COLORIMETRIC, flags);
    }
    for (cmsHPROFILE profile : {input, srgb}) {
        if (profile != nullptr) {
            cmsCloseProfile(profile);
        }
    }
    return transform;
}

// The transform for colours of `space`, made at its first use.
void* transformFor(ColorManagement* management, ColorSpace space) {
    if (management->context == nullptr) {
        management->context = cmsCreateContext(nullptr, nullptr);
        if (management->context == nullptr) {
            return nullptr;
        }
    }
    auto* context = static_cast<cmsContext>(management->context);
    if (space == ColorSpace::Lab) {
        if (management->labTransform == nullptr) {
            management->labTransform = transformToSrgb(
                context, cmsCreateLab4ProfileTHR(context, nullptr), TYPE_Lab_DBL, 0);
        }
        return management->labTransform;
    }
    if (management->cmykTransform == nullptr) {
        cmsHPROFILE profile =
            openProfile(context, management->cmykProfile, management->cmykProfileSize);
        if (profile != nullptr) {
            describeProfile(profile, management->description);
        }
        management->cmykTransform =
            transformToSrgb(context, profile, TYPE_CMYK_DBL, cmsFLAGS_BLACKPOINTCOMPENSATION);
    }
    return management->cmykTransform;
}

// A channel from 0 to 1, as LittleCMS gives it unclipped, to 8 bits; true
// when it is outside sRGB. Not a number is taken as outside, and black.
bool toByte(double share, unsigned char* channel) {
    const double level = share * kLargestLevel;
    const bool outside = !(level >= -kOutsideBy && level <= kLargestLevel + kOutsideBy);
    double clipped = level >= 0.0 ? level : 0.0;
    clipped = clipped <= kLargestLevel ? clipped : kLargestLevel;
    *channel = static_cast<unsigned char>(std::floor(clipped + 0.5));
    return outside;
}

// The colours converted in one call to LittleCMS.
constexpr std::size_t kBatch = 256;

// The values of up to kBatch of the palette's source colours of `space`,
// from the `*next`th on, `channels` a colour, into `values`, and the
// colours they are into `indexes`: their count. `*next` moves past them.
std::size_t gather(const Palette& palette, ColorSpace space, std::size_t channels, double* values,
                   std::size_t* indexes, std::size_t* next) {
    std::size_t count = 0;
    for (; *next < palette.sourceColorCount && count < kBatch; ++*next) {
        const SourceColor& source = palette.sourceColors[*next];
        if (source.space == space) {
            for (std::size_t c = 0; c < channels; c++) {
                values[count * channels + c] = source.values[c];
            }
            indexes[count++] = source.index;
        }
    }
    return count;
}

// The palette's source colours of `space`, converted kBatch to a call:
// their count into `converted`, those outside sRGB added to `outside`.
bool convertSpace(ColorManagement* management, ColorSpace space, Palette* palette,
                  std::size_t* converted, std::size_t* outside) {
    double in[kBatch * 4] = {};
    double out[kBatch * 3] = {};
    std::size_t indexes[kBatch] = {};
    std::size_t next = 0;
    *converted = 0;
    for (;;) {
        const std::size_t count =
            gather(*palette, space, space == ColorSpace::Cmyk ? 4 : 3, in, indexes, &next);
        if (count == 0) {
            return true;
        }
        void* transform = transformFor(management, space);
        if (transform == nullptr) {
            return false;
        }
        cmsDoTransform(transform, in, out, static_cast<cmsUInt32Number>(count));
        for (std::size_t k = 0; k < count; k++) {
            unsigned char rgb[3] = {};
            bool beyond = false;
            for (std::size_t c = 0; c < 3; c++) {
                beyond = toByte(out[k * 3 + c], &rgb[c]) || beyond;
            }
            palette->colors[indexes[k]] = {rgb[0], rgb[1], rgb[2]};
            *outside += beyond ? 1 : 0;
        }
        *converted += count;
    }
}

}  // namespace

ColorManagement startColorManagement(const unsigned char* profile, std::size_t size) {
    ColorManagement management{};  // nothing made yet, no description
    management.cmykProfile = profile;
    management.cmykProfileSize = size;
    return management;
}

void endColorManagement(ColorManagement* management) {
    for (void** transform : {&management->cmykTransform, &management->labTransform}) {
        if (*transform != nullptr) {
            cmsDeleteTransform(*transform);
            *transform = nullptr;
        }
    }
    if (management->context != nullptr) {
        cmsDeleteContext(static_cast<cmsContext>(management->context));
        management->context = nullptr;
    }
}

ProfileCheck checkCmykProfile(const unsigned char* bytes, std::size_t size) {
    ProfileCheck check{};  // no problem, no space, no description
    cmsContext context = cmsCreateContext(nullptr, nullptr);
    cmsHPROFILE profile = context == nullptr ? nullptr : openProfile(context, bytes, size);
    if (profile == nullptr) {
        check.problem = context == nullptr ? ProfileProblem::NoMemory : ProfileProblem::NotIcc;
    } else {
        check.problem = problemOf(profile);
        signatureText(cmsGetColorSpace(profile), check.space);
        describeProfile(profile, check.description);
        cmsCloseProfile(profile);
    }
    if (context != nullptr) {
        cmsDeleteContext(context);
    }
    return check;
}

bool convertSourceColors(ColorManagement* management, Palette* palette, ConvertedCounts* counts) {
    *counts = ConvertedCounts{};
    if (palette->sourceColorCount == 0) {
        return true;  // the most palettes: nothing to gather
    }
    return convertSpace(management, ColorSpace::Cmyk, palette, &counts->cmyk, &counts->outside) &&
           convertSpace(management, ColorSpace::Lab, palette, &counts->lab, &counts->outside);
}

}  // namespace kolorvane
