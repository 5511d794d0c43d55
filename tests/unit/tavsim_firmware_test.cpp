// The simulated adapter's firmware download: WRITE BUFFER mode 5 pieces in
// order, the pending firmware that a restart makes the running one, the
// refusals of pieces out of order, and what `show` reports.
#include "tavsim_device.h"

namespace {

using namespace tavsimtest;

// Firmware data as the adapter takes it: its own 16-byte header, then filler.
std::vector<uint8_t> Firmware(const char revision[5], uint32_t total)
{
    std::vector<uint8_t> image = randomBytes(total, total);
    const char magic[] = "TAVFWIMG";
    std::memcpy(image.data(), magic, 8);
    std::memcpy(image.data() + 8, revision, 4);
    for (int i = 0; i < 4; ++i)
        image[12 + i] = uint8_t(total >> (24 - 8 * i));
    return image;
}

Result Piece(Device &dev, const std::vector<uint8_t> &image, uint32_t offset, uint32_t length, uint8_t mode = 0x05,
             uint8_t buffer = 0x01)
{
    std::vector<uint8_t> data(image.begin() + offset, image.begin() + offset + length);
    return dev.send(0,
                    {0x3B, mode, buffer, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset),
                     uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0},
                    data, 0);
}

nlohmann::json Flash(const SimServer &sim)
{
    return showAdapter(sim)["flash"];
}

TEST(TavsimFirmware, CompleteDownloadRunsAfterTheRestart)
{
    SimServer sim;
    ASSERT_TRUE(sim.ok());
    Device dev(sim);
    std::vector<uint8_t> image = Firmware("0520", 8193);
    EXPECT_EQ(Flash(sim)["running_revision"], "0410");
    for (uint32_t offset : {0u, 4096u})
        ASSERT_EQ(Piece(dev, image, offset, 4096).ret, 0) << offset;
    EXPECT_EQ(Flash(sim)["bytes_received"], 8192);
    EXPECT_TRUE(Flash(sim)["pending_revision"].is_null());
    ASSERT_EQ(Piece(dev, image, 8192, 1).ret, 0);
    nlohmann::json flash = Flash(sim);
    EXPECT_EQ(flash["bytes_received"], 8193);
    EXPECT_EQ(flash["pending_revision"], "0520");
    EXPECT_EQ(flash["running_revision"], "0410");
    std::string kept = tavtest::readFile(sim.path("/var/lib/tavsim/firmware/c0.img"));
    EXPECT_TRUE(kept == std::string(image.begin(), image.end())) << "kept " << kept.size() << " bytes";

    ASSERT_EQ(sim.inject({"restart-adapter", "0"}).status, 0);
    flash = Flash(sim);
    EXPECT_EQ(flash["running_revision"], "0520");
    EXPECT_TRUE(flash["pending_revision"].is_null());
    EXPECT_EQ(flash["bytes_received"], 0);
    // the controller parameters carry the new general revision
    ASSERT_EQ(dev.readBuffer(0xA0, 512).ret, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(dev.block->area) + 50, 4), "0520");
}

TEST(TavsimFirmware, PiecesOutOfOrderAreRefused)
{
    SimServer sim;
    ASSERT_TRUE(sim.ok());
    Device dev(sim);
    std::vector<uint8_t> image = Firmware("0520", 12288);
    Result r = Piece(dev, image, 4096, 4096);  // nothing begun
    expectSense(dev, r, 0x05, 0x24);
    std::vector<uint8_t> headless(image);
    headless[0] = 'X';
    r = Piece(dev, headless, 0, 4096);
    expectSense(dev, r, 0x05, 0x26);
    ASSERT_EQ(Piece(dev, image, 0, 4096).ret, 0);
    r = Piece(dev, image, 2048, 4096);  // overlaps
    expectSense(dev, r, 0x05, 0x24);
    r = Piece(dev, image, 8192, 4096);  // skips a piece
    expectSense(dev, r, 0x05, 0x24);
    r = Piece(dev, image, 4096, 4096, 0x02);  // not download and save
    expectSense(dev, r, 0x05, 0x24);
    r = Piece(dev, image, 4096, 4096, 0x05, 0x00);  // not the firmware buffer
    expectSense(dev, r, 0x05, 0x24);
    ASSERT_EQ(Piece(dev, image, 4096, 4096).ret, 0);
    EXPECT_EQ(Flash(sim)["bytes_received"], 8192);
    // an incomplete download leaves the running firmware at the restart
    ASSERT_EQ(sim.inject({"restart-adapter", "0"}).status, 0);
    EXPECT_EQ(Flash(sim)["running_revision"], "0410");
    EXPECT_EQ(sim.inject({"restart-adapter", "1"}).status, 2);
}

TEST(TavsimFirmware, PieceBeyondTheTotalIsRefused)
{
    SimServer sim;
    ASSERT_TRUE(sim.ok());
    Device dev(sim);
    std::vector<uint8_t> image = Firmware("0520", 6000);
    std::vector<uint8_t> longer(image);
    longer.resize(8192);
    ASSERT_EQ(Piece(dev, longer, 0, 4096).ret, 0);
    Result r = Piece(dev, longer, 4096, 4096);
    expectSense(dev, r, 0x05, 0x24);
    EXPECT_TRUE(Flash(sim)["pending_revision"].is_null());
    ASSERT_EQ(Piece(dev, longer, 4096, 6000 - 4096).ret, 0);
    EXPECT_EQ(Flash(sim)["pending_revision"], "0520");
}

// The progress seam: an operation placed at a percentage, held there or
// going on from it.
TEST(TavsimFirmware, OperationPlacedAndHeld)
{
    SimServer sim;
    ASSERT_TRUE(sim.ok());
    EXPECT_EQ(sim.inject({"operation-progress", "0", "1", "50"}).status, 1);  // nothing runs
    Device dev(sim);
    ASSERT_EQ(selectPage(dev, groupAction(2, 1)).ret, 0);  // consistency check of LD 1
    ASSERT_EQ(sim.inject({"operation-progress", "0", "1", "50", "hold"}).status, 0);
    nlohmann::json ld = showAdapter(sim)["logical_drives"][1];
    uint64_t capacity = ld["capacity_blocks"];
    EXPECT_EQ(ld["processed_blocks"], capacity / 2);
    EXPECT_EQ(ld["operation"], "consistency-check");
    ASSERT_EQ(sim.inject({"operation-progress", "0", "1", "100"}).status, 0);
    EXPECT_EQ(showAdapter(sim)["logical_drives"][1]["operation"], "none");
    EXPECT_EQ(sim.inject({"operation-progress", "0", "1", "101"}).status, 2);
    EXPECT_EQ(sim.inject({"operation-progress", "0", "1", "5", "keep"}).status, 2);
}

}  // namespace
