// tavstat: --json, --prometheus [--output FILE] or --check.
#include <stdio.h>
#include <string.h>

#include "tavstat.h"

namespace {

enum Mode { MODE_NONE, MODE_JSON, MODE_PROMETHEUS, MODE_CHECK };

constexpr int EXIT_USAGE = 3;

const char kUsage[] = "Usage: tavstat --json | --prometheus [--output FILE] | --check | --version\n"
                      "  --json        every adapter, logical drive and physical drive as one JSON document\n"
                      "  --prometheus  the same as Prometheus metrics; --output writes FILE atomically\n"
                      "  --check       monitoring-plugin check: exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN\n"
                      "  --version     the program's version\n";

int usage()
{
    fputs(kUsage, stderr);
    return EXIT_USAGE;
}

// Fills mode and output; 0 when the arguments are not a valid combination.
int parseArguments(int argc, char **argv, Mode *mode, const char **output)
{
    for (int i = 1; i < argc; ++i) {
        Mode next = MODE_NONE;
        if (strcmp(argv[i], "--json") == 0) {
            next = MODE_JSON;
        } else if (strcmp(argv[i], "--prometheus") == 0) {
            next = MODE_PROMETHEUS;
        } else if (strcmp(argv[i], "--check") == 0) {
            next = MODE_CHECK;
        } else if (strcmp(argv[i], "--output") == 0 && i + 1 < argc && *output == nullptr && argv[i + 1][0] != '\0') {
            *output = argv[++i];
            continue;
        } else {
            return 0;
        }
        if (*mode != MODE_NONE) {
            return 0;
        }
        *mode = next;
    }
    return *mode != MODE_NONE && (*output == nullptr || *mode == MODE_PROMETHEUS);
}

int emit(const std::string &text)
{
    return fwrite(text.data(), 1, text.size(), stdout) == text.size() && fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        return emit("tavstat " TAV_PACKAGE_VERSION "\n") ? 0 : 1;
    }
    Mode mode = MODE_NONE;
    const char *output = nullptr;
    if (!parseArguments(argc, argv, &mode, &output)) {
        return usage();
    }
    static StatReport report;
    StatRead(&report);
    if (mode == MODE_CHECK) {
        int status = HEALTH_UNKNOWN;
        std::string line = StatCheck(report, &status);
        return emit(line) ? status : HEALTH_UNKNOWN;
    }
    std::string text = mode == MODE_JSON ? StatJson(report) : StatPrometheus(report);
    int ok = output != nullptr ? StatWriteAtomic(output, text) : emit(text);
    if (!ok) {
        return 1;
    }
    // Partial answers are still written; the status tells a script that
    // something could not be read.
    int complete = report.libraryOk;
    for (int a = 0; a < report.count; ++a) {
        complete = complete && report.adapter[a].ok;
    }
    return complete ? 0 : 2;
}
