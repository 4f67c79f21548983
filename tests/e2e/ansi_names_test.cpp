// The conversion of UTF-16 names to a code page's bytes, run under Wine with
// the code pages named explicitly: Wine's ANSI code page follows the Unix
// locale and cannot be made UTF-8, so this is where code page 65001 is seen.
// Prints each case that fails; the exit status is the number of them.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "ansi_names.h"

namespace {

struct Case {
    UINT codePage;
    const wchar_t* name;
    kolorvane::AnsiName expected;
    const char* bytes;  // what `ansi` holds afterwards
};

bool check(const Case& c, int index) {
    char ansi[4 * MAX_PATH];
    std::memset(ansi, 0x7F, sizeof ansi);
    // A path's buffer where too long a name is the case; else the room the
    // command line gives an argument, which must always be enough.
    const int capacity = c.expected == kolorvane::AnsiName::TooLong
                             ? MAX_PATH
                             : kolorvane::ansiNameCapacity(static_cast<int>(std::wcslen(c.name)));
    const kolorvane::AnsiName got = kolorvane::exactAnsiName(c.codePage, c.name, ansi, capacity);
    if (got == c.expected && std::strcmp(ansi, c.bytes) == 0) {
        return true;
    }
    std::printf("case %d (code page %u): result %d, expected %d; bytes:", index, c.codePage,
                static_cast<int>(got), static_cast<int>(c.expected));
    for (std::size_t i = 0; ansi[i] != '\0' && i < 16; i++) {
        std::printf(" %02x", static_cast<unsigned char>(ansi[i]));
    }
    std::printf("\n");
    return false;
}

}  // namespace

int main() {
    // 129 and 130 times 表, two bytes each in code page 932.
    wchar_t table129[130] = {};
    wchar_t table130[131] = {};
    for (int i = 0; i < 130; i++) {
        table130[i] = L'\u8868';
        table129[i < 129 ? i : 0] = L'\u8868';
    }
    using kolorvane::AnsiName;
    const Case cases[] = {
        // UTF-8 takes no best-fit flags; it spells everything but an
        // unpaired surrogate.
        {CP_UTF8, L"caf\u00e9\u00a5\U0001F3A8.pal", AnsiName::Exact,
         "caf\xC3\xA9\xC2\xA5\xF0\x9F\x8E\xA8.pal"},
        {CP_UTF8, L"a\xD800.pal", AnsiName::NotSpelled, "a\xEF\xBF\xBD.pal"},
        {CP_UTF8, L"\u8868\u8868", AnsiName::Exact, "\xE8\xA1\xA8\xE8\xA1\xA8"},
        // Best fit would give 5C for the yen sign, e for é, A for Ā.
        {932, L"a\u00a5b.pal", AnsiName::NotSpelled, "a?b.pal"},
        {932, L"caf\u00e9.pal", AnsiName::NotSpelled, "caf?.pal"},
        {932, L"\u30bd\uffe5.pal", AnsiName::Exact, "\x83\x5C\x81\x8F.pal"},
        {1252, L"caf\u00e9\u00b5.pal", AnsiName::Exact, "caf\xE9\xB5.pal"},
        {1252, L"\u0100.pal", AnsiName::NotSpelled, "?.pal"},
        {932, L"\u00b5.pal", AnsiName::NotSpelled, "?.pal"},
        {936, L"\u4e57.pal", AnsiName::Exact, "\x81\x5C.pal"},
        // 258 bytes fit MAX_PATH with the terminator; 260 do not.
        {932, table129, AnsiName::Exact, nullptr},
        {932, table130, AnsiName::TooLong, ""},
    };
    char table[MAX_PATH] = {};
    for (int i = 0; i < 129; i++) {
        std::memcpy(table + 2 * i, "\x95\x5C", 2);
    }
    int failed = 0;
    for (int i = 0; i < static_cast<int>(sizeof cases / sizeof cases[0]); i++) {
        Case c = cases[i];
        c.bytes = c.bytes != nullptr ? c.bytes : table;
        failed += check(c, i) ? 0 : 1;
    }
    std::printf("%d passed, %d failed\n", static_cast<int>(sizeof cases / sizeof cases[0]) - failed,
                failed);
    return failed;
}
