// Controller discovery from the driver's /proc files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ftw.h>
#include <string>
#include <sys/stat.h>

#include "tavservice.h"
#include "tavtest.h"

namespace {

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

struct ProcDir {
    std::string path;
    ProcDir()
    {
        char tmpl[] = "/tmp/tavsvcproc.XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~ProcDir() { nftw(path.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS); }
};

std::string procText(const char *cardType, int host)
{
    std::string text =
        "tav card no : 0\nhost no : " + std::to_string(host) + "\n  pci bus/slot : 3/1\ncard type : " + cardType +
        "\nmax channel : 1\ncan queue depth : 64\ncmd per lun : 16\ndriver version : 1.2.4.54\nStatistics\n";
    for (int row = 0; row < 16; ++row)
        text += std::to_string(row) + ": " + std::to_string(row * 10) + " 1 2 " + std::to_string(row) + "\n";
    return text + "0: 99 99 99 99\n";  // after row 15 statistics mode is over
}

}  // namespace

TEST(ServiceProc, FilesFillSlotsInNameOrderAndMarkSupportedCards)
{
    ProcDir dir;
    tavtest::writeFile(dir.path + "/3", procText("ZN5120", 3));
    tavtest::writeFile(dir.path + "/2", procText("ZN5121", 2));
    tavtest::writeFile(dir.path + "/4", procText("ZN9999", 4));
    RaidControllerEntry c[TAV_MAX_CONTROLLERS] = {};
    ASSERT_EQ(ParseProcDirectory(dir.path.c_str(), c, TAV_MAX_CONTROLLERS), 3);
    EXPECT_STREQ(c[0].name, "ZN5121");
    EXPECT_EQ(c[0].procInfo.hostNo, 2);
    EXPECT_EQ(c[0].procInfo.pciBus, 3);
    EXPECT_EQ(c[0].procInfo.pciSlot, 1);
    EXPECT_EQ(c[0].procInfo.canQueue, 64);
    EXPECT_EQ(c[0].procInfo.cmdPerLun, 16);
    EXPECT_STREQ(c[0].procInfo.driverVersion, "1.2.4.54");
    EXPECT_EQ(c[0].driverStatistics[0][0], 0);
    EXPECT_EQ(c[0].driverStatistics[15][0], 150);
    EXPECT_EQ(c[0].driverStatistics[15][3], 15);
    EXPECT_EQ(c[1].supported, 1u);
    EXPECT_EQ(c[1].procInfo.hostNo, 3);
    EXPECT_EQ(c[2].found, 1u);
    EXPECT_EQ(c[2].supported, 0u);
    EXPECT_EQ(c[3].found, 0u);
}

// Of a line longer than 255 characters only the first 255 count; its rest
// never reads as a line of its own.
TEST(ServiceProc, OverlongLinesAreCutAndTheirRestDropped)
{
    ProcDir dir;
    std::string filler(300, 'x');
    tavtest::writeFile(dir.path + "/2", "tav card no : 0\nvendor : " + filler + "card type : ZN5120\n" +
                                            "card type : ZN5121\nhost no : " + std::string(250, ' ') + "7\n");
    RaidControllerEntry c[TAV_MAX_CONTROLLERS] = {};
    ASSERT_EQ(ParseProcDirectory(dir.path.c_str(), c, TAV_MAX_CONTROLLERS), 1);
    EXPECT_STREQ(c[0].name, "ZN5121");
    EXPECT_EQ(c[0].procInfo.hostNo, 0);  // the value lies beyond character 255
}

TEST(ServiceProc, MissingDirectoryFails)
{
    RaidControllerEntry c[TAV_MAX_CONTROLLERS] = {};
    EXPECT_EQ(ParseProcDirectory("/nonexistent/tavdrv", c, TAV_MAX_CONTROLLERS), -1);
}
