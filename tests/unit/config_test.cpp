// Configuration changes against simulated adapters: creating, deleting and
// restoring logical drives, global hot spares and forced drive states, with
// the pages sent, the operating system's add and remove lines, and refusals
// that send nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "config_fixture.h"
#include "tavdllctl_util_config.h"

using configtest::drive;
using configtest::goodDrives;
using configtest::json;
using configtest::OpenServer;
using configtest::record;
using configtest::Recording;
using configtest::SentCommand;
using configtest::server;

namespace {

constexpr uint8_t OP_INQUIRY = 0x12;
constexpr uint8_t OP_WRITE10 = 0x2A;

// Logical drive 0: RAID 5 on drives 0-2; drive 3 global hot spare; drive 5
// off line and unassigned; drives 4, 6 and 7 fresh; slot 8 empty.
std::string baseServer()
{
    return server("[" + drive(0) + ", " + drive(1) + ", " + drive(2) + ", " + drive(3) + ", " + drive(4) + ", " +
                      drive(5, R"("state": "alarm")") + ", " + drive(6) + ", " + drive(7) + "]",
                  R"([{"number": 0, "raid": 5, "members": [0, 1, 2]}])", R"("hot_spares": [3])");
}

DLL_CREATE_LD_INFO createRequest(uint8_t group, uint8_t raid, const std::vector<uint8_t> &members)
{
    DLL_CREATE_LD_INFO request;
    memset(&request, 0, sizeof request);
    request.contNo = 0;
    request.groupNo = group;
    request.memberCount = static_cast<uint8_t>(members.size());
    for (size_t i = 0; i < members.size() && i < TAV_MAX_DRIVES; ++i) {
        request.member[i] = members[i];
    }
    request.hotSpareMode = raid == 0 ? TAV_HOTSPARE_NONE : TAV_HOTSPARE_GLOBAL;
    request.raidLevel = raid;
    request.readPolicy = TAV_READ_AHEAD;
    request.writePolicy = TAV_WRITE_THROUGH;
    return request;
}

// A logical drive or restore candidate as the simulator shows it; null when absent.
json groupOf(const OpenServer &s, int number, const char *list = "logical_drives")
{
    const json adapter = s.adapter();
    for (const json &g : adapter[list]) {
        if (g["number"] == number) {
            return g;
        }
    }
    return json();
}

// The lines the library appended to the SCSI layer's file.
std::string scsiRequests(const OpenServer &s)
{
    std::string text = tavtest::readFile(s.server.path("/proc/scsi/scsi"));
    const std::string header = "Attached devices:\n";
    return text.compare(0, header.size(), header) == 0 ? text.substr(header.size()) : text;
}

// ---- createLD ----

TEST(CreateLD, RefusedArgumentsSendNothingAtAll)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    struct Case {
        const char *what;
        std::function<void(DLL_CREATE_LD_INFO &)> change;
        uint32_t word;
    };
    const Case cases[] = {
        {"controller 4", [](DLL_CREATE_LD_INFO &r) { r.contNo = 4; }, 0x00020010},
        {"no adapter 1", [](DLL_CREATE_LD_INFO &r) { r.contNo = 1; }, 0x00010010},
        {"group 12", [](DLL_CREATE_LD_INFO &r) { r.groupNo = 12; }, 0x00080010},
        {"13 members", [](DLL_CREATE_LD_INFO &r) { r.memberCount = 13; }, 0x00400010},
        {"member 12", [](DLL_CREATE_LD_INFO &r) { r.member[1] = 12; }, 0x00400010},
    };
    for (const Case &c : cases) {
        DLL_CREATE_LD_INFO request = createRequest(1, 0, {6, 7});
        c.change(request);
        uint64_t before = s.commands();
        EXPECT_EQ(0, createLD(&request)) << c.what;
        EXPECT_EQ(c.word, DLLGetLastError()) << c.what;
        EXPECT_EQ(before, s.commands()) << c.what;
    }
    EXPECT_EQ(0, createLD(nullptr));
    EXPECT_EQ(0x00100010u, DLLGetLastError());
}

TEST(CreateLD, MemberThatIsNotAFreeGoodDriveIsRefusedBeforeAnyPage)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    const struct {
        const char *what;
        uint8_t member;
    } cases[] = {{"member of logical drive 0", 1}, {"drive off line", 5}, {"empty slot", 8}};
    for (const auto &c : cases) {
        DLL_CREATE_LD_INFO request = createRequest(1, 0, {6, c.member});
        int result = -1;
        Recording r = record([&] { result = createLD(&request); });
        EXPECT_EQ(0, result) << c.what;
        EXPECT_EQ(DLL_ERROR_LD_STATE, DLLGetLastError()) << c.what;
        EXPECT_TRUE(r.modeSelects().empty()) << c.what;
    }
    EXPECT_TRUE(groupOf(s, 1).is_null());
}

TEST(CreateLD, StripeSizeIsZeroOnlyForASingleDriveRaid0)
{
    const struct {
        uint8_t raid;
        std::vector<uint8_t> members;
        uint16_t stripe;
    } cases[] = {{0, {6}, 0}, {0, {6, 7}, 256}, {1, {6, 7}, 256}};
    for (const auto &c : cases) {
        OpenServer s(baseServer());
        ASSERT_TRUE(s.open());
        DLL_CREATE_LD_INFO request = createRequest(1, c.raid, c.members);
        Recording r = record([&] { createLD(&request); });
        const std::vector<SentCommand> pages = r.modeSelects();
        ASSERT_FALSE(pages.empty());
        const SentCommand &create = pages[0];
        EXPECT_EQ(0x30, create.page());
        EXPECT_EQ(0x10, create.function());
        EXPECT_EQ(c.stripe, (create.pageByte(8) << 8) | create.pageByte(9)) << int(c.raid) << "/" << c.members.size();
    }
}

TEST(CreateLD, Raid5DefinitionPoliciesCommitAndCleanBlockZero)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    DLL_CREATE_LD_INFO request = createRequest(2, 5, {4, 6, 7});
    request.readPolicy = TAV_READ_NONE;
    request.writePolicy = TAV_WRITE_BACK;
    request.spanMarker = 1;
    int result = 0;
    Recording r = record([&] { result = createLD(&request); });
    ASSERT_EQ(1, result) << std::hex << DLLGetLastError();

    const std::vector<SentCommand> pages = r.modeSelects();
    ASSERT_EQ(3u, pages.size());
    const SentCommand &create = pages[0];
    EXPECT_EQ(52, create.cdb[4]);
    EXPECT_EQ(0x2E, create.pageByte(1));
    EXPECT_EQ(2, create.number());
    EXPECT_EQ(5, create.pageByte(5));
    EXPECT_EQ(TAV_HOTSPARE_GLOBAL, create.pageByte(14));
    EXPECT_EQ(3, create.pageByte(15));
    EXPECT_EQ(4, create.pageByte(16));
    EXPECT_EQ(6, create.pageByte(17));
    EXPECT_EQ(7, create.pageByte(18));
    EXPECT_EQ(1, create.pageByte(37));
    EXPECT_EQ(1, create.pageByte(38));
    const SentCommand &policies = pages[1];
    EXPECT_EQ(16, policies.cdb[4]);
    EXPECT_EQ(0x3A, policies.page());
    EXPECT_EQ(1, policies.function());
    EXPECT_EQ(2, policies.number());
    EXPECT_EQ(2, policies.pageByte(6));
    EXPECT_EQ(TAV_READ_NONE, policies.pageByte(7));
    EXPECT_EQ(TAV_WRITE_BACK, policies.pageByte(8));
    EXPECT_EQ(0x30, pages[2].page());
    EXPECT_EQ(0x04, pages[2].function());

    // INQUIRY and a zero block 0 for the new drive, after the commit.
    const std::vector<SentCommand> &all = r.commands;
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(OP_INQUIRY, all[all.size() - 2].opcode());
    const SentCommand &clear = all.back();
    EXPECT_EQ(OP_WRITE10, clear.opcode());
    EXPECT_EQ(std::vector<uint8_t>(4, 0), std::vector<uint8_t>(clear.cdb.begin() + 2, clear.cdb.begin() + 6));
    EXPECT_EQ(std::vector<uint8_t>(512, 0), clear.data);

    const json group = groupOf(s, 2);
    ASSERT_FALSE(group.is_null());
    EXPECT_EQ(5, group["raid"]);
    EXPECT_EQ(json::array({4, 6, 7}), group["members"]);
    EXPECT_EQ("NORA", group["read"]);
    EXPECT_EQ("WB", group["write"]);
    EXPECT_EQ("scsi add-single-device 2 0 2 0\n", scsiRequests(s));
}

// ---- deleteLD ----

// Writes block 0 of logical drive 0 with one byte set.
void markBlockZero(size_t offset)
{
    uint8_t block[512] = {};
    block[offset] = 0x83;
    ASSERT_EQ(0, CmdExe_Write(0, 0, 0, block));
}

TEST(DeleteLD, PartitionTableRefusesWithTheMessageAndSendsNothing)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    markBlockZero(450);  // partition type byte of the first entry
    int result = -1;
    Recording r = record([&] { result = deleteLD(0, 0); });
    EXPECT_EQ(0, result);
    EXPECT_EQ(DLL_ERROR_PARTITION, DLLGetLastError());
    EXPECT_NE(std::string::npos,
              r.out.find("\nValid partition exist on LD0. At first, delete all partition by OS tool.\n"))
        << r.out;
    EXPECT_TRUE(r.modeSelects().empty());
    EXPECT_EQ("", scsiRequests(s));
    EXPECT_FALSE(groupOf(s, 0).is_null());
}

TEST(DeleteLD, OnlyBytes446To509CountAsAPartitionTable)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    const struct {
        size_t offset;
        int clean;
    } cases[] = {{445, 1}, {446, 0}, {509, 0}, {510, 1}};
    for (const auto &c : cases) {
        markBlockZero(c.offset);
        ASSERT_EQ(1, TavDllLcSetupAdapter(0));
        char message[PARTITION_MESSAGE_SIZE] = "";
        EXPECT_EQ(c.clean, TavDllCmdExe_OsDeleteCheck(0, 0, message, sizeof message)) << c.offset;
        EXPECT_EQ(c.clean ? DLL_ERROR_NONE : DLL_ERROR_PARTITION, DLLGetLastError()) << c.offset;
    }
}

TEST(DeleteLD, UnreadableDriveCountsAsWithoutPartitions)
{
    OpenServer s(server(goodDrives(2), R"([{"number": 0, "raid": 0, "members": [0]}])"));
    ASSERT_TRUE(s.open());
    markBlockZero(450);
    ASSERT_TRUE(s.inject({"fail-drive", "0", "0"}));
    char message[PARTITION_MESSAGE_SIZE] = "";
    EXPECT_EQ(1, TavDllCmdExe_OsDeleteCheck(0, 0, message, sizeof message));
    EXPECT_EQ(DLL_ERROR_NONE, DLLGetLastError());
}

TEST(DeleteLD, LogicalDrive7IsRemovedAsTargetId8)
{
    OpenServer s(R"({"adapters": [{"host": 5, "model": "ZN5121", "drives": )" + goodDrives(2) +
                 R"(, "logical_drives": [{"number": 7, "raid": 1, "members": [0, 1]}]}]})");
    ASSERT_TRUE(s.open());
    int result = 0;
    Recording r = record([&] { result = deleteLD(0, 7); });
    EXPECT_EQ(1, result) << std::hex << DLLGetLastError();
    EXPECT_EQ("scsi remove-single-device 5 0 8 0\n", scsiRequests(s));
    const std::vector<SentCommand> pages = r.modeSelects();
    ASSERT_EQ(3u, pages.size());
    EXPECT_EQ(0x3A, pages[0].page());
    EXPECT_EQ(2, pages[0].function());
    EXPECT_EQ(7, pages[0].number());
    EXPECT_EQ(0x30, pages[1].page());
    EXPECT_EQ(0x11, pages[1].function());
    EXPECT_EQ(7, pages[1].number());
    EXPECT_EQ(0x04, pages[2].function());
    EXPECT_TRUE(groupOf(s, 7).is_null());
}

TEST(DeleteLD, RefusalsBeforeTheAdapterIsChanged)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    EXPECT_EQ(0, deleteLD(0, 12));
    EXPECT_EQ(0x00080010u, DLLGetLastError());
    Recording r = record([&] { EXPECT_EQ(0, deleteLD(0, 4)); });
    EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());
    EXPECT_TRUE(r.modeSelects().empty());

    // The system cannot be told: the drive stays, nothing is sent.
    ASSERT_EQ(0, unlink(s.server.path("/proc/scsi/scsi").c_str()));
    ASSERT_EQ(0, mkdir(s.server.path("/proc/scsi/scsi").c_str(), 0755));
    r = record([&] { EXPECT_EQ(0, deleteLD(0, 0)); });
    EXPECT_EQ(DLL_ERROR_INNER | DLL_ERROR_SYSTEM, DLLGetLastError());
    EXPECT_NE(std::string::npos, r.out.find("ERROR:SYSTEM fopen()")) << r.out;
    EXPECT_TRUE(r.modeSelects().empty());
    EXPECT_FALSE(groupOf(s, 0).is_null());
}

// The commit is sent up to four times. A change the adapter took but never
// committed is reported by getConfigStaged until the next configuration call,
// which clears it even when it is refused before sending anything.
TEST(DeleteLD, ChangeLeftStagedIsReportedUntilTheNextCall)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.inject({"commit-error", "0", "4"}));
    Recording r = record([&] { EXPECT_EQ(0, deleteLD(0, 0)); });
    std::vector<SentCommand> pages = r.modeSelects();
    ASSERT_EQ(6u, pages.size());
    for (size_t i = 2; i < pages.size(); ++i) {
        EXPECT_EQ(0x04, pages[i].function()) << i;
    }
    EXPECT_EQ(1, getConfigStaged());
    EXPECT_EQ(s.adapter()["pending_changes"], json::parse(R"([{"number": 0, "change": "delete"}])"));
    EXPECT_EQ(0, deleteLD(0, 12));
    EXPECT_EQ(0, getConfigStaged());

    // a deletion refused before anything was staged leaves nothing staged
    ASSERT_TRUE(s.inject({"commit-error", "0", "4"}));
    EXPECT_EQ(0, deleteLD(0, 4));
    EXPECT_EQ(0, getConfigStaged());
}

// ---- configRestoreLD ----

std::string restoreServer()
{
    return server(goodDrives(4), R"([{"number": 0, "raid": 1, "members": [0, 1]}])",
                  R"("restore_candidates": [{"number": 2, "raid": 1, "members": [2, 3], "read": "NORA"}])");
}

DLL_CONFIG_RESTORE_LD restoreRequest(uint8_t operation, uint8_t candidate, uint8_t group)
{
    DLL_CONFIG_RESTORE_LD request;
    memset(&request, 0, sizeof request);
    request.operation = operation;
    request.candidateNo = candidate;
    request.groupNo = group;
    request.readPolicy = TAV_READ_AHEAD;
    request.writePolicy = TAV_WRITE_BACK;
    return request;
}

TEST(ConfigRestoreLD, RefusedRequestsSendNothing)
{
    OpenServer s(restoreServer());
    ASSERT_TRUE(s.open());
    struct Case {
        const char *what;
        DLL_CONFIG_RESTORE_LD request;
        uint32_t word;
    };
    DLL_CONFIG_RESTORE_LD reservedSet = restoreRequest(0, 2, 3);
    reservedSet.reserved4 = 1;
    DLL_CONFIG_RESTORE_LD badController = restoreRequest(0, 2, 3);
    badController.contNo = 4;
    const Case cases[] = {
        {"operation 2", restoreRequest(2, 2, 3), 0x00200010}, {"byte 4 set", reservedSet, 0x00200010},
        {"controller 4", badController, 0x00020010},          {"candidate 12", restoreRequest(0, 12, 3), 0x00080010},
        {"group 12", restoreRequest(0, 2, 12), 0x00080010},
    };
    for (Case c : cases) {
        uint64_t before = s.commands();
        EXPECT_EQ(0, configRestoreLD(&c.request)) << c.what;
        EXPECT_EQ(c.word, DLLGetLastError()) << c.what;
        EXPECT_EQ(before, s.commands()) << c.what;
    }
    EXPECT_EQ(0, configRestoreLD(nullptr));
    EXPECT_EQ(0x00100010u, DLLGetLastError());

    DLL_CONFIG_RESTORE_LD undefined = restoreRequest(0, 1, 3);
    Recording r = record([&] { EXPECT_EQ(0, configRestoreLD(&undefined)); });
    EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());
    EXPECT_TRUE(r.modeSelects().empty());
}

TEST(ConfigRestoreLD, RestoreMakesTheCandidateALogicalDrive)
{
    OpenServer s(restoreServer());
    ASSERT_TRUE(s.open());
    DLL_CONFIG_RESTORE_LD request = restoreRequest(TAV_RESTORE_CANDIDATE, 2, 3);
    int result = 0;
    Recording r = record([&] { result = configRestoreLD(&request); });
    ASSERT_EQ(1, result) << std::hex << DLLGetLastError();
    EXPECT_EQ(std::vector<uint8_t>(12, 0xFF), std::vector<uint8_t>(request.fill, request.fill + 12));

    const std::vector<SentCommand> pages = r.modeSelects();
    ASSERT_EQ(3u, pages.size());
    EXPECT_EQ(26, pages[0].cdb[4]);
    EXPECT_EQ(0x3D, pages[0].page());
    EXPECT_EQ(20, pages[0].pageByte(1));
    EXPECT_EQ(1, pages[0].function());
    EXPECT_EQ(2, pages[0].number());
    EXPECT_EQ(3, pages[0].pageByte(4));
    EXPECT_EQ(0, pages[0].pageByte(5));
    for (size_t i = 6; i <= 21; ++i) {
        EXPECT_EQ(0xFF, pages[0].pageByte(i)) << i;
    }
    EXPECT_EQ(0x3A, pages[1].page());
    EXPECT_EQ(3, pages[1].pageByte(6));
    EXPECT_EQ(0x04, pages[2].function());

    const json group = groupOf(s, 3);
    ASSERT_FALSE(group.is_null());
    EXPECT_EQ(json::array({2, 3}), group["members"]);
    EXPECT_EQ("RA", group["read"]);
    EXPECT_TRUE(groupOf(s, 2, "restore_candidates").is_null());
    EXPECT_EQ("scsi add-single-device 2 0 3 0\n", scsiRequests(s));
}

TEST(ConfigRestoreLD, DeleteDropsTheCandidateOnly)
{
    OpenServer s(restoreServer());
    ASSERT_TRUE(s.open());
    DLL_CONFIG_RESTORE_LD request = restoreRequest(TAV_DELETE_CANDIDATE, 2, 2);
    int result = 0;
    Recording r = record([&] { result = configRestoreLD(&request); });
    ASSERT_EQ(1, result) << std::hex << DLLGetLastError();
    const std::vector<SentCommand> pages = r.modeSelects();
    ASSERT_EQ(1u, pages.size());
    EXPECT_EQ(0x3D, pages[0].page());
    EXPECT_EQ(2, pages[0].function());
    EXPECT_EQ(2, pages[0].number());
    EXPECT_TRUE(groupOf(s, 2, "restore_candidates").is_null());
    EXPECT_EQ(1u, s.adapter()["logical_drives"].size());
    EXPECT_EQ("", scsiRequests(s));
}

// ---- global hot spares ----

std::vector<int> hotSpares(const OpenServer &s)
{
    std::vector<int> spares;
    const json adapter = s.adapter();
    for (const json &slot : adapter["hot_spares"]) {
        if (slot.is_number() && slot.get<int>() != 255) {
            spares.push_back(slot.get<int>());
        }
    }
    return spares;
}

TEST(HotSpare, AssignAndRemoveAFreshDrive)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    std::vector<SentCommand> pages =
        record([&] { EXPECT_EQ(1, createGHS(0, 6)) << std::hex << DLLGetLastError(); }).modeSelects();
    ASSERT_EQ(1u, pages.size());
    EXPECT_EQ(0x3E, pages[0].page());
    EXPECT_EQ(1, pages[0].function());
    EXPECT_EQ(6, pages[0].number());
    EXPECT_EQ((std::vector<int>{3, 6}), hotSpares(s));

    pages = record([&] { EXPECT_EQ(1, deleteGHS(0, 3)) << std::hex << DLLGetLastError(); }).modeSelects();
    ASSERT_EQ(1u, pages.size());
    EXPECT_EQ(2, pages[0].function());
    EXPECT_EQ(3, pages[0].number());
    EXPECT_EQ(std::vector<int>{6}, hotSpares(s));
}

TEST(HotSpare, RequestsAlreadyFulfilledOrRefusedSendNothing)
{
    OpenServer s(
        server(goodDrives(8), R"([{"number": 0, "raid": 5, "members": [0, 1, 2]}])", R"("hot_spares": [3, 4])"));
    ASSERT_TRUE(s.open());
    configtest::expectQuiet({
        {"assign a spare again", createGHS, 3, 1, DLL_ERROR_NONE},
        {"third spare", createGHS, 6, 0, DLL_ERROR_LD_STATE},
        {"assign a member", createGHS, 1, 0, DLL_ERROR_LD_STATE},
        {"remove a drive that is no spare", deleteGHS, 6, 1, DLL_ERROR_NONE},
        {"empty slot", createGHS, 9, 0, DLL_ERROR_NO_LD},
    });
    EXPECT_EQ((std::vector<int>{3, 4}), hotSpares(s));

    uint64_t before = s.commands();
    EXPECT_EQ(0, deleteGHS(0, 12));
    EXPECT_EQ(0x00400010u, DLLGetLastError());
    EXPECT_EQ(before, s.commands());

    ASSERT_TRUE(s.inject({"remove-drive", "0", "3"}));
    EXPECT_EQ(0, deleteGHS(0, 3));
    EXPECT_EQ(DLL_ERROR_HDD, DLLGetLastError());
}

// ---- forced drive states ----

TEST(ForceDriveState, CommandOnlyWhereTheDriveIsNotAlreadyThere)
{
    // RAID 5 on 0-2, RAID 1 on 3-4 with 4 off line, RAID 0 on 5 and on 6
    // (state 3 counts as alarm there), 7 unassigned off line, 8 unassigned good.
    OpenServer s(server("[" + drive(0) + ", " + drive(1) + ", " + drive(2) + ", " + drive(3) + ", " +
                            drive(4, R"("state": "alarm")") + ", " + drive(5) + ", " + drive(6, R"("state": 3)") +
                            ", " + drive(7, R"("state": "alarm")") + ", " + drive(8) + "]",
                        R"([{"number": 0, "raid": 5, "members": [0, 1, 2]},
                            {"number": 1, "raid": 1, "members": [3, 4]},
                            {"number": 2, "raid": 0, "members": [5]},
                            {"number": 3, "raid": 0, "members": [6]}])"));
    ASSERT_TRUE(s.open());
    constexpr int NONE = -1;
    const struct {
        const char *what;
        int (*call)(uint8_t, uint8_t);
        uint8_t drive;
        int sent;
    } cases[] = {
        {"good RAID 5 member to good", setHDDsts_GOOD, 0, NONE},
        {"off-line RAID 1 member to alarm", setHDDsts_ALAM, 4, NONE},
        {"good RAID 0 member to good", setHDDsts_GOOD, 5, NONE},
        {"state-3 RAID 0 member to alarm", setHDDsts_ALAM, 6, NONE},
        {"good unassigned drive to good", setHDDsts_GOOD, 8, NONE},
        {"off-line unassigned drive to alarm", setHDDsts_ALAM, 7, NONE},
        {"good RAID 5 member to alarm", setHDDsts_ALAM, 1, 0x20},
        {"off-line RAID 1 member to good", setHDDsts_GOOD, 4, 0x00},
        {"good RAID 0 member to alarm", setHDDsts_ALAM, 5, 0x20},
        {"state-3 RAID 0 member to good", setHDDsts_GOOD, 6, 0x00},
        {"off-line unassigned drive to good", setHDDsts_GOOD, 7, 0x00},
    };
    for (const auto &c : cases) {
        int result = -1;
        Recording r = record([&] { result = c.call(0, c.drive); });
        const std::vector<SentCommand> pages = r.modeSelects();
        if (c.sent == NONE) {
            EXPECT_EQ(1, result) << c.what;
            EXPECT_TRUE(pages.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(1u, pages.size()) << c.what;
        EXPECT_EQ(0x3C, pages[0].page()) << c.what;
        EXPECT_EQ(8, pages[0].function()) << c.what;
        EXPECT_EQ(c.drive, pages[0].number()) << c.what;
        EXPECT_EQ(c.sent, pages[0].parameter()) << c.what;
        EXPECT_EQ(1, result) << c.what << std::hex << " 0x" << DLLGetLastError();
    }
}

TEST(ForceDriveState, RefusedDrives)
{
    OpenServer s(baseServer());
    ASSERT_TRUE(s.open());
    uint64_t before = s.commands();
    EXPECT_EQ(0, setHDDsts_ALAM(0, 12));
    EXPECT_EQ(0x00400010u, DLLGetLastError());
    EXPECT_EQ(before, s.commands());
    EXPECT_EQ(0, setHDDsts_GOOD(0, 8));
    EXPECT_EQ(DLL_ERROR_NO_LD, DLLGetLastError());
    ASSERT_TRUE(s.inject({"remove-drive", "0", "1"}));
    Recording r = record([&] { EXPECT_EQ(0, setHDDsts_GOOD(0, 1)); });
    EXPECT_EQ(DLL_ERROR_HDD, DLLGetLastError());
    EXPECT_TRUE(r.modeSelects().empty());
}

}  // namespace
