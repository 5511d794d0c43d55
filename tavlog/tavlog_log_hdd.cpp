/* Drive internal logs: identification, log-sense pages and the four vendor
 * internal logs, read through the pass-through library. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "tavlog_hdd.h"

#define SRC_FILE "tavlog_log"
#define INQUIRY_LENGTH 48
#define MAX_ALLOC 0xFFFFu
#define INTERNAL_PIECE 0x10000u
#define VENDOR_FUJITSU 0
#define VENDOR_MORVANE 1
#define VENDOR_TOSHIBA 2

namespace {

struct DriveId {
    char vendor[9];
    char product[17];
    char revision[5];
    char serial[13];
    int vendorKind;
};

uint8_t g_data[INTERNAL_PIECE];

int vendorKindOf(const char *vendor)
{
    static const char *const kVendors[] = {"FUJITSU", "MORVANE", "TOSHIBA"};
    for (int i = 0; i < 3; ++i) {
        if (strncmp(vendor, kVendors[i], 7) == 0) {
            return i;
        }
    }
    return -1;
}

/* Identifies the drive from its INQUIRY data. */
int HddTypChk(DriveId *id)
{
    TraceCall(SRC_FILE, __LINE__, 3, "HddTypChk");
    uint8_t inquiry[INQUIRY_LENGTH] = {};
    HddRequest req = {};
    req.kind = HDD_REQ_INQUIRY;
    req.hddNo = (uint8_t)HDDno;
    req.allocLength = sizeof inquiry;
    req.data = inquiry;
    if (!CommonPathCmd(&req)) {
        return 0;
    }
    snprintf(id->vendor, sizeof id->vendor, "%.8s", (const char *)inquiry + 8);
    snprintf(id->product, sizeof id->product, "%.16s", (const char *)inquiry + 16);
    snprintf(id->revision, sizeof id->revision, "%.4s", (const char *)inquiry + 32);
    snprintf(id->serial, sizeof id->serial, "%.12s", (const char *)inquiry + 36);
    id->vendorKind = vendorKindOf(id->vendor);
    if (id->vendorKind < 0) {
        g_errDetail.detail = CAUSE_VENDOR;
        PrintError(MSG_GENERAL, ERR_KIND_MESSAGE, "HddTypChk", __LINE__);
        return 0;
    }
    return 1;
}

int refuse(int code)
{
    PrintError(code, ERR_KIND_MESSAGE, "HddLogJudge", __LINE__);
    return 0;
}

/* Whether the internal logs may be read from this drive. */
int HddLogJudge(const DriveId &id)
{
    TraceCall(SRC_FILE, __LINE__, 3, "HddLogJudge");
    DLL_GET_RAID_STATUS status;
    if (!getRaidStatus((uint8_t)CONTno, &status)) {
        PrintError(MSG_LIBRARY, ERR_KIND_SYSTEM, "getRaidStatus", __LINE__);
        return 0;
    }
    uint8_t state = status.hddState[HDDno];
    bool failed = state >= 0x20 && state <= 0x27;
    if (!failed && !HddLogForce) {
        return refuse(MSG_STATUS_GOOD);
    }
    if (id.vendorKind == VENDOR_MORVANE) {
        return refuse(MSG_VENDOR);
    }
    if (strncmp(id.product, "MAX", 3) == 0 || strncmp(id.product, "MAY", 3) == 0) {
        return refuse(MSG_PRODUCT);
    }
    if ((strncmp(id.product, "MBA", 3) == 0 || strncmp(id.product, "MBB", 3) == 0) &&
        strncmp(id.revision + 2, "05", 2) < 0) {
        return refuse(MSG_REVISION);
    }
    return 1;
}

/* One line per 16 bytes: offset, hexadecimal digits and characters. */
int PrintLog(int fd, const char *header, const uint8_t *data, uint32_t length, uint32_t *offset)
{
    if (*offset == 0 && header != nullptr && !WriteAll(fd, header, strlen(header), "PrintLog", __LINE__)) {
        return 0;
    }
    for (uint32_t at = 0; at < length; at += 16) {
        char line[96];
        int used = snprintf(line, sizeof line, "%08x: ", *offset + at);
        for (uint32_t i = 0; i < 16; ++i) {
            used += at + i < length ? snprintf(line + used, sizeof line - (size_t)used, "%02x", data[at + i])
                                    : snprintf(line + used, sizeof line - (size_t)used, "  ");
        }
        line[used++] = ' ';
        for (uint32_t i = 0; i < 16; ++i) {
            uint8_t c = at + i < length ? data[at + i] : ' ';
            line[used++] = at + i >= length ? ' ' : (c >= '!' && c <= '~' ? (char)c : '.');
        }
        line[used++] = '\n';
        if (!WriteAll(fd, line, (size_t)used, "PrintLog", __LINE__)) {
            return 0;
        }
    }
    *offset += length;
    return 1;
}

int createFile(const char *suffix)
{
    char name[64];
    snprintf(name, sizeof name, "%s%d", suffix, HDDno);
    if (!ChooseOutputName(name)) {
        return -1;
    }
    return CreateOutputFile(g_outFile);
}

int WriteInquiry(const DriveId &id)
{
    TraceCall(SRC_FILE, __LINE__, 4, "WriteInquiry");
    int fd = createFile("_HDDInquiry_");
    if (fd < 0) {
        return 0;
    }
    char text[256];
    int n = snprintf(text, sizeof text,
                     "Vendor ID         : %-8s\nProduct ID        : %-16s\nProduct Revision  : %-4s\n"
                     "Serial No.        : %-12s\n",
                     id.vendor, id.product, id.revision, id.serial);
    int written = WriteAll(fd, text, (size_t)n, "WriteInquiry", __LINE__);
    return FinishOutput(fd, written, "WriteInquiry", __LINE__);
}

int logSense(uint8_t pageControl, uint8_t page, uint32_t pointer, uint32_t length, uint8_t *data)
{
    HddRequest req = {};
    req.kind = HDD_REQ_LOG_SENSE;
    req.hddNo = (uint8_t)HDDno;
    req.pageControl = pageControl;
    req.pageCode = page;
    req.paramPointer = pointer;
    req.allocLength = length;
    req.data = data;
    return CommonPathCmd(&req);
}

/* One page: its length from a 4-byte read, then the page in pieces of at
 * most 0xFFFF bytes. */
int writeLogPage(int fd, uint8_t pageControl, uint8_t page)
{
    uint8_t head[4] = {};
    if (!logSense(pageControl, page, 0, sizeof head, head)) {
        return 0;
    }
    uint32_t total = (((uint32_t)head[2] << 8) | head[3]) + 4;
    char header[32];
    snprintf(header, sizeof header, "<Page%02x>\n", page);
    uint32_t offset = 0;
    while (offset < total) {
        uint32_t piece = total - offset < MAX_ALLOC ? total - offset : MAX_ALLOC;
        if (!logSense(pageControl, page, offset, piece, g_data) || !PrintLog(fd, header, g_data, piece, &offset)) {
            return 0;
        }
    }
    return 1;
}

int WriteLogSense(const DriveId &id)
{
    TraceCall(SRC_FILE, __LINE__, 4, "WriteLogSense");
    uint8_t pageControl = id.vendorKind == VENDOR_MORVANE ? 1 : 0;
    static uint8_t list[MAX_ALLOC];
    if (!logSense(pageControl, 0, 0, MAX_ALLOC, list)) {
        return 0;
    }
    uint32_t count = ((uint32_t)list[2] << 8) | list[3];
    if (count > MAX_ALLOC - 4) {
        count = MAX_ALLOC - 4;
    }
    int fd = createFile("_HDDLogSense_");
    if (fd < 0) {
        return 0;
    }
    int ok = 1;
    for (uint32_t i = 0; i < count && ok; ++i) {
        ok = writeLogPage(fd, pageControl, list[4 + i]);
    }
    return FinishOutput(fd, ok, "WriteLogSense", __LINE__);
}

const char *internalHeader(int code)
{
    switch (code) {
    case LOG_HDD_DSLOG:
        return "<Drive Status Log>\n";
    case LOG_HDD_DILOG:
        return "<Drive Internal Log>\n";
    case LOG_HDD_CLOG:
        return "<Command Log>\n";
    default:
        return "<Controller Internal Information>\n";
    }
}

const char *internalSuffix(int code)
{
    switch (code) {
    case LOG_HDD_DSLOG:
        return "_HDDLog_DSLog_";
    case LOG_HDD_DILOG:
        return "_HDDLog_DILog_";
    case LOG_HDD_CLOG:
        return "_HDDLog_CLog_";
    default:
        return "_HDDLog_CII_";
    }
}

int internalLog(int code, uint32_t offset, uint32_t length)
{
    HddRequest req = {};
    req.kind = HDD_REQ_INTERNAL_LOG;
    req.hddNo = (uint8_t)HDDno;
    req.logKind = (uint8_t)code;
    req.paramPointer = offset;
    req.allocLength = length;
    req.data = g_data;
    return CommonPathCmd(&req);
}

/* The log's length from its first 4 bytes, then pieces of at most 0x10000
 * bytes, each at the offset reached so far. */
int WriteRequestInternalLog(int code)
{
    TraceCall(SRC_FILE, __LINE__, 4, "WriteRequestInternalLog");
    int fd = createFile(internalSuffix(code));
    if (fd < 0) {
        return 0;
    }
    int ok = internalLog(code, 0, 4);
    uint32_t total = ok ? (((uint32_t)g_data[1] << 16) | ((uint32_t)g_data[2] << 8) | g_data[3]) + 4 : 0;
    uint32_t offset = 0;
    while (ok && offset < total) {
        uint32_t piece = total - offset < INTERNAL_PIECE ? total - offset : INTERNAL_PIECE;
        ok = internalLog(code, offset, piece) && PrintLog(fd, internalHeader(code), g_data, piece, &offset);
    }
    return FinishOutput(fd, ok, "WriteRequestInternalLog", __LINE__);
}

int collectDriveLog(int code, const DriveId &id)
{
    switch (code) {
    case LOG_HDD_INQUIRY:
        return WriteInquiry(id);
    case LOG_HDD_LOGSENSE:
        return WriteLogSense(id);
    default:
        return WriteRequestInternalLog(code);
    }
}

}  // namespace

/* One drive log: identify, judge, spin up, collect, and stop a drive this
 * run started on every path. */
int IntHddLogMain(int code)
{
    TraceCall(SRC_FILE, __LINE__, 4, "IntHddLogMain");
    DriveId id = {};
    if (!HddTypChk(&id)) {
        return 0;
    }
    bool internal = code != LOG_HDD_INQUIRY && code != LOG_HDD_LOGSENSE;
    if (internal && !HddLogJudge(id)) {
        return 0;
    }
    int lockFd = -1;
    int collected = MotorOn(&lockFd) && collectDriveLog(code, id);
    if (lockFd >= 0 && !MotorOff(lockFd)) {
        collected = 0;
    }
    if (StopRequested()) {
        collected = 0;
    }
    return collected;
}
