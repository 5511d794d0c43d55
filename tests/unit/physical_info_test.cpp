// Physical drives read from simulated adapters of both card types: the drive
// record byte by byte, bad-spot tables, the locate LED, the unsupported SMART
// functions and the error words; and the bad-spot conversions on their own.
#include <string>
#include <vector>

#include "info_fixture.h"

using infotest::bytesOf;
using infotest::hostU16;
using infotest::hostU32;
using infotest::hostU64;
using infotest::OpenServer;
using infotest::padded;
using infotest::textAt;
using infotest::zeroBetween;

namespace {

// Drive 0: a member of logical drive 0 with every parameter byte set; drive 1
// small and fresh; drive 2 pulled; drive 3 a global hot spare; drive 4 with
// bad spots in table entries 0, 3 and 7; slot 5 empty.
std::string driveServer(const std::string &model)
{
    return R"({"adapters": [{"host": 2, "model": ")" + model + R"(",
      "drives": [
        {"slot": 0, "interface": "SAS", "vendor": "VEND0", "product": "PRODUCT-0123456", "revision": "R0A1",
         "serial": "SER000000001", "blocks": 16000000, "para_byte_2": 18, "para_byte_3": 52,
         "para_byte_351": 86, "status_byte": 120, "para_byte_377": 154, "raw_value_12": 287454020,
         "raw_value_76": 1432778632, "link_speed": 7, "smart_state": 4, "bad_spot_state": 22},
        {"slot": 1, "interface": "SATA", "blocks": 999},
        {"slot": 2, "interface": "SAS", "state": 128},
        {"slot": 3, "interface": "SAS"},
        {"slot": 4, "interface": "SAS", "bad_spots": [100, null, null, 300, null, null, null, 4000000000]},
        {"slot": 6, "interface": "SAS"}],
      "logical_drives": [{"number": 0, "raid": 0, "members": [0],
                          "bad_spots": [5000000000, 7, 123456789012]},
                         {"number": 1, "raid": 0, "members": [4]}],
      "hot_spares": [3]}]})";
}

class PhysicalRecords : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override { ASSERT_TRUE(s.open()); }
    OpenServer s{driveServer(GetParam())};
};

TEST_P(PhysicalRecords, DriveRecordCarriesEveryPlacedByte)
{
    DLL_GET_HDD_INFO info;
    memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(1, getPhysicalDriveInfo(0, 0, &info)) << std::hex << DLLGetLastError();
    const std::vector<uint8_t> b = bytesOf(info);

    EXPECT_TRUE(zeroBetween(b, 0, 12));
    EXPECT_EQ(52, b[12]);
    EXPECT_EQ(18, b[13]);
    EXPECT_EQ(padded("VEND0", 8, ' '), textAt(b, 14, 8));
    EXPECT_EQ(padded("PRODUCT-0123456", 16, ' '), textAt(b, 22, 16));
    EXPECT_EQ("R0A1", textAt(b, 38, 4));
    EXPECT_EQ(0, b[42]);               // logical drive 0
    EXPECT_EQ(0, b[43]);               // member in use
    EXPECT_EQ(8192u, hostU32(b, 44));  // 16,000,000 blocks
    EXPECT_TRUE(zeroBetween(b, 48, 52));
    EXPECT_EQ(1432778632u, hostU32(b, 52));
    // The INQUIRY data as the drive gave it.
    EXPECT_EQ(0x00, b[56]);  // direct-access device
    EXPECT_EQ(0x05, b[56 + 2]);
    EXPECT_EQ(padded("VEND0", 8, ' '), textAt(b, 56 + 8, 8));
    EXPECT_EQ(padded("PRODUCT-0123456", 16, ' '), textAt(b, 56 + 16, 16));
    EXPECT_EQ("R0A1", textAt(b, 56 + 32, 4));
    EXPECT_EQ("SER000000001", textAt(b, 56 + 36, 12));
    EXPECT_TRUE(zeroBetween(b, 104, 106));
    EXPECT_EQ(154, b[106]);
    EXPECT_EQ(7, b[107]);   // 1.5 Gbit/s
    EXPECT_EQ(4, b[108]);   // SMART trip
    EXPECT_EQ(22, b[109]);  // bad spots over the limit
    EXPECT_EQ(0, hostU16(b, 110));
    EXPECT_EQ(86, b[112]);
    EXPECT_TRUE(zeroBetween(b, 113, 124));
}

TEST_P(PhysicalRecords, ClassesGroupsAndCapacitiesOfTheOtherDrives)
{
    struct Case {
        uint8_t drive;
        uint8_t group;
        uint8_t hddClass;
        uint32_t megabytes;
    };
    const Case cases[] = {
        {1, 255, 4, 0},     // fresh, 999 blocks
        {3, 255, 3, 2147},  // hot spare not in use
        {4, 1, 0, 2147},
    };
    for (const Case &c : cases) {
        DLL_GET_HDD_INFO info;
        ASSERT_EQ(1, getPhysicalDriveInfo(0, c.drive, &info)) << int(c.drive);
        EXPECT_EQ(c.group, info.groupNo) << int(c.drive);
        EXPECT_EQ(c.hddClass, info.hddClass) << int(c.drive);
        EXPECT_EQ(c.megabytes, info.capacityMB) << int(c.drive);
    }
    DLL_GET_HDD_INFO info;
    ASSERT_EQ(1, getPhysicalDriveInfo(0, 4, &info));
    EXPECT_EQ(3, info.badSpotCount);
    EXPECT_EQ(6, info.badSpotState);
}

TEST_P(PhysicalRecords, DriveBadSpotTablePacksTheMarkedEntries)
{
    DLL_BADSPOT_INFO info;
    memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(1, getBadspotInfo(0, 4, &info)) << std::hex << DLLGetLastError();
    const std::vector<uint8_t> b = bytesOf(info);
    EXPECT_EQ(4, b[0]);  // the table's drive number
    EXPECT_EQ(6, b[1]);  // bad spots exist
    EXPECT_EQ(1, b[2]);  // logical drive of the entries
    EXPECT_EQ(0, b[3]);
    EXPECT_EQ(3u, hostU32(b, 4));
    EXPECT_TRUE(zeroBetween(b, 8, 16));
    EXPECT_EQ(100u, hostU32(b, 16));
    EXPECT_EQ(300u, hostU32(b, 20));
    EXPECT_EQ(4000000000u, hostU32(b, 24));
    EXPECT_TRUE(zeroBetween(b, 28, 80));

    ASSERT_EQ(1, getBadspotInfo(0, 0, &info));
    EXPECT_EQ(22, info.state);
    EXPECT_EQ(0u, info.address[0]);
}

TEST_P(PhysicalRecords, LogicalDriveBadSpotTableIn64BitAddresses)
{
    DLL_LD_BADSPOT_INFO64 info;
    memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(1, getLDBadspotInfo64(0, 0, &info)) << std::hex << DLLGetLastError();
    const std::vector<uint8_t> b = bytesOf(info);
    EXPECT_EQ(3u, hostU32(b, 0));
    EXPECT_TRUE(zeroBetween(b, 4, 8));
    EXPECT_EQ(5000000000ull, hostU64(b, 8));
    EXPECT_EQ(7ull, hostU64(b, 16));
    EXPECT_EQ(123456789012ull, hostU64(b, 24));
    EXPECT_TRUE(zeroBetween(b, 32, 2048));

    EXPECT_EQ(0, getLDBadspotInfo64(0, 12, &info));
    EXPECT_EQ(0x00400010u, DLLGetLastError());
}

INSTANTIATE_TEST_SUITE_P(CardTypes, PhysicalRecords, ::testing::Values("ZN5120", "ZN5121"));

class PhysicalDrives : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(s.open()); }
    int led(int slot) const
    {
        const infotest::json adapter = s.adapter();
        for (const infotest::json &drive : adapter["drives"]) {
            if (drive["slot"] == slot) {
                return drive["led"];
            }
        }
        return -1;
    }
    OpenServer s{driveServer("ZN5121")};
};

TEST_F(PhysicalDrives, RefusedArgumentsAndAbsentDrivesSendNothingMore)
{
    struct Case {
        uint8_t contNo;
        uint8_t drive;
        bool record;
        uint32_t word;
        bool sends;  // the status refresh runs before the drive is judged
    };
    const Case cases[] = {
        {4, 0, true, 0x00020010, false},     {1, 0, true, 0x00010010, false},   {0, 12, true, 0x00400010, false},
        {0, 0, false, 0x00100010, false},    {0, 2, true, DLL_ERROR_HDD, true},  // pulled: no drive present
        {0, 5, true, DLL_ERROR_NO_LD, true},                                     // empty slot: no such drive
    };
    for (const Case &c : cases) {
        DLL_GET_HDD_INFO info;
        uint64_t before = s.commands();
        EXPECT_EQ(0, getPhysicalDriveInfo(c.contNo, c.drive, c.record ? &info : nullptr));
        EXPECT_EQ(c.word, DLLGetLastError());
        EXPECT_EQ(c.sends, s.commands() != before) << std::hex << c.word;
    }
}

TEST_F(PhysicalDrives, FailingReadsAreMarkedAsInnerErrors)
{
    DLL_GET_HDD_INFO info;
    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    EXPECT_EQ(0, getPhysicalDriveInfo(0, 0, &info));
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_COMMAND, DLLGetLastError());

    DLL_BADSPOT_INFO spots;
    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    EXPECT_EQ(0, getBadspotInfo(0, 4, &spots));
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_COMMAND, DLLGetLastError());
    EXPECT_EQ(0, getBadspotInfo(0, 12, &spots));
    EXPECT_EQ(0x00400010u, DLLGetLastError());
}

TEST_F(PhysicalDrives, LocateLedAcceptsOnlyTheTableOfStates)
{
    for (int state : {0x01, 0x02, 0x0F, 0x40, 0x41, 0xF1}) {
        uint64_t before = s.commands();
        EXPECT_EQ(0, setHDDLocateLED(0, 0, static_cast<uint8_t>(state))) << state;
        EXPECT_EQ(DLL_ERROR_PARAM, DLLGetLastError()) << state;
        EXPECT_EQ(before, s.commands()) << state;
    }
    for (int state : {0x11, 0x10, 0x20, 0x21, 0x31, 0x00, 0x30}) {
        EXPECT_EQ(1, setHDDLocateLED(0, 0, static_cast<uint8_t>(state))) << std::hex << DLLGetLastError();
        EXPECT_EQ(state, led(0));
    }
}

TEST_F(PhysicalDrives, LocateLedNeedsAPresentDrive)
{
    EXPECT_EQ(0, setHDDLocateLED(0, 2, 0x30));
    EXPECT_EQ(DLL_ERROR_HDD, DLLGetLastError());
    EXPECT_EQ(0, setHDDLocateLED(0, 5, 0x30));
    EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());
    EXPECT_EQ(0, setHDDLocateLED(0, 12, 0x30));
    EXPECT_EQ(0x00400010u, DLLGetLastError());
    EXPECT_EQ(1, setHDDLocateLED(0, 3, 0x30));
    EXPECT_EQ(0x30, led(3));
}

TEST_F(PhysicalDrives, SmartFunctionsAreRefusedWithoutACommand)
{
    uint8_t buffer[512];
    uint64_t before = s.commands();
    EXPECT_EQ(0, getSMARTInfo(0, 0, buffer));
    EXPECT_EQ(DLL_ERROR_HDD, DLLGetLastError());
    EXPECT_EQ(0, getSMARTThreshold(0, 0, buffer));
    EXPECT_EQ(DLL_ERROR_HDD, DLLGetLastError());
    EXPECT_EQ(0, getSMARTsts(0, 0, buffer));
    EXPECT_EQ(DLL_ERROR_HDD, DLLGetLastError());
    EXPECT_EQ(before, s.commands());
}

TEST(PhysicalRefresh, ADriveInUseThatItsGroupDoesNotListFailsTheRefresh)
{
    OpenServer s(R"({"adapters": [{"host": 2, "model": "ZN5121",
        "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS", "class": 0}],
        "logical_drives": [{"number": 0, "raid": 0, "members": [0]}]}]})");
    ASSERT_TRUE(s.open());
    DLL_GET_RAID_STATUS status;
    EXPECT_EQ(0, getRaidStatus(0, &status));
    EXPECT_EQ(DLL_ERROR_LD_STATE, DLLGetLastError());
}

// A hot spare standing in for a failed member (class 2) is listed by byte 5
// of the member entry, not byte 0: the refresh must find it there.
TEST(PhysicalRefresh, ASpareInUseIsFoundThroughTheDriveThatTakesTheMembersPlace)
{
    OpenServer s(R"({"adapters": [{"host": 2, "model": "ZN5121",
        "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
                   {"slot": 2, "interface": "SAS"}],
        "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]}],
        "hot_spares": [2]}], "speed": 0.0001})");
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.inject({"fail-drive", "0", "1"}));

    DLL_GET_HDD_INFO info;
    ASSERT_EQ(1, getPhysicalDriveInfo(0, 2, &info)) << std::hex << DLLGetLastError();
    EXPECT_EQ(2, info.hddClass);  // spare in use
    EXPECT_EQ(0, info.groupNo);
    DLL_GET_LOGICAL_DISK_INFO ld;
    ASSERT_EQ(1, getLogicalDriveInfo(0, 0, &ld)) << std::hex << DLLGetLastError();
    EXPECT_EQ(2, ld.rebuildState);  // rebuild onto the spare running
}

// ---- the conversions on their own ----

// A raw drive table: header bytes, then the given entries marked in use.
std::vector<uint8_t> driveTable(uint8_t state, const std::vector<std::pair<int, uint32_t>> &entries)
{
    std::vector<uint8_t> t(TAV_BADSPOT_TABLE_SIZE, 0);
    t[0] = 9;
    t[1] = state;
    t[2] = 4;
    t[3] = 0x5A;
    t[4] = 0x01, t[5] = 0x02, t[6] = 0x03, t[7] = 0x04;
    for (int i = 8; i < 16; ++i) {
        t[i] = static_cast<uint8_t>(0xA0 + i);
    }
    for (const auto &e : entries) {
        uint8_t *entry = t.data() + 16 + 16 * e.first;
        entry[8] = 1;
        entry[12] = static_cast<uint8_t>(e.second >> 24);
        entry[13] = static_cast<uint8_t>(e.second >> 16);
        entry[14] = static_cast<uint8_t>(e.second >> 8);
        entry[15] = static_cast<uint8_t>(e.second);
    }
    return t;
}

TEST(BadSpotConversion, DriveTableHeaderAndStates)
{
    const std::pair<uint8_t, uint8_t> states[] = {{0, 0}, {1, 6}, {2, 6}, {3, 22}, {200, 22}};
    for (const auto &st : states) {
        DLL_BADSPOT_INFO info;
        std::vector<uint8_t> table = driveTable(st.first, {{15, 0xCAFEF00D}});
        ASSERT_EQ(1, rearrangeBadSpotInfo(table.data(), &info));
        const std::vector<uint8_t> b = bytesOf(info);
        EXPECT_EQ(st.second, b[1]) << int(st.first);
        EXPECT_EQ(9, b[0]);
        EXPECT_EQ(4, b[2]);
        EXPECT_EQ(0x5A, b[3]);
        EXPECT_EQ(0x01020304u, hostU32(b, 4));
        for (int i = 8; i < 16; ++i) {
            EXPECT_EQ(0xA0 + i, b[i]);
        }
        EXPECT_EQ(0xCAFEF00Du, hostU32(b, 16));  // the last entry moves to the front
        EXPECT_TRUE(zeroBetween(b, 20, 80));
    }
}

TEST(BadSpotConversion, UnmarkedEntriesAreSkippedEvenWithAnAddress)
{
    std::vector<uint8_t> table = driveTable(1, {{2, 22}, {5, 55}});
    table[16 + 16 * 3 + 15] = 33;  // address without the in-use mark
    DLL_BADSPOT_INFO info;
    ASSERT_EQ(1, rearrangeBadSpotInfo(table.data(), &info));
    EXPECT_EQ(22u, info.address[0]);
    EXPECT_EQ(55u, info.address[1]);
    EXPECT_EQ(0u, info.address[2]);
}

TEST(BadSpotConversion, NullTablesAreAnInternalError)
{
    ASSERT_EQ(1, registerDLLError());
    DLL_BADSPOT_INFO info;
    DLL_LD_BADSPOT_INFO64 info64;
    uint8_t table[TAV_LD_BADSPOT_TABLE_SIZE] = {};
    EXPECT_EQ(0, rearrangeBadSpotInfo(nullptr, &info));
    EXPECT_EQ(DLL_ERROR_INTERNAL, DLLGetLastError());
    DLLSetErrorCode(0);
    EXPECT_EQ(0, rearrangeLDBadSpot64Info(table, nullptr));
    EXPECT_EQ(DLL_ERROR_INTERNAL, DLLGetLastError());
    DLLSetErrorCode(0);
    EXPECT_EQ(0, rearrangeLDBadSpot64Info(nullptr, &info64));
    EXPECT_EQ(DLL_ERROR_INTERNAL, DLLGetLastError());
    freeDLLError();
}

TEST(BadSpotConversion, LogicalDriveTableFillsAll255Addresses)
{
    std::vector<uint8_t> table(TAV_LD_BADSPOT_TABLE_SIZE);
    for (size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    DLL_LD_BADSPOT_INFO64 info;
    memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(1, rearrangeLDBadSpot64Info(table.data(), &info));
    const std::vector<uint8_t> b = bytesOf(info);
    EXPECT_EQ(0x01080F16u, hostU32(b, 0));
    EXPECT_TRUE(zeroBetween(b, 4, 8));
    for (size_t i = 0; i < TAV_LD_BADSPOT_ADDRESSES; ++i) {
        for (size_t k = 0; k < 8; ++k) {
            ASSERT_EQ(table[8 + 8 * i + k], b[8 + 8 * i + 7 - k]) << "address " << i << " byte " << k;
        }
    }
}

}  // namespace
