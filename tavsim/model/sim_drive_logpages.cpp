// LOG SENSE of a drive: the supported-pages list, the error counter,
// temperature and informational-exception pages, and the vendor pages 0x31
// (the drive's error history, 171 entries of 80 bytes) and 0x32 (SMART-style
// counters, laid out by the product's capacity digits). Page code 0x3F
// answers every page of the list, one after the other in ascending order.
#include <cstring>
#include <vector>

#include "sim_codec.h"
#include "sim_drive.h"

namespace tavsim {

namespace {

constexpr uint8_t kSupportedPages[] = {0x00, 0x02, 0x03, 0x0D, 0x2F, 0x31, 0x32};
constexpr uint32_t kHistoryEntries = 171;
constexpr uint32_t kHistoryEntrySize = 80;
constexpr uint8_t kAscFailurePrediction = 0x5D;  // failure prediction threshold exceeded
constexpr uint8_t kAllPages = 0x3F;

using Page = std::vector<uint8_t>;

void putParameter(Page& p, uint16_t code, const uint8_t* value, uint8_t length) {
    const uint8_t header[4] = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code), 0x02, length};
    p.insert(p.end(), header, header + 4);
    p.insert(p.end(), value, value + length);
}

void supportedPages(Page& p) { p.insert(p.end(), kSupportedPages, kSupportedPages + sizeof kSupportedPages); }

// Write (0x02) or read (0x03) error counters: parameter 5 the bytes
// processed, 6 the total of uncorrected errors.
void errorCounters(Page& p, const DriveCall& c, uint8_t page) {
    for (uint16_t code = 0; code <= 6; ++code) {
        uint8_t value[8] = {};
        uint64_t count = code * page;
        if (code == 5) count = 0x100000u * static_cast<uint32_t>(c.slot + 1);
        if (code == 6) count = page == 0x03 ? c.drive.uncorrectedRead : c.drive.uncorrectedWrite;
        put64(value, count);
        putParameter(p, code, value, sizeof value);
    }
}

void temperature(Page& p, const DriveRecord& d) {
    const uint8_t now[2] = {0, d.temperature}, reference[2] = {0, d.temperatureReference};
    putParameter(p, 0, now, 2);
    putParameter(p, 1, reference, 2);
}

// Parameter 0: the failure-prediction ASC/ASCQ (0/0 when none) and the latest temperature.
void informationalExceptions(Page& p, const DriveRecord& d) {
    const uint8_t value[3] = {d.predictFailure ? kAscFailurePrediction : uint8_t{0}, 0x00, d.temperature};
    putParameter(p, 0, value, sizeof value);
}

// Three recorded errors (the last one a medium error of READ(10)), the rest empty.
void errorHistory(Page& p, int slot) {
    for (uint32_t i = 0; i < kHistoryEntries; ++i) {
        uint8_t e[kHistoryEntrySize] = {};
        e[1] = static_cast<uint8_t>(i + 1);
        if (i < 3) {
            put32(e + 8, 3600 * (i + 1) + 1800);  // cumulative time, seconds
            put32(e + 12, 60 * (i + 10) + 30);    // power-on time, seconds
            e[18] = i == 2 ? 0x03 : 0x01;
            put32(e + 19, 0x1000 * (i + 1) + static_cast<uint32_t>(slot));
            e[28] = i == 2 ? 0x11 : 0x18;
            e[29] = 0x00;
            e[64] = 0x28;
        }
        p.insert(p.end(), e, e + sizeof e);
    }
}

// Heads and the length of the read, write and seek parameters by the
// product's characters 5 to 7.
void smartLayout(const DriveRecord& d, uint32_t* heads, uint32_t* length) {
    char digits[4] = {d.product[4], d.product[5], d.product[6], '\0'};
    if (std::strcmp(digits, "073") == 0)
        *heads = 4, *length = 44;
    else if (std::strcmp(digits, "036") == 0)
        *heads = 2, *length = 28;
    else
        *heads = 8, *length = 76;
}

void smartCounters(Page& p, const DriveRecord& d) {
    uint32_t heads, length;
    smartLayout(d, &heads, &length);
    uint8_t v[72] = {};
    put32(v, 90);  // operating time, minutes
    putParameter(p, 0, v, 4);
    for (uint16_t kind = 1; kind <= 3; ++kind) {
        std::memset(v, 0, sizeof v);
        for (uint32_t h = 0; h < heads; ++h) {
            put32(v + 6 + 8 * h, 1000000 * kind + h);
            put16(v + 10 + 8 * h, h);
            put16(v + 12 + 8 * h, kind);
        }
        put16(v + length - 6, 7);  // worst error count
        putParameter(p, kind, v, static_cast<uint8_t>(length - 4));
    }
    std::memset(v, 0, sizeof v);
    put16(v, 0x0123);
    putParameter(p, 4, v, 2);  // spare sectors
    const uint8_t spinUp[10] = {0, 0, 6, 7, 9, 0, 0, 0, 0, 120};
    putParameter(p, 5, spinUp, sizeof spinUp);
    const uint8_t startStop[4] = {0, 0, 0x01, 0x2C};
    putParameter(p, 6, startStop, sizeof startStop);
    const uint8_t temp[14] = {d.temperature, 0, d.temperatureMax, 0, 0, 0, 0x01, 0x2C};
    putParameter(p, 7, temp, sizeof temp);
    const uint8_t supply[14] = {0x19, 0, 0x23, 0, 0, 0, 0, 90, 0x19, 0, 0, 0, 0, 30};
    putParameter(p, 8, supply, sizeof supply);
    const uint8_t smart[8] = {0, 0, 0x5D, 0x00, 0, 0, 0, 0};
    putParameter(p, 9, smart, sizeof smart);
}

bool buildPage(const DriveCall& c, uint8_t code, Page& p) {
    p.assign(4, 0);
    p[0] = code;
    switch (code) {
    case 0x00:
        supportedPages(p);
        break;
    case 0x02:
    case 0x03:
        errorCounters(p, c, code);
        break;
    case 0x0D:
        temperature(p, c.drive);
        break;
    case 0x2F:
        informationalExceptions(p, c.drive);
        break;
    case 0x31:
        errorHistory(p, c.slot);
        break;
    case 0x32:
        smartCounters(p, c.drive);
        break;
    default:
        return false;
    }
    put16(p.data() + 2, static_cast<uint32_t>(p.size() - 4));
    return true;
}

}  // namespace

Answer logSense(DriveCall& c) {
    if ((c.cdb[1] & 0x01) != 0 || c.cdb[3] != 0) return illegalRequest(kAscInvalidFieldInCdb);
    // The pages are kept on the media: a stopped drive does not start for them.
    if (c.model.stopped) return checkCondition(0x02, 0x04, 0x02);
    Page page;
    uint8_t code = c.cdb[2] & 0x3F;
    if (code == kAllPages) {
        if (c.drive.logAllPagesRefused) return illegalRequest(kAscInvalidFieldInCdb);
        Page one;
        for (uint8_t listed : kSupportedPages) {
            buildPage(c, listed, one);
            page.insert(page.end(), one.begin(), one.end());
        }
    } else if (!buildPage(c, code, page)) {
        return illegalRequest(kAscInvalidFieldInCdb);
    }
    putAnswerData(c.req, page.data(), static_cast<uint32_t>(page.size()), get16(c.cdb + 7));
    return good();
}

}  // namespace tavsim
