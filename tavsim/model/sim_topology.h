// How drives, logical drives and hot spares depend on each other: member
// states, derived logical-drive states, capacities, and the changes that a
// failed, pulled or inserted drive or a hot-spare assignment makes.
#ifndef TAVSIM_SIM_TOPOLOGY_H
#define TAVSIM_SIM_TOPOLOGY_H

#include <cstdint>

#include "sim_state.h"

namespace tavsim {

bool driveUsable(const DriveRecord& drive);

// Brings one group's member entries and (unless set raw) its state and
// rebuild state in line with its drives.
void refreshGroup(AdapterRecord& adapter, GroupRecord& group, int number);
void refreshAllGroups(AdapterRecord& adapter);

// Capacity in blocks from the RAID level and the smallest member.
uint64_t groupCapacity(const AdapterRecord& adapter, const GroupRecord& group);

void failDrive(AdapterRecord& adapter, int slot);
void removeDrive(AdapterRecord& adapter, int slot);
// The pulled drive comes back, with its data and assignment.
void reinsertDrive(AdapterRecord& adapter, int slot);
// A new drive (fresh, unassigned) takes the slot.
void installDrive(AdapterRecord& adapter, int slot, const DriveRecord& drive);

bool isGlobalSpare(const AdapterRecord& adapter, int slot);
// Both return false when the adapter refuses the change.
bool assignGlobalSpare(AdapterRecord& adapter, int slot);
bool removeGlobalSpare(AdapterRecord& adapter, int slot);

}  // namespace tavsim

#endif
