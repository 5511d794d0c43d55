/* SATA twins of the drive maintenance commands: media errors planted with
 * WRITE UNCORRECTABLE EXT or WRITE LONG (e), and the vendor error-injection
 * structure (A). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"

namespace {

const char kInjectionFamily[] = "QRX4410";
const char kInjectionVendor[] = "QRXS Kestrel4";
const char kInjectionTitle[] = "Data structure for set error injection mode command.(1 Sector)";
const unsigned kWriteLongBytes = 516;

/* The 48-bit ATA command that plants one error at `lba`. */
void mediaErrorCdb(uint8_t *cdb, int uncorrectable, uint64_t lba)
{
    memset(cdb, 0, 16);
    cdb[0] = 0x85;
    cdb[1] = uncorrectable ? 0x07 : 0x0B;
    cdb[2] = uncorrectable ? 0x00 : 0x06;
    cdb[4] = uncorrectable ? 0x55 : 0x00;
    cdb[6] = 1;
    setAtaAddress48bit(cdb, lba);
    cdb[13] = 0x40;
    cdb[14] = uncorrectable ? 0x45 : 0x32;
}

int plantError(int cont, int drive, int uncorrectable, uint64_t lba, uint8_t *longData)
{
    uint8_t cdb[16];
    mediaErrorCdb(cdb, uncorrectable, lba);
    PassThroughInfo info;
    PthSata(&info, cont, drive, cdb, uncorrectable ? TAVPAS_NO_DATA : TAVPAS_TO_DRIVE, uncorrectable ? 1 : 0);
    PthPrintCdb(&info);
    return uncorrectable ? PthSendAny(&info, nullptr, 0) : PthSendAny(&info, longData, kWriteLongBytes);
}

/* getNumberFromLineBuf with the parameter's line number as its label. */
int numberLine(PthFile *file, int base, unsigned digits, uint32_t max, uint32_t *value)
{
    char line[PTH_PATH_SIZE];
    char label[32];
    if (!PthFileField(file, line, sizeof line, "Parameter", -1)) {
        return 0;
    }
    snprintf(label, sizeof label, "%s(%d)", "Parameter", PthFileLines(file));
    if (!getNumberFromLineBuf(base, line, digits, value) || *value > max) {
        return PthIllegal(PTH_AT, label);
    }
    return 1;
}

/* A flag line whose value must be 0 or `bit`. */
int flagLine(PthFile *file, unsigned digits, uint32_t bit, uint16_t *flags)
{
    uint32_t value = 0;
    if (!numberLine(file, 10, digits, bit, &value)) {
        return 0;
    }
    if (value != 0 && value != bit) {
        char label[32];
        snprintf(label, sizeof label, "%s(%d)", "Parameter", PthFileLines(file));
        return PthIllegal(PTH_AT, label);
    }
    *flags = static_cast<uint16_t>(*flags | value);
    return 1;
}

int errorTypeLine(PthFile *file, uint16_t *flags)
{
    static const char *const kTypes[] = {"CTO", "DCE", "IDNF", "AMNF", "CRC", "ECC"};
    char line[PTH_PATH_SIZE];
    if (!PthFileField(file, line, sizeof line, "Parameter", -1)) {
        return 0;
    }
    for (unsigned i = 0; i < sizeof kTypes / sizeof kTypes[0]; ++i) {
        if (strcmp(line, kTypes[i]) == 0) {
            *flags = static_cast<uint16_t>(*flags | i << 8);
            return 1;
        }
    }
    char label[32];
    snprintf(label, sizeof label, "%s(%d)", "Parameter", PthFileLines(file));
    return PthIllegal(PTH_AT, label);
}

void putWord(uint8_t *structure, unsigned word, uint32_t value)
{
    structure[2 * word] = static_cast<uint8_t>(value);
    structure[2 * word + 1] = static_cast<uint8_t>(value >> 8);
}

/* Lines 3 to 12 into the 512-byte structure. */
int readInjection(PthFile *file, uint8_t *structure)
{
    uint16_t flags = 0;
    uint32_t word3 = 0, byte8 = 0, byte9 = 0, first = 0, second = 0;
    if (!flagLine(file, 1, 1, &flags) || !numberLine(file, 10, 1, 4, &word3))
        return 0;
    if (word3 != 0 && word3 != 2 && word3 != 4) {
        char label[32];
        snprintf(label, sizeof label, "%s(%d)", "Parameter", PthFileLines(file));
        return PthIllegal(PTH_AT, label);
    }
    flags = static_cast<uint16_t>(flags | word3);
    if (!flagLine(file, 1, 8, &flags) || !flagLine(file, 2, 16, &flags) || !errorTypeLine(file, &flags))
        return 0;
    if (!numberLine(file, 16, 4, 0xFFFF, &word3) || !numberLine(file, 10, 4, 255, &byte8) ||
        !numberLine(file, 10, 4, 255, &byte9) || !numberLine(file, 16, 8, 0xFFFFFFFF, &first) ||
        !numberLine(file, 16, 8, 0xFFFFFFFF, &second)) {
        return 0;
    }
    putWord(structure, 0, 1);
    putWord(structure, 1, flags);
    putWord(structure, 2, 16);
    putWord(structure, 3, word3);
    structure[8] = static_cast<uint8_t>(byte8);
    structure[9] = static_cast<uint8_t>(byte9);
    putWord(structure, 5, first & 0xFFFF);
    putWord(structure, 6, first >> 16);
    putWord(structure, 7, second & 0xFFFF);
    putWord(structure, 8, second >> 16);
    return 1;
}

/* Lines 1 and 2: a SATA drive of the family that takes the injection. */
int injectionTarget(PthFile *file, int *cont, int *drive)
{
    uint32_t type = TAVPAS_DEVICE_SATA;
    if (!PthFileController(file, -1, cont) || !PthFileDrive(file, -1, *cont, drive)) {
        return 0;
    }
    if (getHddType(*cont, *drive, &type) && type != TAVPAS_DEVICE_SATA) {
        return PTH_FAIL(TavPthErr0024(PTH_AT, "SAS"));
    }
    DLL_GET_HDD_INFO info;
    memset(&info, 0, sizeof info);
    if (!getPhysicalDriveInfo(static_cast<uint8_t>(*cont), static_cast<uint8_t>(*drive), &info) ||
        strncmp(info.product, kInjectionFamily, strlen(kInjectionFamily)) != 0) {
        TavPthErr0025(PTH_AT);
        TavPthErr0026(PTH_AT, kInjectionVendor);
        TavPthErr0002(PTH_AT);
        return 0;
    }
    return 1;
}

}  // namespace

int getNumberFromLineBuf(int base, const char *line, unsigned digits, uint32_t *value)
{
    const char *text = line;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text += 2;
    }
    size_t count = strlen(text);
    if (count == 0 || count > digits || strspn(text, "0123456789abcdefABCDEF") != count) {
        return 0;
    }
    char *end = nullptr;
    unsigned long number = strtoul(text, &end, base);
    if (end == nullptr || *end != '\0' || number > 0xFFFFFFFFul) {
        return 0;
    }
    *value = static_cast<uint32_t>(number);
    return 1;
}

int getIdentifyDevice(int cont, int drive, int flag, uint8_t *identify)
{
    uint8_t cdb[16] = {0x85, 0x08, 0x0E};
    cdb[6] = 1;
    cdb[14] = 0xEC;
    PassThroughInfo info;
    PthSata(&info, cont, drive, cdb, TAVPAS_FROM_DRIVE, 1);
    if (flag) {
        PthPrintCdb(&info);
    }
    memset(identify, 0, PTH_SECTOR);
    return PthSendAny(&info, identify, PTH_SECTOR);
}

int TavPDHDDMediaErrorSet_SATA(int, char **argv)
{
    PthMediaErrors errors;
    memset(&errors, 0, sizeof errors);
    uint8_t identify[PTH_SECTOR];
    if (!PthReadMediaErrorFile(argv[2], "SAS", &errors) || !getIdentifyDevice(errors.cont, errors.drive, 1, identify)) {
        return 0;
    }
    int uncorrectable = (identify[2 * 119] & 0x04) != 0;
    uint8_t longData[kWriteLongBytes];
    memset(longData, 0xFF, PTH_SECTOR);
    memcpy(longData + PTH_SECTOR, "\x01\x02\x03\x04", 4);
    uint64_t address = errors.address;
    for (int i = 0; i < errors.count; ++i, address += static_cast<uint64_t>(errors.skip)) {
        if (address > PTH_MAX_LBA48) {
            return PthIllegal(PTH_AT, "Address");
        }
        if (!plantError(errors.cont, errors.drive, uncorrectable, address, longData)) {
            return 0;
        }
    }
    return 1;
}

int TavPDHDDErrorInjectionSet_SATA(int, char **argv)
{
    PthFile *file = nullptr;
    if (!PthOpenParameterFile(argv[2], 1024, &file)) {
        return 0;
    }
    int cont = 0, drive = 0;
    uint8_t structure[PTH_SECTOR] = {};
    int ok = injectionTarget(file, &cont, &drive) && readInjection(file, structure);
    PthFileClose(file);
    if (!ok) {
        return 0;
    }
    uint8_t cdb[16] = {0x85, 0x0B, 0x06, 0, 0, 0, 1, 0x00, 0x00, 0x00, 0x49, 0x00, 0x45, 0x40, 0xFE, 0x00};
    PassThroughInfo info;
    PthSata(&info, cont, drive, cdb, TAVPAS_TO_DRIVE, 1);
    PthPrintCdb(&info);
    uint8_t swapped[PTH_SECTOR];
    endianChange(0, structure, PTH_SECTOR, swapped);
    TavPasPrintData(kInjectionTitle, swapped, PTH_SECTOR, 0, PTH_SECTOR);
    printf("\n");
    return PthSendAny(&info, structure, PTH_SECTOR);
}
