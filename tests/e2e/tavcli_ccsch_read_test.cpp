// The schedule file when it cannot be read, or holds lines the reader does
// not keep: a change is refused and the file left byte for byte as it was,
// instead of being rewritten from an empty or partial table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ccschedule_text.h"
#include "tavcli_drive_fixture.h"

namespace {

using tavtest::kScheduleFile;
using tavtest::ScheduleText;

const std::vector<std::string> kSet{"-CCSchSet", "-T07", "-ESU", "-L0", "-a0", "-nochk"};
const char kSetDone[] = "Adapter 0-VD 0: The setting of the check consistency schedule succeeded.\n";

class ScheduleFileKept : public drivetest::DriveCommands {
protected:
    std::string File() const { return tavtest::readFile(sim.path(kScheduleFile)); }
    void PutFile(const std::string& text) const { tavtest::writeFile(sim.path(kScheduleFile), text); }
};

// An open of the file for reading that fails for any reason but ENOENT is an
// error, not "no file": nothing is written. Only that first open fails.
TEST_F(ScheduleFileKept, FailedReadOpenIsAnErrorNotAnEmptyTable) {
    const std::string kept = ScheduleText({{"0/1", "105"}, {"1/0", "623"}});
    for (const auto& [errnoName, code] :
         std::vector<std::pair<std::string, std::string>>{{"EMFILE", "18"}, {"EACCES", "0d"}}) {
        SCOPED_TRACE(errnoName);
        PutFile(kept);
        std::vector<std::string> argv{"tavcli"};
        argv.insert(argv.end(), kSet.begin(), kSet.end());
        tavtest::RunResult r =
            sim.runWithFault("openat,open", sim.path(kScheduleFile), "error=" + errnoName + ":when=1", argv);
        EXPECT_EQ(r.out, "Fatal error - Internal error -0x4000000000" + code + ".\n");
        EXPECT_EQ(File(), kept);
    }
    EXPECT_EQ(Tavcli(kSet).out, kSetDone);  // the same command without the fault
    EXPECT_EQ(File(), ScheduleText({{"0/0", "007"}, {"0/1", "105"}, {"1/0", "623"}}));
}

// Files the reader does not take whole: a set or a deletion refuses with a
// message naming the file and leaves it alone.
TEST_F(ScheduleFileKept, FileNotFullyUnderstoodIsNeverRewritten) {
    std::string crlf = ScheduleText({{"0/1", "105"}});
    for (size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) crlf.insert(at, "\r");
    std::string nulLine = "adp0\n" + std::string(1, '\0') + "\nld1:105\n";
    std::string stray = "adp0\n";
    for (int i = 0; i < 10; ++i) stray += "# note " + std::to_string(i) + "\n";
    stray += "ld1:105\n";
    const std::vector<std::pair<const char*, std::string>> files = {
        {"CRLF line ends", crlf},
        {"a NUL line", nulLine},
        {"stray lines", stray},
        {"an invalid value", ScheduleText({{"0/1", "024"}, {"0/2", "105"}})},
        {"a last line without its newline", "adp0\nld0:\nld1:105"},
        {"a drive line twice", "adp0\nld1:105\nld1:106\n"},
    };
    const std::string refused =
        "Fatal error - " + sim.path(kScheduleFile) + ": The file has lines that cannot be read. It was not changed.\n";
    for (const auto& [name, text] : files) {
        SCOPED_TRACE(name);
        PutFile(text);
        EXPECT_EQ(Tavcli(kSet).out, refused);
        EXPECT_EQ(File(), text);
    }
    const std::string noted = "adp0\n# note\nld1:105\n";  // drive 1 reads as scheduled
    PutFile(noted);
    tavtest::RunResult r = Tavcli({"-CCSchDel", "-L1", "-a0", "-nochk"});
    EXPECT_NE(r.out.find(refused), std::string::npos) << r.out;
    EXPECT_EQ(File(), noted);
    // What the library and the service write themselves is taken whole.
    for (const std::string& own :
         {std::string(), ScheduleText({{"0/1", "105"}}), ScheduleText({{"0/1", "10520260101"}}) + "\n"}) {
        PutFile(own);
        EXPECT_EQ(Tavcli(kSet).out, kSetDone);
    }
}

}  // namespace
