// The demo server's LAN settings: a static BMC address on a documentation network and a
// host with four NICs.
#include "sim_server.h"

namespace testkit {

void addDemoLan(SimServer& server) {
    LanModel& lan = server.lan;
    lan.ip = {192, 0, 2, 10};
    lan.subnetMask = {255, 255, 255, 0};
    lan.gateway = {192, 0, 2, 1};
    lan.mac = {0x00, 0x00, 0x5E, 0x00, 0x53, 0x0A};
    lan.addressSource = 0x01;  // static
    lan.vlanId = 100;
    lan.vlanEnabled = false;
    lan.arpControl = 0x01;

    // The first host NIC comes with the system information; the BMC lists the other three.
    OemModel& oem = server.oem;
    const uint8_t firstHostMac[6] = {0x00, 0x00, 0x5E, 0x00, 0x53, 0x20};
    for (int i = 0; i < 6; ++i) oem.hostMac[i] = firstHostMac[i];
    oem.nicLayout = 0x04;
    lan.hostMacList = {
        {0x00, 0x00, 0x5E, 0x00, 0x53, 0x21},
        {0x00, 0x00, 0x5E, 0x00, 0x53, 0x22},
        {0x00, 0x00, 0x5E, 0x00, 0x53, 0x23},
    };
}

}  // namespace testkit
