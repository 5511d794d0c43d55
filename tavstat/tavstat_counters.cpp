// The SAS error counters kept between runs. A run reads one of the two
// counter pages of each SAS drive, in turn, and takes the other one as the
// previous run left it, so a drive costs two commands a run and still shows
// both counters. Where the file cannot be kept (its directory is not a
// writable directory) both pages are read every run.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavbase/io.h"
#include "tavstat.h"

namespace {

const char kCounterPath[] = "/var/lib/tavstat/counters";
const char kCounterDir[] = "/var/lib/tavstat";

// INQUIRY vendor, product and serial in hex: a replaced drive starts afresh.
void driveId(const DLL_GET_HDD_INFO &pd, char *out, size_t size)
{
    size_t at = 0;
    for (int i = 8; i < 48 && at + 3 <= size; ++i) {
        if (i >= 32 && i < 36) {
            continue;  // the revision changes with a firmware update
        }
        at += static_cast<size_t>(snprintf(out + at, size - at, "%02x", pd.inquiry[i]));
    }
}

}  // namespace

void StatCounterId(const DLL_GET_HDD_INFO &pd, StatCounterEntry *entry)
{
    driveId(pd, entry->id, sizeof entry->id);
}

void StatLoadCounters(StatCounters *counters)
{
    memset(counters, 0, sizeof *counters);
    char path[4096], dir[4096];
    if (!Tool_ResolvePath(kCounterPath, path, sizeof path) || !Tool_ResolvePath(kCounterDir, dir, sizeof dir)) {
        return;
    }
    struct stat st;
    if (mkdir(dir, 0755) != 0 && errno != EEXIST) {
        return;
    }
    counters->kept = stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && access(dir, W_OK | X_OK) == 0;
    FILE *f = fopen(path, "re");
    if (f == nullptr) {
        return;
    }
    char line[256];
    while (fgets(line, sizeof line, f) != nullptr) {
        int a = -1, s = -1;
        unsigned next = 0;
        long long read = -1, write = -1;
        char id[sizeof counters->entry[0][0].id];
        if (sscanf(line, "%d %d %72s %lld %lld %u", &a, &s, id, &read, &write, &next) != 6 || a < 0 ||
            a >= TAV_MAX_ADAPTERS || s < 0 || s >= TAV_MAX_DRIVES) {
            continue;
        }
        StatCounterEntry &e = counters->entry[a][s];
        e.valid = 1;
        snprintf(e.id, sizeof e.id, "%s", id);
        e.read = read < 0 ? -1 : read;
        e.write = write < 0 ? -1 : write;
        e.next = static_cast<uint8_t>(next);
    }
    fclose(f);
}

int StatSaveCounters(const StatCounters &counters)
{
    std::string text;
    char line[256];
    for (int a = 0; a < TAV_MAX_ADAPTERS; ++a) {
        for (int s = 0; s < TAV_MAX_DRIVES; ++s) {
            const StatCounterEntry &e = counters.entry[a][s];
            if (e.valid) {
                snprintf(line, sizeof line, "%d %d %s %lld %lld %u\n", a, s, e.id, static_cast<long long>(e.read),
                         static_cast<long long>(e.write), e.next);
                text += line;
            }
        }
    }
    char path[4096];
    if (!counters.kept || !Tool_ResolvePath(kCounterPath, path, sizeof path)) {
        return 0;
    }
    std::string temp = std::string(path) + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        return 0;
    }
    int ok = fchmod(fd, 0644) == 0 && tavbase::WriteAll(fd, text.data(), text.size());
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path) != 0) {
        unlink(temp.c_str());
        return 0;
    }
    return 1;
}
