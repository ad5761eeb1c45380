#include "bench_run.h"

#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define VKT_BENCH_PORT_TRAPS 1
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "fake_ipmi_device.h"
#include "pmbus_model.h"
#include "sim_kcs.h"
#include "sim_ports.h"

namespace vktbench {

namespace {

using Clock = std::chrono::steady_clock;
using testkit::SimServer;

double threadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

double wallUs() {
    return std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch()).count();
}

// Asleep for most of the time, spinning for the end: the latency is the BMC's, not the
// scheduler's.
void waitUntil(Clock::time_point deadline) {
    constexpr auto spin = std::chrono::microseconds(200);
    const auto now = Clock::now();
    if (deadline - now > spin) std::this_thread::sleep_for(deadline - now - spin);
    while (Clock::now() < deadline) {
    }
}

// Stands between the transport and the simulated BMC: counts the exchanges, keeps the
// requests for the replay, and makes the BMC as slow as asked.
class Recorder : public testkit::Backend {
public:
    explicit Recorder(testkit::Backend& inner) : inner_(inner) {}

    std::optional<testkit::IpmiResponse> handle(const testkit::IpmiRequest& request) override {
        if (latency_.count() > 0) waitUntil(Clock::now() + latency_);
        // Requests are kept in place so that keeping them allocates nothing once warm.
        if (count_ < kept_.size())
            kept_[count_] = request;
        else
            kept_.push_back(request);
        ++count_;
        return inner_.handle(request);
    }

    void setLatency(std::chrono::microseconds latency) { latency_ = latency; }
    size_t count() const { return count_; }
    // Forgets the requests without answering them again.
    void forget() { count_ = 0; }
    // Answers the requests since the last replay on `bmc` and forgets them.
    void replayInto(testkit::SimBmc& bmc) {
        for (size_t i = 0; i < count_; ++i) bmc.handle(kept_[i]);
        count_ = 0;
    }

private:
    testkit::Backend& inner_;
    std::chrono::microseconds latency_{0};
    std::vector<testkit::IpmiRequest> kept_;
    size_t count_ = 0;
};

// Counts the library's register accesses on their way to the simulated KCS interface.
class CountedPorts : public testkit::PortSpace {
public:
    explicit CountedPorts(testkit::PortSpace& inner) : inner_(inner) {}
    uint8_t in(uint16_t port) override {
        ++accesses_;
        return inner_.in(port);
    }
    void out(uint16_t port, uint8_t value) override {
        ++accesses_;
        inner_.out(port, value);
    }
    size_t accesses() const { return accesses_; }

private:
    testkit::PortSpace& inner_;
    size_t accesses_ = 0;
};

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2;
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    if (!(statm >> size >> resident)) return -1;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string machine() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string model = "unknown CPU";
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) != 0) continue;
        const size_t colon = line.find(':');
        if (colon != std::string::npos) model = line.substr(colon + 2);
        break;
    }
    return model + ", " + std::to_string(std::thread::hardware_concurrency()) + " CPUs";
}

// What the simulation spends on one of the library's port instructions: the instruction
// traps, the trap is carried out to the simulated port space, and the process returns to
// the instruction after it. Measured on a port of its own that nothing decodes; 0 where
// port instructions do not exist.
double trappedAccessUs() {
#ifdef VKT_BENCH_PORT_TRAPS
    constexpr unsigned short scratchPort = 0x80;  // the POST code port
    constexpr int batch = 500;
    if (testkit::simulatedIoperm(scratchPort, 1, 1) != 0) return 0;
    std::vector<double> perAccess;
    for (int round = 0; round < 9; ++round) {
        const double cpu0 = threadCpuUs();
        for (int i = 0; i < batch; ++i) (void)inb(scratchPort);
        perAccess.push_back((threadCpuUs() - cpu0) / batch);
    }
    testkit::simulatedIoperm(scratchPort, 1, 0);
    return median(perAccess);
#else
    return 0;
#endif
}

// While the library runs, what it prints (progress lines, failure messages) goes nowhere;
// the table goes to the standard output the program started with.
FILE* tableOut = stdout;
FILE* messagesOut = stderr;

void reportUnexpectedExit(int status, void*) {
    fprintf(messagesOut, "vkt-bench: the process ended with status %d in the middle of an enumeration\n", status);
    fflush(messagesOut);
}

class QuietLibrary {
public:
    QuietLibrary() {
        fflush(stdout);
        fflush(stderr);
        const int out = dup(1), err = dup(2);
        FILE* o = out >= 0 ? fdopen(out, "w") : nullptr;
        FILE* e = err >= 0 ? fdopen(err, "w") : nullptr;
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (o == nullptr || e == nullptr || null < 0) return;
        tableOut = o;
        messagesOut = e;
        dup2(null, 1);
        dup2(null, 2);
        close(null);
    }
};

struct Sample {
    size_t exchanges = 0;
    size_t instances = 0;
    double cpuUs = 0;  // the library's share
    double wallUs = 0;
};

struct Row {
    const cimhost::ProviderInfo* info = nullptr;
    size_t first = 0, expectFirst = 0;
    size_t each = 0, expectEach = 0;
    bool eachVaried = false;  // not every measured run sent the same number
    size_t instances = 0;
    double cpuUs = 0, wallUs = 0;
    long rssKiB = -1;

    bool matches() const { return first == expectFirst && each == expectEach && !eachVaried; }
};

std::unique_ptr<SimServer> buildServer(const BenchConfig& cfg) {
    auto server = testkit::makeScenario("demo");
    testkit::applySyntheticSizes(*server, cfg.sizes);
    return server;
}

class Bench {
public:
    explicit Bench(const BenchConfig& cfg)
        : cfg_(cfg), primary_(buildServer(cfg)), replica_(buildServer(cfg)), model_(buildServer(cfg)),
          recorder_(primary_->bmc) {}

    bool start(std::string* error);
    Row measure(const cimhost::ProviderInfo& p);
    // One enumeration as a CIMOM makes it, nothing measured and nothing cleared on the
    // server: what a long-running host does again and again.
    size_t enumerateOnly(const cimhost::ProviderInfo& p);
    const SimServer& server() const { return *model_; }

private:
    Sample enumerateOnce(const cimhost::ProviderInfo& p, bool timed);

    const BenchConfig& cfg_;
    // The server the library talks to, a copy that answers the same requests again to
    // measure the simulation's own share, and a copy the expectations are read from.
    std::unique_ptr<SimServer> primary_, replica_, model_;
    Recorder recorder_;
    std::unique_ptr<testkit::SimKcsBmc> kcs_;
    std::unique_ptr<CountedPorts> ports_;
    double trapUs_ = 0;  // the simulation's CPU per port access of the library
    std::unique_ptr<cimhost::Host> host_;
    ProcessState state_;
};

bool Bench::start(std::string* error) {
    testkit::FakeIpmiDevice& dev = testkit::FakeIpmiDevice::get();
    dev.reset();
    dev.setBackend(&recorder_);
    if (cfg_.transport == Transport::kcs) {
        dev.setPaths({});
        kcs_ = std::make_unique<testkit::SimKcsBmc>(&recorder_);
        kcs_->setByteDelay(std::chrono::microseconds(cfg_.byteDelayUs));
        ports_ = std::make_unique<CountedPorts>(*kcs_);
        testkit::attachPortSpace(ports_.get());
        trapUs_ = trappedAccessUs();
    } else {
        dev.setPaths({"/dev/ipmi0"});
    }
    host_ = cimhost::Host::load(cfg_.libraryPath, error);
    return host_ != nullptr;
}

Sample Bench::enumerateOnce(const cimhost::ProviderInfo& p, bool timed) {
    const size_t accesses0 = ports_ != nullptr ? ports_->accesses() : 0;
    const double cpu0 = threadCpuUs(), wall0 = wallUs();
    const cimhost::EnumResult r = host_->enumerate(p.prefix);
    const double wall1 = wallUs(), cpu1 = threadCpuUs();
    Sample s;
    s.exchanges = recorder_.count();
    s.instances = r.instances.size();
    s.wallUs = wall1 - wall0;
    // The simulated BMC's part of that time: the same requests answered again by an
    // identical server that has seen the same requests before, and over the ports the
    // trapping of every port instruction.
    const size_t accesses = ports_ != nullptr ? ports_->accesses() - accesses0 : 0;
    const double sim0 = threadCpuUs();
    recorder_.replayInto(replica_->bmc);
    const double simUs = threadCpuUs() - sim0 + static_cast<double>(accesses) * trapUs_;
    s.cpuUs = timed ? std::max(0.0, cpu1 - cpu0 - simUs) : 0;
    host_->releaseBrokerObjects();
    primary_->bmc.clearLog();
    replica_->bmc.clearLog();
    return s;
}

size_t Bench::enumerateOnly(const cimhost::ProviderInfo& p) {
    const size_t instances = host_->enumerate(p.prefix).instances.size();
    host_->releaseBrokerObjects();
    recorder_.forget();
    return instances;
}

Row Bench::measure(const cimhost::ProviderInfo& p) {
    Row row;
    row.info = &p;
    row.expectFirst = expectedExchanges(*model_, p.prefix, cfg_.transport, state_);
    row.first = enumerateOnce(p, false).exchanges;
    row.expectEach = expectedExchanges(*model_, p.prefix, cfg_.transport, state_);
    std::vector<double> cpu, wall;
    for (int i = 0; i < cfg_.runs; ++i) {
        const Sample s = enumerateOnce(p, true);
        if (i > 0 && s.exchanges != row.each) row.eachVaried = true;
        row.each = s.exchanges;
        row.instances = s.instances;
        cpu.push_back(s.cpuUs);
        wall.push_back(s.wallUs);
    }
    if (cfg_.latencyUs > 0) {
        wall.clear();
        recorder_.setLatency(std::chrono::microseconds(cfg_.latencyUs));
        for (int i = 0; i < cfg_.runs; ++i) wall.push_back(enumerateOnce(p, false).wallUs);
        recorder_.setLatency(std::chrono::microseconds(0));
    }
    row.cpuUs = median(cpu);
    row.wallUs = median(wall);
    if (cfg_.showRss) row.rssKiB = residentKiB();
    return row;
}

// ---- the table ------------------------------------------------------------------------------

size_t sensorRecords(const SimServer& s) {
    return static_cast<size_t>(std::count_if(s.sdr.records.begin(), s.sdr.records.end(), isSensorRecord));
}

std::string powerDescription(const SimServer& s) {
    int modules = 0, batteries = 0;
    for (uint8_t a : pmbusAddrs)
        if (s.bus.deviceAs<testkit::PmbusModule>(a) != nullptr) ++modules;
    for (uint8_t a : batteryAddrs)
        if (s.bus.deviceAs<testkit::BatteryModule>(a) != nullptr) ++batteries;
    return std::to_string(modules) + " power modules, " + std::to_string(batteries) + " battery modules";
}

void printHeader(const BenchConfig& cfg, const SimServer& s) {
    FILE* out = tableOut;
    fprintf(out, "library:   %s\n", cfg.libraryPath.c_str());
    fprintf(out, "server:    %s: %zu SDR records (%zu sensors), %zu SEL entries, %zu FRU bytes, %s, %s\n",
            cfg.sizes.any() ? "demo with generated content" : "demo", s.sdr.records.size(), sensorRecords(s),
            s.sel.entries.size(), s.fru.area(), powerDescription(s).c_str(),
            s.bus.device(testkit::McuModel::chassisAddr) != nullptr ? "multi-node chassis" : "single node");
    if (cfg.transport == Transport::kcs)
        fprintf(out, "transport: KCS ports CA2h/CA3h (simulated), BMC takes %d us per byte\n", cfg.byteDelayUs);
    else
        fprintf(out, "transport: OpenIPMI device (simulated)\n");
    fprintf(out, "timing:    median of %d runs per class, BMC latency %d us per exchange; %s\n", cfg.runs,
            cfg.latencyUs, machine().c_str());
    fprintf(out, "\n%-26s %6s %6s %6s %6s %5s %11s %11s %12s %12s%s\n", "class", "first", "expect", "each", "expect",
            "inst", "cpu us/enum", "cpu us/exch", "wall ms/enum", "wall us/exch", cfg.showRss ? "  rss KiB" : "");
}

double perExchange(double us, size_t exchanges) { return exchanges > 0 ? us / static_cast<double>(exchanges) : 0; }

void printRow(const Row& r, bool rss) {
    fprintf(tableOut, "%-26s %6zu %6zu %6zu %6zu %5zu %11.1f %11.2f %12.3f %12.1f", r.info->className, r.first,
            r.expectFirst, r.each, r.expectEach, r.instances, r.cpuUs, perExchange(r.cpuUs, r.each), r.wallUs / 1000,
            perExchange(r.wallUs, r.each));
    if (rss) fprintf(tableOut, " %8ld", r.rssKiB);
    fprintf(tableOut, "%s\n", r.matches() ? "" : (r.eachVaried ? "  <- varies" : "  <- differs"));
    fflush(tableOut);
}

// Over the ports, a BMC that takes this long per byte keeps the library waiting most of the
// time, and its waits must leave the host's CPU to the host: at most this share of the wall
// time goes to the library.
constexpr int slowBmcByteUs = 1000;
constexpr double slowBmcCpuShare = 0.10;

// The library's CPU beside the wall time per exchange, summed over the classes; false when
// the waits for a slow BMC took more than their share.
bool checkKcsWaits(const BenchConfig& cfg, const std::vector<Row>& rows) {
    double cpuUs = 0, wallUs = 0;
    size_t exchanges = 0;
    for (const Row& r : rows) {
        cpuUs += r.cpuUs;
        wallUs += r.wallUs;
        exchanges += r.each;
    }
    const double share = wallUs > 0 ? cpuUs / wallUs : 0;
    fprintf(tableOut, "KCS waits: the library's CPU is %.0f us per exchange of %.0f us, %.1f%% of the wall time",
            perExchange(cpuUs, exchanges), perExchange(wallUs, exchanges), 100 * share);
    if (cfg.byteDelayUs < slowBmcByteUs) {
        fprintf(tableOut, "\n");
        return true;
    }
    const bool kept = share <= slowBmcCpuShare;
    fprintf(tableOut, " (a BMC this slow allows %.0f%%)%s\n", 100 * slowBmcCpuShare,
            kept ? "" : "  <- the waits burn the host's CPU");
    return kept;
}

int printSummary(const std::vector<Row>& rows) {
    Row total;
    std::string differing;
    for (const Row& r : rows) {
        total.first += r.first;
        total.expectFirst += r.expectFirst;
        total.each += r.each;
        total.expectEach += r.expectEach;
        total.instances += r.instances;
        total.cpuUs += r.cpuUs;
        total.wallUs += r.wallUs;
        if (!r.matches()) differing += std::string(differing.empty() ? "" : ", ") + r.info->className;
    }
    fprintf(tableOut, "%-26s %6zu %6zu %6zu %6zu %5zu %11.1f %11.2f %12.3f %12.1f\n\n", "all classes", total.first,
            total.expectFirst, total.each, total.expectEach, total.instances, total.cpuUs,
            perExchange(total.cpuUs, total.each), total.wallUs / 1000, perExchange(total.wallUs, total.each));
    if (differing.empty()) {
        fprintf(tableOut, "every class sent the expected number of exchanges\n");
        return 0;
    }
    fprintf(tableOut, "exchanges differ from the expected number: %s\n", differing.c_str());
    return 1;
}

// The figures a baseline holds, one per line, for a script to read.
int printFigures(const std::vector<Row>& rows) {
    bool allMatch = true;
    for (const Row& r : rows) {
        fprintf(tableOut, "%s %s %zu %zu\n", r.info->className, r.info->prefix, r.first, r.each);
        allMatch = allMatch && r.matches();
    }
    fprintf(tableOut, "rss-kib %ld\n", residentKiB());
    return allMatch ? 0 : 1;
}

// Every class again and again, as a monitoring client makes a CIMOM do: after the warm-up
// rounds the library has read what it caches and the server holds all it ever will, so the
// process must stay that size.
int runRounds(Bench& bench, const BenchConfig& cfg) {
    long warm = -1;
    size_t instances = 0;
    for (int round = 1; round <= cfg.rounds; ++round) {
        instances = 0;
        for (const cimhost::ProviderInfo* p : cfg.classes) instances += bench.enumerateOnly(*p);
        if (round == warmRounds) warm = residentKiB();
    }
    const long last = residentKiB();
    const long growth = last - warm;
    const bool kept = warm >= 0 && last >= 0 && growth <= roundsGrowthKiB;
    fprintf(tableOut, "%zu classes, %zu instances per round\n", cfg.classes.size(), instances);
    fprintf(tableOut, "rss-kib after round %d: %ld\n", warmRounds, warm);
    fprintf(tableOut, "rss-kib after round %d: %ld (%+ld KiB, at most %+ld)%s\n", cfg.rounds, last, growth,
            roundsGrowthKiB, kept ? "" : "  <- the process grows with every enumeration");
    fflush(tableOut);
    return kept ? 0 : 1;
}

}  // namespace

int runBenchmark(const BenchConfig& cfg) {
    QuietLibrary quiet;
    on_exit(reportUnexpectedExit, nullptr);
    Bench bench(cfg);
    std::string error;
    if (!bench.start(&error)) {
        fprintf(messagesOut, "vkt-bench: cannot load %s: %s\n", cfg.libraryPath.c_str(), error.c_str());
        fflush(messagesOut);
        _exit(1);
    }
    if (cfg.rounds > 0) _exit(runRounds(bench, cfg));
    const bool table = !cfg.figuresOnly;
    if (table) printHeader(cfg, bench.server());
    if (table && cfg.showRss) fprintf(tableOut, "%-110s %8ld\n", "(after loading)", residentKiB());
    std::vector<Row> rows;
    for (const cimhost::ProviderInfo* p : cfg.classes) {
        rows.push_back(bench.measure(*p));
        if (table) printRow(rows.back(), cfg.showRss);
    }
    int status = table ? printSummary(rows) : printFigures(rows);
    if (cfg.transport == Transport::kcs && !checkKcsWaits(cfg, rows)) status = 1;
    fflush(tableOut);
    // The library keeps its tables to the end of the process; nothing needs tearing down.
    _exit(status);
}

}  // namespace vktbench
