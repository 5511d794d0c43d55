// The service's configuration readers: tavlog.conf (Ptime, DumpDir),
// eventid.conf and evtrang.conf, read below a TAV_ROOT of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tavservice.h"
#include "tavtest.h"

namespace {

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

// A root holding only the configuration directory.
class ConfRoot {
public:
    ConfRoot()
    {
        char tmpl[] = "/tmp/tavsvcconf.XXXXXX";
        root_ = mkdtemp(tmpl);
        for (const char *d : {"/opt", "/opt/morvane", "/opt/morvane/tavutility", "/opt/morvane/tavutility/conf"})
            mkdir((root_ + d).c_str(), 0755);
        setenv("TAV_ROOT", root_.c_str(), 1);
    }
    ~ConfRoot()
    {
        unsetenv("TAV_ROOT");
        nftw(root_.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
    }
    void write(const std::string &name, const std::string &text)
    {
        tavtest::writeFile(root_ + "/opt/morvane/tavutility/conf/" + name, text);
    }

private:
    std::string root_;
};

struct ReadResult {
    ServiceConfigs configs{};
    int ok = 0;
    std::vector<uint32_t> ids() const
    {
        return configs.eventIds ? std::vector<uint32_t>(configs.eventIds, configs.eventIds + configs.eventIdCount)
                                : std::vector<uint32_t>{};
    }
};

ReadResult readAll(ConfRoot &root, const std::string &tavlog, const std::string &eventid)
{
    if (!tavlog.empty())
        root.write("tavlog.conf", tavlog);
    if (!eventid.empty())
        root.write("eventid.conf", eventid);
    ReadResult r;
    r.ok = ReadConfigFile(&r.configs);
    return r;
}

}  // namespace

TEST(ServiceConfig, PtimeValues)
{
    struct Case {
        const char *text;
        uint32_t ptime;
        int valid;
    } cases[] = {
        {"Ptime : 0x10\n", 16, 1},
        {"Ptime : 1000\n", 720, 1},
        {"Ptime : 12abc\n", 1, 0},
        {"Ptime :\n", 1, 0},
        {"Ptime : 0x\n", 1, 0},
        {"Ptime : 0\n", 0, 1},
        {"Ptime : 15 cycles\r\n", 15, 1},
        {"  Ptime: 7\n", 7, 1},
        {"# Ptime : 5\nPtime : 6\n", 6, 1},
        {"DumpDir : /x\n", 1, 0},
        {"Ptime : 3\nPtime : 4\n", 3, 1},
        {"Ptime : 99999999999\n", 720, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ConfRoot root;
        ReadResult r = readAll(root, c.text, "0 : 1\n");
        EXPECT_EQ(r.configs.Ptime, c.ptime);
        EXPECT_EQ(r.configs.ptimeValid, c.valid);
        FreeConfigs(&r.configs);
    }
}

TEST(ServiceConfig, DumpDirTakesTheFirstLineAndMayBeEmpty)
{
    struct Case {
        const char *text;
        const char *dumpDir;
        int valid;
    } cases[] = {
        {"DumpDir : /var/dumps\r\nDumpDir : /other\n", "/var/dumps", 1},
        {"DumpDir :\n", "", 1},
        {"#DumpDir : /x\n", "", 0},
        {"DumpDirectory : /y\n", "/y", 1},  // a key that merely begins with DumpDir matches too
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ConfRoot root;
        ReadResult r = readAll(root, c.text, "");
        EXPECT_STREQ(r.configs.DumpDir, c.dumpDir);
        EXPECT_EQ(r.configs.dumpDirValid, c.valid);
        FreeConfigs(&r.configs);
    }
    ConfRoot missing;
    ReadResult none = readAll(missing, "", "");
    EXPECT_EQ(none.configs.dumpDirValid, 0);
    EXPECT_EQ(none.configs.ptimeValid, 0);
    EXPECT_EQ(none.configs.Ptime, 1u);
    EXPECT_EQ(none.ok, 0);
}

TEST(ServiceConfig, EventIdsFollowTheRunningIndex)
{
    struct Case {
        const char *text;
        std::vector<uint32_t> ids;
    } cases[] = {
        {"0 : 4096\n2 : 4240\n", {4096}},  // index 1 missing: 2 is skipped
        {"0 : 4096\n1 : 0x1090\n", {4096, 4240}},
        {"# list\n0 : abc\n1 : 5\n", {5}},  // an invalid value still advances the index
        {"0 : 2147483648\n1 : 2147483647\n", {2147483647}},
        {"1 : 4096\n", {}},
        {"0 : 1\n1 : 2\n2 : 3\n3 : 4\n4 : 5\n5 : 6\n6 : 7\n7 : 8\n8 : 9\n9 : 10\n10 : 11\n",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ConfRoot root;
        ReadResult r = readAll(root, "DumpDir : /d\nPtime : 1\n", c.text);
        EXPECT_EQ(r.ids(), c.ids);
        EXPECT_EQ(r.configs.eventIdsValid, c.ids.empty() ? 0 : 1);
        EXPECT_EQ(r.ok, c.ids.empty() ? 0 : 1);
        FreeConfigs(&r.configs);
    }
}

TEST(ServiceConfig, MoreThan4096EventIdsKeepTheFirst4096)
{
    std::string text;
    for (int i = 0; i < 4100; ++i)
        text += std::to_string(i) + " : " + std::to_string(100000 + i) + "\n";
    ConfRoot root;
    ReadResult r = readAll(root, "Ptime : 1\n", text);
    ASSERT_EQ(r.configs.eventIdCount, 4096u);
    EXPECT_EQ(r.configs.eventIds[0], 100000u);
    EXPECT_EQ(r.configs.eventIds[4095], 104095u);
    FreeConfigs(&r.configs);
}

TEST(ServiceConfig, ThresholdFromEvtrang)
{
    struct Case {
        const char *text;
        uint32_t threshold;
    } cases[] = {
        {"4209 : 3\n", 3},  {"4209 : 0x20\n", 32}, {"4209 : 300\n", 10},
        {"4209 : x\n", 10}, {"4208 : 3\n", 10},    {"# 4209 : 3\n4209 : 4\n", 4},
        {"4209 : 0\n", 0},  {"4209:3\n", 10},      {"", 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ConfRoot root;
        if (*c.text)
            root.write("evtrang.conf", c.text);
        uint32_t threshold = 99;
        EXPECT_EQ(ThresholdReadConfigFile(4209, &threshold), 1);
        EXPECT_EQ(threshold, c.threshold);
    }
}

TEST(ServiceConfig, GetParameterCutsAtLineEnds)
{
    struct Case {
        const char *line;
        const char *value;
    } cases[] = {{"Key :  value\r\n", "value"}, {"Key:a:b\n", "a:b"}, {"no colon\n", ""}, {"Key :\t x y\n", "x y"}};
    for (const Case &c : cases) {
        char value[64];
        GetParameter(c.line, value, sizeof value);
        EXPECT_STREQ(value, c.value) << c.line;
    }
}
