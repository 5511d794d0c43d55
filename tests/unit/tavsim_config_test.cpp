// The simulated adapter's configuration pages: logical drives defined and
// deleted at the commit, cache policies, restore candidates, forced drive
// states, and the pages it refuses without changing anything.
#include "tavsim_device.h"

namespace {

using nlohmann::json;
using tavtest::SimServer;
using namespace tavsimtest;

constexpr uint8_t kCommit = 0x04;
constexpr uint8_t kCreate = 0x10;
constexpr uint8_t kDelete = 0x11;

std::vector<uint8_t> createPage(uint8_t group, uint8_t raid, const std::vector<uint8_t> &members, uint16_t stripe = 256,
                                uint8_t passedOn = 0)
{
    std::vector<uint8_t> p = page(0x30, 48, kCreate, group);
    p[5] = raid;
    p[8] = uint8_t(stripe >> 8);
    p[9] = uint8_t(stripe);
    p[15] = uint8_t(members.size());
    for (size_t i = 0; i < members.size(); ++i)
        p[16 + i] = members[i];
    p[37] = raid == 5 ? 1 : 0;
    p[38] = passedOn;
    return p;
}

std::vector<uint8_t> configPage(uint8_t function, uint8_t group = 0)
{
    return page(0x30, 48, function, group);
}

std::vector<uint8_t> policyPage(uint8_t group, uint8_t read, uint8_t write)
{
    std::vector<uint8_t> p = page(0x3A, 12, 1, group);
    p[6] = group;
    p[7] = read;
    p[8] = write;
    return p;
}

std::vector<uint8_t> restorePage(uint8_t function, uint8_t candidate, uint8_t group)
{
    std::vector<uint8_t> p = page(0x3D, 22, function, candidate);
    p[4] = group;
    for (size_t i = 6; i < 22; ++i)
        p[i] = 0xFF;
    return p;
}

std::vector<uint8_t> drivePage(uint8_t function, uint8_t slot)
{
    return page(0x3E, 16, function, slot);
}

// Drives 0-8; logical drive 0 RAID 5 on 0-2, 1 RAID 1 on 4-5, 2 RAID 0 on 9;
// drive 3 the global hot spare; 6, 7 and the smaller 8 free; candidate 3 a
// RAID 1 on 10-11.
const char kServer[] = R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
    {"slot":0,"interface":"SAS"},{"slot":1,"interface":"SAS"},{"slot":2,"interface":"SAS"},
    {"slot":3,"interface":"SAS"},{"slot":4,"interface":"SAS"},{"slot":5,"interface":"SAS"},
    {"slot":6,"interface":"SAS"},{"slot":7,"interface":"SATA"},{"slot":8,"interface":"SAS","blocks":1000000},
    {"slot":9,"interface":"SAS"},{"slot":10,"interface":"SAS"},{"slot":11,"interface":"SAS"}],
  "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]},{"number":1,"raid":1,"members":[4,5]},
                    {"number":2,"raid":0,"members":[9]}],
  "restore_candidates":[{"number":3,"raid":1,"members":[10,11],"read":"NORA"}],
  "hot_spares":[3]}]})";

const std::vector<uint8_t> kInquiry = {0x12, 0, 0, 0, 96, 0};

}  // namespace

TEST(TavsimConfig, DefinitionTakesEffectAtTheCommitOnWhatTheMembersHold)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    auto left = randomBytes(4 * 512, 11);
    writeMedia(server, 6, 100, left);
    Device dev(server);
    ASSERT_EQ(selectPage(dev, createPage(4, 1, {6, 7}, 256, 0x5A)).ret, 0);
    ASSERT_EQ(selectPage(dev, policyPage(4, 1, 1)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x01, 256)[120], 0xFF);
    expectSense(dev, dev.send(4, kInquiry, {}, 96), 0x05, 0x25);
    EXPECT_EQ(showAdapter(server)["pending_changes"], json::parse(R"([{"number":4,"change":"create"}])"));

    ASSERT_EQ(selectPage(dev, configPage(kCommit)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x01, 256)[120], 0x00);
    auto g = buffer(dev, 0x34, 256);
    ASSERT_FALSE(g.empty());
    EXPECT_EQ(g[2], 2);
    EXPECT_EQ(g[3], 1);
    EXPECT_EQ(be32(g, 4), 256u);
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 8, g.begin() + 20),
              (std::vector<uint8_t>{6, 0, 0, 0, 0, 6, 7, 0, 0, 0, 0, 7}));
    EXPECT_EQ(be32(g, 84), 4194304u);  // a mirror of two 2 GiB drives
    EXPECT_EQ(g[200], 1);
    EXPECT_EQ(g[208], 1);
    EXPECT_EQ(g[218], 0x5A);
    EXPECT_EQ(g[219], 0);
    EXPECT_EQ(g[220], 0);
    for (uint8_t slot : {6, 7}) {
        auto d = buffer(dev, uint8_t(0x70 + slot), 512);
        EXPECT_EQ(d[1], 4) << int(slot);
        EXPECT_EQ(d[4], 0) << int(slot);
    }
    EXPECT_TRUE(showAdapter(server)["pending_changes"].empty());

    ASSERT_EQ(dev.send(4, kInquiry, {}, 96).ret, 0);
    auto inquiry = dev.data(32);
    EXPECT_EQ(std::string(inquiry.begin() + 16, inquiry.end()), "VIRTUAL DRIVE 4 ");
    ASSERT_EQ(dev.readBlocks(4, 100, 4).ret, 0);
    EXPECT_EQ(dev.data(left.size()), left);
    auto fresh = randomBytes(8 * 512, 12);
    ASSERT_EQ(dev.writeBlocks(4, 0, fresh).ret, 0);
    EXPECT_EQ(media(server, 6, 0, 8), fresh);
    EXPECT_EQ(media(server, 7, 0, 8), fresh);
}

// commit-error: the armed commits fail and change nothing; the staged
// creation and deletion wait for the first commit that goes through.
TEST(TavsimConfig, FailingCommitsLeaveTheChangesStaged)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    ASSERT_EQ(server.inject({"commit-error", "0", "2"}).status, 0);
    EXPECT_EQ(showAdapter(server)["failing_commits"], 2);
    Device dev(server);
    ASSERT_EQ(selectPage(dev, createPage(4, 1, {6, 7})).ret, 0);
    ASSERT_EQ(selectPage(dev, configPage(kDelete, 2)).ret, 0);
    const json staged = json::parse(R"([{"number":2,"change":"delete"},{"number":4,"change":"create"}])");
    for (int i = 0; i < 2; ++i) {
        expectSense(dev, selectPage(dev, configPage(kCommit)), 0x04, 0x44);
        EXPECT_EQ(showAdapter(server)["pending_changes"], staged);
        EXPECT_EQ(buffer(dev, 0x01, 256)[120], 0xFF) << "logical drive 4 not defined yet";
        EXPECT_EQ(buffer(dev, 0x01, 256)[118], 0x00) << "logical drive 2 still defined";
    }
    EXPECT_EQ(showAdapter(server)["failing_commits"], 0);
    ASSERT_EQ(selectPage(dev, configPage(kCommit)).ret, 0);
    EXPECT_TRUE(showAdapter(server)["pending_changes"].empty());
    EXPECT_EQ(buffer(dev, 0x01, 256)[120], 0x00);
    EXPECT_EQ(buffer(dev, 0x01, 256)[118], 0xFF);
}

TEST(TavsimConfig, CapacityAndStripeFollowTheDefinition)
{
    struct Case {
        uint8_t raid;
        std::vector<uint8_t> members;
        uint16_t stripe;
        uint32_t capacity;
    };
    const Case cases[] = {
        {0, {6}, 0, 4194304},
        {0, {6, 7}, 256, 8388608},
        {1, {6, 7}, 256, 4194304},
        {5, {6, 7, 8}, 256, 2 * 999936},  // the smallest member, in whole stripes
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "RAID " << int(c.raid) << " on " << c.members.size());
        SimServer server(kServer);
        ASSERT_TRUE(server.ok()) << server.initOutput();
        Device dev(server);
        ASSERT_EQ(selectPage(dev, createPage(5, c.raid, c.members, c.stripe)).ret, 0);
        ASSERT_EQ(selectPage(dev, configPage(kCommit)).ret, 0);
        auto g = buffer(dev, 0x35, 256);
        EXPECT_EQ(be32(g, 4), c.stripe);
        EXPECT_EQ(be32(g, 84), c.capacity);
        auto data = randomBytes(3 * 512, 5);
        ASSERT_EQ(dev.writeBlocks(5, c.capacity - 3, data).ret, 0);
        ASSERT_EQ(dev.readBlocks(5, c.capacity - 3, 3).ret, 0);
        EXPECT_EQ(dev.data(data.size()), data);
        expectSense(dev, dev.readBlocks(5, c.capacity - 1, 2), 0x05, 0x21);
    }
}

TEST(TavsimConfig, DeletionTakesEffectAtTheCommitAndFreesTheMembers)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    std::vector<uint8_t> drop = page(0x3A, 12, 2, 1);
    ASSERT_EQ(selectPage(dev, drop).ret, 0);
    ASSERT_EQ(selectPage(dev, configPage(kDelete, 1)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x01, 256)[117], 0x00);
    ASSERT_EQ(dev.send(1, kInquiry, {}, 96).ret, 0);

    ASSERT_EQ(selectPage(dev, configPage(kCommit)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x01, 256)[117], 0xFF);
    expectSense(dev, dev.send(1, kInquiry, {}, 96), 0x05, 0x25);
    for (uint8_t slot : {4, 5}) {
        auto d = buffer(dev, uint8_t(0x70 + slot), 512);
        EXPECT_EQ(d[1], 0xFF) << int(slot);
        EXPECT_EQ(d[4], 4) << int(slot);  // fresh
    }
    // The freed drives serve a new definition.
    ASSERT_EQ(selectPage(dev, createPage(1, 0, {4, 5})).ret, 0);
    ASSERT_EQ(selectPage(dev, configPage(kCommit)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x01, 256)[117], 0x00);
    EXPECT_EQ(buffer(dev, 0x31, 256)[3], 0);
}

TEST(TavsimConfig, CachePoliciesAndAutoRebuildSettings)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    struct Case {
        uint8_t parameter;
        uint8_t read, write;  // group positions 200 and 208
        const char *shownRead;
        const char *shownWrite;
    };
    for (Case c : {Case{0x00, 0, 1, "RA", "WT"}, Case{0x01, 1, 1, "NORA", "WT"}, Case{0x04, 0, 0, "RA", "WB"},
                   Case{0x05, 1, 0, "NORA", "WB"}}) {
        SCOPED_TRACE(int(c.parameter));
        ASSERT_EQ(selectPage(dev, groupAction(0x31, 1, c.parameter)).ret, 0);
        auto g = buffer(dev, 0x31, 256);
        EXPECT_EQ(g[200], c.read);
        EXPECT_EQ(g[208], c.write);
        json shown = showAdapter(server)["logical_drives"][1];
        EXPECT_EQ(shown["read"], c.shownRead);
        EXPECT_EQ(shown["write"], c.shownWrite);
    }
    ASSERT_EQ(selectPage(dev, policyPage(0, 1, 1)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x30, 256)[200], 1);
    EXPECT_EQ(buffer(dev, 0x30, 256)[208], 1);

    ASSERT_EQ(selectPage(dev, groupAction(7, 0, 1)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x30, 256)[219], 1);
    EXPECT_EQ(showAdapter(server)["logical_drives"][0]["auto_rebuild"], false);
    ASSERT_EQ(selectPage(dev, groupAction(6, 0, 0)).ret, 0);
    EXPECT_EQ(buffer(dev, 0x30, 256)[219], 0);
}

TEST(TavsimConfig, RestoredCandidateBecomesALogicalDriveWithItsData)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    auto kept = randomBytes(16 * 512, 21);
    writeMedia(server, 10, 2000, kept);
    writeMedia(server, 11, 2000, kept);
    Device dev(server);
    ASSERT_EQ(selectPage(dev, restorePage(1, 3, 6)).ret, 0);
    ASSERT_EQ(selectPage(dev, policyPage(6, 0, 0)).ret, 0);
    EXPECT_EQ(buffer(dev, 0xBF, 256)[0], 1);
    EXPECT_EQ(showAdapter(server)["pending_changes"], json::parse(R"([{"number":6,"change":"restore"}])"));

    ASSERT_EQ(selectPage(dev, configPage(kCommit)).ret, 0);
    auto restore = buffer(dev, 0xBF, 256);
    EXPECT_EQ(restore[0], 0);
    EXPECT_EQ(restore[4 + 3], 0xFF);
    EXPECT_EQ(buffer(dev, 0xC3, 256)[2], 0);  // the candidate's parameters are gone
    EXPECT_EQ(buffer(dev, 0x01, 256)[122], 0x00);
    auto g = buffer(dev, 0x36, 256);
    EXPECT_EQ(g[2], 2);
    EXPECT_EQ(g[8], 10);
    EXPECT_EQ(g[14], 11);
    EXPECT_EQ(g[200], 0);  // the policies sent with the restore
    for (uint8_t slot : {10, 11}) {
        auto d = buffer(dev, uint8_t(0x70 + slot), 512);
        EXPECT_EQ(d[1], 6) << int(slot);
        EXPECT_EQ(d[4], 0) << int(slot);
    }
    ASSERT_EQ(dev.readBlocks(6, 2000, 16).ret, 0);
    EXPECT_EQ(dev.data(kept.size()), kept);
}

TEST(TavsimConfig, DeletedCandidateLeavesFreshDrives)
{
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    ASSERT_EQ(selectPage(dev, restorePage(2, 3, 0)).ret, 0);
    EXPECT_EQ(buffer(dev, 0xBF, 256)[0], 0);
    for (uint8_t slot : {10, 11})
        EXPECT_EQ(buffer(dev, uint8_t(0x70 + slot), 512)[4], 4) << int(slot);
    expectSense(dev, selectPage(dev, restorePage(1, 3, 6)), 0x05, 0x26);
    json events = showAdapter(server)["events"];
    EXPECT_EQ(events.back()["event"], "restore-candidate-deleted");
}

TEST(TavsimConfig, RefusedPagesChangeNothing)
{
    struct Case {
        const char *what;
        std::vector<uint8_t> page;
        uint8_t asc;
    };
    std::vector<uint8_t> raid5WithoutFlag = createPage(5, 5, {6, 7, 8});
    raid5WithoutFlag[37] = 0;
    std::vector<uint8_t> policiesOfTwoGroups = policyPage(1, 0, 0);
    policiesOfTwoGroups[6] = 0;
    const Case cases[] = {
        {"create group 12", createPage(12, 0, {6}), 0x26},
        {"create over a defined group", createPage(0, 0, {6}), 0x2C},
        {"RAID level 6", createPage(5, 6, {6, 7, 8}), 0x26},
        {"RAID 5 of two", createPage(5, 5, {6, 7}), 0x26},
        {"RAID 1 of three", createPage(5, 1, {6, 7, 8}), 0x26},
        {"RAID 5 without its flag", raid5WithoutFlag, 0x26},
        {"striped without a stripe size", createPage(5, 0, {6, 7}, 0), 0x26},
        {"a member of logical drive 0", createPage(5, 0, {6, 1}), 0x2C},
        {"the global hot spare", createPage(5, 0, {3}), 0x2C},
        {"a candidate's member", createPage(5, 0, {10}), 0x2C},
        {"a drive twice", createPage(5, 1, {6, 6}), 0x26},
        {"an empty slot", createPage(5, 0, {12}), 0x26},
        {"delete an undefined group", configPage(kDelete, 5), 0x26},
        {"unknown configuration function", configPage(0x12, 0), 0x26},
        {"policies of an undefined group", policyPage(5, 0, 0), 0x26},
        {"policies naming two groups", policiesOfTwoGroups, 0x26},
        {"restore an undefined candidate", restorePage(1, 4, 6), 0x26},
        {"restore over a defined group", restorePage(1, 3, 0), 0x2C},
        {"check a RAID 0", groupAction(2, 2), 0x2C},
        {"stop with nothing running", groupAction(4, 0), 0x2C},
        {"rebuild a good group", groupAction(5, 0), 0x2C},
        {"action on an undefined group", groupAction(2, 7), 0x26},
        {"unknown action", groupAction(0x40, 0), 0x26},
        {"force an unknown state", groupAction(8, 6, 0x10), 0x26},
        {"unknown cache bit", groupAction(0x31, 0, 0x02), 0x26},
        {"assign a member as hot spare", drivePage(1, 0), 0x2C},
        {"assign the hot spare again", drivePage(1, 3), 0x2C},
        {"remove a drive that is no hot spare", drivePage(2, 6), 0x2C},
        {"unknown drive action", drivePage(3, 6), 0x26},
    };
    SimServer server(kServer);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    json before = showAdapter(server);
    Device dev(server);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        expectSense(dev, selectPage(dev, c.page), 0x05, c.asc);
    }
    ASSERT_EQ(selectPage(dev, configPage(kCommit)).ret, 0);  // nothing was staged
    json after = showAdapter(server);
    before.erase("commands");
    after.erase("commands");
    EXPECT_EQ(before, after);
}

TEST(TavsimConfig, ForcedDriveStatesFollowTheRaidLevel)
{
    struct Case {
        const char *what;
        int raid;
        std::vector<int> members;
        std::vector<uint8_t> forced;  // drives put into alarm
        uint8_t state, rebuild;
    };
    const Case cases[] = {
        {"RAID 0 member", 0, {0, 1}, {1}, 0x20, 0},
        {"RAID 1 member", 1, {0, 1}, {0}, 0x10, 1},
        {"RAID 5 member", 5, {0, 1, 2}, {2}, 0x10, 1},
        {"RAID 5 two members", 5, {0, 1, 2}, {0, 2}, 0x20, 0},
        {"RAID 10 one of each pair", 10, {0, 1, 2, 3}, {1, 2}, 0x10, 1},
        {"RAID 10 both of a pair", 10, {0, 1, 2, 3}, {2, 3}, 0x20, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string members;
        for (int m : c.members)
            members += (members.empty() ? "" : ",") + std::to_string(m);
        SimServer server(R"({"adapters":[{"host":2,"model":"ZN5121","drives":[{"slot":0,"interface":"SAS"},
            {"slot":1,"interface":"SAS"},{"slot":2,"interface":"SAS"},{"slot":3,"interface":"SAS"}],
            "logical_drives":[{"number":0,"raid":)" +
                         std::to_string(c.raid) + R"(,"members":[)" + members + "]}]}]}");
        ASSERT_TRUE(server.ok()) << server.initOutput();
        Device dev(server);
        for (uint8_t slot : c.forced)
            ASSERT_EQ(selectPage(dev, groupAction(8, slot, 0x20)).ret, 0);
        auto status = buffer(dev, 0x01, 256);
        EXPECT_EQ(status[116], c.state);
        for (uint8_t slot : c.forced)
            EXPECT_EQ(status[148 + slot], 0x20);
        auto g = buffer(dev, 0x30, 256);
        EXPECT_EQ(g[220], c.rebuild);
        for (uint8_t slot : c.forced)
            EXPECT_EQ(g[8 + 6 * slot + 1], 1) << "member state of drive " << int(slot);

        // Forcing the drives good again brings them back as they are.
        for (uint8_t slot : c.forced)
            ASSERT_EQ(selectPage(dev, groupAction(8, slot, 0x00)).ret, 0);
        g = buffer(dev, 0x30, 256);
        EXPECT_EQ(buffer(dev, 0x01, 256)[116], 0x00);
        EXPECT_EQ(g[220], 0);
        EXPECT_EQ(g[226], c.state == 0x20 ? 1 : 0);  // a failed drive's data may be lost
    }
}
