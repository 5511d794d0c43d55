// The drive behind the adapter's pass-through commands: finds the drive,
// keeps its command log, applies its armed faults and hands the command to
// the SCSI command set, or runs the two-step SATA exchange.
#include "sim_drive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_codec.h"
#include "sim_member_media.h"
#include "sim_store.h"

namespace tavsim {

namespace {

constexpr uint32_t kErrDriveTimeout = 0x040047;  // the drive did not answer the adapter
constexpr uint8_t kSatPassThrough16 = 0x85;
constexpr uint8_t kStepCommand = 0x00;
constexpr uint8_t kStepToDrive = 0x11;
constexpr uint8_t kStepFromDrive = 0x12;
constexpr uint8_t kStepNoData = 0x13;
constexpr uint32_t kMaxAtaCdb = 16;

bool driveThere(const DriveRecord& d) { return d.configured && d.present && d.state != kPdNotPresent; }

void logCommand(DriveModelRecord& m, uint16_t entry) {
    if (m.commandCount < kDriveLogEntries) {
        m.log[m.commandCount] = entry;
    } else {
        std::memmove(m.log, m.log + 1, sizeof m.log - sizeof m.log[0]);
        m.log[kDriveLogEntries - 1] = entry;
    }
    ++m.commandCount;
}

// An armed fault answers instead of the drive; false when none is armed.
bool takeDriveFault(DriveModelRecord& m, Answer* answer) {
    if (m.hung) {
        *answer = adapterError(kErrDriveTimeout);
        return true;
    }
    if (m.busyRemaining > 0) {
        --m.busyRemaining;
        answer->kind = AnswerKind::Busy;
        return true;
    }
    if (m.checkRemaining > 0) {
        --m.checkRemaining;
        *answer = checkCondition(m.checkKey, m.checkAsc, m.checkAscq);
        return true;
    }
    return false;
}

Answer wrappedCommand(DriveCall& call) {
    logCommand(call.model, static_cast<uint16_t>(kLogScsi | call.cdb[0]));
    Answer fault;
    if (takeDriveFault(call.model, &fault)) return fault;
    return scsiDriveCommand(call);
}

// First step: the SAT CDB arrives as data and waits for its data step.
Answer ataCommandStep(DriveCall& call) {
    const Request& req = call.req;
    uint32_t length = get16(req.cdb + 3);
    if (length == 0 || length > kMaxAtaCdb || req.lengthIn < length) return illegalRequest(kAscInvalidFieldInCdb);
    DriveModelRecord& m = call.model;
    std::memset(m.ataCdb, 0, sizeof m.ataCdb);
    std::memcpy(m.ataCdb, req.dataOut, length);
    m.ataCdbLength = static_cast<uint8_t>(length);
    m.ataPending = 0;
    logCommand(m, static_cast<uint16_t>(kLogAtaCommand | m.ataCdb[14]));
    Answer fault;
    if (takeDriveFault(m, &fault)) return fault;
    if (m.ataCdb[0] != kSatPassThrough16) return illegalRequest(kAscInvalidOpcode);
    m.ataPending = 1;
    return good();
}

// Second step: the data of the pending command, in bytes or 512-byte blocks.
Answer ataDataStep(DriveCall& call) {
    const Request& req = call.req;
    DriveModelRecord& m = call.model;
    if (!m.ataPending) return illegalRequest(kAscCommandSequenceError);
    m.ataPending = 0;
    logCommand(m, static_cast<uint16_t>(kLogAtaData | m.ataCdb[14]));
    if (m.hung) return adapterError(kErrDriveTimeout);
    uint32_t length = get16(req.cdb + 3) * (req.cdb[5] != 0 ? kBlockSize : 1);
    uint8_t direction = req.cdb[1] == kStepFromDrive ? 1 : req.cdb[1] == kStepToDrive ? 0 : 2;
    return ataDriveCommand(call, direction, length);
}

Answer sataExchange(DriveCall& call) {
    if (!call.drive.sata) return illegalRequest(kAscInvalidOpcode);
    switch (call.req.cdb[1]) {
    case kStepCommand:
        return ataCommandStep(call);
    case kStepToDrive:
    case kStepFromDrive:
    case kStepNoData:
        return ataDataStep(call);
    default:
        return illegalRequest(kAscInvalidFieldInCdb);
    }
}

}  // namespace

bool driveFilePath(const char* root, unsigned controller, int slot, const char* kind, char* out, size_t size) {
    int n = std::snprintf(out, size, "%s/var/lib/tavsim/drives/c%u-d%02d.%s", root, controller, slot, kind);
    return n > 0 && static_cast<size_t>(n) < size;
}

bool makeDriveDir(const char* root) {
    char dir[kPathMax];
    int n = std::snprintf(dir, sizeof dir, "%s/var/lib/tavsim/drives", root);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof dir) return false;
    return mkdir(dir, 0755) == 0 || errno == EEXIST;
}

namespace {

// The drive's record file; for writing it is made (with its directory) when missing.
int openDriveModel(const char* root, unsigned controller, int slot, bool write = true) {
    char path[kPathMax];
    if (!driveFilePath(root, controller, slot, "model", path, sizeof path)) return -1;
    if (!write) return open(path, O_RDONLY | O_CLOEXEC);
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && errno == ENOENT && makeDriveDir(root)) fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    return fd;
}

DriveModelRecord readDriveModel(int fd) {
    DriveModelRecord record{};
    ssize_t n = fd < 0 ? -1 : transferMedia(fd, reinterpret_cast<uint8_t*>(&record), sizeof record, 0, false);
    if (n != static_cast<ssize_t>(sizeof record) || std::memcmp(record.magic, kDriveModelMagic, 8) != 0)
        record = DriveModelRecord{};
    std::memcpy(record.magic, kDriveModelMagic, sizeof record.magic);
    return record;
}

bool writeDriveModel(int fd, const DriveModelRecord& record) {
    auto* bytes = const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(&record));  // only read
    return fd >= 0 && transferMedia(fd, bytes, sizeof record, 0, true) == static_cast<ssize_t>(sizeof record);
}

}  // namespace

DriveModelRecord loadDriveModel(const char* root, unsigned controller, int slot) {
    int fd = openDriveModel(root, controller, slot, false);
    DriveModelRecord record = readDriveModel(fd);
    if (fd >= 0) close(fd);
    return record;
}

bool saveDriveModel(const char* root, unsigned controller, int slot, const DriveModelRecord& record) {
    int fd = openDriveModel(root, controller, slot);
    bool ok = writeDriveModel(fd, record);
    return fd >= 0 && close(fd) == 0 && ok;
}

Answer driveCommand(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req) {
    bool exchange = req.cdb[0] == 0xBC;
    int slot = exchange ? (req.cdb[1] == kStepCommand ? req.targetId : req.cdb[2]) : req.cdb[1];
    if (slot >= kMaxDrives || !driveThere(adapter.drives[slot])) return illegalRequest(kAscLunNotSupported);
    int fd = openDriveModel(ctx.root, controller, slot);
    DriveModelRecord model = readDriveModel(fd);
    DriveCall call{ctx, controller, slot, adapter.drives[slot], model, exchange ? model.ataCdb : req.cdb + 2, req};
    Answer answer = exchange ? sataExchange(call) : wrappedCommand(call);
    writeDriveModel(fd, model);
    if (fd >= 0) close(fd);
    return answer;
}

}  // namespace tavsim
