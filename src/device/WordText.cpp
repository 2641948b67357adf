#include "device/WordText.h"

namespace {

// Character classes of the "C" locale; bytes of 0x80 and above are in none of them.
bool IsSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int HexDigit(unsigned char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

QString WordText(uint32_t word)
{
    return QString::asprintf("0x%08X", unsigned(word));
}

bool IsNumberText(const char *text, bool allowHex)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text ? text : "");
    const unsigned char *start = p;
    while (*p && IsSpace(*p))
        ++p;
    if (!*p)
        p = start; // white space only is tested whole
    const bool minusFirst = *p == '-';
    for (; *p; ++p) {
        const unsigned char c = *p;
        if (c >= 0x80)
            return false;
        if (IsLetter(c)) {
            if (!allowHex || HexDigit(c) < 0)
                return false;
        } else if (!IsDigit(c) && c != '.' && !minusFirst) {
            return false;
        }
    }
    return true;
}

HexReading ReadHexText(const char *text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text ? text : "");
    while (*p && IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    HexReading reading;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        reading.hasDigit = true; // the "0" of the prefix reads as a number on its own
        p += 2;
    }
    for (int d; (d = HexDigit(*p)) >= 0; ++p) {
        reading.value = (reading.value << 4) | uint32_t(d);
        reading.hasDigit = true;
    }
    if (negative)
        reading.value = 0u - reading.value;
    return reading;
}
