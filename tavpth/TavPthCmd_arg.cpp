/* Numbers on the command line and in parameter files: controller and drive
 * numbers as one decimal digit, addresses and lengths as bounded hexadecimal. */
#include <stdio.h>
#include <string.h>

#include "TavPth.h"

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

void PthCutLineEnd(char *text)
{
    size_t length = strlen(text);
    if (length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n') {
        text[length - 2] = '\0';
    } else if (length >= 1 && text[length - 1] == '\n') {
        text[length - 1] = '\0';
    }
}

int PthParseDigit(const char *text, int *value)
{
    if (strlen(text) != 1 || text[0] < '0' || text[0] > '9') {
        return 0;
    }
    *value = text[0] - '0';
    return 1;
}

int PthParseHex(const char *text, unsigned maxDigits, uint64_t *value)
{
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text += 2;
    }
    size_t digits = strlen(text);
    if (digits == 0 || digits > maxDigits || maxDigits > 16) {
        return 0;
    }
    uint64_t result = 0;
    for (size_t i = 0; i < digits; ++i) {
        int v = hexValue(text[i]);
        if (v < 0) {
            return 0;
        }
        result = (result << 4) | static_cast<uint64_t>(v);
    }
    *value = result;
    return 1;
}

int PthHexBytes(const char *text, uint8_t *out, size_t max)
{
    size_t pairs = strlen(text) / 2;
    if (pairs > max) {
        return -1;
    }
    for (size_t i = 0; i < pairs; ++i) {
        int high = hexValue(text[2 * i]);
        int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return -1;
        }
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return static_cast<int>(pairs);
}

int PthArgDigit(const char *arg, const char *label, int *value)
{
    char copy[PTH_PATH_SIZE];
    snprintf(copy, sizeof copy, "%s", arg);
    PthCutLineEnd(copy);
    return PthParseDigit(copy, value) ? 1 : PthIllegal(PTH_AT, label);
}

int PthArgAddress(const char *arg, unsigned maxDigits, uint64_t *value)
{
    char copy[PTH_PATH_SIZE];
    snprintf(copy, sizeof copy, "%s", arg);
    PthCutLineEnd(copy);
    return PthParseHex(copy, maxDigits, value) ? 1 : PthIllegal(PTH_AT, "Address");
}

int PthArgTarget(const char *contArg, const char *driveArg, int kind, int *cont, int *drive)
{
    if (!PthArgDigit(contArg, "Controller No", cont) || !PthArgDigit(driveArg, "Drive No", drive)) {
        return 0;
    }
    if (!ControllerCheck(*cont) || !DriveCheck(*cont, *drive, kind)) {
        return 0;
    }
    PthShowTarget(*cont, *drive, kind);
    return 1;
}
