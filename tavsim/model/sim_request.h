// One decoded driver request and the answer the adapter gives to it.
#ifndef TAVSIM_SIM_REQUEST_H
#define TAVSIM_SIM_REQUEST_H

#include <cstdint>

#include "sim_model.h"
#include "sim_state.h"

namespace tavsim {

// Request block offsets (from the length word).
constexpr int kBlockLengthIn = 0;
constexpr int kBlockTargetId = 4;
constexpr int kBlockBus = 5;
constexpr int kBlockLengthOut = 8;
constexpr int kBlockHostStatus = 12;
constexpr int kBlockCmdStatus = 13;
constexpr int kBlockArea = 14;
constexpr uint32_t kFixedLayoutFlag = 0x01000000u;
constexpr uint32_t kMaxTransfer = 65536;
constexpr int kFixedCdbSlot = 16;

struct Request {
    uint8_t cdb[16];  // copied out of the area before any answer is written
    int cdbLength;
    uint8_t targetId;
    uint8_t bus;
    uint32_t lengthIn;
    uint32_t lengthOut;
    const uint8_t* dataOut;  // outgoing data inside the area (valid until the answer is written)
    uint8_t* area;           // where incoming data, sense or an error record go
};

enum class AnswerKind { Good, CheckCondition, AdapterError, Busy };

struct Answer {
    AnswerKind kind = AnswerKind::Good;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    uint32_t code = 0;
    uint32_t information = 0;  // sense information field (valid bit set when not 0 or with ili)
    bool ili = false;          // incorrect length indicator
    // ATA registers returned by a SAT command with CK_COND: descriptor-format
    // sense, RECOVERED ERROR 00/1D, ATA status return descriptor.
    bool ataReturn = false;
    uint8_t ataLbaMid = 0;
    uint8_t ataLbaHigh = 0;
    uint8_t ataStatus = 0;
};

constexpr uint8_t kSenseMediumError = 0x03;
constexpr uint8_t kSenseIllegalRequest = 0x05;
constexpr uint8_t kAscParameterListLength = 0x1A;
constexpr uint8_t kAscInvalidOpcode = 0x20;
constexpr uint8_t kAscLbaOutOfRange = 0x21;
constexpr uint8_t kAscInvalidFieldInCdb = 0x24;
constexpr uint8_t kAscLunNotSupported = 0x25;
constexpr uint8_t kAscInvalidFieldInParameters = 0x26;
constexpr uint8_t kAscCommandSequenceError = 0x2C;  // the object's state refuses the change
constexpr uint8_t kAscUnrecoveredReadError = 0x11;
constexpr uint8_t kAscWriteError = 0x0C;

// Adapter error codes of the request checks (bytes 3 and 1 of the error record).
constexpr uint32_t kErrLayoutMismatch = 0x030011;
constexpr uint32_t kErrTransferLength = 0x030012;

inline Answer good() { return Answer{}; }

inline Answer checkCondition(uint8_t key, uint8_t asc, uint8_t ascq = 0) {
    Answer a;
    a.kind = AnswerKind::CheckCondition;
    a.senseKey = key;
    a.asc = asc;
    a.ascq = ascq;
    return a;
}

inline Answer illegalRequest(uint8_t asc) { return checkCondition(kSenseIllegalRequest, asc); }

inline Answer adapterError(uint32_t code) {
    Answer a;
    a.kind = AnswerKind::AdapterError;
    a.code = code;
    return a;
}

// Logical drive addressed by a target id (ids skip 7), or -1.
inline int groupOfTarget(uint8_t targetId) {
    if (targetId < 7) return targetId;
    if (targetId >= 8 && targetId <= kMaxGroups) return targetId - 1;
    return -1;
}

// Length of a CDB in the packed layout, from its operation code. The adapter's
// pass-through commands 0xBA/0xBB carry a drive CDB from byte 2 and are two
// bytes longer than it; vendor commands 0xC0-0xFF are 16 bytes.
int packedCdbLength(const uint8_t* cdb);

// The 48 bytes of standard INQUIRY data of a physical drive.
constexpr int kDriveInquirySize = 48;
void driveInquiry(const DriveRecord& drive, uint8_t* out);

// Copies an answer of `size` bytes into the area, cut to `allocation` bytes and zero-filled up to it.
void putAnswerData(const Request& req, const uint8_t* data, uint32_t size, uint32_t allocation);

// Command handlers.
Answer inquiry(const AdapterRecord& adapter, int group, const Request& req);
Answer readWrite(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, int group, const Request& req);
// One block of a defined group written as the host's WRITE would: false when
// it is beyond the capacity or no member could take it.
bool writeGroupBlock(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, int group, uint64_t lba,
                     const uint8_t* data);
Answer readBuffer(const AdapterRecord& adapter, const Request& req);
Answer modeSense(const AdapterRecord& adapter, const Request& req);
Answer modeSelect(AdapterRecord& adapter, const Request& req);

}  // namespace tavsim

#endif
