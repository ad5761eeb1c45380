#include "library_harness.h"

#include <unistd.h>

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
// its lock on purpose must not hold up the others.
const std::string& kcsLockPath() {
    static const std::string path = "/tmp/vkt-kcs-" + std::to_string(getpid()) + ".lock";
    return path;
}

void removeKcsLockFile() { unlink(kcsLockPath().c_str()); }

}  // namespace

const char* const noIoportsClaims = "/dev/null";

std::string testKcsLockPath() { return kcsLockPath(); }

void simulateLibraryPorts() {
    static const bool removedAtExit = atexit(removeKcsLockFile) == 0;
    (void)removedAtExit;
    vkt::setPortIo(&simulatedPorts);
    vkt::setIoportsPath(noIoportsClaims);
    vkt::setKcsLockPath(kcsLockPath().c_str());
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
