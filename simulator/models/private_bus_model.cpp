#include "private_bus_model.h"

#include "sim_records.h"

namespace testkit {

namespace {
constexpr uint8_t netFnApp = 0x06;
constexpr uint8_t cmdMasterWriteRead = 0x52;
constexpr uint8_t privateBus = 0x07;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccInvalidField = 0xCC;
}  // namespace

IpmiResponse EepromDevice::transfer(const Bytes& write, uint8_t readCount) {
    if (write.empty()) return IpmiResponse::error(ccRequestLength);
    size_t offset = write[0];
    if (write.size() > 1) {
        if (!writable) return IpmiResponse::error(ccInvalidField);
        for (size_t i = 1; i < write.size() && offset + i - 1 < bytes.size(); ++i) bytes[offset + i - 1] = write[i];
        offset += write.size() - 1;
    }
    Bytes out;
    for (size_t i = 0; i < readCount; ++i) out.push_back(offset + i < bytes.size() ? bytes[offset + i] : 0xFF);
    return IpmiResponse::ok(out);
}

IpmiResponse RegisterDevice::transfer(const Bytes& write, uint8_t readCount) {
    if (write.empty()) return IpmiResponse::error(ccRequestLength);
    auto it = registers.find(write[0]);
    if (write.size() > 1) {
        registers[write[0]] = Bytes(write.begin() + 1, write.end());
        if (readCount == 0) return IpmiResponse::ok();
        it = registers.find(write[0]);
    }
    if (it == registers.end()) return IpmiResponse::error(unknownCc);
    Bytes out(readCount, 0x00);
    for (size_t i = 0; i < readCount && i < it->second.size(); ++i) out[i] = it->second[i];
    return IpmiResponse::ok(out);
}

void PrivateBusModel::attach(uint8_t slaveAddr, std::shared_ptr<BusDevice> device) {
    devices_[slaveAddr] = std::move(device);
}

void PrivateBusModel::detach(uint8_t slaveAddr) { devices_.erase(slaveAddr); }

BusDevice* PrivateBusModel::device(uint8_t slaveAddr) const {
    auto it = devices_.find(slaveAddr);
    return it == devices_.end() ? nullptr : it->second.get();
}

std::vector<BusTransfer> PrivateBusModel::transfersTo(uint8_t slaveAddr) const {
    std::vector<BusTransfer> out;
    for (const BusTransfer& t : transfers)
        if (t.slaveAddr == slaveAddr) out.push_back(t);
    return out;
}

void PrivateBusModel::install(SimBmc& bmc) {
    bmc.on(netFnApp, cmdMasterWriteRead, [this](const IpmiRequest& r) {
        if (r.data.size() < 3) return IpmiResponse::error(ccRequestLength);
        if (r.data[0] != privateBus) return IpmiResponse::error(ccInvalidField);
        BusTransfer t{r.data[1], Bytes(r.data.begin() + 3, r.data.end()), r.data[2]};
        noteRecord(transfers, t);
        BusDevice* d = device(t.slaveAddr);
        if (d == nullptr) return IpmiResponse::error(absentCc);
        return d->transfer(t.write, t.readCount);
    });
}

SimBmc::Predicate busAddress(uint8_t slaveAddr) {
    return [slaveAddr](const IpmiRequest& r) {
        return r.netFn == netFnApp && r.cmd == cmdMasterWriteRead && r.data.size() >= 2 && r.data[0] == privateBus &&
               r.data[1] == slaveAddr;
    };
}

}  // namespace testkit
