// Krita's palettes (.kpl): a zip archive whose first entry, "mimetype", is
// stored uncompressed (Krita ignores the file otherwise), then colorset.xml
// and profiles.xml. colorset.xml's root, ColorSet, holds the palette's
// "name" and "columns", then ColorSetEntry elements (the default group's)
// and Group elements of more; each entry has a "name", an RGB (or sRGB)
// element whose "r", "g" and "b" are from 0 to 1, and a Position (row,
// column) in its group's grid. Read as Krita shows it: the default group,
// then each group in turn, each in the order of its grid, entries without a
// position after those with one. Written as one group, in rows of 16, as
// 8-bit sRGB with Krita's own sRGB profile named.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "colour_names.h"
#include "documents.h"
#include "readers.h"

namespace kolorvane::formats {

namespace {

constexpr const char* kMimeType = "krita/x-colorset";
constexpr const char* kColorSet = "colorset.xml";
// The three entries and the colour profiles Krita embeds. colorset.xml is
// refused past 16 MiB, room for every colour a palette holds with a
// short name, and little enough to be parsed in memory at once.
constexpr ZipLimits kArchive = {64, std::size_t{16} * 1024 * 1024};
constexpr XmlLimits kXml = {std::size_t{16} * 1024 * 1024, 8};
constexpr std::size_t kColumns = 16;
constexpr const char* kProfile = "sRGB-elle-V2-srgbtrc.icc";  // Krita's own sRGB

// A share from 0 to 1 written as an attribute's text; false for any other.
bool takeShare(const pugi::xml_attribute& attribute, double* share) {
    const char* text = attribute.value();
    char* end = nullptr;
    *share = std::strtod(text, &end);
    return attribute && end != text && *end == '\0' && *share >= 0.0 && *share <= 1.0;
}

// An entry, placed where its group's grid has it: row × columns + column,
// or past every slot for an entry without a position.
struct Placed {
    pugi::xml_node node;
    std::size_t slot;
};

std::size_t slotOf(const pugi::xml_node& entry, std::size_t columns) {
    const pugi::xml_node position = entry.child("Position");
    if (!position) {
        return std::numeric_limits<std::size_t>::max();
    }
    const unsigned row = position.attribute("row").as_uint(kMaxColors);
    const unsigned column = position.attribute("column").as_uint(0);
    return std::min<std::size_t>(row, kMaxColors) * columns +
           std::min<std::size_t>(column, columns);
}

// An entry, refused without its line, which the caller finds only then.
ReadError readEntry(const pugi::xml_node& entry, Palette* palette) {
    const std::size_t number = palette->count + 1;
    pugi::xml_node rgb = entry.child("RGB");
    rgb = rgb ? rgb : entry.child("sRGB");
    if (!rgb) {
        return refusedSaying(0, number, "only RGB colours are read");
    }
    double shares[3] = {};
    if (!takeShare(rgb.attribute("r"), &shares[0]) || !takeShare(rgb.attribute("g"), &shares[1]) ||
        !takeShare(rgb.attribute("b"), &shares[2])) {
        return readError(ReadProblem::BadFloat, 0, number);
    }
    const Color color = {byteOfShare(shares[0]), byteOfShare(shares[1]), byteOfShare(shares[2])};
    const ReadError added = addColor(palette, color, 0);
    if (!refused(added)) {
        const char* name = entry.attribute("name").value();
        palette->colorNames[palette->count - 1] =
            nameFromText(palette, reinterpret_cast<const unsigned char*>(name), std::strlen(name));
    }
    return added;
}

// A group's entries (the root's own, or a Group's) in the order of its grid.
ReadError readGroup(const std::string& text, const pugi::xml_node& group, std::size_t columns,
                    Palette* palette) {
    const auto children = group.children("ColorSetEntry");
    std::vector<Placed> entries;
    std::transform(children.begin(), children.end(), std::back_inserter(entries),
                   [columns](const pugi::xml_node& entry) {
                       return Placed{entry, slotOf(entry, columns)};
                   });
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Placed& a, const Placed& b) { return a.slot < b.slot; });
    for (const Placed& placed : entries) {
        ReadError error = readEntry(placed.node, palette);
        if (refused(error)) {
            const auto offset = static_cast<std::size_t>(placed.node.offset_debug());
            error.at = static_cast<std::uint32_t>(lineAt(text.data(), text.size(), offset));
            return error;
        }
    }
    return kReadOk;
}

bool isColorSet(const pugi::xml_node& root) {
    return std::strcmp(root.name(), "ColorSet") == 0 || std::strcmp(root.name(), "Colorset") == 0;
}

}  // namespace

ReadError readKpl(const unsigned char* bytes, std::size_t size, Palette* palette) {
    std::string text;
    const ReadError unpacked = readZipEntry(bytes, size, kColorSet, kArchive, kColorSet, &text);
    pugi::xml_document document;
    const ReadError parsed =
        refused(unpacked) ? unpacked : parseXml(text.data(), text.size(), kXml, &document);
    if (refused(parsed)) {
        return parsed;
    }
    const pugi::xml_node root = document.document_element();
    if (!isColorSet(root)) {
        return readError(ReadProblem::Malformed,
                         lineAt(text.data(), text.size(), root.offset_debug()));
    }
    const char* name = root.attribute("name").value();
    palette->name =
        nameFromText(palette, reinterpret_cast<const unsigned char*>(name), std::strlen(name));
    const std::size_t columns =
        std::clamp<std::size_t>(root.attribute("columns").as_uint(1), 1, 4096);
    // The default group, the root's own entries, then each group.
    ReadError error = readGroup(text, root, columns, palette);
    for (auto group = root.child("Group"); group && !refused(error);
         group = group.next_sibling("Group")) {
        error = readGroup(text, group, columns, palette);
    }
    return refused(error) ? error : checkCount(palette->count, 1);
}

namespace {

// pugixml's output, gathered into a string.
struct TextWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

// A share of 255 with digits enough to give the byte back, as Krita writes
// its 8-bit colours.
void setShare(pugi::xml_node* rgb, const char* name, unsigned value) {
    rgb->append_attribute(name).set_value(value / 255.0, 10);
}

void addEntry(pugi::xml_node* root, const Palette& palette, std::size_t i) {
    const NameText name = colorName(palette, i);
    pugi::xml_node entry = root->append_child("ColorSetEntry");
    entry.append_attribute("name").set_value(std::string(name.bytes, name.size).c_str());
    entry.append_attribute("id").set_value(static_cast<unsigned>(i + 1));
    entry.append_attribute("spot").set_value("false");
    entry.append_attribute("bitdepth").set_value("U8");
    pugi::xml_node rgb = entry.append_child("RGB");
    rgb.append_attribute("space").set_value(kProfile);
    setShare(&rgb, "r", palette.colors[i].red);
    setShare(&rgb, "g", palette.colors[i].green);
    setShare(&rgb, "b", palette.colors[i].blue);
    pugi::xml_node position = entry.append_child("Position");
    position.append_attribute("row").set_value(static_cast<unsigned>(i / kColumns));
    position.append_attribute("column").set_value(static_cast<unsigned>(i % kColumns));
}

std::string colorSetOf(const Palette& palette) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    pugi::xml_node root = document.append_child("ColorSet");
    const NameText name = paletteName(palette);
    root.append_attribute("version").set_value("2.0");
    root.append_attribute("name").set_value(std::string(name.bytes, name.size).c_str());
    root.append_attribute("comment").set_value("");
    root.append_attribute("columns").set_value(static_cast<unsigned>(kColumns));
    root.append_attribute("rows").set_value(
        static_cast<unsigned>((palette.count + kColumns - 1) / kColumns));
    root.append_attribute("readonly").set_value("false");
    for (std::size_t i = 0; i < palette.count; i++) {
        addEntry(&root, palette, i);
    }
    // XML 1.0 holds no control character but tab and the line breaks, not
    // even as a reference, and Krita ignores a file that has one: a name's
    // C0 control characters are left out, tab and line breaks too.
    TextWriter writer;
    document.save(writer, " ", pugi::format_default | pugi::format_skip_control_chars,
                  pugi::encoding_utf8);
    return writer.text;
}

}  // namespace

std::size_t writeKpl(const Palette& palette, ByteBuffer* bytes) {
    const std::string mimeType = kMimeType;
    const std::string colorSet = colorSetOf(palette);
    const std::string profiles = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Profiles/>\n";
    const ZipEntry entries[] = {
        {"mimetype", &mimeType, true},
        {kColorSet, &colorSet, false},
        {"profiles.xml", &profiles, false},
    };
    ByteWriter writer = startWriting(bytes);
    return writeZip(entries, 3, &writer) ? written(writer) : 0;
}

}  // namespace kolorvane::formats
