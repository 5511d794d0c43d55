// The drives behind the adapter: what a physical drive answers to the
// adapter's pass-through commands (wrapped SCSI commands 0xBB/0xBA, and the
// two-step SATA exchange 0xBC carrying a SAT ATA PASS-THROUGH(16) command).
// Each drive keeps a small record of its own in
// $root/var/lib/tavsim/drives/c<controller>-d<slot>.model; its sectors are the
// slot's media file, the same one its logical drive uses.
#ifndef TAVSIM_SIM_DRIVE_H
#define TAVSIM_SIM_DRIVE_H

#include <cstddef>
#include <cstdint>

#include "sim_request.h"

namespace tavsim {

constexpr int kDriveLogEntries = 32;
constexpr int kMaxCorruptBlocks = 64;
constexpr uint32_t kLongBlockSize = 520;  // 512 data bytes and 8 ECC bytes

// Entries of the command log: kind in the high byte, code in the low byte.
constexpr uint16_t kLogScsi = 0x000;
constexpr uint16_t kLogAtaCommand = 0x100;  // first SATA step: the ATA command arrived
constexpr uint16_t kLogAtaData = 0x200;     // second SATA step: it ran with its data

struct DriveModelRecord {
    char magic[8];
    uint8_t stopped;     // START STOP UNIT stopped it: media access is NOT READY
    uint8_t hung;        // stops answering: the adapter reports a time-out
    uint8_t ataPending;  // a first SATA step waits for its data step
    uint8_t ataCdbLength;
    uint8_t ataCdb[16];
    uint8_t checkKey;  // armed check condition
    uint8_t checkAsc;
    uint8_t checkAscq;
    uint8_t errorInjectionLength;  // mode page 0x22 as last selected (0: never)
    uint32_t checkRemaining;
    uint32_t busyRemaining;          // armed BUSY status
    uint64_t commandCount;           // every command the drive received
    uint16_t log[kDriveLogEntries];  // the most recent commands, oldest first once full
    uint32_t capacityBlocks;         // as set by MODE SELECT; 0: the configured size
    uint32_t firmwareBytes;          // bytes of drive firmware downloaded with WRITE BUFFER
    uint64_t ataMaxAddress;          // SET MAX ADDRESS EXT; 0: native
    uint8_t errorInjection[40];
    uint8_t ataErrorInjection[16];  // head of the last SATA error-injection structure
    uint32_t ataErrorInjectionCount;
    uint32_t corruptCount;
    uint64_t corrupt[kMaxCorruptBlocks];  // blocks whose ECC a long write broke
    char pendingRevision[4];              // revision of a downloaded image, active from the next start
    char firmwareRevision[4];  // revision INQUIRY reports after a download and a start (0: the configured one)
};

constexpr char kDriveModelMagic[8] = {'T', 'A', 'V', 'D', 'R', 'V', '0', '1'};

// Where one drive's files live ("model", "firmware", "buffer").
bool driveFilePath(const char* root, unsigned controller, int slot, const char* kind, char* out, size_t size);

// Creates the directory of the drives' files when it is missing.
bool makeDriveDir(const char* root);

// Reads the drive's record (a fresh one when none was written yet).
DriveModelRecord loadDriveModel(const char* root, unsigned controller, int slot);
bool saveDriveModel(const char* root, unsigned controller, int slot, const DriveModelRecord& record);

// The adapter's commands that reach a drive.
inline bool isDriveCommand(uint8_t opcode) { return opcode == 0xBA || opcode == 0xBB || opcode == 0xBC; }
Answer driveCommand(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req);

// One drive command as the drive sees it.
struct DriveCall {
    const ModelContext& ctx;
    unsigned controller;
    int slot;
    const DriveRecord& drive;
    DriveModelRecord& model;
    const uint8_t* cdb;  // the drive's own CDB
    const Request& req;  // lengths, outgoing data, the area for the answer
};

Answer scsiDriveCommand(DriveCall& call);
Answer logSense(DriveCall& call);
Answer driveModeSense(DriveCall& call);
Answer driveModeSelect(DriveCall& call);
Answer driveBuffer(DriveCall& call);
// Runs the ATA command of the record's pending first step with the data step `req`.
Answer ataDriveCommand(DriveCall& call, uint8_t direction, uint32_t length);

// Media of one drive.
uint32_t driveCapacity(const DriveCall& call);
bool isCorrupt(const DriveModelRecord& model, uint64_t lba);
void setCorrupt(DriveModelRecord& model, uint64_t lba, bool corrupt);
// Moves `blocks` blocks between the slot's media file and `data`, as they are.
Answer driveMediaTransfer(DriveCall& call, uint64_t lba, uint32_t blocks, uint8_t* data, bool write);
// Reads refuse a block whose ECC is broken (MEDIUM ERROR 03/11/00, its address
// in the information field); writes make the blocks whole again.
Answer driveRead(DriveCall& call, uint64_t lba, uint32_t blocks, uint8_t* data);
Answer driveWrite(DriveCall& call, uint64_t lba, uint32_t blocks, const uint8_t* data);
// READ BUFFER of the adapter with its drive parameter buffers showing what
// the drives changed themselves (capacity, running firmware revision).
Answer readAdapterBuffer(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                         const Request& req);
// The error an injection mode (page 0x22, or the SATA structure) makes a read
// or write of these blocks answer; good() when none applies.
Answer injectedError(const DriveCall& call, uint64_t lba, uint32_t blocks, bool write);
// Firmware downloads: the revision an image carries, and a start that makes it active.
void noteDownloadedImage(DriveCall& call, const uint8_t* image, uint32_t offset, uint32_t length);
void startDrive(DriveCall& call);
// The 8 ECC bytes a drive keeps with a block.
void blockEcc(const uint8_t* block, uint8_t* ecc);

}  // namespace tavsim

#endif
