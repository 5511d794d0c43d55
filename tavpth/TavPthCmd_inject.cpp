/* N and N5: the vendor error-injection mode page (0x22) sent to a SCSI drive
 * with MODE SELECT(6), its fields read one per line. */
#include <stdio.h>
#include <string.h>

#include "TavPth.h"

namespace {

/* How a field is written and where it goes in the parameter list. */
enum Form { D1, D3, H1, H2, H4, H8 };
struct Field {
    Form form;
    unsigned byte;  /* list byte (the first of a multi-byte field) */
    unsigned shift; /* for fields ORed into one byte */
};

const Field kPageN[21] = {
    {D1, 6, 0},  {D1, 6, 1},  {H1, 7, 0},  {H4, 8, 0},  {D3, 10, 0}, {H2, 11, 0}, {H8, 12, 0},
    {H8, 16, 0}, {H2, 20, 0}, {H2, 21, 0}, {H2, 22, 0}, {D1, 24, 5}, {D1, 24, 3}, {D1, 24, 0},
    {H4, 26, 0}, {D1, 28, 0}, {D1, 28, 0}, {H2, 28, 0}, {H2, 29, 0}, {H4, 30, 0}, {H4, 32, 0},
};

const Field kPageN5[24] = {
    {D1, 6, 0},  {D1, 6, 1},  {H4, 8, 0},  {D3, 10, 0}, {H2, 11, 0}, {H8, 12, 0}, {H8, 16, 0}, {H2, 20, 0},
    {H2, 21, 0}, {H2, 22, 0}, {D1, 24, 3}, {D1, 24, 0}, {H2, 25, 0}, {H4, 26, 0}, {D1, 28, 0}, {D1, 28, 0},
    {H2, 28, 0}, {H2, 29, 0}, {H4, 30, 0}, {H4, 32, 0}, {H2, 34, 0}, {H2, 35, 0}, {H2, 36, 0}, {H2, 37, 0},
};

int parseField(Form form, const char *text, uint32_t *value)
{
    if (form == D1 || form == D3) {
        size_t digits = strlen(text);
        if (digits == 0 || digits > (form == D1 ? 1u : 3u) || strspn(text, "0123456789") != digits) {
            return 0;
        }
        unsigned number = 0;
        sscanf(text, "%u", &number);
        *value = number;
        return 1;
    }
    static const unsigned kDigits[] = {0, 0, 1, 2, 4, 8};
    uint64_t number = 0;
    if (!PthParseHex(text, kDigits[form], &number)) {
        return 0;
    }
    *value = static_cast<uint32_t>(number);
    return 1;
}

void placeField(const Field &field, uint32_t value, uint8_t *list)
{
    static const unsigned kBytes[] = {1, 1, 1, 1, 2, 4};
    unsigned bytes = kBytes[field.form];
    if (bytes == 1) {
        list[field.byte] = static_cast<uint8_t>(list[field.byte] | (value << field.shift));
    } else {
        PthPutBe(list + field.byte, value, bytes);
    }
}

/* "Parameter(n)" with the file's line number. */
int refuseLine(PthFile *file)
{
    char label[32];
    snprintf(label, sizeof label, "%s(%d)", "Parameter", PthFileLines(file));
    return PthIllegal(PTH_AT, label);
}

int readInjectionFile(PthFile *file, const Field *fields, unsigned count, int *cont, int *drive, int *save,
                      uint8_t *list)
{
    char line[PTH_PATH_SIZE];
    uint32_t type = TAVPAS_DEVICE_SCSI;
    if (!PthFileController(file, 0, cont) || !PthFileDrive(file, 0, *cont, drive)) {
        return 0;
    }
    if (getHddType(*cont, *drive, &type) && type == TAVPAS_DEVICE_SATA) {
        return PTH_FAIL(TavPthErr0024(PTH_AT, "SATA"));
    }
    if (!PthFileField(file, line, sizeof line, "Parameter", 0))
        return 0;
    if (!PthParseDigit(line, save) || *save > 1)
        return refuseLine(file);
    for (unsigned i = 0; i < count; ++i) {
        uint32_t value = 0;
        if (!PthFileField(file, line, sizeof line, "Parameter", 0))
            return 0;
        if (!parseField(fields[i].form, line, &value))
            return refuseLine(file);
        placeField(fields[i], value, list);
    }
    return 1;
}

int injectionSet(const char *name, const Field *fields, unsigned count, uint8_t pageLength)
{
    PthFile *file = nullptr;
    if (!PthOpenParameterFile(name, 1023, &file)) {
        return 0;
    }
    int cont = 0, drive = 0, save = 0;
    uint8_t list[38] = {};
    unsigned listLength = 4u + 2u + pageLength;
    list[4] = 0x22;
    list[5] = pageLength;
    int ok = readInjectionFile(file, fields, count, &cont, &drive, &save, list);
    PthFileClose(file);
    if (!ok) {
        return 0;
    }
    const uint8_t cdb[6] = {0x15, static_cast<uint8_t>(0x10 | save), 0x00,
                            0x00, static_cast<uint8_t>(listLength),  0x00};
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, 0, cdb, sizeof cdb);
    PthPrintCdb(&info);
    return PthSendAny(&info, list, listLength);
}

}  // namespace

int TavPDHDDErrorInjectionSet(int, char **argv)
{
    return injectionSet(argv[2], kPageN, 21, 0x1C);
}
int TavPDHDDErrorInjectionSet5(int, char **argv)
{
    return injectionSet(argv[2], kPageN5, 24, 0x20);
}
