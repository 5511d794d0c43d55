// READ BUFFER mode 2 buffer 8: the adapter's NVRAM (32 KiB), and the
// driver's trace request (C0 FF, 32 KiB). The memory window (buffers 0x07
// and 0x17) is the firmware's (sim_fwcommands.cpp).
#include "sim_logbuffers.h"

#include <cstring>

#include "sim_codec.h"

namespace tavsim {

namespace {

constexpr uint8_t kBufNvram = 0x08;
constexpr uint32_t kNvramSize = 32768;
constexpr uint32_t kDriverTraceSize = 32768;
constexpr uint32_t kDriverTraceHeader = 16;

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
    if (id != kBufNvram || length > kMaxTransfer || length > req.lengthOut || offset > kNvramSize ||
        length > kNvramSize - offset)
        return illegalRequest(kAscInvalidFieldInCdb);
    fill(adapter.host, id, offset, req.area, length);
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
