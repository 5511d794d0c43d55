// The adapter's NVRAM (READ BUFFER mode 2 buffer 8) and the driver's trace
// request.
#ifndef TAVSIM_SIM_LOGBUFFERS_H
#define TAVSIM_SIM_LOGBUFFERS_H

#include <cstdint>

#include "sim_request.h"

namespace tavsim {

// Byte `address` of buffer `id` of the adapter at `host`: generated, the same
// on every read.
uint8_t memoryByte(int32_t host, uint8_t id, uint32_t address);

Answer readMemoryBuffer(const AdapterRecord& adapter, const Request& req);
Answer driverTrace(const AdapterRecord& adapter, const Request& req);

}  // namespace tavsim

#endif
