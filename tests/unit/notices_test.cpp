// The notices are stored as code page 932 bytes. Decoded as such by the C
// library's iconv, each must read as its Japanese text.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "notices.h"

namespace kolorvane {
namespace {

// `bytes` decoded from code page 932 into UTF-8; "(undecodable)" when some
// byte sequence is no code page 932 character.
std::string fromCodePage932(const std::string& bytes) {
    const iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "no CP932 converter";
        return {};
    }
    std::string in = bytes;
    std::string out(4 * bytes.size() + 4, '\0');
    char* inNext = in.data();
    char* outNext = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &inNext, &inLeft, &outNext, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
        return "(undecodable)";
    }
    out.resize(out.size() - outLeft);
    return out;
}

TEST(Notices, ReadAsTheirTextsInCodePage932) {
    struct Case {
        const char* stored;
        const char* text;
    };
    const Case cases[] = {
        {kBadHeaderText, "読込エラー1"},
        {kConvertedText, "変換を完了しました"},
        {kUnsupportedText, "取り扱えるファイルではありません"},
        {kWarningCaption, "警告"},
        {kConfirmCaption, "確認"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(fromCodePage932(c.stored), c.text);
    }
}

}  // namespace
}  // namespace kolorvane
