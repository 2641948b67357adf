#pragma once
// Texts of the Digital IO window's word fields: the shown form of a 32-bit word, the check a
// typed output word passes before it is written, and the way the output page reads it.

#include <QString>

#include <cstdint>

// Size of the narrow buffer a typed value text is kept in, terminator included.
constexpr int kValueTextBytes = 260;

// "0x" followed by exactly eight upper-case hexadecimal digits (165 reads "0x000000A5").
QString WordText(uint32_t word);

// The number-text check of a typed output word. Leading white space is skipped unless the
// text is nothing but white space; then every character must be a digit, "." or (with
// allowHex) one of A-F / a-f, except that a text beginning with "-" accepts any byte below
// 0x80 that is not a letter. An empty text passes.
bool IsNumberText(const char *text, bool allowHex);

// A text read as a hexadecimal number the way the formatted-input conversion "%x" reads it:
// white space skipped, an optional sign, an optional 0x / 0X prefix, then hexadecimal digits
// up to the first other character. A minus sign negates (so "-1" reads as all ones); only the
// low 32 bits are kept.
struct HexReading
{
    uint32_t value = 0;
    bool hasDigit = false; // false when no hexadecimal digit was found: nothing was read
};
HexReading ReadHexText(const char *text);
