// The demo server's sensors: a 1U two-socket server with the usual temperature, voltage,
// fan and power sensors as full records, discrete sensors as compact records, and the
// other record types a real repository carries between them.
#include <array>
#include <initializer_list>

#include "sim_server.h"

namespace testkit {

namespace {

constexpr uint8_t temperature = 0x01, voltage = 0x02, current = 0x03, fan = 0x04, physicalSecurity = 0x05,
                  processor = 0x07, powerSupply = 0x08, driveSlot = 0x0D, criticalInterrupt = 0x13,
                  watchdog2 = 0x23, oemC0 = 0xC0;
constexpr uint8_t threshold = 0x01, sensorSpecific = 0x6F, oemReadingType = 0x70;
constexpr uint8_t degreesC = 1, volts = 4, amps = 5, watts = 6, rpm = 18;

// Raw thresholds listed from the lowest to the highest, returned in the order Get Sensor
// Thresholds sends them.
std::array<uint8_t, 6> limits(uint8_t lnr, uint8_t lc, uint8_t lnc, uint8_t unc, uint8_t uc, uint8_t unr) {
    return {lnc, lc, lnr, unc, uc, unr};
}

SensorFields analog(const char* name, uint8_t number, uint8_t type, uint8_t unit, int m, int rExp) {
    SensorFields f;
    f.name = name;
    f.number = number;
    f.sensorType = type;
    f.readingType = threshold;
    f.unit = unit;
    f.m = m;
    f.rExp = rExp;
    return f;
}

SensorFields discrete(const char* name, uint8_t number, uint8_t type, uint8_t readingType) {
    SensorFields f;
    f.name = name;
    f.number = number;
    f.sensorType = type;
    f.readingType = readingType;
    return f;
}

void addTemperatures(SdrModel& sdr) {
    struct Temp {
        const char* name;
        uint8_t number;
        uint8_t entity;
        int value;
        uint8_t lowCritical;
        uint8_t highCritical;
    };
    // Negative limits are sent as two's complement bytes (F9h = -7).
    for (const Temp& t : {Temp{"CPU1 Temp", 0x01, 0x03, 45, 5, 90}, Temp{"CPU2 Temp", 0x02, 0x03, 41, 5, 90},
                          Temp{"System Temp", 0x0B, 0x07, 28, 0xF9, 85},
                          Temp{"Peripheral Temp", 0x0C, 0x07, 35, 0xF9, 85}, Temp{"PCH Temp", 0x0A, 0x07, 47, 0xF9, 95},
                          Temp{"DIMMA1 Temp", 0xB0, 0x20, 32, 0x01, 85}, Temp{"DIMMB1 Temp", 0xB4, 0x20, 33, 0x01, 85}}) {
        SensorFields f = analog(t.name, t.number, temperature, degreesC, 1, 0);
        f.entityId = t.entity;
        const uint8_t lnc = static_cast<uint8_t>(t.lowCritical + 2), lnr = static_cast<uint8_t>(t.lowCritical - 2);
        f.thresholds = limits(lnr, t.lowCritical, lnc, static_cast<uint8_t>(t.highCritical - 5), t.highCritical,
                              static_cast<uint8_t>(t.highCritical + 5));
        sdr.addFull(f).value(f, t.value);
    }
}

void addVoltages(SdrModel& sdr) {
    struct Volt {
        const char* name;
        uint8_t number;
        int m;  // millivolts per step
        double value, low, high;
    };
    for (const Volt& v : {Volt{"12V", 0x30, 64, 12.03, 10.3, 13.25}, Volt{"5VCC", 0x31, 32, 4.99, 4.25, 5.75},
                          Volt{"3.3VCC", 0x32, 16, 3.30, 2.82, 3.79}, Volt{"VBAT", 0x33, 16, 3.07, 2.6, 3.49},
                          Volt{"Vcpu1", 0x34, 8, 1.80, 1.26, 2.09}, Volt{"Vcpu2", 0x35, 8, 1.79, 1.26, 2.09},
                          Volt{"VDIMMAB", 0x36, 8, 1.20, 0.96, 1.46}, Volt{"1.05V PCH", 0x38, 8, 1.05, 0.87, 1.22}}) {
        SensorFields f = analog(v.name, v.number, voltage, volts, v.m, -3);
        f.entityId = 0x07;
        const uint8_t lc = rawFor(f, v.low), uc = rawFor(f, v.high);
        f.thresholds = limits(static_cast<uint8_t>(lc - 2), lc, static_cast<uint8_t>(lc + 2),
                              static_cast<uint8_t>(uc - 2), uc, static_cast<uint8_t>(uc + 2));
        sdr.addFull(f).value(f, v.value);
    }
}

void addFans(SdrModel& sdr) {
    // 100 RPM per step; FAN4 is not fitted, so the BMC has no reading for it.
    const struct {
        const char* name;
        uint8_t number;
        int rpm;
    } fans[] = {{"FAN1", 0x41, 8300}, {"FAN2", 0x42, 8400}, {"FAN3", 0x43, 8200}, {"FAN4", 0x44, -1}};
    for (const auto& fanInfo : fans) {
        SensorFields f = analog(fanInfo.name, fanInfo.number, fan, rpm, 100, 0);
        f.entityId = 0x1D;  // fan device
        f.thresholds = limits(3, 5, 7, 253, 254, 255);
        SensorState& s = sdr.addFull(f);
        if (fanInfo.rpm < 0) {
            s.reading = 0xFF;
            s.flags = 0xE0;  // reading unavailable
        } else {
            s.value(f, fanInfo.rpm);
        }
    }
}

void addPower(SdrModel& sdr) {
    SensorFields watt = analog("PW Consumption", 0x50, current, watts, 4, 0);
    watt.entityId = 0x15;  // power unit
    watt.thresholds = limits(0, 0, 0, 0, 230, 0);
    sdr.addFull(watt).value(watt, 176);

    SensorFields amp = analog("PS1 Curr Out", 0x51, current, amps, 1, -1);
    amp.entityId = 0x0A;  // power supply
    sdr.addFull(amp).value(amp, 14.6);

    sdr.addCompact(discrete("PS1 Status", 0xC8, powerSupply, sensorSpecific)).states = 0x0001;  // present
    sdr.addCompact(discrete("PS2 Status", 0xC9, powerSupply, sensorSpecific)).states = 0x0009;  // AC lost
}

void addDiscrete(SdrModel& sdr) {
    sdr.addCompact(discrete("Chassis Intru", 0xAA, physicalSecurity, sensorSpecific)).states = 0x0000;
    sdr.addCompact(discrete("CPU1 Status", 0x60, processor, sensorSpecific)).states = 0x0080;  // presence
    sdr.addCompact(discrete("CPU2 Status", 0x61, processor, sensorSpecific)).states = 0x0080;

    // Front bays: two report through the sensor-specific states, two through the
    // backplane's own bit layout.
    sdr.addCompact(discrete("HDD0 Status", 0x80, driveSlot, sensorSpecific)).states = 0x0001;
    sdr.addCompact(discrete("HDD1 Status", 0x81, driveSlot, sensorSpecific)).states = 0x0000;
    sdr.addCompact(discrete("HDD2 Status", 0x82, driveSlot, oemReadingType)).states = 0x0001;
    sdr.addCompact(discrete("HDD3 Status", 0x83, driveSlot, oemReadingType)).states = 0x0002;

    // The board's CPU thermal level: 0 low, 1 medium, 2 high, 4 overheat.
    SensorState& level = sdr.addCompact(discrete("CPU Temp Level", 0xE1, oemC0, oemReadingType));
    level.reading = 0x1A;
    level.flags = 0x00;
    level.states = 0x0001;

    sdr.addCompact(discrete("Watchdog2", 0xCA, watchdog2, oemReadingType)).states = 0x0000;
}

}  // namespace

void addDemoSensors(SimServer& server) {
    SdrModel& sdr = server.sdr;
    sdr.add(mcLocatorRecord("BMC", 0x20));
    addTemperatures(sdr);
    addVoltages(sdr);
    addFans(sdr);
    addPower(sdr);
    addDiscrete(sdr);
    sdr.add(eventOnlyRecord("Critical Int", 0xD0, criticalInterrupt, sensorSpecific));
    sdr.add(fruLocatorRecord("Board FRU", 0x00));
    // The Management Engine's discovery record: slave 2Ch, channel 6.
    sdr.add(meRecord(server.me.slaveAddr, server.me.channel));
}

}  // namespace testkit
