#include "sim_server.h"

namespace testkit {

SimServer::SimServer() {
    device.clock = &clock;
    // A factory default or an applied configuration restarts the BMC, as a cold reset does.
    oem.onFactoryDefault = [this] { device.restart(); };
    transfer.onApply = [this] { device.restart(); };
    device.install(bmc);
    oem.install(bmc);
    sdr.install(bmc);
    sel.install(bmc);
    fru.install(bmc);
    lan.install(bmc);
    users.install(bmc);
    bus.install(bmc);
    host.install(bmc);
    transfer.install(bmc);
    nvme.install(bmc);
    me.install(bmc);
}

std::vector<std::string> scenarioNames() { return {"demo", "empty", "failing", "multinode", "multinode-nimbet"}; }

std::unique_ptr<SimServer> makeScenario(const std::string& name) {
    if (name == "multinode" || name == "multinode-nimbet") {
        auto server = makeScenario("demo");
        if (name == "multinode")
            addDemoPairexChassis(*server);
        else
            addDemoNimbetChassis(*server);
        return server;
    }
    auto server = std::make_unique<SimServer>();
    if (name == "demo") {
        server->device.systemGuid = guidWithSignature("3101MS");
        server->oem.fanMode = 1;
        server->oem.supportedFanModes = 0x3F;
        addDemoSensors(*server);
        addDemoEventLog(*server);
        addDemoFru(*server);
        addDemoLan(*server);
        addDemoUsers(*server);
        addDemoMaintenance(*server);
        addDemoPower(*server);
        return server;
    }
    if (name == "empty") {
        server->bmc.inject([](const IpmiRequest& r) { return !(r.netFn == 0x06 && r.cmd == 0x01); },
                           IpmiResponse::error(0xC1), -1);
        return server;
    }
    if (name == "failing") {
        server->bmc.inject([](const IpmiRequest&) { return true; }, IpmiResponse::error(0xFF), -1);
        return server;
    }
    return nullptr;
}

}  // namespace testkit
