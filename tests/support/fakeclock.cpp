#include "fakeclock.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace tavtest {

namespace {

constexpr const char* kMarker = "FAKETIME_NO_CACHE";
constexpr const char* kClockFile = "FAKETIME_TIMESTAMP_FILE";

// The sanitizer options of a program whose preloaded libraries come ahead of
// the sanitizer runtime a sanitizer build carries (it refuses that otherwise).
std::string AsanOptionsBehindPreload() {
    const char* earlier = getenv("ASAN_OPTIONS");
    std::string options = earlier != nullptr && earlier[0] != '\0' ? std::string(earlier) + ":" : std::string();
    return options + "verify_asan_link_order=0";
}

}  // namespace

std::vector<std::string> FakeTimeEnvironment(const std::string& spec) {
    std::string library = TAV_FAKETIME_LIBRARY;
    library = library.substr(0, library.rfind('/') + 1) + "libfaketime.so.1";
    return {"LD_PRELOAD=" + library, "FAKETIME=" + spec, "ASAN_OPTIONS=" + AsanOptionsBehindPreload()};
}

void RunUnderFakeableClock(int /*argc*/, char** argv) {
    if (getenv(kMarker) != nullptr) return;
    std::string preload = TAV_FAKETIME_LIBRARY;
    const char* earlier = getenv("LD_PRELOAD");
    if (earlier != nullptr && earlier[0] != '\0') preload += std::string(":") + earlier;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv("ASAN_OPTIONS", AsanOptionsBehindPreload().c_str(), 1);
    setenv(kMarker, "1", 1);
    setenv("DONT_FAKE_MONOTONIC", "1", 1);
    // The clock's file, one per test process (exec keeps the pid); without it
    // the clock is real.
    std::string clockFile = "/tmp/tavtest-clock." + std::to_string(getpid());
    setenv(kClockFile, clockFile.c_str(), 1);
    unlink(clockFile.c_str());
    unsetenv("FAKETIME");
    execv("/proc/self/exe", argv);
    perror("execv");
    std::exit(127);
}

FakeClock::FakeClock() : now_(time(nullptr) + 1) {
    if (getenv(kMarker) == nullptr || getenv(kClockFile) == nullptr)
        throw std::runtime_error("the test program does not run under libfaketime");
    publish();
}

FakeClock::~FakeClock() { unlink(getenv(kClockFile)); }

void FakeClock::advance(int seconds) {
    now_ += seconds;
    publish();
}

// An absolute local time without "@" makes libfaketime hold the clock there.
// The file is replaced whole, so no reader sees half a time.
void FakeClock::publish() const {
    struct tm local;
    localtime_r(&now_, &local);
    char when[32];
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    std::string text = std::string(when) + "\n";
    std::string path = getenv(kClockFile);
    std::string next = path + ".next";
    FILE* file = std::fopen(next.c_str(), "w");
    if (file == nullptr) throw std::runtime_error("cannot write " + next);
    bool written = std::fputs(text.c_str(), file) >= 0;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(next.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot set the clock");
}

}  // namespace tavtest
