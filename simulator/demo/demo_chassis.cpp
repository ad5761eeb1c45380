// The multi-node chassis around the demo server: a four-node chassis of the Pairex family and
// a twelve-node micro-server chassis of the Nimbet family. Addresses are on a documentation
// network; identities are made up.
#include "sim_server.h"

namespace testkit {

namespace {

void setChassisIdentity(McuModel& mcu, const std::string& model) {
    mcu.setText(McuModel::regSystemName, 20, "rack-07 " + model);
    mcu.setText(McuModel::regSystemPN, 24, "  SYS-" + model + "-01  ");
    mcu.setText(McuModel::regSystemSN, 24, "S" + model + "0007");
    mcu.setText(McuModel::regChassisPN, 24, "CSE-" + model);
    mcu.setText(McuModel::regChassisSN, 24, "C" + model + "1151");
    mcu.setText(McuModel::regBackplanePN, 24, "BPN-" + model);
    mcu.registers[McuModel::regBackplaneSN] = 0xFF;  // never programmed: "(Empty)"
    mcu.registers[McuModel::regBpnId] = 0x1C;
    mcu.registers[McuModel::regBpnRevision] = 0x02;
    mcu.registers[McuModel::regBpnRevision + 1] = 0x01;
    const uint8_t location[5] = {0x07, 0x00, 0x12, 0x03, 0x01};  // row, rack, unit...
    for (int i = 0; i < 5; ++i) mcu.registers[McuModel::regChassisLocation + i] = location[i];
}

McuNode node(const std::string& id, uint8_t host, uint16_t watts, uint16_t deciAmps, uint8_t cpu1, uint8_t cpu2,
             uint8_t system) {
    McuNode n;
    n.partNumber = "NODE-" + id;
    n.serialNumber = "SN" + id + "0042";
    n.ip = {192, 0, 2, host};
    n.watts = watts;
    n.deciAmps = deciAmps;
    n.cpu1Temp = cpu1;
    n.cpu2Temp = cpu2;
    n.systemTemp = system;
    return n;
}

}  // namespace

void addDemoPairexChassis(SimServer& server) {
    McuModel& mcu = server.mcu;
    mcu.setFamily(McuModel::Family::pairex);
    setChassisIdentity(mcu, "2U4N");
    mcu.registers[McuModel::regConfigId] = 4;
    mcu.registers[McuModel::regNodeId] = 1;
    mcu.registers[McuModel::regBpLocation] = 0x10;  // left
    mcu.registers[McuModel::regVersion] = 0x01;
    mcu.registers[McuModel::regVersion + 1] = 0x0A;
    mcu.setNode(0, node("X11A", 31, 212, 18, 46, 44, 29));
    mcu.setNode(1, node("X11B", 32, 198, 17, 51, 0, 30));  // one CPU: the second reads 00h
    McuNode off = node("X11C", 33, 0xFFFF, 0xFFFF, 0, 0, 0);
    off.poweredOn = false;
    mcu.setNode(2, off);
    McuNode empty;
    empty.present = false;
    empty.poweredOn = false;
    mcu.setNode(3, empty);
    mcu.registers[McuModel::reg12V] = 0x07;
    mcu.attach(server.bus);
}

void addDemoNimbetChassis(SimServer& server) {
    McuModel& mcu = server.mcu;
    mcu.setFamily(McuModel::Family::nimbet);
    setChassisIdentity(mcu, "3U12N");
    mcu.registers[McuModel::regConfigId] = 12;
    mcu.registers[McuModel::regNodeId] = 6;
    mcu.registers[McuModel::regBpLocation] = 0x10;
    mcu.registers[McuModel::regVersion] = 0x02;
    mcu.registers[McuModel::regVersion + 1] = 0x03;
    for (int i = 0; i < 12; ++i) {
        const std::string id = "M" + std::to_string(i + 1);
        McuNode n = node(id, static_cast<uint8_t>(41 + i), static_cast<uint16_t>(60 + 3 * i),
                         static_cast<uint16_t>(5 + i % 3), static_cast<uint8_t>(38 + i), 0,
                         static_cast<uint8_t>(26 + i % 4));
        n.present = i != 4 && i != 11;
        n.poweredOn = n.present && i != 8;
        mcu.setNode(i, n);
    }
    mcu.attach(server.bus);
}

}  // namespace testkit
