#include "preload_recording.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backends/replay_backend.h"
#include "fake_ipmi_device.h"
#include "recording/device_recorder.h"
#include "recording/host_ports.h"
#include "recording/kcs_recorder.h"

namespace testkit::preload {

namespace {

// Live as long as the process: libc calls may arrive during exit.
recording::Writer* writer = nullptr;
DeviceRecorder* deviceTap = nullptr;
KcsRecorder* kcsTap = nullptr;
HostPorts* hostPorts = nullptr;
std::string* startError = nullptr;

std::string env(const char* name) {
    const char* v = getenv(name);
    return v != nullptr ? v : "";
}

void finishRecording() {
    if (deviceTap != nullptr) deviceTap->finish();
    if (kcsTap != nullptr) kcsTap->finish();
}

// The library asks for the KCS ports only when no device node answers: then /dev/port
// must be usable, or the request is refused as the kernel would refuse ioperm.
bool hostPortsReachable() {
    std::string error;
    if (hostPorts->open(&error)) return true;
    static bool told = false;
    if (!told) fprintf(stderr, "fake IPMI device: the KCS ports cannot be reached: %s\n", error.c_str());
    told = true;
    return false;
}

}  // namespace

std::unique_ptr<Backend> replayBackend(const std::string& scenario, std::string* error) {
    const std::string path = scenario.substr(strlen(replayPrefix));
    std::vector<recording::Exchange> exchanges;
    if (path.empty()) {
        *error = "replay: needs the recording's file name (replay:FILE)";
        return nullptr;
    }
    if (!recording::loadRecording(path, &exchanges, error)) return nullptr;
    auto backend = std::make_unique<ReplayBackend>(std::move(exchanges));
    backend->replayDelays(env("VKT_SIM_REPLAY_DELAYS") == "1");
    return backend;
}

PortSpace* startRecording(PortSpace* ports, bool hostDevice, const std::string& source) {
    const std::string path = env("VKT_RECORD");
    if (path.empty()) return ports;
    writer = new recording::Writer();
    recording::Origin origin{env("VKT_RECORD_TOOL"), env("VKT_RECORD_COMMAND"), source};
    if (origin.tool.empty()) origin.tool = "unknown program";
    std::string error;
    if (!writer->open(path, origin, &error)) {
        fprintf(stderr, "fake IPMI device: %s\n", error.c_str());
        startError = new std::string(error);
        return ports;
    }
    deviceTap = new DeviceRecorder(hostDevice ? hostDeviceCalls() : fakeDeviceCalls(), *writer);
    installDeviceRecorder(deviceTap);
    if (ports != nullptr) {
        kcsTap = new KcsRecorder(*ports, *writer);
        ports = kcsTap;
    }
    atexit(finishRecording);
    return ports;
}

void serveHost() {
    hostPorts = new HostPorts();
    setPortAccessCheck(hostPortsReachable);
    PortSpace* ports = startRecording(hostPorts, true, "host BMC");
    if (deviceTap == nullptr) {
        // Nothing to record: the device nodes still go to the host untouched.
        static recording::Writer unused;
        deviceTap = new DeviceRecorder(hostDeviceCalls(), unused);
        installDeviceRecorder(deviceTap);
    }
    attachPortSpace(ports);
}

std::string recordingError() {
    if (startError != nullptr) return *startError;
    return writer != nullptr ? writer->error() : "";
}

}  // namespace testkit::preload
