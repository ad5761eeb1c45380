// Start-up of the LD_PRELOAD build of the fake device: a host process (a CIM client, the
// demo tool, a CIMOM) loaded with this library talks to a simulated server instead of a
// real BMC. The environment chooses what it talks to:
//   VKT_SIM_SCENARIO  scenario name ("demo", "empty", "failing"), default "demo"
//   VKT_SIM_PATHS     comma-separated device nodes to serve, default "/dev/ipmi0"
//   VKT_SIM_FAKE_ROOT 1: getuid() answers 0, so the library's root check passes for a
//                     user who runs the demo without privileges
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "fake_ipmi_device.h"
#include "sim_server.h"

namespace {

std::unique_ptr<testkit::SimServer>& server() {
    static std::unique_ptr<testkit::SimServer>* s = new std::unique_ptr<testkit::SimServer>();
    return *s;
}

bool fakeRoot = false;

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
    testkit::FakeIpmiDevice& dev = testkit::FakeIpmiDevice::get();
    dev.setPaths(paths);
    dev.setBackend(&server()->bmc);
    const char* root = getenv("VKT_SIM_FAKE_ROOT");
    fakeRoot = root != nullptr && strcmp(root, "1") == 0;
}

}  // namespace

extern "C" uid_t getuid(void) {
    if (fakeRoot) return 0;
    static auto real = reinterpret_cast<uid_t (*)(void)>(dlsym(RTLD_NEXT, "getuid"));
    return real();
}
