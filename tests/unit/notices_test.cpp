#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "notices.h"

namespace kolorvane {
namespace {

// The expected bytes are the code page 932 encodings of the Japanese texts,
// spelled out here independently of the escaped strings in the header.
struct NoticeCase {
    const char* name;
    const char* text;
    std::size_t size;
    std::string expected;
};

TEST(Notices, AreTheirCodePage932Bytes) {
    const NoticeCase cases[] = {
        {"bad header",
         kBadHeaderText,
         11,
         {'\x93', '\xC7', '\x8D', '\x9E', '\x83', '\x47', '\x83', '\x89', '\x81', '\x5B', '1'}},
        {"converted",
         kConvertedText,
         18,
         {'\x95', '\xCF', '\x8A', '\xB7', '\x82', '\xF0', '\x8A', '\xAE', '\x97', '\xB9', '\x82',
          '\xB5', '\x82', '\xDC', '\x82', '\xB5', '\x82', '\xBD'}},
        {"unsupported",
         kUnsupportedText,
         32,
         {'\x8E', '\xE6', '\x82', '\xE8', '\x88', '\xB5', '\x82', '\xA6', '\x82', '\xE9', '\x83',
          '\x74', '\x83', '\x40', '\x83', '\x43', '\x83', '\x8B', '\x82', '\xC5', '\x82', '\xCD',
          '\x82', '\xA0', '\x82', '\xE8', '\x82', '\xDC', '\x82', '\xB9', '\x82', '\xF1'}},
        {"warning caption", kWarningCaption, 4, {'\x8C', '\x78', '\x8D', '\x90'}},
        {"confirm caption", kConfirmCaption, 4, {'\x8A', '\x6D', '\x94', '\x46'}},
    };
    for (const NoticeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::strlen(c.text), c.size);
        EXPECT_EQ(std::string(c.text), c.expected);
    }
}

}  // namespace
}  // namespace kolorvane
