/* Pieces shared by the parameter-file pass-through commands: the file's
 * opening lines, data buffers, write data and the byte swap of ATA words. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"

int MakeAllocData(uint8_t **buffer, uint32_t length)
{
    *buffer = nullptr;
    if (length == 0) {
        TavPthErr0021(PTH_AT);
        TavPthErr0002(PTH_AT);
        return 0;
    }
    *buffer = static_cast<uint8_t *>(calloc(1, length < PTH_PIECE ? length : PTH_PIECE));
    if (*buffer == nullptr) {
        TavPthErr0007(PTH_AT, errno, "Failed in PassThrough");
        TavPthErr0002(PTH_AT);
        return 0;
    }
    return 1;
}

void CopyWriteData(uint8_t *buffer, uint32_t total, uint32_t filled)
{
    if (filled == 0) {
        return;
    }
    for (uint32_t at = filled; at < total; at += filled) {
        uint32_t count = total - at < filled ? total - at : filled;
        memcpy(buffer + at, buffer, count);
    }
}

int endianChange(int flag, const uint8_t *data, uint32_t length, uint8_t *output)
{
    if (length == 0 || flag != 0) {
        TavPthErr0004d(PTH_AT, "endianChange", length == 0 ? 0xE0000000u : 0xE0000001u);
        return 0;
    }
    for (uint32_t i = 0; i + 1 < length; i += 2) {
        uint8_t low = data[i];
        output[i] = data[i + 1];
        output[i + 1] = low;
    }
    return 1;
}

int PthOpenParameterFile(const char *name, unsigned maxLine, PthFile **file)
{
    char resolved[PTH_PATH_SIZE];
    *file = PthFileOpen(name, resolved, sizeof resolved, maxLine);
    if (*file == nullptr) {
        return 0;
    }
    printf("Parameter Filename :%s\n", resolved);
    PthTrace(PTH_AT, "## Parameter Filename : %s", resolved);
    return 1;
}

int PthFileDigit(PthFile *file, const char *label, int argno, int *value)
{
    char line[PTH_PATH_SIZE];
    if (!PthFileField(file, line, sizeof line, label, argno)) {
        return 0;
    }
    return PthParseDigit(line, value) ? 1 : PthIllegal(PTH_AT, label);
}

int PthFileFlag(PthFile *file, const char *label, int argno, int *value)
{
    if (!PthFileDigit(file, label, argno, value)) {
        return 0;
    }
    return *value <= 1 ? 1 : PthIllegal(PTH_AT, label);
}

int PthFileController(PthFile *file, int argno, int *cont)
{
    if (!PthFileDigit(file, "Controller No", argno, cont) || !ControllerCheck(*cont)) {
        return 0;
    }
    PthShow(PTH_AT, "RAID Controller No.%d\n", *cont);
    return 1;
}

int PthFileDrive(PthFile *file, int argno, int cont, int *drive)
{
    if (!PthFileDigit(file, "Drive No", argno, drive) || !DriveCheck(cont, *drive, PTH_KIND_PD)) {
        return 0;
    }
    PthShow(PTH_AT, "Physical Drive No.%d\n\n", *drive);
    return 1;
}

int PthFileCdb(PthFile *file, int argno, size_t maxBytes, uint8_t *cdb, int *count, char *text, size_t textSize)
{
    if (!PthFileField(file, text, textSize, "CDB", argno)) {
        return 0;
    }
    *count = PthHexBytes(text, cdb, maxBytes);
    return *count > 0 ? 1 : PthIllegal(PTH_AT, "CDB");
}

int PthFileLength(PthFile *file, int argno, uint32_t *length)
{
    char line[PTH_PATH_SIZE];
    uint64_t value = 0;
    if (!PthFileField(file, line, sizeof line, "Data Length", argno)) {
        return 0;
    }
    if (!PthParseHex(line, 8, &value)) {
        return PthIllegal(PTH_AT, "Data Length");
    }
    if (value > PTH_PIECE) {
        return PthIllegal(PTH_AT, "Data Length: Send max size over 64K bytes");
    }
    *length = static_cast<uint32_t>(value);
    return 1;
}

int PthFileWriteData(PthFile *file, uint8_t *buffer, uint32_t length, int continuous)
{
    char line[PTH_PATH_SIZE];
    uint8_t bytes[PTH_PATH_SIZE / 2];
    uint32_t filled = 0;
    int got;
    while ((got = PthFileNext(file, line, sizeof line)) != 0) {
        if (got < 0) {
            return PthIllegal(PTH_AT, "Data");
        }
        if (filled >= length) {
            continue; /* lines after a full buffer are ignored */
        }
        int count = PthHexBytes(line, bytes, sizeof bytes);
        if (count < 0) {
            return PthIllegal(PTH_AT, "Data");
        }
        if (static_cast<uint32_t>(count) > length - filled) {
            return PthIllegal(PTH_AT, "Data Length");
        }
        memcpy(buffer + filled, bytes, static_cast<size_t>(count));
        filled += static_cast<uint32_t>(count);
    }
    if (PthFileError(file)) {
        return PthFileEnded(file, 0);
    }
    if (continuous && filled < length) {
        if (filled == 0) {
            return PthIllegal(PTH_AT, "Data");
        }
        CopyWriteData(buffer, length, filled);
    }
    return 1;
}

/* Sends a read, or a write of the prepared data, and prints what was read. */
int PthSendAndShow(PassThroughInfo *info, uint8_t *data, uint32_t length, int read)
{
    PthPrintCdb(info);
    if (!PthSendAny(info, length != 0 ? data : nullptr, length)) {
        return 0;
    }
    if (read) {
        TavPasPrintData("Command Result", data, static_cast<int>(length), 0, static_cast<int>(length));
        printf("\n");
    }
    return 1;
}
