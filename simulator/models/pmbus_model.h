// Power devices on the simulated private bus: PMBus controllers of power modules, the
// modules' FRU/status EEPROMs and battery backup modules, with builders for their content.
#ifndef TESTKIT_PMBUS_MODEL_H
#define TESTKIT_PMBUS_MODEL_H

#include <memory>
#include <string>
#include <vector>

#include "fru_model.h"
#include "private_bus_model.h"

namespace testkit {

namespace pmbus {

// PMBus LINEAR11 words: from exponent and mantissa, or the closest word to a value.
uint16_t linear11(int exponent, int mantissa);
uint16_t linear11(double value);

// The standard telemetry of a module, in engineering units.
struct Telemetry {
    double vin = 230.0, iin = 1.2, iout = 20.0;
    double vout = 12.0;
    uint8_t voutMode = 0x17;  // LINEAR16, exponent -9
    double temperature1 = 30, temperature2 = 40;
    double fan1 = 8000, fan2 = 8000;
    double pout = 240, pin = 260;
    uint16_t revision = 0x0022;
    uint8_t statusByte = 0x00;
    uint16_t statusWord = 0x0000;
    uint8_t inputType = 0x01;
};

// Live bytes of a module's EEPROM (its FRU internal-use area): temperature in degrees Celsius,
// fans in tachometer counts, the status byte (bit 0 present / operational, bit 7 battery).
struct EepromStatus {
    uint8_t temperature = 0;
    uint8_t fan1 = 0;
    uint8_t fan2 = 0;
    uint8_t status = 0x01;
    uint8_t firmware = 0;  // internal-use byte 14
};

// A FRU image with a 16-byte internal-use area holding `status` and a product area
// (manufacturer, name, part, version, serial, asset tag, file ID).
Bytes moduleFruImage(const EepromStatus& status, const std::vector<fru::Field>& product);

// A module's 256-byte EEPROM holding moduleFruImage(status, product), erased (FFh) after it.
std::shared_ptr<EepromDevice> moduleEeprom(const EepromStatus& status, const std::vector<fru::Field>& product);

}  // namespace pmbus

// A PMBus controller: command-coded registers with helpers for words and vendor texts.
class PmbusModule : public RegisterDevice {
public:
    void setByte(uint8_t code, uint8_t value) { registers[code] = {value}; }
    void setWord(uint8_t code, uint16_t value);
    // One character per register from `first`; the registers after the text read 00h.
    void setVendorText(uint8_t first, int count, const std::string& text);
    void setTelemetry(const pmbus::Telemetry& t);
    // Serial number (D0h-DEh), module number (E0h-ECh) and revision (F0h-F5h).
    void setIdentity(const std::string& serial, const std::string& moduleNumber, const std::string& revision);
};

// A battery backup module: a 256-byte image (FRU image, then the status block from E0h) read
// by offset, and the discharge control register EAh.
class BatteryModule : public EepromDevice {
public:
    static constexpr uint8_t remainingEnergy = 0xE0, voltage = 0xE1, current = 0xE3, statusWord = 0xE5,
                             cycleCount = 0xE7, dischargeState = 0xE9, dischargeControl = 0xEA,
                             boardTemperature = 0xEF, power = 0xF2;
    static constexpr uint16_t statusDischarging = 0x0040;

    BatteryModule() : EepromDevice(256, 0x00) { writable = false; }
    void setImage(const Bytes& fruImage);
    void setWord(uint8_t offset, uint16_t value);

    // Register writes in order ({EAh, value}; a record, see sim_records.h).
    std::vector<uint8_t> controlWrites;

    // EAh: bit 7 sets automatic discharge every bits 5:0 days, bit 6 starts a discharge now,
    // neither returns to discharge on request only. Other writes are refused.
    IpmiResponse transfer(const Bytes& write, uint8_t readCount) override;
};

// Matches a Master Write-Read to `slaveAddr` whose first written byte is `code`.
SimBmc::Predicate busRegister(uint8_t slaveAddr, uint8_t code);

}  // namespace testkit

#endif
