#include "pmbus_model.h"

#include <algorithm>
#include <cmath>

#include "sim_records.h"

namespace testkit {

namespace {
constexpr uint8_t ccInvalidField = 0xCC;
constexpr uint8_t autoBit = 0x80, userBit = 0x40, daysMask = 0x3F;
constexpr size_t internalUseSize = 16;
}  // namespace

namespace pmbus {

uint16_t linear11(int exponent, int mantissa) {
    return static_cast<uint16_t>((exponent & 0x1F) << 11 | (mantissa & 0x7FF));
}

uint16_t linear11(double value) {
    for (int e = -16; e <= 15; ++e) {
        const long m = std::lround(std::ldexp(value, -e));
        if (m >= -1024 && m <= 1023) return linear11(e, static_cast<int>(m));
    }
    return linear11(15, value < 0 ? -1024 : 1023);
}

Bytes moduleFruImage(const EepromStatus& status, const std::vector<fru::Field>& product) {
    Bytes internal(internalUseSize, 0x00);
    internal[0] = 0x01;  // internal-use format version
    internal[1] = status.temperature;
    internal[2] = status.fan1;
    internal[3] = status.fan2;
    internal[4] = status.status;
    internal[14] = status.firmware;
    return fru::ImageBuilder().internalUse(internal).product(product).build();
}

std::shared_ptr<EepromDevice> moduleEeprom(const EepromStatus& status, const std::vector<fru::Field>& product) {
    auto eeprom = std::make_shared<EepromDevice>(256, 0xFF);
    const Bytes image = moduleFruImage(status, product);
    std::copy(image.begin(), image.end(), eeprom->bytes.begin());
    return eeprom;
}

}  // namespace pmbus

void PmbusModule::setWord(uint8_t code, uint16_t value) {
    registers[code] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
}

void PmbusModule::setVendorText(uint8_t first, int count, const std::string& text) {
    for (int i = 0; i < count; ++i)
        setByte(static_cast<uint8_t>(first + i), i < static_cast<int>(text.size()) ? static_cast<uint8_t>(text[i]) : 0);
}

void PmbusModule::setTelemetry(const pmbus::Telemetry& t) {
    setByte(0x20, t.voutMode);
    setByte(0x78, t.statusByte);
    setWord(0x79, t.statusWord);
    setByte(0xFC, t.inputType);
    setWord(0x88, pmbus::linear11(t.vin));
    setWord(0x89, pmbus::linear11(t.iin));
    const int n = (t.voutMode & 0x10) != 0 ? (t.voutMode & 0x1F) - 32 : (t.voutMode & 0x1F);
    setWord(0x8B, t.voutMode == 0 ? pmbus::linear11(t.vout)
                                  : static_cast<uint16_t>(std::lround(std::ldexp(t.vout, -n))));
    setWord(0x8C, pmbus::linear11(t.iout));
    setWord(0x8D, pmbus::linear11(t.temperature1));
    setWord(0x8E, pmbus::linear11(t.temperature2));
    setWord(0x90, pmbus::linear11(t.fan1));
    setWord(0x91, pmbus::linear11(t.fan2));
    setWord(0x96, pmbus::linear11(t.pout));
    setWord(0x97, pmbus::linear11(t.pin));
    setWord(0x98, t.revision);
}

void PmbusModule::setIdentity(const std::string& serial, const std::string& moduleNumber, const std::string& revision) {
    setVendorText(0xD0, 15, serial);
    setVendorText(0xE0, 13, moduleNumber);
    setVendorText(0xF0, 6, revision);
}

void BatteryModule::setImage(const Bytes& fruImage) {
    for (size_t i = 0; i < fruImage.size() && i < remainingEnergy; ++i) bytes[i] = fruImage[i];
}

void BatteryModule::setWord(uint8_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value & 0xFF);
    bytes[offset + 1u] = static_cast<uint8_t>(value >> 8);
}

IpmiResponse BatteryModule::transfer(const Bytes& write, uint8_t readCount) {
    if (write.size() <= 1) return EepromDevice::transfer(write, readCount);
    if (write.size() != 2 || write[0] != dischargeControl) return IpmiResponse::error(ccInvalidField);
    const uint8_t v = write[1];
    noteRecord(controlWrites, v);
    uint8_t& state = bytes[dischargeState];
    if ((v & autoBit) != 0) {
        bytes[dischargeControl] = static_cast<uint8_t>(autoBit | (v & daysMask));
        state = static_cast<uint8_t>((state & (autoBit | userBit)) | (v & daysMask));
    } else if ((v & userBit) != 0) {
        state = static_cast<uint8_t>(state | userBit);
        setWord(statusWord, static_cast<uint16_t>((bytes[statusWord + 1] << 8 | bytes[statusWord]) | statusDischarging));
    } else {
        bytes[dischargeControl] = static_cast<uint8_t>(v & daysMask);
    }
    return IpmiResponse::ok(Bytes(readCount, 0x00));
}

SimBmc::Predicate busRegister(uint8_t slaveAddr, uint8_t code) {
    SimBmc::Predicate onDevice = busAddress(slaveAddr);
    return [onDevice, code](const IpmiRequest& r) { return onDevice(r) && r.data.size() >= 4 && r.data[3] == code; };
}

}  // namespace testkit
