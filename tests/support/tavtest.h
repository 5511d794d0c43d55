// Test fixtures: simulated servers built with `tavsim init`, program runs
// under `tavsim run`, and pseudo-terminal sessions.
#ifndef TAVTEST_H
#define TAVTEST_H

#include <string>
#include <vector>

namespace tavtest {

struct RunResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;  // standard output (on a pty: everything the terminal showed)
    std::string err;  // standard error (empty on a pty)
};

// Locations of the build; the environment variables TAVSIM, TAVSIM_PRELOAD and
// TAV_BIN_DIR override them.
std::string tavsimPath();   // the tavsim command
std::string preloadPath();  // the driver shim
std::string binDir();       // where the suite's programs and libraries were built

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);

// A golden file of tests/fixtures by name, whole; throws when it is missing
// or empty, so that no comparison passes against nothing.
std::string fixture(const std::string& name);
// The text with every "{name}" replaced by its value.
std::string fillTemplate(std::string text, const std::vector<std::pair<std::string, std::string>>& values);

// Runs argv directly (no simulator), feeding stdinText, with extra "NAME=value"
// environment entries.
RunResult runCommand(const std::vector<std::string>& argv, const std::string& stdinText = std::string(),
                     const std::vector<std::string>& extraEnv = {});

// While it lives, this process may open only SPARE more descriptors (its
// RLIMIT_NOFILE is lowered to the lowest free one plus SPARE): the open after
// them fails with EMFILE, as in a process that has run out of descriptors.
class DescriptorLimit {
public:
    explicit DescriptorLimit(int spare);
    ~DescriptorLimit();
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;

private:
    unsigned long long soft_;
};

// What a server's conf/ starts with: the packaged default files, or nothing
// (for the cases of missing files).
enum class Conf { Packaged, Empty };

// A simulated server in a fresh temporary directory, removed when destroyed.
class SimServer {
public:
    // configJson empty: the default server.
    explicit SimServer(const std::string& configJson = std::string(), Conf conf = Conf::Packaged);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    bool ok() const { return ok_; }  // `tavsim init` succeeded
    const std::string& initOutput() const { return initOutput_; }
    const std::string& root() const { return root_; }
    std::string path(const std::string& rel) const;  // root + rel ("/var/run/x")

    // A program of the suite by name ("tavcli"), or any path, under `tavsim run`.
    RunResult run(const std::vector<std::string>& argv, const std::string& stdinText = std::string(),
                  const std::vector<std::string>& extraEnv = {}) const;
    // The same with one system-call fault injected by strace into the
    // calls named in `calls` ("openat,open") that act on `path` only;
    // `tamper` is strace's inject value ("error=EACCES:when=1",
    // "signal=2:when=1"); an empty `path` tampers with every such call.
    RunResult runWithFault(const std::string& calls, const std::string& path, const std::string& tamper,
                           const std::vector<std::string>& argv) const;
    // The same on a pseudo-terminal; `input` is typed line by line as the program reads.
    RunResult runOnPty(const std::vector<std::string>& argv, const std::string& input,
                       const std::vector<std::string>& extraEnv = {}) const;

    std::string show() const;                                      // `tavsim show` (JSON text)
    RunResult inject(const std::vector<std::string>& args) const;  // `tavsim inject ROOT args...`
    std::string syslog() const;                                    // `tavsim syslog`

    // Points this process's TAV_ROOT at the server, for in-process library tests
    // (the test binary runs with the driver shim preloaded).
    void activate() const;

private:
    std::vector<std::string> underSimulator(const std::vector<std::string>& argv) const;

    std::string base_;  // temporary directory holding the root and the configuration
    std::string root_;
    std::string initOutput_;
    bool ok_ = false;
};

}  // namespace tavtest

#endif
