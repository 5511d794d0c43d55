// MODE SENSE(6) and MODE SELECT(6) on the adapter: rebuild priorities (0x31)
// and patrol delay and G-list limits (0x36) here; the configuration and
// action pages (0x30, 0x3A, 0x3C, 0x3D, 0x3E) are handed on (sim_pages.h).
#include <cstring>

#include "sim_codec.h"
#include "sim_events.h"
#include "sim_pages.h"

namespace tavsim {

namespace {

constexpr int kHeader = 4;
constexpr uint8_t kPageSaveable = 0x80;
constexpr uint8_t kPagePriorities = 0x31;
constexpr uint8_t kPagePatrol = 0x36;
constexpr uint8_t kPageConfiguration = 0x30;
constexpr uint8_t kPageCachePolicies = 0x3A;
constexpr uint8_t kPageGroupAction = 0x3C;
constexpr uint8_t kPageRestore = 0x3D;
constexpr uint8_t kPageDriveAction = 0x3E;
constexpr uint32_t kPrioritiesSize = 44;
constexpr uint32_t kPatrolSize = 32;

void pageHead(uint8_t* page, uint8_t code, uint32_t size) {
    page[0] = static_cast<uint8_t>(kPageSaveable | code);
    page[1] = static_cast<uint8_t>(size - 2);
}

// Builds a page as sensed; 0 for a page the adapter does not have.
uint32_t sensePage(const AdapterRecord& a, uint8_t code, uint8_t* page) {
    switch (code) {
    case kPagePriorities:
        std::memset(page, 0, kPrioritiesSize);
        pageHead(page, code, kPrioritiesSize);
        put16(page + 2, a.priorityIdle);
        put16(page + 4, a.priorityBusy);
        return kPrioritiesSize;
    case kPagePatrol:
        std::memset(page, 0, kPatrolSize);
        pageHead(page, code, kPatrolSize);
        put16(page + 4, a.patrolDelay);
        put16(page + 16, a.glistPreventLimit);
        put16(page + 26, a.glistOneMonth);
        put16(page + 28, a.glistHalfYear);
        put16(page + 30, a.glistOneYear);
        return kPatrolSize;
    case kPageDriveAction:
        std::memset(page, 0, kActionPageSize);
        pageHead(page, code, kActionPageSize);
        page[3] = a.spares[0];
        page[4] = a.spares[1];
        return kActionPageSize;
    default:
        return 0;
    }
}

bool validCode(uint32_t v) { return v >= 1 && v <= 3; }

Answer selectPriorities(AdapterRecord& a, const uint8_t* page) {
    uint32_t idle = get16(page + 2), busy = get16(page + 4);
    if (!validCode(idle) || !validCode(busy)) return illegalRequest(kAscInvalidFieldInParameters);
    a.priorityIdle = static_cast<uint16_t>(idle);
    a.priorityBusy = static_cast<uint16_t>(busy);
    recordEvent(a, kEventSettingsChanged, kPagePriorities, 0);
    return good();
}

Answer selectPatrol(AdapterRecord& a, const uint8_t* page) {
    uint32_t delay = get16(page + 4);
    if (!validCode(delay)) return illegalRequest(kAscInvalidFieldInParameters);
    a.patrolDelay = static_cast<uint16_t>(delay);
    a.glistPreventLimit = static_cast<uint16_t>(get16(page + 16));
    a.glistOneMonth = static_cast<uint16_t>(get16(page + 26));
    a.glistHalfYear = static_cast<uint16_t>(get16(page + 28));
    a.glistOneYear = static_cast<uint16_t>(get16(page + 30));
    recordEvent(a, kEventSettingsChanged, kPagePatrol, 0);
    return good();
}

uint32_t pageSizeOf(uint8_t code) {
    switch (code) {
    case kPagePriorities:
        return kPrioritiesSize;
    case kPagePatrol:
        return kPatrolSize;
    case kPageConfiguration:
        return kConfigurationPageSize;
    case kPageCachePolicies:
        return kCachePageSize;
    case kPageRestore:
        return kRestorePageSize;
    case kPageGroupAction:
    case kPageDriveAction:
        return kActionPageSize;
    default:
        return 0;
    }
}

}  // namespace

Answer modeSense(const AdapterRecord& adapter, const Request& req) {
    uint8_t code = req.cdb[2] & 0x3F;
    uint8_t data[kHeader + 64] = {};
    uint32_t size = sensePage(adapter, code, data + kHeader);
    if (size == 0) return illegalRequest(kAscInvalidFieldInCdb);
    data[0] = static_cast<uint8_t>(kHeader + size - 1);
    putAnswerData(req, data, kHeader + size, req.cdb[4]);
    return good();
}

// The parameter list: a 4-byte header (mode data length and block descriptor
// length zero), then one page whose saveable bit is clear.
Answer modeSelect(AdapterRecord& adapter, const Request& req) {
    uint32_t length = req.cdb[4];
    if (length > req.lengthIn) return illegalRequest(kAscParameterListLength);
    if (length < kHeader + 2) return illegalRequest(kAscParameterListLength);
    const uint8_t* header = req.dataOut;
    const uint8_t* page = header + kHeader;
    if (header[0] != 0 || header[3] != 0 || (page[0] & kPageSaveable) != 0)
        return illegalRequest(kAscInvalidFieldInParameters);
    uint8_t code = page[0] & 0x3F;
    uint32_t size = pageSizeOf(code);
    if (size == 0 || page[1] != size - 2) return illegalRequest(kAscInvalidFieldInParameters);
    if (length < kHeader + size) return illegalRequest(kAscParameterListLength);
    switch (code) {
    case kPagePriorities:
        return selectPriorities(adapter, page);
    case kPagePatrol:
        return selectPatrol(adapter, page);
    case kPageConfiguration:
        return selectConfiguration(adapter, page);
    case kPageCachePolicies:
        return selectCachePolicies(adapter, page);
    case kPageRestore:
        return selectRestore(adapter, page);
    case kPageGroupAction:
        return selectGroupAction(adapter, page);
    default:
        return selectDriveAction(adapter, page);
    }
}

}  // namespace tavsim
