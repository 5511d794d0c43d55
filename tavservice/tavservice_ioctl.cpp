// The service's own requests to the driver: one request block per control
// code, sent with ioctl on the driver node opened read-only.
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tavservice.h"

namespace {

const char kDeviceNode[] = "/dev/tavdrv";
constexpr unsigned long kFirstRequest = 0xC008740AUL;
constexpr uint32_t kLayoutFlag = 0x01000000u;
constexpr uint32_t kMaxLength = 512;
constexpr int kDriverBusy = 16;
constexpr int kBusyCalls = 350;
constexpr long kBusyPauseNs = 5 * 1000 * 1000;
constexpr uint32_t kClockListLength = 28;

// The request goes out in the driver-facing block of the library's command
// record (the part from lengthIn on), which has room for any reply.
using ServiceIoRequest = SDllLinuxCmd;
constexpr size_t kBlockStart = offsetof(SDllLinuxCmd, lengthIn);
constexpr size_t kCmdStatusInBlock = offsetof(SDllLinuxCmd, cmdStatus) - kBlockStart;

void Put24(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 16);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v);
}

uint8_t Bcd(int v)
{
    return static_cast<uint8_t>(((v / 10) % 10) << 4 | (v % 10));
}

int UsesFixedLayout(const DLL_GET_CONTROLLER_INFO &info)
{
    uint16_t version[4];
    memcpy(version, info.driverVersion, sizeof version);
    return ((version[2] == 3 || version[2] == 4) && version[3] > 53) || version[2] >= 5;
}

void BuildReadBuffer(ServiceIoRequest *req, uint8_t mode, uint8_t bufferId, uint32_t offset, uint32_t length)
{
    req->area[0] = 0x3C;
    req->area[1] = mode;
    req->area[2] = bufferId;
    Put24(req->area + 3, offset);
    Put24(req->area + 6, length);
    req->lengthOut = length;
}

// MODE SELECT(6) of page 0x32 with the local time in BCD.
void BuildSetClock(ServiceIoRequest *req, uint32_t flag)
{
    req->area[0] = 0x15;
    req->area[1] = 0x11;  // PF and SP
    req->area[4] = kClockListLength;
    uint8_t *list = req->area + (flag ? 16 : 6);
    list[3] = 8;         // block descriptor length
    list[4 + 6] = 0x02;  // block length 512
    uint8_t *page = list + 12;
    page[0] = 0x32;
    page[1] = 14;
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    int year = local.tm_year + 1900;
    page[2] = Bcd(year % 100);
    page[3] = Bcd(local.tm_mon + 1);
    page[4] = Bcd(local.tm_mday);
    page[5] = 0;
    page[6] = Bcd(local.tm_hour);
    page[7] = Bcd(local.tm_min);
    page[8] = Bcd(local.tm_sec > 59 ? 59 : local.tm_sec);
    page[9] = Bcd(year / 100);
    req->lengthIn = kClockListLength;
}

int BuildRequest(ServiceIoRequest *req, int controlCode, uint32_t length, uint32_t argument, uint32_t flag)
{
    switch (controlCode) {
    case CTL_SYSTEM_STATUS:
        BuildReadBuffer(req, 1, 0x01, 0, kMaxLength);
        break;
    case CTL_DUMP_INFO:
        BuildReadBuffer(req, 1, 0xA5, 0, kMaxLength);
        break;
    case CTL_DUMP_DATA:
        BuildReadBuffer(req, 1, 0xA4, argument, length);
        break;
    case CTL_CONSUME_LOG:
        BuildReadBuffer(req, 1, 0xA1, argument, kMaxLength);
        break;
    case CTL_READ_LOG:
        BuildReadBuffer(req, 1, 0xA6, argument, kMaxLength);
        break;
    case CTL_SET_CLOCK:
        BuildSetClock(req, flag);
        break;
    case CTL_FIRMWARE_MEMORY:
        if (Model == 8)
            BuildReadBuffer(req, 2, 0x07, argument, kMaxLength);
        else
            BuildReadBuffer(req, 2, 0x17, argument >> 8, kMaxLength);
        break;
    case CTL_DRIVER_INFO:
        req->area[0] = 0xC0;
        req->area[1] = 0xFD;
        break;
    default:
        return 0;
    }
    req->lengthIn |= flag;
    return 1;
}

int SendRequest(int contNo, int controlCode, ServiceIoRequest *req)
{
    unsigned long request = kFirstRequest + static_cast<unsigned long>(contNo);
    // The driver reads the block as bytes: no aligned field pointer into the packed record.
    void *block = reinterpret_cast<uint8_t *>(req) + kBlockStart;
    int retries = (controlCode == CTL_DUMP_DATA || controlCode == CTL_FIRMWARE_MEMORY) ? kBusyCalls : 1;
    int result = ioctl(Fd, request, block);
    for (int call = 1; result == kDriverBusy && call < retries; ++call) {
        struct timespec pause {
            0, kBusyPauseNs
        };
        nanosleep(&pause, nullptr);
        result = ioctl(Fd, request, block);
    }
    return result;
}

void ReportFailure(int contNo, int controlCode, int result, const ServiceIoRequest *req)
{
    int savedErrno = errno;
    Trace_Text(__FILE__, __LINE__,
               "ioctl RETURN (RETERNCODE=0x%x, CONTNO=%d, CONTROLCODE=0x%02x host_byte=0x%02x scsi_status=0x%02x)",
               static_cast<unsigned>(result), contNo, static_cast<unsigned>(controlCode), req->hostStatus,
               req->cmdStatus);
    ServiceLog(PRI_INFO, "ControllCode: %d. DriverErrCode: %d. errno: %d.(%s)", controlCode, result, savedErrno,
               strerror(savedErrno));
    Trace_Logging(__FILE__, __LINE__, strerror(savedErrno), savedErrno);
    errno = savedErrno;
}

}  // namespace

int OpenDevice(void)
{
    char path[4096];
    if (!Tool_ResolvePath(kDeviceNode, path, sizeof path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
    }
    return fd;
}

int ExecIoControl(int contNo, int controlCode, void *buffer, uint32_t length, uint32_t argument)
{
    if ((length > kMaxLength && controlCode != 1) || contNo < 0 || contNo >= TAV_MAX_CONTROLLERS) {
        errno = EINVAL;
        return -1;
    }
    DLL_GET_CONTROLLER_INFO info;
    if (!getContInfo(contNo, &info)) {
        Trace_Text(__FILE__, __LINE__, "getContInfo CALL RTNCode=FALSE");
        return -1;
    }
    static ServiceIoRequest req;
    memset(&req, 0, sizeof req);
    if (!BuildRequest(&req, controlCode, length, argument, UsesFixedLayout(info) ? kLayoutFlag : 0)) {
        errno = EINVAL;
        return -1;
    }
    if (controlCode != CTL_DUMP_DATA && controlCode != CTL_FIRMWARE_MEMORY) {
        Trace_Text(__FILE__, __LINE__, "ioctl CALL CONTROLCODE=0x%02x", static_cast<unsigned>(controlCode));
    }
    int result = SendRequest(contNo, controlCode, &req);
    if (result != 0) {
        ReportFailure(contNo, controlCode, result, &req);
        return -1;
    }
    if (controlCode == CTL_DRIVER_INFO) {
        memcpy(buffer, &req.lengthIn, DRIVER_INFO_SIZE);
    } else if (buffer != nullptr && length > 0) {
        memcpy(buffer, req.area, length);
    }
    return 1;
}

int GetSystemStatus(int contNo, uint8_t *status)
{
    return ExecIoControl(contNo, CTL_SYSTEM_STATUS, status, SYSTEM_STATUS_SIZE, 0);
}

int GetLogEntry(int contNo, int index, ControllerLogEntry *entry)
{
    ControllerLogEntry local;
    if (ExecIoControl(contNo, CTL_READ_LOG, local.raw, LOG_ENTRY_SIZE, static_cast<uint32_t>(index) * LOG_ENTRY_SIZE) <
        0) {
        return -1;
    }
    ConvertLogEntry(&local);
    *entry = local;
    return 1;
}

int GetRealLogEntry(int contNo, int index)
{
    uint8_t local[LOG_ENTRY_SIZE];
    return ExecIoControl(contNo, CTL_CONSUME_LOG, local, LOG_ENTRY_SIZE, static_cast<uint32_t>(index) * LOG_ENTRY_SIZE);
}

int SetTraidClock(int contNo)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    return ExecIoControl(contNo, CTL_SET_CLOCK, nullptr, 0, 0);
}

int GetDriverInfo(RaidControllerEntry *controller, int contNo)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    uint8_t block[DRIVER_INFO_SIZE];
    if (ExecIoControl(contNo, CTL_DRIVER_INFO, block, 0, 0) < 0) {
        controller->dumpPending = 0;
        return 0;
    }
    controller->dumpPending = block[kCmdStatusInBlock];
    return 1;
}

uint32_t SystemStatusWriteIndex(const uint8_t *status)
{
    return (uint32_t{status[185]} << 24) | (uint32_t{status[186]} << 16) | (uint32_t{status[187]} << 8) | status[188];
}
