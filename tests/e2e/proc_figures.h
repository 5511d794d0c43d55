// Figures of a running process read from /proc: open descriptors, memory
// lines of its status file.
#ifndef PROC_FIGURES_H
#define PROC_FIGURES_H

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace procfig {

// A memory line of /proc/PID/status in kB ("VmRSS:", "RssAnon:"), or -1.
inline long statusKb(int pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
    return -1;
}

// Entries of /proc/PID/fd, or -1 when the process is gone.
inline long openDescriptors(int pid) {
    std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return -1;
    long n = 0;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n;
}

}  // namespace procfig

#endif
