#include "tavtest.h"

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace tavtest {

namespace {

std::string envOr(const char *name, const std::string &fallback) {
    const char *v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

// The process environment with "NAME=value" entries replaced or added.
std::vector<std::string> mergedEnvironment(const std::vector<std::string> &extra) {
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        std::string entry(*e);
        std::string name = entry.substr(0, entry.find('='));
        bool overridden = false;
        for (const auto &x : extra)
            if (x.substr(0, x.find('=')) == name) overridden = true;
        if (!overridden) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char *> cStrings(std::vector<std::string> &v) {
    std::vector<char *> out;
    for (auto &s : v) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

[[noreturn]] void execOrDie(std::vector<std::string> argv, std::vector<std::string> env) {
    auto cargv = cStrings(argv);
    auto cenv = cStrings(env);
    execve(cargv[0], cargv.data(), cenv.data());
    // Not found as given: search PATH like a shell would.
    execvpe(cargv[0], cargv.data(), cenv.data());
    dprintf(2, "exec %s: %s\n", cargv[0], strerror(errno));
    _exit(127);
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

}  // namespace

std::string tavsimPath() { return envOr("TAVSIM", TAVSIM_DEFAULT_PATH); }
std::string preloadPath() { return envOr("TAVSIM_PRELOAD", TAVSIM_DEFAULT_PRELOAD); }
std::string binDir() { return envOr("TAV_BIN_DIR", TAV_DEFAULT_BIN_DIR); }

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string fixture(const std::string &name) {
    std::string text = readFile(std::string(TAV_FIXTURE_DIR) + "/" + name);
    if (text.empty()) throw std::runtime_error("missing golden file tests/fixtures/" + name);
    return text;
}

std::string fillTemplate(std::string text, const std::vector<std::pair<std::string, std::string>> &values) {
    for (const auto &v : values) {
        const std::string key = "{" + v.first + "}";
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + v.second.size()))
            text.replace(at, key.size(), v.second);
    }
    return text;
}

RunResult runCommand(const std::vector<std::string> &argv, const std::string &stdinText,
                     const std::vector<std::string> &extraEnv) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) throw std::runtime_error("pipe failed");
    auto env = mergedEnvironment(extraEnv);
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execOrDie(argv, env);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);

    RunResult r;
    size_t written = 0;
    int inFd = in[1];
    if (stdinText.empty()) {
        close(inFd);
        inFd = -1;
    }
    bool outOpen = true, errOpen = true;
    char buf[65536];
    while (outOpen || errOpen) {
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
        int n = poll(fds, inFd >= 0 ? 3 : 2, -1);
        if (n < 0 && errno == EINTR) continue;
        if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t w = write(inFd, stdinText.data() + written, stdinText.size() - written);
            if (w > 0) written += size_t(w);
            if (w < 0 || written == stdinText.size()) {
                close(inFd);
                inFd = -1;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got > 0)
                (i == 0 ? r.out : r.err).append(buf, size_t(got));
            else
                (i == 0 ? outOpen : errOpen) = false;
        }
    }
    if (inFd >= 0) close(inFd);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = decodeStatus(status);
    return r;
}

SimServer::SimServer(const std::string &configJson, Conf conf) {
    char tmpl[] = "/tmp/tavtest.XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    base_ = tmpl;
    root_ = base_ + "/root";
    // The tests write the configuration files they need; the rest stay missing.
    std::vector<std::string> argv{tavsimPath(), "init", root_};
    if (conf == Conf::Empty) argv.insert(argv.begin() + 2, "--empty-conf");
    if (!configJson.empty()) {
        writeFile(base_ + "/config.json", configJson);
        argv.push_back(base_ + "/config.json");
    }
    RunResult r = runCommand(argv);
    initOutput_ = r.out + r.err;
    ok_ = r.status == 0;
}

SimServer::~SimServer() {
    if (!base_.empty()) nftw(base_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string SimServer::path(const std::string &rel) const { return root_ + rel; }

RunResult SimServer::runWithFault(const std::string &calls, const std::string &path, const std::string &tamper,
                                  const std::vector<std::string> &argv) const {
    std::vector<std::string> full;
    // LeakSanitizer cannot run under ptrace: a traced sanitizer build checks no leaks.
    const char *asan = getenv("ASAN_OPTIONS");
    if (asan != nullptr) full = {"env", std::string("ASAN_OPTIONS=") + asan + ":detect_leaks=0"};
    full.insert(full.end(), {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + calls, "-e",
                             "inject=" + calls + ":" + tamper});
    if (!path.empty()) full.insert(full.end(), {"-P", path});
    std::vector<std::string> program = underSimulator(argv);
    full.insert(full.end(), program.begin(), program.end());
    return runCommand(full);
}

std::vector<std::string> SimServer::underSimulator(const std::vector<std::string> &argv) const {
    std::vector<std::string> full{tavsimPath(), "run", root_, "--"};
    if (argv.empty()) return full;
    std::string program = argv[0];
    if (program.find('/') == std::string::npos) {
        std::string installed = root_ + "/opt/morvane/tavutility/" + program;
        std::string built = binDir() + "/" + program;
        if (fileExists(installed))
            program = installed;
        else if (fileExists(built))
            program = built;
    }
    full.push_back(program);
    full.insert(full.end(), argv.begin() + 1, argv.end());
    return full;
}

RunResult SimServer::run(const std::vector<std::string> &argv, const std::string &stdinText,
                         const std::vector<std::string> &extraEnv) const {
    return runCommand(underSimulator(argv), stdinText, extraEnv);
}

RunResult SimServer::runOnPty(const std::vector<std::string> &argv, const std::string &input,
                              const std::vector<std::string> &extraEnv) const {
    auto env = mergedEnvironment(extraEnv);
    auto full = underSimulator(argv);
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) execOrDie(full, env);

    // Type the next line whenever the program has been quiet for a moment:
    // by then it waits for input.
    std::istringstream lines(input);
    std::string line;
    bool more = static_cast<bool>(std::getline(lines, line));
    RunResult r;
    char buf[4096];
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        int n = poll(&fd, 1, 300);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            if (more) {
                line += "\n";
                if (write(master, line.data(), line.size()) < 0) break;
                more = static_cast<bool>(std::getline(lines, line));
            } else if (waitpid(pid, nullptr, WNOHANG | WNOWAIT) == pid) {
                break;
            }
            continue;
        }
        ssize_t got = read(master, buf, sizeof buf);
        if (got <= 0) break;  // EIO once the child side is closed
        r.out.append(buf, size_t(got));
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = decodeStatus(status);
    return r;
}

std::string SimServer::show() const { return runCommand({tavsimPath(), "show", root_}).out; }

RunResult SimServer::inject(const std::vector<std::string> &args) const {
    std::vector<std::string> argv{tavsimPath(), "inject", root_};
    argv.insert(argv.end(), args.begin(), args.end());
    return runCommand(argv);
}

std::string SimServer::syslog() const { return runCommand({tavsimPath(), "syslog", root_}).out; }

void SimServer::activate() const { setenv("TAV_ROOT", root_.c_str(), 1); }

DescriptorLimit::DescriptorLimit(int spare)
{
    struct rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    soft_ = limit.rlim_cur;
    int lowest = dup(0);
    if (lowest >= 0) {
        close(lowest);
    }
    limit.rlim_cur = static_cast<rlim_t>(lowest < 0 ? 0 : lowest + spare);
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        throw std::runtime_error("setrlimit RLIMIT_NOFILE failed");
    }
}

DescriptorLimit::~DescriptorLimit()
{
    struct rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(soft_);
    setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace tavtest
