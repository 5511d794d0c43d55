// Queued command faults that act around a command instead of answering it.
#include "sim_command_seams.h"

#include "sim_topology.h"

namespace tavsim {

bool letsCommandThrough(AdapterRecord& adapter, const FaultRecord& fault) {
    switch (fault.kind) {
    case kFaultPass:
        return true;
    case kFaultRemoveDriveOnCommand: {
        // The slot was range-checked when armed; a drive already gone stays gone.
        DriveRecord& d = adapter.drives[fault.code % kMaxDrives];
        if (d.configured && d.present) removeDrive(adapter, static_cast<int>(fault.code % kMaxDrives));
        return true;
    }
    default:
        return false;
    }
}

}  // namespace tavsim
