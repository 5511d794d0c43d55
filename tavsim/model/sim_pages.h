// The MODE SELECT pages that change the adapter's configuration or act on a
// logical or physical drive. Each gets the page (from its page code on) and
// answers good, or ILLEGAL REQUEST with ASC 0x26 for a field the adapter
// does not accept (unknown function, no such group, candidate or drive, a
// value out of range) or 0x2C when the object's state refuses the change
// (a member busy, an operation running, nothing to stop).
#ifndef TAVSIM_SIM_PAGES_H
#define TAVSIM_SIM_PAGES_H

#include <cstdint>

#include "sim_request.h"

namespace tavsim {

// Page sizes from the page code on (page length byte + 2).
constexpr uint32_t kConfigurationPageSize = 48;  // 0x30
constexpr uint32_t kCachePageSize = 12;          // 0x3A
constexpr uint32_t kRestorePageSize = 22;        // 0x3D
constexpr uint32_t kActionPageSize = 16;         // 0x3C, 0x3E

inline Answer refuseField() { return illegalRequest(kAscInvalidFieldInParameters); }
inline Answer refuseState() { return illegalRequest(kAscCommandSequenceError); }

// 0x30: define (0x10) or delete (0x11) a logical drive; commit (0x04) makes
// the staged definitions and deletions take effect.
Answer selectConfiguration(AdapterRecord& adapter, const uint8_t* page);
// 0x3A: a group's cache policies (1) or their reset (2).
Answer selectCachePolicies(AdapterRecord& adapter, const uint8_t* page);
// 0x3D: restore a candidate into a group (1, at the commit) or delete it (2).
Answer selectRestore(AdapterRecord& adapter, const uint8_t* page);
// 0x3C: background operations, auto-rebuild, forced drive state, cache mode, locate LED.
Answer selectGroupAction(AdapterRecord& adapter, const uint8_t* page);
// 0x3E: global hot spares.
Answer selectDriveAction(AdapterRecord& adapter, const uint8_t* page);

}  // namespace tavsim

#endif
