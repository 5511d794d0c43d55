/* Drive commands through the pass-through library, spinning a drive up and
 * down, the per-drive lock and the signals that must not leave a drive
 * spinning. */
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include "tavbase/lock.h"
#include "tavlog_hdd.h"
#include "tavpth.h"

#define SRC_FILE "tavlog_log"
#define BUSY_ATTEMPTS 350
#define BUSY_PAUSE_NS 5000000L
#define SPIN_PAUSE_NS 100000000L
#define SPIN_POLLS 600
#define SENSE_KEY_NOT_READY 0x02
#define LOCK_PATH_FORMAT "/var/run/.tavlogC%dH%d.lock"

namespace {

volatile sig_atomic_t g_stopSignal = 0;
tavbase::LockFile g_driveLock = {-1, 0, 0, 0, ""};  // held while this run has the drive spun up

void onStopSignal(int signal)
{
    g_stopSignal = signal;
}

void pause(long nanoseconds)
{
    struct timespec t = {0, nanoseconds};
    nanosleep(&t, nullptr);
}

typedef uint32_t (*PassFunction)(PassThroughInfo *, uint8_t *, uint32_t *, uint8_t *, uint32_t *);

struct ScsiFunc {
    uint8_t wrapper;
    uint32_t cdbLength;
    PassFunction call;
};

const ScsiFunc scsifunctbl[] = {
    {0xBA, 8, TavPasAnyCommand}, {0xBA, 8, TavPasAnyCommand},          {0xBB, 8, TavPasInquiry},
    {0xBB, 12, TavPasLogSense},  {0xBB, 12, TavPasRequestInternalLog},
};

void put16(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

void put24(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 16);
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)v;
}

void buildCdb(const HddRequest &req, PassThroughInfo *info)
{
    uint8_t *c = info->cdb;
    c[0] = scsifunctbl[req.kind].wrapper;
    c[1] = (uint8_t)req.hddNo;
    switch (req.kind) {
    case HDD_REQ_START_STOP:
        c[2] = 0x1B;
        c[3] = 0x01;
        c[6] = req.startFlag;
        break;
    case HDD_REQ_INQUIRY:
        c[2] = 0x12;
        put16(c + 5, req.allocLength);
        break;
    case HDD_REQ_LOG_SENSE:
        c[2] = 0x4D;
        c[4] = (uint8_t)((req.pageControl << 6) | (req.pageCode & 0x3F));
        put16(c + 7, req.paramPointer);
        put16(c + 9, req.allocLength);
        break;
    case HDD_REQ_INTERNAL_LOG:
        c[2] = 0xFE;
        c[3] = req.logKind;
        put24(c + 5, req.paramPointer);
        put24(c + 8, req.allocLength);
        break;
    default:
        break;
    }
}

int fail(uint32_t cause, const char *function, int line)
{
    g_errDetail.detail = cause;
    PrintError(MSG_GENERAL, ERR_KIND_MESSAGE, function, line);
    return 0;
}

/* Maps a failed pass-through answer to the report. */
int reportPassFailure(const HddRequest &req, uint32_t code, const uint8_t *result)
{
    switch (code) {
    case TAVPAS_CHECK_CONDITION:
        g_errDetail.senseKey = result[2] & 0x0F;
        g_errDetail.asc = result[12];
        g_errDetail.ascq = result[13];
        return fail(req.kind == HDD_REQ_INTERNAL_LOG ? CAUSE_PTH_CHECK : CAUSE_CHECK_CONDITION, "CommonPathCmd",
                    __LINE__);
    case TAVPAS_PARAM_ERROR:
        g_errDetail.paramNo = result[0] & 0x7F;
        return fail(CAUSE_PTH_PARAM, "CommonPathCmd", __LINE__);
    case TAVPAS_COMMAND_ERROR:
        g_errDetail.errNo = EIO;
        return fail(CAUSE_PTH_LIBRARY, "CommonPathCmd", __LINE__);
    case TAVPAS_SYSTEM_ERROR:
        g_errDetail.errNo = (uint32_t)errno;
        return fail(CAUSE_PTH_SYSTEM, "CommonPathCmd", __LINE__);
    default:
        return fail(CAUSE_PTH, "CommonPathCmd", __LINE__);
    }
}

int lockPath(char *path, size_t size)
{
    char fixed[128];
    snprintf(fixed, sizeof fixed, LOCK_PATH_FORMAT, CONTno, HDDno);
    return Tool_ResolvePath(fixed, path, size);
}

/* Takes the drive's lock: 1 held, -1 held by another (reported), -2 other
 * failure (reported). */
int takeDriveLock(tavbase::LockFile *lock)
{
    char path[tavbase::kLockPathSize];
    if (!lockPath(path, sizeof path)) {
        SystemError(SRC_FILE, __LINE__, "Tool_ResolvePath", ENAMETOOLONG);
        return -2;
    }
    const char *call = "open";
    if (tavbase::LockTake(lock, path, 0600, tavbase::kLockExclusive, &call)) {
        return 1;
    }
    if (errno == EWOULDBLOCK) {
        PrintError(MSG_STARTED, ERR_KIND_MESSAGE, "MotorOnOff", __LINE__);
        return -1;
    }
    SystemError(SRC_FILE, __LINE__, call, errno);
    return -2;
}

/* Removes the lock file while still holding it, then unlocks: the file is
 * this run's, since the lock was taken on the file the path names. */
void releaseDriveLock(tavbase::LockFile *lock)
{
    tavbase::LockRelease(lock, 1, nullptr);
}

int sendUnit(uint8_t kind, uint8_t startFlag)
{
    HddRequest req = {};
    req.kind = kind;
    req.hddNo = (uint8_t)HDDno;
    req.startFlag = startFlag;
    return CommonPathCmd(&req) ? (int)req.status : -1;
}

/* Every catchable signal that would end the run while a drive it spun up is
 * running: noted, so that the drive is stopped and its lock file removed
 * before the run ends. */
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];
struct sigaction g_savedActions[kStopSignalCount];

void catchStopSignals(void)
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kStopSignalCount; ++i) {
        sigaction(kStopSignals[i], &action, &g_savedActions[i]);
    }
}

void restoreStopSignals(void)
{
    for (int i = 0; i < kStopSignalCount; ++i) {
        sigaction(kStopSignals[i], &g_savedActions[i], nullptr);
    }
}

/* Polls TEST UNIT READY every 100 ms until the started drive is ready. */
int waitReady(void)
{
    for (int poll = 0; poll < SPIN_POLLS; ++poll) {
        int status = sendUnit(HDD_REQ_TEST_UNIT_READY, 0);
        if (status == 0) {
            return 1;
        }
        if (status != 2) {
            return 0;
        }
        pause(SPIN_PAUSE_NS);
    }
    return fail(CAUSE_SPIN_UP, "MotorOnOff", __LINE__);
}

}  // namespace

int StopRequested(void)
{
    return g_stopSignal != 0;
}

/* Sends one drive request; busy answers are retried every 5 ms. */
int CommonPathCmd(HddRequest *req)
{
    static bool traced = false;
    if (!traced) {
        traced = true;
        TraceCall(SRC_FILE, __LINE__, 3, "CommonPathCmd");
    }
    if (g_stopSignal != 0) {
        return SystemError(SRC_FILE, __LINE__, "CommonPathCmd", EINTR);
    }
    static uint8_t none[1];
    for (int attempt = 0; attempt < BUSY_ATTEMPTS; ++attempt) {
        PassThroughInfo info = {};
        info.deviceType = TAVPAS_DEVICE_SCSI;
        info.cdbForm = TAVPAS_FORM_WRAPPED;
        info.controllerNo = (uint8_t)CONTno;
        info.targetNo = req->hddNo;
        info.direction = req->data != nullptr ? TAVPAS_FROM_DRIVE : TAVPAS_TO_DRIVE;
        info.cdbLength = scsifunctbl[req->kind].cdbLength;
        buildCdb(*req, &info);
        uint32_t length = req->data != nullptr ? req->allocLength : 0;
        uint8_t result[TAVPAS_RESULT_SIZE] = {};
        uint32_t resultLength = sizeof result;
        uint32_t code =
            scsifunctbl[req->kind].call(&info, req->data != nullptr ? req->data : none, &length, result, &resultLength);
        req->status = info.status;
        req->returned = length;
        if (code == TAVPAS_OK) {
            req->status = 0;
            return 1;
        }
        // A stopped drive answers TEST UNIT READY with NOT READY; only that
        // one is the "not ready" status the caller spins the drive up for.
        // Any other check condition is a failure: reading it as "not ready"
        // would stop a running drive (a RAID member) after the collection.
        if (code == TAVPAS_CHECK_CONDITION && req->kind == HDD_REQ_TEST_UNIT_READY &&
            (result[2] & 0x0F) == SENSE_KEY_NOT_READY) {
            req->status = 2;
            return 1;
        }
        if (code != TAVPAS_BUSY && code != TAVPAS_LOCKED) {
            return reportPassFailure(*req, code, result);
        }
        pause(BUSY_PAUSE_NS);
    }
    return fail(CAUSE_PTH_BUSY, "CommonPathCmd", __LINE__);
}

/* Spins a stopped drive up under the drive lock. Returns 0 on failure; sets
 * *lockFd (>= 0) when this run started the drive. */
int MotorOn(int *lockFd)
{
    TraceCall(SRC_FILE, __LINE__, 3, "MotorOnOff");
    *lockFd = -1;
    int status = sendUnit(HDD_REQ_TEST_UNIT_READY, 0);
    if (status == 0) {
        if (takeDriveLock(&g_driveLock) < 0) {
            return 0;
        }
        releaseDriveLock(&g_driveLock);
        return 1;
    }
    if (status != 2) {
        return 0;
    }
    catchStopSignals();
    if (takeDriveLock(&g_driveLock) < 0) {
        restoreStopSignals();
        return 0;
    }
    *lockFd = g_driveLock.fd;
    if (sendUnit(HDD_REQ_START_STOP, 1) != 0) {
        return 0;
    }
    pause(SPIN_PAUSE_NS);
    return waitReady();
}

/* Stops the drive this run started and releases its lock, whatever happened
 * meanwhile (a signal included: the stop request itself is still sent). */
int MotorOff(int)
{
    TraceCall(SRC_FILE, __LINE__, 3, "MotorOnOff");
    sig_atomic_t signal = g_stopSignal;
    g_stopSignal = 0;
    int stopped = sendUnit(HDD_REQ_START_STOP, 0) == 0;
    pause(SPIN_PAUSE_NS);
    releaseDriveLock(&g_driveLock);
    restoreStopSignals();
    g_stopSignal = signal;
    return stopped;
}
