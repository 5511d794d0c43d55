// The firmware's own commands: event-log buffers, dump information and data,
// the memory window after a micro-reboot, driver information and the clock.
#include <cstdio>
#include <cstring>

#include "sim_codec.h"
#include "sim_firmware.h"

namespace tavsim {

namespace {

constexpr uint8_t kReadBuffer = 0x3C;
constexpr uint8_t kModeSelect = 0x15;
constexpr uint8_t kVendor = 0xC0;
constexpr uint8_t kDriverInfo = 0xFD;
constexpr uint8_t kBufReadLog = 0xA6;
constexpr uint8_t kBufConsumeLog = 0xA1;
constexpr uint8_t kBufDumpInfo = 0xA5;
constexpr uint8_t kBufDumpData = 0xA4;
constexpr uint8_t kBufMemoryByAddress = 0x07;  // generation 0: offset = address
constexpr uint8_t kBufMemoryByPage = 0x17;     // either generation: offset = address >> 8
constexpr uint8_t kPageClock = 0x32;
constexpr uint32_t kDumpInfoSize = 512;
constexpr uint32_t kDumpArea = 0x400000;  // dump data readable from offset 0
constexpr uint32_t kMaxRead = 512;
constexpr uint32_t kClockListLength = 28;

bool isReadBuffer(const Request& req, uint8_t mode, uint8_t id) {
    return req.cdb[0] == kReadBuffer && (req.cdb[1] & 0x1F) == mode && req.cdb[2] == id;
}

bool isClockSelect(const Request& req) {
    return req.cdb[0] == kModeSelect && req.cdb[4] >= kClockListLength && req.lengthIn >= kClockListLength &&
           req.dataOut[3] == 8 && (req.dataOut[12] & 0x3F) == kPageClock;
}

// Dump and memory contents: a pattern of the absolute position, so a copy can be checked.
void fillPattern(uint8_t* out, uint32_t base, uint32_t length, unsigned controller) {
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t at = base + i;
        out[i] = static_cast<uint8_t>((at >> 9) ^ at ^ (controller << 6));
    }
}

Answer dumpInformation(const AdapterRecord& a, const Request& req) {
    const FirmwareRecord& fw = firmwareOf(a);
    uint32_t length = get24(req.cdb + 6);
    if (length > kDumpInfoSize) length = kDumpInfoSize;
    uint8_t page[kDumpInfoSize] = {};
    put32(page + 146, fw.dumpSize);
    page[153] = fw.dumpStatus;
    std::memcpy(req.area, page, length);
    return good();
}

Answer patternRead(const Request& req, uint32_t base, uint32_t limit, unsigned controller) {
    uint32_t length = get24(req.cdb + 6);
    if (length > kMaxRead || base >= limit) return illegalRequest(kAscInvalidFieldInCdb);
    fillPattern(req.area, base, length, controller);
    return good();
}

Answer memoryRead(const AdapterRecord& a, const Request& req, unsigned controller) {
    bool byAddress = req.cdb[2] == kBufMemoryByAddress;
    // By address only on generation 0; by 256-byte page on either generation.
    if (byAddress && a.generation != 0) return illegalRequest(kAscInvalidFieldInCdb);
    uint32_t offset = get24(req.cdb + 3);
    uint32_t address = byAddress ? offset : offset << 8;
    return patternRead(req, address, 0x4000000, controller);
}

Answer driverInformation(AdapterRecord& a) {
    FirmwareRecord& fw = firmwareOf(a);
    Answer answer = good();
    answer.code = fw.microReboot ? 1 : 0;  // command status: a micro-reboot dump waits
    fw.microReboot = 0;
    ++fw.driverInfoRequests;
    return answer;
}

bool isBcd(uint8_t v, int max) { return (v & 0x0F) <= 9 && (v >> 4) <= 9 && (v >> 4) * 10 + (v & 0x0F) <= max; }

Answer selectClock(AdapterRecord& a, const Request& req) {
    const uint8_t* page = req.dataOut + 12;
    const uint8_t* t = page + 2;
    if (page[1] != 14 || !isBcd(t[0], 99) || !isBcd(t[1], 12) || !isBcd(t[2], 31) || !isBcd(t[4], 23) ||
        !isBcd(t[5], 59) || !isBcd(t[6], 59) || !isBcd(t[7], 99))
        return illegalRequest(kAscInvalidFieldInParameters);
    FirmwareRecord& fw = firmwareOf(a);
    std::memcpy(fw.clock, t, sizeof fw.clock);
    fw.clockSet = 1;
    return good();
}

int fromBcd(uint8_t v) { return (v >> 4) * 10 + (v & 0x0F); }

}  // namespace

bool isFirmwareCommand(const Request& req) {
    return isReadBuffer(req, 1, kBufReadLog) || isReadBuffer(req, 1, kBufConsumeLog) ||
           isReadBuffer(req, 1, kBufDumpInfo) || isReadBuffer(req, 1, kBufDumpData) ||
           isReadBuffer(req, 2, kBufMemoryByAddress) || isReadBuffer(req, 2, kBufMemoryByPage) ||
           (req.cdb[0] == kVendor && req.cdb[1] == kDriverInfo) || isClockSelect(req);
}

Answer firmwareCommand(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req) {
    if (req.cdb[0] == kVendor) return driverInformation(adapter);
    if (req.cdb[0] == kModeSelect) return selectClock(adapter, req);
    switch (req.cdb[2]) {
    case kBufReadLog:
    case kBufConsumeLog:
        return readLogBuffer(ctx, controller, adapter, req);
    case kBufDumpInfo:
        return dumpInformation(adapter, req);
    case kBufDumpData:
        return patternRead(req, get24(req.cdb + 3), kDumpArea, controller);
    default:
        return memoryRead(adapter, req, controller);
    }
}

void firmwareClockText(const AdapterRecord& adapter, char* out, size_t size) {
    const FirmwareRecord& fw = firmwareOf(adapter);
    const uint8_t* c = fw.clock;
    if (!fw.clockSet) {
        if (size > 0) out[0] = '\0';
        return;
    }
    std::snprintf(out, size, "%02d%02d-%02d-%02d %02d:%02d:%02d", fromBcd(c[7]), fromBcd(c[0]), fromBcd(c[1]),
                  fromBcd(c[2]), fromBcd(c[4]), fromBcd(c[5]), fromBcd(c[6]));
}

}  // namespace tavsim
