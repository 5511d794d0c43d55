// tavcli's frame: the failure paths of the entry, command-word lookup, the
// usage text and banner, long input, the trace log record and the terminal's
// working mode.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tavtest.h"

namespace {

using tavtest::RunResult;
using tavtest::SimServer;

const char kBannerFirstLine[] = "    Morvane RAID Adapter Command Line Tool Ver 5.0\n";

const char kLockFile[] = "/var/run/libtavctl.pid";
const char kTraceLog[] = "/opt/morvane/tavutility/tavcli.log";

// The version banner: its fixed first line and a second line with the maker's
// notice.
void ExpectBanner(const std::string& text) {
    ASSERT_EQ(text.rfind(kBannerFirstLine, 0), 0u) << text;
    std::string notice = text.substr(strlen(kBannerFirstLine));
    ASSERT_FALSE(notice.empty());
    EXPECT_EQ(notice.find('\n'), notice.size() - 1) << "one more line expected: " << notice;
    EXPECT_GT(notice.size(), 1u);
}

// The trace log's lines, trailing padding removed.
std::vector<std::string> TraceLines(const SimServer& sim) {
    std::string content = tavtest::readFile(sim.path(kTraceLog));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = content.substr(start, end - start);
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(line);
    }
    return lines;
}

// Whether a header line written by a module of the tool carries the text.
bool TraceHasEntry(const SimServer& sim, const std::string& module, const std::string& text) {
    for (const auto& line : TraceLines(sim)) {
        size_t at = line.find(" " + module + "(");
        if (at != std::string::npos && line.find(text, at) != std::string::npos) return true;
    }
    return false;
}

// The command-line record: program path, then every argument followed by a
// blank, without module name or line number.
std::string HistoryRecord(const SimServer& sim, const std::string& arguments) {
    for (const auto& line : TraceLines(sim)) {
        size_t at = line.find("/tavcli " + arguments);
        if (at != std::string::npos && line.find(" tavcli_") == std::string::npos) return line;
    }
    return std::string();
}

class TavcliFrame : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.initOutput(); }

    RunResult Tavcli(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"tavcli"};
        argv.insert(argv.end(), args.begin(), args.end());
        return sim.run(argv);
    }

    SimServer sim;
};

// ---- failure rows of the entry ----

TEST_F(TavcliFrame, RefusesAnyUserButTheSuperUser) {
    RunResult r =
        sim.run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", tavtest::binDir() + "/tavcli", "-v"});
    EXPECT_EQ(r.out, "Fatal error - It is not root user.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 255);
}

struct RefusedWord {
    std::vector<std::string> args;
    std::string message;
};

TEST_F(TavcliFrame, RefusesMissingOrUnknownCommandWord) {
    const RefusedWord cases[] = {
        {{}, "Fatal error - tavcli invoked with wrong parameters."},
        {{"-NoSuchCommand"}, "-NoSuchCommand param is not supported."},
        {{"--help"}, "--help param is not supported."},
        {{"--V"}, "--V param is not supported."},
        {{"-"}, "- param is not supported."},
        {{"help-"}, "help- param is not supported."},
        {{"-hel"}, "-hel param is not supported."},
    };
    for (const auto& c : cases) {
        RunResult r = Tavcli(c.args);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(r.out, c.message + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 255);
        EXPECT_TRUE(TraceHasEntry(sim, "tavcli_main", c.message));
    }
    EXPECT_FALSE(tavtest::fileExists(sim.path(kLockFile))) << "refused before the library was opened";
}

// On the screen each "%%" of a message shows as one "%" and a lone "%" stays;
// the trace log keeps the message as formatted.
TEST_F(TavcliFrame, PercentPairsShowAsOnePercent) {
    RunResult r = Tavcli({"50%%-%x%%%"});
    EXPECT_EQ(r.out, "50%-%x%% param is not supported.\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(TraceHasEntry(sim, "tavcli_main", "50%%-%x%%% param is not supported."));
}

TEST_F(TavcliFrame, SecondExclusiveUserIsRefused) {
    std::string lockPath = sim.path(kLockFile);
    int holder = open(lockPath.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

    RunResult r = Tavcli({"-v"});
    EXPECT_EQ(r.out, "Fatal error - The CLI tool has already started.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(TraceHasEntry(sim, "tavcli_main", "Fatal error - The CLI tool has already started."));
    EXPECT_TRUE(tavtest::fileExists(lockPath)) << "the holder's lock file must stay";
    close(holder);

    RunResult after = Tavcli({"-v"});
    EXPECT_EQ(after.status, 0) << after.out;
}

TEST_F(TavcliFrame, LibraryStartUpFailure) {
    // A directory where the lock file belongs cannot be opened for writing.
    ASSERT_EQ(mkdir(sim.path(kLockFile).c_str(), 0700), 0);
    RunResult r = Tavcli({"-h"});
    EXPECT_EQ(r.out, "DLL initialize error.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(TraceHasEntry(sim, "tavcli_main", "DLL initialize error."));
}

// ---- command-word lookup ----

TEST_F(TavcliFrame, CommandWordIsNormalised) {
    const std::vector<std::string> usageWords{"h", "-h", "H", "help", "-HELP", "-HeLp", "xyz-help", "?", "-?", "A-?"};
    for (const auto& word : usageWords) {
        RunResult r = Tavcli({word});
        SCOPED_TRACE(word);
        const std::string usage = tavtest::fixture("usage.txt");
        ASSERT_EQ(r.out.rfind(usage, 0), 0u) << r.out;
        ExpectBanner(r.out.substr(usage.size()));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
    for (const std::string word : {"v", "-V", "some-v"}) {
        RunResult r = Tavcli({word});
        SCOPED_TRACE(word);
        ExpectBanner(r.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
    EXPECT_FALSE(tavtest::fileExists(sim.path(kLockFile))) << "the library was closed again";
}

TEST_F(TavcliFrame, HelpAndVersionTakeNoOption) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"-h", "x"}, {"?", "-a0"}, {"-Help", "a", "b"}, {"-v", "-aALL"}}) {
        RunResult r = Tavcli(args);
        std::string message = "Invalid input at or near token " + args[0] + ".";
        SCOPED_TRACE(message);
        EXPECT_EQ(r.out, message + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(TraceHasEntry(sim, "tavcli_strdef", message));
    }
}

// ---- trace log ----

TEST_F(TavcliFrame, CommandLineIsRecorded) {
    ASSERT_EQ(Tavcli({"-HELP"}).status, 0);
    ASSERT_EQ(Tavcli({"-v", "-a0", "50%"}).status, 0);
    EXPECT_NE(HistoryRecord(sim, "-HELP"), "");
    std::string record = HistoryRecord(sim, "-v -a0 50%");
    ASSERT_NE(record, "");
    EXPECT_EQ(record.substr(record.size() - strlen("/tavcli -v -a0 50%")), "/tavcli -v -a0 50%");
    EXPECT_TRUE(TraceHasEntry(sim, "tavcli_strdef", "CliCmdExecHelp"));
    EXPECT_TRUE(TraceHasEntry(sim, "tavcli_strdef", "CliCmdExecVersion"));
}

// A trace log path that links elsewhere is not written through: the tool
// runs without its log and the link's target keeps its bytes and mode.
TEST_F(TavcliFrame, LinkedTraceLogIsLeftAlone) {
    std::string target = sim.path("/var/run/precious");
    tavtest::writeFile(target, "root:x:0:0\n");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    ASSERT_EQ(symlink(target.c_str(), sim.path("/opt/morvane/tavutility/tavcli.log").c_str()), 0);
    RunResult r = Tavcli({"-v"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(tavtest::readFile(target), "root:x:0:0\n");
    struct stat info;
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// ---- long input ----

TEST_F(TavcliFrame, LongCommandWordIsRefusedWithoutOverrun) {
    // The lookup must not act on a cut-off copy: the tail that a 256-byte
    // buffer would drop changes the command.
    const std::vector<std::string> words{std::string(10000, 'x'), "-" + std::string(9999, 'H'),
                                         std::string(250, 'a') + "-help" + std::string(9745, 'b'),
                                         std::string(251, 'a') + "-help"};
    for (const auto& word : words) {
        RunResult r = Tavcli({word});
        SCOPED_TRACE(word.substr(0, 20) + "... of " + std::to_string(word.size()));
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, "");
        ASSERT_FALSE(r.out.empty());
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one message line";
        EXPECT_LE(r.out.size(), 4096u);
        std::string expected = word + " param is not supported.\n";
        EXPECT_EQ(r.out, expected.size() <= r.out.size() ? expected : expected.substr(0, r.out.size() - 1) + "\n");
    }
    RunResult longest = Tavcli({std::string(250, 'a') + "-help"});
    EXPECT_EQ(longest.status, 0) << "255 characters still fit";
    EXPECT_EQ(longest.out.rfind(tavtest::fixture("usage.txt"), 0), 0u);
}

TEST_F(TavcliFrame, MegabyteArgumentListIsHandled) {
    std::vector<std::string> args{"-v"};
    for (int i = 0; i < 16; ++i) args.push_back(std::string(65536, char('a' + i)));
    RunResult r = Tavcli(args);
    EXPECT_EQ(r.out, "Invalid input at or near token -v.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    std::string record = HistoryRecord(sim, "-v aaaa");
    ASSERT_NE(record, "");
    EXPECT_EQ(record.size(), 200u) << "cut to one trace line";
}

// ---- terminal ----

// A program run with a pseudo-terminal as its controlling terminal and
// standard input, output and error.
class PtyRun {
public:
    explicit PtyRun(const std::vector<std::string>& argv) {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
        tcgetattr(slave_, &before_);
        pid_ = fork();
        if (pid_ == 0) {
            close(master_);
            setsid();
            ioctl(slave_, TIOCSCTTY, 0);
            dup2(slave_, 0);
            dup2(slave_, 1);
            dup2(slave_, 2);
            std::vector<char*> cargv;
            for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
            cargv.push_back(nullptr);
            execvp(cargv[0], cargv.data());
            _exit(127);
        }
    }
    ~PtyRun() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }

    bool started() const { return pid_ > 0; }
    const termios& before() const { return before_; }
    termios now() const {
        termios t{};
        tcgetattr(slave_, &t);
        return t;
    }
    void type(const std::string& keys) const {
        ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    // The line discipline takes typed keys in later, in the kernel's own time; true once all of
    // `count` bytes wait in the input queue, so the settings in force when they arrived are known.
    bool inputQueued(int count) const {
        for (int i = 0; i < 2000; ++i) {
            int queued = 0;
            if (ioctl(slave_, TIOCINQ, &queued) == 0 && queued >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Waits for the exit (at most 20 s) and collects what the terminal showed.
    int wait() {
        for (int i = 0; i < 2000 && status_ < 0; ++i) {
            drain();
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        drain();
        return status_;
    }
    const std::string& shown() const { return shown_; }
    // What the terminal showed, with its line ends as plain newlines.
    std::string screenLines() const {
        std::string text;
        for (size_t i = 0; i < shown_.size(); ++i)
            if (!(shown_[i] == '\r' && i + 1 < shown_.size() && shown_[i + 1] == '\n')) text += shown_[i];
        return text;
    }

private:
    void drain() {
        char buf[4096];
        pollfd fd{master_, POLLIN, 0};
        while (poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN)) {
            ssize_t got = read(master_, buf, sizeof buf);
            if (got <= 0) break;
            shown_.append(buf, size_t(got));
        }
    }

    int master_ = -1;
    int slave_ = -1;
    pid_t pid_ = -1;
    int status_ = -1;
    termios before_{};
    std::string shown_;
};

bool SameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Turns the simulated driver's adapter file into a FIFO: the library's
// discovery, inside its opening by the tool, then waits until the test lets
// it read, which catches the tool between taking the terminal and running its
// command.
class DiscoveryGate {
public:
    explicit DiscoveryGate(const SimServer& sim) {
        std::string dir = sim.path("/proc/scsi/tavdrv");
        DIR* d = opendir(dir.c_str());
        if (d == nullptr) return;
        for (dirent* e; (e = readdir(d)) != nullptr;)
            if (e->d_name[0] != '.') file_ = dir + "/" + e->d_name;
        closedir(d);
        if (file_.empty()) return;
        text_ = tavtest::readFile(file_);
        ok_ = unlink(file_.c_str()) == 0 && mkfifo(file_.c_str(), 0600) == 0;
    }
    ~DiscoveryGate() {
        if (writer_ >= 0) close(writer_);
    }

    bool ok() const { return ok_; }

    // Waits (at most 20 s) until the discovery opens the file.
    bool reached() {
        for (int i = 0; i < 2000 && writer_ < 0; ++i) {
            writer_ = open(file_.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return writer_ >= 0;
    }

    // Lets the discovery read the adapter file's text.
    void release() {
        ASSERT_EQ(write(writer_, text_.data(), text_.size()), ssize_t(text_.size()));
        close(writer_);
        writer_ = -1;
    }

private:
    std::string file_;
    std::string text_;
    bool ok_ = false;
    int writer_ = -1;
};

std::unique_ptr<PtyRun> StartOnPty(const SimServer& sim, const std::string& word) {
    std::vector<std::string> argv{tavtest::tavsimPath(), "run", sim.root(), "--", tavtest::binDir() + "/tavcli", word};
    return std::make_unique<PtyRun>(argv);
}

TEST_F(TavcliFrame, TerminalWorkingModeAndRestoration) {
    DiscoveryGate gate(sim);
    ASSERT_TRUE(gate.ok());
    auto run = StartOnPty(sim, "-h");
    ASSERT_TRUE(run->started());
    ASSERT_TRUE(run->before().c_lflag & ECHO);
    ASSERT_TRUE(run->before().c_lflag & ISIG);

    ASSERT_TRUE(gate.reached()) << "the tool never opened the library";
    termios during = run->now();
    EXPECT_FALSE(during.c_lflag & ECHO);
    EXPECT_FALSE(during.c_lflag & ISIG);
    EXPECT_TRUE(during.c_lflag & ICANON);
    std::string keys = std::string(1, char(run->before().c_cc[VINTR])) + "typed\n";
    run->type(keys);
    ASSERT_TRUE(run->inputQueued(int(keys.size()))) << "the typed keys never reached the input queue";
    gate.release();

    EXPECT_EQ(run->wait(), 0) << "the interrupt key must not stop the tool";
    EXPECT_NE(run->shown().find("tavcli -AdpCount"), std::string::npos) << run->shown();
    EXPECT_EQ(run->shown().find("typed"), std::string::npos) << "typed keys were echoed";
    EXPECT_TRUE(SameSettings(run->now(), run->before()));
}

// The library cannot be closed when its lock file vanished meanwhile: the
// command has run, then the failure ends the tool.
TEST_F(TavcliFrame, LibraryCloseFailure) {
    DiscoveryGate gate(sim);
    ASSERT_TRUE(gate.ok());
    auto run = StartOnPty(sim, "-v");
    ASSERT_TRUE(gate.reached());
    ASSERT_EQ(unlink(sim.path(kLockFile).c_str()), 0);
    gate.release();

    EXPECT_EQ(run->wait(), 255);
    // Class 4 (a system call failed) with the system error number ENOENT.
    std::string message = "Fatal error - Internal error -0x400000000002.";
    std::string shown = run->screenLines();
    ASSERT_GE(shown.size(), message.size() + 1) << shown;
    EXPECT_EQ(shown.substr(shown.size() - message.size() - 1), message + "\n") << shown;
    ExpectBanner(shown.substr(0, shown.size() - message.size() - 1));
    EXPECT_TRUE(TraceHasEntry(sim, "tavcli_main", message));
    EXPECT_TRUE(SameSettings(run->now(), run->before()));
}

TEST_F(TavcliFrame, TerminalRestoredAfterFatalStop) {
    std::string lockPath = sim.path(kLockFile);
    int holder = open(lockPath.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

    auto run = StartOnPty(sim, "-v");
    ASSERT_TRUE(run->started());
    EXPECT_EQ(run->wait(), 255);
    EXPECT_NE(run->shown().find("Fatal error - The CLI tool has already started."), std::string::npos);
    EXPECT_TRUE(SameSettings(run->now(), run->before()));
    close(holder);
}

}  // namespace
