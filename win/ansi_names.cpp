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

int convert(UINT codePage, DWORD flags, const wchar_t* name, char* ansi, BOOL* usedDefault) {
    return WideCharToMultiByte(codePage, flags, name, -1, ansi, MAX_PATH, nullptr, usedDefault);
}

}  // namespace

AnsiName exactAnsiName(UINT codePage, const wchar_t* name, char* ansi) {
    BOOL usedDefault = FALSE;
    const bool plain = refusesBestFitFlags(codePage);
    const int size = plain ? convert(codePage, WC_ERR_INVALID_CHARS, name, ansi, nullptr)
                           : convert(codePage, WC_NO_BEST_FIT_CHARS, name, ansi, &usedDefault);
    if (size > 0) {
        return usedDefault ? AnsiName::NotSpelled : AnsiName::Exact;
    }
    ansi[0] = '\0';
    if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        return AnsiName::TooLong;
    }
    // An unpaired surrogate under UTF-8: shown with U+FFFD in its place.
    if (plain && convert(codePage, 0, name, ansi, nullptr) == 0) {
        ansi[0] = '\0';
    }
    return AnsiName::NotSpelled;
}

}  // namespace kolorvane
