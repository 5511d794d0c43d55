// The simulated adapter's background operations: rebuilds onto a hot spare
// or a replacement drive with the data intact, consistency checks and parity
// creation that run with the wall clock and end by themselves. The clock is
// faked: it stands still until a test moves it past an operation's end.
#include <algorithm>

#include "fakeclock.h"
#include "tavsim_device.h"

namespace {

using nlohmann::json;
using tavtest::SimServer;
using namespace tavsimtest;

constexpr uint32_t kDriveBlocks = 131072;  // 2 s per operation at speed 1

// Drives 0-3 of kDriveBlocks; logical drive 0 (`raid` on `members`), more
// keys of the adapter and of the logical drive.
std::string smallServer(int raid, const std::string &members, const std::string &extra = "",
                        const std::string &ldExtra = "", double speed = 1.0)
{
    std::string drives;
    for (int slot = 0; slot < 4; ++slot)
        drives += std::string(slot ? "," : "") + R"({"slot":)" + std::to_string(slot) +
                  R"(,"interface":"SAS","blocks":)" + std::to_string(kDriveBlocks) + "}";
    return R"({"speed":)" + std::to_string(speed) + R"(,"adapters":[{"host":2,"model":"ZN5121","drives":[)" + drives +
           R"(],"logical_drives":[{"number":0,"raid":)" + std::to_string(raid) + R"(,"members":)" + members + ldExtra +
           "}]" + extra + "}]}";
}

// Written at the start, across stripes and rows, and at the end of the drive.
struct Extent {
    uint32_t lba;
    uint16_t blocks;
};
const Extent kExtents[] = {{0, 128}, {200, 120}, {5000, 64}, {100000, 32}};

void writeExtents(Device &dev, uint32_t capacity)
{
    unsigned seed = 1;
    for (Extent e : kExtents)
        ASSERT_EQ(dev.writeBlocks(0, e.lba, randomBytes(e.blocks * 512u, seed++)).ret, 0);
    ASSERT_EQ(dev.writeBlocks(0, capacity - 8, randomBytes(8 * 512u, 99)).ret, 0);
}

void expectExtents(Device &dev, uint32_t capacity, const char *when)
{
    unsigned seed = 1;
    for (Extent e : kExtents) {
        ASSERT_EQ(dev.readBlocks(0, e.lba, e.blocks).ret, 0) << when << ": " << e.lba;
        EXPECT_EQ(dev.data(e.blocks * 512u), randomBytes(e.blocks * 512u, seed++)) << when << ": " << e.lba;
    }
    ASSERT_EQ(dev.readBlocks(0, capacity - 8, 8).ret, 0) << when;
    EXPECT_EQ(dev.data(8 * 512u), randomBytes(8 * 512u, 99)) << when << ": end";
}

constexpr int kOperationSeconds = 2;  // the longest operation here: speed 1

// Moves the clock past the end of the running operation; `tavsim show` (which
// brings operations up to date) then finds the group's key with the value.
bool finishOperation(tavtest::FakeClock &clock, const SimServer &server, const char *key, const json &value)
{
    clock.advance(kOperationSeconds + 1);
    return showAdapter(server)["logical_drives"][0][key] == value;
}

std::vector<std::string> eventNames(const SimServer &server)
{
    std::vector<std::string> names;
    const json adapter = showAdapter(server);
    for (const json &e : adapter["events"])
        names.push_back(e["event"]);
    return names;
}

bool contains(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

TEST(TavsimOperations, FailedRaid5MemberIsRebuiltOntoTheHotSpareWithItsData)
{
    tavtest::FakeClock clock;
    SimServer server(smallServer(5, "[0,1,2]", R"(,"hot_spares":[3])"));
    ASSERT_TRUE(server.ok()) << server.initOutput();
    const uint32_t capacity = 2 * kDriveBlocks;
    Device dev(server);
    writeExtents(dev, capacity);

    ASSERT_EQ(server.inject({"fail-drive", "0", "1"}).status, 0);
    auto status = buffer(dev, 0x01, 256);
    EXPECT_EQ(status[116], 0x11);
    EXPECT_EQ(status[149], 0x20);
    auto g = buffer(dev, 0x30, 256);
    EXPECT_EQ(g[220], 2);
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 14, g.begin() + 20), (std::vector<uint8_t>{1, 3, 0, 0x00, 0, 3}));
    auto spare = buffer(dev, 0x73, 512);
    EXPECT_EQ(spare[1], 0);
    EXPECT_EQ(spare[4], 2);  // spare in use
    EXPECT_EQ(showAdapter(server)["logical_drives"][0]["operation"], "rebuild");
    expectExtents(dev, capacity, "rebuilding");

    EXPECT_EQ(be32(buffer(dev, 0x30, 256), 144), 0u) << "no time has passed";
    clock.advance(1);  // half the rebuild
    uint32_t processed = be32(buffer(dev, 0x30, 256), 144);
    EXPECT_GT(processed, 0u);
    EXPECT_LT(processed, capacity);

    ASSERT_EQ(server.inject({"remove-drive", "0", "1"}).status, 0);  // the failed drive goes
    ASSERT_TRUE(finishOperation(clock, server, "rebuild_state", 0));
    status = buffer(dev, 0x01, 256);
    EXPECT_EQ(status[116], 0x00);
    g = buffer(dev, 0x30, 256);
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 14, g.begin() + 20), (std::vector<uint8_t>{3, 0, 0, 0x00, 0, 3}));
    EXPECT_EQ(be32(g, 144), 0u);
    EXPECT_EQ(buffer(dev, 0x73, 512)[4], 0);  // the spare is a member now
    auto lost = buffer(dev, 0x71, 512);
    EXPECT_EQ(lost[1], 0xFF);
    EXPECT_EQ(lost[4], 1);
    ASSERT_EQ(dev.send(0, {0x1A, 0x08, 0x3E, 0, 0xFF, 0}, {}, 255).ret, 0);
    EXPECT_EQ(dev.data(9)[7], 0xFF);  // no global hot spare left
    auto events = eventNames(server);
    EXPECT_TRUE(contains(events, "rebuild-started"));
    EXPECT_TRUE(contains(events, "rebuild-finished"));
    expectExtents(dev, capacity, "rebuilt");

    // The spare's media carry the rebuilt member: losing another original
    // member still leaves every block readable.
    ASSERT_EQ(server.inject({"remove-drive", "0", "0"}).status, 0);
    EXPECT_EQ(buffer(dev, 0x01, 256)[116], 0x10);
    EXPECT_EQ(buffer(dev, 0x30, 256)[220], 1);
    expectExtents(dev, capacity, "rebuilt, then degraded again");
}

TEST(TavsimOperations, ManualRebuildOntoAReplacementDriveInTheSameSlot)
{
    tavtest::FakeClock clock;
    SimServer server(smallServer(1, "[0,1]", "", R"(,"auto_rebuild":false)"));
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    writeExtents(dev, kDriveBlocks);

    ASSERT_EQ(server.inject({"remove-drive", "0", "1"}).status, 0);
    EXPECT_EQ(buffer(dev, 0x01, 256)[116], 0x10);
    expectSense(dev, selectPage(dev, groupAction(5, 0)), 0x05, 0x2C);  // nothing to rebuild onto
    ASSERT_EQ(server.inject({"insert-drive", "0", "1", R"({"interface":"SAS","blocks":131072})"}).status, 0);
    auto g = buffer(dev, 0x30, 256);
    EXPECT_EQ(g[219], 1);
    EXPECT_EQ(g[220], 1);  // auto-rebuild disabled: it waits
    EXPECT_EQ(buffer(dev, 0x71, 512)[4], 4);

    ASSERT_EQ(selectPage(dev, groupAction(5, 0)).ret, 0);
    g = buffer(dev, 0x30, 256);
    EXPECT_EQ(g[220], 2);
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 14, g.begin() + 20), (std::vector<uint8_t>{1, 3, 0, 0x00, 0, 1}));
    auto replacement = buffer(dev, 0x71, 512);
    EXPECT_EQ(replacement[1], 0);
    EXPECT_EQ(replacement[4], 0);
    ASSERT_TRUE(finishOperation(clock, server, "rebuild_state", 0));
    EXPECT_EQ(buffer(dev, 0x01, 256)[116], 0x00);

    ASSERT_EQ(server.inject({"remove-drive", "0", "0"}).status, 0);  // only the replacement is left
    expectExtents(dev, kDriveBlocks, "on the replacement alone");
}

TEST(TavsimOperations, LosingTheSpareCancelsTheRebuild)
{
    tavtest::FakeClock clock;
    SimServer server(smallServer(5, "[0,1,2]", R"(,"hot_spares":[3])"));
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    ASSERT_EQ(server.inject({"fail-drive", "0", "2"}).status, 0);
    ASSERT_EQ(buffer(dev, 0x30, 256)[220], 2);
    ASSERT_EQ(server.inject({"fail-drive", "0", "3"}).status, 0);
    EXPECT_EQ(buffer(dev, 0x01, 256)[116], 0x10);
    auto g = buffer(dev, 0x30, 256);
    EXPECT_EQ(g[220], 1);
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 20, g.begin() + 26), (std::vector<uint8_t>{2, 1, 0, 0x20, 0, 2}));
    EXPECT_EQ(buffer(dev, 0x73, 512)[4], 3);
    EXPECT_TRUE(contains(eventNames(server), "operation-aborted"));
}

TEST(TavsimOperations, ConsistencyCheckCountsDisagreementsAndParityCreationMendsThem)
{
    tavtest::FakeClock clock;
    SimServer server(smallServer(5, "[0,1,2]", "", "", 4.0));  // half a second per operation
    ASSERT_TRUE(server.ok()) << server.initOutput();
    const uint32_t capacity = 2 * kDriveBlocks;
    Device dev(server);
    writeExtents(dev, capacity);
    writeMedia(server, 2, 10, randomBytes(3 * 512, 7));  // parity of the first row, overwritten

    ASSERT_EQ(selectPage(dev, groupAction(2, 0)).ret, 0);
    auto g = buffer(dev, 0x30, 256);
    EXPECT_EQ(g[221], 1);
    expectSense(dev, selectPage(dev, groupAction(3, 0)), 0x05, 0x2C);        // one operation at a time
    expectSense(dev, selectPage(dev, page(0x30, 48, 0x11, 0)), 0x05, 0x2C);  // its members are busy
    EXPECT_EQ(showAdapter(server)["logical_drives"][0]["operation"], "consistency-check");
    ASSERT_TRUE(finishOperation(clock, server, "maintenance_state", 0));
    g = buffer(dev, 0x30, 256);
    EXPECT_EQ(be32(g, 222), 3u);
    EXPECT_EQ(be32(g, 144), 0u);
    json last = showAdapter(server)["events"].back();
    EXPECT_EQ(last["event"], "consistency-check-finished");
    EXPECT_EQ(last["detail"], 3);

    ASSERT_EQ(selectPage(dev, groupAction(3, 0)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x30, 256)[221], 2);
    ASSERT_TRUE(finishOperation(clock, server, "maintenance_state", 0));
    expectExtents(dev, capacity, "after parity creation");
    ASSERT_EQ(selectPage(dev, groupAction(2, 0)).ret, 0);
    ASSERT_TRUE(finishOperation(clock, server, "maintenance_state", 0));
    EXPECT_EQ(be32(buffer(dev, 0x30, 256), 222), 3u);  // nothing found any more

    // The rewritten parity stands in for a lost member.
    ASSERT_EQ(server.inject({"remove-drive", "0", "0"}).status, 0);
    expectExtents(dev, capacity, "degraded after parity creation");
}

TEST(TavsimOperations, StoppedOrGroundlessChecksEndAtOnce)
{
    tavtest::FakeClock clock;
    SimServer server(smallServer(1, "[0,1]"));
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    ASSERT_EQ(selectPage(dev, groupAction(2, 0)).ret, 0);
    ASSERT_EQ(selectPage(dev, groupAction(4, 0)).ret, 0);
    auto g = buffer(dev, 0x30, 256);
    EXPECT_EQ(g[221], 0);
    EXPECT_EQ(showAdapter(server)["logical_drives"][0]["operation"], "none");
    EXPECT_EQ(eventNames(server).back(), "operation-stopped");
    expectSense(dev, selectPage(dev, groupAction(4, 0)), 0x05, 0x2C);

    ASSERT_EQ(selectPage(dev, groupAction(3, 0)).ret, 0);
    ASSERT_EQ(server.inject({"fail-drive", "0", "1"}).status, 0);
    g = buffer(dev, 0x30, 256);
    EXPECT_EQ(g[221], 0);
    EXPECT_EQ(g[220], 1);
    EXPECT_TRUE(contains(eventNames(server), "operation-aborted"));
    expectSense(dev, selectPage(dev, groupAction(2, 0)), 0x05, 0x2C);  // not on a degraded group
}

TEST(TavsimOperations, PulledMemberComesBackRebuiltUnlessItsGroupNeedsItAsItIs)
{
    tavtest::FakeClock clock;
    // RAID 1: the group went on without the drive, so its data are stale.
    SimServer mirror(smallServer(1, "[0,1]", "", "", 4.0));
    ASSERT_TRUE(mirror.ok()) << mirror.initOutput();
    Device dev(mirror);
    ASSERT_EQ(mirror.inject({"remove-drive", "0", "1"}).status, 0);
    writeExtents(dev, kDriveBlocks);  // written while drive 1 is out
    ASSERT_EQ(mirror.inject({"insert-drive", "0", "1"}).status, 0);
    auto g = buffer(dev, 0x30, 256);
    EXPECT_EQ(g[220], 2);
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 14, g.begin() + 20), (std::vector<uint8_t>{1, 3, 0, 0x00, 0, 1}));
    ASSERT_TRUE(finishOperation(clock, mirror, "rebuild_state", 0));
    ASSERT_EQ(mirror.inject({"remove-drive", "0", "0"}).status, 0);
    expectExtents(dev, kDriveBlocks, "on the drive that came back");

    // RAID 0: nothing to rebuild from; the drive rejoins as it is.
    SimServer stripe(smallServer(0, "[0,1]"));
    ASSERT_TRUE(stripe.ok()) << stripe.initOutput();
    Device dev0(stripe);
    writeExtents(dev0, 2 * kDriveBlocks);
    ASSERT_EQ(stripe.inject({"remove-drive", "0", "1"}).status, 0);
    EXPECT_EQ(buffer(dev0, 0x01, 256)[116], 0x20);
    expectSense(dev0, dev0.readBlocks(0, 0, 1), 0x03, 0x11);
    ASSERT_EQ(stripe.inject({"insert-drive", "0", "1"}).status, 0);
    EXPECT_EQ(buffer(dev0, 0x01, 256)[116], 0x00);
    expectExtents(dev0, 2 * kDriveBlocks, "rejoined");
}

int main(int argc, char **argv)
{
    tavtest::RunUnderFakeableClock(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
