// --show: a palette listed as text. In a terminal, swatches drawn with 24-bit
// colour escapes: the whole palette as a grid, 16 to a row, then each colour
// on a line of its own. Anywhere else, or where the user asks for no colour,
// a FILE's line and then one colour a line, tab-separated, for grep, cut and
// awk. The lines are UTF-8 put together by hand (printf's family would add
// its formatting code to the Windows .exe), and a name's control characters
// never reach the terminal or the pipe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format.h"
#include "host.h"

namespace kolorvane {

enum class ShowStyle {
    Swatches,  // escapes, the grid, a list aligned for the eye
    List,      // no escapes: one colour a line, its fields separated by tabs
};

// One line of a listing, without its line break. The longest, a FILE's, has
// a 259-byte name and a palette's name of 255 characters, at most 3 and 4
// bytes each.
constexpr std::size_t kShowLineSize = 4096;

struct ShowLine {
    char bytes[kShowLineSize + 1];  // and the break, as written
    std::size_t size;
};

// Adds `size` bytes of text as they may be shown: valid UTF-8 as it is, but
// each control character (Unicode's Cc, from a tab to an escape or a C1
// control), which could move the cursor or change the terminal, and each
// byte that is not part of valid UTF-8 as U+FFFD. A character that would
// not fit is dropped with all that follows it, never cut.
void addShown(ShowLine* line, const char* text, std::size_t size);

// The FILE's line: its name (UTF-8, `fileSize` bytes), the title of the
// format it was read as, its number of colours and the palette's name, if
// it has one.
void fileLine(ShowStyle style, const char* file, std::size_t fileSize, const Format& format,
              const Palette& palette, ShowLine* line);

// Row `row` of the grid of swatches: colours 16 × row to 16 × row + 15, as
// many of them as the palette has. A palette has (count + 15) / 16 rows.
void gridLine(const Palette& palette, std::size_t row, ShowLine* line);

// Colour `index`'s line: its index, in a terminal its swatch, #RRGGBB and
// its name, if it has one.
void colorLine(ShowStyle style, const Palette& palette, std::size_t index, ShowLine* line);

// A run's listings: how they are drawn, and what became of them.
struct Listing {
    ShowStyle style;
    bool escapesStarted;   // the host's startEscapes was called and succeeded
    std::uint32_t saved;   // the terminal's state before, for endEscapes
    std::size_t palettes;  // listed so far
    bool lost;             // a line did not reach a terminal that takes Unicode
};

// Swatches where standard output is a terminal, NO_COLOR is unset or empty,
// TERM is not "dumb" and the terminal takes escapes (asked through the
// host's startEscapes where it has one); otherwise the list.
Listing startListing(const Host& host);

// Lists one FILE's palette (its name as given, spelled in UTF-8 through the
// host's nameToUtf8 where it has one) on standard output.
void listPalette(const Host& host, const char* file, const Format& format, const Palette& palette,
                 Listing* listing);

// Gives the terminal back as it was before startListing.
void endListing(const Host& host, const Listing& listing);

}  // namespace kolorvane
