#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "completions.h"

namespace kolorvane {
namespace {

ReadError readNothing(const unsigned char*, std::size_t, Palette*) { return kReadOk; }

// The scripts put names into word lists, patterns and case labels unquoted:
// a table whose names would break them writes nothing and fails, so that
// the build stops rather than install a script that does something else.
TEST(Completions, NamesThatWouldBreakAScriptWriteNothing) {
    struct Case {
        const char* longName;
        char shortName;
        const char* format;
        const char* extension;
        bool written;
    };
    const Case cases[] = {
        {"to", 't', "gpl", ".gpl", true},        {"dry run", 'd', "gpl", ".gpl", false},
        {"to", '?', "gpl", ".gpl", false},       {"-to", 't', "gpl", ".gpl", false},
        {"to", 't', "paint.net", ".txt", false}, {"to", 't', "$(x)", ".txt", false},
        {"to", 't', "gpl", ".g*", false},        {"to", 't', "gpl", "gpl", false},
    };
    for (const Case& c : cases) {
        const OptionSpelling option = {c.longName, c.shortName, OptionValue::TargetFormat, "x"};
        const Format format = {
            .name = c.format, .extension = c.extension, .title = "title", .read = readNothing};
        for (const Shell shell : {Shell::Bash, Shell::Zsh, Shell::Fish}) {
            SCOPED_TRACE(std::string(c.longName) + " " + c.format + " " + c.extension);
            std::FILE* out = std::tmpfile();
            ASSERT_NE(out, nullptr);
            const CompletionTables tables = {&option, 1, &format, 1};
            EXPECT_EQ(writeCompletions(shell, tables, out), c.written);
            EXPECT_EQ(std::ftell(out) > 0, c.written);
            static_cast<void>(std::fclose(out));
        }
    }
}

}  // namespace
}  // namespace kolorvane
