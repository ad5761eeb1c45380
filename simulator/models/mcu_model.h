// The chassis controller (MCU) of a multi-node chassis on the private bus: its chassis
// register block at 80h, its node blocks at 82h (64 bytes per node; the Nimbet family puts
// four nodes on a page selected by a leading page byte), and its firmware loader at AAh,
// which answers only after the controller was put into update mode.
//
//   server.mcu.setFamily(McuModel::Family::pairex);
//   server.mcu.setText(McuModel::regSystemPN, 24, "PX-4N-2U");
//   server.mcu.setNode(0, node);   // present, powered, readings
//   server.mcu.attach(server.bus);
#ifndef TESTKIT_MCU_MODEL_H
#define TESTKIT_MCU_MODEL_H

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "private_bus_model.h"

namespace testkit {

// One node as its block and the chassis bitmaps describe it.
struct McuNode {
    bool present = true;
    bool poweredOn = true;
    std::string partNumber;  // stored zero-padded in 24 bytes
    std::string serialNumber;
    std::array<uint8_t, 4> ip{};
    uint16_t watts = 0;
    uint16_t deciAmps = 0;  // tenths of an ampere
    uint8_t cpu1Temp = 0, cpu2Temp = 0, systemTemp = 0;
};

// The firmware loader's side of an update.
struct McuLoader {
    static constexpr std::array<uint8_t, 4> unlockCode = {0x5A, 0xA5, 0x3C, 0xC3};
    static constexpr std::array<uint8_t, 4> ackCode = {0xA5, 0x5A, 0xC3, 0x3C};

    // Fault modes: handshakes answered 83h while the loader starts (-1: for ever), then
    // handshakes answered with something other than the acknowledgement, and records
    // answered `recordFailCc` without being taken.
    int busyHandshakes = 0;
    int nonAckHandshakes = 0;
    int failingRecords = 0;
    uint8_t recordFailCc = 0xC3;
    std::function<void()> afterAck;  // runs when a handshake is acknowledged

    int handshakes = 0;
    bool unlocked = false;
    std::vector<Bytes> records;  // messages taken, in order (a record, see sim_records.h)
    bool loaded = false;         // the end record arrived
};

class McuModel {
public:
    enum class Family { pairex, nimbet };

    static constexpr uint8_t chassisAddr = 0x80, nodeAddr = 0x82, loaderAddr = 0xAA;
    static constexpr uint8_t regNodeId = 0x00, regPresent = 0x01, regPowerOn = 0x11, reg12V = 0x21,
                             regSystemName = 0x29, regSystemPN = 0x41, regSystemSN = 0x61, regBpnId = 0x7A,
                             regBpnRevision = 0x7B, regChassisPN = 0x81, regChassisSN = 0xA1,
                             regChassisLocation = 0xBB, regBackplanePN = 0xC1, regBackplaneSN = 0xE1,
                             regBpLocation = 0xFB, regConfigId = 0xFC, regSignature = 0xFD, regVersion = 0xFE;
    static constexpr uint8_t nodePN = 0x00, nodeSN = 0x18, nodeIp = 0x30, nodePower = 0x34, nodeCurrent = 0x36,
                             nodeCpu1 = 0x38, nodeCpu2 = 0x39, nodeSysTemp = 0x3A;

    McuModel() { setFamily(Family::pairex); }
    // Signature and node space of the family; clears the node blocks.
    void setFamily(Family family);

    // The chassis block as the next read sees it, and the node space (one page on Pairex).
    std::array<uint8_t, 256> registers{};
    std::vector<std::array<uint8_t, 256>> pages;

    void setText(uint8_t reg, size_t width, const std::string& text);
    std::string text(uint8_t reg, size_t width) const;  // up to the first 00h or FFh
    uint8_t* nodeBlock(int node);  // the node's 64 bytes
    const uint8_t* nodeBlock(int node) const;
    void setNode(int node, const McuNode& n);
    std::string nodeText(int node, uint8_t offset) const;

    // Field writes wait here for their commit: register -> value bytes.
    std::map<uint8_t, Bytes> pending;

    bool updateMode = false;
    uint8_t updateModeRegister() const;  // F5h while the firmware is 1.00, else FAh
    McuLoader loader;

    void attach(PrivateBusModel& bus);

    IpmiResponse chassisTransfer(const Bytes& write, uint8_t readCount);
    IpmiResponse nodeTransfer(const Bytes& write, uint8_t readCount);
    IpmiResponse loaderTransfer(const Bytes& write, uint8_t readCount);

private:
    Family family_ = Family::pairex;
    std::pair<size_t, size_t> nodePlace(int node) const;  // page and offset of a node's block
    bool commitWrite(const Bytes& write);
    void applyPending(uint8_t reg);
};

}  // namespace testkit

#endif
