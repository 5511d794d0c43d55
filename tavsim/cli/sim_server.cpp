#include "sim_server.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "sim_commands.h"

namespace tavsim {

std::string serverRoot(const std::string& dir) {
    char resolved[PATH_MAX];
    char state[kPathMax];
    if (realpath(dir.c_str(), resolved) == nullptr) return std::string();
    if (!statePath(resolved, state, sizeof state) || access(state, R_OK) != 0) return std::string();
    return resolved;
}

bool openServer(const std::string& dir, std::string* root, StateMapping* mapping) {
    *root = serverRoot(dir);
    if (root->empty()) {
        complain(dir + " is not a simulated server (run tavsim init first)");
        return false;
    }
    if (!mapState(root->c_str(), mapping)) {
        complain("cannot map the state of " + dir + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

std::string selfDirectory() {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return std::string();
    self[n] = '\0';
    std::string path(self);
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace tavsim
