// How drives, logical drives and hot spares depend on each other: member
// states, derived logical-drive states, capacities, the changes that a
// failed, pulled, inserted or forced drive or a hot-spare assignment makes,
// and the roles drives take while a rebuild runs.
#ifndef TAVSIM_SIM_TOPOLOGY_H
#define TAVSIM_SIM_TOPOLOGY_H

#include <cstdint>

#include "sim_state.h"

namespace tavsim {

bool driveUsable(const DriveRecord& drive);

// Brings one group's member entries and (unless set raw) its state and
// rebuild state in line with its drives; an operation that lost its ground
// (a stand-in drive gone, a member lost under a check) is cancelled.
void refreshGroup(AdapterRecord& adapter, GroupRecord& group, int number);
void refreshAllGroups(AdapterRecord& adapter);

// Blocks each member contributes: the smallest member, whole stripes only.
uint64_t memberSpan(const AdapterRecord& adapter, const GroupRecord& group);
// Capacity in blocks from the RAID level and the member span.
uint64_t groupCapacity(const AdapterRecord& adapter, const GroupRecord& group);

// Drive changes; each ends with settleAdapter (states, automatic rebuilds).
void failDrive(AdapterRecord& adapter, int slot);
void removeDrive(AdapterRecord& adapter, int slot);
// The pulled drive comes back with its data and assignment. A member its
// group cannot do without rejoins at once; one whose group stayed usable
// without it waits to be rebuilt (it is the first rebuild target).
void reinsertDrive(AdapterRecord& adapter, int slot);
// A new drive (fresh, unassigned) takes the slot.
void installDrive(AdapterRecord& adapter, int slot, const DriveRecord& drive);
// The drive is declared good and a missing member rejoins as it is; a group
// that had failed is flagged as possibly having lost data.
void forceDriveGood(AdapterRecord& adapter, int slot);

bool isGlobalSpare(const AdapterRecord& adapter, int slot);
// The drive is named by a definition waiting for the commit.
bool inPendingDefinition(const AdapterRecord& adapter, int slot);
// Both return false when the adapter refuses the change.
bool assignGlobalSpare(AdapterRecord& adapter, int slot);
bool removeGlobalSpare(AdapterRecord& adapter, int slot);

// The degraded group's first missing member position, or -1.
int missingPosition(const GroupRecord& group);
// The drive a rebuild of `pos` would restore onto, or -1: a usable drive back
// or new in the member's own slot first, else a global hot spare (when the
// group uses global spares) at least as large as the member span.
int rebuildTarget(const AdapterRecord& adapter, const GroupRecord& group, int number, int pos);
// The target stands in for the position while the rebuild runs ...
void standIn(AdapterRecord& adapter, GroupRecord& group, int number, int pos, int target);
// ... and leaves again when it is cancelled (the position is missing) ...
void withdrawStandIn(AdapterRecord& adapter, GroupRecord& group);
// ... or becomes the member when it ends.
void promoteStandIn(AdapterRecord& adapter, GroupRecord& group, int number);

}  // namespace tavsim

#endif
