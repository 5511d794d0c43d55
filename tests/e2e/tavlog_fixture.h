// Helpers of the log-collector tests: output files by name pattern, the
// simulator's generated memory bytes, and time-stamped names.
#ifndef TAVLOG_FIXTURE_H
#define TAVLOG_FIXTURE_H

#include <dirent.h>
#include <time.h>

#include <regex>
#include <string>
#include <vector>

namespace tavlogtest {

// Names in `dir` matching the whole of `pattern`.
inline std::vector<std::string> filesMatching(const std::string& dir, const std::string& pattern) {
    std::vector<std::string> names;
    std::regex re(pattern);
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::regex_match(e->d_name, re)) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// What the simulator holds at `address` of buffer `id` (tavsim/README.md).
inline unsigned char memoryByte(int host, unsigned id, unsigned address) {
    return static_cast<unsigned char>(address * 31u + (address >> 8) * 7u + static_cast<unsigned>(host) * 13u + id);
}

inline std::string memoryBytes(int host, unsigned id, unsigned address, unsigned length) {
    std::string out(length, '\0');
    for (unsigned i = 0; i < length; ++i) out[i] = static_cast<char>(memoryByte(host, id, address + i));
    return out;
}

// The firmware memory window and dump data (tavsim/README.md): byte at P is
// (P >> 9) ^ P ^ (controller << 6).
inline std::string windowBytes(unsigned controller, unsigned address, unsigned length) {
    std::string out(length, '\0');
    for (unsigned i = 0; i < length; ++i) {
        unsigned at = address + i;
        out[i] = static_cast<char>((at >> 9) ^ at ^ (controller << 6));
    }
    return out;
}

// The collector's time stamp of `t` local time.
inline std::string stamp(time_t t) {
    struct tm tm;
    localtime_r(&t, &tm);
    char text[32];
    strftime(text, sizeof text, "%Y%m%d%H%M%S", &tm);
    return text;
}

}  // namespace tavlogtest

#endif
