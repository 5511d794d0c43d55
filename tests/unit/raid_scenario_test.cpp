// The whole life of a redundant logical drive on a simulated adapter: create
// it, give it a hot spare, write data, lose a member, follow the rebuild onto
// the spare to its end and read the same data back.
#include <string>
#include <vector>

#include "config_fixture.h"
#include "fakeclock.h"

using configtest::json;
using configtest::OpenServer;

namespace {

constexpr uint8_t LD = 0;
constexpr uint8_t SPARE = 3;
constexpr uint8_t FAILED_MEMBER = 1;

// Blocks in the first stripe, across stripes and in the last rows.
const uint32_t kBlocks[] = {1, 255, 256, 700, 5000, 120000};

// Four small drives; background work at a quarter of the normal speed, so
// that a rebuild lasts 16 s of the test's clock.
std::string scenarioServer()
{
    std::string drives;
    for (int slot = 0; slot < 4; ++slot) {
        drives += std::string(slot ? ", " : "") + R"({"slot": )" + std::to_string(slot) +
                  R"(, "interface": "SAS", "blocks": 262144})";
    }
    return R"({"speed": 0.25, "adapters": [{"host": 2, "model": "ZN5121", "drives": [)" + drives + "]}]}";
}

std::vector<uint8_t> pattern(uint32_t lba)
{
    std::vector<uint8_t> block(512);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>((lba * 31 + i * 7) ^ (lba >> 8));
    }
    return block;
}

// READ(10) of one block of a logical drive through the command channel.
std::vector<uint8_t> readBlock(uint8_t target, uint32_t lba)
{
    std::vector<uint8_t> block(512, 0xEE);
    SDllLinuxCmd *cmd = new SDllLinuxCmd;
    Linux_InitCMD(cmd, target, block.data(), 0, 512);
    const uint8_t cdb[10] = {0x28, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8), uint8_t(lba), 0, 0,
                             1,    0};
    memcpy(cmd->cdb, cdb, sizeof cdb);
    cmd->cdbLength = sizeof cdb;
    uint8_t *detail = nullptr;
    uint32_t result = Linux_CmdExe(0, cmd, &detail);
    delete cmd;
    if (result != CMDEXE_OK) {
        return {};
    }
    return block;
}

void expectDataIntact(const char *when)
{
    for (uint32_t lba : kBlocks) {
        EXPECT_EQ(pattern(lba), readBlock(LD, lba)) << when << ": block " << lba;
    }
}

TEST(RaidScenario, Raid5SurvivesAMemberLossThroughTheHotSpare)
{
    OpenServer s(scenarioServer());
    ASSERT_TRUE(s.open());

    DLL_CREATE_LD_INFO request;
    memset(&request, 0, sizeof request);
    request.groupNo = LD;
    request.memberCount = 3;
    request.member[0] = 0;
    request.member[1] = 1;
    request.member[2] = 2;
    request.raidLevel = 5;
    request.hotSpareMode = TAV_HOTSPARE_GLOBAL;
    request.writePolicy = TAV_WRITE_BACK;
    ASSERT_EQ(1, createLD(&request)) << std::hex << DLLGetLastError();
    ASSERT_EQ(1, createGHS(0, SPARE)) << std::hex << DLLGetLastError();

    for (uint32_t lba : kBlocks) {
        std::vector<uint8_t> block = pattern(lba);
        ASSERT_EQ(0, CmdExe_Write(0, LD, lba, block.data())) << lba;
    }
    expectDataIntact("written");

    tavtest::FakeClock clock;  // from here the clock moves only when the test moves it
    ASSERT_TRUE(s.inject({"fail-drive", "0", std::to_string(FAILED_MEMBER)}));
    expectDataIntact("degraded");

    // Follow the rebuild: it starts by itself, its progress only grows, and
    // it ends with the logical drive good again.
    DLL_GET_LOGICAL_DISK_INFO info;
    bool sawRebuild = false;
    int lastProgress = 0;
    for (int second = 0;; ++second) {
        ASSERT_EQ(1, getLogicalDriveInfo(0, LD, &info)) << std::hex << DLLGetLastError();
        if (info.rebuildState == TAV_REBUILD_EXECUTING) {
            sawRebuild = true;
            EXPECT_GE(info.progress, lastProgress);
            lastProgress = info.progress;
        } else if (sawRebuild || info.rebuildState == TAV_REBUILD_NOT_NEEDED) {
            break;
        }
        ASSERT_LT(second, 60) << "rebuild state " << int(info.rebuildState);
        clock.advance(1);
    }
    EXPECT_TRUE(sawRebuild);
    // Seen once a second of a 16 s rebuild: the last look before its end.
    EXPECT_GE(lastProgress, 90);
    EXPECT_EQ(TAV_REBUILD_NOT_NEEDED, info.rebuildState);
    DLL_GET_RAID_STATUS status;
    ASSERT_EQ(1, getRaidStatus(0, &status));
    EXPECT_EQ(0x00, status.ldState[LD]);

    const json adapter = s.adapter();
    const json &group = adapter["logical_drives"][0];
    EXPECT_EQ(json::array({0, SPARE, 2}), group["members"]);
    expectDataIntact("rebuilt");

    // The spare now carries its share: losing another original member still
    // leaves every block readable.
    ASSERT_TRUE(s.inject({"fail-drive", "0", "0"}));
    expectDataIntact("rebuilt, then degraded again");
}

}  // namespace

int main(int argc, char **argv)
{
    tavtest::RunUnderFakeableClock(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
