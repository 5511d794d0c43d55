/* L: the vendor log pages 0x31 (the drive's own error history) and 0x32
 * (its SMART-style counters) of every SCSI drive on every controller. The
 * labels are EUC-JP bytes written as escapes, each with its text in a
 * comment. */
#include <stdio.h>
#include <string.h>

#include "TavPth.h"

namespace {

/* <<<Logpage31:過去にHDDが挙げたエラーログ>>> */
const char kTitle31[] =
    "<<<Logpage31:\xB2\xE1\xB5\xEE\xA4\xCBHDD\xA4\xAC\xB5\xF3\xA4\xB2\xA4\xBF\xA5\xA8\xA5\xE9\xA1\xBC\xA5\xED\xA5\xB0>>"
    ">";
/* <<<Logpage32:HDD SMART系ログ>>> */
const char kTitle32[] = "<<<Logpage32:HDD SMART\xB7\xCF\xA5\xED\xA5\xB0>>>";
/* No.\t累積(h)\t\tP-On(m)\t\tｾﾝｽﾃﾞｰﾀ\tLBA\t\tCDB */
const char kHeader31[] =
    "No.\t\xCE\xDF\xC0\xD1(h)\t\tP-On(m)\t\t\x8E\xBE\x8E\xDD\x8E\xBD\x8E\xC3\x8E\xDE\x8E\xB0\x8E\xC0\tLBA\t\tCDB";
const unsigned kPage31Length = 0x3574; /* 4-byte header and 171 entries */
const unsigned kPage31Entry = 80;

void printEntry(const uint8_t *entry)
{
    uint32_t cumulative = static_cast<uint32_t>(PthGetBe(entry + 8, 4));
    uint32_t powerOn = static_cast<uint32_t>(PthGetBe(entry + 12, 4));
    uint32_t hoursPart = cumulative / 3600;
    printf("%03d\t%8u.%02u\t%8u.%02u\t", entry[1], hoursPart, (cumulative - hoursPart * 3600) * 100 / 3600,
           powerOn / 60, (powerOn % 60) * 100 / 60);
    printf("%02X%02X%02X\t%02X%02X%02X%02X\t%02X\n", entry[18] & 0x0Fu, entry[28], entry[29], entry[19], entry[20],
           entry[21], entry[22], entry[64]);
}

/* LOG SENSE of one page into `data`; reports a failure. */
int logSense(int cont, int drive, uint8_t page, uint16_t allocation, uint8_t *data, uint32_t length)
{
    uint8_t cdb[10] = {0x4D, 0x00, page};
    PthPutBe(cdb + 7, allocation, 2);
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, 1, cdb, sizeof cdb);
    PthPrintCdb(&info);
    memset(data, 0, length);
    return PthSendRead(TavPasLogSense, &info, data, length);
}

/* The layout of page 0x32 by product characters 5 to 7. */
typedef void (*Page32Printer)(const uint8_t *data);
Page32Printer page32Layout(const char *product, uint16_t *allocation)
{
    if (strncmp(product + 4, "073", 3) == 0) {
        *allocation = 0x00D4;
        return PrintLogPage32Fix73;
    }
    if (strncmp(product + 4, "147", 3) == 0 || strncmp(product + 4, "300", 3) == 0) {
        *allocation = 0x0134;
        return PrintLogPage32Fix146;
    }
    if (strncmp(product + 4, "036", 3) == 0) {
        *allocation = 0x00A4;
        return PrintLogPage32Fix36;
    }
    return nullptr;
}

}  // namespace

void PrintLogPage31(const uint8_t *data, uint32_t length)
{
    printf("%s\n", kHeader31);
    for (uint32_t offset = 4; offset < length && offset + kPage31Entry <= length; offset += kPage31Entry) {
        printEntry(data + offset);
    }
    fflush(stdout);
}

int LogPage31Command(int cont, int drive)
{
    static uint8_t page[kPage31Length];
    if (!logSense(cont, drive, 0x31, kPage31Length, page, sizeof page)) {
        return 0;
    }
    PrintLogPage31(page, sizeof page);
    return 1;
}

int LogPage32Command(int cont, int drive)
{
    char vendor[9] = {}, product[17] = {}, revision[5] = {};
    if (!GetInquiry(cont, drive, vendor, product, revision, 1)) {
        return 0;
    }
    uint16_t allocation = 0;
    Page32Printer printer = page32Layout(product, &allocation);
    if (printer == nullptr) {
        return 1;
    }
    uint8_t page[PTH_LOG32_BUFFER];
    if (!logSense(cont, drive, 0x32, allocation, page, sizeof page)) {
        return 0;
    }
    printer(page);
    return 1;
}

int TavPrintLogsense(int, char **)
{
    uint8_t count = 0;
    getContNum(&count);
    for (int cont = 0; cont < count; ++cont) {
        for (int drive = 0; drive <= PTH_LAST_DRIVE; ++drive) {
            uint32_t type = TAVPAS_DEVICE_SCSI;
            if (!DriveCheck_Silence(cont, drive) || !getHddType(cont, drive, &type)) {
                continue;
            }
            if (type == TAVPAS_DEVICE_SATA) {
                PthTrace(PTH_AT, "[%s] drive of controller[%d] Hdd[%d] skipped for not supported [%s] command.", "SATA",
                         cont, drive, "TavPrintLogsense");
                continue;
            }
            if (drive != 0) {
                printf("\n");
            }
            PthShowTarget(cont, drive, PTH_KIND_PD);
            printf("\n%s\n", kTitle31);
            if (LogPage31Command(cont, drive)) {
                printf("\n%s\n", kTitle32);
                LogPage32Command(cont, drive);
            }
        }
    }
    return 1;
}
