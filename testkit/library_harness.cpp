#include "library_harness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "channel_select.h"
#include "ipmb_bridge.h"
#include "kcs2_linux.h"
#include "kcs_linux.h"
#include "sim_ports.h"
#include "smipmi.h"

namespace testkit {

namespace {

// The library's port accesses, handed to the test kit's simulated port space.
class SimulatedPorts final : public vkt::PortIo {
public:
    bool permit() override { return requestPortAccess(); }
    uint8_t in(uint16_t port) override { return portIn(port); }
    void out(uint16_t port, uint8_t value) override { portOut(port, value); }
};

SimulatedPorts simulatedPorts;

// The KCS lock file of this process: test programs run side by side, and one that holds
// its lock on purpose must not hold up the others. Plain characters, so that the exit
// handler that removes the file finds its name intact whatever static objects the exit has
// destroyed before it.
char lockPath[64];

const char* kcsLockPath() {
    if (lockPath[0] == '\0') snprintf(lockPath, sizeof lockPath, "/tmp/vkt-kcs-%ld.lock", static_cast<long>(getpid()));
    return lockPath;
}

void removeKcsLockFile() { unlink(kcsLockPath()); }

}  // namespace

const char* const noIoportsClaims = "/dev/null";

std::string testKcsLockPath() { return kcsLockPath(); }

void simulateLibraryPorts() {
    static const bool removedAtExit = atexit(removeKcsLockFile) == 0;
    (void)removedAtExit;
    vkt::setPortIo(&simulatedPorts);
    vkt::setIoportsPath(noIoportsClaims);
    vkt::setKcsLockPath(kcsLockPath());
}

void resetLibraryTransport() {
    ipmi_openipmi_close(&ipmi_open_intf);
    ipmi_open_intf.my_addr = 0x20;
    ipmi_open_intf.target_addr = 0x20;
    ipmi_open_intf.target_channel = 0;
    ipmi_open_intf.noanswer = 0;
    err = 0;
    resp_data_len = 0;
    ipmb_target_addr = 0;
    ipmb_switch = 0;
    open_ipmi_drv = 0;
    vkt::setOpenIpmiResponseTimeoutMs(2000);
    vkt::resetKcsChannel();
    vkt::resetBridge();
    simulateLibraryPorts();
    vkt::setKcsLockWaitMs(kcsLockWaitMs);
    vkt::resetRootCheck();
    resetPortAccess();
}

}  // namespace testkit
