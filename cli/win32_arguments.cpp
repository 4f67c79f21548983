#include "win32_arguments.h"

#include <cstdlib>

#include "ansi_names.h"

namespace kolorvane {

namespace {

// At least the terminator, even for a name no conversion can take.
std::size_t argumentSize(UINT codePage, const wchar_t* wide) {
    const int size = ansiNameSize(codePage, wide);
    return size > 0 ? static_cast<std::size_t>(size) : 1;
}

}  // namespace

bool makeAnsiArguments(int count, wchar_t** wide, AnsiArguments* arguments) {
    const UINT codePage = GetACP();
    std::size_t bytes = 0;
    for (int i = 0; i < count; i++) {
        bytes += argumentSize(codePage, wide[i]);
    }
    // The pointers first, so that they are aligned; the strings after them.
    const std::size_t pointers = 2 * static_cast<std::size_t>(count) + 1;
    void* block = std::malloc(pointers * sizeof(char*) + bytes);
    if (block == nullptr) {
        return false;
    }
    arguments->count = count;
    arguments->values = static_cast<char**>(block);
    arguments->unspelled = arguments->values + count + 1;
    arguments->unspelledCount = 0;
    char* next = reinterpret_cast<char*>(arguments->values + pointers);
    for (int i = 0; i < count; i++) {
        const std::size_t size = argumentSize(codePage, wide[i]);
        arguments->values[i] = next;
        if (exactAnsiName(codePage, wide[i], next, static_cast<int>(size)) != AnsiName::Exact) {
            arguments->unspelled[arguments->unspelledCount++] = next;
        }
        next += size;
    }
    arguments->values[count] = nullptr;
    return true;
}

void freeAnsiArguments(AnsiArguments* arguments) {
    std::free(arguments->values);
    arguments->values = nullptr;
    arguments->unspelled = nullptr;
}

}  // namespace kolorvane
