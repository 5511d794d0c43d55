// tavcli -Pfm on the four-adapter server of the drive tests: the option
// syntax, the rates shown at once, and the recording requested and stopped
// through the statistics parameter file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakeclock.h"
#include "perform_text.h"
#include "tavcli_drive_fixture.h"

namespace {

using drivetest::Case;
using drivetest::DriveCommands;
using tavtest::kPerformanceFile;
using tavtest::PerformanceText;

const char kNotExecuted[] = "The automatic statistical information acquisition is not executed.\n";
const char kStopPending[] =
    "The automatic statistical information acquisition interruption is being processed.\n"
    "Please wait even for completion a little.\n";
const char kStopped[] =
    "It succeeded in the acquisition interruption processing of automatic statistical information beginning.\n"
    "Please wait even for completion a little.\n";
const char kRunning[] =
    "Fatal error - The automatic statistical information acquisition processing has already been being executed.\n";

std::string Invalid(const std::string& token) { return "Invalid input at or near token " + token + ".\n"; }

std::string Started(const std::string& adapters, const std::string& lds) {
    return "Adapter " + adapters + "-VD " + lds +
           ": The automatic statistical information acquisition processing started.\n";
}

class PfmCommand : public DriveCommands {
protected:
    void SetUp() override {
        DriveCommands::SetUp();
        Idle();
    }
    std::string Para() const { return tavtest::readFile(sim.path(kPerformanceFile)); }
    void Idle() const { tavtest::writeFile(sim.path(kPerformanceFile), tavtest::kIdlePerformanceText); }
    std::string Out(const std::string& name) const { return sim.root() + "/" + name; }
};

TEST_F(PfmCommand, AutoRequestWritesTheParameterFile) {
    ExpectCase(
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0010", "-freq6", "-f" + Out("stat.txt")}, Started("0", "0")});
    EXPECT_EQ(Para(), PerformanceText("1,10,6," + Out("stat.txt") + ",txt", {"0/0"}));
    EXPECT_TRUE(tavtest::fileExists(Out("stat.txt")));  // created by the check

    Idle();
    ExpectCase({{"pfm", "AUTO", "-aALL", "-Lall", "-CSV", "-INT2400", "-Freq1000", "-F" + Out("Stat.CSV.csv")},
                Started("0,1", "0,1")});
    EXPECT_EQ(Para(),
              PerformanceText("1,1440,1000," + Out("Stat.CSV.csv") + ",csv", {"0/0", "0/1", "0/2", "1/0", "1/1"}));
}

TEST_F(PfmCommand, OptionSyntax) {
    const std::string txt = "-f" + Out("o.txt");
    const std::vector<Case> cases = {
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int2401", "-freq6", txt}, Invalid("-txt")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0000", "-freq6", txt}, Invalid("-txt")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0060", "-freq6", txt}, Invalid("-txt")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int010", "-freq6", txt}, Invalid("-txt")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0010", "-freq0", txt}, Invalid("-int0010")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0010", "-freq01", txt}, Invalid("-int0010")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0010", "-freq1001", txt}, Invalid("-int0010")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0010", "-freq", txt}, Invalid("-int0010")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0010", "-freq6x", txt}, Invalid("-int0010")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-csv", "-int0010", "-freq6", txt}, Invalid(txt)},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0010", "-freq6"}, Invalid("-freq6")},
        {{"-Pfm", "-auto", "-a0", "-L0", "-txt", "-csv", "-int0010", "-freq6", txt}, Invalid("-txt")},
        {{"-Pfm", "-auto", "-manual", "-a0", "-L0"}, Invalid("-auto")},
        {{"-Pfm", "-manual", "-a0", "-a1", "-L0"}, Invalid("-a0")},
        {{"-Pfm", "-manual", "-a0", "-L0", "-txt"}, Invalid("-txt")},
        {{"-Pfm", "-manual", "-a0", "-L0", "-freq6"}, Invalid("-freq6")},
        {{"-Pfm", "-manual", "-a0"}, Invalid("-a0")},
        {{"-Pfm", "-a0", "-L0"}, Invalid("-L0")},
        {{"-Pfm", "-manual", "-division", "-a0", "-L0"}, Invalid("-division")},
        {{"-Pfm", "-manual", "-a0", "-L0", "-bogus"}, Invalid("-L0")},
        {{"-Pfm", "-abort", "-a0", "-L0"}, Invalid("-L0")},
        {{"-Pfm", "-abort", "-int0010"}, Invalid("-int0010")},
        {{"-Pfm", "-abort", txt}, Invalid(txt)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(drivetest::Joined(c.args));
        ExpectCase(c);
        EXPECT_EQ(Para(), tavtest::kIdlePerformanceText);
    }
}

TEST_F(PfmCommand, AbortAndTheRequestStates) {
    const std::vector<std::string> autoArgs = {"-Pfm", "-auto",    "-a1",    "-L1",
                                               "-csv", "-int0001", "-freq3", "-f" + Out("s.csv")};
    ExpectCases({
        {{"-Pfm", "-abort"}, kNotExecuted},
        {autoArgs, Started("1", "1")},
        {autoArgs, kRunning},
        {{"-Pfm", "-abort", "-a1"}, kStopped},
    });
    EXPECT_EQ(Para(), tavtest::kStopPerformanceText);
    ExpectCases({
        {{"-Pfm", "-abort"}, kStopPending},
        {autoArgs, kStopPending},
    });
    tavtest::writeFile(sim.path(kPerformanceFile), "static_para:9\n");
    ExpectCases({
        {{"-Pfm", "-abort", "-a1"}, "Fatal error - Adapter 1: DLL information is abnormal.\n"},
        {autoArgs, "Fatal error - Adapter 1: DLL information is abnormal.\n"},
    });
}

TEST_F(PfmCommand, AdapterWithoutLogicalDrives) {
    ExpectCase({{"-Pfm", "-manual", "-a2", "-Lall"}, "Fatal error - Adapter 2: There is no Virtual Drive.\n"});
    ExpectCase({{"-Pfm", "-auto", "-a2,3", "-Lall", "-txt", "-int0001", "-freq1", "-f" + Out("x.txt")},
                "Fatal error - Adapter 2: There is no Virtual Drive.\n"});
    EXPECT_EQ(Para(), tavtest::kIdlePerformanceText);
}

TEST_F(PfmCommand, ManualShowsTheRatesAtOnce) {
    ASSERT_EQ(sim.inject({"load", "0", "0", "100", "40"}).status, 0);
    ASSERT_EQ(sim.inject({"load", "0", "2", "6", "2", "2"}).status, 0);
    ASSERT_EQ(sim.inject({"load", "1", "1", "1000", "0", "16"}).status, 0);
    std::vector<std::string> env = tavtest::FakeTimeEnvironment("2026-12-07 14:05:00");
    env.push_back("TZ=UTC");
    tavtest::RunResult r = sim.run({"tavcli", "-Pfm", "-manual", "-aALL", "-Lall"}, "", env);
    EXPECT_EQ(r.out,
              "--- Driver Information ---\n"
              "Date           Adapter LD Read[KB/sec] Write[KB/sec] Read[IOs/sec] Write[IOs/sec]\n"
              "26/12/07/14:05       0             406           162           106             42\n"
              "                     1            8000             0          1000              0\n"
              "\n"
              "                     0  0          400           160           100             40\n"
              "                     0  1            0             0             0              0\n"
              "                     0  2            6             2             6              2\n"
              "                     1  0            0             0             0              0\n"
              "                     1  1         8000             0          1000              0\n");
    EXPECT_EQ(r.status, 0);
}

}  // namespace
