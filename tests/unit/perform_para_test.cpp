// The statistics parameter file: the reader's verdicts over small files, the
// writers' exact text, and a rewrite cut short leaving the old file whole.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "perform_text.h"
#include "tavctl.h"
#include "tavctl_perform.h"
#include "tavctl_testutil.h"

namespace {

using tavctltest::ScratchRoot;
using tavtest::kPerformanceFile;
using tavtest::PerformanceText;
using tavtest::readFile;
using tavtest::writeFile;

class ParaFile : public ::testing::Test {
protected:
    void SetUp() override { root.makeDirs("/opt/morvane/tavutility/conf"); }
    std::string path() const { return root.path(kPerformanceFile); }
    void put(const std::string &text) { writeFile(path(), text); }
    AutoStaticPara read()
    {
        AutoStaticPara para;
        memset(&para, 0xAB, sizeof para);
        EXPECT_EQ(1, getAutoStaticPara(&para));
        return para;
    }
    ScratchRoot root;
};

struct ReadCase {
    const char *what;
    std::string text;
    int state;
};

TEST_F(ParaFile, ReaderVerdicts)
{
    std::string lowerFlagTwo = PerformanceText("1,10,6,/tmp/o.txt,txt");
    lowerFlagTwo.replace(lowerFlagTwo.find("ld3:0"), 5, "ld3:2");
    std::string threeSections = PerformanceText("1,10,6,/tmp/o.txt,txt");
    threeSections.erase(threeSections.find("adp3:"));
    std::string shortSection = PerformanceText("1,10,6,/tmp/o.txt,txt");
    shortSection.erase(shortSection.find("ld7:0\nadp1:"), 6);
    const std::vector<ReadCase> cases = {
        {"a start request", PerformanceText("1,10,6,/tmp/o.txt,txt"), 1},
        {"interval 1440, count 1000, csv", PerformanceText("1,1440,1000,/tmp/o.csv,csv"), 1},
        {"interval 0", PerformanceText("1,0,6,/tmp/o.txt,txt"), 3},
        {"interval 1441", PerformanceText("1,1441,6,/tmp/o.txt,txt"), 3},
        {"count 0", PerformanceText("1,10,0,/tmp/o.txt,txt"), 3},
        {"count 1001", PerformanceText("1,10,1001,/tmp/o.txt,txt"), 3},
        {"interval not a number", PerformanceText("1,1x,6,/tmp/o.txt,txt"), 3},
        {"empty file name", PerformanceText("1,10,6,,txt"), 3},
        {"extension in capitals", PerformanceText("1,10,6,/tmp/o.txt,TXT"), 3},
        {"other extension", PerformanceText("1,10,6,/tmp/o.txt,log"), 3},
        {"missing extension", PerformanceText("1,10,6,/tmp/o.txt"), 3},
        {"an extra field", PerformanceText("1,10,6,/tmp/o,x.txt,txt"), 3},
        {"state 4", PerformanceText("4,0,0,,txt"), 3},
        {"no head label", "1,10,6,/tmp/o.txt,txt\n", 3},
        {"empty file", "", 3},
        {"the stop file", tavtest::kStopPerformanceText, 2},
        {"the idle file", tavtest::kIdlePerformanceText, 0},
        {"a stop head alone", "static_para:2,0,0,,txt\n", 2},
        {"selection flag 2", lowerFlagTwo, 3},
        {"three adapter sections", threeSections, 3},
        {"a section one line short", shortSection, 3},
    };
    for (const ReadCase &c : cases) {
        put(c.text);
        AutoStaticPara para = read();
        EXPECT_EQ(c.state, para.state) << c.what;
        if (para.state != 1) {
            EXPECT_EQ(0, para.interval) << c.what;
            EXPECT_EQ(0, para.count) << c.what;
            EXPECT_STREQ("", para.fileName) << c.what;
            EXPECT_EQ(0, para.format) << c.what;
        }
    }
}

TEST_F(ParaFile, StartRequestReadsBackEveryField)
{
    put(PerformanceText("1,1440,1000,/var/tmp/stat out.csv,csv", {"0/0", "0/7", "3/2"}));
    AutoStaticPara para = read();
    ASSERT_EQ(1, para.state);
    EXPECT_EQ(1440, para.interval);
    EXPECT_EQ(1000, para.count);
    EXPECT_STREQ("/var/tmp/stat out.csv", para.fileName);
    EXPECT_EQ(TAV_AUTOSTAT_CSV, para.format);
    int selected = 0;
    for (int a = 0; a < 4; ++a) {
        for (int l = 0; l < 8; ++l) {
            selected += para.ldSelected[a][l];
        }
    }
    EXPECT_EQ(3, selected);
    EXPECT_EQ(1, para.ldSelected[0][7]);
    EXPECT_EQ(1, para.ldSelected[3][2]);
}

TEST_F(ParaFile, MissingFileIsInvalid)
{
    AutoStaticPara para = read();
    EXPECT_EQ(3, para.state);
    EXPECT_EQ(0, getAutoStaticPara(nullptr));
}

TEST(ParaFileDirectory, MissingDirectoryIsMadeForTheWriters)
{
    ScratchRoot root;
    root.makeDirs("/opt/morvane/tavutility");
    AutoStaticPara para;
    ASSERT_EQ(1, getAutoStaticPara(&para));
    EXPECT_EQ(3, para.state);
    struct stat st;
    ASSERT_EQ(0, stat(root.path("/opt/morvane/tavutility/conf").c_str(), &st));
    EXPECT_EQ(0755u, st.st_mode & 07777);
    EXPECT_EQ(1, stop_AutoStatic());
}

AutoStaticPara startRequest(const char *name, uint8_t format)
{
    AutoStaticPara para;
    memset(&para, 0, sizeof para);
    para.state = 0;  // not used by the writer
    para.interval = 10;
    para.count = 6;
    snprintf(para.fileName, sizeof para.fileName, "%s", name);
    para.format = format;
    para.ldSelected[0][0] = 1;
    para.ldSelected[2][5] = 1;
    return para;
}

TEST_F(ParaFile, WritersProduceTheExactText)
{
    ASSERT_EQ(1, start_AutoStatic(startRequest("/tmp/o.txt", TAV_AUTOSTAT_TEXT)));
    EXPECT_EQ(PerformanceText("1,10,6,/tmp/o.txt,txt", {"0/0", "2/5"}), readFile(path()));
    EXPECT_EQ(1, read().state);
    ASSERT_EQ(1, start_AutoStatic(startRequest("/tmp/o.csv", 7)));  // any other format is csv
    EXPECT_EQ(PerformanceText("1,10,6,/tmp/o.csv,csv", {"0/0", "2/5"}), readFile(path()));
    ASSERT_EQ(1, stop_AutoStatic());
    EXPECT_EQ(tavtest::kStopPerformanceText, readFile(path()));
    AutoStaticPara idle;
    memset(&idle, 0, sizeof idle);
    idle.format = TAV_AUTOSTAT_TEXT;
    ASSERT_EQ(1, writeAutoStaticFile(&idle));
    EXPECT_EQ(tavtest::kIdlePerformanceText, readFile(path()));
    EXPECT_FALSE(tavtest::fileExists(path() + ".tmp"));
}

TEST_F(ParaFile, WriterThatCannotCreateFailsWithFopen)
{
    put(tavtest::kIdlePerformanceText);
    {
        tavtest::DescriptorLimit limit(1);  // the directory opens, the new text's file does not
        EXPECT_EQ(0, stop_AutoStatic());
        EXPECT_EQ(0, start_AutoStatic(startRequest("/tmp/o.txt", TAV_AUTOSTAT_TEXT)));
    }
    EXPECT_EQ(tavtest::kIdlePerformanceText, readFile(path()));
}

// A writer whose file size limit stops it part way through its text, as a
// crash or a full disk would: the file the service reads stays the old one.
TEST_F(ParaFile, InterruptedRewriteLeavesTheOldFileWhole)
{
    const std::string before = PerformanceText("1,10,6,/tmp/o.txt,txt", {"1/1"});
    put(before);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(stop_AutoStatic() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "the cut-short write must fail";
    EXPECT_EQ(before, readFile(path()));
    EXPECT_FALSE(tavtest::fileExists(path() + ".tmp"));
    EXPECT_EQ(1, read().state);
}

}  // namespace
