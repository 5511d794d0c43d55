// The drives' own health, read through the pass-through library: LOG SENSE
// of all pages of SAS drives, SMART of SATA drives (SAT ATA PASS-THROUGH in the
// adapter's two-step exchange). The first command of each drive tells a
// stopped drive (NOT READY) and nothing more is sent to it, so no drive is
// started for a reading; a taken pass-through lock is waited for briefly.
#include <errno.h>
#include <string.h>
#include <time.h>

#include "tavpth.h"
#include "tavstat.h"

namespace {

constexpr uint8_t kPageWriteErrors = 0x02;
constexpr uint8_t kPageReadErrors = 0x03;
constexpr uint8_t kPageInformationalExceptions = 0x2F;
constexpr uint8_t kPageControlCumulative = 0x40;
constexpr uint16_t kParamTotalUncorrected = 0x0006;
constexpr uint8_t kAscFailurePrediction = 0x5D;
constexpr uint8_t kPageTemperature = 0x0D;
constexpr uint8_t kPageAll = 0x3F;
constexpr uint32_t kPageSize = 252;
// Room for every page of a drive in one answer, well within the adapter's
// 64 KiB pass-through; a longer answer is cut by the drive.
constexpr uint16_t kAllPagesSize = 16384;
constexpr uint32_t kSmartSize = 512;
constexpr uint8_t kSenseNotReady = 0x02;
constexpr uint8_t kSenseIllegalRequest = 0x05;
constexpr uint8_t kAscNotReady = 0x04;
constexpr int kLockRetryMs = 10;

// What one command came to.
enum Outcome { SENT_OK, SENT_SENSE, SENT_STOPPED, SENT_BUSY, SENT_FAILED };

struct Sense {
    uint8_t key, asc, ascq;
    const uint8_t *ataReturn;  // the ATA status return descriptor, or null
};

// Fixed (0x70/0x71) or descriptor (0x72/0x73) format.
Sense decodeSense(const uint8_t *s, uint32_t length)
{
    Sense out = {0, 0, 0, nullptr};
    if (length < 8) {
        return out;
    }
    uint8_t format = s[0] & 0x7F;
    if (format == 0x72 || format == 0x73) {
        out.key = s[1] & 0x0F;
        out.asc = s[2];
        out.ascq = s[3];
        uint32_t end = 8u + s[7] < length ? 8u + s[7] : length;
        for (uint32_t at = 8; at + 2 <= end; at += 2u + s[at + 1]) {
            if (s[at] == 0x09 && at + 14 <= end) {
                out.ataReturn = s + at;
            }
        }
    } else if (length >= 14) {
        out.key = s[2] & 0x0F;
        out.asc = s[12];
        out.ascq = s[13];
    }
    return out;
}

void sleepMs(int ms)
{
    struct timespec t = {0, ms * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// One pass-through command; a taken lock is tried again while the run's wait
// budget lasts. The sense data of a check condition are left in result.
Outcome send(PassThroughInfo info, uint8_t *data, uint32_t length, uint8_t *result, uint32_t *resultLength,
             int *budgetMs)
{
    for (;;) {
        PassThroughInfo attempt = info;
        uint32_t dataLength = length;
        *resultLength = TAVPAS_RESULT_SIZE;
        memset(result, 0, TAVPAS_RESULT_SIZE);
        uint32_t code = attempt.deviceType == TAVPAS_DEVICE_SCSI
                            ? TavPasLogSense(&attempt, data, &dataLength, result, resultLength)
                            : TavPasAnyCommand(&attempt, data, &dataLength, result, resultLength);
        if (code == TAVPAS_OK) {
            return SENT_OK;
        }
        if (code == TAVPAS_CHECK_CONDITION) {
            Sense sense = decodeSense(result, *resultLength);
            return sense.key == kSenseNotReady && sense.asc == kAscNotReady ? SENT_STOPPED : SENT_SENSE;
        }
        if (code != TAVPAS_LOCKED) {
            return SENT_FAILED;
        }
        if (*budgetMs < kLockRetryMs) {
            return SENT_BUSY;
        }
        *budgetMs -= kLockRetryMs;
        sleepMs(kLockRetryMs);
    }
}

StatHealthStatus failed(Outcome o)
{
    return o == SENT_STOPPED ? HEALTH_STOPPED : o == SENT_BUSY ? HEALTH_BUSY : HEALTH_ERROR;
}

// ---- SAS: LOG SENSE ----

// A request to one drive of one adapter, everything else zero.
PassThroughInfo requestTo(uint8_t contNo, uint8_t slot, decltype(PassThroughInfo::deviceType) deviceType,
                          decltype(PassThroughInfo::cdbForm) cdbForm)
{
    PassThroughInfo info;
    memset(&info, 0, sizeof info);
    info.deviceType = deviceType;
    info.cdbForm = cdbForm;
    info.controllerNo = contNo;
    info.targetNo = slot;
    return info;
}

PassThroughInfo logSense(uint8_t contNo, uint8_t slot, uint8_t page, uint16_t allocation)
{
    PassThroughInfo info = requestTo(contNo, slot, TAVPAS_DEVICE_SCSI, TAVPAS_FORM_WRAPPED);
    info.direction = TAVPAS_FROM_DRIVE;
    const uint8_t cdb[12] = {TAVPAS_WRAP_READ,
                             slot,
                             0x4D,
                             0x00,
                             static_cast<uint8_t>(kPageControlCumulative | page),
                             0x00,
                             0x00,
                             0x00,
                             0x00,
                             static_cast<uint8_t>(allocation >> 8),
                             static_cast<uint8_t>(allocation),
                             0x00};
    memcpy(info.cdb, cdb, sizeof cdb);
    info.cdbLength = sizeof cdb;
    return info;
}

// The value of one parameter of a log page (big-endian, at most 8 bytes);
// 0 when the page lacks the parameter or it was cut off.
int logParameter(const uint8_t *page, uint32_t size, uint16_t parameter, const uint8_t **value, uint8_t *length)
{
    for (uint32_t at = 4; at + 4 <= size; at += 4u + page[at + 3]) {
        if (((uint32_t{page[at]} << 8) | page[at + 1]) == parameter && at + 4u + page[at + 3] <= size) {
            *value = page + at + 4;
            *length = page[at + 3];
            return 1;
        }
    }
    return 0;
}

void counter(const uint8_t *page, uint32_t size, int64_t *out)
{
    const uint8_t *value = nullptr;
    uint8_t length = 0;
    if (!logParameter(page, size, kParamTotalUncorrected, &value, &length) || length == 0 || length > 8) {
        return;
    }
    uint64_t v = 0;
    for (uint8_t i = 0; i < length; ++i) {
        v = (v << 8) | value[i];
    }
    *out = static_cast<int64_t>(v & 0x7FFFFFFFFFFFFFFFull);
}

// One LOG SENSE of all pages (0x3F): the counters, the temperature and the
// informational exceptions in a single command. A drive that refuses it is
// asked page 0x2F alone (its counters stay unknown); so is one whose answer
// lacks page 0x2F or ends before its first parameter. The first command tells
// a stopped drive (NOT READY), which gets nothing more.
void readSas(uint8_t contNo, uint8_t slot, StatDriveHealth &h, int *budget)
{
    static uint8_t data[kAllPagesSize];
    uint8_t result[TAVPAS_RESULT_SIZE];
    uint32_t resultLength = 0;
    memset(data, 0, sizeof data);
    Outcome o =
        send(logSense(contNo, slot, kPageAll, kAllPagesSize), data, kAllPagesSize, result, &resultLength, budget);
    int informational = 0;
    if (o == SENT_OK) {
        informational = StatLogPages(data, kAllPagesSize, &h);
    } else if (o != SENT_SENSE || decodeSense(result, resultLength).key != kSenseIllegalRequest) {
        h.status = failed(o);
        return;
    }
    if (!informational) {
        memset(data, 0, kPageSize);
        o = send(logSense(contNo, slot, kPageInformationalExceptions, kPageSize), data, kPageSize, result,
                 &resultLength, budget);
        if (o != SENT_OK) {
            h.status = failed(o);
            return;
        }
        informational = (data[0] & 0x3F) == kPageInformationalExceptions && StatLogPages(data, kPageSize, &h);
    }
    h.status = informational ? HEALTH_READ : HEALTH_ERROR;
}

// ---- SATA: SMART through SAT ATA PASS-THROUGH(16) ----

constexpr uint8_t kAtaSmart = 0xB0;
constexpr uint8_t kSmartReadData = 0xD0;
constexpr uint8_t kSmartReturnStatus = 0xDA;

PassThroughInfo smart(uint8_t contNo, uint8_t slot, uint8_t feature)
{
    PassThroughInfo info = requestTo(contNo, slot, TAVPAS_DEVICE_SATA, TAVPAS_FORM_PLAIN);
    bool data = feature == kSmartReadData;
    info.direction = data ? TAVPAS_FROM_DRIVE : TAVPAS_NO_DATA;
    info.transferUnit = data ? 1 : 0;
    // SAT ATA PASS-THROUGH(16), 28-bit registers.
    uint8_t *c = info.cdb;
    c[0] = 0x85;
    c[1] = data ? 0x08 : 0x06;  // protocol: PIO data-in (4) or non-data (3)
    c[2] = data ? 0x0E : 0x20;  // from the drive, in blocks, length in the count; or CK_COND for the registers
    c[4] = feature;
    c[6] = data ? 1 : 0;  // sector count
    c[10] = 0x4F;         // LBA mid and high: the SMART signature
    c[12] = 0xC2;
    c[13] = 0x40;  // device
    c[14] = kAtaSmart;
    info.cdbLength = 16;
    return info;
}

// The raw value of one attribute (48 bits) of the SMART data; 0 when absent.
int attribute(const uint8_t *data, uint8_t id, uint64_t *raw)
{
    for (int i = 0; i < 30; ++i) {
        const uint8_t *e = data + 2 + 12 * i;
        if (e[0] == id) {
            uint64_t v = 0;
            for (int b = 5; b >= 0; --b) {
                v = (v << 8) | e[5 + b];
            }
            *raw = v;
            return 1;
        }
    }
    return 0;
}

// SMART RETURN STATUS (the registers say whether a threshold is exceeded),
// then SMART READ DATA (temperature, reallocated, pending, uncorrectable).
void readSata(uint8_t contNo, uint8_t slot, StatDriveHealth &h, int *budget)
{
    uint8_t result[TAVPAS_RESULT_SIZE];
    uint32_t resultLength = 0;
    Outcome o = send(smart(contNo, slot, kSmartReturnStatus), nullptr, 0, result, &resultLength, budget);
    Sense sense = decodeSense(result, resultLength);
    if (o != SENT_SENSE || sense.ataReturn == nullptr) {
        h.status = o == SENT_SENSE || o == SENT_OK ? HEALTH_ERROR : failed(o);
        return;
    }
    uint8_t mid = sense.ataReturn[9], high = sense.ataReturn[11];
    if (!((mid == 0x4F && high == 0xC2) || (mid == 0xF4 && high == 0x2C))) {
        h.status = HEALTH_ERROR;
        return;
    }
    h.predictiveFailure = mid == 0xF4;
    uint8_t data[kSmartSize];
    memset(data, 0, sizeof data);
    o = send(smart(contNo, slot, kSmartReadData), data, sizeof data, result, &resultLength, budget);
    if (o != SENT_OK) {
        h.status = failed(o);
        return;
    }
    uint8_t sum = 0;
    for (uint8_t b : data) {
        sum = static_cast<uint8_t>(sum + b);
    }
    if (sum != 0) {
        h.status = HEALTH_ERROR;
        return;
    }
    uint64_t raw = 0;
    if (attribute(data, 194, &raw)) {
        h.temperature = static_cast<int>(raw & 0xFF);
        int highest = static_cast<int>((raw >> 32) & 0xFF);
        h.temperatureMax = highest >= h.temperature ? highest : -1;
    }
    int64_t *counts[3] = {&h.reallocated, &h.pending, &h.offlineUncorrectable};
    const uint8_t ids[3] = {5, 197, 198};
    for (int i = 0; i < 3; ++i) {
        if (attribute(data, ids[i], &raw)) {
            *counts[i] = static_cast<int64_t>(raw & 0xFFFFFFFFu);
        }
    }
    h.status = HEALTH_READ;
}

}  // namespace

const char *StatHealthStatusText(StatHealthStatus status)
{
    switch (status) {
    case HEALTH_READ:
        return "read";
    case HEALTH_STOPPED:
        return "stopped";
    case HEALTH_BUSY:
        return "busy";
    case HEALTH_ERROR:
        return "error";
    default:
        return "";
    }
}

int StatLogPages(const uint8_t *data, uint32_t size, StatDriveHealth *h)
{
    int informational = 0;
    int previous = -1;
    for (uint32_t at = 0; at + 4 <= size;) {
        const uint8_t *page = data + at;
        int code = page[0] & 0x3F;
        if (code <= previous) {
            break;  // the pages come in ascending order: what follows is not one
        }
        uint32_t length = 4u + ((uint32_t{page[2]} << 8) | page[3]);
        uint32_t kept = length < size - at ? length : size - at;
        const uint8_t *value = nullptr;
        uint8_t valueLength = 0;
        if (code == kPageWriteErrors || code == kPageReadErrors) {
            counter(page, kept, code == kPageReadErrors ? &h->uncorrectedRead : &h->uncorrectedWrite);
        } else if (code == kPageTemperature && logParameter(page, kept, 0, &value, &valueLength) && valueLength >= 2 &&
                   value[1] != 0xFF) {
            h->temperature = value[1];
        } else if (code == kPageInformationalExceptions && logParameter(page, kept, 0, &value, &valueLength) &&
                   valueLength >= 2) {
            informational = 1;
            h->predictiveFailure = value[0] == kAscFailurePrediction;
            if (h->temperature < 0 && valueLength >= 3 && value[2] != 0xFF && value[2] != 0) {
                h->temperature = value[2];
            }
        }
        previous = code;
        at += kept;
    }
    return informational;
}

void StatReadHealth(uint8_t contNo, const DLL_ADAPTER_SNAPSHOT &snap, StatDriveHealth *health, int *waitBudgetMs)
{
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        StatDriveHealth &h = health[n];
        memset(&h, 0, sizeof h);
        h.temperature = h.temperatureMax = -1;
        h.uncorrectedRead = h.uncorrectedWrite = h.reallocated = h.pending = h.offlineUncorrectable = -1;
        if (!snap.hddValid[n]) {
            continue;
        }
        // The suite's rule: a drive whose INQUIRY vendor is "ATA" is SATA.
        h.sata = strncmp(snap.physicalDrive[n].vendor, "ATA", 3) == 0;
        if (h.sata) {
            readSata(contNo, static_cast<uint8_t>(n), h, waitBudgetMs);
        } else {
            readSas(contNo, static_cast<uint8_t>(n), h, waitBudgetMs);
        }
    }
}
