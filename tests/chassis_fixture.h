// Shared by the multi-node chassis tests: a fixture whose server carries a chassis
// controller, with the library's chassis tables back in their load-time state.
#ifndef TESTS_CHASSIS_FIXTURE_H
#define TESTS_CHASSIS_FIXTURE_H

#include <cstring>
#include <string>
#include <vector>

#include "generic_util.h"
#include "px_util.h"
#include "test_support.h"

namespace chassistest {

using testkit::Bytes;
using testkit::McuModel;
using testkit::McuNode;

class ChassisTest : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        memset(&pairexMCU, 0, sizeof pairexMCU);
        memset(pxList, 0, sizeof pxList);
        isNimbet = false;
        nodeIDIsLetter = false;
        enterToUpdateModeOffset = 0xFA;
        recordPauses();
    }

    McuModel& mcu() { return sim().mcu; }

    // A chassis of `family` with configuration `config`, current node `nodeId`, backplane
    // code `bp`, and every node slot present, powered and with readings.
    void chassis(McuModel::Family family, uint8_t config, uint8_t nodeId, uint8_t bp = 0x10) {
        mcu().setFamily(family);
        mcu().registers[McuModel::regConfigId] = config;
        mcu().registers[McuModel::regNodeId] = nodeId;
        mcu().registers[McuModel::regBpLocation] = bp;
        for (int n = 0; n < (family == McuModel::Family::pairex ? 4 : 16); ++n) {
            McuNode node;
            node.partNumber = "PN" + std::to_string(n);
            node.serialNumber = "SN" + std::to_string(n);
            node.ip = {10, 0, 0, static_cast<uint8_t>(n)};
            node.watts = static_cast<uint16_t>(100 + n);
            node.deciAmps = 15;
            node.cpu1Temp = 40;
            node.cpu2Temp = 41;
            node.systemTemp = 30;
            mcu().setNode(n, node);
        }
        mcu().attach(sim().bus);
    }

    // Transfers to one bus address as "write bytes/read count" texts, e.g. "41 41 42/0".
    std::vector<std::string> transfers(uint8_t addr) const {
        std::vector<std::string> out;
        for (const testkit::BusTransfer& t : server_->bus.transfersTo(addr))
            out.push_back(testkit::hexBytes(t.write) + "/" + std::to_string(t.readCount));
        return out;
    }

    // Bus writes (read count 0) to one address.
    std::vector<std::string> writes(uint8_t addr) const {
        std::vector<std::string> out;
        for (const testkit::BusTransfer& t : server_->bus.transfersTo(addr))
            if (t.readCount == 0) out.push_back(testkit::hexBytes(t.write));
        return out;
    }

    void clearTransfers() { sim().bus.transfers.clear(); }
};

}  // namespace chassistest

#endif
