// tavpth's parameter-file pass-through: P (address and length from the CDB,
// pieces of 64 KiB), ANY on SAS drives and the SATA grammar. The grammars are
// tables of files; what a write did is read back through the simulator.
#include "tavpth_tool_fixture.h"

namespace {

using pthtest::Bytes;
using pthtest::Cdb;
using pthtest::Dump;
using pthtest::kAbnormalEnd;

class ParamFiles : public pthtest::Tool {
protected:
    struct FileCase {
        std::string content;
        std::string out;  // after the file name line
        int status;
    };
    void ExpectFiles(const std::string& command, const std::vector<FileCase>& cases) const {
        for (const auto& c : cases) {
            auto r = RunFile(command, c.content);
            EXPECT_EQ(r.out, c.out) << command << " file:\n" << c.content;
            EXPECT_EQ(r.status, c.status) << c.content;
        }
    }
};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed ^ (i * 13) ^ (i >> 9));
    return data;
}

const std::string kPd0 = "RAID Controller No.0\nPhysical Drive No.0\n\n";
const std::string kPd2 = "RAID Controller No.0\nPhysical Drive No.2\n\n";

std::string Illegal(const std::string& label) {
    return "TAV0022-E Ileagal Parameter. detail=" + label + "\n" + kAbnormalEnd;
}

// ---- P ----

TEST_F(ParamFiles, FixReadOfOneBlockTakesAddressAndLengthFromTheCdb) {
    auto data = Pattern(512, 1);
    SetMedia(0, 0x10, data);
    ExpectFiles("P",
                {{"/ READ(10) of one block\n0\nanything\n0\n28000000001000000100\n0\n",
                  kPd0 + Cdb({0xBB, 0, 0x28, 0, 0, 0, 0, 0x10, 0, 0, 1, 0}) + Dump("Command Result", data) + "\n", 0}});
}

TEST_F(ParamFiles, FixReadOfManyBlocksIsSentInPiecesPrintedAsOneDump) {
    auto data = Pattern(0x300 * 512, 7);
    SetMedia(0, 0x1000, data);
    auto r = RunFile("P", "0\n\n0\n0\n28000000100000030000\n0");  // last line without a line end
    ASSERT_EQ(r.status, 0) << r.out.substr(0, 500);
    std::string expected = kPd0 + Cdb({0xBB, 0, 0x28, 0, 0, 0, 0x10, 0x00, 0, 0x03, 0x00, 0}) +
                           "[Command Result] Size=" + std::to_string(data.size()) + "\n" + pthtest::Rule() +
                           pthtest::HexRows(data) + "\n";
    EXPECT_EQ(r.out, expected);
    auto recent = DriveModel(0)["recent_commands"];
    ASSERT_GE(recent.size(), 6u);
    for (size_t i = recent.size() - 6; i < recent.size(); ++i) EXPECT_EQ(recent[i], "0x28");
}

TEST_F(ParamFiles, FixWriteFillsTheNamedBlocksWithFF) {
    auto r = RunFile("P", "0\n-\n0\n2A000000002000000200\n1\n");
    EXPECT_EQ(r.out, kPd0 + Cdb({0xBA, 0, 0x2A, 0, 0, 0, 0, 0x20, 0, 0, 2, 0}));
    EXPECT_EQ(Media(0, 0x20, 2), Bytes(1024, 0xFF));
    EXPECT_EQ(Media(0, 0x22, 1), Bytes(512, 0));
    EXPECT_EQ(Media(0, 0x1F, 1), Bytes(512, 0));
}

TEST_F(ParamFiles, FixGrammar) {
    ExpectFiles(
        "P", {
                 {"0\nx\n0\n28000000000000000100\n", kPd0 + "TAV0014-E Parameter error. argno=*\n" + kAbnormalEnd, 1},
                 {"00\n", Illegal("Controller No"), 1},
                 {"0\nx\nA\n", "RAID Controller No.0\n" + Illegal("Drive No"), 1},
                 {"0\nx\n2\n28000000000000000100\n0\n",
                  kPd2 + "TAV0024-E <SATA> drive does not support this command.\n" + kAbnormalEnd, 1},
                 {"0\nx\n0\n28000000000000000G00\n0\n", kPd0 + Illegal("CDB"), 1},
                 {"0\nx\n0\n" + std::string(30, '0') + "\n0\n", kPd0 + Illegal("CDB"), 1},    // 15 bytes
                 {"0\nx\n0\n" + std::string(1100, '2') + "\n0\n", kPd0 + Illegal("CDB"), 1},  // over-long line
                 {"0\nx\n0\n28000000000000000100\n2\n", kPd0 + Illegal("Direction"), 1},
                 {"0\nx\n0\n280000\n0\n", kPd0 + Illegal("Address"), 1},
                 {"0\nx\n0\n2800000000000000\n0\n", kPd0 + Illegal("Data Length"), 1},
             });
    EXPECT_EQ(DriveModel(0)["commands_received"], 0);
}

// ---- ANY on a SAS drive: the drive's data buffer written and read back ----

const std::vector<uint8_t> kWriteBuffer16{0xBA, 0, 0x3B, 0x02, 0, 0, 0, 0, 0, 0, 0x10, 0};

std::string ReadBufferFile(const std::string& length) {
    return "0\n0\n3C02000000000000" + length.substr(2) + "00\n0\n" + length + "\n";
}

TEST_F(ParamFiles, AnyWriteRepeatsOrPadsItsData) {
    struct Row {
        std::string content;
        std::vector<uint8_t> expected;
    };
    std::vector<uint8_t> padded(16, 0);
    padded[0] = 0xA5;
    std::vector<uint8_t> twoLines{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 1, 2, 3, 4};
    for (const Row& row : {
             Row{"0\n0\n3B020000000000001000\n1\n0x10\n1\nA5\n", Bytes(16, 0xA5)},
             Row{"0\n0\n3B020000000000001000\n1\n10\n0\nA5\n", padded},
             Row{"/ data on two lines\n0\n0\n3B020000000000001000\n1\n10\n1\n010203\n\n040506", twoLines},
         }) {
        auto w = RunFile("ANY", row.content);
        EXPECT_EQ(w.out, kPd0 + Cdb(kWriteBuffer16)) << row.content;
        auto r = RunFile("ANY", ReadBufferFile("0x10"));
        EXPECT_EQ(r.out, kPd0 + Cdb({0xBB, 0, 0x3C, 0x02, 0, 0, 0, 0, 0, 0, 0x10, 0}) +
                             Dump("Command Result", row.expected) + "\n")
            << row.content;
    }
}

// A line holds at most 1,023 characters besides its line end (an odd last
// hex digit is ignored).
TEST_F(ParamFiles, LongestDataLine) {
    std::string head = "0\n0\n3B02000000000001FF00\n1\n1FF\n0\n";
    std::string data;
    for (int i = 0; i < 511; ++i) data += "A5";
    std::string sent = kPd0 + Cdb({0xBA, 0, 0x3B, 0x02, 0, 0, 0, 0, 0, 0x01, 0xFF, 0});
    ExpectFiles("ANY", {
                           {head + data + "A\n", sent, 0},
                           {head + data + "A", sent, 0},  // the last line without a line end
                           {head + data + "AB\n", kPd0 + Illegal("Data"), 1},
                       });
}

TEST_F(ParamFiles, AnyGrammar) {
    const std::string write = "0\n0\n3B020000000000001000\n1\n";
    ExpectFiles(
        "ANY",
        {
            {write + "10001\n", kPd0 + Illegal("Data Length: Send max size over 64K bytes"), 1},
            {write + "123456789\n", kPd0 + Illegal("Data Length"), 1},
            {write + "10\n", kPd0 + "TAV0014-E Parameter error. argno=*\n" + kAbnormalEnd, 1},
            {write + "10\n2\n", kPd0 + Illegal("Continuousness"), 1},
            {write + "10\n1\n", kPd0 + Illegal("Data"), 1},
            {write + "10\n0\nA5G5\n", kPd0 + Illegal("Data"), 1},
            {write + "2\n0\nA5A5A5\n", kPd0 + Illegal("Data Length"), 1},
            {"0\n0\n3C020000000000001000\n0\n0\n",
             kPd0 + "TAV0021-E Please do not specify 0 or less for a size of data.\n" + kAbnormalEnd, 1},
            {"0\n0\n3C020000000000001000\n3\n", kPd0 + Illegal("Direction"), 1},
            {"0\n9\n",
             "RAID Controller No.0\nTAV0009-E Your target DeviceNo doesn't exist.\n" + std::string(kAbnormalEnd), 1},
        });
    EXPECT_EQ(DriveModel(0)["commands_received"], 0);
}

TEST_F(ParamFiles, AnyCheckConditionShowsTheSense) {
    auto r = RunFile("ANY", "0\n0\n1C0000000000\n0\n10\n");  // RECEIVE DIAGNOSTIC: the drive refuses it
    EXPECT_EQ(r.out, kPd0 + Cdb({0xBB, 0, 0x1C, 0, 0, 0, 0, 0}) +
                         "TAV0005-E Request sense data  KEY:05  ASC:20  ASCQ:00\n" + kAbnormalEnd);
    EXPECT_EQ(r.status, 1);
}

// ---- the SATA grammar ----

TEST_F(ParamFiles, SataWriteAndReadOfSectors) {
    // WRITE SECTOR(S) EXT of one block at 0x55 filled with the repeated pattern C3 3C.
    auto w = RunFile("ANY", "0\n2\n850B0600000001005500000000403400\n1\n1\n1\n1\nC33C\n");
    std::vector<uint8_t> cdb{0x85, 0x0B, 0x06, 0, 0, 0, 1, 0, 0x55, 0, 0, 0, 0, 0x40, 0x34, 0};
    EXPECT_EQ(w.out, kPd2 + Cdb(cdb));
    std::vector<uint8_t> expected;
    for (int i = 0; i < 256; ++i) expected.insert(expected.end(), {0xC3, 0x3C});
    EXPECT_EQ(Media(2, 0x55, 1), expected);
    EXPECT_EQ(Media(2, 0x56, 1), Bytes(512, 0));

    // Read back in bytes, with and without the word swap.
    for (int swap : {0, 1}) {
        auto r = RunFile("ANY", "0\n2\n85090E00000001005500000000402400\n0\n200\n0\n" + std::to_string(swap) + "\n");
        std::vector<uint8_t> seen = expected;
        if (swap)
            for (size_t i = 0; i < seen.size(); i += 2) std::swap(seen[i], seen[i + 1]);
        EXPECT_EQ(r.out, kPd2 + Cdb({0x85, 0x09, 0x0E, 0, 0, 0, 1, 0, 0x55, 0, 0, 0, 0, 0x40, 0x24, 0}) +
                             Dump("Command Result", seen) + "\n");
    }
}

TEST_F(ParamFiles, SataGrammar) {
    const std::string head = "0\n2\n85090E00000001005500000000402400\n0\n";
    ExpectFiles("ANY", {
                           {head + "81\n1\n0\n", kPd2 + Illegal("Data Length: Send max size over 64K bytes"), 1},
                           {head + "10000\n0\n0\n",
                            kPd2 + Illegal("Data Length: When Tx unit is BYTE send max size over 64K bytes - 1"), 1},
                           {head + "200\n2\n", kPd2 + Illegal("A unit of transfer length"), 1},
                           {head + "200\n0\n3\n", kPd2 + Illegal("Word block change on or not"), 1},
                           {head + "200\n0\n", kPd2 + "TAV0014-E Parameter error. argno=6\n" + kAbnormalEnd, 1},
                           {"0\n2\n85090E0000000100550000000040240000\n", kPd2 + Illegal("CDB"), 1},  // 17 bytes
                           {"0\n2\n85090E00000001005500000000402400\n3\n", kPd2 + Illegal("Direction"), 1},
                           {"0\n2\n" + std::string(1030, '8') + "\n", kPd2 + Illegal("CDB"), 1},
                       });
    EXPECT_EQ(DriveModel(2)["commands_received"], 0);
}

// A command without data needs only four counted lines.
TEST_F(ParamFiles, SataCommandWithoutData) {
    auto r = RunFile("ANY", "0\n2\n85070000000000000000000000402700\n2\n");
    EXPECT_EQ(r.out, kPd2 + Cdb({0x85, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x27, 0}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(DriveModel(2)["recent_commands"].back(), "ata-data 0x27");
}

}  // namespace
