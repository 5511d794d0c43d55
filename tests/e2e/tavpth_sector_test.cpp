// tavpth's sector and stripe commands on SAS and SATA drives and on logical
// drives: the whole output, and the media read back through the simulator.
#include <cstdio>

#include "tavpth_tool_fixture.h"

namespace {

using pthtest::Bytes;
using pthtest::Case;
using pthtest::Cdb;
using pthtest::Dump;
using pthtest::kAbnormalEnd;

class Sectors : public pthtest::Tool {};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7);
    return data;
}

TEST_F(Sectors, SasSectorWriteLandsOnTheNamedBlockOnly) {
    Expect({{"PDOneSectorWrite", "0", "0", "0x20"},
            "RAID Controller No.0\nPhysical Drive No.0\nLogical Block Address : 0x00000020\n" +
                Cdb({0xBA, 0x00, 0x2A, 0, 0, 0, 0, 0x20, 0, 0, 1, 0}),
            0});
    EXPECT_EQ(Media(0, 0x20, 1), Bytes(512, 0x5A));
    EXPECT_EQ(Media(0, 0x1F, 1), Bytes(512, 0));
    EXPECT_EQ(Media(0, 0x21, 1), Bytes(512, 0));
    EXPECT_EQ(Media(5, 0x20, 1), Bytes(512, 0));  // its mirror partner is not touched
}

TEST_F(Sectors, SasSectorReadPrintsTheBlock) {
    auto data = Pattern(512, 0x30);
    SetMedia(1, 0x5678, data);
    Expect({{"PDOneSectorRead", "0", "1", "5678"},
            "RAID Controller No.0\nPhysical Drive No.1\nLogical Block Address : 0x00005678\n\n" +
                Cdb({0xBB, 0x01, 0x28, 0, 0, 0, 0x56, 0x78, 0, 0, 1, 0}) + Dump("Read Command(1 Sector)", data) + "\n",
            0});
}

TEST_F(Sectors, SataSectorGoesThroughAtaPassThrough) {
    std::vector<uint8_t> write{0x85, 0x0B, 0x06, 0, 0, 0, 1, 0, 0x34, 0, 0x12, 0, 0, 0x40, 0x34, 0};
    Expect({{"PDOneSectorWrite", "0", "2", "1234"},
            "RAID Controller No.0\nPhysical Drive No.2\nLogical Block Address : 0x000000001234\n" + Cdb(write),
            0});
    EXPECT_EQ(Media(2, 0x1234, 1), Bytes(512, 0x5A));
    EXPECT_EQ(Media(2, 0x1235, 1), Bytes(512, 0));

    std::vector<uint8_t> read{0x85, 0x09, 0x0E, 0, 0, 0, 1, 0, 0x34, 0, 0x12, 0, 0, 0x40, 0x24, 0};
    Expect({{"PDOneSectorRead", "0", "2", "0x1234"},
            "RAID Controller No.0\nPhysical Drive No.2\nLogical Block Address : 0x000000001234\n" + Cdb(read) +
                Dump("Read Command(1 Sector)", Bytes(512, 0x5A)) + "\n",
            0});
    auto recent = DriveModel(2)["recent_commands"];
    EXPECT_EQ(recent.back(), "ata-data 0x24");
}

TEST_F(Sectors, SataAddressMustStayBelow48Bits) {
    std::string target = "RAID Controller No.0\nPhysical Drive No.2\n";
    ExpectAll({
        {{"PDOneSectorRead", "0", "2", "1000000000000"},
         target + "TAV0022-E Ileagal Parameter. detail=Address\n" + kAbnormalEnd,
         1},
        {{"PDOneSectorWrite", "0", "2", "0x10000000000000000"},
         target + "TAV0022-E Ileagal Parameter. detail=Address\n" + kAbnormalEnd,
         1},
    });
    EXPECT_EQ(DriveModel(2)["commands_received"], 0);
}

TEST_F(Sectors, DumpSavesTheRawSector) {
    auto data = Pattern(512, 3);
    SetMedia(0, 7, data);
    std::string save = sim.path("/sector.bin");
    tavtest::writeFile(save, "old contents that are longer than nothing");
    std::string head = "RAID Controller No.0\nPhysical Drive No.0\nLogical Block Address : 0x00000007\n";
    std::string cdb = Cdb({0xBB, 0x00, 0x28, 0, 0, 0, 0, 7, 0, 0, 1, 0});
    Expect({{"D", "0", "0", "7", save}, head + "Save FileName:" + save + "\n\n" + cdb, 0});
    std::string saved = tavtest::readFile(save);
    EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.end()), data);

    std::string nowhere = sim.path("/no/such/dir/s.bin");
    Expect(
        {{"D", "0", "0", "7", nowhere},
         head + "Save FileName:" + nowhere + "\n\n" + cdb + "TAV0011-E Saved file open error. errno=2\n" + kAbnormalEnd,
         1});
    Expect({{"D", "0", "2", "7", save},
            std::string("RAID Controller No.0\nPhysical Drive No.2\n") +
                "TAV0024-E <SATA> drive does not support this command.\n" + kAbnormalEnd,
            1});
}

// Every other write of the tool interrupted (EINTR, injected by strace): the
// saved sector is still written whole, never left short or empty.
TEST_F(Sectors, InterruptedWritesStillSaveTheWholeSector) {
    auto data = Pattern(512, 5);
    SetMedia(0, 7, data);
    std::string save = sim.path("/sector.bin");
    tavtest::writeFile(save, "old contents\n");
    auto r = sim.runWithFault("write", "", "error=EINTR:when=1+2", {"tavpth", "D", "0", "0", "7", save});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::string saved = tavtest::readFile(save);
    EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.end()), data);
}

TEST_F(Sectors, LogicalDriveSectorsMapOntoTheMember) {
    Expect({{"LDOneSectorWrite", "0", "0", "40"},
            "RAID Controller No.0\nLogical Drive No.0\nLogical Block Address : 0x00000040\n\n" +
                Cdb({0x2A, 0, 0, 0, 0, 0x40, 0, 0, 1, 0}),
            0});
    EXPECT_EQ(Media(4, 0x40, 1), Bytes(512, 0x5A));
    auto r = Run({"LDOneSectorRead", "0", "0", "40"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(Dump("Read Command(1 Sector)", Bytes(512, 0x5A))), std::string::npos) << r.out;
}

// r reads two halves and prints them as one dump; the CDB shown carries the
// whole stripe's length.
TEST_F(Sectors, StripeReadIsOneContinuousDump) {
    auto data = Pattern(0x20000, 9);
    SetMedia(4, 0x100, data);
    Expect({{"r", "0", "0", "0x100"},
            "RAID Controller No.0\nLogical Drive No.0\nLogical Block Address : 0x00000100\n\n" +
                Cdb({0x28, 0, 0, 0, 0x01, 0x00, 0, 0x01, 0x00, 0}) + Dump("Read Command(1 Stripe)", data) + "\n",
            0});
    auto r = Run({"r64", "0", "0", "100"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(Cdb({0x88, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0, 0, 0x01, 0x00, 0, 0}) +
                         Dump("Read Command(1 Stripe)", data)),
              std::string::npos)
        << r.out.substr(0, 600);
}

TEST_F(Sectors, StripeWriteCoversTheStripeAndNothingElse) {
    for (const char* dataHdd : {"3", "0"}) {
        SetMedia(4, 0xFF, Bytes(0x200 * 512, 0));
        Expect({{"w", "0", "0", "0x100", dataHdd},
                "RAID Controller No.0\nLogical Drive No.0\nLogical Block Address : 0x00000100\n\n" +
                    std::string("Data HDD : ") + dataHdd + "\n\n" + Cdb({0x2A, 0, 0, 0, 0x01, 0x00, 0, 0, 0x80, 0}),
                0});
        EXPECT_EQ(Media(4, 0x100, 256), Bytes(0x20000, 0x5A)) << dataHdd;
        EXPECT_EQ(Media(4, 0xFF, 1), Bytes(512, 0)) << dataHdd;
        EXPECT_EQ(Media(4, 0x200, 1), Bytes(512, 0)) << dataHdd;
    }
    auto r = Run({"w64", "0", "0", "0000000000000400", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Media(4, 0x400, 256), Bytes(0x20000, 0x5A));
    EXPECT_EQ(Media(4, 0x500, 1), Bytes(512, 0));
}

TEST_F(Sectors, StripeParameterFiles) {
    std::string w = File("w.txt", "/ stripe write\n0\n\n   indented lines do not count\n0\n0x300\n2");
    auto r = Run({"W", w});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "RAID Controller No.0\nLogical Drive No.0\nLogical Block Address : 0x00000300\n\nData HDD : 2\n\n" +
                  Cdb({0x2A, 0, 0, 0, 0x03, 0x00, 0, 0, 0x80, 0}));
    EXPECT_EQ(Media(4, 0x300, 256), Bytes(0x20000, 0x5A));

    std::string target = "RAID Controller No.0\nLogical Drive No.0\n";
    ExpectAll({
        {{"R", File("short.txt", "0\n0\n")}, target + "TAV0014-E Parameter error. argno=*\n" + kAbnormalEnd, 1},
        {{"W", File("noHdd.txt", "0\n0\n10\n")}, target + "TAV0014-E Parameter error. argno=*\n" + kAbnormalEnd, 1},
        {{"R", File("badaddr.txt", "0\n0\n1234567890\n")},
         target + "TAV0022-E Ileagal Parameter. detail=Address\n" + kAbnormalEnd,
         1},
        {{"W", File("badhdd.txt", "0\n0\n10\n12\n")},
         target + "TAV0022-E Ileagal Parameter. detail=Data HDD\n" + kAbnormalEnd,
         1},
        {{"R", File("badcont.txt", "00\n")},
         "TAV0022-E Ileagal Parameter. detail=Controller No\n" + std::string(kAbnormalEnd),
         1},
        {{"R", File("long.txt", std::string(2000, '1') + "\n0\n0\n")},
         "TAV0022-E Ileagal Parameter. detail=Controller No\n" + std::string(kAbnormalEnd),
         1},
    });
}

}  // namespace
