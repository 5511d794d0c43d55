// What a drive's vendor error-injection modes do to later reads and writes,
// and the firmware revision a download carries into INQUIRY.
//
// SCSI, mode page 0x22 as last selected (bytes counted from the page code):
// byte 2 bit 0 arms it for reads, bit 1 for writes too; bytes 8-11 the first
// block, 12-15 the number of blocks (0: one); bytes 16-18 the sense key, ASC
// and ASCQ answered (a key of 0: MEDIUM ERROR 03/11/00).
// SATA, the last error-injection structure (16-bit words, low byte first):
// word 1 bit 0 arms it for reads, bit 1 for writes too, its high byte the
// error type (0 CTO: the drive times out, 1 DCE 04/44/00, 2 IDNF 03/14/01,
// 3 AMNF 03/13/00, 4 CRC 0B/47/03, 5 ECC 03/11/04); words 5-6 the first block,
// word 7 the number of blocks (0: one).
#include <cstring>

#include "sim_codec.h"
#include "sim_drive.h"

namespace tavsim {

namespace {

constexpr uint32_t kErrInjectedTimeout = 0x040047;  // the adapter's drive time-out
constexpr uint32_t kRevisionOffset = 0x20;          // where an image carries its revision

bool covers(uint64_t first, uint32_t count, uint64_t lba, uint32_t blocks) {
    uint64_t last = first + (count == 0 ? 1 : count);
    return lba < last && lba + blocks > first;
}

uint16_t word(const uint8_t* s, int n) { return static_cast<uint16_t>(s[2 * n] | s[2 * n + 1] << 8); }

Answer scsiInjection(const DriveModelRecord& m, uint64_t lba, uint32_t blocks, bool write) {
    const uint8_t* p = m.errorInjection;
    bool armed = m.errorInjectionLength >= 19 && (p[2] & (write ? 0x02 : 0x01)) != 0;
    if (!armed || !covers(get32(p + 8), get32(p + 12), lba, blocks)) return good();
    if (p[16] == 0) return checkCondition(kSenseMediumError, kAscUnrecoveredReadError);
    return checkCondition(p[16] & 0x0F, p[17], p[18]);
}

Answer ataInjection(const DriveModelRecord& m, uint64_t lba, uint32_t blocks, bool write) {
    const uint8_t* s = m.ataErrorInjection;
    uint16_t flags = word(s, 1);
    bool armed = m.ataErrorInjectionCount != 0 && (flags & (write ? 0x02 : 0x01)) != 0;
    uint64_t first = word(s, 5) | static_cast<uint64_t>(word(s, 6)) << 16;
    if (!armed || !covers(first, word(s, 7), lba, blocks)) return good();
    switch (flags >> 8) {
    case 0:
        return adapterError(kErrInjectedTimeout);
    case 1:
        return checkCondition(0x04, 0x44);
    case 2:
        return checkCondition(kSenseMediumError, 0x14, 0x01);
    case 3:
        return checkCondition(kSenseMediumError, 0x13);
    case 4:
        return checkCondition(0x0B, 0x47, 0x03);
    default:
        return checkCondition(kSenseMediumError, kAscUnrecoveredReadError, 0x04);
    }
}

bool printable(const uint8_t* bytes) {
    for (int i = 0; i < 4; ++i)
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) return false;
    return true;
}

}  // namespace

Answer injectedError(const DriveCall& call, uint64_t lba, uint32_t blocks, bool write) {
    return call.drive.sata ? ataInjection(call.model, lba, blocks, write)
                           : scsiInjection(call.model, lba, blocks, write);
}

void noteDownloadedImage(DriveCall& call, const uint8_t* image, uint32_t offset, uint32_t length) {
    if (offset <= kRevisionOffset && offset + length >= kRevisionOffset + 4 &&
        printable(image + kRevisionOffset - offset))
        std::memcpy(call.model.pendingRevision, image + kRevisionOffset - offset, 4);
}

void startDrive(DriveCall& call) {
    if (call.model.pendingRevision[0] != 0) {
        std::memcpy(call.model.firmwareRevision, call.model.pendingRevision, 4);
        std::memset(call.model.pendingRevision, 0, 4);
    }
}

}  // namespace tavsim
