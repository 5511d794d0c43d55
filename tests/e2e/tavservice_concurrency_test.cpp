// Many tavcli, tavlog and tavpth processes started at once against one
// simulated server while the service runs: each either does its work or
// reports the lock it met, none crashes or hangs, the schedule file and the
// statistics parameter file always hold one whole value that was written,
// and the simulated state stays consistent.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ccschedule_text.h"
#include "perform_text.h"
#include "tavservice_fixture.h"

namespace {

using svctest::Service;
using tavtest::SimServer;

const char kCliLock[] = "Fatal error - The CLI tool has already started.\n";
const char kScheduleLock[] =
    "Fatal error - The competition with another application occurred.\nPlease execute it after opening the "
    "interval.\n";
const char kPassThroughLock[] = "TAV0017-E Read and Write command cannot be executed at the same time.\n";

// One program run: its command line, whether its output shows the work
// done, and whether it shows the lock or state it met instead.
struct Job {
    std::vector<std::string> argv;
    std::function<bool(const std::string&)> done;
    std::function<bool(int, const std::string&)> refused;
    pid_t pid = -1;
    std::string out;
    int status = -1;  // exit status
    int signal = 0;   // the signal that ended it
};

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::function<bool(const std::string&)> is(const std::string& expected) {
    return [expected](const std::string& out) { return out == expected; };
}
std::function<bool(const std::string&)> isOneOf(const std::vector<std::string>& expected) {
    return [expected](const std::string& out) {
        for (const auto& e : expected)
            if (out == e) return true;
        return false;
    };
}
std::function<bool(const std::string&)> startsWith(const std::string& head) {
    return [head](const std::string& out) { return out.rfind(head, 0) == 0 && out.find("Fatal") == std::string::npos; };
}

// A tavcli run refused by the tool's lock (a fatal stop), or a schedule
// command refused by the schedule lock (the command ends, exit status 0).
bool cliRefused(int status, const std::string& out) {
    return (status == 255 && endsWith(out, kCliLock)) || (status == 0 && endsWith(out, kScheduleLock));
}

class Concurrency : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.initOutput(); }

    // Starts one program under the simulator, its output into a file of its own.
    void start(Job& job, size_t n) {
        std::string out = sim.root() + "/job" + std::to_string(n) + ".out";
        std::vector<std::string> argv{tavtest::tavsimPath(), "run", sim.root(), "--"};
        argv.insert(argv.end(), job.argv.begin(), job.argv.end());
        job.pid = fork();
        if (job.pid == 0) {
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            dup2(fd, 1);
            dup2(fd, 2);
            std::vector<char*> cargv;
            for (auto& a : argv) cargv.push_back(a.data());
            cargv.push_back(nullptr);
            execv(cargv[0], cargv.data());
            _exit(127);
        }
        job.out = out;  // the file, read once the job ended
    }

    // Waits for every job, calling `look` between polls; one still running
    // after `seconds` is killed and counted as hanging.
    void finish(std::vector<Job>& jobs, double seconds, const std::function<void()>& look) {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        size_t open = jobs.size();
        while (open > 0 && std::chrono::steady_clock::now() < until) {
            for (Job& job : jobs) {
                int raw = 0;
                if (job.status != -1 || waitpid(job.pid, &raw, WNOHANG) != job.pid) continue;
                job.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                job.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
                --open;
            }
            look();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        for (Job& job : jobs) {
            if (job.status != -1) {
                job.out = tavtest::readFile(job.out);
                continue;
            }
            kill(job.pid, SIGKILL);
            waitpid(job.pid, nullptr, 0);
            ADD_FAILURE() << "hangs: " << testing::PrintToString(job.argv);
            job.out = tavtest::readFile(job.out);
        }
    }

    std::string file(const char* rel) const { return tavtest::readFile(sim.path(rel)); }

    SimServer sim;  // the default server: RAID 5 LD 0 on drives 0-2, RAID 1 LD 1 on 4-5, spare 3
};

TEST_F(Concurrency, ManyProgramsAgainstOneServer) {
    svctest::writeConf(sim, "tavlog.conf", "DumpDir : " + sim.path("/dumps") + "\nPtime : 0\n");
    svctest::writeConf(sim, "eventid.conf", "0 : 4096\n");
    // Monday 10:00 on a clock 60 times faster: no schedule below comes due.
    Service service(sim, {"-d", "-t", "1"}, svctest::fakeTime("@2026-12-07 10:00:00 x60"));
    ASSERT_TRUE(svctest::logged(sim, svctest::kStarted)) << svctest::syslogOf(sim);

    // The values the jobs write: schedules of LD 0 and 1 on Wednesdays and Fridays.
    std::set<std::string> schedules0{""}, schedules1{""}, performance{tavtest::kIdlePerformanceText,
                                                                      tavtest::kStopPerformanceText};
    // Whole files holding values that were written, looked at while the programs run and after.
    auto wholeSchedule = [&] {
        std::string schedule = file(tavtest::kScheduleFile);
        for (const auto& v0 : schedules0)
            for (const auto& v1 : schedules1) {
                std::string text = tavtest::ScheduleText({{"0/0", v0}, {"0/1", v1}});
                if (schedule == text || schedule == text + "\n") return true;
            }
        return schedule.empty() && !tavtest::fileExists(sim.path(tavtest::kScheduleFile));
    };
    size_t looks = 0, torn = 0;
    auto look = [&] {
        ++looks;
        std::string performanceText = file(tavtest::kPerformanceFile);
        if (!wholeSchedule()) {
            ADD_FAILURE() << "torn schedule file:\n" << file(tavtest::kScheduleFile);
            ++torn;
        }
        if (performance.count(performanceText) == 0) {
            ADD_FAILURE() << "torn performance.conf:\n" << performanceText;
            ++torn;
        }
    };
    // Three storms of programs started at once.
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        std::vector<Job> jobs;
        auto add = [&](std::vector<std::string> argv, std::function<bool(const std::string&)> done,
                       std::function<bool(int, const std::string&)> refused = cliRefused) {
            Job job;
            job.argv = std::move(argv);
            job.done = std::move(done);
            job.refused = std::move(refused);
            jobs.push_back(std::move(job));
        };
        for (int round = 0; round < 4; ++round) {
            std::string hour = std::to_string(10 + round);
            std::string statFile = sim.root() + "/stat" + std::to_string(pass) + std::to_string(round) + ".txt";
            schedules0.insert("3" + hour);
            schedules1.insert("5" + hour);
            performance.insert(tavtest::PerformanceText("1,1,3," + statFile + ",txt", {"0/1"}));
            add({"tavcli", "-AdpCount"}, is("Adapter Count: 1.\n"));
            add({"tavcli", "-LDInfo", "-L0", "-a0"}, startsWith("Adapter 0 -- Virtual Drive Information:\n"));
            add({"tavcli", "-CCSchInfo", "-Lall", "-a0"}, startsWith("Check Consistency Schedule Information\n"));
            add({"tavcli", "-LDSetProp", round % 2 ? "-WT" : "-WB", "-L1", "-a0", "-nochk"},
                is(std::string("Adapter 0-VD 1: WriteCache is ") + (round % 2 ? "Disabled" : "Enabled") + ".\n"));
            add({"tavcli", "-CCSchSet", "-T" + hour, "-EW", "-L0", "-a0", "-nochk"},
                is("Adapter 0-VD 0: The setting of the check consistency schedule succeeded.\n"));
            add({"tavcli", "-CCSchSet", "-T" + hour, "-EF", "-L1", "-a0", "-nochk"},
                is("Adapter 0-VD 1: The setting of the check consistency schedule succeeded.\n"));
            add({"tavcli", "-CCSchDel", "-L1", "-a0", "-nochk"},
                isOneOf({"Adapter 0-VD 1: The deletion of the check consistency schedule succeeded.\n",
                         "Fatal error - Adapter 0-VD 1: The check consistency schedule is not set.\n"}));
            add({"tavcli", "-Pfm", "-auto", "-a0", "-L1", "-txt", "-int0001", "-freq3", "-f" + statFile},
                isOneOf({"Adapter 0-VD 1: The automatic statistical information acquisition processing started.\n",
                         "Fatal error - The automatic statistical information acquisition processing has already been "
                         "being executed.\n",
                         "The automatic statistical information acquisition interruption is being processed.\n"
                         "Please wait even for completion a little.\n"}));
            add({"tavcli", "-Pfm", "-abort"},
                isOneOf({"The automatic statistical information acquisition is not executed.\n",
                         "It succeeded in the acquisition interruption processing of automatic statistical information "
                         "beginning.\nPlease wait even for completion a little.\n",
                         "The automatic statistical information acquisition interruption is being processed.\n"
                         "Please wait even for completion a little.\n"}));
            add({"tavcli", "-PDHSP", round % 2 ? "-Rmv" : "-Set", "-PhysDrv[0:7]", "-a0", "-nochk"},
                startsWith("Adapter 0: Physical Drive 7 "), [](int status, const std::string& out) {
                    return cliRefused(status, out) ||
                           ((status == 0 || status == 255) &&
                            out == "Fatal error - Adapter 0-Physical Drive 7: It is already the setting.\n");
                });
            std::string logDir = sim.root() + "/logs" + std::to_string(pass) + std::to_string(round);
            mkdir(logDir.c_str(), 0755);
            add({"tavlog", "TAV_0_NvramLog", logDir}, is("TAV1000-I NVRAM Log Get Success\n"),
                [](int, const std::string&) { return false; });
            add({"tavlog", "TAV_0_RaidLog", logDir}, is("TAV1000-I RAID Log Get Success\n"),
                [](int, const std::string&) { return false; });
            add({"tavpth", "PDOneSectorRead", "0", std::to_string(round), "0"}, [](const std::string& out) {
                return out.rfind("RAID Controller No.0\n", 0) == 0 && out.find("[Read Command(1 Sector)] Size=512\n") != std::string::npos;
            }, [](int status, const std::string& out) { return status == 1 && out.find(kPassThroughLock) != std::string::npos; });
        }
        for (size_t i = 0; i < jobs.size(); ++i) start(jobs[i], pass * 100 + i);
        finish(jobs, 60, look);

        size_t done = 0, refused = 0;
        for (const Job& job : jobs) {
            SCOPED_TRACE(testing::PrintToString(job.argv));
            EXPECT_EQ(job.signal, 0) << "crashed: " << job.out;
            EXPECT_EQ(job.out.find("Sanitizer"), std::string::npos) << job.out;
            EXPECT_EQ(job.out.find("runtime error"), std::string::npos) << job.out;
            bool ok = (job.argv[0] == "tavlog" ? job.status == 1 : job.status == 0) && job.done(job.out);
            bool met = !ok && job.refused(job.status, job.out);
            EXPECT_TRUE(ok || met) << "status " << job.status << ", output:\n" << job.out;
            done += ok;
            refused += met;
        }
        std::printf("concurrency: pass %d, %zu processes, %zu completed, %zu met a lock or state\n", pass, jobs.size(), done, refused);
        EXPECT_GE(done, 4u) << "nothing got through";

        look();
        EXPECT_EQ(torn, 0u) << "in " << looks << " looks at the files";
    }

    // A consistent simulated server.
    auto adapter = nlohmann::json::parse(sim.show())["adapters"][0];
    EXPECT_TRUE(adapter["pending_changes"].empty()) << adapter["pending_changes"];
    for (const auto& drive : adapter["drives"]) EXPECT_EQ(drive.value("state", -1), 0) << drive;
    bool spare7 = false;
    for (const auto& slot : adapter["hot_spares"]) spare7 = spare7 || slot == 7;
    EXPECT_EQ(adapter["drives"][7].value("class", -1), spare7 ? 3 : 4) << adapter["drives"][7];
    for (const auto& ld : adapter["logical_drives"]) EXPECT_EQ(ld.value("state", -1), 0) << ld;
    EXPECT_TRUE(adapter["logical_drives"][1].value("write", std::string()) == "WB" ||
                adapter["logical_drives"][1].value("write", std::string()) == "WT");

    // The service still runs and logs.
    ASSERT_EQ(sim.inject({"fail-drive", "0", "6"}).status, 0);
    EXPECT_TRUE(svctest::logged(sim, "Physical Drive [6] Failed.")) << svctest::syslogOf(sim);
    EXPECT_EQ(service.waitExit(0), -1) << "the service ended";
    std::string serviceOut = tavtest::readFile(sim.root() + "/../service.out");
    EXPECT_EQ(serviceOut.find("Sanitizer"), std::string::npos);
    EXPECT_EQ(serviceOut.find("runtime error"), std::string::npos);
}

}  // namespace
