#include "mcu_model.h"

#include <algorithm>
#include <memory>

#include "sim_records.h"

namespace testkit {

namespace {

constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccInvalidField = 0xCC;
constexpr uint8_t ccNoAnswer = 0x83;  // nothing acknowledges the address on the bus
constexpr uint8_t nimbetCommitReg = 0x3F;
constexpr size_t blockSize = 64;
constexpr size_t nodesPerPage = 4;
constexpr size_t nimbetPages = 4;

// Fields written with a commit, and how many bytes each holds.
const std::map<uint8_t, size_t> committedFields = {
    {McuModel::regSystemName, 20}, {McuModel::regSystemPN, 24},   {McuModel::regSystemSN, 24},
    {McuModel::regChassisPN, 24},  {McuModel::regChassisSN, 24},  {McuModel::regBackplanePN, 24},
    {McuModel::regBackplaneSN, 24}, {McuModel::regBpnId, 1},      {McuModel::regBpnRevision, 2},
    {McuModel::regConfigId, 1},
};

class Port : public BusDevice {
public:
    using Fn = IpmiResponse (McuModel::*)(const Bytes&, uint8_t);
    Port(McuModel* mcu, Fn fn) : mcu_(mcu), fn_(fn) {}
    IpmiResponse transfer(const Bytes& write, uint8_t readCount) override { return (mcu_->*fn_)(write, readCount); }

private:
    McuModel* mcu_;
    Fn fn_;
};

IpmiResponse readFrom(const std::array<uint8_t, 256>& space, size_t from, uint8_t count) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) out.push_back(from + i < space.size() ? space[from + i] : 0xFF);
    return IpmiResponse::ok(out);
}

void setBit(uint8_t* bytes, int bit, bool on) {
    const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
    bytes[bit / 8] = static_cast<uint8_t>(on ? bytes[bit / 8] | mask : bytes[bit / 8] & ~mask);
}

}  // namespace

void McuModel::setFamily(Family family) {
    family_ = family;
    registers[regSignature] = family == Family::pairex ? 0xA5 : 0xAC;
    pages.assign(family == Family::pairex ? 1 : nimbetPages, std::array<uint8_t, 256>{});
}

void McuModel::setText(uint8_t reg, size_t width, const std::string& text) {
    for (size_t i = 0; i < width && reg + i < registers.size(); ++i)
        registers[reg + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : 0x00;
}

std::string McuModel::text(uint8_t reg, size_t width) const {
    std::string out;
    for (size_t i = 0; i < width && reg + i < registers.size(); ++i) {
        const uint8_t b = registers[reg + i];
        if (b == 0x00 || b == 0xFF) break;
        out.push_back(static_cast<char>(b));
    }
    return out;
}

std::pair<size_t, size_t> McuModel::nodePlace(int node) const {
    if (family_ == Family::pairex) return {0, (node * blockSize) % 256};
    return {(node / nodesPerPage) % pages.size(), (node % nodesPerPage) * blockSize};
}

uint8_t* McuModel::nodeBlock(int node) {
    const auto place = nodePlace(node);
    return &pages[place.first][place.second];
}

const uint8_t* McuModel::nodeBlock(int node) const {
    const auto place = nodePlace(node);
    return &pages[place.first][place.second];
}

void McuModel::setNode(int node, const McuNode& n) {
    uint8_t* b = nodeBlock(node);
    std::fill(b, b + blockSize, 0x00);
    std::copy_n(n.partNumber.begin(), std::min<size_t>(n.partNumber.size(), 24), b + nodePN);
    std::copy_n(n.serialNumber.begin(), std::min<size_t>(n.serialNumber.size(), 24), b + nodeSN);
    std::copy(n.ip.begin(), n.ip.end(), b + nodeIp);
    b[nodePower] = n.watts & 0xFF;
    b[nodePower + 1] = n.watts >> 8;
    b[nodeCurrent] = n.deciAmps & 0xFF;
    b[nodeCurrent + 1] = n.deciAmps >> 8;
    b[nodeCpu1] = n.cpu1Temp;
    b[nodeCpu2] = n.cpu2Temp;
    b[nodeSysTemp] = n.systemTemp;
    setBit(&registers[regPresent], node, n.present);
    setBit(&registers[regPowerOn], node, n.poweredOn);
}

std::string McuModel::nodeText(int node, uint8_t offset) const {
    const uint8_t* b = nodeBlock(node) + offset;
    std::string out;
    for (size_t i = 0; i < 24 && b[i] != 0x00; ++i) out.push_back(static_cast<char>(b[i]));
    return out;
}

uint8_t McuModel::updateModeRegister() const {
    return registers[regVersion] == 0x01 && registers[regVersion + 1] == 0x00 ? 0xF5 : 0xFA;
}

void McuModel::attach(PrivateBusModel& bus) {
    bus.attach(chassisAddr, std::make_shared<Port>(this, &McuModel::chassisTransfer));
    bus.attach(nodeAddr, std::make_shared<Port>(this, &McuModel::nodeTransfer));
    bus.attach(loaderAddr, std::make_shared<Port>(this, &McuModel::loaderTransfer));
}

// A committed field takes the written bytes and is cleared behind them.
void McuModel::applyPending(uint8_t reg) {
    auto it = pending.find(reg);
    if (it == pending.end()) return;
    const size_t width = committedFields.at(reg);
    for (size_t i = 0; i < width && reg + i < registers.size(); ++i)
        registers[reg + i] = i < it->second.size() ? it->second[i] : 0x00;
    pending.erase(it);
}

// Pairex commits a field with {reg - 1, reg - 1}; Nimbet commits everything with {3Fh, 00h}.
bool McuModel::commitWrite(const Bytes& write) {
    if (write.size() != 2) return false;
    if (family_ == Family::nimbet) {
        if (write[0] != nimbetCommitReg || write[1] != 0x00) return false;
        std::vector<uint8_t> regs;
        for (const auto& p : pending) regs.push_back(p.first);
        for (uint8_t r : regs) applyPending(r);
        return true;
    }
    const uint8_t field = static_cast<uint8_t>(write[0] + 1);
    if (write[1] != write[0] || pending.count(field) == 0) return false;
    applyPending(field);
    return true;
}

IpmiResponse McuModel::chassisTransfer(const Bytes& write, uint8_t readCount) {
    if (write.empty()) return IpmiResponse::error(ccRequestLength);
    const uint8_t reg = write[0];
    if (write.size() == 1) return readFrom(registers, reg, readCount);

    const Bytes data(write.begin() + 1, write.end());
    if (data.size() == loader.unlockCode.size() && std::equal(data.begin(), data.end(), loader.unlockCode.begin())) {
        // The update-mode request; at any other register it is not understood.
        if (reg == updateModeRegister()) updateMode = true;
        return IpmiResponse::ok();
    }
    if (commitWrite(write)) return IpmiResponse::ok();
    if (committedFields.count(reg) != 0) {
        pending[reg] = data;
        return IpmiResponse::ok();
    }
    for (size_t i = 0; i < data.size() && reg + i < registers.size(); ++i) registers[reg + i] = data[i];
    return IpmiResponse::ok();
}

IpmiResponse McuModel::nodeTransfer(const Bytes& write, uint8_t readCount) {
    size_t at = 0;
    size_t page = 0;
    if (family_ == Family::nimbet) {
        if (write.size() < 2) return IpmiResponse::error(ccRequestLength);
        page = write[at++];
        if (page >= pages.size()) return IpmiResponse::error(ccInvalidField);
    }
    if (write.size() <= at) return IpmiResponse::error(ccRequestLength);
    std::array<uint8_t, 256>& space = pages[page];
    const size_t reg = write[at++];
    for (size_t i = 0; at + i < write.size() && reg + i < space.size(); ++i) space[reg + i] = write[at + i];
    return readFrom(space, reg, readCount);
}

IpmiResponse McuModel::loaderTransfer(const Bytes& write, uint8_t readCount) {
    if (!updateMode) return IpmiResponse::error(ccNoAnswer);
    if (write.size() == loader.unlockCode.size() && std::equal(write.begin(), write.end(), loader.unlockCode.begin())) {
        ++loader.handshakes;
        if (loader.busyHandshakes != 0) {
            if (loader.busyHandshakes > 0) --loader.busyHandshakes;
            return IpmiResponse::error(ccNoAnswer);
        }
        if (loader.nonAckHandshakes > 0) {
            --loader.nonAckHandshakes;
            return IpmiResponse::ok(Bytes(readCount, 0xEE));
        }
        loader.unlocked = true;
        if (loader.afterAck) loader.afterAck();
        return IpmiResponse::ok(Bytes(loader.ackCode.begin(), loader.ackCode.end()));
    }
    if (!loader.unlocked || write.empty() || write[0] != 'S') return IpmiResponse::error(ccInvalidField);
    if (loader.failingRecords > 0) {
        --loader.failingRecords;
        return IpmiResponse::error(loader.recordFailCc);
    }
    noteRecord(loader.records, write);
    if (write.size() > 1 && write[1] == '9') {
        // The end record: the controller restarts into its new firmware.
        loader.loaded = true;
        loader.unlocked = false;
        updateMode = false;
    }
    return IpmiResponse::ok(Bytes(readCount, 0x00));
}

}  // namespace testkit
