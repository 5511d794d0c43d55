// tavlog.conf as the log collector reads it: the trace-area limit in its
// accepted forms and limits, and the dump directory.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tavlog.h"
#include "tavtest.h"

namespace {

class TavlogConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tavlogconfXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (const char *dir : {"/opt", "/opt/morvane", "/opt/morvane/tavutility", "/opt/morvane/tavutility/conf"})
            mkdir((root_ + dir).c_str(), 0755);
        setenv("TAV_ROOT", root_.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("TAV_ROOT");
        tavtest::runCommand({"rm", "-rf", root_});
    }
    void writeConf(const std::string &text)
    {
        tavtest::writeFile(root_ + "/opt/morvane/tavutility/conf/tavlog.conf", text);
    }
    std::string root_;
};

TEST_F(TavlogConfig, TraceAreaLimitForms)
{
    struct Case {
        const char *conf;
        uint32_t mb;
    };
    const std::vector<Case> cases = {
        {"MaxAreaSizeForClog: 8\n", 8},
        {"MaxAreaSizeForClog:0x10\n", 16},
        {"  MaxAreaSizeForClog :  1024\r\n", 1024},
        {"MaxAreaSizeForClog: 1025\n", 4},
        {"MaxAreaSizeForClog: 2000\n", 4},
        {"MaxAreaSizeForClog: 0\n", 0},
        {"MaxAreaSizeForClog: 0x\n", 4},
        {"MaxAreaSizeForClog: 0xZ1\n", 4},
        {"MaxAreaSizeForClog: 12abc\n", 4},
        {"MaxAreaSizeForClog: -3\n", 4},
        {"MaxAreaSizeForClog:\n", 4},
        {"MaxAreaSizeForClog: 99999999999999999999999\n", 4},
        {"# MaxAreaSizeForClog: 9\nMaxAreaSizeForClog: 7\nMaxAreaSizeForClog: 6\n", 7},
        {"DumpDir: /var/dump\n", 4},
        {"MaxAreaSizeForClog 5\n", 4},
    };
    for (const Case &c : cases) {
        writeConf(c.conf);
        EXPECT_EQ(ConfigParmGet(), c.mb) << c.conf;
    }
    unlink((root_ + "/opt/morvane/tavutility/conf/tavlog.conf").c_str());
    EXPECT_EQ(ConfigParmGet(), 4u) << "missing file";
}

TEST_F(TavlogConfig, DumpDirectoryEndsAtTheLineEndAndNeedsItsKeyAndColon)
{
    char dir[1024];
    writeConf("# DumpDir: /old\nPtime: 3\nDumpDir: /var/tav dumps\r\nDumpDir: /second\n");
    ASSERT_EQ(GetDumpFileDir(dir, sizeof dir), 1);
    EXPECT_STREQ(dir, "/var/tav dumps");
    writeConf("Ptime: 3\n");
    EXPECT_EQ(GetDumpFileDir(dir, sizeof dir), 0);
    writeConf("DumpDir /var/dump\n");
    EXPECT_EQ(GetDumpFileDir(dir, sizeof dir), 0);
    unlink((root_ + "/opt/morvane/tavutility/conf/tavlog.conf").c_str());
    EXPECT_EQ(GetDumpFileDir(dir, sizeof dir), 0);
}

}  // namespace
