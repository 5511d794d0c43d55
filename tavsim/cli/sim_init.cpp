// tavsim init: builds the whole server in a temporary sibling directory and
// renames it into place, so a refused configuration leaves nothing behind.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <limits.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_commands.h"
#include "sim_config.h"
#include "sim_firmware.h"
#include "sim_server.h"
#include "sim_store.h"

#ifndef TAVSIM_SUITE_BIN_DIR
#define TAVSIM_SUITE_BIN_DIR ""
#endif
#ifndef TAVSIM_SUITE_CONF_DIR
#define TAVSIM_SUITE_CONF_DIR ""
#endif

namespace tavsim {

namespace {

const char* const kSuiteFiles[] = {"tavcli",  "tavservice",   "tavlog",      "tavpth",
                                   "tavstat", "libtavctl.so", "libtavpth.so"};

bool readWholeFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

// A configuration is a non-empty regular file; anything else (a directory,
// a device, a FIFO that would block) is refused before reading.
bool readConfigFile(const std::string& path, std::string* text, std::string* error) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *error = std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    bool regular = S_ISREG(st.st_mode);
    close(fd);
    if (!regular) {
        *error = "not a regular file";
        return false;
    }
    if (!readWholeFile(path, text)) {
        *error = std::strerror(errno);
        return false;
    }
    if (text->empty()) {
        *error = "the file is empty";
        return false;
    }
    return true;
}

bool writeWholeFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out || !(out << text) || !out.flush()) return false;
    }
    return chmod(path.c_str(), mode) == 0;
}

bool makeDirs(const std::string& root, std::initializer_list<const char*> dirs) {
    for (const char* d : dirs) {
        std::string path = root + "/" + d;
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void removeTree(const std::string& path) { nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }

std::string procFile(const AdapterRecord& a, int controller) {
    std::string s;
    char line[128];
    std::snprintf(line, sizeof line, "tav card no : %d\nhost no : %d\npci bus/slot : %d/%d\n", controller, a.host,
                  a.pciBus, a.pciSlot);
    s += line;
    s += std::string("card type : ") + (a.cardType == kCardZN5120 ? "ZN5120" : "ZN5121") + "\n";
    s += "max channel : 1\ncan queue depth : 128\ncmd per lun : 32\n";
    s += std::string("driver version : ") + a.driverVersionText + "\n";
    s += "Statistics\n";
    for (int row = 0; row < 16; ++row) {
        std::snprintf(line, sizeof line, "%d: 0 0 0 0\n", row);
        s += line;
    }
    return s;
}

// Text as one shell word: in single quotes, each quote inside as '\''.
std::string shellWord(const std::string& text) {
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

std::string dmidecodeScript(const SimState& state) {
    std::string version(state.systemVersion, strnlen(state.systemVersion, sizeof state.systemVersion));
    return std::string("#!/bin/sh\n# Simulated dmidecode: answers the system version of the server.\n") +
           "if [ \"$1\" = \"-s\" ] && [ \"$2\" = \"system-version\" ]; then\n  printf '%s\\n' " + shellWord(version) +
           "\n  exit 0\nfi\necho \"dmidecode (simulated): only -s system-version is known\" >&2\nexit 1\n";
}

// The suite's programs are looked up at run time: beside this tavsim when
// they are there (a build directory copied or installed elsewhere), else in
// the build directory tavsim was built in.
std::string suiteBinDir() {
    std::string self = selfDirectory();
    if (!self.empty() && access((self + "/tavcli").c_str(), F_OK) == 0) return self;
    return TAVSIM_SUITE_BIN_DIR;
}

// The packaged default configuration: the copy the build puts beside tavsim
// (tavsim-conf/), else the source tree's.
std::string suiteConfDir() {
    std::string self = selfDirectory();
    std::string beside = self + "/tavsim-conf";
    struct stat st;
    if (!self.empty() && stat(beside.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return beside;
    return TAVSIM_SUITE_CONF_DIR;
}

bool linkSuite(const std::string& installDir) {
    std::string bin = suiteBinDir();
    if (bin.empty()) return true;
    for (const char* name : kSuiteFiles)
        if (symlink((bin + "/" + name).c_str(), (installDir + "/" + name).c_str()) != 0) return false;
    DIR* dir = opendir(bin.c_str());
    if (dir == nullptr) return true;
    bool ok = true;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        bool versioned = name.rfind("libtavctl.so.", 0) == 0 || name.rfind("libtavpth.so.", 0) == 0;
        if (versioned && symlink((bin + "/" + name).c_str(), (installDir + "/" + name).c_str()) != 0) ok = false;
    }
    closedir(dir);
    return ok;
}

bool copyConf(const std::string& confDir) {
    std::string source = suiteConfDir();
    DIR* dir = source.empty() ? nullptr : opendir(source.c_str());
    if (dir == nullptr) return true;
    bool ok = true;
    while (dirent* e = readdir(dir)) {
        std::string text, from = source + "/" + e->d_name;
        struct stat st;
        if (e->d_name[0] == '.' || stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (!readWholeFile(from, &text) || !writeWholeFile(confDir + "/" + e->d_name, text)) ok = false;
    }
    closedir(dir);
    return ok;
}

bool populate(const std::string& root, const SimState& state, const std::string& configText, bool emptyConf) {
    const std::string install = root + "/opt/morvane/tavutility";
    if (!makeDirs(root, {"proc", "proc/scsi", "proc/scsi/tavdrv", "dev", "opt", "opt/morvane", "opt/morvane/tavutility",
                         "opt/morvane/tavutility/conf", "var", "var/run", "var/log", "var/lib", "var/lib/tavsim",
                         "var/lib/tavsim/media", "bin"}))
        return false;
    for (uint32_t i = 0; i < state.adapterCount; ++i) {
        const AdapterRecord& a = state.adapters[i];
        if (!writeWholeFile(root + "/proc/scsi/tavdrv/" + std::to_string(a.host), procFile(a, static_cast<int>(i))))
            return false;
        for (int slot = 0; slot < kMaxDrives; ++slot)
            if (a.drives[slot].configured &&
                !resetMedia(root.c_str(), static_cast<int>(i), slot, a.drives[slot].blocks))
                return false;
    }
    char path[kPathMax];
    return writeWholeFile(root + "/proc/scsi/scsi", "Attached devices:\n") &&
           writeWholeFile(root + "/dev/tavdrv", "", 0666) &&
           writeWholeFile(root + "/bin/dmidecode", dmidecodeScript(state), 0755) &&
           writeWholeFile(root + "/var/lib/tavsim/config.json",
                          configText.empty() ? kDefaultServerConfig : configText) &&
           linkSuite(install) && (emptyConf || copyConf(install + "/conf")) && statePath(root.c_str(), path, sizeof path) &&
           writeStateFile(path, state);
}

bool isMissingOrEmptyDir(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return errno == ENOENT;
    bool empty = true;
    while (dirent* e = readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) empty = false;
    closedir(dir);
    return empty;
}

std::string parentOf(const std::string& path) {
    size_t cut = path.find_last_not_of('/');
    cut = cut == std::string::npos ? std::string::npos : path.find_last_of('/', cut);
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

}  // namespace

int commandInit(const Args& allArgs) {
    // --empty-conf: conf/ without the packaged files, for the missing-file cases.
    bool emptyConf = !allArgs.empty() && allArgs[0] == "--empty-conf";
    Args args(allArgs.begin() + (emptyConf ? 1 : 0), allArgs.end());
    if (args.empty() || args.size() > 2) return complain("usage: tavsim init [--empty-conf] DIR [CONFIG.json]", 2);
    const std::string& dir = args[0];
    std::string configText, error;
    if (args.size() == 2 && !readConfigFile(args[1], &configText, &error))
        return complain("cannot read " + args[1] + ": " + error);
    static SimState state;
    if (!buildServer(configText, &state, &error)) return complain(error);
    for (AdapterRecord& a : state.adapters) primeFirmware(a);
    if (!isMissingOrEmptyDir(dir)) return complain(dir + " exists and is not empty");
    std::string pattern = parentOf(dir) + "/.tavsim-init-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        return complain("cannot create a directory beside " + dir + ": " + std::strerror(errno));
    std::string temp = buffer.data();
    if (chmod(temp.c_str(), 0755) != 0 || !populate(temp, state, configText, emptyConf) ||
        rename(temp.c_str(), dir.c_str()) != 0) {
        int saved = errno;
        removeTree(temp);
        return complain("cannot create the server in " + dir + ": " + std::strerror(saved));
    }
    std::printf("tavsim: server with %u adapter(s) created in %s\n", state.adapterCount, dir.c_str());
    return 0;
}

}  // namespace tavsim
