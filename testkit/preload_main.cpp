// Start-up of the LD_PRELOAD build of the fake device: a host process (a CIM client, the
// demo tool, a CIMOM) loaded with this library talks to a simulated server instead of a
// real BMC. The environment chooses what it talks to:
//   VKT_SIM_SCENARIO  scenario name ("demo", "empty", "failing"), default "demo"
//   VKT_SIM_PATHS     comma-separated device nodes to serve, default "/dev/ipmi0"
//   VKT_SIM_TRANSPORT "kcs": no device node; the server sits behind a simulated KCS
//                     interface on ports CA2h/CA3h ("kcs-ca8": on CA8h/CACh). The
//                     library's port instructions trap and are served by the simulation.
//   VKT_SIM_FAKE_ROOT 1: getuid() answers 0, so the library's root check passes for a
//                     user who runs the demo without privileges
//   VKT_SIM_LOG       file that receives one line per request the server handled, e.g.
//                     "30/45 01 01"
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "fake_ipmi_device.h"
#include "sim_kcs.h"
#include "sim_server.h"

namespace {

std::unique_ptr<testkit::SimServer>& server() {
    static std::unique_ptr<testkit::SimServer>* s = new std::unique_ptr<testkit::SimServer>();
    return *s;
}

std::unique_ptr<testkit::SimKcsBmc>& kcsBmc() {
    static std::unique_ptr<testkit::SimKcsBmc>* k = new std::unique_ptr<testkit::SimKcsBmc>();
    return *k;
}

bool fakeRoot = false;

// Writes every request to the log file before the server answers it.
class LoggingBackend : public testkit::Backend {
public:
    LoggingBackend(testkit::Backend& inner, FILE* log) : inner_(inner), log_(log) {}
    std::optional<testkit::IpmiResponse> handle(const testkit::IpmiRequest& request) override {
        fprintf(log_, "%s\n", request.toString().c_str());
        fflush(log_);
        return inner_.handle(request);
    }

private:
    testkit::Backend& inner_;
    FILE* log_;
};

__attribute__((constructor)) void startSimulatedServer() {
    const char* scenario = getenv("VKT_SIM_SCENARIO");
    server() = testkit::makeScenario(scenario != nullptr && *scenario != '\0' ? scenario : "demo");
    if (!server()) {
        fprintf(stderr, "fake IPMI device: unknown scenario \"%s\"\n", scenario);
        return;
    }
    std::vector<std::string> paths;
    const char* list = getenv("VKT_SIM_PATHS");
    std::stringstream ss(list != nullptr ? list : "/dev/ipmi0");
    for (std::string p; std::getline(ss, p, ',');)
        if (!p.empty()) paths.push_back(p);
    const char* transport = getenv("VKT_SIM_TRANSPORT");
    if (transport != nullptr && (strcmp(transport, "kcs") == 0 || strcmp(transport, "kcs-ca8") == 0)) {
        paths.clear();
        kcsBmc() = std::make_unique<testkit::SimKcsBmc>(&server()->bmc);
        kcsBmc()->keepLog(false);
        if (strcmp(transport, "kcs-ca8") == 0) kcsBmc()->placeAt(testkit::kcsSecondaryData, testkit::kcsSecondaryStatus);
        testkit::attachPortSpace(kcsBmc().get());
    } else if (transport != nullptr && *transport != '\0' && strcmp(transport, "device") != 0) {
        fprintf(stderr, "fake IPMI device: unknown transport \"%s\"\n", transport);
    }
    testkit::FakeIpmiDevice& dev = testkit::FakeIpmiDevice::get();
    dev.setPaths(paths);
    testkit::Backend* backend = &server()->bmc;
    const char* logPath = getenv("VKT_SIM_LOG");
    if (logPath != nullptr && *logPath != '\0') {
        FILE* log = fopen(logPath, "a");
        if (log != nullptr) backend = new LoggingBackend(*backend, log);  // lives as long as the process
    }
    dev.setBackend(backend);
    const char* root = getenv("VKT_SIM_FAKE_ROOT");
    fakeRoot = root != nullptr && strcmp(root, "1") == 0;
}

}  // namespace

extern "C" uid_t getuid(void) {
    if (fakeRoot) return 0;
    static auto real = reinterpret_cast<uid_t (*)(void)>(dlsym(RTLD_NEXT, "getuid"));
    return real();
}
