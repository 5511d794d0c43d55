// READ BUFFER mode 2: NVRAM (buffer 8, 32 KiB) and the adapter's memory above
// 16 MiB (buffer 0x17, offsets in units of 256 bytes): the firmware trace
// area (128 KiB) and the working memory (1 MiB), where the generation puts
// them. The driver's trace request (C0 FF) returns 32 KiB.
#include "sim_logbuffers.h"

#include <cstring>

#include "sim_codec.h"

namespace tavsim {

namespace {

constexpr uint8_t kBufNvram = 0x08;
constexpr uint8_t kBufMemory = 0x17;
constexpr uint32_t kNvramSize = 32768;
constexpr uint32_t kTraceSize = 128 * 1024;
constexpr uint32_t kWorkSize = 1024 * 1024;
constexpr uint32_t kDriverTraceSize = 32768;
constexpr uint32_t kDriverTraceHeader = 16;

bool within(uint32_t address, uint32_t length, uint32_t base, uint32_t size) {
    return address >= base && address - base <= size && length <= size - (address - base);
}

// The memory areas of the adapter's generation that can be read.
bool memoryReadable(const AdapterRecord& a, uint32_t address, uint32_t length) {
    uint32_t trace = a.generation == 0 ? 0xC00000u : 0x1700000u;
    uint32_t work = a.generation == 0 ? 0xF00000u : 0x1800000u;
    return within(address, length, trace, kTraceSize) || within(address, length, work, kWorkSize);
}

void fill(int32_t host, uint8_t id, uint32_t address, uint8_t* out, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) out[i] = memoryByte(host, id, address + i);
}

}  // namespace

uint8_t memoryByte(int32_t host, uint8_t id, uint32_t address) {
    uint32_t v = address * 31u + (address >> 8) * 7u + static_cast<uint32_t>(host) * 13u + id;
    return static_cast<uint8_t>(v);
}

Answer readMemoryBuffer(const AdapterRecord& adapter, const Request& req) {
    uint8_t id = req.cdb[2];
    uint32_t offset = get24(req.cdb + 3);
    uint32_t length = get24(req.cdb + 6);
    if (length > kMaxTransfer || length > req.lengthOut) return illegalRequest(kAscInvalidFieldInCdb);
    uint32_t address = offset;
    if (id == kBufMemory) {
        address = offset * 256u;
        if (!memoryReadable(adapter, address, length)) return illegalRequest(kAscInvalidFieldInCdb);
    } else if (id != kBufNvram || !within(address, length, 0, kNvramSize)) {
        return illegalRequest(kAscInvalidFieldInCdb);
    }
    fill(adapter.host, id, address, req.area, length);
    return good();
}

Answer driverTrace(const AdapterRecord& adapter, const Request& req) {
    if (req.cdb[1] != 0xFF || req.lengthOut < kDriverTraceSize) return illegalRequest(kAscInvalidFieldInCdb);
    std::memset(req.area, 0, kDriverTraceHeader);
    std::memcpy(req.area, "TAVDRVTRACE", 11);
    put32(req.area + 12, kDriverTraceSize - kDriverTraceHeader);
    fill(adapter.host, 0xC0, kDriverTraceHeader, req.area + kDriverTraceHeader, kDriverTraceSize - kDriverTraceHeader);
    return good();
}

}  // namespace tavsim
