// The BMC's private I2C bus behind Master Write-Read (06h/52h, bus byte 07h): devices at
// 8-bit slave addresses. Models of power modules, status EEPROMs, batteries and the chassis
// controller attach themselves here; the bus only routes. Faults on one device can be
// injected on the SimBmc with a predicate on the request's address byte (`busAddress`).
#ifndef TESTKIT_PRIVATE_BUS_MODEL_H
#define TESTKIT_PRIVATE_BUS_MODEL_H

#include <map>
#include <memory>
#include <vector>

#include "sim_bmc.h"

namespace testkit {

class BusDevice {
public:
    virtual ~BusDevice() = default;
    // One Master Write-Read addressed to this device: the bytes written after the request's
    // bus, address and count bytes, and the number of bytes to read back.
    virtual IpmiResponse transfer(const Bytes& write, uint8_t readCount) = 0;
};

// A device read and written by offset: a write of {offset} sets the pointer, the read that
// follows returns consecutive bytes; {offset, data...} stores data (EEPROMs, status bytes).
class EepromDevice : public BusDevice {
public:
    explicit EepromDevice(size_t size = 256, uint8_t fill = 0xFF) : bytes(size, fill) {}
    Bytes bytes;
    bool writable = true;
    IpmiResponse transfer(const Bytes& write, uint8_t readCount) override;
};

// A device of command-coded registers (PMBus controllers, controller register blocks): a
// read of {code} answers that register's bytes (cut or zero-padded to the read count); a
// write of {code, data...} stores the data. Unknown codes answer `unknownCc`.
class RegisterDevice : public BusDevice {
public:
    std::map<uint8_t, Bytes> registers;
    uint8_t unknownCc = 0xCC;
    IpmiResponse transfer(const Bytes& write, uint8_t readCount) override;
};

struct BusTransfer {
    uint8_t slaveAddr;
    Bytes write;
    uint8_t readCount;
};

class PrivateBusModel {
public:
    // What an address with no device answers (no acknowledge on the bus).
    uint8_t absentCc = 0x83;

    void attach(uint8_t slaveAddr, std::shared_ptr<BusDevice> device);
    void detach(uint8_t slaveAddr);
    BusDevice* device(uint8_t slaveAddr) const;
    template <typename T>
    T* deviceAs(uint8_t slaveAddr) const {
        return dynamic_cast<T*>(device(slaveAddr));
    }

    // Every transfer in order, for assertions on the exact bytes sent to a device (a record,
    // kept only while records are on: sim_records.h).
    std::vector<BusTransfer> transfers;
    std::vector<BusTransfer> transfersTo(uint8_t slaveAddr) const;

    void install(SimBmc& bmc);

private:
    std::map<uint8_t, std::shared_ptr<BusDevice>> devices_;
};

// Matches Master Write-Read requests on the private bus addressed to `slaveAddr`.
SimBmc::Predicate busAddress(uint8_t slaveAddr);

}  // namespace testkit

#endif
