// tavpth's frame: the command table and usage, the number checks of the
// command line, the controller and drive checks, the messages of failed
// pass-through calls, the trace log and the signals.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tavpth_tool_fixture.h"

namespace {

using pthtest::Case;
using pthtest::kAbnormalEnd;

class Frame : public pthtest::Tool {};

std::string Usage() {
    std::string rule(72, '-');
    return "TAV000-I The mistake is found in the parameter.\n" + rule +
           "\ntavpth L\ntavpth F <firmware filename>\ntavpth P <parameter filename>\n"
           "tavpth E <parameter filename>\ntavpth N <parameter filename>\ntavpth R <parameter filename>\n"
           "tavpth W <parameter filename>\n"
           "tavpth D <ControllerNo> <PhysicalDriveNo> <Address> <Save Filename>\n"
           "tavpth r <ControllerNo> <LogicalDriveNo> <Address>\n"
           "tavpth w <ControllerNo> <LogicalDriveNo> <Address> <DataHDD>\n"
           "tavpth ANY <parameter filename>\n"
           "tavpth PDOneSectorRead <ControllerNo> <PhysicalDriveNo> <Address>\n"
           "tavpth PDPrintModePage <ControllerNo> <PhysicalDriveNo> <PageCode> <SubPageCode> <DataSize> \n"
           "tavpth PDOneSectorWrite <ControllerNo> <PhysicalDriveNo> <Address>\n"
           "tavpth PDHDDCapaChange <ControllerNo> <PhysicalDriveNo> <Capacity>\n"
           "tavpth LDOneSectorRead <ControllerNo> <LogicalDriveNo> <Address>\n"
           "tavpth LDOneSectorWrite <ControllerNo> <LogicalDriveNo> <Address>\n"
           "tavpth N5 <parameter filename>\n"
           "tavpth r64 <ControllerNo> <LogicalDriveNo> <Address>\n"
           "tavpth w64 <ControllerNo> <LogicalDriveNo> <Address> <DataHDD>\n"
           "tavpth A <parameter filename>\ntavpth e <parameter filename>\n" +
           rule + "\n";
}

const std::string kTarget00 = "RAID Controller No.0\nPhysical Drive No.0\n";

TEST_F(Frame, MissingUnknownOrMiscountedCommandPrintsTheUsage) {
    ExpectAll({
        {{}, Usage(), 1},
        {{"X"}, Usage(), 1},
        {{"l"}, Usage(), 1},  // words are case-sensitive
        {{"P"}, Usage(), 1},
        {{"L", "extra"}, Usage(), 1},
        {{"PDOneSectorRead", "0", "0"}, Usage(), 1},
        {{"PDOneSectorRead", "0", "0", "0", "0"}, Usage(), 1},
    });
}

TEST_F(Frame, CommandLineNumbersAreChecked) {
    auto illegal = [](const std::string& label) {
        return "TAV0022-E Ileagal Parameter. detail=" + label + "\n" + kAbnormalEnd;
    };
    ExpectAll({
        {{"PDOneSectorRead", "10", "0", "0"}, illegal("Controller No"), 1},
        {{"PDOneSectorRead", "a", "0", "0"}, illegal("Controller No"), 1},
        {{"PDOneSectorRead", "", "0", "0"}, illegal("Controller No"), 1},
        {{"PDOneSectorRead", "0", "x", "0"}, illegal("Drive No"), 1},
        {{"PDOneSectorRead", "0", "0", "123456789"}, kTarget00 + illegal("Address"), 1},
        {{"PDOneSectorRead", "0", "0", "12G"}, kTarget00 + illegal("Address"), 1},
        {{"PDOneSectorRead", "0", "0", "0x"}, kTarget00 + illegal("Address"), 1},
        {{"LDOneSectorRead", "0", "0", "-1"}, "RAID Controller No.0\nLogical Drive No.0\n" + illegal("Address"), 1},
    });
}

TEST_F(Frame, MissingControllerOrDriveIsRefusedBeforeAnythingIsSent) {
    std::string missing = std::string("TAV0009-E Your target DeviceNo doesn't exist.\n") + kAbnormalEnd;
    ExpectAll({
        {{"PDOneSectorRead", "1", "0", "0"},
         std::string("TAV0003-E Morvane Raid Controller is not found.\n") + kAbnormalEnd,
         1},
        {{"PDOneSectorRead", "0", "6", "0"}, missing, 1},  // empty slot
        {{"PDOneSectorRead", "0", "8", "0"}, missing, 1},  // beyond the tool's drives
        {{"PDOneSectorWrite", "0", "9", "0"}, missing, 1},
        {{"LDOneSectorRead", "0", "2", "0"}, missing, 1},  // no such logical drive
    });
    EXPECT_EQ(DriveModel(0)["commands_received"], 0);
}

TEST_F(Frame, WithoutAnyControllerEveryCommandEndsWithTav0003) {
    ASSERT_EQ(std::remove(sim.path("/proc/scsi/tavdrv/2").c_str()), 0);
    std::string notFound = std::string("TAV0003-E Morvane Raid Controller is not found.\n") + kAbnormalEnd;
    ExpectAll({
        {{"L"}, notFound, 1},
        {{"PDOneSectorRead", "0", "0", "0"}, notFound, 1},
        {{"P", "nofile"}, notFound, 1},
    });
}

// A user who is not root finds no controller: the message as it stands,
// then the line that says why.
TEST_F(Frame, UserWhoIsNotRootIsToldWhyNoControllerIsFound) {
    tavtest::RunResult r = sim.run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                    tavtest::binDir() + "/tavpth", "PDOneSectorRead", "0", "0", "0"});
    EXPECT_EQ(r.status, 1);
    const std::string head = "TAV0003-E Morvane Raid Controller is not found.\nCause: must run as root (";
    EXPECT_EQ(r.out.rfind(head, 0), 0u) << r.out;
    const std::string tail = ").\n" + std::string(kAbnormalEnd);
    ASSERT_GE(r.out.size(), tail.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
}

// The messages of failed pass-through calls, with what each left behind.
TEST_F(Frame, FailedCommandsAreReportedByTheirReturnCode) {
    std::string head = kTarget00 + "Logical Block Address : 0x00000010\n\n" +
                       pthtest::Cdb({0xBB, 0x00, 0x28, 0, 0, 0, 0, 0x10, 0, 0, 1, 0});
    std::vector<std::string> read{"PDOneSectorRead", "0", "0", "10"};

    ASSERT_EQ(sim.inject({"drive-check-condition", "0", "0", "3", "0x11", "0x02"}).status, 0);
    Expect({read, head + "TAV0005-E Request sense data  KEY:03  ASC:11  ASCQ:02\n" + kAbnormalEnd, 1});

    ASSERT_EQ(sim.inject({"drive-busy", "0", "0"}).status, 0);
    Expect({read, head + "TAV0023-E Request time out.\n" + kAbnormalEnd, 1});

    // Another pass-through command holds the lock.
    int fd = open(sim.path("/var/run/.libtavpth.lock").c_str(), O_RDWR | O_CREAT, 0700);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    Expect({read, head + "TAV0017-E Read and Write command cannot be executed at the same time.\n" + kAbnormalEnd, 1});
    close(fd);

    // Every one of them reached the drive at most once and the next read works.
    auto r = Run(read);
    EXPECT_EQ(r.status, 0) << r.out;
}

// A stopped drive refuses media access with NOT READY, shown as its sense.
TEST_F(Frame, DriveInAStateThatRefusesTheCommand) {
    ASSERT_EQ(sim.inject({"drive-stop", "0", "4"}).status, 0);
    auto r = Run({"PDOneSectorWrite", "0", "4", "0"});
    EXPECT_NE(r.out.find("TAV0005-E Request sense data  KEY:02  ASC:04  ASCQ:02\n" + std::string(kAbnormalEnd)),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 1);
}

// The printer's last row of a length that is no multiple of 16 is padded
// before its character column.
TEST_F(Frame, PartialLastRowIsPadded) {
    auto r = RunFile("ANY", "0\n0\n120000001400\n0\n14\n");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string rows = r.out.substr(r.out.find("[Command Result] Size=20\n"));
    std::string second = rows.substr(rows.find("00000010: "));
    EXPECT_EQ(second.substr(0, second.find('\n')), "00000010: 4D 42 42 32 " + std::string(36, ' ') + "  MBB2") << rows;
}

TEST_F(Frame, TraceLogHoldsTheCommandLineAndTheMessages) {
    Run({"PDOneSectorRead", "0", "8", "0"});
    std::string log = TraceLog();
    EXPECT_NE(log.find("/tavpth PDOneSectorRead 0 8 0"), std::string::npos);
    EXPECT_NE(log.find("TAV0009-E Your target DeviceNo doesn't exist."), std::string::npos);
    EXPECT_NE(log.find("TAV0002-I PassThrough Tool abnormal end."), std::string::npos);
    EXPECT_NE(log.find("CALL - signal_setup()"), std::string::npos);
}

// A run signalled while it reads its parameter file: strace delivers the
// signal as the tool enters its first read of the file.
tavtest::RunResult SignalWhileReading(const tavtest::SimServer& sim, int signo) {
    std::string params = sim.path("/params.txt");
    tavtest::writeFile(params, "0\n0\n120000001400\n0\n14\n");
    return sim.runWithFault("read", params, "signal=" + std::to_string(signo) + ":when=1", {"tavpth", "R", params});
}

// Every signal ends the run as a failure; only SIGINT is silent, and a
// segmentation fault keeps its own death after the message.
TEST_F(Frame, SignalsEndTheRunAsAFailure) {
    struct Row {
        int signo;
        int status;
        bool message;
    };
    for (const Row& row :
         {Row{SIGTERM, 1, true}, Row{SIGHUP, 1, true}, Row{SIGINT, 1, false}, Row{SIGSEGV, 128 + SIGSEGV, true}}) {
        auto r = SignalWhileReading(sim, row.signo);
        char detail[64];
        std::snprintf(detail, sizeof detail, "TAV0004-E signal_handler() failed. detail=0x%08x\n",
                      0xE0000000u + static_cast<unsigned>(row.signo));
        EXPECT_EQ(r.status, row.status) << row.signo;
        EXPECT_EQ(r.out.find(detail) != std::string::npos, row.message) << row.signo << r.out;
        EXPECT_NE(TraceLog().find(std::string(detail, std::strlen(detail) - 1)), std::string::npos) << row.signo;
    }
}

}  // namespace
