#include "markup.h"

#include <cmath>
#include <cstdlib>

namespace kolorvane::formats {

namespace {

// FNV-1a, never 0, which marks a free slot.
std::uint64_t hashOf(const char* bytes, std::size_t size) {
    std::uint64_t hash = 0xCBF29CE484222325U;
    for (std::size_t i = 0; i < size; i++) {
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3U;
    }
    return hash == 0 ? 1 : hash;
}

// Takes the name; false when it was taken already.
bool take(UniqueNames* names, const char* bytes, std::size_t size) {
    const std::uint64_t hash = hashOf(bytes, size);
    for (std::size_t slot = hash & names->mask;; slot = (slot + 1) & names->mask) {
        if (names->slots[slot] == hash) {
            return false;
        }
        if (names->slots[slot] == 0) {
            names->slots[slot] = hash;
            return true;
        }
    }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    const char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// A control character that an XML document cannot hold as it is.
bool outsideXml(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

// The digits at `*text` into `value` (as a decimal, each after the last),
// and their count; `*text` moves past them.
std::size_t takeDigits(const char** text, double* value) {
    std::size_t count = 0;
    for (; isDigit(**text); (*text)++, count++) {
        *value = *value * 10 + (**text - '0');
    }
    return count;
}

}  // namespace

bool startUniqueNames(std::size_t count, UniqueNames* names) {
    std::size_t size = 16;
    while (size < 2 * count) {
        size *= 2;
    }
    names->slots = static_cast<std::uint64_t*>(std::calloc(size, sizeof(std::uint64_t)));
    names->mask = size - 1;
    return names->slots != nullptr;
}

void endUniqueNames(UniqueNames* names) {
    std::free(names->slots);
    names->slots = nullptr;
}

void appendText(NameDraft* draft, const char* text) {
    for (const char* c = text; *c != '\0'; c++) {
        draft->bytes[draft->size++] = *c;
    }
}

void appendNumber(NameDraft* draft, std::size_t value) {
    char digits[24] = {};
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        draft->bytes[draft->size++] = digits[--count];
    }
}

void giveUniqueName(UniqueNames* names, const char* separator, std::size_t number,
                    NameDraft* draft) {
    if (take(names, draft->bytes, draft->size)) {
        return;
    }
    appendText(draft, separator);
    appendNumber(draft, number);
    const std::size_t numbered = draft->size;
    for (std::size_t again = 2; !take(names, draft->bytes, draft->size); again++) {
        draft->size = numbered;
        appendText(draft, separator);
        appendNumber(draft, again);
    }
}

void putXmlText(ByteWriter* writer, const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; i++) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
            case '&':
                putText(writer, "&amp;");
                break;
            case '<':
                putText(writer, "&lt;");
                break;
            case '>':
                putText(writer, "&gt;");
                break;
            case '"':
                putText(writer, "&quot;");
                break;
            case '\t':
                putText(writer, "&#9;");
                break;
            case '\n':
                putText(writer, "&#10;");
                break;
            case '\r':
                putText(writer, "&#13;");
                break;
            default:
                putByte(writer, c < 0x20 || c == 0x7F ? ' ' : c);
        }
    }
}

bool parseDecimal(const char* text, double* value) {
    const char* start = text;
    const bool negative = *text == '-';
    text += *text == '-' || *text == '+' ? 1 : 0;
    double mantissa = 0;
    std::size_t digits = takeDigits(&text, &mantissa);
    std::size_t fraction = 0;
    if (*text == '.') {
        text++;
        fraction = takeDigits(&text, &mantissa);
        digits += fraction;
    }
    int exponent = 0;
    if (digits != 0 && (*text == 'e' || *text == 'E')) {
        text++;
        const bool down = *text == '-';
        text += *text == '-' || *text == '+' ? 1 : 0;
        double power = 0;
        if (takeDigits(&text, &power) == 0 || power > 400) {
            return false;
        }
        exponent = down ? -static_cast<int>(power) : static_cast<int>(power);
    }
    if (digits == 0 || *text != '\0' || text - start > 64) {
        return false;
    }
    *value =
        (negative ? -mantissa : mantissa) * std::pow(10.0, exponent - static_cast<int>(fraction));
    return std::isfinite(*value);
}

void putFixed(ByteWriter* writer, double value, unsigned decimals) {
    const double scale = std::pow(10.0, decimals);
    const double scaled = std::round(std::fabs(value) * scale);
    auto whole = static_cast<std::uint64_t>(scaled / scale);
    auto part = static_cast<std::uint64_t>(scaled - static_cast<double>(whole) * scale);
    if (value < 0 && scaled != 0) {
        putByte(writer, '-');
    }
    putDecimal(writer, static_cast<unsigned>(whole));
    while (decimals > 0 && part % 10 == 0) {
        part /= 10;
        decimals--;
    }
    if (decimals == 0) {
        return;
    }
    putByte(writer, '.');
    char digits[8] = {};
    for (unsigned i = decimals; i > 0; i--, part /= 10) {
        digits[i - 1] = static_cast<char>('0' + part % 10);
    }
    putText(writer, digits);
}

bool parseHexBytes(const char* text, std::size_t count, unsigned char* bytes) {
    if (text[0] != '#') {
        return false;
    }
    for (std::size_t i = 0; i < count; i++) {
        const int digit = text[1 + i] == '\0' ? -1 : hexValue(text[1 + i]);
        if (digit < 0) {
            return false;
        }
        bytes[i / 2] = static_cast<unsigned char>(i % 2 == 0 ? digit << 4 : bytes[i / 2] | digit);
    }
    return text[1 + count] == '\0';
}

void draftOf(NameText name, NameDraft* draft) {
    for (draft->size = 0; draft->size < name.size; draft->size++) {
        const auto c = static_cast<unsigned char>(name.bytes[draft->size]);
        draft->bytes[draft->size] = outsideXml(c) ? ' ' : static_cast<char>(c);
    }
}

}  // namespace kolorvane::formats
