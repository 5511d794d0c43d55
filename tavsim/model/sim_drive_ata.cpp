// The ATA command set of a SATA drive, reached through SAT ATA PASS-THROUGH(16)
// in the adapter's two-step exchange: IDENTIFY DEVICE, READ/WRITE SECTOR(S)
// EXT, READ NATIVE MAX ADDRESS EXT, SET MAX ADDRESS EXT, WRITE UNCORRECTABLE
// EXT, WRITE LONG, SMART RETURN STATUS and SMART READ DATA, and the drive
// maker's error-injection command 0xFE.
#include <cstring>

#include "sim_codec.h"
#include "sim_drive.h"

namespace tavsim {

namespace {

constexpr uint8_t kSenseAbortedCommand = 0x0B;
constexpr uint32_t kIdentifySize = 512;
constexpr uint32_t kAtaLongSize = 516;

enum Direction : uint8_t { kToDrive = 0, kFromDrive = 1, kNoData = 2 };

struct AtaRegisters {
    uint8_t command;
    uint32_t count;  // sectors (0 means 65,536 in the extended form)
    uint64_t lba;
};

// SAT order of the LBA bytes 7-12: bits 31..24, 7..0, 39..32, 15..8, 47..40, 23..16.
AtaRegisters decode(const uint8_t* t) {
    bool extended = (t[1] & 0x01) != 0;
    AtaRegisters r;
    r.command = t[14];
    r.count = extended ? ((uint32_t{t[5]} << 8) | t[6]) : t[6];
    if (r.count == 0) r.count = extended ? 65536 : 256;
    r.lba = (uint64_t{t[8]}) | (uint64_t{t[10]} << 8) | (uint64_t{t[12]} << 16);
    if (extended) r.lba |= (uint64_t{t[7]} << 24) | (uint64_t{t[9]} << 32) | (uint64_t{t[11]} << 40);
    return r;
}

Answer aborted() { return checkCondition(kSenseAbortedCommand, 0x00, 0x00); }

// SMART (0xB0) answers only with the signature 4F/C2 in LBA mid/high.
constexpr uint8_t kSmartReadData = 0xD0;
constexpr uint8_t kSmartReturnStatus = 0xDA;
constexpr uint8_t kCheckCondition = 0x20;  // CK_COND of SAT byte 2

// One attribute of the SMART data: id, flags, normalised and worst value, raw value (48 bits).
void putAttribute(uint8_t* entry, uint8_t id, uint8_t value, uint64_t raw) {
    entry[0] = id;
    entry[1] = 0x32;
    entry[3] = value;
    entry[4] = value;
    for (int i = 0; i < 6; ++i) entry[5 + i] = static_cast<uint8_t>(raw >> (8 * i));
}

Answer smartReadData(DriveCall& c, uint8_t direction, uint32_t length) {
    if (direction != kFromDrive || length < kIdentifySize) return aborted();
    const DriveRecord& d = c.drive;
    uint8_t data[kIdentifySize] = {};
    data[0] = 0x10;  // data structure revision (a word, low byte first)
    uint8_t* entry = data + 2;
    putAttribute(entry, 5, d.reallocatedSectors != 0 ? 90 : 100, d.reallocatedSectors);
    // Temperature: raw byte 0 now, byte 2 the lowest, byte 4 the highest seen.
    putAttribute(entry + 12, 194, static_cast<uint8_t>(d.temperature < 100 ? 100 - d.temperature : 1),
                 uint64_t{d.temperature} | (uint64_t{20} << 16) | (uint64_t{d.temperatureMax} << 32));
    putAttribute(entry + 24, 197, 100, d.pendingSectors);
    putAttribute(entry + 36, 198, 100, d.offlineUncorrectable);
    data[362] = 0x82;  // off-line data collection completed
    uint8_t sum = 0;
    for (uint32_t i = 0; i + 1 < kIdentifySize; ++i) sum = static_cast<uint8_t>(sum + data[i]);
    data[kIdentifySize - 1] = static_cast<uint8_t>(0x100 - sum);
    putAnswerData(c.req, data, sizeof data, length);
    return good();
}

// The registers come back only when CK_COND asks for them: 4F/C2 when the
// drive is well, F4/2C when a threshold is exceeded.
Answer smartReturnStatus(DriveCall& c, uint8_t direction) {
    if (direction != kNoData) return aborted();
    if ((c.model.ataCdb[2] & kCheckCondition) == 0) return good();
    Answer a = checkCondition(0x01, 0x00, 0x1D);
    a.ataReturn = true;
    a.ataLbaMid = c.drive.predictFailure ? 0xF4 : 0x4F;
    a.ataLbaHigh = c.drive.predictFailure ? 0x2C : 0xC2;
    a.ataStatus = 0x50;
    return a;
}

Answer smart(DriveCall& c, const uint8_t* t, uint8_t direction, uint32_t length) {
    if (t[10] != 0x4F || t[12] != 0xC2) return aborted();
    // The drive stays stopped: the adapter does not spin it up for SMART.
    if (c.model.stopped) return checkCondition(0x02, 0x04, 0x02);
    switch (t[4]) {
    case kSmartReadData:
        return smartReadData(c, direction, length);
    case kSmartReturnStatus:
        return smartReturnStatus(c, direction);
    default:
        return aborted();
    }
}

// ATA strings hold two characters per word, the first in the high byte.
void putAtaString(uint8_t* words, const char* text, size_t textSize, size_t bytes) {
    uint8_t padded[64];
    putText(padded, text, textSize < bytes ? textSize : bytes);
    for (size_t i = textSize; i < bytes; ++i) padded[i] = ' ';
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        words[i] = padded[i + 1];
        words[i + 1] = padded[i];
    }
}

void putWord(uint8_t* id, int word, uint16_t value) {
    id[2 * word] = static_cast<uint8_t>(value);
    id[2 * word + 1] = static_cast<uint8_t>(value >> 8);
}

Answer identify(DriveCall& c, uint8_t direction, uint32_t length) {
    if (direction != kFromDrive || length < kIdentifySize) return aborted();
    uint8_t id[kIdentifySize] = {};
    uint32_t capacity = driveCapacity(c);
    putWord(id, 0, 0x0040);
    putAtaString(id + 20, c.drive.serial, sizeof c.drive.serial, 20);
    putAtaString(id + 46, c.drive.revision, sizeof c.drive.revision, 8);
    putAtaString(id + 54, c.drive.product, sizeof c.drive.product, 40);
    putWord(id, 49, 0x0200);  // LBA
    putWord(id, 60, static_cast<uint16_t>(capacity));
    putWord(id, 61, static_cast<uint16_t>(capacity >> 16));
    putWord(id, 83, 0x4400);  // 48-bit addressing
    putWord(id, 86, 0x0400);
    putWord(id, 100, static_cast<uint16_t>(capacity));
    putWord(id, 101, static_cast<uint16_t>(capacity >> 16));
    putWord(id, 119, 0x4004);  // WRITE UNCORRECTABLE EXT supported
    putWord(id, 120, 0x4004);
    putAnswerData(c.req, id, sizeof id, length);
    return good();
}

Answer sectors(DriveCall& c, const AtaRegisters& r, uint8_t direction, uint32_t length) {
    bool write = r.command == 0x34;
    uint64_t bytes = uint64_t{r.count} * kBlockSize;
    if (direction != (write ? kToDrive : kFromDrive) || bytes > length || bytes > kMaxTransfer) return aborted();
    if (write && bytes > c.req.lengthIn) return aborted();
    if (r.lba + r.count > driveCapacity(c)) return checkCondition(kSenseIllegalRequest, kAscLbaOutOfRange);
    return write ? driveWrite(c, r.lba, r.count, c.req.dataOut) : driveRead(c, r.lba, r.count, c.req.area);
}

Answer breakBlocks(DriveCall& c, const AtaRegisters& r, uint32_t blocks) {
    if (r.lba + blocks > driveCapacity(c)) return checkCondition(kSenseIllegalRequest, kAscLbaOutOfRange);
    for (uint32_t i = 0; i < blocks; ++i) setCorrupt(c.model, r.lba + i, true);
    return good();
}

Answer writeLong(DriveCall& c, const AtaRegisters& r, uint8_t direction, uint32_t length) {
    if (direction != kToDrive || length != kAtaLongSize || c.req.lengthIn < kAtaLongSize) return aborted();
    Answer written = driveMediaTransfer(c, r.lba, 1, const_cast<uint8_t*>(c.req.dataOut), true);
    return written.kind == AnswerKind::Good ? breakBlocks(c, r, 1) : written;
}

Answer errorInjection(DriveCall& c, uint8_t direction, uint32_t length) {
    if (direction != kToDrive || length < kIdentifySize || c.req.lengthIn < kIdentifySize) return aborted();
    std::memcpy(c.model.ataErrorInjection, c.req.dataOut, sizeof c.model.ataErrorInjection);
    ++c.model.ataErrorInjectionCount;
    return good();
}

}  // namespace

Answer ataDriveCommand(DriveCall& c, uint8_t direction, uint32_t length) {
    AtaRegisters r = decode(c.model.ataCdb);
    switch (r.command) {
    case 0xEC:
        return identify(c, direction, length);
    case 0x24:
    case 0x34:
        return sectors(c, r, direction, length);
    case 0x27:
        return direction == kNoData ? good() : aborted();
    case 0x37:
        if (direction != kNoData) return aborted();
        c.model.ataMaxAddress = r.lba < c.drive.blocks ? r.lba : 0;
        return good();
    case 0x45:
        return direction == kNoData ? breakBlocks(c, r, r.count) : aborted();
    case 0x32:
        return writeLong(c, r, direction, length);
    case 0xFE:
        return errorInjection(c, direction, length);
    case 0xB0:
        return smart(c, c.model.ataCdb, direction, length);
    default:
        return aborted();
    }
}

}  // namespace tavsim
