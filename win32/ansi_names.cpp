#include "ansi_names.h"

namespace kolorvane {

namespace {

// UTF-8 refuses WC_NO_BEST_FIT_CHARS and a used-default flag (Windows fails
// the call with ERROR_INVALID_FLAGS): it spells every character, so there is
// no best fit to avoid. The one thing it cannot spell is an unpaired
// surrogate, which a file name may hold; WC_ERR_INVALID_CHARS makes that
// fail rather than silently become U+FFFD. (UTF-7 and the stateful code
// pages refuse the flags too, but none of them can be the ANSI code page.)
bool refusesBestFitFlags(UINT codePage) { return codePage == CP_UTF8; }

// The exact conversion; 0 when it fails.
int convertExactly(UINT codePage, const wchar_t* name, char* ansi, int capacity,
                   BOOL* usedDefault) {
    if (refusesBestFitFlags(codePage)) {
        return WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, name, -1, ansi, capacity,
                                   nullptr, nullptr);
    }
    return WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, name, -1, ansi, capacity, nullptr,
                               usedDefault);
}

// What UTF-8 shows for a name with an unpaired surrogate: U+FFFD in its place.
int convertForShowing(UINT codePage, const wchar_t* name, char* ansi, int capacity) {
    return WideCharToMultiByte(codePage, 0, name, -1, ansi, capacity, nullptr, nullptr);
}

}  // namespace

AnsiName exactAnsiName(UINT codePage, const wchar_t* name, char* ansi, int capacity) {
    BOOL usedDefault = FALSE;
    if (convertExactly(codePage, name, ansi, capacity, &usedDefault) > 0) {
        return usedDefault ? AnsiName::NotSpelled : AnsiName::Exact;
    }
    ansi[0] = '\0';
    if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        return AnsiName::TooLong;
    }
    if (convertForShowing(codePage, name, ansi, capacity) == 0) {
        ansi[0] = '\0';
    }
    return AnsiName::NotSpelled;
}

}  // namespace kolorvane
