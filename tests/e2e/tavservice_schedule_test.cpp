// The service's consistency-check scheduler on a faked clock (libfaketime,
// an hour passing in seconds): schedules removed at start, a check started
// once in its hour, a degraded drive reported in every cycle, a date after
// today dropped, and the schedule lock held by another process.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "ccschedule_text.h"
#include "tavservice_fixture.h"

namespace {

using svctest::countOf;
using svctest::fakeTime;
using svctest::logged;
using svctest::Service;
using svctest::syslogOf;
using tavtest::kScheduleFile;
using tavtest::ScheduleText;

// Adapter 0: LD 0 RAID 1 optimal, LD 1 RAID 1 not optimal, LD 2 RAID 0.
const char kConfig[] = R"({"adapters": [
 {"host": 2, "model": "ZN5121",
  "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"}, {"slot": 2, "interface": "SAS"},
             {"slot": 3, "interface": "SAS"}, {"slot": 4, "interface": "SAS"}],
  "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]},
                     {"number": 1, "raid": 1, "members": [2, 3], "state": 2},
                     {"number": 2, "raid": 0, "members": [4]}]}]})";

// 600 times the real pace: a one-minute tick takes 0.1 s, an hour 6 s.
constexpr int kPace = 600;
std::vector<std::string> clockFrom(const std::string& start) { return fakeTime("@" + start + " x600"); }

// Waits (really) until the service's clock, started at the service start,
// is `minutes` further.
void passFakeMinutes(std::chrono::steady_clock::time_point since, int minutes) {
    std::this_thread::sleep_until(since + std::chrono::milliseconds(minutes * 60 * 1000 / kPace));
}

std::string Report(int ld, const std::string& text) {
    return "tavutil: Controller [0] Logical Drive [" + std::to_string(ld) + "] " + text;
}

const std::string kStartsLd0 = Report(0, "Scheduled Consistency Check starts. EventID: 04501.");

class Scheduler : public ::testing::Test {
protected:
    Scheduler() : sim(kConfig) {}
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.initOutput(); }
    std::string File() const { return tavtest::readFile(sim.path(kScheduleFile)); }
    void Put(const std::string& text) const { tavtest::writeFile(sim.path(kScheduleFile), text); }
    tavtest::SimServer sim;
};

TEST_F(Scheduler, StartsOncePerScheduledHourAndReportsWhatCannotStart) {
    Put(ScheduleText({{"0/0", "114"}, {"0/1", "114"}, {"0/2", "114"}, {"0/5", "114"}}));
    auto start = std::chrono::steady_clock::now();
    Service service(sim, {}, clockFrom("2026-12-07 13:58:00"));  // a Monday
    ASSERT_TRUE(logged(sim, kStartsLd0)) << syslogOf(sim);
    passFakeMinutes(start, 130);  // past 16:08
    service.stop();
    std::string log = syslogOf(sim);
    EXPECT_EQ(countOf(log, kStartsLd0), 1u) << log;
    EXPECT_EQ(countOf(log, Report(2,
                                  "The schedule of Consistency Check was deleted. detailed error: 0x03. "
                                  "EventID: 04500.")),
              1u);
    EXPECT_EQ(countOf(log, Report(5,
                                  "The schedule of Consistency Check was deleted. detailed error: 0x02. "
                                  "EventID: 04500.")),
              1u);
    EXPECT_GE(countOf(log, Report(1,
                                  "Scheduled Consistency Check does not start. detailed error: 0x05. "
                                  "EventID: 04502.")),
              2u);
    EXPECT_EQ(countOf(log, Report(1, "Scheduled Consistency Check starts")), 0u);
    EXPECT_EQ(File(), ScheduleText({{"0/0", "11420261207"}, {"0/1", "114"}}) + "\n");
}

TEST_F(Scheduler, AStartDateAfterTodayDropsTheSchedule) {
    Put(ScheduleText({{"0/0", "11420261214"}, {"0/1", "301"}}));
    Service service(sim, {}, clockFrom("2026-12-07 10:00:00"));
    const std::string expected = ScheduleText({{"0/1", "301"}}) + "\n";
    EXPECT_TRUE(svctest::waitFor([&] { return File() == expected; })) << File();
    EXPECT_EQ(countOf(syslogOf(sim), "EventID: 0450"), 0u);
}

// While another process holds the schedule lock the service cannot write the
// start date: it keeps it, does not start the check again, and writes it
// once the lock is free.
TEST_F(Scheduler, HeldLockKeepsTheStartDatePending) {
    const std::string before = ScheduleText({{"0/0", "114"}});
    Put(before);
    int lock = open(sim.path("/var/run/libtavccsch.pid").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC,
                    0600);  // not inherited by the service
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    auto start = std::chrono::steady_clock::now();
    Service service(sim, {}, clockFrom("2026-12-07 13:59:00"));
    ASSERT_TRUE(logged(sim, kStartsLd0)) << syslogOf(sim);
    passFakeMinutes(start, 80);  // past 15:19
    EXPECT_EQ(File(), before);
    close(lock);
    const std::string after = ScheduleText({{"0/0", "11420261207"}}) + "\n";
    EXPECT_TRUE(svctest::waitFor([&] { return File() == after; })) << File();
    service.stop();
    EXPECT_EQ(countOf(syslogOf(sim), kStartsLd0), 1u);
}

}  // namespace
