// Settings and background operations of logical drives against simulated
// adapters: cache policies, auto-rebuild, rebuild, the decisions of
// consistency check and parity creation, and the busy wait.
#include <dlfcn.h>

#include <atomic>
#include <ctime>
#include <string>
#include <vector>

#include "config_fixture.h"

using configtest::drive;
using configtest::goodDrives;
using configtest::json;
using configtest::OpenServer;
using configtest::record;
using configtest::Recording;
using configtest::SentCommand;
using configtest::server;

namespace {

constexpr int NONE = -1;

// Logical drive 0: RAID 5 on drives 0-2, read-ahead and write-back;
// 1: RAID 1 on 3-4, no read-ahead and write-through; 2: RAID 0 on 5.
std::string settingsServer()
{
    return server(goodDrives(6), R"([{"number": 0, "raid": 5, "members": [0, 1, 2], "read": "RA", "write": "WB"},
                                     {"number": 1, "raid": 1, "members": [3, 4], "read": "NORA", "write": "WT"},
                                     {"number": 2, "raid": 0, "members": [5]}])");
}

json groupOf(const OpenServer &s, int number)
{
    const json adapter = s.adapter();
    for (const json &g : adapter["logical_drives"]) {
        if (g["number"] == number) {
            return g;
        }
    }
    return json();
}

// The one action page a call sent: its function, number and parameter, or
// NONE when no page was sent.
struct Action {
    int function = NONE;
    int number = NONE;
    int parameter = NONE;
};

Action actionOf(const Recording &r)
{
    const std::vector<SentCommand> pages = r.modeSelects();
    Action action;
    if (pages.size() == 1 && pages[0].page() == 0x3C) {
        action.function = pages[0].function();
        action.number = pages[0].number();
        action.parameter = pages[0].parameter();
    } else if (!pages.empty()) {
        action.function = -2;  // anything but one action page
    }
    return action;
}

// ---- cache policies and auto-rebuild ----

TEST(CachePolicy, BothPoliciesTravelTogether)
{
    OpenServer s(settingsServer());
    ASSERT_TRUE(s.open());
    const struct {
        const char *what;
        int (*call)(uint8_t, uint8_t, int);
        uint8_t group;
        int value;
        int parameter;
        const char *read;
        const char *write;
    } cases[] = {
        {"write-through on RA/WB", setWriteCache, 0, 0, 0x00, "RA", "WT"},
        {"write-back on NORA/WT", setWriteCache, 1, 1, 0x05, "NORA", "WB"},
        {"no read-ahead on RA/WT", setReadCache, 0, 0, 0x01, "NORA", "WT"},
        {"read-ahead on NORA/WB", setReadCache, 1, 1, 0x04, "RA", "WB"},
    };
    for (const auto &c : cases) {
        int result = 0;
        Action action = actionOf(record([&] { result = c.call(0, c.group, c.value); }));
        EXPECT_EQ(0x31, action.function) << c.what;
        EXPECT_EQ(c.group, action.number) << c.what;
        EXPECT_EQ(c.parameter, action.parameter) << c.what;
        EXPECT_EQ(1, result) << c.what << std::hex << " 0x" << DLLGetLastError();
        const json group = groupOf(s, c.group);
        EXPECT_EQ(c.read, group["read"]) << c.what;
        EXPECT_EQ(c.write, group["write"]) << c.what;
    }
}

TEST(AutoRebuild, EnableAndDisable)
{
    OpenServer s(settingsServer());
    ASSERT_TRUE(s.open());
    const struct {
        int enable;
        int function;
        int parameter;
    } cases[] = {{0, 7, 1}, {1, 6, 0}};
    for (const auto &c : cases) {
        int result = 0;
        Action action = actionOf(record([&] { result = setAutoRebuild(0, 1, c.enable); }));
        EXPECT_EQ(c.function, action.function) << c.enable;
        EXPECT_EQ(1, action.number) << c.enable;
        EXPECT_EQ(c.parameter, action.parameter) << c.enable;
        EXPECT_EQ(1, result) << c.enable << std::hex << " 0x" << DLLGetLastError();
        EXPECT_EQ(c.enable == 1, groupOf(s, 1)["auto_rebuild"].get<bool>()) << c.enable;
    }
}

TEST(Settings, RefusedBeforeAnyPage)
{
    OpenServer s(settingsServer());
    ASSERT_TRUE(s.open());
    int (*const setters[])(uint8_t, uint8_t, int) = {setWriteCache, setReadCache, setAutoRebuild};
    for (auto setter : setters) {
        uint64_t before = s.commands();
        EXPECT_EQ(0, setter(0, 0, 2));
        EXPECT_EQ(0x00200010u, DLLGetLastError());
        EXPECT_EQ(0, setter(0, 12, 1));
        EXPECT_EQ(0x00080010u, DLLGetLastError());
        EXPECT_EQ(0, setter(4, 0, 1));
        EXPECT_EQ(0x00020010u, DLLGetLastError());
        EXPECT_EQ(before, s.commands());

        Recording r = record([&] { EXPECT_EQ(0, setter(0, 5, 1)); });
        EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());
        EXPECT_TRUE(r.modeSelects().empty());
    }
}

// ---- rebuild ----

DLL_GET_LOGICAL_DISK_INFO recordOf(uint8_t group)
{
    DLL_GET_LOGICAL_DISK_INFO info;
    memset(&info, 0xEE, sizeof info);
    EXPECT_EQ(1, getLogicalDriveInfo(0, group, &info)) << std::hex << DLLGetLastError();
    return info;
}

TEST(Rebuild, ManualRebuildOfADegradedMirror)
{
    // Auto-rebuild off: losing drive 1 leaves the rebuild to the operator.
    OpenServer s(server(goodDrives(3), R"([{"number": 0, "raid": 1, "members": [0, 1], "auto_rebuild": false}])",
                        R"("hot_spares": [2])"));
    ASSERT_TRUE(s.open());
    configtest::expectQuiet({{"nothing to rebuild", start_Rebuild, 0, 0, DLL_ERROR_LD_STATE}});

    ASSERT_TRUE(s.inject({"fail-drive", "0", "1"}));
    ASSERT_EQ(TAV_REBUILD_NEEDED, recordOf(0).rebuildState);
    int result = 0;
    Action action = actionOf(record([&] { result = start_Rebuild(0, 0); }));
    EXPECT_EQ(1, result) << std::hex << DLLGetLastError();
    EXPECT_EQ(5, action.function);
    EXPECT_EQ(0, action.number);
    EXPECT_EQ(0, action.parameter);
    ASSERT_EQ(TAV_REBUILD_EXECUTING, recordOf(0).rebuildState);

    configtest::expectQuiet({{"rebuild running", start_Rebuild, 0, 1, DLL_ERROR_NONE},
                             {"check during the rebuild", start_consistencyCheck, 0, 0, DLL_ERROR_LD_STATE}});
}

TEST(Rebuild, LeftToTheAdapterWhileAutoRebuildIsOn)
{
    OpenServer s(server(goodDrives(2), R"([{"number": 0, "raid": 1, "members": [0, 1]}])"));
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.inject({"fail-drive", "0", "1"}));
    ASSERT_EQ(TAV_REBUILD_NEEDED, recordOf(0).rebuildState);
    configtest::expectQuiet({{"auto-rebuild on", start_Rebuild, 0, 0, DLL_ERROR_LD_STATE}});
}

// ---- consistency check and parity creation ----

// Logical drive n: RAID 1 on drives 2n and 2n+1 with maintenance state n.
std::string maintenanceServer()
{
    return server(goodDrives(8), R"([
        {"number": 0, "raid": 1, "members": [0, 1], "maintenance_state": 0},
        {"number": 1, "raid": 1, "members": [2, 3], "maintenance_state": 1},
        {"number": 2, "raid": 1, "members": [4, 5], "maintenance_state": 2},
        {"number": 3, "raid": 1, "members": [6, 7], "maintenance_state": 3}])");
}

TEST(Maintenance, DecisionsThatSendNothing)
{
    OpenServer s(maintenanceServer());
    ASSERT_TRUE(s.open());
    configtest::expectQuiet({
        {"start check while checking", start_consistencyCheck, 1, 1, DLL_ERROR_NONE},
        {"start check while writing", start_consistencyCheck, 2, 0, DLL_ERROR_CC_BUSY},
        {"start check, state 3", start_consistencyCheck, 3, 0, DLL_ERROR_INTERNAL},
        {"stop check, nothing running", stop_consistencyCheck, 0, 0, DLL_ERROR_INTERNAL},
        {"stop check while writing", stop_consistencyCheck, 2, 0, DLL_ERROR_CC_BUSY},
        {"stop check, state 3", stop_consistencyCheck, 3, 0, DLL_ERROR_INTERNAL},
        {"start parity while checking", start_makeParity, 1, 0, DLL_ERROR_PARITY_BUSY},
        {"start parity while writing", start_makeParity, 2, 1, DLL_ERROR_NONE},
        {"start parity, state 3", start_makeParity, 3, 0, DLL_ERROR_INTERNAL},
        {"stop parity, nothing running", stop_makeParity, 0, 0, DLL_ERROR_INTERNAL},
        {"stop parity while checking", stop_makeParity, 1, 0, DLL_ERROR_PARITY_BUSY},
        {"stop parity, state 3", stop_makeParity, 3, 0, DLL_ERROR_INTERNAL},
    });
}

// Runs a start or stop that must send exactly one action page.
void expectAction(int (*call)(uint8_t, uint8_t), int function, const char *what)
{
    int result = NONE;
    Action action = actionOf(record([&] { result = call(0, 0); }));
    EXPECT_EQ(function, action.function) << what;
    EXPECT_EQ(0, action.number) << what;
    EXPECT_EQ(0, action.parameter) << what;
    EXPECT_EQ(1, result) << what << std::hex << " 0x" << DLLGetLastError();
}

TEST(Maintenance, CheckAndParityOnARunningAdapter)
{
    OpenServer s(server(goodDrives(3), R"([{"number": 0, "raid": 5, "members": [0, 1, 2]}])"));
    ASSERT_TRUE(s.open());
    expectAction(start_consistencyCheck, 2, "start check");
    ASSERT_EQ(TAV_MAINTENANCE_CHECKING, recordOf(0).maintenance);
    configtest::expectQuiet({{"start check while checking", start_consistencyCheck, 0, 1, DLL_ERROR_NONE},
                             {"start parity while checking", start_makeParity, 0, 0, DLL_ERROR_PARITY_BUSY}});
    expectAction(stop_consistencyCheck, 4, "stop check");
    ASSERT_EQ(TAV_MAINTENANCE_NONE, recordOf(0).maintenance);

    expectAction(start_makeParity, 3, "start parity");
    ASSERT_EQ(TAV_MAINTENANCE_WRITING, recordOf(0).maintenance);
    configtest::expectQuiet({{"start check while writing", start_consistencyCheck, 0, 0, DLL_ERROR_CC_BUSY},
                             {"start parity while writing", start_makeParity, 0, 1, DLL_ERROR_NONE}});
    expectAction(stop_makeParity, 4, "stop parity");
    ASSERT_EQ(TAV_MAINTENANCE_NONE, recordOf(0).maintenance);
}

TEST(Maintenance, StopTheAdapterRefusesIsAStateRefusal)
{
    // The state says checking, but the adapter has no check to stop.
    OpenServer s(maintenanceServer());
    ASSERT_TRUE(s.open());
    int result = NONE;
    Action action = actionOf(record([&] { result = stop_consistencyCheck(0, 1); }));
    EXPECT_EQ(4, action.function);
    EXPECT_EQ(0, result);
    EXPECT_EQ(DLL_ERROR_LD_STATE, DLLGetLastError());
}

TEST(Maintenance, StartNeedsARedundantIdleGoodDrive)
{
    OpenServer s(server(goodDrives(9), R"([
        {"number": 0, "raid": 0, "members": [0]},
        {"number": 2, "raid": 1, "members": [3, 4], "state": 16},
        {"number": 3, "raid": 1, "members": [5, 6], "state": 18},
        {"number": 4, "raid": 1, "members": [7, 8], "state": 19}])"));
    ASSERT_TRUE(s.open());
    const struct {
        const char *what;
        uint8_t group;
        int function;
    } cases[] = {
        {"RAID 0", 0, NONE},
        {"state 0x10", 2, NONE},
        {"state 0x12", 3, 2},
        {"state 0x13", 4, 2},
    };
    for (const auto &c : cases) {
        int result = NONE;
        Action action = actionOf(record([&] { result = start_consistencyCheck(0, c.group); }));
        EXPECT_EQ(c.function, action.function) << c.what;
        if (c.function == NONE) {
            EXPECT_EQ(0, result) << c.what;
            EXPECT_EQ(DLL_ERROR_LD_STATE, DLLGetLastError()) << c.what;
        }
    }
}

TEST(Maintenance, FailedRecordReadNamesTheRead)
{
    OpenServer s(maintenanceServer());
    ASSERT_TRUE(s.open());
    Recording r = record([&] { EXPECT_EQ(0, stop_makeParity(0, 5)); });
    EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());
    EXPECT_NE(std::string::npos, r.out.find("DEBUG MSG : \tcalled funcname = getLogicalDriveInfo\n")) << r.out;
    EXPECT_TRUE(r.modeSelects().empty());

    ASSERT_TRUE(s.inject(infotest::failNextCommand()));
    r = record([&] { EXPECT_EQ(0, start_consistencyCheck(0, 0)); });
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_COMMAND, DLLGetLastError());
    EXPECT_NE(std::string::npos, r.out.find("DEBUG MSG : \tcalled funcname = getLogicalDriveInfo\n")) << r.out;
    EXPECT_TRUE(r.modeSelects().empty());
}

// ---- busy wait ----

// The busy wait reads the wall clock through time(). This program's own
// time() stands in for the C library's: while a test steps it, every reading
// moves the clock on by a quarter second from a whole second, exactly.
std::atomic<long> g_quarterReadings{-1};
const time_t kSteppedBase = 1765000000;

}  // namespace

extern "C" time_t time(time_t *out)
{
    using TimeFn = time_t (*)(time_t *);
    static TimeFn real = reinterpret_cast<TimeFn>(dlsym(RTLD_NEXT, "time"));
    long quarters = g_quarterReadings.load();
    if (quarters < 0) {
        return real(out);
    }
    g_quarterReadings.store(quarters + 1);
    time_t now = kSteppedBase + quarters / 4;
    if (out != nullptr) {
        *out = now;
    }
    return now;
}

namespace {

// The tick timer moves 18 ticks (990 ms) once a second, so a wait of one
// second ends when the clock's second has moved on twice: not after one move,
// not after a third. Each reading of the clock moves it 250 ms.
TEST(ToolSleep, OneSecondEndsOnTheSecondMoveOfTheClock)
{
    g_quarterReadings.store(0);
    const uint32_t ticks = AT_GetTimer();  // reading at +0 s; the wait starts at +0.25 s
    EXPECT_EQ(0u, ticks % 18);
    Tool_Sleep(1);                         // its last reading at +2 s
    EXPECT_EQ(ticks + 36, AT_GetTimer());  // +2.25 s: one move after +1 s would show 18
    Tool_Sleep(0);                         // readings at +2.5 s and +2.75 s
    EXPECT_EQ(ticks + 54, AT_GetTimer());  // +3 s: it read the clock twice
    g_quarterReadings.store(-1);
}

}  // namespace
