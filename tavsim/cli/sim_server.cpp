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

}  // namespace tavsim
