// tavcli's shared routines, linked from tavcli_core: the target
// parsers, the adapter x LD matrix, the state texts, the report of a library
// error word and the output-file check.

#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tavcli.h"
#include "tavctl_testutil.h"
#include "tavtest.h"

namespace {

using tavctltest::StdoutCapture;
using tavtest::SimServer;

std::vector<int> Slots(const uint8_t *slots, size_t count)
{
    return std::vector<int>(slots, slots + count);
}

// A list as the parsers leave it: the numbers, then empty slots.
std::vector<int> Padded(std::vector<int> numbers, size_t count)
{
    numbers.resize(count, CLI_EMPTY_SLOT);
    return numbers;
}

// A message as a death-test pattern: every character taken literally.
std::string Literal(const std::string &text)
{
    std::string pattern;
    for (char c : text) {
        if (strchr("\\^$.|?*+()[]{}", c) != nullptr)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

// Start of a death test's child: the tool prints on standard output, death
// tests read standard error; and the library keeps its error word per
// process and thread, so the forked child registers its own.
void InChild()
{
    dup2(STDERR_FILENO, STDOUT_FILENO);
    registerDLLError();
}

// ---- LD and PD lists: no adapter involved ----

struct LdCase {
    const char *text;
    bool valid;
    std::vector<int> lds;
};

TEST(TavcliLdParser, FormsAndRefusals)
{
    const LdCase cases[] = {
        {"lall", true, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"l0,1,2,3,4,5,6,7", true, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"l3,1", true, {3, 1}},
        {"l1,", true, {1}},
        {"l7,0,", true, {7, 0}},
        {"sl3", true, {3}},
        {"dl7", true, {7}},
        {"sl", true, {}},
        {"dl", true, {}},
        {"l", false, {}},
        {"l,", false, {}},
        {"l,1", false, {}},
        {"l1,,2", false, {}},
        {"l1,1", false, {}},
        {"l8", false, {}},
        {"l12", false, {}},
        {"l1x", false, {}},
        {"l 1", false, {}},
        {"lal", false, {}},
        {"lalll", false, {}},
        {"sl8", false, {}},
        {"sl12", false, {}},
        {"slx", false, {}},
        {"dl1,2", false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        uint8_t lds[CLI_LD_SLOTS];
        memset(lds, 0x5A, sizeof lds);
        EXPECT_EQ(GetLogicalDriveNo(c.text, lds), c.valid ? 1 : 0);
        EXPECT_EQ(Slots(lds, CLI_LD_SLOTS), Padded(c.lds, CLI_LD_SLOTS));
    }
}

struct PdCase {
    const char *text;
    int keepOrder;
    bool valid;
    std::vector<int> pds;
};

TEST(TavcliPdParser, FormsAndRefusals)
{
    const PdCase cases[] = {
        {"physdrv[0:0,1:1]", 0, true, {0, 1}},
        {"physdrv[0:3,0:1]", 0, true, {1, 3}},
        {"physdrv[0:3,0:1]", 1, true, {3, 1}},
        {"physdrv[0:1,9:0]", 0, true, {0, 1}},
        {"physdrv[12:5]", 0, true, {5}},
        {"physdrv[0:7,0:6,0:5,0:4,0:3,0:2,0:1,0:0]", 0, true, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"physdrv[0:7,0:6,0:5,0:4,0:3,0:2,0:1,0:0]", 1, true, {7, 6, 5, 4, 3, 2, 1, 0}},
        {"physdrv[0:1]x", 0, false, {}},
        {"physdrv[0:1]]", 0, false, {}},
        {"physdrv[1]", 0, false, {}},
        {"physdrv[]", 0, false, {}},
        {"physdrv[0:8]", 0, false, {}},
        {"physdrv[0:10]", 0, false, {}},
        {"physdrv[0:1,0:1]", 0, false, {}},
        {"physdrv[0:]", 0, false, {}},
        {"physdrv[0:x]", 0, false, {}},
        {"physdrv[0:1", 0, false, {}},
        {"physdrv[0:1,]", 0, false, {}},
        {"physdrv[0:1,x:2]", 0, false, {}},
        {"physdrv[0:1;0:2]", 0, false, {}},
        // Every item after a "," is a drive item of its own, and the list is
        // closed by "]".
        {"physdrv[0:1,2]", 0, false, {}},
        {"physdrv[0:1,2", 0, false, {}},
        {"physdrv[0:1,2,3:4]", 0, false, {}},
        {"physdrv0:1]", 0, false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.text) + (c.keepOrder ? " keep order" : " sorted"));
        uint8_t pds[CLI_PD_SLOTS];
        memset(pds, 0x5A, sizeof pds);
        EXPECT_EQ(GetPhysicalDriveNo(c.text, pds, c.keepOrder), c.valid ? 1 : 0);
        EXPECT_EQ(Slots(pds, CLI_PD_SLOTS), Padded(c.pds, CLI_PD_SLOTS));
    }
}

struct GListCase {
    const char *text;
    bool valid;
    uint16_t value;
};

TEST(TavcliGListValue, DigitsAfterTheKeyword)
{
    const uint16_t untouched = 4321;
    const GListCase cases[] = {
        {"pl5", true, 5},
        {"om00042", true, 42},
        {"hy65535", true, 65535},
        {"oy0", true, 0},
        {"all300", true, 300},
        {"pl", true, untouched},
        {"all", true, untouched},
        // Values that 16 bits cannot hold are refused, not wrapped.
        {"pl65536", false, untouched},
        {"pl99999", false, untouched},
        {"pl123456", false, untouched},
        {"pl12x", false, untouched},
        {"pl-1", false, untouched},
        {"all5a", false, untouched},
        {"p", false, untouched},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        uint16_t value = untouched;
        EXPECT_EQ(GetGListPLNo(c.text, &value), c.valid ? 1 : 0);
        EXPECT_EQ(value, c.value);
    }
}

// ---- with the library open on a simulated server ----

// Adapter 0 has LDs 0 and 1, adapter 1 none.
const char kTwoAdapters[] = R"({"adapters": [
  {"host": 2, "model": "ZN5121",
   "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
              {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS"}],
   "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]},
                      {"number": 1, "raid": 1, "members": [2, 3]}]},
  {"host": 5, "model": "ZN5120", "drives": [{"slot": 0, "interface": "SATA"}]}]})";

class TavcliWithLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.ok()) << sim.initOutput();
        sim.activate();
        ASSERT_EQ(initContData(1), 1);
    }
    void TearDown() override { finContData(); }

    SimServer sim{kTwoAdapters};
};

TEST_F(TavcliWithLibrary, AdapterListForms)
{
    const LdCase cases[] = {
        {"aall", true, {0, 1}}, {"a1,0", true, {0, 1}}, {"a0,1", true, {0, 1}}, {"a1", true, {1}},    {"a", false, {}},
        {"a,1", false, {}},     {"a1,", false, {}},     {"a1,1", false, {}},    {"a1,,0", false, {}}, {"a4", false, {}},
        {"a10", false, {}},     {"ax", false, {}},      {"a1;0", false, {}},    {"aal", false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        uint8_t adapters[CLI_ADAPTER_SLOTS];
        StdoutCapture out;
        EXPECT_EQ(GetAdapterNo(c.text, adapters), c.valid ? 1 : 0);
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(Slots(adapters, CLI_ADAPTER_SLOTS), Padded(c.lds, CLI_ADAPTER_SLOTS));
    }
}

// Each number is confirmed as soon as it is read: a missing adapter ends the
// process even when the rest of the list would be refused.
TEST_F(TavcliWithLibrary, MissingAdapterEndsTheProcess)
{
    const struct {
        const char *text;
        const char *number;
    } cases[] = {{"a2", "2"}, {"a0,3", "3"}, {"a2,2", "2"}, {"a3,", "3"}, {"a0,2,x", "2"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EXIT(
            {
                InChild();
                uint8_t adapters[CLI_ADAPTER_SLOTS];
                GetAdapterNo(c.text, adapters);
            },
            ::testing::ExitedWithCode(CLI_EXIT_FATAL),
            "^" + Literal("Fatal error - The specified Adapter: " + std::string(c.number) + " doesn't exist.\n") + "$");
    }
}

// A listed adapter that cannot be confirmed for another reason stays in the
// list; one of all adapters ends the process with the library's message.
TEST_F(TavcliWithLibrary, UnconfirmedAdapter)
{
    ASSERT_EQ(sim.inject({"--adapter", "1", "check-condition", "5", "0x20", "0", "3"}).status, 0);
    uint8_t adapters[CLI_ADAPTER_SLOTS];
    StdoutCapture out;
    EXPECT_EQ(GetAdapterNo("a1", adapters), 1);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(Slots(adapters, CLI_ADAPTER_SLOTS), Padded({1}, CLI_ADAPTER_SLOTS));

    ASSERT_EQ(sim.inject({"--adapter", "1", "check-condition", "5", "0x20", "0", "3"}).status, 0);
    EXPECT_EXIT(
        {
            InChild();
            GetAdapterNo("aall", adapters);
        },
        ::testing::ExitedWithCode(CLI_EXIT_FATAL),
        "^" + Literal("The error was detected as an Adapter 1.\nPlease ascertain the situation.\n") + "$");
}

struct MatrixCase {
    std::vector<int> adapters;
    const char *lds;
    std::vector<std::vector<int>> selected;  // per adapter 0-3: the LDs marked
};

TEST_F(TavcliWithLibrary, AdapterLdMatrix)
{
    const MatrixCase cases[] = {
        {{0, 1}, "lall", {{0, 1}, {}, {}, {}}},
        {{0, 1}, "l7,6,5,4,3,2,1,0", {{0, 1}, {}, {}, {}}},
        {{0}, "l1,0", {{0, 1}, {}, {}, {}}},
        {{1}, "lall", {{}, {}, {}, {}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lds);
        uint8_t adapters[CLI_ADAPTER_SLOTS];
        memset(adapters, CLI_EMPTY_SLOT, sizeof adapters);
        for (size_t i = 0; i < c.adapters.size(); ++i)
            adapters[i] = uint8_t(c.adapters[i]);
        uint8_t lds[CLI_LD_SLOTS];
        ASSERT_EQ(GetLogicalDriveNo(c.lds, lds), 1);
        uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS];
        StdoutCapture out;
        EXPECT_EQ(getAdpLdArray(adapters, lds, matrix), 1);
        EXPECT_EQ(out.text(), "");
        for (int a = 0; a < CLI_ADAPTER_SLOTS; ++a) {
            std::vector<int> expected(CLI_LD_SLOTS, CLI_EMPTY_SLOT);
            for (int ld : c.selected[a])
                expected[ld] = CLI_LD_SELECTED;
            EXPECT_EQ(Slots(matrix[a], CLI_LD_SLOTS), expected) << "adapter " << a;
        }
    }
}

TEST_F(TavcliWithLibrary, MatrixStopsOnAnExplicitMissingLd)
{
    uint8_t adapters[CLI_ADAPTER_SLOTS] = {0, 1, CLI_EMPTY_SLOT, CLI_EMPTY_SLOT};
    uint8_t lds[CLI_LD_SLOTS];
    ASSERT_EQ(GetLogicalDriveNo("l1,0", lds), 1);
    uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS];
    EXPECT_EXIT(
        {
            InChild();
            getAdpLdArray(adapters, lds, matrix);
        },
        ::testing::ExitedWithCode(CLI_EXIT_FATAL),
        "^" + Literal("Fatal error - Adapter 1-The specified Virtual Drives: 1 doesn't exist.\n") + "$");
}

TEST_F(TavcliWithLibrary, MatrixReportsAFailedStatusRead)
{
    ASSERT_EQ(sim.inject({"check-condition", "5", "0x20", "0", "50"}).status, 0);
    uint8_t adapters[CLI_ADAPTER_SLOTS] = {0, CLI_EMPTY_SLOT, CLI_EMPTY_SLOT, CLI_EMPTY_SLOT};
    uint8_t lds[CLI_LD_SLOTS];
    ASSERT_EQ(GetLogicalDriveNo("lall", lds), 1);
    uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS];
    StdoutCapture out;
    EXPECT_EQ(getAdpLdArray(adapters, lds, matrix), 0);
    EXPECT_EQ(out.text(), "The error was detected as an Adapter 0.\nPlease ascertain the situation.\n");
}

// ---- state texts ----

struct TextRow {
    int selector;
    int code;
    const char *text;
};

const TextRow kTextRows[] = {
    {1, 0x00, "Good"},
    {1, 0x01, "Attention1"},
    {1, 0x02, "Attention2"},
    {1, 0x03, "Attention3"},
    {1, 0x04, "Attention4"},
    {1, 0x05, "Attention5"},
    {1, 0x06, "Attention6"},
    {1, 0x10, "Warning0"},
    {1, 0x11, "Warning1"},
    {1, 0x12, "Warning2"},
    {1, 0x13, "Warning3"},
    {1, 0x14, "Warning4"},
    {1, 0x15, "Warning5"},
    {1, 0x16, "Warning6"},
    {1, 0x20, "Alarm0"},
    {1, 0x21, "Alarm1"},
    {1, 0x22, "Alarm2"},
    {1, 0x23, "Alarm3"},
    {1, 0x24, "Alarm4"},
    {1, 0xFF, "Nonexist"},
    {2, 0, "Global"},
    {2, 1, "Group"},
    {2, 2, "None"},
    {3, 0, "Enabled"},
    {3, 1, "Disabled"},
    {4, 0, "Not Needed"},
    {4, 1, "Needed"},
    {4, 2, "Rebuild Executing"},
    {5, 0, "No Operation"},
    {5, 1, "Checking Parity"},
    {5, 2, "Writing Parity"},
    {6, 0, "None"},
    {6, 1, "It is."},
    {7, 0, "RA"},
    {7, 1, "NORA"},
    {8, 0, "WB"},
    {8, 1, "WT"},
    {9, 0, "Member Use"},
    {9, 1, "Member No Use"},
    {9, 2, "Spare Use"},
    {9, 3, "Spare No Use"},
    {9, 4, "Fresh"},
    {9, 5, "Restore Candidate"},
    {16, 0x00, "Good"},
    {16, 0x01, "Attention1"},
    {16, 0x02, "Attention2"},
    {16, 0x03, "Attention3"},
    {16, 0x04, "Attention4"},
    {16, 0x05, "Attention5"},
    {16, 0x06, "Attention6"},
    {16, 0x20, "Alarm0"},
    {16, 0x21, "Alarm1"},
    {16, 0x22, "Alarm2"},
    {16, 0x23, "Alarm3"},
    {16, 0x24, "Alarm4"},
    {16, 0x25, "Alarm5"},
    {16, 0x26, "Alarm6"},
    {16, 0x27, "Alarm7"},
    {16, 0x80, "Not Supported"},
    {16, 0xFF, "Nonexist"},
    {17, 7, "1.5Gbps"},
    {17, 8, "3.0Gbps"},
    {17, 0xFE, "Link Error"},
    {17, 0xFF, "PHY Disabled"},
    {18, 0, "None"},
    {18, 4, "Received"},
    {19, 0, "None"},
    {19, 6, "Exist"},
    {19, 0x16, "Over"},
    {20, 1, "High"},
    {20, 2, "Middle"},
    {20, 3, "Low"},
};

// The caller's buffer size of each selector.
const int kCuts[][2] = {{1, 14}, {2, 7},  {3, 9},   {4, 20},  {5, 16},  {6, 7},   {7, 5},
                        {8, 5},  {9, 18}, {16, 14}, {17, 16}, {18, 10}, {19, 10}, {20, 7}};

TEST(TavcliStateTexts, EveryCodeOfEveryTable)
{
    for (const auto &row : kTextRows) {
        SCOPED_TRACE(std::to_string(row.selector) + "/" + std::to_string(row.code));
        char text[64];
        memset(text, 'x', sizeof text);
        getOutputStr(row.selector, row.code, text, sizeof text, 0);
        EXPECT_STREQ(text, row.text);
    }
}

TEST(TavcliStateTexts, TextsFitTheirTableCutAndTheCallerBuffer)
{
    for (const auto &cut : kCuts) {
        for (const auto &row : kTextRows) {
            if (row.selector != cut[0])
                continue;
            SCOPED_TRACE(row.text);
            ASSERT_LT(strlen(row.text), size_t(cut[1]));
            std::vector<char> exact(size_t(cut[1]), 'x');
            getOutputStr(row.selector, row.code, exact.data(), exact.size(), 1);
            EXPECT_STREQ(exact.data(), row.text);
            char small[4];
            memset(small, 'x', sizeof small);
            getOutputStr(row.selector, row.code, small, sizeof small, 1);
            EXPECT_EQ(std::string(small), std::string(row.text).substr(0, 3));
        }
    }
}

TEST_F(TavcliWithLibrary, UnknownCodeEndsTheProcess)
{
    for (const auto &cut : kCuts) {
        SCOPED_TRACE(cut[0]);
        EXPECT_EXIT(
            {
                InChild();
                char text[32];
                getOutputStr(cut[0], 0x7F, text, sizeof text, 2);
            },
            ::testing::ExitedWithCode(CLI_EXIT_FATAL),
            "^" + Literal("Fatal error - Adapter 2: DLL information is abnormal.\n") + "$");
    }
}

TEST_F(TavcliWithLibrary, UndefinedSelectorEndsTheProcess)
{
    for (int selector : {0, 10, 11, 12, 13, 14, 15, 21, -1}) {
        SCOPED_TRACE(selector);
        EXPECT_EXIT(
            {
                InChild();
                char text[32];
                getOutputStr(selector, 0, text, sizeof text, 0);
            },
            ::testing::ExitedWithCode(CLI_EXIT_FATAL),
            "^" + Literal("Fatal error - Internal error -0x100000100010.\n") + "$");
    }
}

// ---- the report of a library error word ----

struct ErrorCase {
    uint32_t code;
    int systemError;
    int adapter;
    const char *message;
};

TEST_F(TavcliWithLibrary, InternalErrorMessages)
{
    const ErrorCase cases[] = {
        {0x00000000, 0, 0, "Fatal error - Internal error -0x000000000000.\n"},
        {0x00000080, 0, 0, "Fatal error - Internal error -0x000000000080.\n"},
        {0x00010010, 0, 1, "Fatal error - Internal error -0x100000010010.\n"},
        {0x10000040, 0, 1, "Fatal error - Internal error -0x100010000040.\n"},
        {0x00004000, 0, 255, "Fatal error - Internal error -0x100000004000.\n"},
        {0x10000100, 0, 2, "Fatal error - Internal error -0x200010000100.\n"},
        {0x00001000, 0, 2, "Fatal error - Internal error -0x200000001000.\n"},
        // Internal failures outrank the adapter, state and busy messages.
        {0x00003100, 0, 2, "Fatal error - Internal error -0x200000003100.\n"},
        {0x00009020, 0, 2, "Fatal error - Internal error -0x200000009020.\n"},
        {0x10002000, 0, 3, "The error was detected as an Adapter 3.\nPlease ascertain the situation.\n"},
        {0x00002020, 0, 255, "The error was detected as an Adapter.\nPlease ascertain the situation.\n"},
        {0x00000020, 0, 1, "Adapter 1: The specified operation cannot be executed.\nPlease ascertain the situation.\n"},
        {0x10000021, 0, 255, "The specified operation cannot be executed.\nPlease ascertain the situation.\n"},
        {0x00008000, 0, 0,
         "Fatal error - The competition with another application occurred.\nPlease execute it after opening the "
         "interval.\n"},
        {0x00000400, 0, 0, ""},
        {0x00000410, 0, 0, ""},
        {0x00000500, 0, 0, ""},
        {0x00000200, EACCES, 0, "Fatal error - Internal error -0x40000000000d.\n"},
        {0x10000210, ENOENT, 0, "Fatal error - Internal error -0x400000000002.\n"},
        {0x00000300, ENOENT, 0, "Fatal error - Internal error -0x400000000002.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        DLLSetErrorCode(c.code);
        StdoutCapture out;
        errno = c.systemError;
        InternalError(c.adapter, MOD_CMD_COM, __LINE__);
        EXPECT_EQ(out.text(), c.message);
    }
}

// ---- the output-file check ----

class TavcliFileCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tavcli-file.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { tavtest::runCommand({"rm", "-rf", dir}); }

    std::string dir;
};

TEST_F(TavcliFileCheck, MissingFileIsCreatedAndResolved)
{
    ASSERT_EQ(mkdir((dir + "/real").c_str(), 0755), 0);
    ASSERT_EQ(symlink((dir + "/real").c_str(), (dir + "/link").c_str()), 0);
    std::string named = dir + "/link/../link/stats.txt";
    char resolved[PATH_MAX];
    StdoutCapture out;
    EXPECT_EQ(FileCheck(named.c_str(), resolved), 1);
    EXPECT_EQ(out.text(), "");
    char expected[PATH_MAX];
    ASSERT_NE(realpath(dir.c_str(), expected), nullptr);
    EXPECT_EQ(std::string(resolved), std::string(expected) + "/real/stats.txt");
    struct stat st;
    ASSERT_EQ(stat((dir + "/real/stats.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

TEST_F(TavcliFileCheck, ExistingFileKeepsItsContent)
{
    std::string path = dir + "/kept";
    tavtest::writeFile(path, "data");
    char resolved[PATH_MAX];
    EXPECT_EQ(FileCheck(path.c_str(), resolved), 1);
    EXPECT_EQ(tavtest::readFile(path), "data");
}

TEST_F(TavcliFileCheck, UncreatableFileIsRefused)
{
    std::string path = dir + "/no/such/dir/file";
    char resolved[PATH_MAX];
    StdoutCapture out;
    EXPECT_EQ(FileCheck(path.c_str(), resolved), 0);
    EXPECT_EQ(out.text(), "Fatal error - " + path + ": file open failure.\n");
}

}  // namespace
