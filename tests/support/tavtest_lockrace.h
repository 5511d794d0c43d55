// Lock files under interleaving processes. A test program that includes this
// header puts its own flock() in front of the C library's (include it in one
// source file of the program only), so that a forked child can be stopped
// right before or after a flock on a chosen lock file while other processes
// go ahead; the steps are ordered through pipes.
#ifndef TAVTEST_LOCKRACE_H
#define TAVTEST_LOCKRACE_H

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace tavtest {
namespace lockrace {

constexpr int kStepTimeoutMs = 20000;
constexpr unsigned kChildAlarmSeconds = 60;

// One byte from fd, or 0 when nothing came within the step timeout.
inline char receiveByte(int fd) {
    struct pollfd p = {fd, POLLIN, 0};
    char c = 0;
    if (poll(&p, 1, kStepTimeoutMs) != 1 || read(fd, &c, 1) != 1) {
        return 0;
    }
    return c;
}

inline void sendByte(int fd, char c) {
    ssize_t ignored = write(fd, &c, 1);
    (void)ignored;
}

// Where the armed flock() stops, in the child that armed it.
struct FlockStop {
    bool armed = false;
    int operation = 0;   // LOCK_EX or LOCK_UN
    bool after = false;  // stop after the real call instead of before it
    int toParent = -1;
    int fromParent = -1;
    std::string lockPath;  // below TAV_ROOT, e.g. "/var/run/libtavctl.pid"
};
inline FlockStop g_stop;

inline bool namesLockFile(int fd) {
    char link[64], target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, target, sizeof target - 1);
    if (length < 0) {
        return false;
    }
    target[length] = '\0';
    const char *root = getenv("TAV_ROOT");
    std::string lockPath = std::string(root != nullptr ? root : "") + g_stop.lockPath;
    return strncmp(target, lockPath.c_str(), lockPath.size()) == 0;  // also "... (deleted)"
}

// Tells the parent that the stop is reached and waits for its go.
inline void stopHere() {
    sendByte(g_stop.toParent, 's');
    receiveByte(g_stop.fromParent);
}

// Arms the stop at the next flock of OPERATION on the lock file LOCKPATH.
inline void armStop(const std::string &lockPath, int operation, bool after, int toParent, int fromParent) {
    g_stop.lockPath = lockPath;
    g_stop.operation = operation;
    g_stop.after = after;
    g_stop.toParent = toParent;
    g_stop.fromParent = fromParent;
    g_stop.armed = true;
}

// A forked process running one step function; talks to the test through
// two pipes and is bounded by an alarm.
class Child {
public:
    // body(toParent, fromParent) returns the exit status.
    explicit Child(const std::function<int(int, int)> &body) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            alarm(kChildAlarmSeconds);
            close(up[0]);
            close(down[1]);
            _exit(body(up[1], down[0]));
        }
        close(up[1]);
        close(down[0]);
        fromChild_ = up[0];
        toChild_ = down[1];
    }
    ~Child() {
        if (pid_ > 0 && status_ < -1) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(fromChild_);
        close(toChild_);
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    char receive() const { return receiveByte(fromChild_); }
    void send(char c) const { sendByte(toChild_, c); }
    // The child's exit status, or -1 when it did not exit normally.
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

private:
    pid_t pid_ = -1;
    int fromChild_ = -1;
    int toChild_ = -1;
    int status_ = -2;
};

}  // namespace lockrace
}  // namespace tavtest

extern "C" int flock(int fd, int operation) {
    using tavtest::lockrace::g_stop;
    using FlockFn = int (*)(int, int);
    static FlockFn real = reinterpret_cast<FlockFn>(dlsym(RTLD_NEXT, "flock"));
    bool hit = g_stop.armed && (operation & ~LOCK_NB) == g_stop.operation && tavtest::lockrace::namesLockFile(fd);
    if (hit) {
        g_stop.armed = false;
        if (!g_stop.after) {
            tavtest::lockrace::stopHere();
        }
    }
    int result = real(fd, operation);
    int savedErrno = errno;
    if (hit && g_stop.after) {
        tavtest::lockrace::stopHere();
    }
    errno = savedErrno;
    return result;
}

#endif
