// The simulated adapter's spanned-array marker of a RAID 10 definition, and
// `tavsim inject ... partition`, which puts an operating-system partition
// table on block 0 of a logical drive through its RAID mapping.
#include "tavsim_device.h"

namespace {

using nlohmann::json;
using tavtest::SimServer;
using namespace tavsimtest;

// Drives 0-3 of LD 0 (RAID 5 on 0-2) and LD 1 (RAID 1 on 3-4); 5-8 free.
const char kServer[] = R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
    {"slot":0,"interface":"SAS"},{"slot":1,"interface":"SAS"},{"slot":2,"interface":"SAS"},
    {"slot":3,"interface":"SAS"},{"slot":4,"interface":"SAS"},{"slot":5,"interface":"SAS"},
    {"slot":6,"interface":"SAS"},{"slot":7,"interface":"SAS"},{"slot":8,"interface":"SAS"}],
  "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]},{"number":1,"raid":1,"members":[3,4]}]}]})";

std::vector<uint8_t> raid1Page(const std::vector<uint8_t> &members, uint8_t marker)
{
    std::vector<uint8_t> p = page(0x30, 48, 0x10, 5);
    p[5] = 1;
    p[8] = 1;  // 256 blocks
    p[15] = uint8_t(members.size());
    for (size_t i = 0; i < members.size(); ++i)
        p[16 + i] = members[i];
    p[38] = marker;
    return p;
}

}  // namespace

TEST(TavsimSpan, Raid10DefinitionNeedsTheSpannedArrayMarker)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    expectSense(dev, selectPage(dev, raid1Page({5, 6, 7, 8}, 0)), 0x05, 0x26);
    expectSense(dev, selectPage(dev, raid1Page({5, 6, 7, 8}, 2)), 0x05, 0x26);
    EXPECT_EQ(showAdapter(server)["pending_changes"], json::array());
    ASSERT_EQ(selectPage(dev, raid1Page({5, 6, 7, 8}, 1)).ret, 0);
    ASSERT_EQ(selectPage(dev, page(0x30, 48, 0x04, 0)).ret, 0);
    json ld = showAdapter(server)["logical_drives"][2];
    EXPECT_EQ(ld["number"], 5);
    EXPECT_EQ(ld["raid"], 10);
    EXPECT_EQ(ld["members"], json::parse("[5, 6, 7, 8]"));
}

TEST(TavsimSpan, MirroredPairPassesTheByteOnWhateverItIs)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    EXPECT_EQ(selectPage(dev, raid1Page({5, 6}, 0x5A)).ret, 0);
}

TEST(TavsimPartition, PartitionTableLandsOnBlockZeroOfEachLevelAndClears)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    for (int ld : {0, 1}) {
        SCOPED_TRACE(ld);
        ASSERT_EQ(server.inject({"partition", "0", std::to_string(ld)}).status, 0);
        Device dev(server);
        ASSERT_EQ(dev.readBlocks(uint8_t(ld), 0, 1).ret, 0);
        std::vector<uint8_t> block = dev.data(512);
        EXPECT_EQ(block[446 + 4], 0x83);
        EXPECT_EQ(block[446 + 8], 0x00);
        EXPECT_EQ(block[446 + 9], 0x08);  // first sector 2048
        EXPECT_EQ(block[510], 0x55);
        EXPECT_EQ(block[511], 0xAA);

        ASSERT_EQ(server.inject({"partition", "0", std::to_string(ld), "clear"}).status, 0);
        ASSERT_EQ(dev.readBlocks(uint8_t(ld), 0, 1).ret, 0);
        EXPECT_EQ(dev.data(512), std::vector<uint8_t>(512, 0));
    }
    EXPECT_EQ(server.inject({"partition", "0", "2"}).status, 1);  // no such logical drive
    EXPECT_EQ(server.inject({"partition", "1", "0"}).status, 2);  // no such adapter
    EXPECT_EQ(server.inject({"partition", "0", "x"}).status, 2);
}
