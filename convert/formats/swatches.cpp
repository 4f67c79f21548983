// Procreate's swatches (.swatches): a zip archive holding Swatches.json, an
// object of the palette's "name" and its "swatches", up to 30, each null
// (an empty slot, skipped) or an object of "hue", "saturation",
// "brightness" and "alpha", numbers from 0 to 1. Older files wrap the object
// in an array of one; newer ones add colour-profile fields, which are
// ignored. HSB is read by the formula .aco's is; a swatch of alpha 0 is
// skipped, as a transparent pixel is, and any other alpha dropped. Written
// as Procreate 5 exports it: the plain object, each swatch with alpha 1 and
// colour space 0, and no empty slots.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "colour_names.h"
#include "documents.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

using Json = nlohmann::json;

constexpr const char* kEntry = "Swatches.json";
// An archive of Swatches.json alone, or with a folder or two a zip tool
// adds; thirty swatches with their colour profiles take a few kilobytes.
constexpr ZipLimits kArchive = {8, std::size_t{1024} * 1024};
constexpr std::size_t kDepth = 8;  // array, object, swatches, swatch, components

struct Swatch {
    double hue;
    double saturation;
    double brightness;
    double alpha;
};

bool isShare(double value) { return value >= 0.0 && value <= 1.0; }

// Swatch `number`'s four numbers; alpha, when absent, is 1. False for a
// field that is missing, not a number or outside 0 to 1.
bool takeSwatch(const Json& value, Swatch* swatch) {
    swatch->alpha = 1.0;
    const Json* alpha = jsonMember(value, "alpha");
    return jsonNumber(jsonMember(value, "hue"), &swatch->hue) &&
           jsonNumber(jsonMember(value, "saturation"), &swatch->saturation) &&
           jsonNumber(jsonMember(value, "brightness"), &swatch->brightness) &&
           (alpha == nullptr || jsonNumber(alpha, &swatch->alpha)) && isShare(swatch->hue) &&
           isShare(swatch->saturation) && isShare(swatch->brightness) && isShare(swatch->alpha);
}

// The object that holds the palette: the document, or the one element of
// an array around it; null for anything else.
const Json* paletteObject(const Json& document) {
    if (document.is_array() && document.size() == 1) {
        return document[0].is_object() ? &document[0] : nullptr;
    }
    return document.is_object() ? &document : nullptr;
}

// Swatch `number`, skipped when it is empty or transparent; refused
// without its line, which the caller finds only then.
ReadError readSwatch(const Json& value, std::size_t number, Palette* palette) {
    Swatch swatch{};
    if (value.is_null()) {
        return kReadOk;
    }
    if (!value.is_object()) {
        return readError(ReadProblem::Malformed, 0, number);
    }
    if (!takeSwatch(value, &swatch)) {
        return readError(ReadProblem::BadFloat, 0, number);
    }
    return swatch.alpha == 0.0
               ? kReadOk
               : addColor(palette, colorFromHsb(swatch.hue, swatch.saturation, swatch.brightness),
                          0);
}

ReadError readSwatchList(const std::string& text, const Json& swatches, Palette* palette) {
    for (std::size_t i = 0; i < swatches.size(); i++) {
        ReadError error = readSwatch(swatches[i], i + 1, palette);
        if (refused(error)) {
            error.at = static_cast<std::uint32_t>(
                jsonElementLine(text.data(), text.size(), "swatches", i));
            return error;
        }
    }
    return kReadOk;
}

}  // namespace

ReadError readSwatches(const unsigned char* bytes, std::size_t size, Palette* palette) {
    std::string text;
    const ReadError unpacked = readZipEntry(bytes, size, kEntry, kArchive, kEntry, &text);
    Json document;
    const ReadError parsed =
        refused(unpacked) ? unpacked : parseJson(text.data(), text.size(), kDepth, &document);
    if (refused(parsed)) {
        return parsed;
    }
    const Json* object = paletteObject(document);
    const Json* swatches = object == nullptr ? nullptr : jsonMember(*object, "swatches");
    if (swatches == nullptr || !swatches->is_array()) {
        return readError(ReadProblem::Malformed, 1);
    }
    const Json* name = jsonMember(*object, "name");
    if (name != nullptr && name->is_string()) {
        const std::string* value = name->get_ptr<const std::string*>();
        palette->name = nameFromText(palette, reinterpret_cast<const unsigned char*>(value->data()),
                                     value->size());
    }
    const ReadError read = readSwatchList(text, *swatches, palette);
    return refused(read) ? read : checkCount(palette->count, 1);
}

namespace {

// A colour as Procreate's hue, saturation and brightness.
Json swatchOf(const Color& color) {
    const int red = color.red;
    const int green = color.green;
    const int blue = color.blue;
    const int most = std::max({red, green, blue});
    const int least = std::min({red, green, blue});
    const double range = most - least;
    double sixths = 0.0;
    if (range > 0 && most == red) {
        sixths = (green - blue) / range + (green < blue ? 6.0 : 0.0);
    } else if (range > 0 && most == green) {
        sixths = (blue - red) / range + 2.0;
    } else if (range > 0) {
        sixths = (red - green) / range + 4.0;
    }
    return {{"hue", sixths / 6.0},
            {"saturation", most == 0 ? 0.0 : range / most},
            {"brightness", most / 255.0},
            {"alpha", 1},
            {"colorSpace", 0}};
}

}  // namespace

std::size_t writeSwatches(const Palette& palette, ByteBuffer* bytes) {
    const NameText name = paletteName(palette);
    Json swatches = Json::array();
    for (std::size_t i = 0; i < palette.count && i < kSwatchesCapacity; i++) {
        swatches.push_back(swatchOf(palette.colors[i]));
    }
    const Json document = {{"name", std::string(name.bytes, name.size)},
                           {"swatches", std::move(swatches)}};
    const std::string text = document.dump(-1, ' ', false, Json::error_handler_t::replace);
    const ZipEntry entry = {kEntry, &text, false};
    ByteWriter writer = startWriting(bytes);
    return writeZip(&entry, 1, &writer) ? written(writer) : 0;
}

}  // namespace kolorvane::formats
