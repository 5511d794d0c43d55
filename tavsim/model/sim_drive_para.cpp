// The adapter's drive parameter buffers (READ BUFFER 0x70 + slot) as the
// drives themselves have changed: a capacity set through the drive (MODE
// SELECT block descriptor or SET MAX ADDRESS EXT) and the revision of
// firmware running after a download.
#include <cstring>

#include "sim_codec.h"
#include "sim_drive.h"

namespace tavsim {

namespace {

constexpr uint8_t kBufDrivePara = 0x70;
// Byte positions in the buffer: capacity (blocks) and the INQUIRY data.
constexpr uint32_t kCapacityZN5121 = 20, kInquiryZN5121 = 24;
constexpr uint32_t kCapacityZN5120 = 12, kInquiryZN5120 = 16;
constexpr uint32_t kInquiryRevision = 32;

void patchDrivePara(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter, int slot, uint8_t* data,
                    uint32_t length) {
    const DriveRecord& d = adapter.drives[slot];
    if (!d.configured) return;
    DriveModelRecord m = loadDriveModel(ctx.root, controller, slot);
    bool oldCard = adapter.cardType == kCardZN5120;
    uint64_t limit = d.sata ? m.ataMaxAddress : m.capacityBlocks;
    uint32_t capacity = oldCard ? kCapacityZN5120 : kCapacityZN5121;
    if (limit != 0 && limit < d.blocks && capacity + 4 <= length) put32(data + capacity, static_cast<uint32_t>(limit));
    uint32_t revision = (oldCard ? kInquiryZN5120 : kInquiryZN5121) + kInquiryRevision;
    if (m.firmwareRevision[0] != 0 && revision + 4 <= length) std::memcpy(data + revision, m.firmwareRevision, 4);
}

}  // namespace

Answer readAdapterBuffer(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                         const Request& req) {
    Answer answer = readBuffer(adapter, req);
    uint8_t id = req.cdb[2];
    if (answer.kind == AnswerKind::Good && id >= kBufDrivePara && id < kBufDrivePara + kMaxDrives &&
        get24(req.cdb + 3) == 0)
        patchDrivePara(ctx, controller, adapter, id - kBufDrivePara, req.area, get24(req.cdb + 6));
    return answer;
}

}  // namespace tavsim
