// The adapter firmware's event log, dumps, memory window, driver information
// and clock. Their small state lives at the end of AdapterRecord::reserved
// (FirmwareRecord); the event-log ring itself is a file per adapter below
// $TAV_ROOT/var/lib/tavsim/ (4096 entries of 512 bytes).
#ifndef TAVSIM_SIM_FIRMWARE_H
#define TAVSIM_SIM_FIRMWARE_H

#include <cstddef>
#include <cstdint>

#include "sim_model.h"
#include "sim_request.h"
#include "sim_state.h"

namespace tavsim {

constexpr uint32_t kLogEntries = 4096;
constexpr uint32_t kLogEntrySize = 512;
constexpr uint8_t kLogEmptyByte = 0x11;
constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

struct FirmwareRecord {
    uint32_t magic;           // kFirmwareMagic once set up
    uint32_t logOldest;       // first entry not consumed yet (reported at common status 185-188)
    uint32_t logPending;      // entries written and not consumed
    uint32_t syncedSequence;  // model events before this one are in the log
    uint32_t entrySequence;   // running number written into each entry
    uint32_t failReadIndex;   // entry whose next reads fail, kNoIndex for none
    uint32_t failReadCount;
    uint32_t dumpSize;               // dump information 146-149
    uint8_t groupState[kMaxGroups];  // last logical-drive state the log reported
    uint8_t dumpStatus;              // dump information 153: 0/2 none, 1 ready, else invalid
    uint8_t microReboot;             // 1: the next driver-information request announces a dump
    uint8_t clockSet;                // 1 once page 0x32 was selected
    uint8_t pad;
    uint8_t clock[8];             // as selected: year, month, day, 0, hour, minute, second, century (BCD)
    uint32_t driverInfoRequests;  // driver-information requests answered (the service sends one per cycle)
    uint32_t failConsumeIndex;    // entry whose next consume requests fail (while failConsumeCount > 0)
    uint32_t failConsumeCount;
    uint32_t failCommitCount;  // the next commits (page 0x30 function 0x04) that fail
};

constexpr size_t kFirmwareOffset = sizeof(AdapterRecord::reserved) - 512;
static_assert(sizeof(FirmwareRecord) <= 512, "firmware state fits its part of the reserved bytes");

FirmwareRecord& firmwareOf(AdapterRecord& adapter);
const FirmwareRecord& firmwareOf(const AdapterRecord& adapter);

// Sets up the firmware state of a new adapter (logical-drive states as they are now).
void primeFirmware(AdapterRecord& adapter);

// Writes the model events recorded since the last call into the event log.
void syncFirmwareLog(const ModelContext& ctx, unsigned controller);

// Index the common status reports at 185-188.
uint32_t firmwareLogIndex(const AdapterRecord& adapter);

// Appends a raw entry (kLogEntrySize bytes) to the log; false when the file cannot be written.
bool appendLogEntry(const char* root, unsigned controller, AdapterRecord& adapter, const uint8_t* entry);

// A fresh entry: zeroed, with sequence, length, LOGCode, FormatCode and LOGClass set.
void startLogEntry(AdapterRecord& adapter, uint8_t* entry, uint16_t logCode, uint16_t formatCode, uint8_t logClass);

// The firmware's own commands; handles the request and returns true when it is one of them.
bool isFirmwareCommand(const Request& req);
Answer firmwareCommand(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req);

// Event-log commands (READ BUFFER 0xA6 read, 0xA1 consume).
Answer readLogBuffer(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req);

// The clock as "YYYY-MM-DD HH:MM:SS", empty when never set.
void firmwareClockText(const AdapterRecord& adapter, char* out, size_t size);

}  // namespace tavsim

#endif
