// Finding and mapping the server below a directory given on the command line.
#ifndef TAVSIM_SIM_SERVER_H
#define TAVSIM_SIM_SERVER_H

#include <string>

#include "sim_store.h"

namespace tavsim {

// The server's absolute directory, or empty when DIR holds no server.
std::string serverRoot(const std::string& dir);

// The directory of the running tavsim program (symbolic links resolved), or
// empty when it cannot be read.
std::string selfDirectory();

// Maps the server's state; on failure complains and returns false.
bool openServer(const std::string& dir, std::string* root, StateMapping* mapping);

}  // namespace tavsim

#endif
