// MODE SENSE(6) and MODE SELECT(6) of a drive: a block descriptor with the
// drive's capacity (MODE SELECT shrinks or restores it), the error recovery,
// caching and control pages, and the vendor error-injection page 0x22.
#include <cstring>

#include "sim_codec.h"
#include "sim_drive.h"

namespace tavsim {

namespace {

constexpr uint8_t kPageErrorInjection = 0x22;
constexpr uint8_t kPageAll = 0x3F;
constexpr uint8_t kSaveable = 0x80;
constexpr uint8_t kInjectionLength = 0x1C;   // the shorter layout
constexpr uint8_t kInjectionLength5 = 0x20;  // the longer layout

// Appends one page at `out`; its size, 0 for a page the drive does not have.
uint32_t putPage(const DriveModelRecord& m, uint8_t page, uint8_t* out) {
    switch (page) {
    case 0x01: {  // read-write error recovery: AWRE, ARRE
        const uint8_t p[12] = {kSaveable | 0x01, 0x0A, 0xC0, 0x08};
        std::memcpy(out, p, sizeof p);
        return sizeof p;
    }
    case 0x08: {  // caching: write cache enabled
        const uint8_t p[20] = {kSaveable | 0x08, 0x12, 0x04};
        std::memcpy(out, p, sizeof p);
        return sizeof p;
    }
    case 0x0A: {  // control
        const uint8_t p[12] = {kSaveable | 0x0A, 0x0A, 0x02};
        std::memcpy(out, p, sizeof p);
        return sizeof p;
    }
    case kPageErrorInjection:
        if (m.errorInjectionLength != 0) {
            std::memcpy(out, m.errorInjection, m.errorInjectionLength);
            return m.errorInjectionLength;
        }
        std::memset(out, 0, 2 + kInjectionLength);
        out[0] = kSaveable | kPageErrorInjection;
        out[1] = kInjectionLength;
        return 2 + kInjectionLength;
    default:
        return 0;
    }
}

// The changeable-values form of a page (page control 1): its header, then
// every bit MODE SELECT accepts set: error recovery byte 2, the caching bits
// WCE and RCD, nothing of the control page, every field of page 0x22.
void maskPage(uint8_t* page, uint32_t size) {
    uint8_t code = page[0] & 0x3F;
    std::memset(page + 2, 0, size - 2);
    if (code == 0x01) page[2] = 0xFF;
    if (code == 0x08) page[2] = 0x05;
    if (code == kPageErrorInjection) std::memset(page + 2, 0xFF, size - 2);
}

Answer selectPage(DriveModelRecord& m, const uint8_t* page, uint32_t size) {
    uint8_t code = page[0] & 0x3F;
    if (code == kPageErrorInjection) {
        if (page[1] != kInjectionLength && page[1] != kInjectionLength5)
            return illegalRequest(kAscInvalidFieldInParameters);
        std::memcpy(m.errorInjection, page, size);
        m.errorInjection[0] = kSaveable | kPageErrorInjection;
        m.errorInjectionLength = static_cast<uint8_t>(size);
        return good();
    }
    return code == 0x01 || code == 0x08 || code == 0x0A ? good() : illegalRequest(kAscInvalidFieldInParameters);
}

// A block descriptor sets the capacity: 0 or all ones restore the drive's own.
Answer selectBlockDescriptor(DriveCall& c, const uint8_t* descriptor) {
    uint32_t blocks = get32(descriptor);
    if (get24(descriptor + 5) != kBlockSize) return illegalRequest(kAscInvalidFieldInParameters);
    if (blocks == 0 || blocks == 0xFFFFFFFFu || blocks == c.drive.blocks) {
        c.model.capacityBlocks = 0;
        return good();
    }
    if (blocks > c.drive.blocks) return illegalRequest(kAscInvalidFieldInParameters);
    c.model.capacityBlocks = blocks;
    return good();
}

}  // namespace

Answer driveModeSense(DriveCall& c) {
    bool noDescriptor = (c.cdb[1] & 0x08) != 0;
    uint8_t page = c.cdb[2] & 0x3F;
    if (c.cdb[3] != 0) return illegalRequest(kAscInvalidFieldInCdb);
    uint8_t data[256] = {};
    uint32_t size = 4;
    bool changeable = (c.cdb[2] >> 6) == 1;
    if (!noDescriptor) {
        data[3] = 8;
        put32(data + 4, changeable ? 0xFFFFFFFFu : driveCapacity(c));  // the capacity can be set
        put32(data + 8, changeable ? 0 : kBlockSize);                  // density 0, block length
        size += 8;
    }
    const uint8_t all[] = {0x01, 0x08, 0x0A, kPageErrorInjection};
    for (uint8_t p : all) {
        if (page != kPageAll && page != p) continue;
        uint32_t pageSize = putPage(c.model, p, data + size);
        if (changeable && pageSize != 0) maskPage(data + size, pageSize);
        size += pageSize;
    }
    if (size == 4u + (noDescriptor ? 0u : 8u)) return illegalRequest(kAscInvalidFieldInCdb);
    data[0] = static_cast<uint8_t>(size - 1);
    putAnswerData(c.req, data, size, c.cdb[4]);
    return good();
}

Answer driveModeSelect(DriveCall& c) {
    uint32_t length = c.cdb[4];
    if (length == 0) return good();
    if (length > c.req.lengthIn || length < 4) return illegalRequest(kAscParameterListLength);
    const uint8_t* data = c.req.dataOut;
    uint32_t descriptorLength = data[3];
    if (4 + descriptorLength > length) return illegalRequest(kAscParameterListLength);
    if (descriptorLength != 0 && descriptorLength != 8) return illegalRequest(kAscInvalidFieldInParameters);
    DriveModelRecord before = c.model;  // a refused list changes nothing
    Answer a = descriptorLength == 8 ? selectBlockDescriptor(c, data + 4) : good();
    for (uint32_t at = 4 + descriptorLength; a.kind == AnswerKind::Good && at < length;) {
        uint32_t size = at + 2 <= length ? 2u + data[at + 1] : length + 1;
        if (at + size > length || size > sizeof c.model.errorInjection) {
            a = illegalRequest(kAscParameterListLength);
            break;
        }
        a = selectPage(c.model, data + at, size);
        at += size;
    }
    if (a.kind != AnswerKind::Good) c.model = before;
    return a;
}

}  // namespace tavsim
