#include "show.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "owned.h"

namespace kolorvane {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

std::string text(const ShowLine& line) { return std::string(line.bytes, line.size); }

std::string shown(const std::string& input) {
    ShowLine line{};
    addShown(&line, input.data(), input.size());
    return text(line);
}

// A swatch as a terminal draws it: `width` spaces on the colour.
std::string swatch(int red, int green, int blue, int width) {
    return "\x1B[48;2;" + std::to_string(red) + ";" + std::to_string(green) + ";" +
           std::to_string(blue) + "m" + std::string(static_cast<std::size_t>(width), ' ') +
           "\x1B[0m";
}

// `palette` made `count` colours of a pattern.
Palette* makePalette(std::size_t count, Palette* palette) {
    EXPECT_FALSE(refused(resizePalette(palette, count, 0)));
    for (std::size_t i = 0; i < count; i++) {
        palette->colors[i] = {static_cast<unsigned char>(i), static_cast<unsigned char>(255 - i),
                              static_cast<unsigned char>(i * 7)};
    }
    return palette;
}

// Colour `index`'s name made of `bytes` as they are, whether the readers
// would keep them or not.
void setName(Palette* palette, std::size_t index, const std::string& bytes) {
    ByteBuffer text = {reinterpret_cast<unsigned char*>(palette->text), palette->textRoom};
    ASSERT_TRUE(reserveBytes(&text, palette->textSize + bytes.size()));
    palette->text = reinterpret_cast<char*>(text.bytes);
    palette->textRoom = text.room;
    std::memcpy(palette->text + palette->textSize, bytes.data(), bytes.size());
    palette->colorNames[index] = {static_cast<std::uint32_t>(palette->textSize),
                                  static_cast<std::uint32_t>(bytes.size())};
    palette->textSize += bytes.size();
}

TEST(Show, ControlCharactersAndBytesThatAreNotUtf8AreReplaced) {
    struct Case {
        const char* name;
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"ASCII", "Deep blue", "Deep blue"},
        {"Japanese and an emoji", "夕焼け \xF0\x9F\x8C\x8A", "夕焼け \xF0\x9F\x8C\x8A"},
        {"no-break space, the first character past the C1 controls", "a\xC2\xA0z", "a\xC2\xA0z"},
        {"escape", "a\x1B[31mz", "a" + kFffd + "[31mz"},
        {"tab and line breaks", "a\tb\nc\rd", "a" + kFffd + "b" + kFffd + "c" + kFffd + "d"},
        {"zero byte", std::string("a\0z", 3), "a" + kFffd + "z"},
        {"bell and delete", "\x07\x7F", kFffd + kFffd},
        {"C1 controls: next line, CSI", "\xC2\x85\xC2\x9B", kFffd + kFffd},
        {"a lone continuation byte", "a\x80z", "a" + kFffd + "z"},
        {"an 8-bit CSI byte",
         "\x9B"
         "31m",
         kFffd + "31m"},
        {"overlong slash", "\xC0\xAF", kFffd + kFffd},
        {"surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd},
        {"cut at the end", "a\xE5\xA4", "a" + kFffd + kFffd},
        {"past U+10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(shown(c.input), c.expected);
    }
}

TEST(Show, ACharacterThatDoesNotFitIsDroppedWholeWithWhatFollows) {
    ShowLine line{};
    const std::string filler(kShowLineSize - 2, 'x');
    addShown(&line, filler.data(), filler.size());
    addShown(&line, "夕a", 4);  // 3 bytes that do not fit, then one that would
    EXPECT_EQ(text(line), filler);
    addShown(&line, "\x1B", 1);  // U+FFFD is 3 bytes too
    EXPECT_EQ(text(line), filler);
    addShown(&line, "ab", 2);
    EXPECT_EQ(text(line), filler + "ab");
}

TEST(Show, GridHoldsSixteenSwatchesARowAndOnlyThePalettesColours) {
    struct Case {
        std::size_t count;
        std::size_t rows;
    };
    for (const Case c : {Case{1, 1}, Case{16, 1}, Case{17, 2}, Case{256, 16}}) {
        SCOPED_TRACE(c.count);
        testing::OwnedPalette owned;
        const Palette& palette = *makePalette(c.count, &owned.palette);
        std::size_t drawn = 0;
        for (std::size_t row = 0; row < c.rows; row++) {
            ShowLine line{};
            gridLine(palette, row, &line);
            std::string expected = "    ";
            for (std::size_t i = 16 * row; i < 16 * row + 16 && i < c.count; i++, drawn++) {
                const Color& color = palette.colors[i];
                expected += swatch(color.red, color.green, color.blue, 2);
            }
            EXPECT_EQ(text(line), expected) << "row " << row;
        }
        EXPECT_EQ(drawn, c.count);
    }
}

// In a terminal the indices are right-aligned, so that the swatches line up.
TEST(Show, ColourLinesInATerminalLineUp) {
    testing::OwnedPalette owned;
    Palette& palette = *makePalette(256, &owned.palette);
    palette.colors[255] = {0xAB, 0x0C, 0xEF};
    setName(&palette, 9, "Coral");
    setName(&palette, 100, "a\tb");
    struct Case {
        std::size_t index;
        std::string expected;
    };
    const Case cases[] = {
        {0, "  0 " + swatch(0, 255, 0, 4) + " #00FF00"},
        {9, "  9 " + swatch(9, 246, 63, 4) + " #09F63F Coral"},
        {10, " 10 " + swatch(10, 245, 70, 4) + " #0AF546"},
        {100, "100 " + swatch(100, 155, 188, 4) + " #649BBC a" + kFffd + "b"},
        {255, "255 " + swatch(0xAB, 0x0C, 0xEF, 4) + " #AB0CEF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        ShowLine line{};
        colorLine(ShowStyle::Swatches, palette, c.index, &line);
        EXPECT_EQ(text(line), c.expected);
    }
}

// What the terminal was asked, through the host.
std::vector<std::string> terminalCalls;
bool escapesTaken = true;

bool startEscapes(std::uint32_t* saved) {
    terminalCalls.emplace_back("start");
    *saved = 0x1234;
    return escapesTaken;
}

void endEscapes(std::uint32_t saved) { terminalCalls.push_back("end " + std::to_string(saved)); }

TEST(Show, SwatchesOnlyInATerminalThatTakesThemAndWhereColourIsNotRefused) {
    struct Case {
        const char* name;
        bool interactive;
        const char* noColor;
        const char* term;
        bool asked;  // the host has startEscapes
        bool taken;  // and it succeeds
        ShowStyle style;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"a terminal", true, nullptr, "xterm-256color", false, false, ShowStyle::Swatches, {}},
        {"no TERM at all", true, nullptr, nullptr, false, false, ShowStyle::Swatches, {}},
        {"a pipe", false, nullptr, "xterm", false, false, ShowStyle::List, {}},
        {"NO_COLOR", true, "1", "xterm", false, false, ShowStyle::List, {}},
        {"NO_COLOR empty", true, "", "xterm", false, false, ShowStyle::Swatches, {}},
        {"TERM=dumb", true, nullptr, "dumb", false, false, ShowStyle::List, {}},
        {"TERM=dumber", true, nullptr, "dumber", false, false, ShowStyle::Swatches, {}},
        {"a console that takes escapes",
         true,
         nullptr,
         nullptr,
         true,
         true,
         ShowStyle::Swatches,
         {"start", "end 4660"}},
        {"a console that does not",
         true,
         nullptr,
         nullptr,
         true,
         false,
         ShowStyle::List,
         {"start"}},
        {"a console, NO_COLOR", true, "yes", nullptr, true, true, ShowStyle::List, {}},
        {"a console redirected", false, nullptr, nullptr, true, true, ShowStyle::List, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        terminalCalls.clear();
        escapesTaken = c.taken;
        Host host{};
        host.interactive = c.interactive;
        host.noColor = c.noColor;
        host.term = c.term;
        if (c.asked) {
            host.startEscapes = startEscapes;
            host.endEscapes = endEscapes;
        }
        const Listing listing = startListing(host);
        endListing(host, listing);
        EXPECT_EQ(listing.style, c.style);
        EXPECT_EQ(terminalCalls, c.calls);
    }
}

}  // namespace
}  // namespace kolorvane
