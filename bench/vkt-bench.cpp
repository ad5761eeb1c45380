// vkt-bench: what each class of libvarkoltprovider costs. It loads the real library as a
// CIMOM does, runs it against a simulated server (the fake OpenIPMI device or simulated KCS
// ports, both inside this process) and prints one row per class: the exchanges the BMC saw
// and the number the library is meant to send for that server's content, the instances,
// the library's CPU time per enumeration and per exchange, and the wall time at a chosen
// BMC latency per exchange.
//
//   vkt-bench [--sensors N] [--sel M] [--psus P] [--nodes K] [--kcs [--byte-delay-us D]]
//             [--latency-us L] [--runs R] [--rss] [--figures] [--class CLASS]...
//   vkt-bench --rounds N [...]
//
// The exit status is 0 when every class sent the expected number of exchanges and, over the
// KCS ports with a BMC that takes a millisecond or more per byte, the library's CPU stayed
// within a tenth of the wall time; 1 when either did not, 2 for a usage error. With --rounds,
// 0 when the process kept its size over the rounds, 1 when it grew.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_run.h"
#include "cimhost.h"
#include "common/sim_launch.h"
#include "sim_synthetic.h"

// The server is simulated, so the library's root check is answered here.
extern "C" uid_t getuid(void) { return 0; }

namespace {

const char* const usageText =
    "usage: vkt-bench [options]\n"
    "\n"
    "Runs libvarkoltprovider.so.1 against a simulated server and prints, per class, the\n"
    "exchanges the BMC saw (first enumeration in the process, then each later one) beside\n"
    "the number expected for the server's content, the instances, CPU time and wall time.\n"
    "\n"
    "  --sensors N        N sensors in the SDR repository (1-250) instead of the demo's\n"
    "  --sel M            M entries in the event log (0-3000)\n"
    "  --psus P           P PMBus power modules (0-8)\n"
    "  --nodes K          a multi-node chassis of K nodes (0, 1, 2, 4 or 12)\n"
    "  --kcs              reach the BMC over the simulated KCS ports, not the device\n"
    "  --byte-delay-us D  over the ports: the BMC takes D microseconds per byte (default 0);\n"
    "                     from 1000 on the library's CPU must stay within a tenth of the\n"
    "                     wall time\n"
    "  --latency-us L     the BMC answers each exchange after L microseconds (default 0);\n"
    "                     the wall-time columns are measured at this latency\n"
    "  --runs R           measured enumerations per class, medians shown (default 11)\n"
    "  --rss              print resident memory after loading and after each class\n"
    "  --figures          instead of the table, the figures bench/baseline.sh holds against\n"
    "                     its baseline: \"CLASS PROVIDER FIRST EACH\" per class (the\n"
    "                     exchanges), then \"rss-kib N\" (resident memory after all\n"
    "                     classes)\n"
    "  --class CLASS      only this class (repeatable; class name or provider name)\n"
    "  --rounds N         instead of the table, enumerate the classes N times over (N at\n"
    "                     least 200) and print the resident memory after round 100 and\n"
    "                     after round N; exit status 1 when it grew by more than 1 MiB\n"
    "\n"
    "Environment: VKT_PROVIDER_LIB overrides the path of libvarkoltprovider.so.1.\n";

bool parseCount(const char* text, int* out) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    const long v = strtol(text, &end, 10);
    if (*end != '\0' || v < 0 || v > 1000000) return false;
    *out = static_cast<int>(v);
    return true;
}

// Options that take a count: where each one goes.
struct CountOption {
    const char* name;
    std::function<void(int)> store;
};

int usageError(const std::string& what) {
    fprintf(stderr, "vkt-bench: %s\n%s", what.c_str(), usageText);
    return 2;
}

// Parses the command line into `cfg`; returns -1 to go on, else the exit status.
int parseArguments(int argc, char** argv, vktbench::BenchConfig& cfg) {
    const CountOption counts[] = {
        {"--sensors", [&](int v) { cfg.sizes.sensors = v; }},
        {"--sel", [&](int v) { cfg.sizes.selEntries = v; }},
        {"--psus", [&](int v) { cfg.sizes.psus = v; }},
        {"--nodes", [&](int v) { cfg.sizes.nodes = v; }},
        {"--byte-delay-us", [&](int v) { cfg.byteDelayUs = v; }},
        {"--latency-us", [&](int v) { cfg.latencyUs = v; }},
        {"--runs", [&](int v) { cfg.runs = v; }},
        {"--rounds", [&](int v) { cfg.rounds = v; }},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            fputs(usageText, stdout);
            return 0;
        }
        if (a == "--kcs") {
            cfg.transport = vktbench::Transport::kcs;
            continue;
        }
        if (a == "--rss") {
            cfg.showRss = true;
            continue;
        }
        if (a == "--figures") {
            cfg.figuresOnly = true;
            continue;
        }
        if (a == "--class") {
            if (i + 1 >= argc) return usageError("--class needs a class name");
            const cimhost::ProviderInfo* p = cimhost::findProvider(argv[++i]);
            if (p == nullptr) return usageError(std::string("unknown class \"") + argv[i] + "\"");
            cfg.classes.push_back(p);
            continue;
        }
        const CountOption* option = nullptr;
        for (const CountOption& c : counts)
            if (a == c.name) option = &c;
        if (option == nullptr) return usageError("unknown option \"" + a + "\"");
        int value = 0;
        if (i + 1 >= argc || !parseCount(argv[i + 1], &value))
            return usageError(std::string(option->name) + " needs a count");
        option->store(value);
        ++i;
    }
    if (cfg.runs < 1) return usageError("--runs must be at least 1");
    if (cfg.rounds != 0 && cfg.rounds < 2 * vktbench::warmRounds)
        return usageError("--rounds must be at least " + std::to_string(2 * vktbench::warmRounds));
    if (cfg.byteDelayUs > 0 && cfg.transport != vktbench::Transport::kcs)
        return usageError("--byte-delay-us applies to --kcs only");
    const std::string sizesProblem = testkit::checkSyntheticSizes(cfg.sizes);
    if (!sizesProblem.empty()) return usageError(sizesProblem);
    if (cfg.classes.empty())
        for (const cimhost::ProviderInfo& p : cimhost::providers()) cfg.classes.push_back(&p);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    vktbench::BenchConfig cfg;
    const int parsed = parseArguments(argc, argv, cfg);
    if (parsed >= 0) return parsed;
    cfg.libraryPath = vkttools::providerLibrary();
    return vktbench::runBenchmark(cfg);
}
