// Start-up of the LD_PRELOAD build of the fake device: a host process (a CIM client, the
// demo tool, a CIMOM) loaded with this library talks to a simulated server instead of a
// real BMC. The environment chooses what it talks to:
//   VKT_SIM_SCENARIO  scenario name ("demo", "empty", "failing", "multinode",
//                     "multinode-nimbet"), default "demo", or "replay:FILE": answer
//                     with the exchanges recorded in FILE
//   VKT_SIM_PATHS     comma-separated device nodes to serve, default "/dev/ipmi0"
//   VKT_SIM_TRANSPORT "kcs": no device node; the server sits behind a simulated KCS
//                     interface on ports CA2h/CA3h ("kcs-ca8": on CA8h/CACh). The
//                     library's port instructions trap and are served by the simulation.
//                     "host": no simulated server; the host's own device nodes and KCS
//                     ports (through /dev/port), for recording a real BMC
//   VKT_SIM_FAKE_ROOT 1: getuid() answers 0, so the library's root check passes for a
//                     user who runs the demo without privileges
//   VKT_SIM_KERNEL_KCS 1: the simulated machine's kernel driver (ipmi_si) holds the KCS
//                     ports in its /proc/ioports, as on a host that loaded ipmi_si but not
//                     ipmi_devintf (otherwise the list shows only the firmware's entries
//                     for the interface, as with no IPMI module loaded)
//   VKT_SIM_KCS_SILENT 1 (with "kcs"): nothing answers on the KCS ports, as on a host
//                     whose BMC interface is not there or not where it is looked for
//   VKT_SIM_LOG       file that receives one line per request the server handled, e.g.
//                     "30/45 01 01"
//   VKT_SIM_VM        HOST:PORT: forward every request to an external BMC simulator over
//                     its VM serial protocol instead of the built-in scenario
//   VKT_SIM_VM_TIMEOUT_MS  time-out of one request on that link, default 1500
//   VKT_SIM_STATE     file that keeps the built-in server's users, LAN parameters, FRU
//                     images, version tags and configuration files from one process to the next: read at start (when it
//                     exists), written when the process ends
//   VKT_SIM_REPLAY_DELAYS  1: a replay waits the recorded time before each answer
//   VKT_SIM_RESTART_MS  how long the built-in server's BMC is away after a cold reset, a
//                     factory default or an applied configuration, on the server's clock
//                     (default 0: back at once). The clock moves with the process's pauses
//                     (nanosleep), such as the library's wait for a restarting BMC
//   VKT_SIM_FAST_PAUSES 1: those pauses take no real time; they only move the server's
//                     clock, so a wait of a minute and a half for the BMC ends at once
//   VKT_RECORD        file that receives every exchange with the server (or the host's
//                     BMC), in the recording format of recording/recording_file.cpp;
//                     VKT_RECORD_TOOL and VKT_RECORD_COMMAND name the program and the
//                     command line in its header
// A tool that asked for a simulation checks vktSimulatedServerReady() before it sends
// anything: when the scenario, the address, the state file or the recording to replay could
// not be used, no server is attached and the library would otherwise reach the host's real
// BMC. vktRecordingError() tells a tool whether the recording it asked for is complete.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "backends/vm_backend.h"
#include "fake_ipmi_device.h"
#include "preload_recording.h"
#include "sim_kcs.h"
#include "sim_server.h"
#include "sim_state.h"

namespace {

std::unique_ptr<testkit::SimServer>& server() {
    static std::unique_ptr<testkit::SimServer>* s = new std::unique_ptr<testkit::SimServer>();
    return *s;
}

std::unique_ptr<testkit::VmBackend>& vmLink() {
    static std::unique_ptr<testkit::VmBackend>* v = new std::unique_ptr<testkit::VmBackend>();
    return *v;
}

std::unique_ptr<testkit::Backend>& replay() {
    static std::unique_ptr<testkit::Backend>* r = new std::unique_ptr<testkit::Backend>();
    return *r;
}

std::unique_ptr<testkit::SimKcsBmc>& kcsBmc() {
    static std::unique_ptr<testkit::SimKcsBmc>* k = new std::unique_ptr<testkit::SimKcsBmc>();
    return *k;
}

bool fakeRoot = false;
bool serverReady = false;
bool fastPauses = false;

long long pauseMs(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000; }

// The simulated machine's /proc/ioports, as Debian's kernel writes it for a KCS interface
// that the ACPI tables (IPI0001) and SMBIOS describe: the firmware's entries always, the
// claims of ipmi_si below them while that driver runs the interface.
std::string simulatedIoports(bool atCa8, bool kernelDriver) {
    const char* const ports[2][2] = {{"0ca2", "0ca3"}, {"0ca8", "0cac"}};
    const char* data = ports[atCa8 ? 1 : 0][0];
    const char* status = ports[atCa8 ? 1 : 0][1];
    std::string text = "0000-0cf7 : PCI Bus 0000:00\n  0000-001f : dma1\n  0020-0021 : pic1\n";
    text += std::string("  ") + data + "-" + status + " : IPI0001:00\n";
    for (const char* port : {data, status}) {
        text += std::string("    ") + port + "-" + port + " : IPMI Address " + (port == data ? "1" : "2") + "\n";
        if (kernelDriver) text += std::string("      ") + port + "-" + port + " : ipmi_si\n";
    }
    return text + "0cf8-0cff : PCI conf1\n0d00-ffff : PCI Bus 0000:00\n";
}

void saveServerState() {
    const char* path = getenv("VKT_SIM_STATE");
    std::string error;
    if (server() && path != nullptr && *path != '\0' && !testkit::saveState(*server(), path, &error))
        fprintf(stderr, "fake IPMI device: %s\n", error.c_str());
}

// The scenario with the saved state over it. A scenario or state that cannot be used is
// reported and leaves the server not ready, but a server is attached all the same (one
// that knows no command when the scenario is unknown): a host process that does not ask
// must still never reach a real BMC through us.
std::unique_ptr<testkit::SimServer> builtInServer(bool* ready) {
    const char* scenario = getenv("VKT_SIM_SCENARIO");
    std::unique_ptr<testkit::SimServer> s =
        testkit::makeScenario(scenario != nullptr && *scenario != '\0' ? scenario : "demo");
    if (!s) {
        fprintf(stderr, "fake IPMI device: unknown scenario \"%s\"\n", scenario);
        *ready = false;
        return std::make_unique<testkit::SimServer>();
    }
    const char* path = getenv("VKT_SIM_STATE");
    std::string error;
    if (path != nullptr && *path != '\0') {
        if (!testkit::loadState(*s, path, &error)) {
            fprintf(stderr, "fake IPMI device: %s\n", error.c_str());
            *ready = false;
            return s;  // the file is left as it is
        }
        atexit(saveServerState);
    }
    const char* restart = getenv("VKT_SIM_RESTART_MS");
    if (restart != nullptr && atoi(restart) > 0) s->device.restartMs = atoi(restart);
    return s;
}

// The backend named by VKT_SIM_VM; nullptr (after a message) for a malformed address. A
// simulator that cannot be reached yet is reported and tried again on every request.
testkit::Backend* externalSimulator(const char* address) {
    std::string host;
    uint16_t port = 0;
    if (!testkit::VmBackend::parseAddress(address, &host, &port)) {
        fprintf(stderr, "fake IPMI device: VKT_SIM_VM=\"%s\" is not HOST:PORT\n", address);
        return nullptr;
    }
    const char* t = getenv("VKT_SIM_VM_TIMEOUT_MS");
    int timeoutMs = t != nullptr && atoi(t) > 0 ? atoi(t) : 1500;
    vmLink() = std::make_unique<testkit::VmBackend>(host, port, timeoutMs);
    std::string error;
    if (!vmLink()->connect(&error)) fprintf(stderr, "fake IPMI device: %s\n", error.c_str());
    return vmLink().get();
}

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

// The server the environment names, and how a recording's header describes it; nullptr
// (after a message) when there is none to attach.
testkit::Backend* chooseBackend(const char* scenario, std::string* source, bool* ready) {
    const char* vm = getenv("VKT_SIM_VM");
    if (vm != nullptr && *vm != '\0') {
        *source = std::string("external BMC simulator at ") + vm;
        return externalSimulator(vm);
    }
    const std::string name = scenario != nullptr && *scenario != '\0' ? scenario : "demo";
    if (name.rfind(testkit::preload::replayPrefix, 0) == 0) {
        *source = "replay of " + name.substr(strlen(testkit::preload::replayPrefix));
        std::string error;
        replay() = testkit::preload::replayBackend(name, &error);
        if (replay()) return replay().get();
        fprintf(stderr, "fake IPMI device: %s\n", error.c_str());
        server() = std::make_unique<testkit::SimServer>();
        *ready = false;
        return &server()->bmc;
    }
    *source = "simulated server \"" + name + "\"";
    server() = builtInServer(ready);
    return &server()->bmc;
}

__attribute__((constructor)) void startSimulatedServer() {
    const char* transport = getenv("VKT_SIM_TRANSPORT");
    if (transport != nullptr && strcmp(transport, "host") == 0) {
        testkit::preload::serveHost();
        return;
    }
    std::string source;
    bool ready = true;
    testkit::Backend* backend = chooseBackend(getenv("VKT_SIM_SCENARIO"), &source, &ready);
    if (backend == nullptr) return;
    // Logged whichever way the requests arrive, device or ports.
    const char* logPath = getenv("VKT_SIM_LOG");
    if (logPath != nullptr && *logPath != '\0') {
        // Never through a link someone may have planted at the name.
        const int fd = open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0666);
        FILE* log = fd >= 0 ? fdopen(fd, "a") : nullptr;
        if (log == nullptr && fd >= 0) close(fd);
        if (log != nullptr) backend = new LoggingBackend(*backend, log);  // lives as long as the process
    }
    std::vector<std::string> paths;
    const char* list = getenv("VKT_SIM_PATHS");
    std::stringstream ss(list != nullptr ? list : "/dev/ipmi0");
    for (std::string p; std::getline(ss, p, ',');)
        if (!p.empty()) paths.push_back(p);
    testkit::PortSpace* ports = nullptr;
    if (transport != nullptr && (strcmp(transport, "kcs") == 0 || strcmp(transport, "kcs-ca8") == 0)) {
        paths.clear();
        kcsBmc() = std::make_unique<testkit::SimKcsBmc>(backend);
        kcsBmc()->keepLog(false);
        if (strcmp(transport, "kcs-ca8") == 0) kcsBmc()->placeAt(testkit::kcsSecondaryData, testkit::kcsSecondaryStatus);
        const char* silent = getenv("VKT_SIM_KCS_SILENT");
        if (silent != nullptr && strcmp(silent, "1") == 0) kcsBmc()->removeFromBus();
        ports = kcsBmc().get();
    } else if (transport != nullptr && *transport != '\0' && strcmp(transport, "device") != 0) {
        fprintf(stderr, "fake IPMI device: unknown transport \"%s\"\n", transport);
    }
    testkit::FakeIpmiDevice& dev = testkit::FakeIpmiDevice::get();
    dev.setPaths(paths);
    dev.setBackend(backend);
    const char* kernelKcs = getenv("VKT_SIM_KERNEL_KCS");
    dev.setIoports(simulatedIoports(transport != nullptr && strcmp(transport, "kcs-ca8") == 0,
                                    kernelKcs != nullptr && strcmp(kernelKcs, "1") == 0));
    source += ports != nullptr ? " over the KCS ports" : " over the OpenIPMI device";
    testkit::attachPortSpace(testkit::preload::startRecording(ports, false, source));
    const char* root = getenv("VKT_SIM_FAKE_ROOT");
    fakeRoot = root != nullptr && strcmp(root, "1") == 0;
    const char* fast = getenv("VKT_SIM_FAST_PAUSES");
    fastPauses = fast != nullptr && strcmp(fast, "1") == 0;
    serverReady = ready;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int vktSimulatedServerReady(void) { return serverReady ? 1 : 0; }

extern "C" __attribute__((visibility("default"))) const char* vktRecordingError(void) {
    static std::string text;
    text = testkit::preload::recordingError();
    return text.c_str();
}

extern "C" uid_t getuid(void) {
    if (fakeRoot) return 0;
    static auto real = reinterpret_cast<uid_t (*)(void)>(dlsym(RTLD_NEXT, "getuid"));
    return real();
}

// The library pauses through nanosleep; the simulated server's time moves with it.
extern "C" int nanosleep(const timespec* request, timespec* remaining) {
    static auto real = reinterpret_cast<int (*)(const timespec*, timespec*)>(dlsym(RTLD_NEXT, "nanosleep"));
    const bool valid = request != nullptr && request->tv_sec >= 0 && request->tv_nsec >= 0 && request->tv_nsec < 1000000000L;
    testkit::SimServer* s = server().get();
    if (valid && fastPauses) {
        if (s != nullptr) s->clock.advance(pauseMs(*request));
        if (remaining != nullptr) *remaining = timespec{0, 0};
        return 0;
    }
    const int result = real(request, remaining);
    if (valid && s != nullptr) {
        const int interrupted = errno;
        // Interrupted: only the part slept so far has passed.
        if (result == 0) s->clock.advance(pauseMs(*request));
        else if (interrupted == EINTR && remaining != nullptr) s->clock.advance(pauseMs(*request) - pauseMs(*remaining));
        errno = interrupted;
    }
    return result;
}
