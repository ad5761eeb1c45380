#include "library_harness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bounded.h"
#include "kcs_linux.h"
#include "sim_ports.h"
#include "transport_state.h"

namespace testkit {

namespace {

// The library's port accesses, handed to the simulator's port space.
class SimulatedPorts final : public vkt::PortIo {
public:
    bool permit() override { return requestPortAccess(); }
    uint8_t in(uint16_t port) override { return portIn(port); }
    void out(uint16_t port, uint8_t value) override { portOut(port, value); }
};

SimulatedPorts simulatedPorts;

// The KCS lock file of this process, in a directory of its own as the library wants it:
// test programs run side by side, and one that holds its lock on purpose must not hold up
// the others. Plain characters, so that the exit handler that removes them finds the names
// intact whatever static objects the exit has destroyed before it.
char lockDir[64];
char lockPath[80];

const char* kcsLockPath() {
    if (lockPath[0] == '\0') {
        snprintf(lockDir, sizeof lockDir, "/tmp/vkt-kcs-%ld", static_cast<long>(getpid()));
        snprintf(lockPath, sizeof lockPath, "%s/kcs.lock", lockDir);
    }
    return lockPath;
}

void removeKcsLockFile() {
    unlink(kcsLockPath());
    rmdir(lockDir);
}

// The transport as test programs run it.
void simulate(vkt::TransportConfig& config) {
    config.portIo = &simulatedPorts;
    vkt::copyText(config.ioportsPath, noIoportsClaims);
    vkt::copyText(config.kcsLockPath, kcsLockPath());
}

}  // namespace

const char* const noIoportsClaims = "/dev/null";

std::string testKcsLockPath() { return kcsLockPath(); }

void adjustTransport(const std::function<void(vkt::TransportConfig&)>& change) {
    vkt::TransportConfig config = vkt::transport().config;
    change(config);
    vkt::configureTransport(config);
}

void simulateLibraryPorts() {
    static const bool removedAtExit = atexit(removeKcsLockFile) == 0;
    (void)removedAtExit;
    adjustTransport(simulate);
}

void resetLibraryTransport() {
    simulateLibraryPorts();
    vkt::TransportConfig config;
    simulate(config);
    config.kcsLockWaitMs = kcsLockWaitMs;
    config.openIpmiResponseTimeoutMs = deviceResponseTimeoutMs;
    vkt::resetTransport(config);
    resetPortAccess();
}

}  // namespace testkit
