#include "sim_synthetic.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "pmbus_model.h"

namespace testkit {

namespace {

constexpr int maxSensors = 250;  // sensor numbers 1..250
constexpr int maxSelEntries = 3000;
constexpr int maxPsus = 8;
constexpr int vendorSlots = 4;

// Addresses of the power subsystem: module controllers, their EEPROMs, the battery.
constexpr uint8_t vendorModuleBase = 0x78, vendorEepromBase = 0x70;
constexpr uint8_t thirdPartyModuleBase = 0xB0, thirdPartyEepromBase = 0xA0;
constexpr uint8_t batteryAddr = 0x74;

std::string numbered(const char* fmt, int n) {
    char text[32];
    snprintf(text, sizeof text, fmt, n);
    return text;
}

// ---- sensors ------------------------------------------------------------------------------

SensorFields sensorField(const std::string& name, int number, uint8_t type, uint8_t readingType) {
    SensorFields f;
    f.name = name;
    f.number = static_cast<uint8_t>(number);
    f.sensorType = type;
    f.readingType = readingType;
    return f;
}

// Thresholds given from the lowest to the highest, in the order the BMC sends them.
std::array<uint8_t, 6> limits(uint8_t lnr, uint8_t lc, uint8_t lnc, uint8_t unc, uint8_t uc, uint8_t unr) {
    return {lnc, lc, lnr, unc, uc, unr};
}

void addAnalog(SdrModel& sdr, SensorFields f, uint8_t unit, int m, int rExp, double value, uint8_t lc, uint8_t uc) {
    f.unit = unit;
    f.m = m;
    f.rExp = rExp;
    f.thresholds = limits(static_cast<uint8_t>(lc - 1), lc, static_cast<uint8_t>(lc + 1), static_cast<uint8_t>(uc - 1),
                          uc, static_cast<uint8_t>(uc + 1));
    sdr.addFull(f).value(f, value);
}

// Sensor `n` (numbered from 1) of a board: five threshold sensors for every three discrete ones.
void addSensor(SdrModel& sdr, int n) {
    constexpr uint8_t threshold = 0x01, sensorSpecific = 0x6F;
    switch ((n - 1) % 8) {
        case 0:
        case 4:
            addAnalog(sdr, sensorField(numbered("Temp %d", n), n, 0x01, threshold), 1, 1, 0, 30 + n % 20, 5, 90);
            break;
        case 1:
            addAnalog(sdr, sensorField(numbered("Volt %d", n), n, 0x02, threshold), 4, 64, -3, 12.0, 160, 210);
            break;
        case 2:
            addAnalog(sdr, sensorField(numbered("Fan %d", n), n, 0x04, threshold), 18, 100, 0, 8000 + n * 10, 5, 254);
            break;
        case 3:
            addAnalog(sdr, sensorField(numbered("Power %d", n), n, 0x03, threshold), 6, 4, 0, 180, 1, 230);
            break;
        case 5:
            sdr.addCompact(sensorField(numbered("PS%d Status", n), n, 0x08, sensorSpecific)).states = 0x0001;
            break;
        case 6:
            sdr.addCompact(sensorField(numbered("CPU%d Status", n), n, 0x07, sensorSpecific)).states = 0x0080;
            break;
        default:
            sdr.addCompact(sensorField(numbered("HDD%d Status", n), n, 0x0D, sensorSpecific)).states = 0x0001;
            break;
    }
}

void replaceSensors(SimServer& server, int count) {
    SdrModel& sdr = server.sdr;
    sdr.clear();
    sdr.add(mcLocatorRecord("BMC", 0x20));
    for (int n = 1; n <= count; ++n) addSensor(sdr, n);
    sdr.add(meRecord(server.me.slaveAddr, server.me.channel));
}

// ---- event log ----------------------------------------------------------------------------

void replaceEventLog(SimServer& server, int count) {
    SelModel& sel = server.sel;
    constexpr uint32_t day0 = 0x65E58D90;  // 2024-03-04 09:00:00 UTC
    constexpr uint32_t step = 97;
    sel.clock = day0;
    sel.clear();
    sel.clock = day0 + static_cast<uint32_t>(count) * step;
    for (int k = 0; k < count; ++k) {
        const uint32_t t = day0 + static_cast<uint32_t>(k) * step;
        const uint8_t s = static_cast<uint8_t>(1 + k % 8);
        switch (k % 8) {
            case 0: sel.addEvent(selEvent(t, 0x20, 0x01, s, 0x01, 0x59, 0x5B, 0x5A)); break;  // upper critical
            case 1: sel.addEvent(selEvent(t, 0x20, 0x01, s, 0x81, 0x59, 0x50, 0x5A)); break;  // and back
            case 2: sel.addEvent(selEvent(t, 0x20, 0x08, s, 0x6F, 0x03)); break;              // AC lost
            case 3: sel.addEvent(selEvent(t, 0x20, 0x0C, 0xD2, 0x6F, 0xA0, 0x1A, 0x01)); break;  // correctable ECC
            case 4: sel.addEvent(selEvent(t, 0x20, 0x04, s, 0x01, 0x52, 0x05, 0x07)); break;  // lower critical
            case 5: sel.addEvent(selEvent(t, 0x20, 0x05, 0xAA, 0x6F, 0x00)); break;           // intrusion
            case 6: sel.addEvent(selEvent(t, 0x01, 0x1D, 0x72, 0x6F, 0x00)); break;           // boot
            default: sel.addEvent(selEvent(t, 0x20, 0xC3, 0x90, 0x6F, 0x03)); break;          // PCH hot
        }
    }
}

// ---- power --------------------------------------------------------------------------------

void addVendorModule(PrivateBusModel& bus, int i) {
    auto psu = std::make_shared<PmbusModule>();
    pmbus::Telemetry t;
    t.iout = 18 + i;
    psu->setTelemetry(t);
    const std::string serial = numbered("ZR1K2D2345%04d", i + 1);
    psu->setIdentity(serial, "ZUR-1K2D-R1\r\n", "REV1.2");
    bus.attach(static_cast<uint8_t>(vendorModuleBase + 2 * i), psu);
    bus.attach(static_cast<uint8_t>(vendorEepromBase + 2 * i),
               pmbus::moduleEeprom({static_cast<uint8_t>(30 + i), 78, 80, 0x01, 0x00},
                                   {"Kestrel Power Co.", "ZUR-1K2D-R1", "ZUR-1K2D-R1", "1.2", serial, "", ""}));
}

void addThirdPartyModule(PrivateBusModel& bus, int j) {
    auto psu = std::make_shared<PmbusModule>();  // identity only in its EEPROM
    pmbus::Telemetry t;
    t.iout = 9 + j;
    psu->setTelemetry(t);
    bus.attach(static_cast<uint8_t>(thirdPartyModuleBase + 2 * j), psu);
    bus.attach(static_cast<uint8_t>(thirdPartyEepromBase + 2 * j),
               pmbus::moduleEeprom({0, 0, 0, 0x01, 0x00}, {"Kestrel Power Co.", "AXR-1600-T", "AXR-1600-T", "A02",
                                                           numbered("AXR16T23120%05d", j + 1), "", ""}));
}

void replacePower(SimServer& server, int count) {
    PrivateBusModel& bus = server.bus;
    for (int i = 0; i < vendorSlots; ++i) {
        bus.detach(static_cast<uint8_t>(vendorModuleBase + 2 * i));
        bus.detach(static_cast<uint8_t>(thirdPartyModuleBase + 2 * i));
        bus.detach(static_cast<uint8_t>(thirdPartyEepromBase + 2 * i));
        const uint8_t eeprom = static_cast<uint8_t>(vendorEepromBase + 2 * i);
        if (eeprom != batteryAddr) bus.detach(eeprom);
    }
    for (int i = 0; i < count; ++i) {
        if (i < vendorSlots)
            addVendorModule(bus, i);  // the third one takes the battery's address
        else
            addThirdPartyModule(bus, i - vendorSlots);
    }
}

// ---- multi-node chassis -------------------------------------------------------------------

constexpr uint8_t mcuAddrs[] = {McuModel::chassisAddr, McuModel::nodeAddr, McuModel::loaderAddr};

uint8_t configIdFor(int nodes) {
    switch (nodes) {
        case 1: return 1;
        case 2: return 3;  // two slots without skipping a node
        case 4: return 4;
        default: return 12;
    }
}

void replaceChassis(SimServer& server, int nodes) {
    for (uint8_t a : mcuAddrs) server.bus.detach(a);
    if (nodes == 0) return;
    McuModel& mcu = server.mcu;
    mcu.setFamily(nodes == 12 ? McuModel::Family::nimbet : McuModel::Family::pairex);
    mcu.setText(McuModel::regSystemName, 20, "bench chassis");
    mcu.setText(McuModel::regSystemPN, 24, "SYS-BENCH-01");
    mcu.setText(McuModel::regSystemSN, 24, "SBENCH0001");
    mcu.setText(McuModel::regChassisPN, 24, "CSE-BENCH");
    mcu.setText(McuModel::regChassisSN, 24, "CBENCH0001");
    mcu.setText(McuModel::regBackplanePN, 24, "BPN-BENCH");
    mcu.setText(McuModel::regBackplaneSN, 24, "BBENCH0001");
    mcu.registers[McuModel::regConfigId] = configIdFor(nodes);
    mcu.registers[McuModel::regNodeId] = 1;
    mcu.registers[McuModel::regBpLocation] = 0x10;  // left
    mcu.registers[McuModel::regVersion] = 0x01;
    mcu.registers[McuModel::regVersion + 1] = 0x0A;
    for (int i = 0; i < nodes; ++i) {
        McuNode n;
        n.partNumber = numbered("NODE-B%02d", i + 1);
        n.serialNumber = numbered("SNB%04d", i + 1);
        n.ip = {192, 0, 2, static_cast<uint8_t>(101 + i)};
        n.watts = static_cast<uint16_t>(150 + i);
        n.deciAmps = 14;
        n.cpu1Temp = 45;
        n.cpu2Temp = 43;
        n.systemTemp = 28;
        mcu.setNode(i, n);
    }
    mcu.attach(server.bus);
}

}  // namespace

std::string checkSyntheticSizes(const SyntheticSizes& s) {
    if (s.sensors && (*s.sensors < 1 || *s.sensors > maxSensors)) return "sensors: 1 to 250";
    if (s.selEntries && (*s.selEntries < 0 || *s.selEntries > maxSelEntries)) return "SEL entries: 0 to 3000";
    if (s.psus && (*s.psus < 0 || *s.psus > maxPsus)) return "power modules: 0 to 8";
    if (s.nodes && *s.nodes != 0 && *s.nodes != 1 && *s.nodes != 2 && *s.nodes != 4 && *s.nodes != 12)
        return "nodes: 0, 1, 2, 4 or 12";
    return "";
}

void applySyntheticSizes(SimServer& server, const SyntheticSizes& s) {
    if (s.sensors) replaceSensors(server, *s.sensors);
    if (s.selEntries) replaceEventLog(server, *s.selEntries);
    if (s.psus) replacePower(server, *s.psus);
    if (s.nodes) replaceChassis(server, *s.nodes);
}

}  // namespace testkit
