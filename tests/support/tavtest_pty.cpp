#include "tavtest_pty.h"

#include <poll.h>
#include <pty.h>
#include <utmp.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tavtest {

namespace {

long nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

PtySession::PtySession(const SimServer& sim, const std::vector<std::string>& argv, int rows, int cols)
    : rows_(rows), cols_(cols) {
    std::vector<std::string> full{tavsimPath(), "run", sim.root(), "--"};
    std::string program = argv.at(0);
    if (program.find('/') == std::string::npos) program = sim.path("/opt/morvane/tavutility/" + program);
    full.push_back(program);
    full.insert(full.end(), argv.begin() + 1, argv.end());
    struct winsize size {};
    size.ws_row = static_cast<unsigned short>(rows);
    size.ws_col = static_cast<unsigned short>(cols);
    int slave = -1;
    if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty failed");
    tcgetattr(master_, &initial_);  // before the program can change anything
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        close(master_);
        if (login_tty(slave) != 0) _exit(127);
        std::vector<char*> cargv;
        for (auto& s : full) cargv.push_back(const_cast<char*>(s.c_str()));
        cargv.push_back(nullptr);
        execv(cargv[0], cargv.data());
        dprintf(2, "exec %s: %s\n", cargv[0], strerror(errno));
        _exit(127);
    }
    close(slave);
}

PtySession::~PtySession() {
    if (!exited_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
}

bool PtySession::readSome(int timeoutMs) {
    pollfd fd{master_, POLLIN, 0};
    int n = poll(&fd, 1, timeoutMs);
    if (n <= 0) return true;
    char buf[4096];
    ssize_t got = read(master_, buf, sizeof buf);
    if (got <= 0) return false;  // EIO once the program's side is closed
    output_.append(buf, static_cast<size_t>(got));
    return true;
}

bool PtySession::waitForScreen(const std::string& text, int timeoutMs) {
    long deadline = nowMs() + timeoutMs;
    while (screen().find(text) < 0) {
        long left = deadline - nowMs();
        if (left <= 0 || !readSome(static_cast<int>(left < 200 ? left : 200))) return screen().find(text) >= 0;
    }
    return true;
}

void PtySession::type(const std::string& keys) {
    if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
        throw std::runtime_error("cannot type on the terminal");
}

void PtySession::sendSignal(int sig) { kill(pid_, sig); }

int PtySession::waitExit(int timeoutMs) {
    long deadline = nowMs() + timeoutMs;
    while (!exited_) {
        long left = deadline - nowMs();
        if (left <= 0) return -1;
        bool open = readSome(static_cast<int>(left < 200 ? left : 200));
        int status = 0;
        pid_t done = waitpid(pid_, &status, open ? WNOHANG : 0);
        if (done == pid_) {
            while (readSome(50)) {
                if (nowMs() > deadline) break;
                pollfd fd{master_, POLLIN, 0};
                if (poll(&fd, 1, 0) <= 0) break;
            }
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    }
    return status_;
}

struct termios PtySession::settings() const {
    struct termios now {};
    tcgetattr(master_, &now);
    return now;
}

bool sameTerminalModes(const struct termios& a, const struct termios& b) {
    return a.c_lflag == b.c_lflag && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cc[VMIN] == b.c_cc[VMIN] &&
           a.c_cc[VTIME] == b.c_cc[VTIME];
}

}  // namespace tavtest
