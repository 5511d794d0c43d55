// Tool_ helpers: text, number and byte order (the path resolver and the
// timer are in tavdllctl_tool_path.cpp and tavdllctl_tool_sleep.cpp).
#include "tavctl_internal.h"

TAVCTL_API int Tool_strlen(const char *text)
{
    int length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

TAVCTL_API char *Tool_strcpy(char *dst, const char *src)
{
    while (*src != '\0') {
        *dst++ = *src++;
    }
    *dst = '\0';
    return dst;
}

TAVCTL_API char *Tool_strcat(char *dst, const char *src)
{
    return Tool_strcpy(dst + Tool_strlen(dst), src);
}

TAVCTL_API int Tool_strcmp(const char *a, const char *b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return (*a == *b) ? 0 : 1;
}

TAVCTL_API void Tool_InitStr(char *buffer, char fill, int count)
{
    int i = 0;
    for (; i < count; ++i) {
        buffer[i] = fill;
    }
    buffer[i] = '\0';
}

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

// Digits of value in the given base, lowest first; returns their number.
int digitsLowFirst(uint32_t value, uint32_t base, char *digits)
{
    int count = 0;
    do {
        digits[count++] = kHexDigits[value % base];
        value /= base;
    } while (value != 0);
    return count;
}

// Writes value with exactly `width` digits (the lowest ones, zero-padded) when
// width is above 0, else with as many as it needs; returns buffer.
char *numberToText(int width, uint32_t value, uint32_t base, char *buffer)
{
    char digits[32];
    int count = digitsLowFirst(value, base, digits);
    int length = (width > 0) ? width : count;
    for (int i = 0; i < length; ++i) {
        int fromLow = length - 1 - i;
        buffer[i] = (fromLow < count) ? digits[fromLow] : '0';
    }
    buffer[length] = '\0';
    return buffer;
}

int hexDigitValue(char c)
{
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c - '0';
}

}  // namespace

TAVCTL_API char *Tool_hextostr(int width, uint32_t value, char *buffer)
{
    return numberToText(width, value, 16, buffer);
}

TAVCTL_API char *Tool_dectostr(int width, uint32_t value, char *buffer)
{
    numberToText(width, value, 10, buffer);
    // Leading zeros become blanks; the last digit always stays.
    for (int i = 0; buffer[i + 1] != '\0' && buffer[i] == '0'; ++i) {
        buffer[i] = ' ';
    }
    return buffer;
}

TAVCTL_API uint32_t Tool_dectobin(const char *text)
{
    uint32_t value = 0;
    for (; *text != '\0'; ++text) {
        value = value * 10 + static_cast<uint32_t>(*text - '0');
    }
    return value;
}

TAVCTL_API uint32_t Tool_hextobin(const char *text)
{
    uint32_t value = 0;
    for (; *text != '\0'; ++text) {
        value = value * 16 + static_cast<uint32_t>(hexDigitValue(*text));
    }
    return value;
}

TAVCTL_API char *Tool_delspace(const char *src, char *dst)
{
    while (*src == ' ' || *src == '\t') {
        ++src;
    }
    Tool_strcpy(dst, src);
    return dst;
}

TAVCTL_API void Tool_ChangeEndianShort(uint16_t *value)
{
    *value = static_cast<uint16_t>((*value >> 8) | (*value << 8));
}

TAVCTL_API void Tool_ChangeEndianLong(uint32_t *value)
{
    *value = __builtin_bswap32(*value);
}

TAVCTL_API void Tool_ChangeEndianLongLong(uint64_t *value)
{
    *value = __builtin_bswap64(*value);
}
