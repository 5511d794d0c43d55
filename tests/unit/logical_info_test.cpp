// Logical drives and restore candidates read from simulated adapters: the RAID
// status, logical-drive and restore records byte by byte, capacity and
// progress arithmetic, the status refresh and the error words.
#include <string>
#include <vector>

#include "info_fixture.h"

using infotest::bytesOf;
using infotest::hostU32;
using infotest::json;
using infotest::OpenServer;
using infotest::zeroBetween;

namespace {

// Logical drive 3: RAID 5 on drives 0-2 with every setting away from its
// default; drive 1 is off line, so its member entry differs from the others.
std::string ldServer(const std::string &model)
{
    return R"({"adapters": [{"host": 2, "model": ")" + model + R"(",
      "common_status_byte_54": 171, "common_status_58": 16909060, "common_status_62": 4278255360,
      "common_status_84": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12],
      "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS", "state": "alarm"},
                 {"slot": 2, "interface": "SAS"}, {"slot": 5, "interface": "SATA"},
                 {"slot": 6, "interface": "SAS"}, {"slot": 7, "interface": "SAS"}],
      "logical_drives": [{"number": 3, "raid": 5, "members": [0, 1, 2], "blocks": 2000000,
                          "processed_blocks": 500000, "state": 18, "read": "NORA", "write": "WT",
                          "hot_spare_mode": "group", "auto_rebuild": false, "rebuild_state": 2,
                          "maintenance_state": 1, "data_lost": 1, "error_count": 16909060,
                          "byte_218": 90, "raw_value_227": 1234},
                         {"number": 0, "raid": 0, "members": [5]}],
      "restore_candidates": [{"number": 2, "raid": 1, "members": [6, 7], "write": "WT"}]}]})";
}

// The record's member entries, built from what the adapter shows: member
// bytes 0, 1, 3, 4, 5, 2 (bytes 2 and 4 are zero in the simulated adapter).
void expectMembers(const std::vector<uint8_t> &b, const json &group, const json &drives)
{
    const json &members = group["members"];
    ASSERT_EQ(b[12], members.size());
    for (size_t i = 0; i < members.size(); ++i) {
        int drive = members[i];
        int driveState = 255;
        for (const json &d : drives) {
            if (d["slot"] == drive) {
                driveState = d["state"];
            }
        }
        const size_t at = 13 + 6 * i;
        EXPECT_EQ(b[at + 0], drive) << "member " << i;
        EXPECT_EQ(b[at + 1], group["member_states"][i].get<int>()) << "member " << i;
        EXPECT_EQ(b[at + 2], driveState) << "member " << i;
        EXPECT_EQ(b[at + 3], 0) << "member " << i;
        EXPECT_EQ(b[at + 4], group["serving_drives"][i].get<int>()) << "member " << i;
        EXPECT_EQ(b[at + 5], 0) << "member " << i;
    }
    EXPECT_TRUE(zeroBetween(b, 13 + 6 * members.size(), 85));
}

class LogicalRecords : public ::testing::TestWithParam<const char *> {};

TEST_P(LogicalRecords, LogicalDriveRecordCarriesEveryPlacedByte)
{
    OpenServer s(ldServer(GetParam()));
    ASSERT_TRUE(s.open());
    DLL_GET_LOGICAL_DISK_INFO info;
    memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(1, getLogicalDriveInfo(0, 3, &info)) << std::hex << DLLGetLastError();
    const std::vector<uint8_t> b = bytesOf(info);
    const json adapter = s.adapter();
    const json &group = adapter["logical_drives"][1];
    ASSERT_EQ(3, group["number"]);
    ASSERT_EQ(1, group["member_states"][1]) << "drive 1 should be a missing member";

    EXPECT_EQ(0, b[0]);
    EXPECT_EQ(3, b[1]);
    EXPECT_TRUE(zeroBetween(b, 2, 12));
    expectMembers(b, group, adapter["drives"]);
    EXPECT_EQ(1, b[85]);  // hot-spare mode: group
    EXPECT_EQ(5, b[86]);  // RAID level code
    EXPECT_EQ(0, b[87]);
    EXPECT_EQ(group["stripe_blocks"].get<uint32_t>(), hostU32(b, 88));
    EXPECT_EQ(90, b[92]);
    EXPECT_EQ(0, b[93]);
    EXPECT_EQ(1, b[94]);   // auto-rebuild disabled
    EXPECT_EQ(2, b[95]);   // rebuild executing
    EXPECT_EQ(1, b[96]);   // checking parity
    EXPECT_EQ(25, b[97]);  // 500,000 of 2,000,000 blocks
    EXPECT_EQ(1, b[98]);   // data lost
    EXPECT_TRUE(zeroBetween(b, 99, 108));
    EXPECT_EQ(16909060u, hostU32(b, 108));  // error count
    EXPECT_TRUE(zeroBetween(b, 112, 121));
    EXPECT_EQ(1, b[121]);  // no read-ahead
    EXPECT_TRUE(zeroBetween(b, 122, 129));
    EXPECT_EQ(1, b[129]);  // write-through
    EXPECT_TRUE(zeroBetween(b, 130, 180));
    EXPECT_EQ(1024u, hostU32(b, 180));  // 2,000,000 blocks
    EXPECT_TRUE(zeroBetween(b, 184, 232));
}

TEST_P(LogicalRecords, RaidStatusRecordCarriesEveryPlacedByte)
{
    OpenServer s(ldServer(GetParam()));
    ASSERT_TRUE(s.open());
    DLL_GET_RAID_STATUS status;
    memset(&status, 0xEE, sizeof status);
    ASSERT_EQ(1, getRaidStatus(0, &status)) << std::hex << DLLGetLastError();
    const std::vector<uint8_t> b = bytesOf(status);

    EXPECT_EQ(0, b[0]);
    EXPECT_TRUE(zeroBetween(b, 1, 12));
    const uint8_t ldStates[12] = {0x00, 255, 255, 18, 255, 255, 255, 255, 255, 255, 255, 255};
    const uint8_t hddStates[12] = {0x00, 0x20, 0x00, 255, 255, 0x00, 0x00, 0x00, 255, 255, 255, 255};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(ldStates[i], b[12 + i]) << "logical drive " << i;
        EXPECT_EQ(i + 1, b[24 + i]) << "common status byte " << 84 + i;
        EXPECT_EQ(hddStates[i], b[36 + i]) << "drive " << i;
    }
    EXPECT_TRUE(zeroBetween(b, 48, 64));
    EXPECT_EQ(16909060u, hostU32(b, 64));
    EXPECT_EQ(4278255360u, hostU32(b, 68));
    EXPECT_EQ(171, b[72]);
    EXPECT_TRUE(zeroBetween(b, 73, 100));
}

TEST_P(LogicalRecords, RestoreRecordsDescribeTheCandidates)
{
    OpenServer s(ldServer(GetParam()));
    ASSERT_TRUE(s.open());
    DLL_RESTORE_LD_STATUS status;
    memset(&status, 0xEE, sizeof status);
    ASSERT_EQ(1, getRestoreLDsts(0, &status)) << std::hex << DLLGetLastError();
    std::vector<uint8_t> b = bytesOf(status);
    const json adapter = s.adapter();
    const json &candidate = adapter["restore_candidates"][0];
    EXPECT_EQ(0, b[0]);
    EXPECT_TRUE(zeroBetween(b, 1, 12));
    EXPECT_EQ(1, b[12]);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(i == 2 ? candidate["state"].get<int>() : 255, b[13 + i]) << "candidate " << i;
    }
    EXPECT_TRUE(zeroBetween(b, 25, 36));

    DLL_RESTORE_LD_INFO info;
    ASSERT_EQ(1, getRestoreLDInfo(0, 2, &info)) << std::hex << DLLGetLastError();
    b = bytesOf(info);
    EXPECT_EQ(2, b[1]);
    expectMembers(b, candidate, adapter["drives"]);
    EXPECT_EQ(1, b[86]);
    EXPECT_EQ(1, b[129]);
    EXPECT_EQ(2147u, hostU32(b, 180));  // a mirror of two 4,194,304-block drives

    EXPECT_EQ(0, getRestoreLDInfo(0, 0, &info));
    EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());
}

INSTANTIATE_TEST_SUITE_P(CardTypes, LogicalRecords, ::testing::Values("ZN5120", "ZN5121"));

struct CapacityCase {
    const char *model;
    uint64_t blocks;
    uint32_t megabytes;
};

TEST(LogicalCapacity, MegabytesFromBlocksInThreeDivisionSteps)
{
    const CapacityCase cases[] = {
        {"ZN5121", 16000000, 8192},
        {"ZN5121", 999, 0},
        {"ZN5121", 6000000000ull, 3072000},  // beyond 32 bits on the 64-bit field
        {"ZN5120", 16000000, 8192},          // the upper half carries 0xFF bytes there
    };
    for (const CapacityCase &c : cases) {
        OpenServer s(std::string(R"({"adapters": [{"host": 2, "model": ")") + c.model +
                     R"(", "drives": [{"slot": 0, "interface": "SAS"}],
                     "logical_drives": [{"number": 0, "raid": 0, "members": [0], "blocks": )" +
                     std::to_string(c.blocks) + "}]}]}");
        ASSERT_TRUE(s.open());
        DLL_GET_LOGICAL_DISK_INFO info;
        ASSERT_EQ(1, getLogicalDriveInfo(0, 0, &info)) << c.model << " " << c.blocks;
        EXPECT_EQ(c.megabytes, info.capacityMB) << c.model << " " << c.blocks;
    }
}

struct ProgressCase {
    int raid;
    uint32_t blocks;
    uint32_t processed;
    int percent;
};

TEST(LogicalProgress, PercentOfTheRunningOperation)
{
    const ProgressCase cases[] = {
        {5, 2000000, 500000, 25},
        {5, 5000, 20000, 200},    // a total below 10,000 blocks counts as one unit
        {0, 2000000, 500000, 0},  // RAID 0 has no background operation
        {5, 5000, 40000, 255},    // held at the largest value the byte carries
    };
    for (const ProgressCase &c : cases) {
        const std::string members = c.raid == 0 ? "[0]" : "[0, 1, 2]";
        OpenServer s(R"({"adapters": [{"host": 2, "model": "ZN5121",
            "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
                       {"slot": 2, "interface": "SAS"}],
            "logical_drives": [{"number": 0, "raid": )" +
                     std::to_string(c.raid) + R"(, "members": )" + members + R"(, "blocks": )" +
                     std::to_string(c.blocks) + R"(, "processed_blocks": )" + std::to_string(c.processed) + "}]}]}");
        ASSERT_TRUE(s.open());
        DLL_GET_LOGICAL_DISK_INFO info;
        ASSERT_EQ(1, getLogicalDriveInfo(0, 0, &info));
        EXPECT_EQ(c.percent, info.progress) << c.blocks << " / " << c.processed;
    }
}

// Commands one getRaidStatus sends to an adapter whose logical drive 0 has
// the given state.
uint64_t commandsForLdState(int state)
{
    OpenServer s(R"({"adapters": [{"host": 2, "model": "ZN5121",
        "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"}],
        "logical_drives": [{"number": 0, "raid": 0, "members": [0], "state": )" +
                 std::to_string(state) + "}]}]}");
    EXPECT_TRUE(s.open());
    uint64_t before = s.commands();
    DLL_GET_RAID_STATUS status;
    EXPECT_EQ(1, getRaidStatus(0, &status));
    return s.commands() - before;
}

TEST(StatusRefresh, ParametersAreReadForDefinedStatesBelow0x30)
{
    EXPECT_EQ(commandsForLdState(0x2F), commandsForLdState(0x30) + 1);
}

TEST(StatusRefresh, EveryOperationSeesChangesMadeInBetween)
{
    OpenServer s(ldServer("ZN5121"));
    ASSERT_TRUE(s.open());
    DLL_GET_RAID_STATUS status;
    ASSERT_EQ(1, getRaidStatus(0, &status));
    EXPECT_EQ(0x00, status.hddState[6]);
    ASSERT_TRUE(s.inject({"fail-drive", "0", "6"}));
    ASSERT_EQ(1, getRaidStatus(0, &status));
    EXPECT_EQ(0x20, status.hddState[6]);
}

class LogicalErrors : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(s.open()); }
    OpenServer s{ldServer("ZN5121")};
    DLL_GET_LOGICAL_DISK_INFO info;
};

TEST_F(LogicalErrors, RefusedArgumentsSendNothing)
{
    struct Case {
        uint8_t contNo;
        uint8_t group;
        bool record;
        uint32_t word;
    };
    const Case cases[] = {
        {4, 0, true, 0x00020010},   // controller number 4 or more
        {1, 0, true, 0x00010010},   // no adapter under the number
        {0, 12, true, 0x00080010},  // logical drive number above 11
        {0, 0, false, 0x00100010},  // no record
    };
    for (const Case &c : cases) {
        uint64_t before = s.commands();
        EXPECT_EQ(0, getLogicalDriveInfo(c.contNo, c.group, c.record ? &info : nullptr));
        EXPECT_EQ(c.word, DLLGetLastError());
        EXPECT_EQ(before, s.commands()) << std::hex << c.word;
    }
}

TEST_F(LogicalErrors, UndefinedGroupAndFailingReads)
{
    EXPECT_EQ(0, getLogicalDriveInfo(0, 5, &info));
    EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());

    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    EXPECT_EQ(0, getLogicalDriveInfo(0, 3, &info));
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_COMMAND, DLLGetLastError());

    DLL_GET_RAID_STATUS status;
    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    EXPECT_EQ(0, getRaidStatus(0, &status));
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_COMMAND, DLLGetLastError());

    DLL_RESTORE_LD_STATUS restore;
    EXPECT_EQ(0, getRestoreLDsts(0, nullptr));
    EXPECT_EQ(0x00100010u, DLLGetLastError());
    EXPECT_EQ(0, getRestoreLDInfo(0, 12, &info));
    EXPECT_EQ(0x00080010u, DLLGetLastError());
    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    EXPECT_EQ(0, getRestoreLDsts(0, &restore));
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_COMMAND, DLLGetLastError());
}

TEST_F(LogicalErrors, CheckGroupNumberAndState)
{
    EXPECT_EQ(1, checkGROUPno(11, "caller", "raidctl", 1));
    EXPECT_EQ(0, checkGROUPno(12, "caller", "raidctl", 1));
    EXPECT_EQ(0x00080010u, DLLGetLastError());

    EXPECT_EQ(1, checkGROUPsts(0, 3, "caller", "raidctl", 1));
    EXPECT_EQ(1, checkGROUPsts(0, 0, "caller", "raidctl", 1));
    EXPECT_EQ(0, checkGROUPsts(0, 4, "caller", "raidctl", 1));
    EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());
    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    EXPECT_EQ(0, checkGROUPsts(0, 3, "caller", "raidctl", 1));
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_COMMAND, DLLGetLastError());
}

}  // namespace
