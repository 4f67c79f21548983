// The containers the designers' palettes come in, read within limits set
// before any work: zip archives (libzip), XML (pugixml) and JSON
// (nlohmann-json). A zip bomb, a document of entities that expand a billion
// times and a document nested a million deep are each refused in a moment
// and a few megabytes, as an image that claims a vast size is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "bytes.h"
#include "format.h"

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

namespace kolorvane::formats {

// What a format's archive may hold: a palette's archive has a few small
// entries, so one of many entries, or an entry that claims to inflate past
// what the format can need, is refused before anything is inflated.
struct ZipLimits {
    std::size_t entries;
    std::size_t entrySize;  // bytes, inflated
};

// A refusal at `at` (a line) of colour `color` (or 0), which `what`, static
// words, says all of.
constexpr ReadError refusedSaying(std::size_t at, std::size_t color, const char* what) {
    return {ReadProblem::Refused, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(color),
            0, what};
}

// Entry `name` of the zip archive `bytes`, inflated into `contents`.
// Refused: NotThisFormat for bytes that are not a zip archive; Missing,
// saying `missing`, without the entry; LibraryRefused, with static words,
// for too many entries, an entry over its limit (by its claim or by what it
// inflates to), a compression or encryption that is not read, or damage
// that libzip finds (a CRC that does not match).
ReadError readZipEntry(const unsigned char* bytes, std::size_t size, const char* name,
                       const ZipLimits& limits, const char* missing, std::string* contents);

// Whether the archive's first entry is `name` and stored, not compressed:
// how a Krita palette's `mimetype` must be. False for bytes that are not
// an archive.
bool firstEntryIsStored(const unsigned char* bytes, std::size_t size, const char* name);

// One entry of an archive written: stored as it is, or deflated.
struct ZipEntry {
    const char* name;
    const std::string* contents;
    bool stored;
};

// The archive of `entries`, in their order, through `writer`. The same
// bytes on every system and in every time zone: each entry is dated
// 1980-01-01 00:00, the earliest date a zip archive holds, as the date an
// archive was made is no part of the palette. False when the memory cannot
// be had.
bool writeZip(const ZipEntry* entries, std::size_t count, ByteWriter* writer);

// The line of `offset` in `text`, from 1: where a refusal points.
std::size_t lineAt(const char* text, std::size_t size, std::size_t offset);

// An XML document, at most `largest` bytes (TooLarge past them) and
// `depth` elements deep (Unsupported at the line of the first element
// deeper). A document type declaration is refused (Refused, at its line),
// so that no entity is ever expanded or fetched; pugixml would otherwise
// leave an entity's reference unexpanded in the text. Malformed at the line
// where pugixml stops.
struct XmlLimits {
    std::size_t largest;
    std::size_t depth;
};

ReadError parseXml(const char* text, std::size_t size, const XmlLimits& limits,
                   pugi::xml_document* document);

// Each `child` element of `parent`, in order, a colour read by `readColor`;
// a refusal given the line of its element in `text` (`size` bytes), counted
// only then, as counting it for each colour would cost a long palette the
// square of its size. NoColors at the end of a palette of none.
ReadError readColorElements(const pugi::xml_node& parent, const char* child, const char* text,
                            std::size_t size,
                            ReadError (*readColor)(const pugi::xml_node& element, Palette* palette),
                            Palette* palette);

// A JSON document, at most `depth` arrays and objects deep (Unsupported past
// that, at its line, before any deeper value is built): Malformed at the
// line where the parser stops, for text that is not JSON (NaN and Infinity
// are not). Its values are read through checked accessors (jsonNumber and
// the like), so that a value of the wrong type is a refusal.
ReadError parseJson(const char* text, std::size_t size, std::size_t depth,
                    nlohmann::json* document);

// The line where element `index` (from 0) of the array that is the value
// of the first member named `key` starts, or 1 when there is none: where a
// refusal of that element points, as the parsed values keep no position.
std::size_t jsonElementLine(const char* text, std::size_t size, const char* key, std::size_t index);

// A share from 0 to 1, as the float formats hold a channel, to 8 bits:
// rounded, never truncated, so that v / 255 written gives v back.
unsigned char byteOfShare(double share);

// Member `key` of `object` as a number, or null when `object` is not an
// object, has no such member or it is not a number.
const nlohmann::json* jsonMember(const nlohmann::json& object, const char* key);
bool jsonNumber(const nlohmann::json* value, double* number);

}  // namespace kolorvane::formats
