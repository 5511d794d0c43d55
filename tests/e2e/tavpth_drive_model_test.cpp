// What the maintenance tool's drive-changing commands make the simulated
// drives do afterwards: injected errors on later reads and writes, downloaded
// firmware running after a restart, and the changeable mode-page masks.
#include "tavpth_tool_fixture.h"

namespace {

class DriveBehaviour : public pthtest::Tool {
protected:
    // The data a read-type ANY file printed, or an empty string.
    std::string AnyRead(int drive, const std::string& cdbHex, const std::string& length) const {
        auto r = RunFile("ANY", "0\n" + std::to_string(drive) + "\n" + cdbHex + "\n0\n" + length + "\n");
        size_t at = r.out.find("[Command Result]");
        return at == std::string::npos ? r.out : r.out.substr(at);
    }
    std::string SenseOfRead(int drive, const std::string& lba) const {
        auto r = Run({"PDOneSectorRead", "0", std::to_string(drive), lba});
        size_t at = r.out.find("TAV0005-E");
        return at == std::string::npos ? "read" : r.out.substr(at, r.out.find('\n', at) - at);
    }
};

// N armed for reads of blocks 0x100-0x101 with 04/44/00: only those fail.
TEST_F(DriveBehaviour, SasInjectionFailsTheNamedBlocks) {
    std::string file =
        "0\n1\n0\n"
        "1\n0\n0\n0\n0\n0\n00000100\n00000002\n04\n44\n00\n"
        "0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n";
    ASSERT_EQ(RunFile("N", file).status, 0);
    EXPECT_EQ(SenseOfRead(1, "FF"), "read");
    EXPECT_EQ(SenseOfRead(1, "100"), "TAV0005-E Request sense data  KEY:04  ASC:44  ASCQ:00");
    EXPECT_EQ(SenseOfRead(1, "101"), "TAV0005-E Request sense data  KEY:04  ASC:44  ASCQ:00");
    EXPECT_EQ(SenseOfRead(1, "102"), "read");
    // Writes are not armed.
    EXPECT_EQ(Run({"PDOneSectorWrite", "0", "1", "100"}).status, 0);
    // A page that disarms it ends the failures.
    std::string off = file;
    off[6] = '0';
    ASSERT_EQ(RunFile("N", off).status, 0);
    EXPECT_EQ(SenseOfRead(1, "100"), "read");
}

// A armed with ECC for reads of 3 blocks from 0x2000.
TEST_F(DriveBehaviour, SataInjectionFailsTheNamedBlocks) {
    ASSERT_EQ(RunFile("A", "0\n2\n1\n0\n0\n0\nECC\n0\n0\n0\n00002000\n00000003\n").status, 0);
    EXPECT_EQ(SenseOfRead(2, "1FFF"), "read");
    EXPECT_EQ(SenseOfRead(2, "2002"), "TAV0005-E Request sense data  KEY:03  ASC:11  ASCQ:04");
    EXPECT_EQ(SenseOfRead(2, "2003"), "read");
}

// The image's revision (bytes 0x20-0x23) is reported once the drive restarts.
TEST_F(DriveBehaviour, DownloadedFirmwareRunsAfterARestart) {
    std::string image(0x1000, '\0');
    image.replace(0x20, 4, "0205");
    ASSERT_EQ(Run({"F", File("fw.bin", image)}).status, 0);
    const std::string inquiry = "12000000240000000000";
    EXPECT_NE(AnyRead(0, inquiry, "24").find("30 31 30 34"), std::string::npos);  // still 0104
    ASSERT_EQ(RunFile("ANY", "0\n0\n1B0000000000\n1\n0\n0\n").status, 0);         // stop
    ASSERT_EQ(RunFile("ANY", "0\n0\n1B0000000100\n1\n0\n0\n").status, 0);         // start
    EXPECT_NE(AnyRead(0, inquiry, "24").find("30 32 30 35"), std::string::npos);
    EXPECT_EQ(DriveModel(0)["firmware_revision"], "0205");
    EXPECT_EQ(DriveModel(5)["firmware_revision"], "");  // downloaded, not restarted
}

TEST_F(DriveBehaviour, ChangeableValuesOfTheModePages) {
    // MODE SENSE(6), page control 1, all pages, with the block descriptor.
    std::string masks = AnyRead(0, "1A007F00FF00", "FF");
    std::vector<uint8_t> expected{0x55, 0, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    std::vector<uint8_t> recovery(12, 0), caching(20, 0), control(12, 0), injection(30, 0xFF);
    recovery[0] = 0x81, recovery[1] = 0x0A, recovery[2] = 0xFF;
    caching[0] = 0x88, caching[1] = 0x12, caching[2] = 0x05;
    control[0] = 0x8A, control[1] = 0x0A;
    injection[0] = 0xA2, injection[1] = 0x1C;
    for (const auto* page : {&recovery, &caching, &control, &injection})
        expected.insert(expected.end(), page->begin(), page->end());
    expected.resize(255, 0);
    EXPECT_EQ(masks.substr(0, masks.find("\n\n") + 1),
              "[Command Result] Size=255\n" + pthtest::Rule() + pthtest::HexRows(expected))
        << masks;
}

}  // namespace

namespace {

// What the drives changed shows in the adapter's drive records too, as
// tavcli reads them.
TEST_F(DriveBehaviour, AdapterDriveRecordsFollowTheDrives) {
    auto sizes = [&] {
        auto r = sim.run({"tavcli", "-PDInfo", "-PhysDrv[0:1,0:2]", "-a0"});
        std::string out;
        for (size_t at = r.out.find("Size:"); at != std::string::npos; at = r.out.find("Size:", at + 1))
            out += r.out.substr(at, r.out.find('\n', at) - at) + ";";
        return out;
    };
    EXPECT_EQ(sizes(), "Size:                  134MB;Size:                  134MB;");
    ASSERT_EQ(Run({"PDHDDCapaChange", "0", "1", "20000"}).status, 0);
    ASSERT_EQ(Run({"PDHDDCapaChange", "0", "2", "10000"}).status, 0);
    EXPECT_EQ(sizes(), "Size:                  67MB;Size:                  33MB;");

    std::string image(0x100, '\0');
    image.replace(0x20, 4, "0300");
    ASSERT_EQ(Run({"F", File("fw.bin", image)}).status, 0);
    ASSERT_EQ(RunFile("ANY", "0\n1\n1B0000000000\n1\n0\n0\n").status, 0);
    ASSERT_EQ(RunFile("ANY", "0\n1\n1B0000000100\n1\n0\n0\n").status, 0);
    auto r = sim.run({"tavcli", "-PDInfo", "-PhysDrv[0:1]", "-a0"});
    EXPECT_NE(r.out.find("Revision:              0300\n"), std::string::npos) << r.out;
}

}  // namespace
