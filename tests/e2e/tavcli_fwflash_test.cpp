// -AdpFwFlash on simulated adapters: the file and header checks, the
// revision rules, the question, two adapters, the progress bar as a
// terminal shows it, failing pieces, and a file replaced while the
// operator is asked.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavcli_bgop_fixture.h"
#include "tavtest.h"
#include "tavtest_pty.h"
#include "tavtest_screen.h"

namespace {

using tavtest::PtySession;
using tavtest::RunResult;
using tavtest::SimServer;

constexpr int kTimeoutMs = 60000;
const char kQuestion[] = "\tIs the update executed?(Y/N)?\n";
const char kReactivate[] = "   When being reactivate next time, Firmware is renewed.";

std::string BigEndian(uint32_t value) { return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)}; }

struct ImageSpec {
    std::string revision = "0420";
    uint32_t dataSize = 8192;
    bool outer = true;
    std::string outerMark = "MORVANE TAV_RAIDV0";
    std::string imageMark = "Zephyrox";
    int64_t sizeError = 0;      // bytes added to (or cut from) the file
    uint32_t adapterTotal = 0;  // the total the data's own header claims; 0: the data size
};

// The data as the simulated adapter takes it (its own 16-byte header first),
// behind the image header and, unless left out, the outer header.
std::string ImageFile(const ImageSpec& s) {
    std::string data(s.dataSize, '\0');
    for (uint32_t i = 0; i < s.dataSize; ++i) data[i] = char((i * 7 + 3) & 0xFF);
    std::string own = "TAVFWIMG" + s.revision + BigEndian(s.adapterTotal ? s.adapterTotal : s.dataSize);
    data.replace(0, std::min<size_t>(own.size(), data.size()), own.substr(0, data.size()));
    std::string header(256, '\0');
    header.replace(0, s.imageMark.size(), s.imageMark);
    header.replace(8, 4, s.revision);
    header.replace(12, 4, std::string("\x20\x26\x12\x09", 4));
    header.replace(16, 16, "MORVANE FW TEAM ");
    header.replace(48, 4, BigEndian(s.dataSize));
    std::string outer(32, '\0');
    outer.replace(0, s.outerMark.size(), s.outerMark);
    std::string file = (s.outer ? outer : "") + header + data;
    if (s.sizeError > 0) file += std::string(size_t(s.sizeError), 'x');
    if (s.sizeError < 0) file.resize(file.size() - size_t(-s.sizeError));
    return file;
}

std::string Information(const std::string& path, const ImageSpec& s, int adapter = 0) {
    char size[32];
    std::snprintf(size, sizeof size, "%XH", s.dataSize);
    std::string hex(size);
    for (char& c : hex)
        if (c != 'H') c = char(std::tolower(static_cast<unsigned char>(c)));
    return "\nUpdate File Information\n\tROM General Revision : 0410\n\tUpdate file          : " + path +
           "\n\tUpdate adapter       : " + std::to_string(adapter) + "\n\tGeneral Revision     : " + s.revision +
           "\n\tDate of making       : 2026/12/9\n\tAuthor               : MORVANE FW TEAM \n\tImage size           "
           ": " +
           hex + "\n\n";
}

nlohmann::json FlashState(const SimServer& sim, int adapter = 0) {
    return nlohmann::json::parse(sim.show())["adapters"][adapter]["flash"];
}

std::string BarRow(int adapter, int percent) {
    char head[32];
    std::snprintf(head, sizeof head, "        %2d         ", adapter);
    return bgoptest::BarRow(head, percent);
}

// The rows from the progress heading on, as a terminal shows them.
std::vector<std::string> ProgressRows(const std::string& out, bool fromPty = false) {
    tavtest::Screen screen = tavtest::renderScreen(out, !fromPty);
    int first = screen.find("Firmware Update progress of...");
    if (first < 0) return {};
    std::vector<std::string> used = screen.used();
    std::vector<std::string> rows;
    bool on = false;
    for (const std::string& row : used) {
        on = on || row == "Firmware Update progress of...";
        if (on) rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> Progress(std::vector<std::string> tail) {
    std::vector<std::string> rows{"Firmware Update progress of...", "",
                                  " Adapter #                     Percent Complete"};
    rows.insert(rows.end(), tail.begin(), tail.end());
    return rows;
}

class FwFlash : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.initOutput(); }
    std::string Write(const std::string& name, const ImageSpec& spec) {
        std::string path = sim.path("/" + name);
        tavtest::writeFile(path, ImageFile(spec));
        return path;
    }
    RunResult Run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"tavcli", "-AdpFwFlash"});
        return sim.run(args, input);
    }
    SimServer sim;
};

struct FileCase {
    const char* what;
    ImageSpec spec;
    std::vector<std::string> flags;
    const char* message;  // after "Fatal error - <path>: "
};

TEST_F(FwFlash, FileChecksEndTheProgramBeforeAnythingIsWritten) {
    ImageSpec highBit;
    highBit.outerMark = "MORVANE TAV_RAIDV1";
    ImageSpec noMark;
    noMark.imageMark = "Zephyrus";
    ImageSpec longer, shorter, empty, headless;
    longer.sizeError = 1;
    shorter.sizeError = -1;
    empty.dataSize = 0;
    headless.outer = false;
    const FileCase cases[] = {
        {"outer header", highBit, {}, "The specified file is not an image file."},
        {"image header", noMark, {}, "The specified file is not an image file."},
        {"a byte too many", longer, {}, "file is broken."},
        {"a byte too few", shorter, {}, "file is broken."},
        {"no data", empty, {}, "file is broken."},
        {"outer header left out", headless, {}, "The specified file is not an image file."},
        {"outer header given with noheadchk", ImageSpec(), {"noheadchk"}, "The specified file is not an image file."},
    };
    for (const FileCase& c : cases) {
        std::string path = Write("image.bin", c.spec);
        std::vector<std::string> args{"-f" + path, "-a0"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        RunResult r = Run(args, "y\n");
        EXPECT_EQ(r.out, "Fatal error - " + path + ": " + c.message + "\n") << c.what;
        EXPECT_EQ(r.status, 1) << c.what;
    }
    tavtest::writeFile(sim.path("/short.bin"), "MORVANE TAV_RAIDV0");
    RunResult r = Run({"-f" + sim.path("/short.bin"), "-a0"});
    EXPECT_EQ(r.out, "Fatal error - " + sim.path("/short.bin") + ": file read failure.\n");
    EXPECT_EQ(r.status, 1);
    r = Run({"-F" + sim.path("/none.bin"), "-a0"});
    EXPECT_EQ(r.out, "Fatal error - " + sim.path("/none.bin") + ": The specified file is not found.\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(FlashState(sim)["bytes_received"], 0);
}

TEST_F(FwFlash, SyntaxErrors) {
    std::string path = Write("image.bin", ImageSpec());
    const struct {
        std::vector<std::string> args;
        std::string token;
    } cases[] = {
        {{"-f" + path}, "-f" + path},
        {{"-a0"}, "-a0"},
        {{"-f" + path, "-a0", "-f" + path}, "-a0"},
        {{"-f" + path, "-a0", "-a1"}, "-a0"},
        {{"-f" + path, "-a0", "noverchk", "noverchk"}, "noverchk"},
        {{"-f" + path, "-a0", "-force"}, "-a0"},  // a second file option
        {{"-f" + path, "-a0", "-xforce"}, "-AdpFwFlash"},
        {{"-f", "-a0"}, "-AdpFwFlash"},
        {{"-f" + path, "-a7"}, "-f" + path},
    };
    for (const auto& c : cases) {
        RunResult r = Run(c.args);
        EXPECT_EQ(r.out, "Invalid input at or near token " + c.token + ".\n") << c.args.back();
        EXPECT_EQ(r.status, 0);
    }
}

// A data size with bytes of 0x80 and more; without the outer header.
TEST_F(FwFlash, LargeDataSizeWithoutOuterHeader) {
    ImageSpec spec;
    spec.dataSize = 0x00018000;
    spec.outer = false;
    std::string path = Write("Image.BIN", spec);
    RunResult r = Run({"F" + path, "-A0", "NoHeadChk", "-noverchk"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.substr(0, Information(path, spec).size()), Information(path, spec));
    EXPECT_NE(r.out.find("Image size           : 18000H"), std::string::npos);
    nlohmann::json flash = FlashState(sim);
    EXPECT_EQ(flash["bytes_received"], 0x18000);
    EXPECT_EQ(flash["pending_revision"], "0420");
    EXPECT_EQ(flash["running_revision"], "0410");
    EXPECT_EQ(ProgressRows(r.out),
              Progress({BarRow(0, 100), "", "   Adapter 0: Firmware Update Completed.", kReactivate}));
}

TEST_F(FwFlash, RevisionRules) {
    const struct {
        const char* revision;
        std::vector<std::string> flags;
        std::string refusal;  // empty: the update goes on
    } cases[] = {
        {"0510", {}, "Fatal error - Adapter 0: It is not possible to update it to this revision.\n"},
        {"1510", {"noverchk"}, "Fatal error - Adapter 0: It is not possible to update it to this revision.\n"},
        {"0409", {}, "Fatal error - Adapter 0: The down of the version of Firmware has not been permitted.\n"},
        {"0409", {"verdown"}, ""},
        {"0409", {"noverchk"}, ""},
        {"0410", {}, ""},
        {"1420", {}, ""},
    };
    for (const auto& c : cases) {
        ImageSpec spec;
        spec.revision = c.revision;
        spec.dataSize = 100;
        std::string path = Write("image.bin", spec);
        std::vector<std::string> args{"-f" + path, "-a0"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        RunResult r = Run(args, "n\n");
        if (!c.refusal.empty()) {
            EXPECT_EQ(r.out, c.refusal) << c.revision;
        } else {
            // asked unless noverchk; declined here, so only noverchk writes
            bool asked = c.flags.empty() || c.flags[0] != "noverchk";
            std::string expected = Information(path, spec) + (asked ? kQuestion : "");
            EXPECT_EQ(r.out.substr(0, expected.size()), expected) << c.revision;
            EXPECT_EQ(r.out.find(kQuestion) != std::string::npos, asked) << c.revision;
            EXPECT_EQ(r.status, asked ? 1 : 0) << c.revision;
        }
    }
}

TEST_F(FwFlash, QuestionRepeatsUntilYesOrNo) {
    std::string path = Write("image.bin", ImageSpec());
    std::string asked = Information(path, ImageSpec()) + kQuestion;
    RunResult r = Run({"-f" + path, "-a0"}, "yes\nY \n\ny\n");
    EXPECT_EQ(r.out.substr(0, asked.size() + 3 * (sizeof kQuestion - 1) + 2),
              asked + kQuestion + kQuestion + kQuestion + "\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(FlashState(sim)["pending_revision"], "0420");

    SimServer fresh;
    ASSERT_TRUE(fresh.ok());
    for (const char* input : {"N\n", "", "maybe\n"}) {  // no, and input ended (at once, after a wrong answer)
        RunResult no = fresh.run({"tavcli", "-AdpFwFlash", "-f" + path, "-a0"}, input);
        EXPECT_EQ(no.status, 1) << input;
        EXPECT_EQ(no.out.find("Firmware Update progress"), std::string::npos) << input;
    }
    EXPECT_EQ(FlashState(fresh)["bytes_received"], 0);
}

TEST(FwFlashAdapters, ReactivationNoteAfterTheLastAdapterOnly) {
    SimServer sim(bgoptest::kServerConfig);
    ASSERT_TRUE(sim.ok());
    std::string path = sim.path("/image.bin");
    tavtest::writeFile(path, ImageFile(ImageSpec()));
    RunResult r = sim.run({"tavcli", "-AdpFwFlash", "-f" + path, "-aALL", "noverchk"});
    EXPECT_EQ(r.status, 0);
    size_t first = r.out.find("   Adapter 0: Firmware Update Completed.\n");
    size_t second = r.out.find("   Adapter 1: Firmware Update Completed.\n");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, r.out.find(Information(path, ImageSpec(), 1)));
    EXPECT_EQ(r.out.find(kReactivate), second + 41);
    EXPECT_EQ(r.out.rfind(kReactivate), second + 41);
    for (int adapter : {0, 1}) EXPECT_EQ(FlashState(sim, adapter)["pending_revision"], "0420");
}

// The adapter refuses the last piece (its data claim a smaller total): two
// pieces stop at 50 %, three at 66 %, and the program fails.
TEST_F(FwFlash, RefusedPieceStopsTheBar) {
    const struct {
        uint32_t dataSize, adapterTotal;
        int percent;
    } cases[] = {{8192, 4096, 50}, {8193, 8192, 66}};
    for (const auto& c : cases) {
        SimServer fresh;
        ASSERT_TRUE(fresh.ok());
        ImageSpec spec;
        spec.dataSize = c.dataSize;
        spec.adapterTotal = c.adapterTotal;
        std::string path = fresh.path("/image.bin");
        tavtest::writeFile(path, ImageFile(spec));
        RunResult r = fresh.run({"tavcli", "-AdpFwFlash", "-f" + path, "-a0", "noverchk"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(ProgressRows(r.out),
                  Progress({BarRow(0, c.percent), "", "Fatal error - Adapter 0: It is abnormal in the I/O device."}));
        EXPECT_EQ(FlashState(fresh)["bytes_received"], c.adapterTotal);
    }
    // both complete when the totals agree, the last piece of one byte
    for (uint32_t size : {8192u, 8193u}) {
        SimServer fresh;
        ImageSpec spec;
        spec.dataSize = size;
        std::string path = fresh.path("/image.bin");
        tavtest::writeFile(path, ImageFile(spec));
        RunResult r = fresh.run({"tavcli", "-AdpFwFlash", "-f" + path, "-a0", "noverchk"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(ProgressRows(r.out),
                  Progress({BarRow(0, 100), "", "   Adapter 0: Firmware Update Completed.", kReactivate}));
        EXPECT_EQ(FlashState(fresh)["bytes_received"], size);
    }
}

// Faults armed while the operator is asked hit the first WRITE BUFFERs:
// three failed attempts are absorbed, four end the update.
TEST_F(FwFlash, FourAttemptsPerPiece) {
    std::string path = Write("image.bin", ImageSpec());
    for (int failures : {3, 4}) {
        SimServer fresh;
        ASSERT_TRUE(fresh.ok());
        PtySession session(fresh, {"tavcli", "-AdpFwFlash", "-f" + path, "-a0"});
        ASSERT_TRUE(session.waitForScreen("Is the update executed?(Y/N)?", kTimeoutMs)) << session.output();
        ASSERT_EQ(fresh.inject({"ioctl-error", "EIO", std::to_string(failures)}).status, 0);
        session.type("y\n");
        int status = session.waitExit(kTimeoutMs);
        std::vector<std::string> rows = ProgressRows(session.output(), true);
        if (failures == 3) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(rows, Progress({BarRow(0, 100), "", "   Adapter 0: Firmware Update Completed.", kReactivate}));
            EXPECT_EQ(FlashState(fresh)["pending_revision"], "0420");
        } else {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(rows, Progress({BarRow(0, 0), "", "Fatal error - Adapter 0: It is abnormal in the I/O device."}));
            EXPECT_EQ(FlashState(fresh)["bytes_received"], 0);
        }
        EXPECT_TRUE(tavtest::sameTerminalModes(session.settings(), session.initialSettings()));
    }
}

// The image that was checked is the image that is written: another file
// given the name while the operator is asked does not reach the adapter.
TEST_F(FwFlash, FileReplacedAfterTheChecksIsNotWritten) {
    ImageSpec checked;
    std::string path = Write("image.bin", checked);
    ImageSpec other;
    other.revision = "0499";
    other.dataSize = 12288;
    std::string otherPath = Write("other.bin", other);
    PtySession session(sim, {"tavcli", "-AdpFwFlash", "-f" + path, "-a0"});
    ASSERT_TRUE(session.waitForScreen("Is the update executed?(Y/N)?", kTimeoutMs)) << session.output();
    ASSERT_EQ(std::rename(otherPath.c_str(), path.c_str()), 0);
    session.type("y\n");
    ASSERT_EQ(session.waitExit(kTimeoutMs), 0) << session.output();
    nlohmann::json flash = FlashState(sim);
    EXPECT_EQ(flash["pending_revision"], "0420");
    EXPECT_EQ(flash["bytes_received"], 8192);
    std::string image = ImageFile(checked);
    EXPECT_TRUE(tavtest::readFile(sim.path("/var/lib/tavsim/firmware/c0.img")) == image.substr(288))
        << "the adapter holds other data than the checked file's";
    ASSERT_EQ(sim.inject({"restart-adapter", "0"}).status, 0);
    EXPECT_EQ(FlashState(sim)["running_revision"], "0420");
}

}  // namespace

namespace {

// Every signal that ends the run, at the question and in the middle of the
// write (the adapter answering busy to the first piece): the terminal is as
// it was before the tool started, echo and keyboard signals included.
TEST(FwFlashSignals, TerminalRestoredAtTheQuestionAndDuringTheWrite) {
    for (bool writing : {false, true}) {
        for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
            SCOPED_TRACE(std::to_string(sig) + (writing ? " writing" : " asking"));
            SimServer fresh;
            ASSERT_TRUE(fresh.ok());
            std::string path = fresh.path("/image.bin");
            tavtest::writeFile(path, ImageFile(ImageSpec()));
            PtySession session(fresh, {"tavcli", "-AdpFwFlash", "-f" + path, "-a0"});
            ASSERT_TRUE(session.waitForScreen("Is the update executed?(Y/N)?", kTimeoutMs)) << session.output();
            if (writing) {
                ASSERT_EQ(fresh.inject({"busy", "100000"}).status, 0);
                session.type("y\n");
                ASSERT_TRUE(session.waitForScreen("Firmware Update progress of...", kTimeoutMs)) << session.output();
            }
            session.sendSignal(sig);
            EXPECT_EQ(session.waitExit(kTimeoutMs), 128 + sig);
            EXPECT_TRUE(tavtest::sameTerminalModes(session.settings(), session.initialSettings()));
        }
    }
}

}  // namespace
