// The simulated server's state: one fixed-layout record, mapped shared from
// $TAV_ROOT/var/lib/tavsim/state by every process that talks to the adapters.
// Plain data only (no pointers), so any process can map it and a command that
// changes the adapter writes straight through the mapping.
#ifndef TAVSIM_SIM_STATE_H
#define TAVSIM_SIM_STATE_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tavsim {

constexpr int kMaxAdapters = 4;
constexpr int kMaxDrives = 12;
constexpr int kMaxGroups = 12;
constexpr int kMaxCandidates = 12;
constexpr int kMaxMembers = 12;
constexpr int kMaxDriveBadSpots = 16;
constexpr int kMaxGroupBadSpots = 255;
constexpr int kMaxSpares = 2;
constexpr int kMaxFaults = 8;
constexpr int kEventRing = 64;
constexpr uint32_t kStripeBlocks = 256;
constexpr uint32_t kBlockSize = 512;

constexpr uint8_t kNone = 0xFF;  // no drive / no group / undefined state

// Card types as the driver reports them.
constexpr uint8_t kCardZN5120 = 7;
constexpr uint8_t kCardZN5121 = 16;

// Physical-drive state codes.
constexpr uint8_t kPdGood = 0x00;
constexpr uint8_t kPdAlarm = 0x20;       // off line
constexpr uint8_t kPdNotPresent = 0x80;  // slot configured, drive pulled
constexpr uint8_t kPdNoEntry = 0xFF;     // slot without a drive entry

// Logical-drive state codes (see README: degraded states).
constexpr uint8_t kLdGood = 0x00;
constexpr uint8_t kLdDegraded = 0x10;    // Warning0: redundancy lost, rebuild needed
constexpr uint8_t kLdRebuilding = 0x11;  // Warning1: redundancy being restored
constexpr uint8_t kLdFailed = 0x20;      // Alarm0: data not reachable

// Drive classes.
constexpr uint8_t kClassMemberInUse = 0;
constexpr uint8_t kClassMemberNotInUse = 1;
constexpr uint8_t kClassSpareInUse = 2;
constexpr uint8_t kClassSpareNotInUse = 3;
constexpr uint8_t kClassFresh = 4;
constexpr uint8_t kClassRestoreCandidate = 5;

// Member states (byte 1 of a member entry).
constexpr uint8_t kMemberInUse = 0;
constexpr uint8_t kMemberMissing = 1;
constexpr uint8_t kMemberGroupSpare = 2;
constexpr uint8_t kMemberSpareStandsIn = 3;

// RAID level codes as the adapter stores them (RAID 10 is code 1 with four or
// more members).
constexpr uint8_t kRaid0 = 0;
constexpr uint8_t kRaid1 = 1;
constexpr uint8_t kRaid5 = 5;

// Background operation a logical drive runs (GroupRecord::operation).
constexpr uint8_t kOpNone = 0;
constexpr uint8_t kOpRebuild = 1;
constexpr uint8_t kOpCheck = 2;   // consistency check (maintenance state 1)
constexpr uint8_t kOpParity = 3;  // parity creation (maintenance state 2)

// Configuration change waiting for the commit (GroupRecord::pendingChange).
constexpr uint8_t kPendingNone = 0;
constexpr uint8_t kPendingDefine = 1;  // a new definition or a restored candidate
constexpr uint8_t kPendingDelete = 2;

struct DriveRecord {
    uint8_t configured;  // 1: the slot holds a drive entry
    uint8_t present;     // 1: the drive is in its slot (0 after remove-drive)
    uint8_t sata;        // 1: SATA, 0: SAS
    uint8_t state;       // physical-drive state code
    uint8_t driveClass;
    uint8_t group;         // logical drive it belongs to, kNone for none
    uint8_t led;           // locate LED state as last set
    uint8_t linkSpeed;     // 7 = 1.5 Gbit/s, 8 = 3.0 Gbit/s, 0xFE, 0xFF
    uint8_t smartState;    // 0 none, 4 trip received
    uint8_t badSpotState;  // 0 none, 6 exist, 0x16 over the limit
    uint8_t paraByte2;     // parameter-buffer bytes 2 and 3, passed on
    uint8_t paraByte3;
    uint8_t paraByte351;  // single bytes the parameter buffer carries
    uint8_t statusByte;   // kept by the library in its status table
    uint8_t paraByte377;
    uint8_t pad;
    uint16_t badSpotPresent;  // bit i: bad-spot entry i is in use
    uint8_t pad2[2];
    uint32_t rawValue12;  // 32-bit value kept in the status table
    uint32_t rawValue76;  // 32-bit value passed on in the drive record
    uint32_t blocks;
    uint32_t mediaGeneration;  // bumped when a new drive replaces the media
    char vendor[8];
    char product[16];
    char revision[4];
    char serial[20];
    uint32_t badSpots[kMaxDriveBadSpots];
    // Health the drive reports itself (LOG SENSE pages, SMART).
    uint8_t temperature;            // degrees Celsius, now
    uint8_t temperatureMax;         // highest seen (SMART attribute 194, page 0x32)
    uint8_t temperatureReference;   // page 0x0D reference temperature
    uint8_t predictFailure;         // 1: failure predicted (IE 5D/00, SMART threshold exceeded)
    uint32_t uncorrectedRead;       // page 0x03 parameter 6
    uint32_t uncorrectedWrite;      // page 0x02 parameter 6
    uint32_t reallocatedSectors;    // SMART attribute 5
    uint32_t pendingSectors;        // SMART attribute 197
    uint32_t offlineUncorrectable;  // SMART attribute 198
    uint8_t logAllPagesRefused;     // 1: LOG SENSE page 0x3F (all pages) answers ILLEGAL REQUEST
    uint8_t reserved[39];
};

struct MemberRecord {
    uint8_t drive;         // the member's drive number
    uint8_t state;         // member state
    uint8_t byte2;         // passed on
    uint8_t driveState;    // state of the drive serving this position
    uint8_t byte4;         // passed on
    uint8_t servingDrive;  // the drive that serves this position (a spare during a copy)
};
static_assert(sizeof(MemberRecord) == 6, "member entry is 6 bytes");

// A logical drive (group) or a restore candidate: same parameters.
struct GroupRecord {
    uint8_t defined;
    uint8_t state;     // logical-drive state code
    uint8_t raidCode;  // 0, 1, 5
    uint8_t memberCount;
    MemberRecord members[kMaxMembers];
    uint8_t hotSpareMode;      // 0 global, 1 group, 2 none
    uint8_t readPolicy;        // 0 read-ahead, 1 none
    uint8_t writePolicy;       // 0 write-back, 1 write-through
    uint8_t autoRebuild;       // 0 enabled, 1 disabled
    uint8_t rebuildState;      // 0 not needed, 1 needed, 2 executing
    uint8_t maintenanceState;  // 0 none, 1 checking parity, 2 writing parity
    uint8_t dataLost;          // 0 none, 1 lost
    uint8_t byte218;           // passed on
    uint8_t stateOverridden;   // 1: state was set raw and is not derived from the members
    uint8_t pad[3];
    uint32_t stripeBlocks;
    uint32_t processedBlocks;  // blocks done by the running background operation
    uint32_t errorCount;
    uint32_t rawValue227;  // 32-bit value at 227-230
    uint64_t capacityBlocks;
    int64_t operationStartMs;  // wall clock when the running operation started (0: none)
    uint16_t badSpotCount;
    uint8_t operation;        // running background operation (kOp...), started by the adapter
    uint8_t rebuildPosition;  // member position the running rebuild restores
    uint8_t pendingChange;    // kPending...: takes effect at the next commit
    uint8_t restoreFrom;      // candidate of a pending restore, kNone for a new definition
    uint8_t progressHeld;     // 1: the running operation stays at heldPercent (a test seam)
    uint8_t heldPercent;
    uint8_t reserved2[56];
    uint64_t badSpots[kMaxGroupBadSpots];
};

struct FaultRecord {
    uint8_t kind;  // FaultKind
    uint8_t senseKey;
    uint8_t asc;
    uint8_t ascq;
    int32_t errorNumber;  // ioctl-error
    uint32_t code;        // adapter-error
    uint32_t remaining;   // commands still to be affected
};

enum FaultKind : uint8_t {
    kFaultNone = 0,
    kFaultBusy = 1,
    kFaultCheckCondition = 2,
    kFaultAdapterError = 3,
    kFaultIoctlError = 4,
    kFaultPass = 5,                  // the command goes through untouched
    kFaultRemoveDriveOnCommand = 6,  // the drive in slot `code` is pulled, then the command is answered
};

struct EventRecord {
    uint32_t sequence;
    uint16_t code;
    uint8_t subject;  // drive or group number
    uint8_t detail;
    int64_t timeMs;
};

struct ControllerParams {
    uint8_t head[4];     // RD_CONTpara 0-3, passed on unchanged
    uint8_t bytes74[4];  // RD_CONTpara 74-77, passed on unchanged
    uint32_t cacheBytes;
    uint32_t writeCacheBytes;
    uint32_t memoryBytes;
    char bootRevision[8];  // text from byte 42, zero-terminated when shorter
    char generalRevision[4];
    uint8_t processorRevision[4];
    uint8_t adapterVersion;  // byte 69
    uint8_t byte72;
    uint8_t flashState;  // byte 108
    uint8_t pad;
    uint8_t sasAddress[8];
    char flashRevision1[4];
    char flashRevision2[4];
    uint8_t reserved[32];
};

struct CommonStatusExtra {
    uint8_t byte54;
    uint8_t pad[3];
    uint32_t value58;
    uint32_t value62;
    uint8_t bytes84[12];
};

// Firmware download into the adapter's flash (WRITE BUFFER mode 5); the
// received bytes themselves are kept in var/lib/tavsim/firmware/c<N>.img.
struct FlashRecord {
    uint32_t received;        // bytes of the download in progress, in order
    uint32_t expected;        // its total, from the image's own header (0: none begun)
    char pendingRevision[4];  // revision of a complete download, running from the next start
    uint8_t pending;          // 1: pendingRevision waits for the next start
    uint8_t pad[3];
};
static_assert(sizeof(FlashRecord) == 16, "flash record size");

struct AdapterRecord {
    uint8_t present;
    uint8_t cardType;     // 7 or 16
    uint8_t generation;   // 0 or 1
    uint8_t fixedLayout;  // 1: the driver expects the fixed request layout
    int32_t host;
    int32_t pciBus;
    int32_t pciSlot;
    uint16_t driverVersion[4];
    char driverVersionText[16];
    uint16_t priorityIdle;  // page 0x31
    uint16_t priorityBusy;
    uint16_t patrolDelay;  // page 0x36
    uint16_t glistPreventLimit;
    uint16_t glistOneMonth;
    uint16_t glistHalfYear;
    uint16_t glistOneYear;
    uint8_t spares[kMaxSpares];  // global hot spares, kNone for an empty place
    uint64_t commandsReceived;   // every ioctl that reached the model
    ControllerParams controller;
    CommonStatusExtra common;
    FaultRecord faults[kMaxFaults];  // armed in order; the first one acts
    DriveRecord drives[kMaxDrives];
    GroupRecord groups[kMaxGroups];
    GroupRecord candidates[kMaxCandidates];
    uint32_t eventSequence;
    uint32_t eventCount;
    EventRecord events[kEventRing];
    FlashRecord flash;
    uint8_t reserved
        [4096 -
         sizeof(
             FlashRecord)];  // room for what later commands keep; the last 512 bytes: FirmwareRecord (sim_firmware.h)
};
static_assert(sizeof(GroupRecord) == 2224, "group record size is fixed");
static_assert(sizeof(AdapterRecord) == 61352, "adapter record size is fixed");

constexpr char kStateMagic[8] = {'T', 'A', 'V', 'S', 'I', 'M', '0', '1'};

struct SimState {
    char magic[8];
    uint32_t layoutSize;  // sizeof(SimState), guards against a stale file
    uint32_t adapterCount;
    double speed;  // scale of background-operation progress
    char systemVersion[32];
    AdapterRecord adapters[kMaxAdapters];  // in controller-number order
};

static_assert(std::is_trivially_copyable<SimState>::value, "state is plain data");

}  // namespace tavsim

#endif
