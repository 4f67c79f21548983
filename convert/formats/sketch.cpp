// Sketch's palettes (.sketchpalette), as the Sketch Palettes plugin saves
// them: JSON of "compatibleVersion", "pluginVersion" and "colors", each an
// object of "red", "green", "blue" and "alpha" from 0 to 1, or, in files
// older than version 1.4, a hex string ("#rrggbb", "#rgb", or with alpha
// after them). No names. A colour of alpha 0 is skipped, as a transparent
// pixel is, and any other alpha dropped. Written in the 1.4 form, the
// oldest that holds colours as numbers.
#include <nlohmann/json.hpp>
#include <string>

#include "documents.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kDepth = 4;  // the object, "colors", a colour
constexpr const char* kVersion = "1.4";

bool isShare(double value) { return value >= 0.0 && value <= 1.0; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
        return (c | 0x20) - 'a' + 10;
    }
    return -1;
}

// "#rgb", "#rgba", "#rrggbb" or "#rrggbbaa": false for anything else. The
// alpha of a colour that has one is kept in `transparent` when it is 0.
bool takeHex(const std::string& text, Color* color, bool* transparent) {
    const std::size_t digits = text.size() - 1;
    if (text.empty() || text[0] != '#' ||
        (digits != 3 && digits != 4 && digits != 6 && digits != 8)) {
        return false;
    }
    const std::size_t width = digits <= 4 ? 1 : 2;
    unsigned values[4] = {0, 0, 0, 255};
    for (std::size_t i = 0; i < digits; i++) {
        const int digit = hexDigit(text[1 + i]);
        if (digit < 0) {
            return false;
        }
        unsigned& value = values[i / width];
        const auto part = static_cast<unsigned>(digit);
        value = width == 1 ? part * 17 : (i % 2 == 0 ? part : value * 16 + part);
    }
    *color = {static_cast<unsigned char>(values[0]), static_cast<unsigned char>(values[1]),
              static_cast<unsigned char>(values[2])};
    *transparent = values[3] == 0;
    return true;
}

// A colour of four shares; alpha, when absent, is 1.
bool takeShares(const Json& value, Color* color, bool* transparent) {
    double shares[4] = {0, 0, 0, 1};
    const Json* alpha = jsonMember(value, "alpha");
    const bool read = jsonNumber(jsonMember(value, "red"), &shares[0]) &&
                      jsonNumber(jsonMember(value, "green"), &shares[1]) &&
                      jsonNumber(jsonMember(value, "blue"), &shares[2]) &&
                      (alpha == nullptr || jsonNumber(alpha, &shares[3]));
    if (!read || !isShare(shares[0]) || !isShare(shares[1]) || !isShare(shares[2]) ||
        !isShare(shares[3])) {
        return false;
    }
    *color = {byteOfShare(shares[0]), byteOfShare(shares[1]), byteOfShare(shares[2])};
    *transparent = shares[3] == 0.0;
    return true;
}

// Colour `number`, refused without its line, which the caller finds only
// then: finding it costs a pass over the text.
ReadError readColor(const Json& value, std::size_t number, Palette* palette) {
    Color color{};
    bool transparent = false;
    if (value.is_string()) {
        if (!takeHex(*value.get_ptr<const std::string*>(), &color, &transparent)) {
            return readError(ReadProblem::BadHexDigit, 0, number);
        }
    } else if (!value.is_object()) {
        return readError(ReadProblem::Malformed, 0, number);
    } else if (!takeShares(value, &color, &transparent)) {
        return readError(ReadProblem::BadFloat, 0, number);
    }
    return transparent ? kReadOk : addColor(palette, color, 0);
}

}  // namespace

ReadError readSketch(const unsigned char* bytes, std::size_t size, Palette* palette) {
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    Json document;
    const ReadError parsed = parseJson(text.data(), text.size(), kDepth, &document);
    if (refused(parsed)) {
        return parsed;
    }
    const Json* colors = jsonMember(document, "colors");
    if (colors == nullptr || !colors->is_array()) {
        return readError(ReadProblem::NotThisFormat);
    }
    for (std::size_t i = 0; i < colors->size(); i++) {
        ReadError error = readColor((*colors)[i], i + 1, palette);
        if (refused(error)) {
            error.at =
                static_cast<std::uint32_t>(jsonElementLine(text.data(), text.size(), "colors", i));
            return error;
        }
    }
    return checkCount(palette->count, 1);
}

std::size_t writeSketch(const Palette& palette, ByteBuffer* bytes) {
    Json colors = Json::array();
    for (std::size_t i = 0; i < palette.count; i++) {
        const Color& color = palette.colors[i];
        colors.push_back({{"red", color.red / 255.0},
                          {"green", color.green / 255.0},
                          {"blue", color.blue / 255.0},
                          {"alpha", 1}});
    }
    const Json document = {
        {"compatibleVersion", kVersion}, {"pluginVersion", kVersion}, {"colors", colors}};
    ByteWriter writer = startWriting(bytes);
    putText(&writer, document.dump(2).c_str());
    putByte(&writer, '\n');
    return written(writer);
}

}  // namespace kolorvane::formats
