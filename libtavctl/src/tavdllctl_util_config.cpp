// Adapter-level steps that define logical drives: create, delete and restore,
// through the configuration pages 0x30 (definition and commit), 0x3A (cache
// policies) and 0x3D (restore candidates). A definition takes effect at the
// commit; a page that fails ends the step where it is, without rollback. The
// adapter cannot withdraw a staged change, so a step that fails after its
// change was staged says so (TavDllConfigStaged): the next commit, by any
// program, carries the change out.
#include <stdio.h>

#include "tavdllctl_util_config.h"

namespace {

constexpr int PAGE_HEADER_BYTES = 2;  // page code and page length
constexpr int LARGEST_SELECT = MODE_HEADER_SIZE + PAGE_HEADER_BYTES + P30_LENGTH;
constexpr int INQUIRY_BUFFER_SIZE = 256;
constexpr uint8_t RAID_LEVEL_0 = 0;
constexpr uint8_t RAID_LEVEL_5 = 5;
constexpr uint8_t DRIVE_GOOD = 0x00;
constexpr int COMMIT_ATTEMPTS = 4;  // as many as a firmware piece gets

// 1 when the last step of this thread failed with its change staged.
thread_local int t_configStaged = 0;

// A configuration page behind a zero mode header.
struct PageBuffer {
    uint8_t bytes[LARGEST_SELECT];
    uint8_t *page() { return bytes + MODE_HEADER_SIZE; }
};

// Clears the buffer and writes the page's code, length, function and number.
uint8_t *startPage(PageBuffer &buffer, uint8_t code, uint8_t length, uint8_t function, uint8_t number)
{
    memset(buffer.bytes, 0, sizeof buffer.bytes);
    uint8_t *page = buffer.page();
    page[0] = code;
    page[1] = length;
    page[2] = function;
    page[3] = number;
    return page;
}

// MODE SELECT(6) of the mode header and the whole page to target 0.
int sendPage(PageBuffer &buffer)
{
    int transfer = MODE_HEADER_SIZE + PAGE_HEADER_BYTES + buffer.page()[1];
    return CmdExe_ModeSelect(_PCIADR, 0, buffer.bytes, static_cast<uint8_t>(transfer)) == 0;
}

int sendSimplePage(uint8_t code, uint8_t length, uint8_t function, uint8_t number)
{
    PageBuffer buffer;
    startPage(buffer, code, length, function, number);
    return sendPage(buffer);
}

int commitConfiguration(void)
{
    for (int attempt = 0; attempt < COMMIT_ATTEMPTS; ++attempt) {
        if (sendSimplePage(PAGE_LD_CONFIG, P30_LENGTH, P30_COMMIT, 0)) {
            DLLSetErrorCode(DLL_ERROR_NONE);
            return 1;
        }
    }
    return 0;
}

// The steps after a change was staged; their failure leaves it staged.
int afterStaging(int done)
{
    if (!done) {
        t_configStaged = 1;
    }
    return done;
}

int sendCachePolicies(uint8_t groupNo, uint8_t readPolicy, uint8_t writePolicy)
{
    PageBuffer buffer;
    uint8_t *page = startPage(buffer, PAGE_LD_CACHE, P3A_LENGTH, P3A_SET_POLICIES, groupNo);
    page[P3A_GROUP] = groupNo;
    page[P3A_READ_POLICY] = readPolicy;
    page[P3A_WRITE_POLICY] = writePolicy;
    return sendPage(buffer);
}

int memberCountOf(const DLL_CREATE_LD_INFO *request)
{
    return request->memberCount < TAV_MAX_DRIVES ? request->memberCount : TAV_MAX_DRIVES;
}

// A single drive of RAID 0 is not striped.
uint16_t stripeBlocks(const DLL_CREATE_LD_INFO *request)
{
    return (request->raidLevel == RAID_LEVEL_0 && request->memberCount == 1) ? 0 : STRIPE_BLOCKS;
}

// Every member must be a good drive that belongs to no group.
int membersAreFree(const DLL_CREATE_LD_INFO *request)
{
    for (int i = 0; i < memberCountOf(request); ++i) {
        uint8_t drive = request->member[i];
        if (drive >= TAV_MAX_DRIVES || HddStat[drive].state != DRIVE_GOOD ||
            HddStat[drive].groupNo != TAV_STATE_UNDEFINED) {
            DLLSetErrorCode(DLL_ERROR_LD_STATE);
            return 0;
        }
    }
    return 1;
}

int sendCreatePage(const DLL_CREATE_LD_INFO *request)
{
    PageBuffer buffer;
    uint8_t *page = startPage(buffer, PAGE_LD_CONFIG, P30_LENGTH, P30_CREATE, request->groupNo);
    page[P30_RAID_LEVEL] = request->raidLevel;
    writeBE16(page + P30_STRIPE, stripeBlocks(request));
    page[P30_HOTSPARE_MODE] = request->hotSpareMode;
    page[P30_MEMBER_COUNT] = static_cast<uint8_t>(memberCountOf(request));
    memcpy(page + P30_MEMBERS, request->member, static_cast<size_t>(memberCountOf(request)));
    page[P30_PARITY_LEVEL] = request->raidLevel == RAID_LEVEL_5 ? 1 : 0;
    page[P30_SPAN_MARKER] = request->spanMarker;
    return sendPage(buffer);
}

// Lets the new drive come up, then zeroes its block 0 so that no partition
// table left on the members survives into the new drive.
int clearBootBlock(uint8_t groupNo)
{
    uint8_t inquiry[INQUIRY_BUFFER_SIZE];
    uint8_t zeros[SECTOR_SIZE] = {};
    Tool_Sleep(1);
    if (CmdExe_InquirySized(_PCIADR, groupNo, inquiry, sizeof inquiry) != 0) {
        return 0;
    }
    Tool_Sleep(1);
    return CmdExe_WriteSized(_PCIADR, groupNo, 0, zeros, sizeof zeros) == 0;
}

int requireCandidate(uint8_t candidateNo)
{
    if (candidateNo < TAV_MAX_GROUPS && RestStat[candidateNo].state != TAV_STATE_UNDEFINED) {
        return 1;
    }
    DLLSetErrorCode(DLL_ERROR_NO_LD);
    return 0;
}

int sendRestorePage(uint8_t candidateNo, uint8_t groupNo)
{
    PageBuffer buffer;
    uint8_t *page = startPage(buffer, PAGE_LD_RESTORE, P3D_LENGTH, P3D_RESTORE, candidateNo);
    page[P3D_TARGET_GROUP] = groupNo;
    memset(page + P3D_FILL, 0xFF, P3D_FILL_SIZE);
    return sendPage(buffer);
}

}  // namespace

int TavDllRequireGroup(uint8_t groupNo)
{
    if (groupNo < TAV_MAX_GROUPS && LogStat[groupNo].state != TAV_STATE_UNDEFINED) {
        return 1;
    }
    DLLSetErrorCode(DLL_ERROR_NO_LD);
    return 0;
}

int TavDllConfigStaged(void)
{
    return t_configStaged;
}

void TavDllConfigStagedClear(void)
{
    t_configStaged = 0;
}

TAVCTL_API int TavDllCreateLD(uint8_t contNo, const DLL_CREATE_LD_INFO *request)
{
    uint8_t common[TAV_PARA_SIZE];
    if (!TavDllLcSetupAdapter(contNo) || !membersAreFree(request) ||
        !TavDllReadBuffer(BUF_COMMON_STATUS, common, sizeof common, 0)) {
        return 0;
    }
    if (!sendCreatePage(request) ||
        !afterStaging(sendCachePolicies(request->groupNo, request->readPolicy, request->writePolicy) &&
                      commitConfiguration()) ||
        !clearBootBlock(request->groupNo)) {
        return 0;
    }
    TavDllCmdExe_OsRescanCreate(contNo, request->groupNo);  // the drive exists whatever the system makes of it
    return 1;
}

TAVCTL_API int TavDllDeleteLogicalDrive(uint8_t contNo, uint8_t groupNo, char *message, size_t size)
{
    if (!TavDllLcSetupAdapter(contNo) || !TavDllRequireGroup(groupNo) ||
        !TavDllCmdExe_OsDeleteCheck(contNo, groupNo, message, size) || !TavDllCmdExe_OsDeactivate(contNo, groupNo)) {
        return 0;
    }
    return sendSimplePage(PAGE_LD_CACHE, P3A_LENGTH, P3A_DROP, groupNo) &&
           sendSimplePage(PAGE_LD_CONFIG, P30_LENGTH, P30_DELETE, groupNo) && afterStaging(commitConfiguration());
}

TAVCTL_API int TavDllRestore(uint8_t contNo, const DLL_CONFIG_RESTORE_LD *request)
{
    if (!TavDllLcSetupAdapter(contNo) || !requireCandidate(request->candidateNo)) {
        return 0;
    }
    if (request->operation == TAV_DELETE_CANDIDATE) {
        return sendSimplePage(PAGE_LD_RESTORE, P3D_LENGTH, P3D_DELETE, request->candidateNo);
    }
    if (!sendRestorePage(request->candidateNo, request->groupNo) ||
        !afterStaging(sendCachePolicies(request->groupNo, request->readPolicy, request->writePolicy) &&
                      commitConfiguration())) {
        return 0;
    }
    TavDllCmdExe_OsRescanCreate(contNo, request->groupNo);
    return TavDllLcSetupAdapter(contNo);
}
