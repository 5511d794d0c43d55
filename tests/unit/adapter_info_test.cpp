// Adapter information and settings against simulated adapters: the controller
// record byte by byte on both card types, the raw parameter buffers, rebuild
// priorities, patrol delay, G-list limits, server model and log version,
// library version and the error words.
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "info_fixture.h"
#include "tavctl_testutil.h"
#include "tavdllctl_util.h"

using infotest::bytesOf;
using infotest::hostU16;
using infotest::hostU32;
using infotest::json;
using infotest::OpenServer;
using infotest::padded;
using infotest::textAt;
using infotest::zeroBetween;

namespace {

std::string adapterServer(const std::string &model, const std::string &extra = std::string())
{
    return R"({"adapters": [{"host": 2, "model": ")" + model + R"(", "pci_bus": 5, "pci_slot": 12,
      "driver_version": "1.2.4.54", "cont_para_bytes_0_3": [1, 2, 3, 4], "cont_para_bytes_74_77": [5, 6, 7, 8],
      "cache_bytes": 268435456, "write_cache_bytes": 1048575, "memory_bytes": 4194304,
      "general_revision": "0522", "boot_revision": "B0105", "flash_revision_1": "0410",
      "flash_revision_2": "0409", "flash_state": 19, "processor_revision": [9, 8, 7, 6],
      "adapter_version": 51, "cont_para_byte_72": 68, "sas_address": "500000E0123456F0",
      "priority_idle": 2, "priority_busy": 3, "patrol_delay": 2,
      "glist_prevent_limit": 100, "glist_one_month": 10, "glist_half_year": 20, "glist_one_year": 30,
      "drives": [{"slot": 0, "interface": "SAS"}],
      "logical_drives": [{"number": 0, "raid": 0, "members": [0]}])" +
           extra + "}]}";
}

struct CardCase {
    const char *model;
    uint8_t cardType;
};

void PrintTo(const CardCase &c, std::ostream *os)
{
    *os << c.model;
}

class AdapterRecords : public ::testing::TestWithParam<CardCase> {
protected:
    void SetUp() override { ASSERT_TRUE(s.open()); }
    OpenServer s{adapterServer(GetParam().model)};
};

TEST_P(AdapterRecords, ControllerRecordCarriesEveryPlacedByte)
{
    DLL_GET_CONTROLLER_INFO info;
    memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(1, getContInfo(0, &info)) << std::hex << DLLGetLastError();
    const std::vector<uint8_t> b = bytesOf(info);

    EXPECT_EQ(0, b[0]);
    EXPECT_TRUE(zeroBetween(b, 1, 12));
    EXPECT_EQ(5, b[12]);   // PCI bus
    EXPECT_EQ(12, b[13]);  // PCI device
    EXPECT_EQ(51, b[14]);  // adapter version
    EXPECT_TRUE(zeroBetween(b, 15, 20));
    const uint16_t version[4] = {1, 2, 4, 54};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(version[i], hostU16(b, 20 + 2 * i));
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(1 + i, b[28 + i]);
        EXPECT_EQ(5 + i, b[32 + i]);
    }
    EXPECT_TRUE(zeroBetween(b, 36, 44));
    EXPECT_EQ(4u, hostU32(b, 44));    // 4 MiB of memory
    EXPECT_EQ(256u, hostU32(b, 48));  // cache
    EXPECT_EQ(0u, hostU32(b, 52));    // 0x000FFFFF bytes of write cache
    EXPECT_EQ(2, hostU16(b, 56));     // rebuild priority idle
    EXPECT_EQ(3, hostU16(b, 58));     // rebuild priority busy
    EXPECT_EQ(2, hostU16(b, 60));     // patrol delay
    EXPECT_EQ(68, b[62]);
    EXPECT_TRUE(zeroBetween(b, 63, 66));
    EXPECT_EQ(padded(GetParam().model, 8), textAt(b, 66, 8));
    EXPECT_EQ("0522", textAt(b, 74, 4));
    EXPECT_EQ(0, b[78]);
    EXPECT_EQ(GetParam().cardType, b[79]);
    EXPECT_TRUE(zeroBetween(b, 80, 84));
}

TEST_P(AdapterRecords, ControllerParametersComeAsRead)
{
    DLL_CONT_PARA para;
    ASSERT_EQ(1, getContPara(0, &para)) << std::hex << DLLGetLastError();
    const std::vector<uint8_t> b = bytesOf(para);
    const std::vector<uint8_t> head = {1, 2, 3, 4}, cache = {0x10, 0, 0, 0}, writeCache = {0, 0x0F, 0xFF, 0xFF};
    const std::vector<uint8_t> memory = {0, 0x40, 0, 0}, tail = {5, 6, 7, 8}, processor = {9, 8, 7, 6};
    const std::vector<uint8_t> sas = {0x50, 0x00, 0x00, 0xE0, 0x12, 0x34, 0x56, 0xF0};
    EXPECT_EQ(head, std::vector<uint8_t>(b.begin(), b.begin() + 4));
    EXPECT_EQ(cache, std::vector<uint8_t>(b.begin() + 16, b.begin() + 20));
    EXPECT_EQ(writeCache, std::vector<uint8_t>(b.begin() + 20, b.begin() + 24));
    EXPECT_EQ(padded("B0105", 8), textAt(b, 42, 8));
    EXPECT_EQ("0522", textAt(b, 50, 4));
    EXPECT_EQ(processor, std::vector<uint8_t>(b.begin() + 64, b.begin() + 68));
    EXPECT_EQ(51, b[69]);
    EXPECT_EQ(68, b[72]);
    EXPECT_EQ(tail, std::vector<uint8_t>(b.begin() + 74, b.begin() + 78));
    EXPECT_EQ(memory, std::vector<uint8_t>(b.begin() + 78, b.begin() + 82));
    EXPECT_EQ(sas, std::vector<uint8_t>(b.begin() + 92, b.begin() + 100));
    EXPECT_EQ("0410", textAt(b, 100, 4));
    EXPECT_EQ("0409", textAt(b, 104, 4));
    EXPECT_EQ(19, b[108]);
}

INSTANTIATE_TEST_SUITE_P(CardTypes, AdapterRecords, ::testing::Values(CardCase{"ZN5120", 7}, CardCase{"ZN5121", 16}),
                         [](const ::testing::TestParamInfo<CardCase> &p) { return std::string(p.param.model); });

TEST(AdapterParameters, SystemParametersCarryTheGenerationCode)
{
    for (int generation : {0, 1}) {
        OpenServer s(adapterServer("ZN5121", R"(, "generation": )" + std::to_string(generation)));
        ASSERT_TRUE(s.open());
        uint8_t para[256];
        ASSERT_EQ(1, getSysPara(0, para));
        EXPECT_EQ(generation == 0 ? 8 : 16, para[0]);
    }
}

TEST(AdapterSelection, NumberPastTheAdapterTablesSelectsNothing)
{
    OpenServer s(adapterServer("ZN5121"));
    ASSERT_TRUE(s.open());
    for (uint8_t contNo : {4, 5, 8, 255}) {  // 4 and 8 once wrapped onto adapter 0
        uint64_t before = s.commands();
        EXPECT_EQ(0, TavDllLcSetupAdapter(contNo)) << int(contNo);
        EXPECT_EQ(0x00020010u, DLLGetLastError()) << int(contNo);
        EXPECT_EQ(before, s.commands()) << int(contNo);
    }
    EXPECT_EQ(1, TavDllLcSetupAdapter(0));
}

class AdapterSettings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(s.open()); }

    // Idle and busy rebuild priority and patrol delay as the adapter holds them.
    std::vector<int> settings() const
    {
        const json a = s.adapter();
        return {a["priorities"]["idle"], a["priorities"]["busy"], a["patrol_delay"]};
    }
    std::vector<int> glist() const
    {
        const json g = s.adapter()["glist"];
        return {g["prevent_limit"], g["one_month"], g["half_year"], g["one_year"]};
    }
    // Settings-changed events for the two pages since `from`.
    std::vector<int> pagesSent(size_t from) const
    {
        std::vector<int> pages;
        const json events = s.adapter()["events"];
        for (size_t i = from; i < events.size(); ++i) {
            if (events[i]["event"] == "settings-changed") {
                pages.push_back(events[i]["subject"]);
            }
        }
        return pages;
    }
    size_t eventCount() const { return s.adapter()["events"].size(); }

    OpenServer s{adapterServer("ZN5121")};
};

TEST_F(AdapterSettings, PrioritiesOutsideOneToThreeAreRefusedWithNothingSent)
{
    int (*const setters[])(uint8_t, uint8_t) = {setRESTintvBUSY, setRESTintvIDLE, setHDDintv};
    for (auto setter : setters) {
        for (uint8_t value : {0, 4}) {
            uint64_t before = s.commands();
            EXPECT_EQ(0, setter(0, value));
            EXPECT_EQ(0x00040010u, DLLGetLastError());
            EXPECT_EQ(before, s.commands());
        }
    }
    EXPECT_EQ((std::vector<int>{2, 3, 2}), settings());
}

TEST_F(AdapterSettings, EachSettingIsChangedAloneAndBothPagesAreSent)
{
    struct Case {
        int (*setter)(uint8_t, uint8_t);
        uint8_t value;
        std::vector<int> after;
    };
    const Case cases[] = {
        {setRESTintvIDLE, 1, {1, 3, 2}},
        {setRESTintvBUSY, 2, {1, 2, 2}},
        {setHDDintv, 3, {1, 2, 3}},
    };
    for (const Case &c : cases) {
        size_t events = eventCount();
        ASSERT_EQ(1, c.setter(0, c.value)) << std::hex << DLLGetLastError();
        EXPECT_EQ(c.after, settings());
        EXPECT_EQ((std::vector<int>{0x31, 0x36}), pagesSent(events));
        EXPECT_EQ((std::vector<int>{100, 10, 20, 30}), glist());
    }
}

TEST_F(AdapterSettings, OtherValuesAreTheOnesReadJustBefore)
{
    // Another process changes the busy priority and the patrol delay.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(setRESTintvBUSY(0, 1) == 1 && setHDDintv(0, 3) == 1 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ((std::vector<int>{2, 1, 3}), settings());

    ASSERT_EQ(1, setRESTintvIDLE(0, 3));
    EXPECT_EQ((std::vector<int>{3, 1, 3}), settings());
}

TEST_F(AdapterSettings, GListLimitsReadAndWritten)
{
    DLL_GLIST_INFO limits;
    ASSERT_EQ(1, getGListInfo(0, &limits));
    const std::vector<uint8_t> b = bytesOf(limits);
    EXPECT_EQ(100, hostU16(b, 0));
    EXPECT_EQ(10, hostU16(b, 2));
    EXPECT_EQ(20, hostU16(b, 4));
    EXPECT_EQ(30, hostU16(b, 6));

    const DLL_GLIST_INFO wanted = {7, 8, 9, 1000};
    ASSERT_EQ(1, setGListInfo(0, &wanted));
    EXPECT_EQ((std::vector<int>{7, 8, 9, 1000}), glist());
    EXPECT_EQ((std::vector<int>{2, 3, 2}), settings());

    EXPECT_EQ(0, setGListInfo(0, nullptr));
    EXPECT_EQ(0x00100010u, DLLGetLastError());
    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    EXPECT_EQ(0, getGListInfo(0, &limits));
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_COMMAND, DLLGetLastError());
}

TEST(AdapterErrors, ControllerRecordErrorsLeaveTheRecordUntouched)
{
    OpenServer s(adapterServer("ZN5121"));
    ASSERT_TRUE(s.open());
    uint8_t count = 0;
    ASSERT_EQ(1, getContNum(&count));
    EXPECT_EQ(1, count);

    struct Case {
        int contNo;
        bool record;
        bool fail;
        uint32_t word;
    };
    const Case cases[] = {
        {4, true, false, 0x00020010},
        {1, true, false, 0x00010010},
        {0, false, false, 0x00100010},
        {0, true, true, DLL_ERROR_INNER | DLL_ERROR_COMMAND},
    };
    for (const Case &c : cases) {
        if (c.fail) {
            ASSERT_TRUE(s.inject(infotest::failNextCommand()));
        }
        DLL_GET_CONTROLLER_INFO info;
        memset(&info, 0xEE, sizeof info);
        EXPECT_EQ(0, getContInfo(c.contNo, c.record ? &info : nullptr));
        EXPECT_EQ(c.word, DLLGetLastError());
        EXPECT_TRUE(std::vector<uint8_t>(sizeof info, 0xEE) == bytesOf(info));
    }
}

TEST(AdapterErrors, BeforeStartUpOnlyTheRangeOfTheNumberIsChecked)
{
    OpenServer s(adapterServer("ZN5121"));
    ASSERT_TRUE(s.open());
    ASSERT_EQ(1, finContData());
    s.opened = false;
    DLL_GET_CONTROLLER_INFO info;
    EXPECT_EQ(0, getContInfo(4, &info));
    EXPECT_EQ(0x00020010u, DLLGetLastError());
    EXPECT_EQ(0, getContInfo(2, &info));  // no adapter 2, but no presence check: the read fails
    EXPECT_NE(0x00010010u, DLLGetLastError());
    EXPECT_TRUE((DLLGetLastError() & DLL_ERROR_INNER) != 0);
}

// ---- server model and message version ----

// A server with the given system version whose dmidecode is found on PATH.
class ServerModel {
public:
    explicit ServerModel(const std::string &systemVersion, int generation = 0)
        : server(adapterServer("ZN5121", R"(, "generation": )" + std::to_string(generation))
                     .insert(1, R"("system_version": ")" + systemVersion + R"(", )")),
          path("PATH", (server.server.root() + "/bin:" + getenv("PATH")).c_str())
    {
    }
    OpenServer server;
    tavctltest::ScopedEnv path;
};

TEST(ServerModelGroups, FirstTenCharactersOfTheSystemVersion)
{
    const std::pair<const char *, int> cases[] = {
        {"SVA1000001", 1}, {"SVA2000004", 1}, {"SVB1000001", 2}, {"SVB1000002XYZ", 2},
        {"SVB100000", 3},  {"SVC1000001", 3}, {"SVA1000003", 3},
    };
    for (const auto &c : cases) {
        ServerModel m(c.first);
        ASSERT_TRUE(m.server.open());
        uint8_t group = 0;
        ASSERT_EQ(1, getSrvModel(&group)) << std::hex << DLLGetLastError();
        EXPECT_EQ(c.second, group) << c.first;
    }
}

TEST(ServerModelGroups, MessageVersionFromGenerationAndGroup)
{
    struct Case {
        const char *systemVersion;
        int generation;
        int version;
    };
    const Case cases[] = {
        {"SVA1000002", 0, 1},
        {"SVB1000002", 0, 1},
        {"SVZ0000000", 0, 2},
        {"SVA1000002", 1, 3},
    };
    for (const Case &c : cases) {
        ServerModel m(c.systemVersion, c.generation);
        ASSERT_TRUE(m.server.open());
        uint8_t version = 0;
        ASSERT_EQ(1, getOslogver(0, &version)) << std::hex << DLLGetLastError();
        EXPECT_EQ(c.version, version) << c.systemVersion << " generation " << c.generation;
    }
}

TEST(ServerModelGroups, NoSystemVersionIsASystemError)
{
    ServerModel m("SVA1000001");
    ASSERT_TRUE(m.server.open());
    tavctltest::ScopedEnv path("PATH", "/nonexistent");
    uint8_t value = 0;
    EXPECT_EQ(0, getSrvModel(&value));
    EXPECT_EQ(DLL_ERROR_SYSTEM, DLLGetLastError());
    EXPECT_EQ(0, getOslogver(0, &value));
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_SYSTEM, DLLGetLastError());
}

TEST(LibraryVersion, CopiesAtMostTheGivenNumberOfCharacters)
{
    unsigned size = 0;
    ASSERT_EQ(1, getDLLVersionSize(&size));
    EXPECT_EQ(3u, size);
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(1, getDLLVersion(buffer, 2));
    EXPECT_EQ("5.xxxxxx", std::string(buffer, sizeof buffer));
    ASSERT_EQ(1, getDLLVersion(buffer, sizeof buffer));
    EXPECT_STREQ("5.0", buffer);
}

}  // namespace
