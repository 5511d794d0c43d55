// The tavsim command: server creation and refusal, the driver's /proc files,
// running a program against a server, and the state it shows.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "tavtest.h"

namespace {

using tavtest::RunResult;
using tavtest::SimServer;

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

std::string parentOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

}  // namespace

TEST(Tavsim, RefusedConfigurationNamesTheKeyAndLeavesNothingBehind) {
    struct Case {
        const char* config;
        const char* message;
    };
    const Case cases[] = {
        {R"({"adapters":[{"host":2,"model":"ZN5121","drives":[{"slot":0,"interface":"SAS"},{"slot":1}]}]})",
         "adapters[0].drives[1].interface: required"},
        {R"({"adapters":[{"model":"ZN5121"}]})", "adapters[0].host: required"},
        {R"({"adapters":[{"host":2,"model":"ZN5122"}]})", "adapters[0].model: must be one of"},
        {R"({"adapters":[{"host":2,"model":"ZN5121","drives":[{"slot":0,"interface":"SAS"}],
             "logical_drives":[{"number":0,"raid":1,"members":[0,9]}]}]})",
         "adapters[0].logical_drives[0].members[1]: no drive in slot 9"},
        {R"({"adapters":[{"host":2,"model":"ZN5121","drives":[{"slot":0,"interface":"SAS","blcks":5}]}]})",
         "adapters[0].drives[0].blcks: unknown key"},
        {R"({"adapters":[{"host":2,"model":"ZN5121","driver_version":"1.2.x.4"}]})",
         "adapters[0].driver_version: must be four numbers"},
        {R"({"adapters":[{"host":1e400,"model":"ZN5121"}]})", "adapters[0].host: number out of range"},
        {R"({"adapters":[{"host":2,"model":"ZN5121","drives":[{"slot":0,"interface":"SAS","blocks":-1e999}]}]})",
         "adapters[0].drives[0].blocks: number out of range"},
        {R"({"adapters":[{"host":2,"model":"ZN5121","drives":[{"slot":0,"interface":"SAS","temperature":256}]}]})",
         "adapters[0].drives[0].temperature:"},
        {R"({"adapters":[{"host":2,"model":"ZN5121","drives":[{"slot":0,"interface":"SATA","predict_failure":1}]}]})",
         "adapters[0].drives[0].predict_failure: must be true or false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        SimServer server(c.config);
        EXPECT_FALSE(server.ok());
        EXPECT_NE(server.initOutput().find(c.message), std::string::npos) << server.initOutput();
        EXPECT_EQ(entries(parentOf(server.root())), std::set<std::string>{"config.json"});
    }
}

// Only a non-empty regular file is a configuration; a FIFO must not block.
TEST(Tavsim, InitRefusesAConfigurationThatIsNoNonEmptyRegularFile) {
    char pattern[] = "/tmp/tavsim-cfg.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string base = pattern;
    tavtest::writeFile(base + "/empty.json", "");
    ASSERT_EQ(mkfifo((base + "/fifo.json").c_str(), 0600), 0);
    const char* configs[] = {"empty.json", "fifo.json", ".", "/dev/null"};
    for (const char* config : configs) {
        SCOPED_TRACE(config);
        std::string path = config[0] == '/' ? config : base + "/" + config;
        RunResult r = tavtest::runCommand({"timeout", "20", tavtest::tavsimPath(), "init", base + "/server", path});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(path + ": "), std::string::npos) << r.err;
        EXPECT_FALSE(tavtest::fileExists(base + "/server"));
    }
    for (const char* name : {"/empty.json", "/fifo.json"}) unlink((base + name).c_str());
    rmdir(base.c_str());
}

TEST(Tavsim, InsertDriveRefusesANumberOutOfRange) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    RunResult r = server.inject({"insert-drive", "0", "9", R"({"interface":"SAS","blocks":1e400})"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("drive.blocks: number out of range"), std::string::npos) << r.err;
}

// The system version reaches dmidecode's answer as text, never as shell code.
TEST(Tavsim, DmidecodeAnswersAnySystemVersionLiterally) {
    for (const char* version : {"x';touch PWNED;'", "a'b\\c $(id) `id` \"q\""}) {
        nlohmann::json config = nlohmann::json::parse(R"({"adapters":[{"host":2,"model":"ZN5121"}]})");
        config["system_version"] = version;
        SimServer server(config.dump());
        ASSERT_TRUE(server.ok()) << server.initOutput();
        RunResult dmi = server.run({"/bin/sh", "-c", "cd \"$TAV_ROOT\" && dmidecode -s system-version"});
        EXPECT_EQ(dmi.out, std::string(version) + "\n");
        EXPECT_EQ(dmi.status, 0);
        EXPECT_FALSE(tavtest::fileExists(server.path("/PWNED")));
    }
}

TEST(Tavsim, InitCreatesTheDriversProcFilesAndTheInstallation) {
    SimServer server(R"({"adapters":[
        {"host":10,"model":"ZN5120","pci_bus":5,"pci_slot":12,"driver_version":"1.2.4.53"},
        {"host":2,"model":"ZN5121"}], "system_version":"SVB1000002"})");
    ASSERT_TRUE(server.ok()) << server.initOutput();
    std::string expected10 =
        "tav card no : 0\nhost no : 10\npci bus/slot : 5/12\ncard type : ZN5120\nmax channel : 1\n"
        "can queue depth : 128\ncmd per lun : 32\ndriver version : 1.2.4.53\nStatistics\n";
    for (int row = 0; row < 16; ++row) expected10 += std::to_string(row) + ": 0 0 0 0\n";
    EXPECT_EQ(tavtest::readFile(server.path("/proc/scsi/tavdrv/10")), expected10);
    std::string proc2 = tavtest::readFile(server.path("/proc/scsi/tavdrv/2"));
    EXPECT_NE(proc2.find("host no : 2\n"), std::string::npos);
    EXPECT_NE(proc2.find("card type : ZN5121\n"), std::string::npos);
    EXPECT_NE(proc2.find("driver version : 1.2.4.54\n"), std::string::npos);
    EXPECT_EQ(entries(server.path("/proc/scsi/tavdrv")), (std::set<std::string>{"10", "2"}));
    for (const char* p : {"/proc/scsi/scsi", "/dev/tavdrv", "/var/run", "/var/log", "/opt/morvane/tavutility/conf",
                          "/opt/morvane/tavutility/tavcli"})
        EXPECT_TRUE(tavtest::fileExists(server.path(p))) << p;

    RunResult dmi = server.run({"dmidecode", "-s", "system-version"});
    EXPECT_EQ(dmi.out, "SVB1000002\n");
    EXPECT_EQ(dmi.status, 0);

    // Controllers are numbered in the byte order of the host names: "10" before "2".
    auto shown = nlohmann::json::parse(server.show());
    EXPECT_EQ(shown["adapters"][0]["host"], 10);
    EXPECT_EQ(shown["adapters"][0]["layout"], "packed");
    EXPECT_EQ(shown["adapters"][1]["host"], 2);
    EXPECT_EQ(shown["adapters"][1]["layout"], "fixed");
}

// A server gets the packaged configuration files, or with --empty-conf none.
TEST(Tavsim, InitGivesThePackagedConfigurationOrAnEmptyConf) {
    char tmpl[] = "/tmp/tavsimconf.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string base = tmpl;
    RunResult packaged = tavtest::runCommand({tavtest::tavsimPath(), "init", base + "/packaged"});
    RunResult empty = tavtest::runCommand({tavtest::tavsimPath(), "init", "--empty-conf", base + "/empty"});
    std::string conf = base + "/packaged/opt/morvane/tavutility/conf";
    std::string tavlog = tavtest::readFile(conf + "/tavlog.conf");
    std::set<std::string> packagedEntries = entries(conf);
    std::set<std::string> emptyEntries = entries(base + "/empty/opt/morvane/tavutility/conf");
    bool emptyConfExists = tavtest::fileExists(base + "/empty/opt/morvane/tavutility/conf");
    tavtest::runCommand({"rm", "-rf", base});
    EXPECT_EQ(packaged.status, 0) << packaged.err;
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(packagedEntries, (std::set<std::string>{"eventid.conf", "evtrang.conf", "notify.conf", "tavlog.conf"}));
    EXPECT_NE(tavlog.find("DumpDir : /opt/morvane/tavutility/dump\n"), std::string::npos) << tavlog;
    EXPECT_TRUE(emptyConfExists);
    EXPECT_TRUE(emptyEntries.empty());
}

// The simulator and the suite copied elsewhere: the server links the copies
// and runs them, whether or not the build directory is still there.
TEST(Tavsim, CopiedElsewhereLinksTheProgramsBesideIt) {
    char tmpl[] = "/tmp/tavsimcopy.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string base = tmpl, copy = base + "/bin";
    std::string bin = tavtest::binDir();
    RunResult copied = tavtest::runCommand(
        {"sh", "-c", "mkdir \"$2\" && cd \"$1\" && cp -a tavsim libtavsim_preload.so tavsim-conf tavcli tavservice "
                     "tavlog tavpth tavstat libtavctl.so* libtavpth.so* \"$2\"/",
         "sh", bin, copy});
    RunResult init = tavtest::runCommand({copy + "/tavsim", "init", base + "/server"});
    char target[4096] = {0};
    ssize_t n = readlink((base + "/server/opt/morvane/tavutility/tavcli").c_str(), target, sizeof target - 1);
    RunResult count = tavtest::runCommand({copy + "/tavsim", "run", base + "/server", "--", "tavcli", "-AdpCount"});
    bool conf = tavtest::fileExists(base + "/server/opt/morvane/tavutility/conf/tavlog.conf");
    tavtest::runCommand({"rm", "-rf", base});
    ASSERT_EQ(copied.status, 0) << copied.err;
    EXPECT_EQ(init.status, 0) << init.err;
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(target, static_cast<size_t>(n)), copy + "/tavcli");
    EXPECT_EQ(count.status, 0) << count.out << count.err;
    EXPECT_NE(count.out.find("Adapter Count: 1."), std::string::npos) << count.out;
    EXPECT_TRUE(conf);
}

TEST(Tavsim, RunSetsTheEnvironmentAndExitsWithTheProgramsStatus) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    RunResult r = server.run({"/bin/sh", "-c", "echo \"$TAV_ROOT\"; echo \"$LD_PRELOAD\"; exit 7"});
    EXPECT_EQ(r.status, 7);
    std::istringstream lines(r.out);
    std::string root, preload;
    std::getline(lines, root);
    std::getline(lines, preload);
    EXPECT_EQ(root, server.root());
    EXPECT_NE(preload.find("libtavsim_preload.so"), std::string::npos);
    EXPECT_EQ(server.run({"no-such-program-anywhere"}).status, 127);
}

TEST(Tavsim, ShowsTheDefaultServer) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    auto a = nlohmann::json::parse(server.show())["adapters"];
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0]["host"], 2);
    EXPECT_EQ(a[0]["model"], "ZN5121");
    EXPECT_EQ(a[0]["commands"], 0);
    EXPECT_EQ(a[0]["hot_spares"], nlohmann::json::array({3}));
    auto drives = a[0]["drives"];
    ASSERT_EQ(drives.size(), 8u);
    for (int slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(drives[slot]["interface"], slot < 6 ? "SAS" : "SATA") << slot;
        EXPECT_EQ(drives[slot]["blocks"], 4194304) << slot;
    }
    EXPECT_EQ(drives[3]["class"], 3);
    EXPECT_EQ(drives[6]["class"], 4);
    auto lds = a[0]["logical_drives"];
    ASSERT_EQ(lds.size(), 2u);
    EXPECT_EQ(lds[0]["raid"], 5);
    EXPECT_EQ(lds[0]["members"], nlohmann::json::array({0, 1, 2}));
    EXPECT_EQ(lds[0]["capacity_blocks"], 2 * 4194304);
    EXPECT_EQ(lds[1]["raid"], 1);
    EXPECT_EQ(lds[1]["members"], nlohmann::json::array({4, 5}));

    EXPECT_EQ(server.inject({"explode"}).status, 2);
    EXPECT_EQ(server.inject({"fail-drive", "0", "9"}).status, 1);  // empty slot
}
