// The adapter simulator as the driver's callers see it (tavsim_device.h):
// requests, data layouts, faults, drive changes, mode pages and the system log.
#include <syslog.h>

#include "tavsim_device.h"

namespace {

using tavtest::SimServer;
using namespace tavsimtest;

std::string serverWithDriver(const std::string &version, const std::string &model = "ZN5121")
{
    return R"({"adapters":[{"host":0,"model":")" + model + R"(","driver_version":")" + version +
           R"(","drives":[{"slot":0,"interface":"SAS","vendor":"VEND","product":"PROD","blocks":100000},
             {"slot":1,"interface":"SATA"}],
             "logical_drives":[{"number":0,"raid":1,"members":[0,1]}]}]})";
}

}  // namespace

TEST(TavsimModel, InquiryAnswersLogicalDrivesAndRefusesUndefinedTargets)
{
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    ASSERT_TRUE(dev.ok());
    Result r = dev.send(1, {0x12, 0, 0, 0, 96, 0}, {}, 96);
    ASSERT_EQ(r.ret, 0);
    auto d = dev.data(36);
    EXPECT_EQ(d[0], 0x00);  // direct-access device
    EXPECT_EQ(std::string(d.begin() + 8, d.begin() + 16), "MORVANE ");
    expectSense(dev, dev.send(2, {0x12, 0, 0, 0, 96, 0}, {}, 96), 0x05, 0x25);
    expectSense(dev, dev.send(7, {0x12, 0, 0, 0, 96, 0}, {}, 96), 0x05, 0x25);  // id 7 is never a drive
    expectSense(dev, dev.send(1, {0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0x05, 0x20);
}

TEST(TavsimModel, DataPersistsInBothRequestLayouts)
{
    struct Case {
        const char *version;
        bool fixed;
    };
    for (Case c : {Case{"1.2.4.54", true}, Case{"1.2.4.53", false}, Case{"1.2.3.60", true}, Case{"2.0.5.0", true}}) {
        SCOPED_TRACE(c.version);
        SimServer server(serverWithDriver(c.version));
        ASSERT_TRUE(server.ok()) << server.initOutput();
        Device dev(server, c.fixed);
        auto data = randomBytes(4 * 512, 7);
        ASSERT_EQ(dev.writeBlocks(0, 300, data).ret, 0);
        ASSERT_EQ(dev.readBlocks(0, 300, 4).ret, 0);
        EXPECT_EQ(dev.data(data.size()), data);
        // The other layout is refused as an adapter error, and nothing is written.
        Result wrong = dev.send(0, {0x2A, 0, 0, 0, 1, 44, 0, 0, 1, 0}, randomBytes(512, 8), 0, !c.fixed);
        EXPECT_EQ(wrong.ret, -1);
        EXPECT_EQ(dev.block->cmdStatus, 0x00);
        EXPECT_EQ(dev.block->area[3], 0x03);
        EXPECT_EQ(dev.block->area[1], 0x11);
        ASSERT_EQ(dev.readBlocks(0, 300, 1).ret, 0);
        EXPECT_EQ(dev.data(512), std::vector<uint8_t>(data.begin(), data.begin() + 512));
    }
}

TEST(TavsimModel, Raid5StripesWithParityAndSurvivesAPulledMember)
{
    SimServer server;  // LD 0: RAID 5 on drives 0-2, stripe 256 blocks
    ASSERT_TRUE(server.ok()) << server.initOutput();
    std::vector<uint8_t> written;
    {
        Device dev(server);
        for (uint32_t lba = 0; lba < 1024; lba += 128) {
            auto chunk = randomBytes(128 * 512, lba + 1);
            ASSERT_EQ(dev.writeBlocks(0, lba, chunk).ret, 0);
            written.insert(written.end(), chunk.begin(), chunk.end());
        }
    }
    // Two rows of three members: each row holds two data stripes and their parity.
    auto m0 = media(server, 0, 0, 512), m1 = media(server, 1, 0, 512), m2 = media(server, 2, 0, 512);
    for (size_t i = 0; i < m0.size(); ++i)
        ASSERT_EQ(m0[i] ^ m1[i] ^ m2[i], 0) << "parity at byte " << i;
    auto firstStripe = std::vector<uint8_t>(written.begin(), written.begin() + 256 * 512);
    int holders = (std::vector<uint8_t>(m0.begin(), m0.begin() + 256 * 512) == firstStripe) +
                  (std::vector<uint8_t>(m1.begin(), m1.begin() + 256 * 512) == firstStripe) +
                  (std::vector<uint8_t>(m2.begin(), m2.begin() + 256 * 512) == firstStripe);
    EXPECT_EQ(holders, 1);

    ASSERT_EQ(server.inject({"remove-drive", "0", "1"}).status, 0);
    Device dev(server);
    for (uint32_t lba = 0; lba < 1024; lba += 128) {
        ASSERT_EQ(dev.readBlocks(0, lba, 128).ret, 0);
        EXPECT_EQ(dev.data(128 * 512),
                  std::vector<uint8_t>(written.begin() + lba * 512, written.begin() + (lba + 128) * 512))
            << "lba " << lba;
    }
}

TEST(TavsimModel, Raid1MirrorsOntoBothMembers)
{
    SimServer server;  // LD 1: RAID 1 on drives 4 and 5
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    auto data = randomBytes(16 * 512, 3);
    ASSERT_EQ(dev.writeBlocks(1, 1000, data).ret, 0);
    EXPECT_EQ(media(server, 4, 1000, 16), data);
    EXPECT_EQ(media(server, 5, 1000, 16), data);
    expectSense(dev, dev.readBlocks(1, 4194304 - 1, 2), 0x05, 0x21);
}

TEST(TavsimModel, FaultsActOnTheNextCommandsAndAreCounted)
{
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    ASSERT_EQ(server.inject({"busy", "2"}).status, 0);
    ASSERT_EQ(server.inject({"check-condition", "3", "0x11", "2"}).status, 0);
    ASSERT_EQ(server.inject({"adapter-error", "0x123456"}).status, 0);
    ASSERT_EQ(server.inject({"ioctl-error", "EFAULT"}).status, 0);
    EXPECT_EQ(showAdapter(server)["faults"].size(), 4u);
    Device dev(server);
    EXPECT_EQ(dev.readBuffer(0x01, 256).ret, 16);
    EXPECT_EQ(dev.readBuffer(0x01, 256).ret, 16);
    expectSense(dev, dev.readBuffer(0x01, 256), 0x03, 0x11, 0x02);
    Result e = dev.readBuffer(0x01, 256);
    EXPECT_EQ(e.ret, -1);
    EXPECT_EQ(dev.block->cmdStatus, 0x00);
    EXPECT_EQ(dev.block->area[3], 0x12);
    EXPECT_EQ(dev.block->area[1], 0x56);
    Result io = dev.readBuffer(0x01, 256);
    EXPECT_EQ(io.ret, -1);
    EXPECT_EQ(io.err, EFAULT);
    EXPECT_EQ(dev.readBuffer(0x01, 256).ret, 0);
    auto adapter = showAdapter(server);
    EXPECT_EQ(adapter["commands"], 6);
    EXPECT_TRUE(adapter["faults"].empty());
}

TEST(TavsimModel, PassLetsCommandsThroughSoTheNextFaultHitsALaterOne)
{
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    ASSERT_EQ(server.inject({"pass", "2"}).status, 0);
    ASSERT_EQ(server.inject({"ioctl-error", "EIO"}).status, 0);
    EXPECT_EQ(server.inject({"pass"}).status, 2) << "pass needs its count";
    EXPECT_EQ(server.inject({"pass", "0"}).status, 2);
    EXPECT_EQ(showAdapter(server)["faults"][0]["kind"], "pass");
    Device dev(server);
    EXPECT_EQ(dev.readBuffer(0x01, 256).ret, 0);
    EXPECT_EQ(dev.readBuffer(0x01, 256).ret, 0);
    Result third = dev.readBuffer(0x01, 256);
    EXPECT_EQ(third.ret, -1);
    EXPECT_EQ(third.err, EIO);
    EXPECT_EQ(dev.readBuffer(0x01, 256).ret, 0);
    EXPECT_TRUE(showAdapter(server)["faults"].empty());
}

TEST(TavsimModel, RemoveDriveOnCommandPullsTheDriveBeforeTheCommandIsAnswered)
{
    SimServer server;  // LD 1: RAID 1 on drives 4 and 5
    ASSERT_TRUE(server.ok()) << server.initOutput();
    EXPECT_EQ(server.inject({"remove-drive-on-command", "64"}).status, 2);
    ASSERT_EQ(server.inject({"pass", "1"}).status, 0);
    ASSERT_EQ(server.inject({"remove-drive-on-command", "4"}).status, 0);
    Device dev(server);
    ASSERT_EQ(dev.readBuffer(0x70 + 4, 512).ret, 0);
    EXPECT_TRUE(showAdapter(server)["drives"][4]["present"]) << "still there after the passed command";
    // The pulled drive answers no pass-through command (TEST UNIT READY through 0xBB).
    expectSense(dev, dev.send(0, {0xBB, 4, 0, 0, 0, 0, 0, 0}), 0x05, 0x25);
    auto adapter = showAdapter(server);
    EXPECT_FALSE(adapter["drives"][4]["present"]);
    EXPECT_EQ(adapter["drives"][4]["state"], 0x80);
    EXPECT_TRUE(adapter["faults"].empty());
    ASSERT_EQ(dev.readBlocks(1, 0, 1).ret, 0) << "the mirror still answers";
}

TEST(TavsimModel, CommonStatusFollowsDriveFailures)
{
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    ASSERT_EQ(dev.readBuffer(0x01, 256).ret, 0);
    auto s = dev.data(256);
    EXPECT_EQ(s[0], 16);  // generation 1
    EXPECT_EQ(s[116], 0x00);
    EXPECT_EQ(s[117], 0x00);
    EXPECT_EQ(s[118], 0xFF);
    for (int d = 0; d < 8; ++d)
        EXPECT_EQ(s[148 + d], 0x00) << d;
    EXPECT_EQ(s[156], 0xFF);

    ASSERT_EQ(server.inject({"fail-drive", "0", "4"}).status, 0);
    ASSERT_EQ(server.inject({"remove-drive", "0", "0"}).status, 0);
    ASSERT_EQ(server.inject({"remove-drive", "0", "1"}).status, 0);
    ASSERT_EQ(dev.readBuffer(0x01, 256).ret, 0);
    s = dev.data(256);
    EXPECT_EQ(s[148], 0x80);
    EXPECT_EQ(s[152], 0x20);
    EXPECT_EQ(s[116], 0x20);  // RAID 5 with two members out: failed
    EXPECT_EQ(s[117], 0x11);  // RAID 1 with one member out: rebuilding onto the hot spare

    ASSERT_EQ(server.inject({"insert-drive", "0", "4"}).status, 1);  // the slot still holds a drive
    ASSERT_EQ(server.inject({"insert-drive", "0", "1"}).status, 0);
    ASSERT_EQ(server.inject({"insert-drive", "0", "8", R"({"interface":"SATA"})"}).status, 0);
    ASSERT_EQ(dev.readBuffer(0x01, 256).ret, 0);
    s = dev.data(256);
    EXPECT_EQ(s[149], 0x00);
    EXPECT_EQ(s[116], 0x10);
    EXPECT_EQ(s[156], 0x00);
    ASSERT_EQ(dev.readBuffer(0x78, 512).ret, 0);
    EXPECT_EQ(dev.data(5)[4], 4);  // the new drive is fresh
}

TEST(TavsimModel, DriveParameterLayoutFollowsTheCardType)
{
    struct Case {
        const char *model;
        int capacity, vendor, link;
    };
    for (Case c : {Case{"ZN5121", 20, 32, 378}, Case{"ZN5120", 12, 24, 249}}) {
        SCOPED_TRACE(c.model);
        SimServer server(serverWithDriver("1.2.4.54", c.model));
        ASSERT_TRUE(server.ok()) << server.initOutput();
        Device dev(server);
        ASSERT_EQ(dev.readBuffer(0x70, 512).ret, 0);
        auto p = dev.data(512);
        EXPECT_EQ(p[1], 0);  // logical drive 0
        EXPECT_EQ(p[4], 0);  // member in use
        EXPECT_EQ((p[c.capacity] << 24) | (p[c.capacity + 1] << 16) | (p[c.capacity + 2] << 8) | p[c.capacity + 3],
                  100000);
        EXPECT_EQ(std::string(p.begin() + c.vendor, p.begin() + c.vendor + 8), "VEND    ");
        EXPECT_EQ(p[c.link], 8);
        ASSERT_EQ(dev.readBuffer(0x7B, 512).ret, 0);
        EXPECT_EQ(dev.data(5)[1], 0xFF);  // empty slot
        expectSense(dev, dev.readBuffer(0x7C, 512), 0x05, 0x24);
    }
}

TEST(TavsimModel, ModePagesRoundTripAndRefuseWhatTheAdapterDoesNotKnow)
{
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);
    ASSERT_EQ(dev.send(0, {0x1A, 0x08, 0x31, 0, 0xFF, 0}, {}, 255).ret, 0);
    auto page = dev.data(48);
    EXPECT_EQ(page[4] & 0x3F, 0x31);
    page[0] = 0;
    page[4] = 0x31;
    page[4 + 3] = 3;  // idle priority low
    ASSERT_EQ(dev.send(0, {0x15, 0x11, 0, 0, 48, 0}, page).ret, 0);
    ASSERT_EQ(dev.send(0, {0x1A, 0x08, 0x31, 0, 0xFF, 0}, {}, 255).ret, 0);
    EXPECT_EQ(dev.data(8)[7], 3);
    EXPECT_EQ(showAdapter(server)["priorities"]["idle"], 3);

    page[4] = 0xB1;  // saveable bit left set
    expectSense(dev, dev.send(0, {0x15, 0x11, 0, 0, 48, 0}, page), 0x05, 0x26);
    expectSense(dev, dev.send(0, {0x1A, 0x08, 0x29, 0, 0xFF, 0}, {}, 255), 0x05, 0x24);

    std::vector<uint8_t> led(20, 0);
    led[4] = 0x3C;
    led[5] = 14;
    led[6] = 0x32;
    led[7] = 6;
    led[8] = 0x30;
    ASSERT_EQ(dev.send(0, {0x15, 0x11, 0, 0, 20, 0}, led).ret, 0);
    EXPECT_EQ(showAdapter(server)["drives"][6]["led"], 0x30);
    led[6] = 0x77;
    expectSense(dev, dev.send(0, {0x15, 0x11, 0, 0, 20, 0}, led), 0x05, 0x26);

    ASSERT_EQ(dev.send(0, {0x1A, 0x08, 0x3E, 0, 0xFF, 0}, {}, 255).ret, 0);
    EXPECT_EQ(dev.data(9)[7], 3);     // drive 3 is the global hot spare
    EXPECT_EQ(dev.data(9)[8], 0xFF);  // second place free
}

TEST(TavsimModel, SyslogIsCapturedBelowTheServer)
{
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    server.activate();
    openlog("tavservice", LOG_PID, LOG_DAEMON);
    syslog(LOG_ERR, "tavutil: %s EventID: %05d", "disk", 27);
    syslog(LOG_LOCAL3 | LOG_INFO, "second\n");
    closelog();
    std::string pid = std::to_string(getpid());
    EXPECT_EQ(server.syslog(), "daemon.err tavservice[" + pid +
                                   "]: tavutil: disk EventID: 00027\nlocal3.info tavservice[" + pid + "]: second\n");
}

TEST(TavsimModel, ParameterBuffersCarryTheConfiguredValues)
{
    SimServer server(R"({"adapters":[{"host":0,"model":"ZN5121","memory_bytes":4194304,"flash_state":35,
        "sas_address":"5000c50012345678",
        "drives":[{"slot":0,"interface":"SAS"},{"slot":1,"interface":"SAS","bad_spots":[100,null,null,300]},
                  {"slot":2,"interface":"SAS"},{"slot":3,"interface":"SAS"},{"slot":4,"interface":"SAS"}],
        "logical_drives":[{"number":0,"raid":5,"members":[0,1,2],"state":47,"blocks":16000000,
                           "processed_blocks":500000,"rebuild_state":1,"bad_spots":[5,7]}],
        "restore_candidates":[{"number":2,"raid":1,"members":[3,4]}]}]})");
    ASSERT_TRUE(server.ok()) << server.initOutput();
    Device dev(server);

    ASSERT_EQ(dev.readBuffer(0xA0, 256).ret, 0);
    auto cont = dev.data(256);
    EXPECT_EQ(be32(cont, 78), 0x00400000u);
    EXPECT_EQ(cont[108], 35);
    EXPECT_EQ(std::vector<uint8_t>(cont.begin() + 92, cont.begin() + 100),
              (std::vector<uint8_t>{0x50, 0x00, 0xC5, 0x00, 0x12, 0x34, 0x56, 0x78}));

    ASSERT_EQ(dev.readBuffer(0x01, 256).ret, 0);
    EXPECT_EQ(dev.data(256)[116], 0x2F);

    ASSERT_EQ(dev.readBuffer(0x30, 256).ret, 0);
    auto group = dev.data(256);
    EXPECT_EQ(group[2], 3);
    EXPECT_EQ(group[3], 5);
    EXPECT_EQ(group[8], 0);
    EXPECT_EQ(group[14], 1);
    EXPECT_EQ(group[20], 2);
    EXPECT_EQ(be32(group, 80), 0u);
    EXPECT_EQ(be32(group, 84), 16000000u);
    EXPECT_EQ(be32(group, 144), 500000u);
    EXPECT_EQ(group[220], 1);

    ASSERT_EQ(dev.readBuffer(0xBF, 256).ret, 0);
    auto restore = dev.data(256);
    EXPECT_EQ(restore[0], 1);
    EXPECT_EQ(restore[6], 0x00);
    EXPECT_EQ(restore[4], 0xFF);
    ASSERT_EQ(dev.readBuffer(0xC2, 256).ret, 0);
    EXPECT_EQ(dev.data(4)[2], 2);
    ASSERT_EQ(dev.readBuffer(0x73, 512).ret, 0);
    EXPECT_EQ(dev.data(5)[4], 5);  // restore candidate member

    ASSERT_EQ(dev.readBuffer(0xE0, 512, 512).ret, 0);  // drive 1
    auto spots = dev.data(272);
    EXPECT_EQ(spots[16 + 8], 1);
    EXPECT_EQ(be32(spots, 16 + 12), 100u);
    EXPECT_EQ(spots[32 + 8], 0);
    EXPECT_EQ(spots[64 + 8], 1);
    EXPECT_EQ(be32(spots, 64 + 12), 300u);

    ASSERT_EQ(dev.readBuffer(0xE2, 2048, 0).ret, 0);
    auto ldSpots = dev.data(24);
    EXPECT_EQ(be32(ldSpots, 0), 2u);
    EXPECT_EQ(be32(ldSpots, 12), 5u);
    EXPECT_EQ(be32(ldSpots, 20), 7u);
}
