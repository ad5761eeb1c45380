// The demo server's event log: a few days in the life of a 1U server, from a BMC that
// logged before its clock was set, through a memory training problem, a power supply
// swap and a hot afternoon, to the OEM events of its firmware.
#include "sim_server.h"

namespace testkit {

namespace {

// 2024-03-04 09:00:00 UTC; every stamp is an offset from it, so the log is the same on
// every run.
constexpr uint32_t day0 = 0x65E58D90;
constexpr uint32_t minute = 60;
constexpr uint32_t hour = 3600;
constexpr uint32_t day = 86400;

constexpr uint16_t bmcGenerator = 0x0020;
constexpr uint16_t biosGenerator = 0x0001;

// Sensor numbers of the demo board.
constexpr uint8_t cpu1Temp = 0x01;
constexpr uint8_t cpu2Temp = 0x02;
constexpr uint8_t v12 = 0x30;
constexpr uint8_t fan1 = 0x41;
constexpr uint8_t fan3 = 0x43;
constexpr uint8_t chassisIntrusion = 0xAA;
constexpr uint8_t ps1Status = 0xC8;
constexpr uint8_t ps2Status = 0xC9;
constexpr uint8_t psRedundancy = 0xCB;
constexpr uint8_t criticalInterrupts = 0xD0;
constexpr uint8_t memoryEvents = 0xD2;
constexpr uint8_t watchdog = 0xCA;
constexpr uint8_t biosEvents = 0xFF;

// Sensor types and event/reading types used below.
constexpr uint8_t threshold = 0x01;
constexpr uint8_t redundancy = 0x0B;
constexpr uint8_t specific = 0x6F;

SelEvent event(uint32_t when, uint16_t generator, uint8_t sensorType, uint8_t sensorNumber, uint8_t dirType,
               uint8_t d1, uint8_t d2 = 0xFF, uint8_t d3 = 0xFF) {
    return selEvent(when, generator, sensorType, sensorNumber, dirType, d1, d2, d3);
}

}  // namespace

void addDemoEventLog(SimServer& server) {
    SelModel& sel = server.sel;
    sel.clock = 0x00000010;
    sel.clear();  // erased at the factory, before the BMC had a clock
    sel.clock = day0 + 3 * day + 9 * hour;

    const uint32_t t1 = day0;
    const uint32_t t2 = day0 + day + 4 * hour;
    const uint32_t t3 = day0 + 2 * day + 14 * hour;
    const SelEvent log[] = {
        // First power-on: logged before the BMC had its time set.
        event(0x00000012, bmcGenerator, 0x10, 0x70, specific, 0x02),               // log area cleared
        event(0x00000014, bmcGenerator, 0x22, 0x71, specific, 0x00),               // S0/G0
        event(0x0000001D, bmcGenerator, 0x08, ps1Status, specific, 0x00),          // PS1 present
        event(0x0000001D, bmcGenerator, 0x08, ps2Status, specific, 0x00),          // PS2 present
        // Memory training on the first boot.
        event(t1 + 2 * minute, biosGenerator, 0xCC, biosEvents, 0x70, 0xE8, 0x00, 0xFF),
        event(t1 + 2 * minute + 5, biosGenerator, 0xCC, biosEvents, 0x70, 0x07, 0x06, 0x00),
        event(t1 + 2 * minute + 9, biosGenerator, 0xCC, biosEvents, 0x70, 0x30, 0x01, 0x25),
        event(t1 + 2 * minute + 30, biosGenerator, 0x1D, 0x72, specific, 0x00),    // boot by power up
        event(t1 + 4 * minute, bmcGenerator, 0x1F, 0x73, specific, 0x01),         // C: boot completed
        // The cover was opened to reseat a DIMM.
        event(t1 + 3 * hour, bmcGenerator, 0x05, chassisIntrusion, specific, 0x00),
        event(t1 + 3 * hour + 20 * minute, bmcGenerator, 0x05, chassisIntrusion, deassertion | specific, 0x00),
        event(t1 + 5 * hour, bmcGenerator, 0x2A, 0x74, specific, 0x00, 0x02, 0x01),  // session activated
        // Day two: correctable memory errors, then a PCIe card misbehaves.
        event(t2, bmcGenerator, 0x0C, memoryEvents, specific, 0xA0, 0x1A, 0x01),
        event(t2 + 17 * minute, bmcGenerator, 0x0C, memoryEvents, specific, 0xA0, 0x2B, 0x00),
        event(t2 + 3 * hour, bmcGenerator, 0x0C, memoryEvents, specific, 0xA1, 0x1A, 0x01),
        event(t2 + 3 * hour + 1, bmcGenerator, 0x13, criticalInterrupts, specific, 0xA5, 0x03, 0x0A),
        event(t2 + 3 * hour + 2, bmcGenerator, 0x13, criticalInterrupts, specific, 0xA4, 0x5E, 0x00),
        event(t2 + 3 * hour + 40, bmcGenerator, 0x23, watchdog, specific, 0x01),      // watchdog hard reset
        // Day three: PS2 is pulled and replaced by the wrong model, while the room warms up.
        event(t3, bmcGenerator, 0x08, ps2Status, specific, 0x03),                 // AC lost
        event(t3, bmcGenerator, 0x08, psRedundancy, redundancy, 0x01),            // redundancy lost
        event(t3 + 6 * minute, bmcGenerator, 0x08, ps2Status, deassertion | specific, 0x03),
        event(t3 + 6 * minute + 2, bmcGenerator, 0x08, ps2Status, specific, 0xA6, 0x03, 0x00),  // rating mismatch
        event(t3 + 9 * minute, bmcGenerator, 0x08, psRedundancy, redundancy, 0x00),  // regained
        event(t3 + 2 * hour, bmcGenerator, 0x04, fan3, threshold, 0x52, 0x05, 0x07),  // FAN3 lower critical
        event(t3 + 2 * hour + 12, bmcGenerator, 0x01, cpu1Temp, threshold, 0x57, 0x56, 0x55),
        event(t3 + 2 * hour + 40, bmcGenerator, 0x01, cpu1Temp, threshold, 0x59, 0x5B, 0x5A),
        event(t3 + 2 * hour + 41, bmcGenerator, 0x01, cpu2Temp, threshold, 0x57, 0x57, 0x55),
        event(t3 + 2 * hour + 55, bmcGenerator, 0x02, v12, threshold, 0x52, 0xA8, 0xAA),
        event(t3 + 3 * hour, bmcGenerator, 0x01, cpu1Temp, deassertion | threshold, 0x59, 0x50, 0x5A),
        event(t3 + 3 * hour + 5, bmcGenerator, 0x04, fan3, deassertion | threshold, 0x52, 0x10, 0x07),
        event(t3 + 3 * hour + 6, bmcGenerator, 0x04, fan1, 0x05, 0x01),          // fan speed limit exceeded
        // Board and firmware OEM events.
        event(t3 + 4 * hour, bmcGenerator, 0xC3, 0x90, specific, 0x03),           // PCH hot
        event(t3 + 4 * hour + 30, bmcGenerator, 0xC2, 0x91, specific, 0x00, 0x1C),  // CPLD: CATERR
        event(t3 + 5 * hour, biosGenerator, 0xCB, 0x92, specific, 0x00, 0x00, 0x05),  // QPI error
        event(t3 + 6 * hour, bmcGenerator, 0xCA, 0x93, specific, 0x01, 0x00),     // OOB build date
        event(t3 + 7 * hour, bmcGenerator, 0xC6, 0x94, specific, 0x00),           // battery backup timer
        event(t3 + 8 * hour, bmcGenerator, 0xC7, 0x95, specific, 0x01, 0x02),     // coprocessor throttle
    };
    for (const SelEvent& e : log) sel.addEvent(e);

    // Firmware records in OEM formats.
    sel.add(oemTimestampedSelRecord(0xC1, t3 + 9 * hour, 0x00FEDC, {0xD5, 0xF3, 0x00, 0x12, 0x34, 0x56}));
    sel.add(oemSelRecord(0xE2, {0x5A, 0x10, 0x00, 0x00, 0x21, 0x43, 0x65, 0xE5, 0xF3, 0x00, 0x00, 0x00, 0x00}));
}

}  // namespace testkit
