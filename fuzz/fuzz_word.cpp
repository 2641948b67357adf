// Fuzzes the typed output word: the number-text check and the "%x" reading, the reading
// compared with the C library's own "%x", and the shown word read back to the same value.
#include "device/WordText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok, const char *what, const std::string &text)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_word: %s for \"%s\"\n", what, text.c_str());
    std::abort();
}

bool IsSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsHex(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The significant hexadecimal digits "%x" would read. Past 16 of them the C library's 64-bit
// conversion saturates while ReadHexText keeps the low 32 bits, so those are not compared.
int SignificantDigits(const char *p)
{
    while (IsSpace(*p))
        ++p;
    if (*p == '+' || *p == '-')
        ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        p += 2;
    while (*p == '0')
        ++p;
    int n = 0;
    for (; IsHex(*p); ++p)
        ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text as the window holds it: a C string, cut at the first NUL.
    const std::string text(reinterpret_cast<const char *>(data), size);
    const char *s = text.c_str();

    const bool decimal = IsNumberText(s, false);
    const bool hex = IsNumberText(s, true);
    Check(!decimal || hex, "a decimal-valid text fails the hexadecimal check", text);
    for (const char *p = s; *p; ++p)
        Check(static_cast<unsigned char>(*p) < 0x80 || !hex, "a byte above 0x7F passed", text);

    const HexReading reading = ReadHexText(s);
    unsigned int expected = 0;
    const int matched = std::sscanf(s, "%x", &expected);
    Check(reading.hasDigit == (matched == 1), "hasDigit differs from \"%x\"", text);
    if (matched == 1 && SignificantDigits(s) <= 16)
        Check(reading.value == expected, "value differs from \"%x\"", text);

    // The word shown after a write reads back as the same word and passes the check.
    const QByteArray shown = WordText(reading.value).toLatin1();
    Check(shown.size() == 10 && shown.startsWith("0x"), "shown word is not 0x + 8 digits", text);
    const HexReading again = ReadHexText(shown.constData());
    Check(again.hasDigit && again.value == reading.value, "shown word reads differently", text);
    Check(IsNumberText(shown.constData() + 2, true), "shown word fails the check", text);
    return 0;
}
