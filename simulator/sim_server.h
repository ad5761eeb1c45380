// A simulated rack server: the BMC with all its models installed.
#ifndef TESTKIT_SIM_SERVER_H
#define TESTKIT_SIM_SERVER_H

#include <memory>
#include <string>
#include <vector>

#include "clock.h"
#include "models/config_transfer_model.h"
#include "models/device_model.h"
#include "models/fru_model.h"
#include "models/host_model.h"
#include "models/lan_model.h"
#include "models/mcu_model.h"
#include "models/me_model.h"
#include "models/nvme_model.h"
#include "models/oem_model.h"
#include "models/private_bus_model.h"
#include "models/sdr_model.h"
#include "models/sel_model.h"
#include "models/user_model.h"
#include "sim_bmc.h"

namespace testkit {

class SimServer {
public:
    SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // The server's time: the BMC's restart after a reset runs on it.
    SimClock clock;
    SimBmc bmc;
    DeviceModel device;
    OemModel oem;
    SdrModel sdr;
    SelModel sel;
    FruModel fru;
    LanModel lan;
    UserModel users;
    PrivateBusModel bus;
    HostModel host;
    ConfigTransferModel transfer;
    NvmeModel nvme;
    // The chassis controller of a multi-node chassis; on the bus only once attached.
    McuModel mcu;
    MeModel me;
};

// Named scenarios:
//   "demo"    a 1U rack server with sensors, FRU inventory, event log, LAN, users, two power
//             modules and a battery backup module
//   "empty"   a BMC that answers Get Device ID and rejects everything else
//   "failing" a BMC that answers every request with completion code FFh
//   "multinode"        the demo server as node 1 of a four-node chassis (Pairex family,
//                      left backplane): one node powered off, one slot empty
//   "multinode-nimbet" the demo server as node 6 of a twelve-node micro-server chassis
//                      (Nimbet family): two slots empty, one node off
// Returns nullptr for an unknown name.
std::unique_ptr<SimServer> makeScenario(const std::string& name);
std::vector<std::string> scenarioNames();

// The demo server's content, one function per area (each lives beside its model).
void addDemoSensors(SimServer& server);
void addDemoEventLog(SimServer& server);
void addDemoFru(SimServer& server);
void addDemoLan(SimServer& server);
void addDemoUsers(SimServer& server);
void addDemoMaintenance(SimServer& server);
void addDemoPower(SimServer& server);
void addDemoPairexChassis(SimServer& server);
void addDemoNimbetChassis(SimServer& server);

}  // namespace testkit

#endif
