// The limits on zip archives, XML and JSON: each hostile document refused
// for its own reason, at its line, before it costs anything.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "bytes.h"
#include "documents.h"

namespace kolorvane::formats {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes zipOf(const std::vector<std::pair<std::string, std::string>>& files, bool stored = false) {
    std::vector<ZipEntry> entries;
    for (const auto& [name, contents] : files) {
        entries.push_back({name.c_str(), &contents, stored});
    }
    ByteBuffer buffer = {};
    ByteWriter writer = startWriting(&buffer);
    EXPECT_TRUE(writeZip(entries.data(), entries.size(), &writer));
    Bytes bytes(buffer.bytes, buffer.bytes + written(writer));
    endBytes(&buffer);
    return bytes;
}

// Sets every copy of a 32-bit little-endian field that holds `from` (the
// local header's and the central directory's sizes) to `to`.
void patchSize(Bytes* bytes, std::uint32_t from, std::uint32_t to) {
    for (std::size_t i = 0; i + 4 <= bytes->size(); i++) {
        const std::uint32_t value = (*bytes)[i] | (*bytes)[i + 1] << 8 | (*bytes)[i + 2] << 16 |
                                    static_cast<std::uint32_t>((*bytes)[i + 3]) << 24;
        if (value == from) {
            for (std::size_t k = 0; k < 4; k++) {
                (*bytes)[i + k] = static_cast<unsigned char>(to >> (8 * k));
            }
        }
    }
}

constexpr ZipLimits kLimits = {4, 1024 * 1024};

TEST(ZipLimits, WrittenEntriesReadBackAndTheBytesAreFixed) {
    const Bytes bytes =
        zipOf({{"mimetype", "application/x-krita-palette"}, {"a.xml", "<a/>"}}, true);
    EXPECT_TRUE(firstEntryIsStored(bytes.data(), bytes.size(), "mimetype"));
    std::string contents;
    EXPECT_FALSE(
        refused(readZipEntry(bytes.data(), bytes.size(), "a.xml", kLimits, "a", &contents)));
    EXPECT_EQ(contents, "<a/>");
    // Dated 1980-01-01 00:00 (DOS time 0, date 0x21) whatever the clock says.
    EXPECT_EQ(bytes[10] | bytes[11] << 8, 0);
    EXPECT_EQ(bytes[12] | bytes[13] << 8, 0x21);
}

TEST(ZipLimits, HostileArchivesAreRefusedBeforeTheyInflate) {
    const std::string huge(8 * 1024 * 1024, '\0');
    Bytes bomb = zipOf({{"a", huge}});
    Bytes liar = bomb;
    patchSize(&liar, static_cast<std::uint32_t>(huge.size()), 100);
    Bytes damaged = zipOf({{"a", "some text that is long enough"}});
    damaged[40] ^= 0xFF;  // in the entry's data: its CRC no longer matches
    struct Case {
        const char* what;
        Bytes bytes;
        ReadProblem problem;
    };
    const Case cases[] = {
        {"not an archive", Bytes(100, 'x'), ReadProblem::NotThisFormat},
        {"claims 8 MiB", bomb, ReadProblem::LibraryRefused},
        {"inflates past its claim", liar, ReadProblem::LibraryRefused},
        {"five entries", zipOf({{"1", ""}, {"2", ""}, {"3", ""}, {"4", ""}, {"a", ""}}),
         ReadProblem::LibraryRefused},
        {"no such entry", zipOf({{"b", "x"}}), ReadProblem::Missing},
        {"damaged", damaged, ReadProblem::LibraryRefused},
    };
    for (const Case& test : cases) {
        std::string contents;
        const ReadError error =
            readZipEntry(test.bytes.data(), test.bytes.size(), "a", kLimits, "a", &contents);
        EXPECT_EQ(error.problem, test.problem) << test.what;
        EXPECT_LE(contents.size(), 101U) << test.what;
    }
}

TEST(XmlLimits, DtdsDepthAndMalformedDocumentsAreRefusedAtTheirLine) {
    std::string deep;
    for (int i = 0; i < 100; i++) {
        deep = "<a>\n" + deep + "</a>";
    }
    const std::string laughs =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n"
        " <!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n]>\n"
        "<lolz>&lol2;</lolz>\n";
    struct Case {
        std::string text;
        ReadProblem problem;
        std::uint32_t line;
    };
    const Case cases[] = {
        {laughs, ReadProblem::Unsupported, 2},
        {deep, ReadProblem::Unsupported, 33},
        {"<a>\n<b>\n</a>\n", ReadProblem::Malformed, 3},
        {std::string(2000, ' '), ReadProblem::TooLarge, 0},
        {"<a>\n <b/>\n</a>\n", ReadProblem::None, 0},
    };
    for (const Case& test : cases) {
        pugi::xml_document document;
        const ReadError error = parseXml(test.text.data(), test.text.size(), {1000, 32}, &document);
        EXPECT_EQ(error.problem, test.problem) << test.text.substr(0, 40);
        EXPECT_EQ(error.at, test.line) << test.text.substr(0, 40);
    }
}

TEST(JsonLimits, DepthAndMalformedDocumentsAreRefusedAtTheirLine) {
    struct Case {
        std::string text;
        ReadProblem problem;
        std::uint32_t line;
    };
    const Case cases[] = {
        {std::string(1000000, '[') + std::string(1000000, ']'), ReadProblem::Unsupported, 1},
        {"{\"a\": [\n  \"[[[[[[[\",\n  [[[[[[[[[[1]]]]]]]]]]\n]}", ReadProblem::Unsupported, 3},
        {"{\n\"a\": NaN\n}", ReadProblem::Malformed, 2},
        {"{\n\"a\": 1,\n}\n", ReadProblem::Malformed, 3},
        {"{\"a\": [1, 2.5, null]}", ReadProblem::None, 0},
    };
    for (const Case& test : cases) {
        nlohmann::json document;
        const ReadError error = parseJson(test.text.data(), test.text.size(), 8, &document);
        EXPECT_EQ(error.problem, test.problem) << test.text.substr(0, 40);
        EXPECT_EQ(error.at, test.line) << test.text.substr(0, 40);
    }
}

TEST(JsonLimits, CheckedAccessorsRefuseTheWrongType) {
    nlohmann::json document;
    const std::string text = R"({"n": 0.5, "s": "0.5", "list": [1]})";
    ASSERT_FALSE(refused(parseJson(text.data(), text.size(), 8, &document)));
    double number = 0;
    EXPECT_TRUE(jsonNumber(jsonMember(document, "n"), &number));
    EXPECT_EQ(number, 0.5);
    EXPECT_FALSE(jsonNumber(jsonMember(document, "s"), &number));
    EXPECT_FALSE(jsonNumber(jsonMember(document, "none"), &number));
    EXPECT_EQ(jsonMember(document["list"], "n"), nullptr);
}

}  // namespace
}  // namespace kolorvane::formats
