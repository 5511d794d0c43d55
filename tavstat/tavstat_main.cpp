// tavstat: --json, --prometheus [--output FILE], --check or --summary.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "tavstat.h"

namespace {

enum Mode { MODE_NONE, MODE_JSON, MODE_PROMETHEUS, MODE_CHECK, MODE_SUMMARY };

constexpr int EXIT_USAGE = 3;

const char kUsage[] = "Usage: tavstat --json | --prometheus [--output FILE] | --check | --summary | --version\n"
                      "               [--no-health] [--temperature-warning C] [--temperature-critical C]\n"
                      "  --json        every adapter, logical drive and physical drive as one JSON document\n"
                      "  --prometheus  the same as Prometheus metrics; --output writes FILE atomically\n"
                      "  --check       monitoring-plugin check: exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN\n"
                      "  --summary     the overall health and every adapter's drives on one screen\n"
                      "  --no-health   do not read the drives' own health (temperature, failure prediction, errors)\n"
                      "  --temperature-warning C, --temperature-critical C\n"
                      "                drive temperature thresholds of --check and --summary (default 55 and 65)\n"
                      "  --version     the program's version\n";

int usage()
{
    fputs(kUsage, stderr);
    return EXIT_USAGE;
}

struct Options {
    Mode mode = MODE_NONE;
    const char *output = nullptr;
    int health = 1;
    StatThresholds limits = {STAT_TEMPERATURE_WARNING, STAT_TEMPERATURE_CRITICAL};
    int limitsGiven = 0;
};

// A temperature of 0-200 degrees.
int temperatureArgument(const char *text, int *value)
{
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (text[0] == '\0' || *end != '\0' || v < 0 || v > 200) {
        return 0;
    }
    *value = static_cast<int>(v);
    return 1;
}

// Fills the options; 0 when the arguments are not a valid combination.
int parseArguments(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; ++i) {
        Mode next = MODE_NONE;
        if (strcmp(argv[i], "--json") == 0) {
            next = MODE_JSON;
        } else if (strcmp(argv[i], "--prometheus") == 0) {
            next = MODE_PROMETHEUS;
        } else if (strcmp(argv[i], "--check") == 0) {
            next = MODE_CHECK;
        } else if (strcmp(argv[i], "--summary") == 0) {
            next = MODE_SUMMARY;
        } else if (strcmp(argv[i], "--no-health") == 0) {
            o->health = 0;
            continue;
        } else if (strcmp(argv[i], "--output") == 0 && i + 1 < argc && o->output == nullptr && argv[i + 1][0] != '\0') {
            o->output = argv[++i];
            continue;
        } else if ((strcmp(argv[i], "--temperature-warning") == 0 || strcmp(argv[i], "--temperature-critical") == 0) &&
                   i + 1 < argc) {
            int *limit = strcmp(argv[i], "--temperature-warning") == 0 ? &o->limits.warning : &o->limits.critical;
            if (!temperatureArgument(argv[++i], limit)) {
                return 0;
            }
            o->limitsGiven = 1;
            continue;
        } else {
            return 0;
        }
        if (o->mode != MODE_NONE) {
            return 0;
        }
        o->mode = next;
    }
    if (o->limitsGiven && (o->mode != MODE_CHECK && o->mode != MODE_SUMMARY)) {
        return 0;
    }
    return o->mode != MODE_NONE && (o->output == nullptr || o->mode == MODE_PROMETHEUS) &&
           o->limits.warning <= o->limits.critical;
}

// Escape sequences only on a terminal that takes them.
int colourWanted()
{
    const char *term = getenv("TERM");
    return isatty(STDOUT_FILENO) && getenv("NO_COLOR") == nullptr && (term == nullptr || strcmp(term, "dumb") != 0);
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
    Options o;
    if (!parseArguments(argc, argv, &o)) {
        return usage();
    }
    static StatReport report;
    StatRead(&report, o.health);
    if (o.mode == MODE_CHECK || o.mode == MODE_SUMMARY) {
        int status = HEALTH_UNKNOWN;
        std::string text =
            o.mode == MODE_CHECK ? StatCheck(report, o.limits, &status) : StatSummary(report, o.limits, colourWanted());
        if (o.mode == MODE_SUMMARY) {
            StatVerdict(report, o.limits, &status);
        }
        return emit(text) ? status : HEALTH_UNKNOWN;
    }
    std::string text = o.mode == MODE_JSON ? StatJson(report) : StatPrometheus(report);
    int ok = o.output != nullptr ? StatWriteAtomic(o.output, text) : emit(text);
    if (!ok) {
        return 1;
    }
    // Partial answers are still written; the status tells a script that
    // something could not be read.
    return StatComplete(report) ? 0 : 2;
}
