/* The information blocks that several commands print: the physical-drive
 * block and the logical-drive block with its field texts. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

/* ---- physical-drive block ---- */

#define ASSIGN_TEXT_SIZE 11   /* at most 10 characters */
#define INQUIRY_TEXT_OFFSET 8 /* the INQUIRY bytes 8-47 are shown */
#define INQUIRY_TEXT_LENGTH 40
#define HEADING_SIZE 32

/* Member states of a member entry. */
#define MEMBER_IN_USE 0
#define MEMBER_GROUP_SPARE 2
#define MEMBER_SPARE_STANDS_IN 3

/* ---- information block ---- */

/* Appends to a text that is cut at its buffer size. */
static void AppendText(char *text, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
static void AppendText(char *text, size_t size, const char *format, ...)
{
    size_t used = strnlen(text, size);
    if (used + 1 >= size) {
        return;
    }
    va_list args;
    va_start(args, format);
    vsnprintf(text + used, size - used, format, args);
    va_end(args);
}

/* The LD a member drive belongs to, then one mark per member entry of the
 * drive: "-D" or "-S" with the drive serving the position, or "-GroupHS". */
static int MemberAssignText(CliDriveRef drive, uint8_t group, char *text, size_t size)
{
    DLL_GET_LOGICAL_DISK_INFO ld;
    if (!CLI_CALL(drive.adapter, MOD_CMD_PD, getLogicalDriveInfo(drive.adapter, group, &ld))) {
        return 0;
    }
    snprintf(text, size, "%d", group);
    for (int i = 0; i < ld.memberCount && i < TAV_MAX_DRIVES; ++i) {
        const DLL_LD_MEMBER &member = ld.member[i];
        if (member.hddNo != drive.pd) {
            continue;
        }
        if (member.memberState == MEMBER_IN_USE) {
            AppendText(text, size, "-D%d", member.copyTarget);
        } else if (member.memberState == MEMBER_SPARE_STANDS_IN) {
            AppendText(text, size, "-S%d", member.copyTarget);
        } else if (member.memberState == MEMBER_GROUP_SPARE) {
            AppendText(text, size, "-GroupHS");
        }
    }
    return 1;
}

/* 1 built; 0 after InternalError; -1 for a class no table knows. */
static int AssignText(CliDriveRef drive, const DLL_GET_HDD_INFO *info, char *text, size_t size)
{
    switch (info->hddClass) {
    case TAV_CLASS_MEMBER:
        return MemberAssignText(drive, info->groupNo, text, size);
    case TAV_CLASS_MEMBER_NOT_USED:
    case TAV_CLASS_SPARE_IN_USE:
    case TAV_CLASS_SPARE_NOT_USED:
    case TAV_CLASS_FRESH:
        snprintf(text, size, "-");
        return 1;
    case TAV_CLASS_RESTORE:
        snprintf(text, size, "RLD");
        return 1;
    default:
        return -1;
    }
}

static int PrintPDInfoBlock(CliDriveRef drive, const DLL_GET_HDD_INFO *info, uint8_t state, int heading,
                            int fatalOnAbnormal)
{
    const uint8_t adapter = drive.adapter;
    char assign[ASSIGN_TEXT_SIZE] = "";
    int built = AssignText(drive, info, assign, sizeof assign);
    if (built < 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_PD, __LINE__, MSG_DLL_ABNORMAL, adapter);
        if (fatalOnAbnormal) {
            CliFatalStop(adapter, MOD_CMD_PD, __LINE__);
        }
        return 0;
    }
    if (built == 0) {
        return 0;
    }
    char driveClass[18], stateText[14], sync[16], smart[10], badSpot[10];
    getOutputStr(CLI_TEXT_PD_CLASS, info->hddClass, driveClass, sizeof driveClass, adapter);
    getOutputStr(CLI_TEXT_PD_STATE, state, stateText, sizeof stateText, adapter);
    getOutputStr(CLI_TEXT_LINK_SPEED, info->linkSpeed, sync, sizeof sync, adapter);
    getOutputStr(CLI_TEXT_SMART, info->smartState, smart, sizeof smart, adapter);
    getOutputStr(CLI_TEXT_BAD_SPOT, info->badSpotState, badSpot, sizeof badSpot, adapter);

    char inquiry[INQUIRY_TEXT_LENGTH + 1];
    memcpy(inquiry, info->inquiry + INQUIRY_TEXT_OFFSET, INQUIRY_TEXT_LENGTH);
    inquiry[INQUIRY_TEXT_LENGTH] = '\0';
    char first[HEADING_SIZE];
    snprintf(first, sizeof first, heading == CLI_PD_HEADING_INFO ? "PD: %d Information" : "Physical Disk: %d",
             drive.pd);

    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__,
               "%s\nVendor ID:             %.7s\nProduct ID:            %.15s\nRevision:              %.4s\n"
               "Assign Virtual Disk:   %s\nClass:                 %s\nSize:                  %dMB\n"
               "State:                 %s\nSync Period:           %s\nSMART:                 %s\n"
               "Bad Spot State:        %s\nBad Spot Count:        %d\nInquiry Data:          %s\n",
               first, info->vendor, info->product, info->revision, assign, driveClass, (int)info->capacityMB, stateText,
               sync, smart, badSpot, info->badSpotCount, inquiry);
    return 1;
}

int CliShowPhysicalDrive(CliDriveRef drive, uint8_t state, int heading, int fatalOnAbnormal)
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    DLL_GET_HDD_INFO info;
    if (!CLI_CALL(drive.adapter, MOD_CMD_PD, getPhysicalDriveInfo(drive.adapter, drive.pd, &info))) {
        return 0;
    }
    return PrintPDInfoBlock(drive, &info, state, heading, fatalOnAbnormal);
}

int CliShowPresentDrives(uint8_t adapter, const DLL_GET_RAID_STATUS *status, int heading, int fatalOnAbnormal)
{
    for (uint8_t pd = 0; pd < CLI_PD_USED; ++pd) {
        if (status->hddState[pd] != TAV_STATE_UNDEFINED &&
            !CliShowPhysicalDrive(CliDriveRef{adapter, pd}, status->hddState[pd], heading, fatalOnAbnormal)) {
            return 0;
        }
    }
    return 1;
}

/* ---- logical-drive block ---- */

#define RAID_LEVEL_MIRROR 1
#define RAID10_MIN_MEMBERS 4 /* a mirror of four or more drives is RAID 10 */
#define LD_STATE_COPY_BACK 2
#define LD_STATE_COPY 5

/* ---- LD information block ---- */

int CliReportAbnormalInfo(uint8_t adapter)
{
    CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_DLL_ABNORMAL, adapter);
    return 0;
}

static int RaidLevelNumber(uint8_t adapter, const DLL_GET_LOGICAL_DISK_INFO *info, int *level)
{
    switch (info->raidLevel) {
    case 0:
    case 5:
    case 6:
        *level = info->raidLevel;
        return 1;
    case RAID_LEVEL_MIRROR:
        *level = info->memberCount < RAID10_MIN_MEMBERS ? 1 : 10;
        return 1;
    default:
        return CliReportAbnormalInfo(adapter);
    }
}

static int StripeSizeText(uint8_t adapter, uint32_t blocks, char *text, size_t size)
{
    static const struct {
        uint32_t blocks;
        int kilobytes;
    } kStripes[] = {{0x80, 64}, {0x100, 128}, {0x200, 256}, {0x400, 512}};
    if (blocks == 0) {
        snprintf(text, size, "None");
        return 1;
    }
    for (const auto &stripe : kStripes) {
        if (stripe.blocks == blocks) {
            snprintf(text, size, "%dkB", stripe.kilobytes);
            return 1;
        }
    }
    return CliReportAbnormalInfo(adapter);
}

static void RebuildStateText(uint8_t adapter, uint8_t rebuildState, uint8_t ldState, char *text, size_t size)
{
    if (rebuildState == TAV_REBUILD_EXECUTING && ldState == LD_STATE_COPY_BACK) {
        snprintf(text, size, "Copy Back Executing");
    } else if (rebuildState == TAV_REBUILD_EXECUTING && ldState == LD_STATE_COPY) {
        snprintf(text, size, "Copy Executing");
    } else {
        getOutputStr(CLI_TEXT_REBUILD, rebuildState, text, size, adapter);
    }
}

int CliBuildLdTexts(uint8_t adapter, const DLL_GET_LOGICAL_DISK_INFO *info, uint8_t ldState, int defined, CliLdTexts *t)
{
    if (!RaidLevelNumber(adapter, info, &t->raidLevel)) {
        return 0;
    }
    if (defined) {
        getOutputStr(CLI_TEXT_LD_STATE, ldState, t->state, sizeof t->state, adapter);
    }
    if (!StripeSizeText(adapter, info->stripeSize, t->stripe, sizeof t->stripe)) {
        return 0;
    }
    getOutputStr(CLI_TEXT_HOT_SPARE, info->hotSpareMode, t->hotSpare, sizeof t->hotSpare, adapter);
    getOutputStr(CLI_TEXT_AUTO_REBUILD, info->autoRebuild, t->autoRebuild, sizeof t->autoRebuild, adapter);
    RebuildStateText(adapter, info->rebuildState, ldState, t->rebuild, sizeof t->rebuild);
    getOutputStr(CLI_TEXT_MAINTENANCE, info->maintenance, t->maintenance, sizeof t->maintenance, adapter);
    if (defined) {
        getOutputStr(CLI_TEXT_DATA_LOST, info->dataLost, t->dataLost, sizeof t->dataLost, adapter);
    }
    getOutputStr(CLI_TEXT_READ_POLICY, info->readCache, t->readCache, sizeof t->readCache, adapter);
    getOutputStr(CLI_TEXT_WRITE_POLICY, info->writeCache, t->writeCache, sizeof t->writeCache, adapter);
    return 1;
}

int CliPrintLdBlock(CliLdRef ld, const DLL_GET_LOGICAL_DISK_INFO *info, uint8_t ldState)
{
    CliLdTexts t;
    if (!CliBuildLdTexts(ld.adapter, info, ldState, 1, &t)) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               "Virtual Disk:          %d\nRAID Level:            RAID%d\nSize:                  %dMB\n"
               "State:                 %s\nStripe Size:           %s\nNumber of Drives:      %d\n"
               "Hot Spare Mode:        %s\nAuto Rebuild:          %s\nRebuild State:         %s\n"
               "Maintenance State:     %s\nOperation Progress:    %d%s\nForce State Change:    %s\n"
               "Operation Error Count: %d\nRead Cache:            %s\nWrite Cache:           %s\n",
               ld.ld, t.raidLevel, (int)info->capacityMB, t.state, t.stripe, info->memberCount, t.hotSpare,
               t.autoRebuild, t.rebuild, t.maintenance, info->progress, "%%", t.dataLost, (int)info->errorCount,
               t.readCache, t.writeCache);
    return 1;
}
