// tavpth's drive maintenance: firmware download, capacity change, media
// errors and error injection on SAS and SATA drives, each proven by the
// drive's state read back through the simulator.
#include "tavpth_tool_fixture.h"

namespace {

using pthtest::Bytes;
using pthtest::Cdb;
using pthtest::Dump;
using pthtest::kAbnormalEnd;

class Maintenance : public pthtest::Tool {
protected:
    std::string Hex(const std::vector<uint8_t>& bytes) const {
        std::string out;
        char buf[3];
        for (uint8_t b : bytes) {
            std::snprintf(buf, sizeof buf, "%02x", b);
            out += buf;
        }
        return out;
    }
};

const std::string kPd0 = "RAID Controller No.0\nPhysical Drive No.0\n\n";
const std::string kPd2 = "RAID Controller No.0\nPhysical Drive No.2\n\n";

std::string Illegal(const std::string& label) {
    return "TAV0022-E Ileagal Parameter. detail=" + label + "\n" + kAbnormalEnd;
}

// ---- F ----

std::string FirmwareBlock(int drive, const std::string& product, uint32_t size) {
    uint8_t d = static_cast<uint8_t>(drive);
    uint32_t first = size < 0x10000 ? size : 0x10000;
    return "RAID Controller No.0\nPhysical Drive No." + std::to_string(drive) +
           "\nVendor ID:MORVANE \nProduct ID:" + product + "\nProduct Rev:0104\n\n" +
           Cdb({0xBA, d, 0x3B, 0x07, 0, 0, 0, 0, static_cast<uint8_t>(first >> 16), static_cast<uint8_t>(first >> 8),
                static_cast<uint8_t>(first), 0});
}

// Every MBA/MBB SAS drive gets the image in 64 KiB pieces; SATA drives and
// other families are passed over.
TEST_F(Maintenance, FirmwareGoesToEveryDriveOfTheFamilies) {
    std::string image(0x18000, '\x5C');
    std::string path = File("fw.bin", image);
    Expect({{"F", path},
            FirmwareBlock(0, "MBB2147RC       ", 0x18000) + FirmwareBlock(1, "MBA3073RC       ", 0x18000) +
                FirmwareBlock(4, "MBB2300RC       ", 0x18000) + FirmwareBlock(5, "MBB2600RC       ", 0x18000),
            0});
    for (int slot : {0, 1, 4, 5}) {
        EXPECT_EQ(DriveModel(slot)["firmware_bytes"], 0x18000) << slot;
        auto recent = DriveModel(slot)["recent_commands"];
        EXPECT_EQ(recent[recent.size() - 1], "0x3B");
        EXPECT_EQ(recent[recent.size() - 2], "0x3B");
    }
    for (int slot : {2, 3}) EXPECT_EQ(DriveModel(slot)["firmware_bytes"], 0) << slot;
}

TEST_F(Maintenance, FirmwareFileThatCannotBeReadSendsNothing) {
    auto r = Run({"F", sim.path("/missing.bin")});
    EXPECT_EQ(r.out, "TAV0004-E realpath() failed. detail=No such file or directory\n" + std::string(kAbnormalEnd));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(DriveModel(0)["firmware_bytes"], 0);
}

// ---- PDHDDCapaChange ----

TEST_F(Maintenance, CapacityChangeOnSasAndSata) {
    Expect({{"PDHDDCapaChange", "0", "1", "1000"},
            "RAID Controller No.0\nPhysical Drive No.1\nCapacity : 0x00001000\n\n" +
                Cdb({0xBA, 1, 0x15, 0x01, 0, 0, 12, 0}),
            0});
    EXPECT_EQ(DriveModel(1)["capacity_blocks"], 0x1000);
    // READ CAPACITY(10) now names the last block 0xFFF.
    auto r = RunFile("ANY", "0\n1\n25000000000000000000\n0\n8\n");
    EXPECT_NE(r.out.find(Dump("Command Result", {0, 0, 0x0F, 0xFF, 0, 0, 2, 0})), std::string::npos) << r.out;

    Expect({{"PDHDDCapaChange", "0", "2", "0x2000"},
            "RAID Controller No.0\nPhysical Drive No.2\nCapacity : 0x000000002000\n\n" +
                Cdb({0x85, 0x07, 0, 0, 0, 0, 1, 0, 0, 0, 0x20, 0, 0, 0x40, 0x37, 0}),
            0});
    EXPECT_EQ(DriveModel(2)["ata_max_address"], 0x2000);
    auto recent = DriveModel(2)["recent_commands"];
    EXPECT_EQ(recent[recent.size() - 3], "ata-data 0x27");
    EXPECT_EQ(recent.back(), "ata-data 0x37");

    ExpectAll({
        {{"PDHDDCapaChange", "0", "1", "123456789"},
         "RAID Controller No.0\nPhysical Drive No.1\n" + Illegal("Capacity"),
         1},
        {{"PDHDDCapaChange", "0", "2", "1000000000000"},
         "RAID Controller No.0\nPhysical Drive No.2\n" + Illegal("Capacity"),
         1},
    });
}

// ---- E and e ----

TEST_F(Maintenance, SasMediaErrorsAtAddressAndSkips) {
    auto r = RunFile("E", "0\n0\n0x100\n3\n16\n");
    std::string expected =
        kPd0 + "Media Error Address : 0x00000100\nMedia Error Count : 3\nMedia Error Skip Count : 16\n\n";
    for (uint8_t lba : {0x00, 0x10, 0x20}) expected += Cdb({0xBA, 0, 0x3F, 0, 0, 0, 0x01, lba, 0, 0x02, 0x08, 0});
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(DriveModel(0)["corrupt_blocks"], nlohmann::json::array({0x100, 0x110, 0x120}));
    // A planted block reads as a medium error.
    auto read = Run({"PDOneSectorRead", "0", "0", "110"});
    EXPECT_NE(read.out.find("TAV0005-E Request sense data  KEY:03  ASC:11  ASCQ:00\n"), std::string::npos) << read.out;

    // Count 0 probes the long block length and plants nothing.
    auto probe = RunFile("E", "0\n5\n0x100\n0\n16\n");
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(DriveModel(5)["corrupt_blocks"], nlohmann::json::array());
    EXPECT_EQ(DriveModel(5)["recent_commands"].back(), "0x3E");
}

TEST_F(Maintenance, SataMediaErrorsUseWriteUncorrectable) {
    auto r = RunFile("e", "0\n2\n1000\n2\n5\n");
    std::string expected =
        kPd2 + "Media Error Address : 0x000000001000\nMedia Error Count : 2\nMedia Error Skip Count : 5\n\n" +
        Cdb({0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0});
    for (uint8_t low : {0x00, 0x05})
        expected += Cdb({0x85, 0x07, 0, 0, 0x55, 0, 1, 0, low, 0, 0x10, 0, 0, 0x40, 0x45, 0});
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(DriveModel(2)["corrupt_blocks"], nlohmann::json::array({0x1000, 0x1005}));
}

TEST_F(Maintenance, MediaErrorFilesAreChecked) {
    struct Row {
        std::string command, content, out;
    };
    const std::string head = "Media Error Address : 0x00000100\nMedia Error Count : 3\nMedia Error Skip Count : 16\n\n";
    for (const Row& row : {
             Row{"E", "0\n2\n100\n1\n1\n",
                 kPd2 + "TAV0024-E <SATA> drive does not support this command.\n" + kAbnormalEnd},
             Row{"e", "0\n0\n100\n1\n1\n",
                 kPd0 + "TAV0024-E <SAS> drive does not support this command.\n" + kAbnormalEnd},
             Row{"E", "0\n0\n123456789\n1\n1\n", kPd0 + Illegal("Address")},
             Row{"e", "0\n2\n1000000000000\n1\n1\n", kPd2 + Illegal("Address")},
             Row{"E", "0\n0\n100\n-1\n1\n", kPd0 + Illegal("Media Error Count")},
             Row{"E", "0\n0\n100\n12345678901\n1\n", kPd0 + Illegal("Media Error Count")},
             Row{"E", "0\n0\n100\n3000000000\n1\n", kPd0 + Illegal("Media Error Count")},
             Row{"E", "0\n0\n100\n1\n0x10\n", kPd0 + Illegal("Media Error Skip Count")},
             Row{"E", "0\n0\n100\n1\n", kPd0 + "TAV0014-E Parameter error. argno=*\n" + kAbnormalEnd},
         }) {
        auto r = RunFile(row.command, row.content);
        EXPECT_EQ(r.out, row.out) << row.content;
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(DriveModel(0)["commands_received"], 0);
    EXPECT_EQ(DriveModel(2)["commands_received"], 0);
}

// ---- N, N5 and A ----

const char kInjectionN[] =
    "0\n0\n1\n"                                                  // controller, drive, save
    "1\n1\n7\n0x1234\n12\nAB\n11223344\n55667788\n99\nAA\nBB\n"  // lines 4-14
    "1\n1\n5\nCDEF\n1\n2\n0x10\nEE\n1357\n2468\n";               // lines 15-24

TEST_F(Maintenance, SasErrorInjectionPage) {
    auto r = RunFile("N", kInjectionN);
    EXPECT_EQ(r.out, kPd0 + Cdb({0xBA, 0, 0x15, 0x11, 0, 0, 0x22, 0}));
    EXPECT_EQ(r.status, 0);
    std::vector<uint8_t> page{0x22, 0x1C, 0x03, 0x07, 0x12, 0x34, 12, 0xAB, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                              0x88, 0x99, 0xAA, 0xBB, 0,    0x2D, 0,  0xCD, 0xEF, 0x13, 0xEE, 0x13, 0x57, 0x24, 0x68};
    page[0] |= 0x80;  // the drive keeps the page as it reports it: saveable
    EXPECT_EQ(DriveModel(0)["error_injection"], Hex(page));

    std::string n5 = "0\n1\n0\n1\n0\nABCD\n255\n01\n1\n2\n3\n4\n5\n1\n1\n6\n7\n0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n";
    auto r5 = RunFile("N5", n5);
    EXPECT_EQ(r5.out, "RAID Controller No.0\nPhysical Drive No.1\n\n" + Cdb({0xBA, 1, 0x15, 0x10, 0, 0, 0x26, 0}));
    std::vector<uint8_t> page5{0x22, 0x20, 0x01, 0,    0xAB, 0xCD, 0xFF, 0x01, 0,    0, 0, 1, 0, 0, 0, 2, 3,
                               4,    5,    0,    0x09, 0x06, 0,    7,    0x03, 0x03, 0, 4, 0, 5, 6, 7, 8, 9};
    page5[0] |= 0x80;
    EXPECT_EQ(DriveModel(1)["error_injection"], Hex(page5));
}

TEST_F(Maintenance, ErrorInjectionFieldsAreChecked) {
    std::string good(kInjectionN);
    auto replaceLine = [&](int line, const std::string& value) {
        size_t at = 0;
        for (int i = 1; i < line; ++i) at = good.find('\n', at) + 1;
        std::string copy = good;
        copy.replace(at, copy.find('\n', at) - at, value);
        return copy;
    };
    struct Row {
        std::string content, out;
    };
    for (const Row& row : {
             Row{replaceLine(8, "1234"), kPd0 + Illegal("Parameter(8)")},
             Row{replaceLine(7, "12345"), kPd0 + Illegal("Parameter(7)")},
             Row{replaceLine(4, "12"), kPd0 + Illegal("Parameter(4)")},
             Row{replaceLine(10, "0x123456789"), kPd0 + Illegal("Parameter(10)")},
             Row{replaceLine(3, "2"), kPd0 + Illegal("Parameter(3)")},
             Row{good.substr(0, good.rfind("2468")), kPd0 + "TAV0014-E Parameter error. argno=*\n" + kAbnormalEnd},
             Row{"0\n2\n1\n", kPd2 + "TAV0024-E <SATA> drive does not support this command.\n" + kAbnormalEnd},
         }) {
        auto r = RunFile("N", row.content);
        EXPECT_EQ(r.out, row.out) << row.content;
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(DriveModel(0)["error_injection"], "");
}

const char kInjectionA[] = "0\n2\n1\n2\n8\n16\nECC\n1234\n12\n255\nDEADBEEF\n12345678\n";

TEST_F(Maintenance, SataErrorInjectionStructure) {
    std::vector<uint8_t> structure(512, 0);
    std::vector<uint8_t> head{0x01, 0x00, 0x1B, 0x05, 0x10, 0x00, 0x34, 0x12, 0x0C,
                              0xFF, 0xEF, 0xBE, 0xAD, 0xDE, 0x78, 0x56, 0x34, 0x12};
    std::copy(head.begin(), head.end(), structure.begin());
    std::vector<uint8_t> shown = structure;
    for (size_t i = 0; i < shown.size(); i += 2) std::swap(shown[i], shown[i + 1]);
    auto r = RunFile("A", kInjectionA);
    EXPECT_EQ(r.out, kPd2 + Cdb({0x85, 0x0B, 0x06, 0, 0, 0, 1, 0, 0, 0, 0x49, 0, 0x45, 0x40, 0xFE, 0}) +
                         Dump("Data structure for set error injection mode command.(1 Sector)", shown) + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(DriveModel(2)["ata_error_injections"], 1);
    EXPECT_EQ(DriveModel(2)["ata_error_injection_head"], Hex(std::vector<uint8_t>(head.begin(), head.begin() + 16)));
}

TEST_F(Maintenance, SataErrorInjectionIsRefusedOnOtherDrives) {
    std::string a(kInjectionA);
    struct Row {
        std::string content, out;
    };
    for (const Row& row : {
             Row{"0\n3\n" + a.substr(4),
                 "RAID Controller No.0\nPhysical Drive No.3\n\nTAV0025-E This command is vendor specific.\n"
                 "TAV0026-I Supprted by QRXS Kestrel4.\n" +
                     std::string(kAbnormalEnd)},
             Row{"0\n0\n" + a.substr(4),
                 kPd0 + "TAV0024-E <SAS> drive does not support this command.\n" + kAbnormalEnd},
             Row{std::string(a).replace(a.find("ECC"), 3, "XYZ"), kPd2 + Illegal("Parameter(7)")},
             Row{std::string(a).replace(a.find("\n2\n8"), 2, "\n3"), kPd2 + Illegal("Parameter(4)")},
             Row{std::string(a).replace(a.find("255"), 3, "256"), kPd2 + Illegal("Parameter(10)")},
             Row{a.substr(0, a.find("DEAD")), kPd2 + "TAV0014-E Parameter error. argno=10\n" + kAbnormalEnd},
         }) {
        auto r = RunFile("A", row.content);
        EXPECT_EQ(r.out, row.out) << row.content;
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(DriveModel(2)["ata_error_injections"], 0);
    EXPECT_EQ(DriveModel(3)["ata_error_injections"], 0);
}

}  // namespace
