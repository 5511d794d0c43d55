// Soak run of tavservice under the simulator: at least 10,000 processing
// cycles with a sped-up clock (libfaketime scales the service's sleeps), first
// idle, then with model events, injected entries, dumps and command faults,
// then idle again. Reports resident memory at the start and the end, and the
// CPU time of an idle cycle.
//
//   bin/service_soak_bench [CYCLES]        (default 10000)
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "proc_figures.h"
#include "tavservice_fixture.h"

namespace {

using svctest::Service;
using tavtest::SimServer;

const char kServer[] = R"({"adapters":[{"host":2,"model":"ZN5121",
  "drives":[{"slot":0,"interface":"SAS","blocks":65536},{"slot":1,"interface":"SAS","blocks":65536},
            {"slot":2,"interface":"SAS","blocks":65536},{"slot":3,"interface":"SAS","blocks":65536},
            {"slot":4,"interface":"SAS","blocks":65536}],
  "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]}],"hot_spares":[3]}],"speed":1000})";

// User plus system CPU time in seconds.
double cpuSeconds(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoul(field);
        if (i == 15)
            stime = std::stoul(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long cycles(const SimServer &server)
{
    auto j = nlohmann::json::parse(server.show(), nullptr, false);
    if (j.is_discarded())
        return -1;
    return j["adapters"][0]["driver_info_requests"].get<long>();
}

void waitCycles(const SimServer &server, long target)
{
    while (cycles(server) < target)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// One step of the busy phase: a model event, an injected entry or a fault, in turn.
void disturb(const SimServer &server, long step)
{
    switch (step % 8) {
    case 0:
        server.inject({"fail-drive", "0", "1"});
        break;  // failure, rebuild onto the spare
    case 1:
        server.inject({"event", "0", "32", "3", "0", "92=0x20", "80=w:0x1234"});
        break;
    case 2:
        server.inject({"event", "0", "2", "0x8002", "0", "320=h:71", "364=7", "376=w:1"});
        break;
    case 3:
        server.inject({"ioctl-error", "EIO", "1"});
        break;
    case 4:
        server.inject({"event-read-error", "0", "0"});
        break;
    case 5:
        server.inject({"event", "0", "7", "176", "0", "88=w:4"});
        break;
    case 6:
        server.inject({"busy", "3"});
        break;
    default:
        if (step % 32 == 7)
            server.inject({"micro-reboot", "0"});
        else if (step % 32 == 15)
            server.inject({"event", "0", "35", "0", "0", "238=2"});
        else
            server.inject({"event", "0", "99", "1", "0"});
        break;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    long total = argc > 1 ? std::atol(argv[1]) : 10000;
    SimServer server(kServer);
    if (!server.ok()) {
        std::fprintf(stderr, "tavsim init failed: %s\n", server.initOutput().c_str());
        return 1;
    }
    svctest::writeConf(server, "tavlog.conf", "DumpDir : " + server.path("/dumps") + "\nPtime : 5\n");
    svctest::writeConf(server, "eventid.conf", "0 : 4096\n1 : 5500\n");
    std::string tavlog = server.path("/opt/morvane/tavutility/tavlog");
    unlink(tavlog.c_str());
    tavtest::writeFile(tavlog, "#!/bin/sh\nexit 0\n");
    chmod(tavlog.c_str(), 0755);

    Service service(server, {"-t", "1", "-d"}, svctest::fakeTime("+0 x1000"));
    if (!svctest::logged(server, svctest::kStarted)) {
        std::fprintf(stderr, "the service did not start\n");
        return 1;
    }
    int pid = service.pid();
    auto wallStart = std::chrono::steady_clock::now();
    long c0 = cycles(server);
    long rssStart = procfig::statusKb(pid, "VmRSS:"), anonStart = procfig::statusKb(pid, "RssAnon:");
    long fdStart = procfig::openDescriptors(pid);
    double cpu0 = cpuSeconds(pid);

    long idleEnd = c0 + total / 5;
    waitCycles(server, idleEnd);
    long c1 = cycles(server);
    double cpu1 = cpuSeconds(pid);

    long busyEnd = c0 + total * 4 / 5;
    long step = 0;
    while (cycles(server) < busyEnd) {
        disturb(server, step++);
        if (step % 8 == 1)
            server.inject({"insert-drive", "0", "1"});  // the failed drive comes back
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    long c2 = cycles(server);
    double cpu2 = cpuSeconds(pid);
    long rssBusy = procfig::statusKb(pid, "VmRSS:"), anonBusy = procfig::statusKb(pid, "RssAnon:");
    waitCycles(server, c0 + total);
    long c3 = cycles(server);
    double cpu3 = cpuSeconds(pid);
    long rssEnd = procfig::statusKb(pid, "VmRSS:"), anonEnd = procfig::statusKb(pid, "RssAnon:");
    long fdEnd = procfig::openDescriptors(pid);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    size_t lines = svctest::countOf(svctest::syslogOf(server), "\n");
    std::printf("processing cycles        %ld (idle %ld, busy %ld, idle %ld) in %.1f s\n", c3 - c0, c1 - c0, c2 - c1,
                c3 - c2, wall);
    std::printf("disturbances             %ld, system-log lines %zu\n", step, lines);
    std::printf("resident memory          start %ld kB, after the busy phase %ld kB, end %ld kB\n", rssStart, rssBusy,
                rssEnd);
    std::printf("  of it anonymous        start %ld kB, after the busy phase %ld kB, end %ld kB\n", anonStart, anonBusy,
                anonEnd);
    std::printf("open descriptors         start %ld, end %ld\n", fdStart, fdEnd);
    std::printf("CPU per idle cycle       %.1f us (first idle phase), %.1f us (last idle phase)\n",
                (cpu1 - cpu0) / static_cast<double>(c1 - c0) * 1e6, (cpu3 - cpu2) / static_cast<double>(c3 - c2) * 1e6);
    std::printf("CPU per busy cycle       %.1f us\n", (cpu2 - cpu1) / static_cast<double>(c2 - c1) * 1e6);
    std::printf("idle share of a core     %.4f %% at the normal 120 s processing cycle\n",
                (cpu1 - cpu0) / static_cast<double>(c1 - c0) / 120.0 * 100.0);
    return 0;
}
