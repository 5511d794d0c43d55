/* The usage text and the version banner: the two commands that need no
 * adapter. */
#include "tavcli.h"

#define TAVCLI_VERSION "5.0"

/* The usage text, one line per command, followed by an empty line (the line
 * break that CliLogging appends closes the last line). */
static const char kUsageText[] =
    "tavcli -AdpAllInfo -aN|-a0,1,2|-aALL\n"
    "tavcli -AdpCount\n"
    "tavcli -AdpAutoRbld -Enbl|-Dsbl|-Dsply -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -AdpPRSetDelay -High|-Middle|-Low -aN|-a0,1,2|-aALL\n"
    "tavcli -CfgLDAdd -R0|-R1|-R5[0:0,1:1,...N:N] {-WT|-WB} {-NORA|-RA} {-afterLdx} -aN\n"
    "tavcli -CfgSpanADD -R10 -Array0[0:0,1:1,...N:N] -Array1[0:0,1:1,...N:N] [-Arrayx[0:0,1:1,...N:N]] {-WT|-WB} "
    "{-NORA|-RA} {-afterLdx} -aN\n"
    "tavcli -CfgLDDel -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -LDInfo -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -LDSetProp -WT|-WB|-NORA|-RA -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -LDGetProp -Cache -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -LDCC -Start|-Abort|-ShowProg|-ProgDsply -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -LDPDInfo -aN|-a0,1,2|-aALL\n"
    "tavcli -LDGetNum -aN|-a0,1,2|-aALL\n"
    "tavcli -PDInfo -PhysDrv[0:0,1:1,...N:N] -aN|-a0,1,2|-aALL\n"
    "tavcli -PDOnline -PhysDrv[0:0,1:1,...N:N] -aN|-a0,1,2|-aALL\n"
    "tavcli -PDOffline -PhysDrv[0:0,1:1,...N:N] -aN|-a0,1,2|-aALL\n"
    "tavcli -PDHSP -Set|-Rmv -PhysDrv[0:0,1:1,...N:N] -aN|-a0,1,2|-aALL\n"
    "tavcli -PDRbld -Start|-ShowProg|-ProgDsply -PhysDrv[0:0,1:1,...N:N] -aN|-a0,1,2|-aALL\n"
    "tavcli -PDGetNum -aN|-a0,1,2|-aALL\n"
    "tavcli -PDList -aN|-a0,1,2|-aALL\n"
    "tavcli -v\n"
    "tavcli -h|-Help|?\n"
    "tavcli -PDRbldPrrty -Idle|-Busy -High|-Middle|-Low -aN|-a0,1,2|-aALL\n"
    "tavcli -LDParity -Start|-Abort|-ShowProg|-ProgDsply -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -LDRstrDrvList -aN|-a0,1,2|-aALL\n"
    "tavcli -LDRstr -Rstr|-Del -SLx {-DLx} {-WCache} {-RCache} -aN\n"
    "tavcli -LDRstrDrvInfo -Lx -aN\n"
    "tavcli -LDBadSpot -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -AdpFwFlash -fFileName -aN|-a0,1,2|-aALL\n"
    "tavcli -PDLocate -Active|-Passive -PhysDrv[0:0,1:1,...N:N] -aN|-a0,1,2|-aALL\n"
    "tavcli -CCSchSet -Txx -EM|-ET|-EW|-ETH|-EF|-ES|-ESU -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -CCSchInfo -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n"
    "tavcli -CCSchDel -Lx|-L0,1,2|-Lall -aN|-a0,1,2|-aALL\n";

static void PrintVersionBanner(void)
{
    CliLogging(CLI_LOG_STDOUT, MOD_STRDEF, __LINE__,
               "    Morvane RAID Adapter Command Line Tool Ver %s\n"
               "    Copyright (C) Morvane. All rights reserved.",
               TAVCLI_VERSION);
}

/* Help and version take no option: one names the command word as the
 * token at fault. */
static int HasExtraArgument(int argc, char *argv[])
{
    if (argc < 3) {
        return 0;
    }
    CliLogging(CLI_LOG_TRACE, MOD_STRDEF, __LINE__, MSG_INVALID_TOKEN, argv[1]);
    return 1;
}

int CliCmdExecHelp(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_STRDEF);
    if (HasExtraArgument(argc, argv)) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_STRDEF, __LINE__, "%s", kUsageText);
    PrintVersionBanner();
    return 0;
}

int CliCmdExecVersion(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_STRDEF);
    if (HasExtraArgument(argc, argv)) {
        return 0;
    }
    PrintVersionBanner();
    return 0;
}
