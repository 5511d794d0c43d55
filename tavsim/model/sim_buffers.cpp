// READ BUFFER (mode 1): the adapter's status and parameter buffers, encoded
// byte by byte as the adapter lays them out (big-endian values).
#include <cstring>

#include "sim_codec.h"
#include "sim_firmware.h"
#include "sim_logbuffers.h"
#include "sim_request.h"

namespace tavsim {

namespace {

constexpr uint32_t kParaSize = 256;
constexpr uint32_t kHddParaSize = 512;
constexpr uint32_t kDriveBadSpotTable = 512;
constexpr uint32_t kGroupBadSpotTable = 2048;
constexpr uint32_t kMaxImage = kGroupBadSpotTable * kMaxGroups;

constexpr uint8_t kBufCommonStatus = 0x01;
constexpr uint8_t kBufGroupPara = 0x30;
constexpr uint8_t kBufHddPara = 0x70;
constexpr uint8_t kBufControllerPara = 0xA0;
constexpr uint8_t kBufRestoreStatus = 0xBF;
constexpr uint8_t kBufCandidatePara = 0xC0;
constexpr uint8_t kBufDriveBadSpots = 0xE0;
constexpr uint8_t kBufGroupBadSpots = 0xE2;

// Positions of the drive parameter buffer that differ between the card types.
struct HddLayout {
    int rawValue12, capacity, inquiry, rawValue76, byte351, statusByte, byte377, linkSpeed, smart, badSpotState,
        badSpotCount;
};
constexpr HddLayout kHddLayoutZN5121{12, 20, 24, 76, 351, 376, 377, 378, 379, 380, 381};
constexpr HddLayout kHddLayoutZN5120{8, 12, 16, 68, 211, 247, 248, 249, 250, 251, 252};

int countBits(uint32_t v) {
    int n = 0;
    for (; v != 0; v &= v - 1) ++n;
    return n;
}

uint32_t commonStatus(const AdapterRecord& a, uint8_t* p) {
    std::memset(p, 0, kParaSize);
    p[0] = a.generation == 0 ? 8 : 16;
    p[54] = a.common.byte54;
    put32(p + 58, a.common.value58);
    put32(p + 62, a.common.value62);
    std::memcpy(p + 84, a.common.bytes84, sizeof a.common.bytes84);
    put32(p + 185, firmwareLogIndex(a));
    std::memset(p + 116, kNone, 32);
    for (int g = 0; g < kMaxGroups; ++g)
        if (a.groups[g].defined) p[116 + g] = a.groups[g].state;
    std::memset(p + 148, kNone, 32);
    for (int d = 0; d < kMaxDrives; ++d)
        if (a.drives[d].configured) p[148 + d] = a.drives[d].state;
    return kParaSize;
}

uint32_t controllerPara(const AdapterRecord& a, uint8_t* p) {
    const ControllerParams& c = a.controller;
    std::memset(p, 0, kParaSize);
    std::memcpy(p, c.head, sizeof c.head);
    put32(p + 16, c.cacheBytes);
    put32(p + 20, c.writeCacheBytes);
    putText(p + 42, c.bootRevision, sizeof c.bootRevision, '\0');
    putText(p + 50, c.generalRevision, sizeof c.generalRevision, '\0');
    std::memcpy(p + 64, c.processorRevision, sizeof c.processorRevision);
    p[69] = c.adapterVersion;
    p[72] = c.byte72;
    std::memcpy(p + 74, c.bytes74, sizeof c.bytes74);
    put32(p + 78, c.memoryBytes);
    std::memcpy(p + 92, c.sasAddress, sizeof c.sasAddress);
    putText(p + 100, c.flashRevision1, sizeof c.flashRevision1, '\0');
    putText(p + 104, c.flashRevision2, sizeof c.flashRevision2, '\0');
    p[108] = c.flashState;
    return kParaSize;
}

uint32_t groupPara(const AdapterRecord& a, const GroupRecord& g, int number, uint8_t* p) {
    std::memset(p, 0, kParaSize);
    p[0] = static_cast<uint8_t>(number);
    if (!g.defined) return kParaSize;
    p[2] = g.memberCount;
    p[3] = g.raidCode;
    put32(p + 4, g.stripeBlocks);
    for (int i = 0; i < g.memberCount && i < kMaxMembers; ++i)
        std::memcpy(p + 8 + 6 * i, &g.members[i], sizeof(MemberRecord));
    if (a.cardType == kCardZN5120) {
        std::memset(p + 80, 0xFF, 4);  // not part of the capacity on this card
        put32(p + 84, static_cast<uint32_t>(g.capacityBlocks));
    } else {
        put64(p + 80, g.capacityBlocks);
    }
    put32(p + 144, g.processedBlocks);
    p[157] = g.hotSpareMode;
    p[200] = g.readPolicy;
    p[208] = g.writePolicy;
    p[218] = g.byte218;
    p[219] = g.autoRebuild;
    p[220] = g.rebuildState;
    p[221] = g.maintenanceState;
    put32(p + 222, g.errorCount);
    p[226] = g.dataLost;
    put32(p + 227, g.rawValue227);
    return kParaSize;
}

uint32_t restoreStatus(const AdapterRecord& a, uint8_t* p) {
    std::memset(p, 0, kParaSize);
    std::memset(p + 4, kNone, 32);
    for (int n = 0; n < kMaxCandidates; ++n) {
        if (!a.candidates[n].defined) continue;
        ++p[0];
        p[4 + n] = a.candidates[n].state;
    }
    return kParaSize;
}

uint32_t hddPara(const AdapterRecord& a, int slot, uint8_t* p) {
    const DriveRecord& d = a.drives[slot];
    std::memset(p, 0, kHddParaSize);
    p[0] = static_cast<uint8_t>(slot);
    if (!d.configured) {
        p[1] = kNone;
        p[4] = kNone;
        return kHddParaSize;
    }
    const HddLayout& l = a.cardType == kCardZN5120 ? kHddLayoutZN5120 : kHddLayoutZN5121;
    p[1] = d.group;
    p[2] = d.paraByte2;
    p[3] = d.paraByte3;
    p[4] = d.driveClass;
    put32(p + l.rawValue12, d.rawValue12);
    put32(p + l.capacity, d.blocks);
    driveInquiry(d, p + l.inquiry);
    put32(p + l.rawValue76, d.rawValue76);
    p[l.byte351] = d.paraByte351;
    p[l.statusByte] = d.statusByte;
    p[l.byte377] = d.paraByte377;
    p[l.linkSpeed] = d.linkSpeed;
    p[l.smart] = d.smartState;
    p[l.badSpotState] = d.badSpotState;
    put16(p + l.badSpotCount, static_cast<uint32_t>(countBits(d.badSpotPresent)));
    return kHddParaSize;
}

uint8_t badSpotLevel(uint8_t badSpotState) {
    if (badSpotState == 0) return 0;
    return badSpotState == 0x16 ? 3 : 1;
}

uint32_t driveBadSpots(const AdapterRecord& a, uint8_t* image) {
    std::memset(image, 0, kDriveBadSpotTable * kMaxDrives);
    for (int n = 0; n < kMaxDrives; ++n) {
        const DriveRecord& d = a.drives[n];
        uint8_t* t = image + n * kDriveBadSpotTable;
        t[0] = static_cast<uint8_t>(n);
        if (!d.configured) continue;
        t[1] = badSpotLevel(d.badSpotState);
        t[2] = d.group;
        put32(t + 4, static_cast<uint32_t>(countBits(d.badSpotPresent)));
        for (int i = 0; i < kMaxDriveBadSpots; ++i) {
            if ((d.badSpotPresent & (1u << i)) == 0) continue;
            uint8_t* e = t + 16 + 16 * i;
            e[8] = 1;
            put32(e + 12, d.badSpots[i]);
        }
    }
    return kDriveBadSpotTable * kMaxDrives;
}

uint32_t groupBadSpots(const AdapterRecord& a, uint8_t* image) {
    std::memset(image, 0, kGroupBadSpotTable * kMaxGroups);
    for (int n = 0; n < kMaxGroups; ++n) {
        const GroupRecord& g = a.groups[n];
        if (!g.defined) continue;
        uint8_t* t = image + n * kGroupBadSpotTable;
        put32(t, g.badSpotCount);
        for (int i = 0; i < g.badSpotCount && i < kMaxGroupBadSpots; ++i) put64(t + 8 + 8 * i, g.badSpots[i]);
    }
    return kGroupBadSpotTable * kMaxGroups;
}

// Builds the whole buffer `id` into `image`; 0 for a buffer the adapter does not have.
uint32_t buildImage(const AdapterRecord& a, uint8_t id, uint8_t* image) {
    if (id == kBufCommonStatus) return commonStatus(a, image);
    if (id == kBufControllerPara) return controllerPara(a, image);
    if (id == kBufRestoreStatus) return restoreStatus(a, image);
    if (id == kBufDriveBadSpots) return driveBadSpots(a, image);
    if (id == kBufGroupBadSpots) return groupBadSpots(a, image);
    if (id >= kBufGroupPara && id < kBufGroupPara + kMaxGroups)
        return groupPara(a, a.groups[id - kBufGroupPara], id - kBufGroupPara, image);
    if (id >= kBufCandidatePara && id < kBufCandidatePara + kMaxCandidates)
        return groupPara(a, a.candidates[id - kBufCandidatePara], id - kBufCandidatePara, image);
    if (id >= kBufHddPara && id < kBufHddPara + kMaxDrives) return hddPara(a, id - kBufHddPara, image);
    return 0;
}

}  // namespace

Answer readBuffer(const AdapterRecord& adapter, const Request& req) {
    uint8_t mode = req.cdb[1] & 0x1F;
    uint8_t id = req.cdb[2];
    uint32_t offset = get24(req.cdb + 3);
    uint32_t length = get24(req.cdb + 6);
    if (mode == 0x02) return readMemoryBuffer(adapter, req);
    if (mode != 0x01) return illegalRequest(kAscInvalidFieldInCdb);
    static_assert(kMaxImage <= 32768, "buffer images stay small");
    uint8_t image[kMaxImage];
    uint32_t size = buildImage(adapter, id, image);
    if (size == 0 || offset >= size) return illegalRequest(kAscInvalidFieldInCdb);
    if (length > kMaxTransfer) length = kMaxTransfer;
    uint32_t available = size - offset;
    uint32_t n = length < available ? length : available;
    std::memcpy(req.area, image + offset, n);
    std::memset(req.area + n, 0, length - n);
    return good();
}

}  // namespace tavsim
