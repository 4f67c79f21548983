// The completion scripts written from tables of the test's own, for what the
// program's tables do not hold today: a format read but never written, one
// written but never read, two formats of one extension, an option that takes
// any format's name, one that takes a file, one with no short name, and
// titles and summaries with quotes, brackets, colons and backslashes.
//   completions_fixture bash|zsh|fish OUTPUT
#include <cstdio>
#include <cstring>

#include "completions.h"

namespace {

using kolorvane::Format;
using kolorvane::OptionSpelling;
using kolorvane::OptionValue;

kolorvane::ReadError readNothing(const unsigned char*, std::size_t, kolorvane::Palette*) {
    return kolorvane::kReadOk;
}

std::size_t writeNothing(const kolorvane::Palette&, kolorvane::ByteBuffer*) { return 0; }

constexpr OptionSpelling kOptions[] = {
    {"to", 't', OptionValue::TargetFormat, "convert into FORMAT"},
    {"from", 'f', OptionValue::SourceFormat, "read as FORMAT"},
    {"output-dir", 'o', OptionValue::Folder, "write into DIR"},
    {"profile", '\0', OptionValue::File, "it's [the] \"profile\": a\\b"},
    {"quiet", 'q', OptionValue::None, "print errors only"},
    {"version", '\0', OptionValue::None, "show the version"},
};

// Only the columns the completions read are filled in.
const Format kFormats[] = {
    {.name = "one",
     .extension = ".one",
     .title = "First's \"title\": [1] a\\b",
     .read = readNothing,
     .write = writeNothing},
    {.name = "rom",
     .extension = ".rom",
     .alsoReads = ".more .Rom ",
     .title = "read, never written",
     .read = readNothing},
    {.name = "two",
     .extension = ".one",
     .title = "Second",
     .read = readNothing,
     .write = writeNothing},
    {.name = "wo", .extension = ".wo", .title = "written, never read", .write = writeNothing},
    {.name = "bare", .alsoReads = ".one ", .title = "no extension of its own", .read = readNothing},
};

}  // namespace

int main(int argc, char** argv) {
    kolorvane::Shell shell = kolorvane::Shell::Bash;
    if (argc != 3) {
        return 2;
    }
    if (std::strcmp(argv[1], "zsh") == 0) {
        shell = kolorvane::Shell::Zsh;
    } else if (std::strcmp(argv[1], "fish") == 0) {
        shell = kolorvane::Shell::Fish;
    }
    const kolorvane::CompletionTables tables = {kOptions, sizeof kOptions / sizeof kOptions[0],
                                                kFormats, sizeof kFormats / sizeof kFormats[0]};
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        return 1;
    }
    const bool written = kolorvane::writeCompletions(shell, tables, out);
    return std::fclose(out) == 0 && written ? 0 : 1;
}
