// Zip archives, XML and JSON within the limits documents.h sets.
#include "documents.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <zip.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

namespace kolorvane::formats {

namespace {

// An archive open over bytes in memory, closed (and its changes dropped)
// when it goes.
struct OpenArchive {
    zip_t* archive = nullptr;
    OpenArchive() = default;
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;
    ~OpenArchive() {
        if (archive != nullptr) {
            zip_discard(archive);
        }
    }
};

// Opens `bytes` read-only, checking the central directory against the
// local headers; false for bytes that are not an archive.
bool openArchive(const unsigned char* bytes, std::size_t size, OpenArchive* open) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes, size, 0, &error);
    if (source != nullptr) {
        open->archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (open->archive == nullptr) {
            zip_source_free(source);
        }
    }
    zip_error_fini(&error);
    return open->archive != nullptr;
}

// A file of the archive open for reading, closed when it goes.
struct OpenEntry {
    zip_file_t* file = nullptr;
    OpenEntry() = default;
    OpenEntry(const OpenEntry&) = delete;
    OpenEntry& operator=(const OpenEntry&) = delete;
    ~OpenEntry() {
        if (file != nullptr) {
            zip_fclose(file);
        }
    }
};

// Entry `index`, whose size has been checked, inflated: at most one byte
// more than it claims is taken, so that an entry that inflates past its
// claim costs no more than its claim.
ReadError inflateEntry(zip_t* archive, zip_uint64_t index, std::size_t claimed,
                       std::string* contents) {
    OpenEntry entry;
    entry.file = zip_fopen_index(archive, index, 0);
    if (entry.file == nullptr) {
        return readErrorSaying(ReadProblem::LibraryRefused, "an entry cannot be inflated");
    }
    contents->resize(claimed + 1);
    std::size_t got = 0;
    while (got < contents->size()) {
        const zip_int64_t count =
            zip_fread(entry.file, contents->data() + got, contents->size() - got);
        if (count < 0) {
            return readErrorSaying(ReadProblem::LibraryRefused,
                                   "an entry is damaged: its data or CRC is wrong");
        }
        if (count == 0) {
            break;
        }
        got += static_cast<std::size_t>(count);
    }
    if (got != claimed) {
        return readErrorSaying(ReadProblem::LibraryRefused,
                               "an entry inflates to another size than it claims");
    }
    contents->resize(got);
    return kReadOk;
}

}  // namespace

ReadError readZipEntry(const unsigned char* bytes, std::size_t size, const char* name,
                       const ZipLimits& limits, const char* missing, std::string* contents) {
    OpenArchive open;
    if (!openArchive(bytes, size, &open)) {
        return readError(ReadProblem::NotThisFormat);
    }
    const zip_int64_t entries = zip_get_num_entries(open.archive, 0);
    if (entries < 0 || static_cast<zip_uint64_t>(entries) > limits.entries) {
        return readErrorSaying(ReadProblem::LibraryRefused,
                               "the archive has more entries than a palette's");
    }
    const zip_int64_t index = zip_name_locate(open.archive, name, 0);
    if (index < 0) {
        return readErrorSaying(ReadProblem::Missing, missing);
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    const auto at = static_cast<zip_uint64_t>(index);
    if (zip_stat_index(open.archive, at, 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
        return readErrorSaying(ReadProblem::LibraryRefused, "an entry's header is damaged");
    }
    if (stat.size > limits.entrySize) {
        return readErrorSaying(ReadProblem::LibraryRefused,
                               "an entry claims more bytes than a palette needs");
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE) {
        return readErrorSaying(ReadProblem::LibraryRefused, "an entry is encrypted");
    }
    if (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE) {
        return readErrorSaying(ReadProblem::LibraryRefused,
                               "an entry is compressed by a method other than deflate");
    }
    return inflateEntry(open.archive, at, static_cast<std::size_t>(stat.size), contents);
}

bool firstEntryIsStored(const unsigned char* bytes, std::size_t size, const char* name) {
    OpenArchive open;
    zip_stat_t stat;
    zip_stat_init(&stat);
    return openArchive(bytes, size, &open) && zip_stat_index(open.archive, 0, 0, &stat) == 0 &&
           (stat.valid & ZIP_STAT_NAME) != 0 && std::strcmp(stat.name, name) == 0 &&
           stat.comp_method == ZIP_CM_STORE;
}

namespace {

// A time no calendar reaches: libzip's conversion to the archive's local
// date fails for it and writes 1980-01-01 00:00 instead, the same on every
// system and in every time zone.
constexpr time_t kNoDate = std::numeric_limits<time_t>::max();

bool addEntry(zip_t* archive, const ZipEntry& entry) {
    zip_source_t* source =
        zip_source_buffer(archive, entry.contents->data(), entry.contents->size(), 0);
    if (source == nullptr) {
        return false;
    }
    const zip_int64_t index = zip_file_add(archive, entry.name, source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    const auto at = static_cast<zip_uint64_t>(index);
    const zip_int32_t method = entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    return zip_set_file_compression(archive, at, method, entry.stored ? 0 : 9) == 0 &&
           zip_file_set_mtime(archive, at, kNoDate, 0) == 0;
}

// The bytes libzip wrote into `source`, through the writer.
bool copyOut(zip_source_t* source, ByteWriter* writer) {
    if (zip_source_open(source) != 0) {
        return false;
    }
    unsigned char chunk[4096];
    zip_int64_t count = 0;
    while ((count = zip_source_read(source, chunk, sizeof chunk)) > 0) {
        for (zip_int64_t i = 0; i < count; i++) {
            putByte(writer, chunk[i]);
        }
    }
    zip_source_close(source);
    return count == 0;
}

}  // namespace

bool writeZip(const ZipEntry* entries, std::size_t count, ByteWriter* writer) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_error_fini(&error);
    if (source == nullptr) {
        return false;
    }
    // The source outlives the archive, which hands its bytes to it on close.
    zip_source_keep(source);
    zip_t* archive = zip_open_from_source(source, ZIP_TRUNCATE, nullptr);
    bool done = archive != nullptr;
    for (std::size_t i = 0; done && i < count; i++) {
        done = addEntry(archive, entries[i]);
    }
    if (archive != nullptr && (!done || zip_close(archive) != 0)) {
        zip_discard(archive);
        done = false;
    }
    done = done && copyOut(source, writer);
    zip_source_free(source);
    return done && !writer->overflowed;
}

std::size_t lineAt(const char* text, std::size_t size, std::size_t offset) {
    const char* end = text + (offset < size ? offset : size);
    std::size_t line = 1;
    for (const char* c = text; c < end; c++) {
        line += *c == '\n' ? 1 : 0;
    }
    return line;
}

namespace {

// The first element deeper than `depth`, or null: walked without
// recursion, so that the walk itself needs no stack.
pugi::xml_node tooDeep(const pugi::xml_document& document, std::size_t depth) {
    std::size_t level = 0;
    pugi::xml_node node = document.first_child();
    while (node) {
        if (node.type() == pugi::node_element && level + 1 > depth) {
            return node;
        }
        if (node.first_child()) {
            node = node.first_child();
            level++;
            continue;
        }
        while (node && !node.next_sibling()) {
            node = node.parent();
            level--;
        }
        node = node ? node.next_sibling() : node;
    }
    return {};
}

// pugixml reads a UTF-16 or UTF-32 document a whole unit at a time, a
// misaligned load where the text does not start on a multiple of four
// bytes: such a text is parsed from a copy that does.
pugi::xml_parse_result loadAligned(const char* text, std::size_t size, unsigned options,
                                   pugi::xml_document* document) {
    if (reinterpret_cast<std::uintptr_t>(text) % alignof(std::uint32_t) == 0) {
        return document->load_buffer(text, size, options, pugi::encoding_auto);
    }
    void* copy = std::malloc(size == 0 ? 1 : size);
    if (copy == nullptr) {
        pugi::xml_parse_result noMemory;
        noMemory.status = pugi::status_out_of_memory;
        return noMemory;
    }
    std::memcpy(copy, text, size);
    const pugi::xml_parse_result result =
        document->load_buffer(copy, size, options, pugi::encoding_auto);
    std::free(copy);
    return result;
}

}  // namespace

ReadError parseXml(const char* text, std::size_t size, const XmlLimits& limits,
                   pugi::xml_document* document) {
    if (size > limits.largest) {
        return readError(ReadProblem::TooLarge);
    }
    const unsigned options = pugi::parse_default | pugi::parse_doctype;
    const pugi::xml_parse_result result = loadAligned(text, size, options, document);
    if (result.status == pugi::status_out_of_memory) {
        return kNoMemory;
    }
    if (!result) {
        const auto offset = static_cast<std::size_t>(result.offset);
        return readError(ReadProblem::Malformed, lineAt(text, size, offset));
    }
    for (pugi::xml_node node = document->first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_doctype) {
            const auto offset = static_cast<std::size_t>(node.offset_debug());
            return refusedSaying(lineAt(text, size, offset), 0,
                                 "a DTD, which is not read: no entity is ever expanded");
        }
    }
    const pugi::xml_node deep = tooDeep(*document, limits.depth);
    if (deep) {
        const auto offset = static_cast<std::size_t>(deep.offset_debug());
        return unsupportedValue(lineAt(text, size, offset), "an element of depth",
                                static_cast<std::uint32_t>(limits.depth + 1));
    }
    return kReadOk;
}

namespace {

using Json = nlohmann::json;
using DomParser = nlohmann::detail::json_sax_dom_parser<Json>;

// nlohmann-json's own builder of values, with a bound on depth and the
// line where parsing stopped kept: the parser's events pass through it.
struct BoundedParser {
    DomParser dom;
    std::size_t depth;
    std::size_t level = 0;
    bool tooDeep = false;
    std::size_t errorAt = 0;

    bool null() { return dom.null(); }
    bool boolean(bool value) { return dom.boolean(value); }
    bool number_integer(Json::number_integer_t value) { return dom.number_integer(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return dom.number_unsigned(value); }
    bool number_float(Json::number_float_t value, const Json::string_t& text) {
        return dom.number_float(value, text);
    }
    bool string(Json::string_t& value) { return dom.string(value); }
    bool binary(Json::binary_t& value) { return dom.binary(value); }
    bool key(Json::string_t& value) { return dom.key(value); }
    bool enter() {
        tooDeep = ++level > depth;
        return !tooDeep;
    }
    bool start_object(std::size_t count) { return enter() && dom.start_object(count); }
    bool end_object() {
        level--;
        return dom.end_object();
    }
    bool start_array(std::size_t count) { return enter() && dom.start_array(count); }
    bool end_array() {
        level--;
        return dom.end_array();
    }
    template <typename Exception>
    bool parse_error(std::size_t byte, const std::string& /*token*/, const Exception& /*why*/) {
        errorAt = byte;
        return false;
    }
};

// Where the array or object deeper than `depth` starts: its byte, found by
// counting brackets outside strings.
std::size_t deepestStart(const char* text, std::size_t size, std::size_t depth) {
    std::size_t level = 0;
    bool inString = false;
    for (std::size_t i = 0; i < size; i++) {
        const char c = text[i];
        if (inString) {
            i += c == '\\' ? 1 : 0;
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++level > depth) {
                return i;
            }
        } else if ((c == ']' || c == '}') && level > 0) {
            level--;
        }
    }
    return size;
}

}  // namespace

ReadError parseJson(const char* text, std::size_t size, std::size_t depth, Json* document) {
    BoundedParser parser{DomParser(*document, false), depth};
    if (Json::sax_parse(text, text + size, &parser, Json::input_format_t::json, true, false)) {
        return kReadOk;
    }
    if (parser.tooDeep) {
        const std::size_t line = lineAt(text, size, deepestStart(text, size, depth));
        return unsupportedValue(line, "an array or object of depth",
                                static_cast<std::uint32_t>(depth + 1));
    }
    // The parser counts from 1, at the character it stopped on.
    const std::size_t at = parser.errorAt == 0 ? 0 : parser.errorAt - 1;
    return readError(ReadProblem::Malformed, lineAt(text, size, at));
}

namespace {

// The scan of a JSON text, a character at a time, strings told apart.
struct JsonScan {
    const char* text;
    std::size_t size;
    std::size_t at;
};

// Passes the string that starts at the scan's position; false when it ends
// first.
bool skipString(JsonScan* scan) {
    for (scan->at++; scan->at < scan->size; scan->at++) {
        if (scan->text[scan->at] == '\\') {
            scan->at++;
        } else if (scan->text[scan->at] == '"') {
            scan->at++;
            return true;
        }
    }
    return false;
}

void skipBlanks(JsonScan* scan) {
    while (scan->at < scan->size && std::strchr(" \t\r\n", scan->text[scan->at]) != nullptr &&
           scan->text[scan->at] != '\0') {
        scan->at++;
    }
}

// From just inside an array, the start of its element `index`.
std::size_t elementStart(JsonScan* scan, std::size_t index) {
    std::size_t level = 0;
    std::size_t element = 0;
    skipBlanks(scan);
    while (scan->at < scan->size && element < index) {
        const char c = scan->text[scan->at];
        if (c == '"') {
            skipString(scan);
            continue;
        }
        level += c == '[' || c == '{' ? 1 : 0;
        if ((c == ']' || c == '}') && level-- == 0) {
            return scan->size;
        }
        scan->at++;
        if (c == ',' && level == 0) {
            element++;
            skipBlanks(scan);
        }
    }
    return scan->at;
}

}  // namespace

std::size_t jsonElementLine(const char* text, std::size_t size, const char* key,
                            std::size_t index) {
    const std::size_t keySize = std::strlen(key);
    JsonScan scan = {text, size, 0};
    while (scan.at < size) {
        if (text[scan.at] != '"') {
            scan.at++;
            continue;
        }
        const std::size_t start = scan.at + 1;
        if (!skipString(&scan)) {
            break;
        }
        const bool named =
            scan.at - start - 1 == keySize && std::memcmp(text + start, key, keySize) == 0;
        skipBlanks(&scan);
        if (named && scan.at < size && text[scan.at] == ':') {
            scan.at++;
            skipBlanks(&scan);
            if (scan.at < size && text[scan.at] == '[') {
                scan.at++;
                return lineAt(text, size, elementStart(&scan, index));
            }
        }
    }
    return 1;
}

unsigned char byteOfShare(double share) {
    return static_cast<unsigned char>(std::lround(share * 255.0));
}

const Json* jsonMember(const Json& object, const char* key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

bool jsonNumber(const Json* value, double* number) {
    if (value == nullptr || !value->is_number()) {
        return false;
    }
    *number = value->get<double>();
    return true;
}

ReadError readColorElements(const pugi::xml_node& parent, const char* child, const char* text,
                            std::size_t size,
                            ReadError (*readColor)(const pugi::xml_node& element, Palette* palette),
                            Palette* palette) {
    for (pugi::xml_node element = parent.child(child); element;
         element = element.next_sibling(child)) {
        ReadError error = readColor(element, palette);
        if (refused(error)) {
            const auto offset = static_cast<std::size_t>(element.offset_debug());
            error.at = static_cast<std::uint32_t>(lineAt(text, size, offset));
            return error;
        }
    }
    return checkCount(palette->count, 1);
}

}  // namespace kolorvane::formats
