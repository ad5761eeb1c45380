// The demo server's power subsystem: a 1200 W module of the vendor's own line at 78h with its
// EEPROM at 70h, a 1600 W third-party module of the B0 family at B2h whose identity lives in
// its EEPROM at A2h, and a battery backup module at 74h set to discharge every 30 days.
#include <algorithm>
#include <memory>

#include "pmbus_model.h"
#include "sim_server.h"

namespace testkit {

namespace {

void addVendorModule(PrivateBusModel& bus) {
    auto psu = std::make_shared<PmbusModule>();
    pmbus::Telemetry t;
    t.vin = 230.5;
    t.iin = 1.25;
    t.vout = 12.02;
    t.iout = 21.375;
    t.temperature1 = 35;
    t.temperature2 = 41;
    t.fan1 = 8960;
    t.fan2 = 9216;
    t.pout = 258;
    t.pin = 281;
    psu->setTelemetry(t);
    // The module pads its number with CR LF, as these modules do.
    psu->setIdentity("ZR1K2D23450123", "ZUR-1K2D-R1\r\n", "REV1.2");
    bus.attach(0x78, psu);

    bus.attach(0x70, pmbus::moduleEeprom({30, 78, 80, 0x01, 0x00}, {"Kestrel Power Co.", "ZUR-1K2D-R1", "ZUR-1K2D-R1",
                                                                    "1.2", "ZR1K2D23450123", "", ""}));
}

void addThirdPartyModule(PrivateBusModel& bus) {
    auto psu = std::make_shared<PmbusModule>();  // no vendor identity registers
    pmbus::Telemetry t;
    t.vin = 229.75;
    t.iin = 0.875;
    t.vout = 12.1;
    t.iout = 9.5;
    t.temperature1 = 29;
    t.temperature2 = 33;
    t.fan1 = 6144;
    t.fan2 = 6400;
    t.pout = 115;
    t.pin = 128;
    t.revision = 0x0011;
    psu->setTelemetry(t);
    bus.attach(0xB2, psu);

    bus.attach(0xA2, pmbus::moduleEeprom({0, 0, 0, 0x01, 0x00}, {"Kestrel Power Co.", "AXR-1600-T", "AXR-1600-T", "A02",
                                                                "AXR16T2312000457", "", ""}));
}

void addBattery(PrivateBusModel& bus) {
    auto bbp = std::make_shared<BatteryModule>();
    bbp->setImage(pmbus::moduleFruImage({27, 0, 0, 0x81, 0x21},
                                        {"Kestrel Power Co.", "BBP-2U-LI", "BBP-2U-LI", "1.1", "BBP2U2309001234", "", ""}));
    bbp->bytes[BatteryModule::remainingEnergy] = 85;
    bbp->setWord(BatteryModule::voltage, 12600);
    bbp->setWord(BatteryModule::current, 20);  // charging with 200 mA
    bbp->setWord(BatteryModule::statusWord, 0x00A0);
    bbp->setWord(BatteryModule::cycleCount, 37);
    bbp->bytes[BatteryModule::dischargeState] = 28;  // next discharge in 28 days
    bbp->bytes[BatteryModule::dischargeControl] = 0x80 | 30;
    bbp->bytes[BatteryModule::boardTemperature] = 31;
    bbp->setWord(BatteryModule::power, 3);
    bus.attach(0x74, bbp);
}

}  // namespace

void addDemoPower(SimServer& server) {
    addVendorModule(server.bus);
    addThirdPartyModule(server.bus);
    addBattery(server.bus);
}

}  // namespace testkit
