// tavsim: creates simulated servers and runs the suite's programs against them.
#include <cstdio>
#include <cstring>
#include <string>

#include "sim_commands.h"

namespace {

const char kUsage[] =
    "usage: tavsim init [--empty-conf] DIR [CONFIG.json]\n"
    "       tavsim run DIR -- PROGRAM ARGS...\n"
    "       tavsim show DIR\n"
    "       tavsim inject DIR [--adapter N] FAULT ...\n"
    "       tavsim syslog DIR\n"
    "faults: busy N | check-condition KEY ASC ASCQ [N] | adapter-error CODE [N] | ioctl-error ERRNO [N]\n"
    "        fail-drive ADAPTER SLOT | remove-drive ADAPTER SLOT | insert-drive ADAPTER SLOT [JSON]\n";

}  // namespace

int tavsim::complain(const std::string& message, int status) {
    std::fprintf(stderr, "tavsim: %s\n", message.c_str());
    return status;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string command = argv[1];
    tavsim::Args args(argv + 2, argv + argc);
    if (command == "init") return tavsim::commandInit(args);
    if (command == "run") return tavsim::commandRun(args);
    if (command == "show") return tavsim::commandShow(args);
    if (command == "inject") return tavsim::commandInject(args);
    if (command == "syslog") return tavsim::commandSyslog(args);
    std::fputs(kUsage, stderr);
    return 2;
}
