// getAdapterSnapshot: one status reading gives the same records as the
// single-record operations, for less than the cost of one of them.
#include "info_fixture.h"
#include "tavctl_snapshot.h"

namespace {

using infotest::bytesOf;
using infotest::OpenServer;

// Six drives, RAID 5 on 0-2 and RAID 1 on 4-5, drive 3 a global hot spare
// only where asked, drive 5 with two bad spots.
std::string server(bool hotSpare)
{
    return std::string(R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
        {"slot":0,"interface":"SAS"},{"slot":1,"interface":"SAS"},{"slot":2,"interface":"SAS"},
        {"slot":3,"interface":"SAS"},{"slot":4,"interface":"SATA"},
        {"slot":5,"interface":"SATA","bad_spots":[100,200]}],
      "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]},{"number":1,"raid":1,"members":[4,5]}],
      "hot_spares":)") +
           (hotSpare ? "[3]" : "[]") + "}]}";
}

struct State {
    const char *name;
    bool hotSpare;
    std::vector<std::vector<std::string>> faults;
};

const State kStates[] = {
    {"good", false, {}},
    {"degraded", false, {{"fail-drive", "0", "1"}}},
    {"rebuilding", true, {{"fail-drive", "0", "1"}, {"operation-progress", "0", "0", "40", "hold"}}},
    {"failed", false, {{"fail-drive", "0", "4"}, {"fail-drive", "0", "5"}}},
    {"removed", false, {{"remove-drive", "0", "4"}}},
};

TEST(AdapterSnapshot, EveryRecordEqualsItsSingleRecordOperationInEveryState)
{
    for (const State &state : kStates) {
        SCOPED_TRACE(state.name);
        OpenServer s(server(state.hotSpare));
        ASSERT_TRUE(s.open());
        for (const auto &fault : state.faults) {
            ASSERT_TRUE(s.inject(fault));
        }
        DLL_ADAPTER_SNAPSHOT snap;
        ASSERT_EQ(1, getAdapterSnapshot(0, &snap));

        DLL_GET_CONTROLLER_INFO controller;
        ASSERT_EQ(1, getContInfo(0, &controller));
        EXPECT_EQ(bytesOf(controller), bytesOf(snap.controller));
        DLL_GET_RAID_STATUS status;
        ASSERT_EQ(1, getRaidStatus(0, &status));
        EXPECT_EQ(bytesOf(status), bytesOf(snap.raidStatus));
        DLL_CONT_PARA para;
        ASSERT_EQ(1, getContPara(0, &para));
        EXPECT_EQ(bytesOf(para), bytesOf(snap.contPara));

        for (uint8_t n = 0; n < TAV_MAX_GROUPS; ++n) {
            DLL_GET_LOGICAL_DISK_INFO ld;
            int ok = getLogicalDriveInfo(0, n, &ld);
            EXPECT_EQ(ok, snap.ldValid[n]) << "LD " << int(n);
            EXPECT_EQ(ok ? bytesOf(ld) : std::vector<uint8_t>(sizeof ld, 0), bytesOf(snap.logicalDrive[n]));
        }
        for (uint8_t n = 0; n < TAV_MAX_DRIVES; ++n) {
            DLL_GET_HDD_INFO pd;
            int ok = getPhysicalDriveInfo(0, n, &pd);
            EXPECT_EQ(ok, snap.hddValid[n]) << "PD " << int(n);
            EXPECT_EQ(ok ? bytesOf(pd) : std::vector<uint8_t>(sizeof pd, 0), bytesOf(snap.physicalDrive[n]));
        }
    }
}

TEST(AdapterSnapshot, ReadsTheStatusOnceAndTheAdapterRecordsOnce)
{
    OpenServer s(server(true));
    ASSERT_TRUE(s.open());
    DLL_GET_RAID_STATUS status;
    uint64_t before = s.commands();
    ASSERT_EQ(1, getRaidStatus(0, &status));
    uint64_t raidStatus = s.commands() - before;  // one refresh and the common status

    DLL_ADAPTER_SNAPSHOT snap;
    before = s.commands();
    ASSERT_EQ(1, getAdapterSnapshot(0, &snap));
    // One refresh, then the controller parameters and the two setting pages.
    EXPECT_EQ(raidStatus - 1 + 3, s.commands() - before);
}

TEST(AdapterSnapshot, ArgumentAndCommandFailuresLeaveTheRecordCleared)
{
    OpenServer s(server(false));
    ASSERT_TRUE(s.open());
    DLL_ADAPTER_SNAPSHOT snap;
    memset(&snap, 0xAA, sizeof snap);
    uint64_t before = s.commands();
    EXPECT_EQ(0, getAdapterSnapshot(4, &snap));
    EXPECT_EQ(0x00020010u, DLLGetLastError());
    EXPECT_EQ(0, getAdapterSnapshot(1, &snap));
    EXPECT_EQ(0x00010010u, DLLGetLastError());
    EXPECT_EQ(0, getAdapterSnapshot(0, nullptr));
    EXPECT_EQ(0x00100010u, DLLGetLastError());
    EXPECT_EQ(before, s.commands());

    // A failing status read: nothing of the reading is kept.
    memset(&snap, 0xAA, sizeof snap);
    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    EXPECT_EQ(0, getAdapterSnapshot(0, &snap));
    EXPECT_NE(0u, DLLGetLastError() & 0x10000000u);
    EXPECT_EQ(std::vector<uint8_t>(sizeof snap, 0), bytesOf(snap));
}

}  // namespace
