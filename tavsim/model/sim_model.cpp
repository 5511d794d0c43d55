// Request decoding, armed faults, dispatch by operation code and target, and
// the driver's way of handing the answer back.
#include "sim_model.h"

#include <cerrno>
#include <cstring>

#include "sim_command_seams.h"
#include "sim_drive.h"
#include "sim_flash.h"
#include "sim_firmware.h"
#include "sim_logbuffers.h"
#include "sim_iostat.h"
#include "sim_operations.h"
#include "sim_request.h"

namespace tavsim {

namespace {

uint32_t hostWord(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

int cdbGroupLength(uint8_t opcode) {
    if (opcode < 0x20) return 6;
    if (opcode < 0x80) return 10;  // 0x60-0x7F are reserved; taken as 10
    if (opcode < 0xA0) return 16;
    if (opcode < 0xC0) return 12;
    return 16;
}

// Fills `req` from the block; a request the driver of this version cannot
// carry becomes an adapter error.
bool decodeRequest(const AdapterRecord& adapter, uint8_t* block, Request* req, Answer* refusal) {
    uint32_t word = hostWord(block + kBlockLengthIn);
    bool fixed = (word & kFixedLayoutFlag) != 0;
    req->lengthIn = word & 0x00FFFFFFu;
    req->lengthOut = hostWord(block + kBlockLengthOut);
    req->targetId = block[kBlockTargetId];
    req->bus = block[kBlockBus];
    req->area = block + kBlockArea;
    if (fixed != (adapter.fixedLayout != 0) || (word & 0xFE000000u) != 0) {
        *refusal = adapterError(kErrLayoutMismatch);
        return false;
    }
    if (req->lengthIn > kMaxTransfer || req->lengthOut > kMaxTransfer) {
        *refusal = adapterError(kErrTransferLength);
        return false;
    }
    req->cdbLength = fixed ? kFixedCdbSlot : packedCdbLength(req->area);
    std::memset(req->cdb, 0, sizeof req->cdb);
    std::memcpy(req->cdb, req->area, static_cast<size_t>(req->cdbLength));
    req->dataOut = req->area + req->cdbLength;
    return true;
}

// The first armed fault acts on this command; spent faults leave the queue.
bool takeFault(AdapterRecord& adapter, FaultRecord* fault) {
    FaultRecord& first = adapter.faults[0];
    if (first.kind == kFaultNone || first.remaining == 0) return false;
    *fault = first;
    if (--first.remaining == 0) {
        std::memmove(&adapter.faults[0], &adapter.faults[1], sizeof(FaultRecord) * (kMaxFaults - 1));
        std::memset(&adapter.faults[kMaxFaults - 1], 0, sizeof(FaultRecord));
    }
    return true;
}

Answer dispatchAdapterCommand(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter,
                              const Request& req) {
    switch (req.cdb[0]) {
    case 0x3C:
        return readAdapterBuffer(ctx, controller, adapter, req);
    case 0x1A:
        return modeSense(adapter, req);
    case 0x15:
        return modeSelect(adapter, req);
    case 0x12:
        return inquiry(adapter, -1, req);
    case 0xC0:
        return driverTrace(adapter, req);
    default:
        return illegalRequest(kAscInvalidOpcode);
    }
}

Answer dispatchGroupCommand(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, int group,
                            const Request& req) {
    switch (req.cdb[0]) {
    case 0x12:
        return inquiry(adapter, group, req);
    case 0x28:
    case 0x2A:
    case 0x88:
    case 0x8A:
        return readWrite(ctx, controller, adapter, group, req);
    default:
        return illegalRequest(kAscInvalidOpcode);
    }
}

bool isAdapterCommand(uint8_t opcode) { return opcode == 0x3C || opcode == 0x1A || opcode == 0x15 || opcode == 0xC0; }

// Target 0 is the adapter for its own commands and logical drive 0 for the
// others (INQUIRY answers as the adapter while logical drive 0 is undefined).
Answer dispatch(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req) {
    if (req.bus != 0) return illegalRequest(kAscLunNotSupported);
    if (req.cdb[0] == 0xC0 && req.cdb[1] == 0xFE) return driverStatistics(ctx, controller, req);
    if (isDriveCommand(req.cdb[0])) return driveCommand(ctx, controller, adapter, req);
    if (req.targetId == 0 && isFirmwareCommand(req)) return firmwareCommand(ctx, controller, adapter, req);
    if (req.targetId == 0 && req.cdb[0] == kOpWriteBuffer) return writeBuffer(ctx, controller, adapter, req);
    if (req.targetId == 0 && isAdapterCommand(req.cdb[0])) return dispatchAdapterCommand(ctx, controller, adapter, req);
    int group = groupOfTarget(req.targetId);
    bool defined = group >= 0 && adapter.groups[group].defined;
    if (defined) return dispatchGroupCommand(ctx, controller, adapter, group, req);
    if (req.targetId == 0) return dispatchAdapterCommand(ctx, controller, adapter, req);
    return illegalRequest(kAscLunNotSupported);
}

void putSenseInformation(uint8_t* sense, const Answer& answer) {
    if (answer.information == 0 && !answer.ili) return;
    sense[0] |= 0x80;
    if (answer.ili) sense[2] |= 0x20;
    for (int i = 0; i < 4; ++i) sense[3 + i] = static_cast<uint8_t>(answer.information >> (24 - 8 * i));
}

// Descriptor-format sense with the ATA status return descriptor (0x09) that
// a SAT command with CK_COND set answers.
void putAtaReturn(uint8_t* sense, const Answer& answer) {
    std::memset(sense, 0, 48);
    sense[0] = 0x72;
    sense[1] = 0x01;  // RECOVERED ERROR
    sense[2] = 0x00;
    sense[3] = 0x1D;  // ATA pass through information available
    sense[7] = 14;
    uint8_t* d = sense + 8;
    d[0] = 0x09;
    d[1] = 0x0C;
    d[9] = answer.ataLbaMid;
    d[11] = answer.ataLbaHigh;
    d[12] = 0x40;  // device
    d[13] = answer.ataStatus;
}

int deliver(uint8_t* block, const Answer& answer, int* errorNumber) {
    uint8_t* area = block + kBlockArea;
    block[kBlockHostStatus] = 0;
    switch (answer.kind) {
    case AnswerKind::Good:
        block[kBlockCmdStatus] = static_cast<uint8_t>(answer.code);  // 0 but for driver information
        return 0;
    case AnswerKind::CheckCondition:
        if (answer.ataReturn) {
            putAtaReturn(area, answer);
            block[kBlockCmdStatus] = 0x02;
            break;
        }
        std::memset(area, 0, 48);
        area[0] = 0x70;
        area[2] = answer.senseKey & 0x0F;
        area[7] = 10;
        area[12] = answer.asc;
        area[13] = answer.ascq;
        putSenseInformation(area, answer);
        block[kBlockCmdStatus] = 0x02;
        break;
    case AnswerKind::Busy:
        std::memset(area, 0, 16);
        area[2] = 0x08;
        block[kBlockCmdStatus] = 0x08;
        break;
    case AnswerKind::AdapterError:
        std::memset(area, 0, 16);
        area[1] = static_cast<uint8_t>(answer.code);
        area[3] = static_cast<uint8_t>(answer.code >> 16);
        block[kBlockCmdStatus] = 0x00;
        break;
    }
    *errorNumber = EIO;
    return -1;
}

}  // namespace

int packedCdbLength(const uint8_t* cdb) {
    uint8_t opcode = cdb[0];
    if (opcode == 0xBA || opcode == 0xBB) {
        int wrapped = 2 + cdbGroupLength(cdb[2]);
        return wrapped > 16 ? 16 : wrapped;
    }
    return cdbGroupLength(opcode);
}

int executeRequest(const ModelContext& ctx, unsigned controller, uint8_t* block, int* errorNumber) {
    if (controller >= ctx.state->adapterCount || !ctx.state->adapters[controller].present) {
        *errorNumber = ENODEV;
        return -1;
    }
    AdapterRecord& adapter = ctx.state->adapters[controller];
    ++adapter.commandsReceived;
    advanceOperations(ctx, controller);
    syncFirmwareLog(ctx, controller);
    FaultRecord fault;
    if (takeFault(adapter, &fault) && !letsCommandThrough(adapter, fault)) {
        switch (fault.kind) {
        case kFaultBusy:
            return 16;
        case kFaultIoctlError:
            *errorNumber = fault.errorNumber;
            return -1;
        case kFaultCheckCondition:
            return deliver(block, checkCondition(fault.senseKey, fault.asc, fault.ascq), errorNumber);
        default:
            return deliver(block, adapterError(fault.code), errorNumber);
        }
    }
    Request req;
    Answer refusal;
    if (!decodeRequest(adapter, block, &req, &refusal)) return deliver(block, refusal, errorNumber);
    return deliver(block, dispatch(ctx, controller, adapter, req), errorNumber);
}

}  // namespace tavsim
