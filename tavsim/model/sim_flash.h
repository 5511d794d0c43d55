// The adapter's firmware download: WRITE BUFFER mode 5 (download and save)
// to buffer 1, in pieces at increasing offsets. A complete image becomes
// the pending firmware, which runs from the adapter's next start.
#ifndef TAVSIM_SIM_FLASH_H
#define TAVSIM_SIM_FLASH_H

#include <cstddef>

#include "sim_request.h"

namespace tavsim {

constexpr uint8_t kOpWriteBuffer = 0x3B;

// Header the adapter expects at the start of firmware data: "TAVFWIMG",
// the general revision (4 characters), the total length (big-endian, these
// 16 bytes included).
constexpr size_t kFirmwareHeaderSize = 16;
constexpr uint32_t kFirmwareMaxSize = 16u << 20;

// $root/var/lib/tavsim/firmware/c<controller>.img: the bytes received.
bool firmwarePath(const char* root, int controller, char* out, size_t size);

Answer writeBuffer(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req);

// The adapter starts again: a pending firmware becomes the running one and
// a download in progress is dropped.
void restartAdapter(AdapterRecord& adapter);

}  // namespace tavsim

#endif
