// Running tavservice under the simulator in the background: start it, wait
// for what it writes, and stop it again on every path out of a test (the
// guard kills whatever is still running when it goes out of scope).
#ifndef TAVSERVICE_FIXTURE_H
#define TAVSERVICE_FIXTURE_H

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fakeclock.h"
#include "tavtest.h"

namespace svctest {

using tavtest::SimServer;

// Environment entries that run a program with libfaketime (FAKETIME, e.g.
// "+0 x1000" to speed its sleeps up).
inline std::vector<std::string> fakeTime(const std::string& spec) { return tavtest::FakeTimeEnvironment(spec); }

constexpr double kPatience = 60.0;  // seconds a test waits for something that must happen

inline bool waitFor(const std::function<bool()>& done, double seconds = kPatience) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

inline std::string syslogOf(const SimServer& server) { return tavtest::readFile(server.path("/var/log/syslog")); }

inline size_t countOf(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// The messages of the captured system log ("<facility>.<level> <text>"), without identity and pid.
inline std::vector<std::string> messages(const SimServer& server) {
    std::vector<std::string> out;
    std::string text = syslogOf(server);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t space = line.find(' '), colon = line.find("]: ");
        if (space != std::string::npos && colon != std::string::npos)
            out.push_back(line.substr(0, space) + " " + line.substr(colon + 3));
        start = end + 1;
    }
    return out;
}

inline void writeConf(const SimServer& server, const std::string& name, const std::string& text) {
    tavtest::writeFile(server.path("/opt/morvane/tavutility/conf/" + name), text);
}

inline int pidFromFile(const SimServer& server) {
    std::string text = tavtest::readFile(server.path("/var/run/tavservice.pid"));
    return text.empty() ? 0 : std::atoi(text.c_str());
}

inline bool alive(int pid) { return pid > 0 && kill(pid, 0) == 0; }

// One service process started under `tavsim run` (its launcher is our child;
// in daemon mode the daemon is found through the pid file).
class Service {
public:
    Service(const SimServer& server, std::vector<std::string> args, std::vector<std::string> env = {})
        : server_(server) {
        std::vector<std::string> argv{tavtest::tavsimPath(), "run", server.root(), "--",
                                      server.path("/opt/morvane/tavutility/tavservice")};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out = server.root() + "/../service.out";
        pid_ = fork();
        if (pid_ == 0) {
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
            std::vector<char*> cargv;
            for (auto& a : argv) cargv.push_back(a.data());
            cargv.push_back(nullptr);
            execv(cargv[0], cargv.data());
            _exit(127);
        }
    }
    ~Service() { stop(); }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    pid_t pid() const { return pid_; }

    // Exit status of the launched process (128 + signal when killed), or -1 when it is still running.
    int waitExit(double seconds = kPatience) {
        if (exited_) return status_;
        int raw = 0;
        bool done = waitFor([&] { return waitpid(pid_, &raw, WNOHANG) == pid_; }, seconds);
        if (!done) return -1;
        exited_ = true;
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }

    // Remembers the daemon so that the guard stops it too.
    int daemonPid() {
        waitFor([&] { return alive(pidFromFile(server_)); });
        daemon_ = pidFromFile(server_);
        return daemon_;
    }

    void stop() {
        if (daemon_ == 0 && isOurService(pidFromFile(server_))) daemon_ = pidFromFile(server_);
        for (int p : {daemon_, exited_ ? 0 : static_cast<int>(pid_)})
            if (alive(p)) kill(p, SIGKILL);
        if (!exited_ && pid_ > 0) waitExit(10);
        waitFor([&] { return !alive(daemon_); }, 2);
    }

private:
    // True when `pid` runs this server's tavservice: a daemon that the test never asked for by its
    // pid file is still stopped, and a pid file that names another process is never acted on.
    bool isOurService(int pid) const {
        if (pid <= 0 || pid == getpid()) return false;
        std::string cmdline = tavtest::readFile("/proc/" + std::to_string(pid) + "/cmdline");
        return cmdline.c_str() == server_.path("/opt/morvane/tavutility/tavservice");
    }

    const SimServer& server_;
    pid_t pid_ = -1;
    int daemon_ = 0;
    bool exited_ = false;
    int status_ = -1;
};

inline bool logged(const SimServer& server, const std::string& text, size_t times = 1) {
    return waitFor([&] { return countOf(syslogOf(server), text) >= times; });
}

inline const char* kStarted = "tavutil: tavservice was started. EventID: 00016.";

// A RAID 5 of three small drives with a hot spare: a failed member is rebuilt at once.
inline const char kSmallRaid5[] = R"({"adapters":[{"host":2,"model":"ZN5121",
  "drives":[{"slot":0,"interface":"SAS","blocks":65536},{"slot":1,"interface":"SAS","blocks":65536},
            {"slot":2,"interface":"SAS","blocks":65536},{"slot":3,"interface":"SAS","blocks":65536}],
  "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]}],"hot_spares":[3]}],"speed":64})";

inline std::string serviceTrace(const SimServer& server) {
    return tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log"));
}

// Processing cycles the service has run: each starts with a system-status request.
inline size_t cycles(const SimServer& server) { return countOf(serviceTrace(server), "ProcessLogs CALL"); }

inline void waitCycles(const SimServer& server, size_t more) {
    size_t target = cycles(server) + more;
    ASSERT_TRUE(waitFor([&] { return cycles(server) >= target; }));
}

}  // namespace svctest

#endif
