// The two-step SATA exchange: the bytes of both controller commands, data
// through the simulated SATA drive and its media, and a first step that fails.
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tavpth_fixture.h"

using namespace tavpthtest;

namespace {

constexpr uint8_t kSataDrive = 6;

class Sata : public PassThrough {
protected:
    std::vector<uint8_t> media(uint64_t lba) const
    {
        std::vector<uint8_t> block(512);
        int fd = open(server.path("/var/lib/tavsim/media/c0-d06.img").c_str(), O_RDONLY);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(pread(fd, block.data(), block.size(), off_t(lba * 512)), 512);
        close(fd);
        return block;
    }
};

TEST_F(Sata, BothStepsCarryTheCommandThenItsData)
{
    struct Case {
        uint8_t direction, unit;
        uint32_t length;
        uint8_t step, lengthHigh, lengthLow;
    };
    const Case cases[] = {
        {1, 0, 512, 0x12, 0x02, 0x00},   // bytes, from the drive
        {1, 1, 512, 0x12, 0x00, 0x01},   // 512-byte blocks
        {0, 1, 1024, 0x11, 0x00, 0x02},  // to the drive
        {2, 1, 0, 0x13, 0x00, 0x00},     // no data
    };
    std::vector<uint8_t> data(1024, 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.step) * 100 + c.unit);
        uint8_t ata = c.direction == 1 ? 0x24 : c.direction == 0 ? 0x34 : 0x27;
        uint16_t count = static_cast<uint16_t>(c.length / 512);
        PassThroughInfo info = request(1, 1, kSataDrive, c.direction, sat16(0x09, 0x0E, count, 0x10, ata));
        info.transferUnit = c.unit;
        g_seen.clear();
        g_recording = true;
        Outcome o = any(info, c.length ? data.data() : nullptr, c.length);
        g_recording = false;
        ASSERT_EQ(o.code, TAVPAS_OK) << int(o.result[2]) << " " << int(o.result[12]);
        ASSERT_EQ(g_seen.size(), 2u);
        const std::vector<uint8_t> first = {0xBC, 0x00, 0x00, 0x00, 16, 0x00, 16, 0, 0, 0, 0, 0};
        EXPECT_EQ(std::vector<uint8_t>(g_seen[0].area.begin(), g_seen[0].area.begin() + 12), first);
        EXPECT_EQ(g_seen[0].lengthIn & 0xFFFFFF, 16u);
        EXPECT_EQ(g_seen[0].lengthOut, 0u);
        EXPECT_EQ(g_seen[0].targetId, kSataDrive);
        EXPECT_EQ(memcmp(g_seen[0].area.data() + 16, info.cdb, 16), 0) << "the SAT CDB is the first step's data";
        const std::vector<uint8_t> second = {0xBC, c.step, kSataDrive, c.lengthHigh, c.lengthLow, c.unit, 16, 0, 0,
                                             0,    0,      0};
        EXPECT_EQ(std::vector<uint8_t>(g_seen[1].area.begin(), g_seen[1].area.begin() + 12), second);
        EXPECT_EQ(g_seen[1].lengthIn & 0xFFFFFF, c.direction == 0 ? c.length : 0u);
        EXPECT_EQ(g_seen[1].lengthOut, c.direction == 1 ? c.length : 0u);
    }
}

TEST_F(Sata, SectorsWrittenAreOnTheMediaAndReadBack)
{
    std::vector<uint8_t> block(512);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 13 + 1);
    }
    // The drive's last block, its address spread over the SAT LBA bytes.
    PassThroughInfo read = request(1, 1, kSataDrive, 1, sat16(0x09, 0x0E, 1, 0x3FFFFF, 0));
    read.transferUnit = 1;
    PassThroughInfo write = request(1, 1, kSataDrive, 0, sat16(0x0B, 0x06, 1, 0x3FFFFF, 0));
    write.transferUnit = 1;
    Outcome w = run([&](uint8_t *r, uint32_t *rl) { return TavPasWriteSectorExt(&write, block.data(), 512, r, rl); });
    ASSERT_EQ(w.code, TAVPAS_OK) << int(w.result[2]) << " " << int(w.result[12]);
    EXPECT_EQ(write.cdb[14], 0x34);
    EXPECT_EQ(write.direction, 0);
    EXPECT_EQ(media(0x3FFFFF), block);
    std::vector<uint8_t> back(512, 0);
    uint32_t length = 512;
    Outcome r =
        run([&](uint8_t *res, uint32_t *rl) { return TavPasReadSectorExt(&read, back.data(), &length, res, rl); });
    ASSERT_EQ(r.code, TAVPAS_OK);
    EXPECT_EQ(back, block);
}

TEST_F(Sata, AnAddressPastTheDriveEndIsAnIllegalRequestOfTheDataStep)
{
    std::vector<uint8_t> block(512);
    uint32_t length = 512;
    PassThroughInfo read = request(1, 1, kSataDrive, 1, sat16(0x09, 0x0E, 1, 0x123456789A, 0));
    read.transferUnit = 1;
    Outcome o = run([&](uint8_t *r, uint32_t *rl) { return TavPasReadSectorExt(&read, block.data(), &length, r, rl); });
    EXPECT_EQ(o.code, TAVPAS_CHECK_CONDITION);
    EXPECT_EQ(o.result[2] & 0x0F, 0x05);
    EXPECT_EQ(o.result[12], 0x21);
    EXPECT_EQ(driveModel(kSataDrive)["recent_commands"], nlohmann::json::array({"ata 0x24", "ata-data 0x24"}));
}

TEST_F(Sata, AFailedFirstStepNeverSendsTheSecond)
{
    inject({"drive-check-condition", "0", "6", "0x0B", "0x47", "0"});
    std::vector<uint8_t> block(512);
    uint32_t length = 512;
    PassThroughInfo info = request(1, 1, kSataDrive, 1, sat16(0x08, 0x0E, 1, 0, 0));
    info.transferUnit = 1;
    g_recording = true;
    Outcome o =
        run([&](uint8_t *r, uint32_t *rl) { return TavPasIdentifyDevice(&info, block.data(), &length, r, rl); });
    g_recording = false;
    EXPECT_EQ(o.code, TAVPAS_CHECK_CONDITION);
    EXPECT_EQ(info.status, 2);
    EXPECT_EQ(o.result[2] & 0x0F, 0x0B);
    EXPECT_EQ(o.result[12], 0x47);
    EXPECT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(driveModel(kSataDrive)["recent_commands"], nlohmann::json::array({"ata 0xEC"}));
    EXPECT_FALSE(lockFileExists());

    inject({"drive-busy", "0", "6"});
    EXPECT_EQ(
        run([&](uint8_t *r, uint32_t *rl) { return TavPasIdentifyDevice(&info, block.data(), &length, r, rl); }).code,
        TAVPAS_BUSY);
    EXPECT_EQ(info.status, 8);
}

TEST_F(Sata, ACommandLengthBeyondTheRequestsCdbFieldIsRefusedBeforeAnythingIsSent)
{
    std::vector<uint8_t> block(512);
    for (uint32_t deviceType : {0u, 1u}) {
        SCOPED_TRACE(deviceType);
        PassThroughInfo info = deviceType == 1 ? request(1, 1, kSataDrive, 1, sat16(0x08, 0x0E, 1, 0, 0xEC))
                                               : wrapped(0, true, {0x12, 0, 0, 0, 48, 0});
        info.cdbLength = 200;
        info.transferUnit = 1;
        g_seen.clear();
        g_recording = true;
        Outcome o = any(info, block.data(), 512);
        g_recording = false;
        EXPECT_EQ(o.code, TAVPAS_PARAM_ERROR);
        EXPECT_EQ(o.result[0], TAVPAS_DETAIL_LENGTH);
        EXPECT_TRUE(g_seen.empty());
    }
}

}  // namespace
