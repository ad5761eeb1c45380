// The benchmark proper: one simulated server, the library loaded through the CMPI test host,
// the measurements per class and the table.
#ifndef VKT_BENCH_RUN_H
#define VKT_BENCH_RUN_H

#include <string>
#include <vector>

#include "cimhost.h"
#include "exchange_model.h"
#include "sim_synthetic.h"

namespace vktbench {

struct BenchConfig {
    std::string libraryPath;
    testkit::SyntheticSizes sizes;  // nothing named: the demo server as it is
    Transport transport = Transport::device;
    int byteDelayUs = 0;  // KCS only: the BMC's time per byte
    int latencyUs = 0;    // the BMC's time per exchange, for the wall-time columns
    int runs = 11;
    bool showRss = false;
    bool figuresOnly = false;  // the plain figures of --figures instead of the table
    int rounds = 0;            // --rounds: every class this many times over, memory held instead
    std::vector<const cimhost::ProviderInfo*> classes;
};

// Prints the table on standard output; 0 when every class sent the expected number of
// exchanges and, over the ports with a slow BMC, the library's waits left the CPU alone; 1
// otherwise (or when the library cannot be loaded). With `rounds`, instead: the resident
// memory after warm-up rounds and after the last one, 0 when it stayed within a fixed bound.
int runBenchmark(const BenchConfig& cfg);

// --rounds: the round after which the resident memory is first read (the library and the
// server have made their tables by then), and how much it may grow from there to the last
// round. A server or library that keeps anything per exchange grows by megabytes.
constexpr int warmRounds = 100;
constexpr long roundsGrowthKiB = 1024;

}  // namespace vktbench

#endif
