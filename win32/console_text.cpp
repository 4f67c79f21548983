#include "console_text.h"

namespace kolorvane {

namespace {

// UTF-16 units converted and written at a time. No UTF-8 byte gives more
// than one unit (a four-byte character gives two), so this many bytes of
// UTF-8 always fit.
constexpr std::size_t kUnitsAtOnce = 1024;

// The bytes of `utf8` (of `size`) that go in the next call: at most
// kUnitsAtOnce, ending before a character's continuation bytes, so that no
// character is split. Text that is not UTF-8 is cut where it must be.
std::size_t chunkSize(const char* utf8, std::size_t size) {
    if (size <= kUnitsAtOnce) {
        return size;
    }
    std::size_t cut = kUnitsAtOnce;
    while (cut > kUnitsAtOnce - 3 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
        cut--;
    }
    return cut;
}

bool writeUnits(HANDLE console, const wchar_t* units, DWORD count) {
    while (count > 0) {
        DWORD written = 0;
        if (WriteConsoleW(console, units, count, &written, nullptr) == 0 || written == 0 ||
            written > count) {
            return false;
        }
        units += written;
        count -= written;
    }
    return true;
}

}  // namespace

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetConsoleMode(handle, &mode) != 0;
}

bool writeConsoleUtf8(HANDLE console, const char* utf8, std::size_t size) {
    wchar_t units[kUnitsAtOnce];
    while (size > 0) {
        const std::size_t bytes = chunkSize(utf8, size);
        const int count = MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(bytes), units,
                                              static_cast<int>(kUnitsAtOnce));
        if (count <= 0 || !writeUnits(console, units, static_cast<DWORD>(count))) {
            return false;
        }
        utf8 += bytes;
        size -= bytes;
    }
    return true;
}

bool startVirtualTerminal(HANDLE console, DWORD* previous) {
    if (GetConsoleMode(console, previous) == 0) {
        return false;
    }
    const DWORD wanted = *previous | ENABLE_VIRTUAL_TERMINAL_PROCESSING;
    return wanted == *previous || SetConsoleMode(console, wanted) != 0;
}

void restoreConsoleMode(HANDLE console, DWORD previous) {
    DWORD mode = 0;
    if (GetConsoleMode(console, &mode) != 0 && mode != previous) {
        SetConsoleMode(console, previous);
    }
}

}  // namespace kolorvane
