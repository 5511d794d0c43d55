// The simulated drives behind the adapter, driven through the pass-through
// library as the log collector and the maintenance tool drive them.
#include <string.h>

#include <string>
#include <vector>

#include "tavpth_fixture.h"

using namespace tavpthtest;

namespace {

class Drive : public PassThrough {
protected:
    // Sends a wrapped command; data holds the outgoing bytes or receives the answer.
    Outcome send(uint8_t drive, bool fromDrive, std::vector<uint8_t> cdb, std::vector<uint8_t> &data)
    {
        PassThroughInfo info = wrapped(drive, fromDrive, cdb);
        return any(info, data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()));
    }
    Outcome send(uint8_t drive, bool fromDrive, std::vector<uint8_t> cdb)
    {
        std::vector<uint8_t> none;
        return send(drive, fromDrive, cdb, none);
    }
    // SAT command to SATA drive 6, data counted in blocks.
    Outcome ata(uint8_t direction, std::vector<uint8_t> cdb, std::vector<uint8_t> &data, uint8_t unit = 1)
    {
        PassThroughInfo info = request(1, 1, 6, direction, cdb);
        info.transferUnit = unit;
        return any(info, data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()));
    }
    static void expectSense(const Outcome &o, uint8_t key, uint8_t asc, uint8_t ascq)
    {
        ASSERT_EQ(o.code, TAVPAS_CHECK_CONDITION);
        EXPECT_EQ(o.result[2] & 0x0F, key);
        EXPECT_EQ(o.result[12], asc);
        EXPECT_EQ(o.result[13], ascq);
    }
};

std::vector<uint8_t> pattern(size_t n, unsigned seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(i * 31 + seed);
    }
    return v;
}

TEST_F(Drive, ASectorWrittenThroughTheDriveIsWhatItsLogicalDriveReadsAndTheReverse)
{
    // Logical drive 0 (RAID 5 on drives 0-2) keeps its block 0 at block 0 of drive 0.
    std::vector<uint8_t> sector = pattern(512, 7);
    ASSERT_EQ(send(0, false, rw10(0x2A, 0, 1), sector).code, TAVPAS_OK);
    ASSERT_EQ(initContData(0), 1);
    std::vector<uint8_t> seen(512);
    ASSERT_EQ(CmdExe_Read(0, 0, seen.data()), 0);
    EXPECT_EQ(seen, sector);
    std::vector<uint8_t> other = pattern(512, 99);
    ASSERT_EQ(CmdExe_Write(0, 0, 0, other.data()), 0);
    finContData();
    std::vector<uint8_t> back(512);
    ASSERT_EQ(send(0, true, rw10(0x28, 0, 1), back).code, TAVPAS_OK);
    EXPECT_EQ(back, other);
}

TEST_F(Drive, AStoppedDriveIsNotReadyForMediaAccessUntilStarted)
{
    std::vector<uint8_t> sector(512);
    ASSERT_EQ(send(3, false, {0x1B, 0x01, 0, 0, 0x00, 0}).code, TAVPAS_OK);
    expectSense(send(3, false, {0x00, 0, 0, 0, 0, 0}), 0x02, 0x04, 0x02);
    expectSense(send(3, true, rw10(0x28, 0, 1), sector), 0x02, 0x04, 0x02);
    std::vector<uint8_t> identity(48);
    EXPECT_EQ(send(3, true, {0x12, 0, 0, 0, 48, 0}, identity).code, TAVPAS_OK) << "a stopped drive still identifies";
    EXPECT_EQ(driveModel(3)["stopped"], true);
    ASSERT_EQ(send(3, false, {0x1B, 0x01, 0, 0, 0x01, 0}).code, TAVPAS_OK);
    EXPECT_EQ(send(3, false, {0x00, 0, 0, 0, 0, 0}).code, TAVPAS_OK);
    EXPECT_EQ(send(3, true, rw10(0x28, 0, 1), sector).code, TAVPAS_OK);
}

TEST_F(Drive, ACorruptedLongWriteMakesLaterReadsOfThatBlockAMediumError)
{
    // The probe: a 512-byte READ LONG tells the long block length in the sense.
    std::vector<uint8_t> probe(512);
    Outcome o = send(1, true, {0x3E, 0, 0x00, 0x01, 0x00, 0x00, 0, 0x02, 0x00, 0}, probe);
    expectSense(o, 0x05, 0x24, 0x00);
    EXPECT_EQ(o.result[0], 0xF0) << "information field valid";
    EXPECT_EQ(o.result[2] & 0x20, 0x20) << "incorrect length";
    EXPECT_EQ(512 + (256 - o.result[6]), 520);

    const uint32_t lba = 0x10000;
    std::vector<uint8_t> sector = pattern(512, 3);
    ASSERT_EQ(send(1, false, rw10(0x2A, lba, 1), sector).code, TAVPAS_OK);
    std::vector<uint8_t> longBlock(520);
    ASSERT_EQ(send(1, true, {0x3E, 0, 0x00, 0x01, 0x00, 0x00, 0, 0x02, 0x08, 0}, longBlock).code, TAVPAS_OK);
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), longBlock.begin()));
    ASSERT_EQ(send(1, false, {0x3F, 0, 0x00, 0x01, 0x00, 0x00, 0, 0x02, 0x08, 0}, longBlock).code, TAVPAS_OK);
    EXPECT_EQ(send(1, true, rw10(0x28, lba, 1), sector).code, TAVPAS_OK) << "its own ECC keeps it whole";

    std::vector<uint8_t> ones(520, 0xFF);
    ASSERT_EQ(send(1, false, {0x3F, 0, 0x00, 0x01, 0x00, 0x00, 0, 0x02, 0x08, 0}, ones).code, TAVPAS_OK);
    o = send(1, true, rw10(0x28, lba, 1), sector);
    expectSense(o, 0x03, 0x11, 0x00);
    EXPECT_EQ(o.result[6], 0x00);
    EXPECT_EQ((o.result[3] << 24) | (o.result[4] << 16) | (o.result[5] << 8) | o.result[6], int(lba));
    EXPECT_EQ(driveModel(1)["corrupt_blocks"], nlohmann::json::array({lba}));
    EXPECT_EQ(send(1, true, rw10(0x28, lba + 1, 1), sector).code, TAVPAS_OK);
    ASSERT_EQ(send(1, false, rw10(0x2A, lba, 1), sector).code, TAVPAS_OK);
    EXPECT_EQ(send(1, true, rw10(0x28, lba, 1), sector).code, TAVPAS_OK) << "written again, it reads";
}

TEST_F(Drive, LogSenseListsItsPagesAndAnswersTheVendorPages)
{
    std::vector<uint8_t> list(0xFFFF);
    ASSERT_EQ(send(0, true, {0x4D, 0, 0x00, 0, 0, 0, 0, 0xFF, 0xFF, 0}, list).code, TAVPAS_OK);
    unsigned count = (list[2] << 8) | list[3];
    std::vector<uint8_t> pages(list.begin() + 4, list.begin() + 4 + count);
    EXPECT_EQ(pages, (std::vector<uint8_t>{0x00, 0x02, 0x03, 0x0D, 0x2F, 0x31, 0x32}));
    struct Case {
        uint8_t page;
        unsigned length;
    };
    for (Case c : {Case{0x31, 13680}, Case{0x32, 312}, Case{0x02, 84}, Case{0x0D, 12}}) {
        SCOPED_TRACE(int(c.page));
        std::vector<uint8_t> head(4);
        ASSERT_EQ(send(0, true, {0x4D, 0, uint8_t(0x40 | c.page), 0, 0, 0, 0, 0, 4, 0}, head).code, TAVPAS_OK);
        EXPECT_EQ(head[0], c.page);
        EXPECT_EQ(unsigned((head[2] << 8) | head[3]), c.length);
    }
    std::vector<uint8_t> history(0x3574);
    ASSERT_EQ(send(0, true, {0x4D, 0, 0x31, 0, 0, 0, 0, 0x35, 0x74, 0}, history).code, TAVPAS_OK);
    EXPECT_EQ(history[4 + 1], 1);
    EXPECT_EQ(history[4 + 170 * 80 + 1], 171) << "171 entries of 80 bytes";
    EXPECT_EQ(history[4 + 2 * 80 + 28], 0x11);
    expectSense(send(0, true, {0x4D, 0, 0x33, 0, 0, 0, 0, 0, 4, 0}, history), 0x05, 0x24, 0x00);
}

TEST_F(Drive, InternalLogsComeInPiecesAfterTheirLength)
{
    std::vector<uint8_t> head(4);
    ASSERT_EQ(send(0, true, {0xFE, 2, 0, 0, 0, 0, 0, 0, 4, 0}, head).code, TAVPAS_OK);
    EXPECT_EQ(head, (std::vector<uint8_t>{2, 0x01, 0x80, 0x00}));
    std::vector<uint8_t> first(0x10000), rest(0x8004, 0xEE);
    ASSERT_EQ(send(0, true, {0xFE, 2, 0, 0, 0, 0, 0x01, 0, 0, 0}, first).code, TAVPAS_OK);
    ASSERT_EQ(send(0, true, {0xFE, 2, 0, 0x01, 0, 0, 0, 0x80, 0x04, 0}, rest).code, TAVPAS_OK);
    EXPECT_EQ(first[0], 2);
    const unsigned last = 0x18003, kind = 2, slot = 0;
    EXPECT_EQ(rest[0x8003], uint8_t(last * 7 + kind + slot)) << "the log's last byte, where the pattern puts it";
    expectSense(send(0, true, {0xFE, 3, 0, 0, 0, 0, 0, 0, 4, 0}, head), 0x05, 0x24, 0x00);
}

TEST_F(Drive, ModeSelectSetsTheCapacityAndTheErrorInjectionPage)
{
    std::vector<uint8_t> capacity = {0, 0, 0, 8, 0x00, 0x00, 0x10, 0x00, 0, 0x00, 0x02, 0x00};
    ASSERT_EQ(send(2, false, {0x15, 0x01, 0, 0, 12, 0}, capacity).code, TAVPAS_OK);
    std::vector<uint8_t> sense(255);
    ASSERT_EQ(send(2, true, {0x1A, 0x00, 0x01, 0, 255, 0}, sense).code, TAVPAS_OK);
    EXPECT_EQ(sense[3], 8);
    EXPECT_EQ((sense[4] << 24) | (sense[5] << 16) | (sense[6] << 8) | sense[7], 0x1000);
    std::vector<uint8_t> readCapacity(8);
    ASSERT_EQ(send(2, true, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, readCapacity).code, TAVPAS_OK);
    EXPECT_EQ(readCapacity[2], 0x0F);
    EXPECT_EQ(readCapacity[3], 0xFF);
    std::vector<uint8_t> sector(512);
    expectSense(send(2, true, rw10(0x28, 0x1000, 1), sector), 0x05, 0x21, 0x00);

    std::vector<uint8_t> page(34, 0);
    page[4] = 0x22;
    page[5] = 0x1C;
    page[6] = 0x03;
    page[12] = 0xAB;
    ASSERT_EQ(send(2, false, {0x15, 0x11, 0, 0, 0x22, 0}, page).code, TAVPAS_OK);
    std::vector<uint8_t> injection(34);
    ASSERT_EQ(send(2, true, {0x1A, 0x08, 0x22, 0, 34, 0}, injection).code, TAVPAS_OK);
    EXPECT_EQ(injection[4], 0x80 | 0x22);
    EXPECT_TRUE(std::equal(page.begin() + 5, page.end(), injection.begin() + 5));
    std::vector<uint8_t> wrongLength = page;
    wrongLength[5] = 0x1D;
    expectSense(send(2, false, {0x15, 0x11, 0, 0, 0x22, 0}, wrongLength), 0x05, 0x1A, 0x00);

    std::vector<uint8_t> restore = {0, 0, 0, 8, 0, 0, 0, 0, 0, 0x00, 0x02, 0x00};
    ASSERT_EQ(send(2, false, {0x15, 0x01, 0, 0, 12, 0}, restore).code, TAVPAS_OK);
    EXPECT_EQ(send(2, true, rw10(0x28, 0x1000, 1), sector).code, TAVPAS_OK);
}

TEST_F(Drive, FirmwareDownloadedInPiecesIsKeptWhole)
{
    std::vector<uint8_t> image = pattern(0x18000, 5);
    for (uint32_t offset : {0u, 0x10000u}) {
        uint32_t size = offset == 0 ? 0x10000 : 0x8000;
        std::vector<uint8_t> piece(image.begin() + offset, image.begin() + offset + size);
        PassThroughInfo info = wrapped(4, false,
                                       {0x3B, 0x07, 0, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset),
                                        uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size), 0});
        Outcome o = run([&](uint8_t *r, uint32_t *rl) { return TavPasWriteBuffer(&info, piece.data(), size, r, rl); });
        ASSERT_EQ(o.code, TAVPAS_OK);
    }
    EXPECT_EQ(driveModel(4)["firmware_bytes"], 0x18000);
    std::string kept = tavtest::readFile(server.path("/var/lib/tavsim/drives/c0-d04.firmware"));
    EXPECT_EQ(kept, std::string(image.begin(), image.end()));
}

TEST_F(Drive, UnknownCommandsAndMissingDrivesAreIllegalRequests)
{
    expectSense(send(0, false, {0xC7, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0x05, 0x20, 0x00);
    expectSense(send(9, false, {0x00, 0, 0, 0, 0, 0}), 0x05, 0x25, 0x00);
    EXPECT_EQ(driveModel(0)["recent_commands"], nlohmann::json::array({"0xC7"}));
    EXPECT_EQ(driveModel(0)["commands_received"], 1);
}

TEST_F(Drive, SataDrivesAnswerTheMaintenanceCommands)
{
    std::vector<uint8_t> none;
    ASSERT_EQ(ata(2, sat16(0x07, 0, 0, 0, 0x27), none).code, TAVPAS_OK);
    ASSERT_EQ(ata(2, sat16(0x07, 0, 1, 0x2000, 0x37), none).code, TAVPAS_OK);
    std::vector<uint8_t> id(512);
    ASSERT_EQ(ata(1, sat16(0x08, 0x0E, 1, 0, 0xEC), id).code, TAVPAS_OK);
    EXPECT_EQ(id[200] | id[201] << 8, 0x2000) << "words 100-103: the capacity SET MAX ADDRESS left";

    std::vector<uint8_t> sector(512);
    ASSERT_EQ(ata(2, sat16(0x07, 0, 1, 0x10, 0x45), none).code, TAVPAS_OK);
    expectSense(ata(1, sat16(0x09, 0x0E, 1, 0x10, 0x24), sector), 0x03, 0x11, 0x00);
    std::vector<uint8_t> longData(516, 0xFF);
    ASSERT_EQ(ata(0, sat16(0x0B, 0x06, 1, 0x11, 0x32), longData, 0).code, TAVPAS_OK);
    expectSense(ata(1, sat16(0x09, 0x0E, 1, 0x11, 0x24), sector), 0x03, 0x11, 0x00);
    EXPECT_EQ(driveModel(6)["corrupt_blocks"], nlohmann::json::array({0x10, 0x11}));

    std::vector<uint8_t> structure(512, 0);
    structure[0] = 1;
    structure[3] = 5;
    ASSERT_EQ(ata(0, sat16(0x0B, 0x06, 1, 0x450049000000ull, 0xFE), structure).code, TAVPAS_OK);
    EXPECT_EQ(driveModel(6)["ata_error_injections"], 1);
    EXPECT_EQ(driveModel(6)["ata_error_injection_head"], "01000005000000000000000000000000");
    expectSense(ata(2, sat16(0x07, 0, 0, 0, 0xB0), none), 0x0B, 0x00, 0x00);
}

}  // namespace
