// A wall clock that tests set and move themselves, through libfaketime: the
// clock (CLOCK_REALTIME, time()) of the test process and of every program it
// starts stands still until the test moves it, so nothing that follows the
// wall clock races the machine's load. The monotonic clock stays real.
#ifndef TAVTEST_FAKECLOCK_H
#define TAVTEST_FAKECLOCK_H

#include <ctime>
#include <string>
#include <vector>

namespace tavtest {

// Call first in main(): unless the process already runs so, executes the test
// program again with libfaketime preloaded (ahead of the preloads it has), the
// faked time read afresh from a file of its own on every call and the
// monotonic clock left real.
void RunUnderFakeableClock(int argc, char** argv);

// Environment entries that run one program with libfaketime and
// FAKETIME=spec (a date, or "+0 x1000" to speed its sleeps up).
std::vector<std::string> FakeTimeEnvironment(const std::string& spec);

// While it lives, the wall clock stands at the next whole second of real
// time plus what advance() added (so it never goes back for what ran before);
// real time again once it is gone.
class FakeClock {
public:
    FakeClock();
    ~FakeClock();
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void advance(int seconds);
    time_t now() const { return now_; }

private:
    void publish() const;
    time_t now_;
};

}  // namespace tavtest

#endif
