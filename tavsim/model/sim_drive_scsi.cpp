// The SCSI command set of a drive behind the adapter: TEST UNIT READY,
// START STOP UNIT, INQUIRY, READ CAPACITY(10), READ/WRITE(10), READ/WRITE
// LONG(10), and the drive maker's internal-log request 0xFE; LOG SENSE, MODE
// SENSE/SELECT and READ/WRITE BUFFER have files of their own.
#include <cstring>

#include "sim_codec.h"
#include "sim_drive.h"

namespace tavsim {

namespace {

constexpr uint8_t kSenseNotReady = 0x02;
constexpr uint8_t kAscNotReady = 0x04;
constexpr uint8_t kAscqStartRequired = 0x02;
constexpr uint32_t kInternalLogMaxPiece = 0x10000;

Answer notReady() { return checkCondition(kSenseNotReady, kAscNotReady, kAscqStartRequired); }

Answer inquiryData(DriveCall& c) {
    if ((c.cdb[1] & 0x01) != 0 || c.cdb[2] != 0) return illegalRequest(kAscInvalidFieldInCdb);
    uint8_t data[kDriveInquirySize];
    driveInquiry(c.drive, data);
    if (c.model.firmwareRevision[0] != 0) std::memcpy(data + 32, c.model.firmwareRevision, 4);
    putAnswerData(c.req, data, sizeof data, get16(c.cdb + 3));
    return good();
}

Answer readCapacity(DriveCall& c) {
    uint8_t data[8];
    put32(data, driveCapacity(c) - 1);
    put32(data + 4, kBlockSize);
    putAnswerData(c.req, data, sizeof data, sizeof data);
    return good();
}

// Address and length checks shared by the media commands.
Answer mediaAccess(DriveCall& c, uint64_t lba, uint64_t blocks) {
    if (c.model.stopped) return notReady();
    if (lba + blocks > driveCapacity(c)) return illegalRequest(kAscLbaOutOfRange);
    return good();
}

Answer readWrite10(DriveCall& c) {
    bool write = c.cdb[0] == 0x2A;
    uint64_t lba = get32(c.cdb + 2);
    uint32_t blocks = get16(c.cdb + 7);
    uint32_t bytes = blocks * kBlockSize;
    if (bytes > kMaxTransfer || (write && bytes > c.req.lengthIn)) return illegalRequest(kAscInvalidFieldInCdb);
    Answer checked = mediaAccess(c, lba, blocks);
    if (checked.kind != AnswerKind::Good) return checked;
    return write ? driveWrite(c, lba, blocks, c.req.dataOut) : driveRead(c, lba, blocks, c.req.area);
}

// A long transfer of another length than the drive's: ILLEGAL REQUEST with
// the incorrect-length bit and the difference (requested minus actual).
Answer wrongLongLength(uint32_t requested) {
    Answer a = illegalRequest(kAscInvalidFieldInCdb);
    a.ili = true;
    a.information = requested - kLongBlockSize;
    return a;
}

// Address, state and length checks of READ LONG and WRITE LONG.
Answer longAccess(DriveCall& c, uint64_t* lba) {
    *lba = get32(c.cdb + 2);
    uint32_t length = get16(c.cdb + 7);
    Answer checked = mediaAccess(c, *lba, 1);
    if (checked.kind != AnswerKind::Good) return checked;
    return length == kLongBlockSize ? good() : wrongLongLength(length);
}

Answer readLong(DriveCall& c) {
    uint64_t lba;
    Answer checked = longAccess(c, &lba);
    if (checked.kind != AnswerKind::Good) return checked;
    uint8_t block[kBlockSize];
    Answer read = driveMediaTransfer(c, lba, 1, block, false);  // a broken block comes back as it is
    if (read.kind != AnswerKind::Good) return read;
    std::memcpy(c.req.area, block, kBlockSize);
    blockEcc(block, c.req.area + kBlockSize);
    if (isCorrupt(c.model, lba))
        for (uint32_t i = kBlockSize; i < kLongBlockSize; ++i) c.req.area[i] ^= 0xFF;
    return good();
}

// The data part goes to the media; ECC bytes that do not match it leave the
// block unreadable until it is written again.
Answer writeLong(DriveCall& c) {
    uint64_t lba;
    Answer checked = longAccess(c, &lba);
    if (checked.kind != AnswerKind::Good) return checked;
    if (c.req.lengthIn < kLongBlockSize) return illegalRequest(kAscParameterListLength);
    uint8_t block[kBlockSize];
    std::memcpy(block, c.req.dataOut, kBlockSize);
    uint8_t ecc[kLongBlockSize - kBlockSize];
    blockEcc(block, ecc);
    bool broken = std::memcmp(ecc, c.req.dataOut + kBlockSize, sizeof ecc) != 0;
    Answer written = driveMediaTransfer(c, lba, 1, block, true);
    if (written.kind != AnswerKind::Good) return written;
    setCorrupt(c.model, lba, broken);
    return good();
}

uint32_t internalLogLength(uint8_t kind) {
    switch (kind) {
    case 1:
        return 0x1000;  // drive status log
    case 2:
        return 0x18000;  // drive internal log
    case 4:
        return 0x4000;  // command log
    case 8:
        return 0x800;  // controller internal information
    default:
        return 0;
    }
}

// 0xFE kind 00 offset(3) length(3): a piece of one internal log, whose first
// four bytes are the kind and the 24-bit length of what follows.
Answer internalLog(DriveCall& c) {
    uint8_t kind = c.cdb[1];
    uint32_t offset = get24(c.cdb + 3), length = get24(c.cdb + 6);
    uint32_t logLength = internalLogLength(kind);
    uint32_t total = logLength + 4;
    if (logLength == 0 || length > kInternalLogMaxPiece || offset > total) return illegalRequest(kAscInvalidFieldInCdb);
    uint32_t n = total - offset < length ? total - offset : length;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t at = offset + i;
        uint8_t header[4] = {kind, static_cast<uint8_t>(logLength >> 16), static_cast<uint8_t>(logLength >> 8),
                             static_cast<uint8_t>(logLength)};
        c.req.area[i] = at < 4 ? header[at] : static_cast<uint8_t>(at * 7 + kind + c.slot);
    }
    std::memset(c.req.area + n, 0, length - n);
    return good();
}

}  // namespace

Answer scsiDriveCommand(DriveCall& c) {
    switch (c.cdb[0]) {
    case 0x00:
        return c.model.stopped ? notReady() : good();
    case 0x1B:
        if ((c.cdb[4] & 0x01) != 0 && c.model.stopped) startDrive(c);  // a restart runs downloaded firmware
        c.model.stopped = (c.cdb[4] & 0x01) == 0;
        return good();
    case 0x12:
        return inquiryData(c);
    case 0x25:
        return c.model.stopped ? notReady() : readCapacity(c);
    case 0x28:
    case 0x2A:
        return readWrite10(c);
    case 0x3E:
        return readLong(c);
    case 0x3F:
        return writeLong(c);
    case 0x4D:
        return logSense(c);
    case 0x1A:
        return driveModeSense(c);
    case 0x15:
        return driveModeSelect(c);
    case 0x3B:
    case 0x3C:
        return driveBuffer(c);
    case 0xFE:
        return internalLog(c);
    default:
        return illegalRequest(kAscInvalidOpcode);
    }
}

}  // namespace tavsim
