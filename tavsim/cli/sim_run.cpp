// tavsim run and tavsim syslog: a program against the server, and the system
// log lines its programs wrote.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "sim_commands.h"
#include "sim_server.h"

#ifndef TAVSIM_PRELOAD_PATH
#define TAVSIM_PRELOAD_PATH ""
#endif

namespace tavsim {

namespace {

constexpr char kShimName[] = "libtavsim_preload.so";

bool executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// The shim beside this program, else where the build put it.
std::string shimPath() {
    std::string dir = selfDirectory();
    if (!dir.empty()) {
        std::string beside = dir + "/" + kShimName;
        if (access(beside.c_str(), R_OK) == 0) return beside;
    }
    return TAVSIM_PRELOAD_PATH;
}

std::string joined(const char* name, const std::string& value, const char* separator) {
    const char* old = getenv(name);
    return old != nullptr && old[0] != '\0' ? value + separator + old : value;
}

void prepareEnvironment(const std::string& root) {
    setenv("TAV_ROOT", root.c_str(), 1);
    setenv("LD_PRELOAD", joined("LD_PRELOAD", shimPath(), ":").c_str(), 1);
    setenv("PATH", joined("PATH", root + "/bin", ":").c_str(), 1);
}

}  // namespace

int commandRun(const Args& args) {
    if (args.size() < 3 || args[1] != "--") return complain("usage: tavsim run DIR -- PROGRAM ARGS...", 2);
    std::string root = serverRoot(args[0]);
    if (root.empty()) return complain(args[0] + " is not a simulated server (run tavsim init first)");
    prepareEnvironment(root);
    std::vector<char*> argv;
    for (size_t i = 2; i < args.size(); ++i) argv.push_back(const_cast<char*>(args[i].c_str()));
    argv.push_back(nullptr);
    const std::string& program = args[2];
    std::string suiteProgram = root + "/opt/morvane/tavutility/" + program;
    if (program.find('/') == std::string::npos && executable(suiteProgram))
        execv(suiteProgram.c_str(), argv.data());
    else
        execvp(program.c_str(), argv.data());
    return complain("cannot run " + program + ": " + std::strerror(errno), 127);
}

int commandSyslog(const Args& args) {
    if (args.size() != 1) return complain("usage: tavsim syslog DIR", 2);
    std::string root = serverRoot(args[0]);
    if (root.empty()) return complain(args[0] + " is not a simulated server");
    FILE* in = std::fopen((root + "/var/log/syslog").c_str(), "r");
    if (in == nullptr) return 0;  // nothing was logged yet
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, n, stdout);
    std::fclose(in);
    return 0;
}

}  // namespace tavsim
