/* E: uncorrectable media errors planted on a SCSI drive with WRITE LONG,
 * and the parameter file that E and e share. */
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"

namespace {

const int kMaxCount = 0x7FFFFFFF;

/* Decimal digits only, at most 10, within an int. */
int countField(PthFile *file, const char *label, int *value)
{
    char line[PTH_PATH_SIZE];
    if (!PthFileField(file, line, sizeof line, label, 0)) {
        return 0;
    }
    size_t digits = strlen(line);
    if (digits == 0 || digits > 10 || strspn(line, "0123456789") != digits) {
        return PthIllegal(PTH_AT, label);
    }
    unsigned long long number = strtoull(line, nullptr, 10);
    if (number > static_cast<unsigned long long>(kMaxCount)) {
        return PthIllegal(PTH_AT, label);
    }
    *value = static_cast<int>(number);
    return 1;
}

}  // namespace

int PthReadMediaErrorFile(const char *name, const char *refusedKind, PthMediaErrors *errors)
{
    PthFile *file = nullptr;
    if (!PthOpenParameterFile(name, 1023, &file)) {
        return 0;
    }
    char line[PTH_PATH_SIZE];
    uint32_t type = TAVPAS_DEVICE_SCSI;
    int sata = strcmp(refusedKind, "SAS") == 0;
    int ok = PthFileController(file, 0, &errors->cont) && PthFileDrive(file, 0, errors->cont, &errors->drive);
    if (ok && getHddType(errors->cont, errors->drive, &type) && (type == TAVPAS_DEVICE_SATA) != (sata != 0)) {
        ok = PTH_FAIL(TavPthErr0024(PTH_AT, refusedKind));
    }
    ok = ok && PthFileField(file, line, sizeof line, "Address", 0);
    if (ok && (!PthParseHex(line, sata ? 16 : 8, &errors->address) || errors->address > PTH_MAX_LBA48)) {
        ok = PthIllegal(PTH_AT, "Address");
    }
    ok = ok && countField(file, "Media Error Count", &errors->count) &&
         countField(file, "Media Error Skip Count", &errors->skip);
    PthFileClose(file);
    if (!ok) {
        return 0;
    }
    if (sata) {
        PthShow(PTH_AT, "Media Error Address : 0x%012llX\n", static_cast<unsigned long long>(errors->address));
    } else {
        PthShow(PTH_AT, "Media Error Address : 0x%08X\n", static_cast<uint32_t>(errors->address));
    }
    PthShow(PTH_AT, "Media Error Count : %d\n", errors->count);
    PthShow(PTH_AT, "Media Error Skip Count : %d\n\n", errors->skip);
    return 1;
}

uint32_t ReadLongCommand(int cont, int drive, int *success)
{
    const uint8_t cdb[10] = {0x3E, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00};
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, 1, cdb, sizeof cdb);
    uint8_t block[PTH_SECTOR] = {};
    uint8_t result[TAVPAS_RESULT_SIZE] = {};
    uint32_t length = sizeof block;
    uint32_t resultLength = sizeof result;
    PthSignalCheck();
    uint32_t code = TavPasReadLong(&info, block, &length, result, &resultLength);
    *success = code == TAVPAS_OK || code == TAVPAS_CHECK_CONDITION;
    if (code == TAVPAS_CHECK_CONDITION) {
        return PTH_SECTOR + (256u - result[6]);
    }
    if (code != TAVPAS_OK) {
        TavIsErr(code, result);
    }
    return 0;
}

int WriteLongCommand(int cont, int drive, uint32_t address, uint32_t length)
{
    uint8_t cdb[10] = {0x3F, 0x00};
    PthPutBe(cdb + 2, address, 4);
    PthPutBe(cdb + 7, length, 2);
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, 0, cdb, sizeof cdb);
    PthPrintCdb(&info);
    if (length == 0) {
        return PTH_FAIL(TavPthErr0021(PTH_AT));
    }
    uint8_t *data = static_cast<uint8_t *>(malloc(length));
    if (data == nullptr) {
        return PTH_FAIL(TavPthErr0007(PTH_AT, 12, "Failed in PassThrough"));
    }
    memset(data, 0xFF, length);
    int ok = PthSendWrite(TavPasWriteLong, &info, data, length);
    free(data);
    return ok;
}

int TavPDHDDMediaErrorSet(int, char **argv)
{
    PthMediaErrors errors;
    memset(&errors, 0, sizeof errors);
    if (!PthReadMediaErrorFile(argv[2], "SATA", &errors)) {
        return 0;
    }
    int success = 0;
    uint32_t length = ReadLongCommand(errors.cont, errors.drive, &success);
    if (!success) {
        return 0;
    }
    uint64_t address = errors.address;
    for (int i = 0; i < errors.count; ++i, address += static_cast<uint64_t>(errors.skip)) {
        if (address > 0xFFFFFFFFull) {
            return PthIllegal(PTH_AT, "Address");
        }
        if (!WriteLongCommand(errors.cont, errors.drive, static_cast<uint32_t>(address), length)) {
            return 0;
        }
    }
    return 1;
}
