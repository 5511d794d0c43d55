// The firmware event log: a ring of 4096 entries of 512 bytes in a file per
// adapter. Model events become entries in the layout the host decodes: header
// values big-endian, words inside the detail (from 64) and the status block
// (from 320) in the adapter processor's order (little-endian).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "sim_codec.h"
#include "sim_events.h"
#include "sim_firmware.h"
#include "sim_store.h"

namespace tavsim {

namespace {

constexpr uint32_t kFirmwareMagic = 0x46574C31;  // "FWL1"
constexpr uint8_t kBufConsumeLog = 0xA1;
constexpr int kDetail = 64;
constexpr int kStatus = 320;

// Entry codes the host decodes.
constexpr uint16_t kLogDeviceConfig = 2;
constexpr uint16_t kLogDataRestore = 33;
constexpr uint16_t kLogOperatorSet = 34;
constexpr uint16_t kFormatDevice = 0x8002;
constexpr uint16_t kFormatRestore = 0x8004;
constexpr uint16_t kTypeDrive = 1;
constexpr uint16_t kTypeGroupState = 72;
constexpr uint8_t kKindRebuild = 0x00, kKindCheck = 0x01, kKindParity = 0x02;
constexpr uint8_t kAbortRebuild = 0xF0, kAbortCheck = 0xF1, kAbortParity = 0xF2;

void putLe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void putLe32(uint8_t* p, uint32_t v) {
    putLe16(p, v);
    putLe16(p + 2, v >> 16);
}

bool logPath(const char* root, unsigned controller, char* out, size_t size) {
    int n = std::snprintf(out, size, "%s/var/lib/tavsim/eventlog-c%u", root, controller);
    return n > 0 && static_cast<size_t>(n) < size;
}

// Opens the ring file, creating it with every slot empty when missing.
int openLog(const char* root, unsigned controller) {
    char path[kPathMax];
    if (!logPath(root, controller, path, sizeof path)) return -1;
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    uint8_t empty[kLogEntrySize];
    std::memset(empty, kLogEmptyByte, sizeof empty);
    for (uint32_t i = 0; i < kLogEntries; ++i) {
        if (pwrite(fd, empty, sizeof empty, static_cast<off_t>(i) * kLogEntrySize) != kLogEntrySize) {
            close(fd);
            unlink(path);
            return -1;
        }
    }
    return fd;
}

bool slotIo(const char* root, unsigned controller, uint32_t index, uint8_t* entry, bool write) {
    int fd = openLog(root, controller);
    if (fd < 0) return false;
    off_t at = static_cast<off_t>(index % kLogEntries) * kLogEntrySize;
    ssize_t n = write ? pwrite(fd, entry, kLogEntrySize, at) : pread(fd, entry, kLogEntrySize, at);
    close(fd);
    return n == kLogEntrySize;
}

void driveEntry(AdapterRecord& a, uint8_t* e, uint16_t logCode, uint8_t slot, uint8_t state) {
    startLogEntry(a, e, logCode, kFormatDevice, 0);
    putLe16(e + kStatus, kTypeDrive);
    e[kStatus + 2] = slot;
    e[kStatus + 4] = state;
}

void restoreEntry(AdapterRecord& a, uint8_t* e, uint8_t group, uint8_t kind, uint32_t progress) {
    startLogEntry(a, e, kLogDataRestore, kFormatRestore, 0);
    e[kDetail + 16] = group;
    e[kDetail + 17] = 1;
    e[kDetail + 18] = kind;
    putLe32(e + kDetail + 20, progress);
    putLe32(e + kDetail + 24, progress);
}

// The drive whose loss ended a rebuild: the first member still missing.
uint8_t lostMember(const GroupRecord& g) {
    for (int i = 0; i < g.memberCount && i < kMaxMembers; ++i)
        if (g.members[i].state == kMemberMissing) return g.members[i].drive;
    return kNone;
}

// Writes the entries of one model event; returns how many (0, 1 or 2).
int encodeEvent(AdapterRecord& a, const EventRecord& ev, uint8_t entries[2][kLogEntrySize]) {
    uint8_t* e = entries[0];
    FirmwareRecord& fw = firmwareOf(a);
    switch (ev.code) {
    case kEventDriveFailed:
        driveEntry(a, e, kLogDeviceConfig, ev.subject, ev.detail);
        return 1;
    case kEventDriveRemoved:
        driveEntry(a, e, kLogDeviceConfig, ev.subject, 0xFF);
        return 1;
    case kEventDriveInserted:
        driveEntry(a, e, kLogDeviceConfig, ev.subject, 0x10);
        return 1;
    case kEventDriveForcedGood:
        driveEntry(a, e, kLogOperatorSet, ev.subject, 0x00);
        return 1;
    case kEventDriveForcedFailed:
        driveEntry(a, e, kLogOperatorSet, ev.subject, kPdAlarm);
        return 1;
    case kEventGroupStateChanged: {
        if (ev.subject >= kMaxGroups) return 0;
        startLogEntry(a, e, kLogDeviceConfig, kFormatDevice, 0);
        putLe16(e + kStatus, kTypeGroupState);
        e[kStatus + 2] = ev.subject;
        e[kStatus + 4] = ev.detail;
        e[kStatus + 5] = fw.groupState[ev.subject];
        fw.groupState[ev.subject] = ev.detail;
        return 1;
    }
    case kEventRebuildStarted:
        restoreEntry(a, e, ev.subject, kKindRebuild, 0);
        return 1;
    case kEventRebuildFinished:
        restoreEntry(a, e, ev.subject, kKindRebuild, 0xFFFFFFFFu);
        return 1;
    case kEventCheckStarted:
        restoreEntry(a, e, ev.subject, kKindCheck, 0);
        return 1;
    case kEventParityStarted:
        restoreEntry(a, e, ev.subject, kKindParity, 0);
        return 1;
    case kEventParityFinished:
        restoreEntry(a, e, ev.subject, kKindParity, 0xFFFFFFFFu);
        return 1;
    case kEventCheckFinished:
        if (ev.detail == 0) {
            restoreEntry(a, e, ev.subject, kKindCheck, 0xFFFFFFFFu);
            return 1;
        }
        // Inconsistencies found: the address field carries their count.
        restoreEntry(a, e, ev.subject, kKindCheck, ev.detail);
        putLe32(e + kDetail + 24, 0);
        restoreEntry(a, entries[1], ev.subject, kKindCheck, 0xFFFFFFFFu);
        return 2;
    case kEventOperationStopped:
    case kEventOperationAborted: {
        uint8_t kind = ev.detail == kOpRebuild ? kAbortRebuild : ev.detail == kOpCheck ? kAbortCheck : kAbortParity;
        restoreEntry(a, e, ev.subject, kind, 0);
        if (ev.subject < kMaxGroups) e[kDetail + 34] = lostMember(a.groups[ev.subject]);
        return 1;
    }
    default:
        return 0;
    }
}

uint32_t entryIndex(const Request& req, bool* aligned) {
    uint32_t offset = get24(req.cdb + 3);
    *aligned = offset % kLogEntrySize == 0 && offset / kLogEntrySize < kLogEntries;
    return offset / kLogEntrySize;
}

void consume(const ModelContext& ctx, unsigned controller, AdapterRecord& a, uint32_t index) {
    FirmwareRecord& fw = firmwareOf(a);
    uint8_t empty[kLogEntrySize];
    std::memset(empty, kLogEmptyByte, sizeof empty);
    slotIo(ctx.root, controller, index, empty, true);
    if (fw.logPending > 0 && index == fw.logOldest) {
        fw.logOldest = (fw.logOldest + 1) % kLogEntries;
        --fw.logPending;
    }
}

}  // namespace

FirmwareRecord& firmwareOf(AdapterRecord& adapter) {
    return *reinterpret_cast<FirmwareRecord*>(adapter.reserved + kFirmwareOffset);
}

const FirmwareRecord& firmwareOf(const AdapterRecord& adapter) {
    return *reinterpret_cast<const FirmwareRecord*>(adapter.reserved + kFirmwareOffset);
}

void primeFirmware(AdapterRecord& adapter) {
    FirmwareRecord& fw = firmwareOf(adapter);
    std::memset(&fw, 0, sizeof fw);
    fw.magic = kFirmwareMagic;
    fw.syncedSequence = adapter.eventSequence;
    fw.failReadIndex = kNoIndex;
    for (int g = 0; g < kMaxGroups; ++g) fw.groupState[g] = adapter.groups[g].defined ? adapter.groups[g].state : kNone;
}

uint32_t firmwareLogIndex(const AdapterRecord& adapter) {
    const FirmwareRecord& fw = firmwareOf(adapter);
    return fw.magic == kFirmwareMagic ? fw.logOldest : 0;
}

void startLogEntry(AdapterRecord& adapter, uint8_t* entry, uint16_t logCode, uint16_t formatCode, uint8_t logClass) {
    std::memset(entry, 0, kLogEntrySize);
    put32(entry, firmwareOf(adapter).entrySequence++);
    put64(entry + 4, static_cast<uint64_t>(wallClockMs()));
    put32(entry + 16, kLogEntrySize);
    put16(entry + 20, logCode);
    put16(entry + 22, formatCode);
    entry[33] = logClass;
}

bool appendLogEntry(const char* root, unsigned controller, AdapterRecord& adapter, const uint8_t* entry) {
    FirmwareRecord& fw = firmwareOf(adapter);
    uint8_t copy[kLogEntrySize];
    std::memcpy(copy, entry, sizeof copy);
    if (!slotIo(root, controller, (fw.logOldest + fw.logPending) % kLogEntries, copy, true)) return false;
    if (fw.logPending < kLogEntries)
        ++fw.logPending;
    else
        fw.logOldest = (fw.logOldest + 1) % kLogEntries;  // a full ring loses its oldest entry
    return true;
}

void syncFirmwareLog(const ModelContext& ctx, unsigned controller) {
    AdapterRecord& a = ctx.state->adapters[controller];
    FirmwareRecord& fw = firmwareOf(a);
    if (fw.magic != kFirmwareMagic) primeFirmware(a);
    if (a.eventSequence - fw.syncedSequence > kEventRing) fw.syncedSequence = a.eventSequence - kEventRing;
    for (; fw.syncedSequence != a.eventSequence; ++fw.syncedSequence) {
        const EventRecord& ev = a.events[fw.syncedSequence % kEventRing];
        if (ev.sequence != fw.syncedSequence) continue;
        uint8_t entries[2][kLogEntrySize];
        int n = encodeEvent(a, ev, entries);
        for (int i = 0; i < n; ++i) appendLogEntry(ctx.root, controller, a, entries[i]);
    }
}

Answer readLogBuffer(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req) {
    bool aligned = false;
    uint32_t index = entryIndex(req, &aligned);
    uint32_t length = get24(req.cdb + 6);
    if (!aligned || length > kLogEntrySize) return illegalRequest(kAscInvalidFieldInCdb);
    FirmwareRecord& fw = firmwareOf(adapter);
    if (req.cdb[2] == kBufConsumeLog && fw.failConsumeCount > 0 && fw.failConsumeIndex == index) {
        --fw.failConsumeCount;
        return checkCondition(0x04, 0x44);  // the entry stays unconsumed
    }
    if (req.cdb[2] == kBufConsumeLog) {
        consume(ctx, controller, adapter, index);
        std::memset(req.area, 0, length);
        return good();
    }
    if (fw.failReadCount > 0 && fw.failReadIndex == index) {
        if (--fw.failReadCount == 0) fw.failReadIndex = kNoIndex;
        return checkCondition(0x04, 0x44);  // HARDWARE ERROR, internal target failure
    }
    uint8_t entry[kLogEntrySize];
    if (!slotIo(ctx.root, controller, index, entry, false)) return checkCondition(0x04, 0x44);
    std::memcpy(req.area, entry, length);
    return good();
}

}  // namespace tavsim
