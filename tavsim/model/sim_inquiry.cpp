// INQUIRY: the adapter itself, its logical drives, and the drive INQUIRY data
// that the adapter keeps in each drive's parameter buffer.
#include <cstdio>
#include <cstring>

#include "sim_codec.h"
#include "sim_request.h"

namespace tavsim {

namespace {

constexpr uint8_t kTypeDirectAccess = 0x00;
constexpr uint8_t kTypeStorageController = 0x0C;
constexpr uint32_t kStandardInquirySize = 96;

void standardHeader(uint8_t* out, uint8_t deviceType, uint32_t size) {
    out[0] = deviceType;
    out[2] = 0x05;  // SPC-3
    out[3] = 0x02;  // response data format
    out[4] = static_cast<uint8_t>(size - 5);
    out[7] = 0x02;  // command queuing
}

}  // namespace

void putAnswerData(const Request& req, const uint8_t* data, uint32_t size, uint32_t allocation) {
    if (allocation > kMaxTransfer) allocation = kMaxTransfer;
    uint32_t n = size < allocation ? size : allocation;
    std::memmove(req.area, data, n);
    std::memset(req.area + n, 0, allocation - n);
}

void driveInquiry(const DriveRecord& drive, uint8_t* out) {
    std::memset(out, 0, kDriveInquirySize);
    standardHeader(out, kTypeDirectAccess, kDriveInquirySize);
    putText(out + 8, drive.vendor, sizeof drive.vendor);
    putText(out + 16, drive.product, sizeof drive.product);
    putText(out + 32, drive.revision, sizeof drive.revision);
    putText(out + 36, drive.serial, 12);
}

Answer inquiry(const AdapterRecord& adapter, int group, const Request& req) {
    if ((req.cdb[1] & 0x01) != 0 || req.cdb[2] != 0) return illegalRequest(kAscInvalidFieldInCdb);
    uint8_t data[kStandardInquirySize] = {};
    standardHeader(data, group < 0 ? kTypeStorageController : kTypeDirectAccess, sizeof data);
    putText(data + 8, "MORVANE", 8);
    if (group < 0) {
        putText(data + 16, adapter.cardType == kCardZN5120 ? "ZN5120" : "ZN5121", 16);
    } else {
        char product[32];
        std::snprintf(product, sizeof product, "VIRTUAL DRIVE %d", group % 100);
        putText(data + 16, product, 16);
    }
    putText(data + 32, adapter.controller.generalRevision, 4);
    putAnswerData(req, data, sizeof data, get16(req.cdb + 3));
    return good();
}

}  // namespace tavsim
