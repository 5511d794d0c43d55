// The drive-health reading of tavstat, checked by a decoder we did not
// write: every CDB it hands to the controller named and sized by
// libsgutils2, the SAT registers the drives answer in sense data found by its
// descriptor search and printed by its sense decoder, and the pages and the
// SMART data walked with its unaligned readers by the layouts of the SCSI and
// ATA standards, not by tavstat's own parser.
#include <scsi/sg_lib.h>
#include <scsi/sg_unaligned.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tavpth_fixture.h"
#include "tavstat.h"

using namespace tavpthtest;

namespace {

constexpr int kFixedCdbSlot = 16;  // the driver of the server below takes the CDB in a 16-byte field

const char kConfig[] = R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
    {"slot":0,"interface":"SAS","temperature":47,"uncorrected_read_errors":5,"uncorrected_write_errors":9},
    {"slot":1,"interface":"SAS","predict_failure":true,"temperature":61},
    {"slot":2,"interface":"SATA","vendor":"ATA","temperature":38,"temperature_max":57,
     "reallocated_sectors":12,"pending_sectors":3,"offline_uncorrectable":2},
    {"slot":3,"interface":"SATA","vendor":"ATA","predict_failure":true},
    {"slot":4,"interface":"SAS","temperature":52,"uncorrected_read_errors":6,"log_all_pages":false}]}]})";

std::string commandName(const uint8_t *cdb)
{
    char name[256];
    sg_get_command_name(cdb, 0, sizeof name, name);
    return name;
}

// Parameter code -> value of a log page, walked by the SPC layout: 4-byte
// page header (page code, subpage, length), parameters of 4-byte header
// (code, control, length) and value.
std::map<uint16_t, std::vector<uint8_t>> logParameters(const uint8_t *page, size_t size, uint8_t code)
{
    std::map<uint16_t, std::vector<uint8_t>> out;
    EXPECT_EQ(page[0] & 0x3F, code);
    size_t end = 4 + sg_get_unaligned_be16(page + 2);
    EXPECT_LE(end, size);
    for (size_t at = 4; at + 4 <= end && at + 4 + page[at + 3] <= end; at += 4 + page[at + 3]) {
        out[sg_get_unaligned_be16(page + at)].assign(page + at + 4, page + at + 4 + page[at + 3]);
    }
    return out;
}

// The ATA SMART attribute table: 30 entries of 12 bytes from byte 2; id ->
// 48-bit raw value (bytes 5-10, least significant first).
std::map<uint8_t, uint64_t> smartAttributes(const uint8_t *data)
{
    std::map<uint8_t, uint64_t> out;
    for (int i = 0; i < 30; ++i) {
        const uint8_t *e = data + 2 + 12 * i;
        if (e[0] != 0) {
            out[e[0]] = sg_get_unaligned_le32(e + 5) | (uint64_t{sg_get_unaligned_le16(e + 9)} << 32);
        }
    }
    return out;
}

class HealthOracle : public PassThrough {
protected:
    HealthOracle() : PassThrough(kConfig) {}

    // tavstat's reading of every drive of adapter 0, recording each request.
    void readHealth()
    {
        ASSERT_EQ(initContData(0), 1);
        DLL_ADAPTER_SNAPSHOT snap;
        ASSERT_EQ(getAdapterSnapshot(0, &snap), 1);
        int budget = 0;
        g_seen.clear();
        g_recording = true;
        StatReadHealth(0, snap, health, &budget);
        g_recording = false;
        finContData();
    }

    // The requests of one drive, in order (SATA: both steps of each exchange).
    std::vector<SeenRequest> requestsOf(uint8_t slot) const
    {
        std::vector<SeenRequest> out;
        for (const SeenRequest &r : g_seen) {
            bool exchange = r.area[0] == TAVPAS_SATA_EXCHANGE;
            uint8_t drive = exchange ? (r.area[1] == 0 ? r.targetId : r.area[2]) : r.area[1];
            if (drive == slot) {
                out.push_back(r);
            }
        }
        return out;
    }

    // The answer to a command the test sends itself, as tavstat would, with
    // the allocation length the size of the data.
    Outcome sendLogSense(uint8_t slot, uint8_t page, std::vector<uint8_t> &data, uint16_t allocation = 252)
    {
        data.assign(allocation, 0);
        PassThroughInfo info = wrapped(
            slot, true, {0x4D, 0, uint8_t(0x40 | page), 0, 0, 0, 0, uint8_t(allocation >> 8), uint8_t(allocation), 0});
        info.cdb[0] = 0;
        uint32_t length = allocation;
        return run([&](uint8_t *r, uint32_t *rl) { return TavPasLogSense(&info, data.data(), &length, r, rl); });
    }

    Outcome sendSmart(uint8_t slot, uint8_t feature, std::vector<uint8_t> &data)
    {
        bool in = feature == 0xD0;
        data.assign(in ? 512 : 0, 0);
        std::vector<uint8_t> cdb = sat16(in ? 0x08 : 0x06, in ? 0x0E : 0x20, in ? 1 : 0, 0xC24F00, 0xB0);
        cdb[4] = feature;
        PassThroughInfo info = request(TAVPAS_DEVICE_SATA, TAVPAS_FORM_PLAIN, slot, in ? 1 : 2, cdb);
        info.transferUnit = in ? 1 : 0;
        return any(info, in ? data.data() : nullptr, static_cast<uint32_t>(data.size()));
    }

    StatDriveHealth health[TAV_MAX_DRIVES];
};

// Every SAS drive gets one LOG SENSE of all pages; one that refuses it, a
// second of page 0x2F alone.
TEST_F(HealthOracle, SasDrivesGetOneLogSenseOfAllPagesOfCumulativeValues)
{
    readHealth();
    struct Case {
        uint8_t slot;
        std::vector<uint8_t> pages;
    };
    for (const Case &c : {Case{0, {0x3F}}, Case{1, {0x3F}}, Case{4, {0x3F, 0x2F}}}) {
        SCOPED_TRACE(int(c.slot));
        std::vector<SeenRequest> seen = requestsOf(c.slot);
        ASSERT_EQ(seen.size(), c.pages.size());
        for (size_t i = 0; i < seen.size(); ++i) {
            const uint8_t *area = seen[i].area.data();
            EXPECT_EQ(area[0], 0xBB);
            EXPECT_EQ(commandName(area + 2), "Log sense");
            EXPECT_EQ(sg_get_command_size(area[2]), 10);
            EXPECT_EQ(area[3] & 0x03, 0) << "no parameter pointer, no saving";
            EXPECT_EQ(area[4] >> 6, 1) << "page control: cumulative values";
            EXPECT_EQ(area[4] & 0x3F, c.pages[i]);
            EXPECT_EQ(area[5], 0) << "no subpage";
            EXPECT_EQ(sg_get_unaligned_be16(area + 7), 0) << "parameter pointer";
            EXPECT_EQ(sg_get_unaligned_be16(area + 9), seen[i].lengthOut) << "allocation length = data length";
        }
        EXPECT_GE(seen[0].lengthOut, 1024u) << "room for every page of a drive";
    }
    EXPECT_EQ(health[0].status, HEALTH_READ);
    EXPECT_EQ(health[0].temperature, 47);
    EXPECT_EQ(health[0].uncorrectedRead, 5);
    EXPECT_EQ(health[0].uncorrectedWrite, 9);
    EXPECT_FALSE(health[0].predictiveFailure);
    EXPECT_TRUE(health[1].predictiveFailure);
    EXPECT_EQ(health[1].temperature, 61);
    EXPECT_EQ(health[4].status, HEALTH_READ);
    EXPECT_EQ(health[4].temperature, 52);
    EXPECT_EQ(health[4].uncorrectedRead, -1) << "no counter page was read";
}

// The answer to page 0x3F: the drive's pages one after the other in
// ascending order, each as asked alone, cut to the allocation length.
TEST_F(HealthOracle, AllPagesAnswerConcatenatesThePagesAndIsCutToTheAllocation)
{
    std::vector<uint8_t> all;
    ASSERT_EQ(sendLogSense(0, 0x3F, all, 16384).code, TAVPAS_OK);
    std::vector<uint8_t> codes, joined;
    for (size_t at = 0; at + 4 <= all.size() && all[at + 2] + all[at + 3] != 0;) {
        size_t length = 4 + sg_get_unaligned_be16(all.data() + at + 2);
        ASSERT_LE(at + length, all.size());
        codes.push_back(all[at] & 0x3F);
        std::vector<uint8_t> alone;
        ASSERT_EQ(sendLogSense(0, all[at] & 0x3F, alone, uint16_t(length)).code, TAVPAS_OK);
        EXPECT_TRUE(std::equal(alone.begin(), alone.end(), all.begin() + long(at))) << int(all[at]);
        at += length;
    }
    EXPECT_EQ(codes, (std::vector<uint8_t>{0x00, 0x02, 0x03, 0x0D, 0x2F, 0x31, 0x32}));

    std::vector<uint8_t> cut;
    ASSERT_EQ(sendLogSense(0, 0x3F, cut, 100).code, TAVPAS_OK);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), all.begin()));

    std::vector<uint8_t> none;
    Outcome refused = sendLogSense(4, 0x3F, none, 16384);
    ASSERT_EQ(refused.code, TAVPAS_CHECK_CONDITION);
    sg_scsi_sense_hdr header;
    ASSERT_TRUE(sg_scsi_normalize_sense(refused.result.data(), static_cast<int>(refused.resultLength), &header));
    char text[128];
    EXPECT_STREQ(sg_get_sense_key_str(header.sense_key, sizeof text, text), "Illegal Request");
    EXPECT_STREQ(sg_get_asc_ascq_str(header.asc, header.ascq, sizeof text, text),
                 "Additional sense: Invalid field in cdb");
}

// tavstat's reading of an answer cut by the allocation length takes the
// complete parameters and nothing of a parameter cut off.
TEST_F(HealthOracle, CutAllPagesAnswerGivesOnlyCompleteParameters)
{
    struct Case {
        uint16_t allocation;
        int64_t read, write;
        int temperature;
        int informational;
    };
    // Pages of drive 0: 0x00 at 0, 0x02 at 11, 0x03 at 99 (parameter 6 at
    // 175-186), 0x0D at 187, 0x2F at 203 (parameter 0 at 207-213).
    const Case cases[] = {{90, -1, -1, -1, 0}, {180, -1, 9, -1, 0}, {195, 5, 9, -1, 0},
                          {210, 5, 9, 47, 0},  {214, 5, 9, 47, 1},  {16384, 5, 9, 47, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.allocation);
        std::vector<uint8_t> data;
        ASSERT_EQ(sendLogSense(0, 0x3F, data, c.allocation).code, TAVPAS_OK);
        StatDriveHealth h;
        memset(&h, 0, sizeof h);
        h.temperature = -1;
        h.uncorrectedRead = h.uncorrectedWrite = -1;
        EXPECT_EQ(StatLogPages(data.data(), c.allocation, &h), c.informational);
        EXPECT_EQ(h.uncorrectedRead, c.read);
        EXPECT_EQ(h.uncorrectedWrite, c.write);
        EXPECT_EQ(h.temperature, c.temperature);
    }
}

TEST_F(HealthOracle, SasPagesFollowTheStandardLayout)
{
    std::vector<uint8_t> page;
    ASSERT_EQ(sendLogSense(1, 0x2F, page).code, TAVPAS_OK);
    auto ie = logParameters(page.data(), page.size(), 0x2F);
    ASSERT_GE(ie[0].size(), 3u);
    char text[128];
    EXPECT_STREQ(sg_get_asc_ascq_str(ie[0][0], ie[0][1], sizeof text, text),
                 "Additional sense: Failure prediction threshold exceeded");
    EXPECT_EQ(ie[0][2], 61);

    ASSERT_EQ(sendLogSense(0, 0x0D, page).code, TAVPAS_OK);
    auto temperature = logParameters(page.data(), page.size(), 0x0D);
    ASSERT_EQ(temperature[0].size(), 2u);
    EXPECT_EQ(temperature[0][1], 47);
    EXPECT_EQ(temperature[1][1], 70) << "reference temperature";

    const std::pair<uint8_t, uint64_t> counters[] = {{0x03, 5}, {0x02, 9}};
    for (const auto &c : counters) {
        ASSERT_EQ(sendLogSense(0, c.first, page).code, TAVPAS_OK);
        auto p = logParameters(page.data(), page.size(), c.first);
        ASSERT_EQ(p[6].size(), 8u);
        EXPECT_EQ(sg_get_unaligned_be64(p[6].data()), c.second) << "total uncorrected errors";
    }
}

TEST_F(HealthOracle, SataDrivesGetSmartReturnStatusAndReadDataThroughTheExchange)
{
    readHealth();
    for (uint8_t slot : {2, 3}) {
        SCOPED_TRACE(int(slot));
        std::vector<SeenRequest> seen = requestsOf(slot);
        ASSERT_EQ(seen.size(), 4u) << "two exchanges of two steps";
        const uint8_t features[] = {0xDA, 0xD0};
        for (int i = 0; i < 2; ++i) {
            const SeenRequest &command = seen[2 * i];
            const SeenRequest &dataStep = seen[2 * i + 1];
            EXPECT_EQ(command.area[0], TAVPAS_SATA_EXCHANGE);
            const uint8_t *sat = command.area.data() + kFixedCdbSlot;
            EXPECT_EQ(commandName(sat), "ATA pass-through(16)");
            EXPECT_EQ(sat[14], 0xB0) << "SMART";
            EXPECT_EQ(sat[4], features[i]);
            EXPECT_EQ(sat[10], 0x4F);
            EXPECT_EQ(sat[12], 0xC2);
            int protocol = (sat[1] >> 1) & 0x0F;
            if (i == 0) {
                EXPECT_EQ(protocol, 3) << "non-data";
                EXPECT_TRUE(sat[2] & 0x20) << "CK_COND, so that the registers come back";
                EXPECT_EQ(dataStep.area[1], 0x13);
                EXPECT_EQ(dataStep.lengthOut, 0u);
            } else {
                EXPECT_EQ(protocol, 4) << "PIO data-in";
                EXPECT_EQ(sat[2] & 0x0F, 0x0E) << "from the drive, in blocks, length in the sector count";
                EXPECT_EQ(sat[6], 1);
                EXPECT_EQ(dataStep.area[1], 0x12);
                EXPECT_EQ(dataStep.lengthOut, 512u);
            }
        }
    }
    EXPECT_EQ(health[2].status, HEALTH_READ);
    EXPECT_FALSE(health[2].predictiveFailure);
    EXPECT_EQ(health[2].temperature, 38);
    EXPECT_EQ(health[2].temperatureMax, 57);
    EXPECT_EQ(health[2].reallocated, 12);
    EXPECT_EQ(health[2].pending, 3);
    EXPECT_EQ(health[2].offlineUncorrectable, 2);
    EXPECT_EQ(health[2].uncorrectedRead, -1);
    EXPECT_TRUE(health[3].predictiveFailure);
}

TEST_F(HealthOracle, SmartAnswersAreWhereTheStandardsPutThem)
{
    struct Case {
        uint8_t slot;
        uint8_t mid, high;
    };
    for (Case c : {Case{2, 0x4F, 0xC2}, Case{3, 0xF4, 0x2C}}) {
        SCOPED_TRACE(int(c.slot));
        std::vector<uint8_t> none;
        Outcome o = sendSmart(c.slot, 0xDA, none);
        ASSERT_EQ(o.code, TAVPAS_CHECK_CONDITION);
        sg_scsi_sense_hdr header;
        ASSERT_TRUE(sg_scsi_normalize_sense(o.result.data(), static_cast<int>(o.resultLength), &header));
        EXPECT_EQ(header.response_code, 0x72) << "descriptor format";
        char text[512];
        EXPECT_STREQ(sg_get_sense_key_str(header.sense_key, sizeof text, text), "Recovered Error");
        EXPECT_STREQ(sg_get_asc_ascq_str(header.asc, header.ascq, sizeof text, text),
                     "Additional sense: ATA pass through information available");
        const uint8_t *ata = sg_scsi_sense_desc_find(o.result.data(), static_cast<int>(o.resultLength), 9);
        ASSERT_NE(ata, nullptr) << "ATA status return descriptor";
        EXPECT_EQ(ata[1], 0x0C);
        EXPECT_EQ(ata[9], c.mid);
        EXPECT_EQ(ata[11], c.high);
        EXPECT_EQ(ata[13], 0x50) << "status: ready, no error";
        sg_get_sense_str(nullptr, o.result.data(), static_cast<int>(o.resultLength), false, sizeof text, text);
        char lba[32];
        snprintf(lba, sizeof lba, "lba=0x%02x%02x00", c.high, c.mid);
        EXPECT_NE(std::string(text).find("ATA Status Return"), std::string::npos) << text;
        EXPECT_NE(std::string(text).find(lba), std::string::npos) << text;
    }

    std::vector<uint8_t> data;
    ASSERT_EQ(sendSmart(2, 0xD0, data).code, TAVPAS_OK);
    uint8_t sum = 0;
    for (uint8_t b : data) {
        sum = static_cast<uint8_t>(sum + b);
    }
    EXPECT_EQ(sum, 0) << "checksum in byte 511";
    auto attributes = smartAttributes(data.data());
    EXPECT_EQ(attributes[5], 12u);
    EXPECT_EQ(attributes[194] & 0xFF, 38u);
    EXPECT_EQ((attributes[194] >> 32) & 0xFF, 57u);
    EXPECT_EQ(attributes[197], 3u);
    EXPECT_EQ(attributes[198], 2u);
}

}  // namespace
