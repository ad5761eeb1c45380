// The simulated BMC's SDR repository and sensors: records as bytes in repository order,
// reservations, partial reads by offset, and per-sensor readings and thresholds.
//
//   SensorFields cpu;
//   cpu.name = "CPU Temp";
//   cpu.number = 0x01;
//   cpu.unit = 1;                          // degrees C
//   cpu.thresholds = {0, 5, 0, 0, 90, 0};  // lower critical 5, upper critical 90
//   server.sdr.addFull(cpu).reading = 45;
#ifndef TESTKIT_SDR_MODEL_H
#define TESTKIT_SDR_MODEL_H

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim_bmc.h"

namespace testkit {

// Field values of a sensor record; the builders below turn them into record bytes.
struct SensorFields {
    std::string name;              // ID string, 8-bit ASCII (up to 31 characters)
    uint8_t number = 0;            // sensor number
    uint8_t sensorType = 0x01;     // 01h temperature, 02h voltage, 04h fan, ...
    uint8_t readingType = 0x01;    // event/reading type; 01h threshold, 6Fh sensor-specific
    uint8_t unit = 0;              // base unit code: 1 C, 4 V, 18 RPM, ...
    int m = 1;                     // 10-bit signed
    int b = 0;                     // 10-bit signed
    int rExp = 0;                  // 4-bit signed result exponent
    int bExp = 0;                  // 4-bit signed B exponent
    uint8_t linearization = 0x00;  // 00h linear, 01h ln, 08h square, ...
    uint8_t entityId = 0x07;       // system board
    uint8_t entityInstance = 0x01;
    uint8_t ownerId = 0x20;
    // Raw thresholds in the order Get Sensor Thresholds sends them: lower non-critical,
    // lower critical, lower non-recoverable, upper non-critical, upper critical, upper
    // non-recoverable. A non-zero byte marks the threshold readable.
    std::array<uint8_t, 6> thresholds{};
};

// Record builders. Record ID and length bytes are filled in (the ID again by SdrModel::add).
Bytes fullSensorRecord(const SensorFields& f);
Bytes compactSensorRecord(const SensorFields& f);
Bytes eventOnlyRecord(const std::string& name, uint8_t number, uint8_t sensorType, uint8_t readingType);
Bytes fruLocatorRecord(const std::string& name, uint8_t fruDeviceId);
Bytes mcLocatorRecord(const std::string& name, uint8_t slaveAddr);
Bytes oemRecord(uint32_t manufacturerId, const Bytes& data);

// The raw byte that the linear conversion of `f` turns into (about) `value`.
uint8_t rawFor(const SensorFields& f, double value);

// What one sensor answers.
struct SensorState {
    uint8_t reading = 0;
    uint8_t flags = 0xC0;     // event messages and scanning enabled; bit 5: reading unavailable
    uint16_t states = 0;      // state bits 14:0 (byte 2: bits 7:0, byte 3: bits 14:8)
    bool threeBytes = false;  // answer without the state bits 14:8 byte
    std::optional<uint8_t> readingCc;     // Get Sensor Reading fails with this code
    std::optional<Bytes> readingAnswer;   // exact answer data instead of the fields above
    bool hasThresholds = false;           // otherwise Get Sensor Thresholds answers CDh
    uint8_t thresholdMask = 0;
    std::array<uint8_t, 6> thresholds{};  // raw, in answer order
    std::optional<uint8_t> thresholdsCc;  // Get Sensor Thresholds fails with this code

    // The reading that f's conversion turns into `value`.
    SensorState& value(const SensorFields& f, double v);
};

struct SdrModel {
    // Records in repository order; record IDs are bytes 0-1 of each.
    std::vector<Bytes> records;
    std::map<uint8_t, SensorState> sensors;
    uint8_t sdrVersion = 0x51;
    // Record count announced by Get SDR Repository Info (default: the number of records).
    std::optional<uint16_t> reportedCount;
    // Largest Get SDR read answered; a longer one answers CAh (cannot return that many).
    uint8_t maxReadCount = 123;
    // The reservation a partial read must carry (0: none taken yet).
    uint16_t reservation = 0;
    int reservationsMade = 0;
    // Called before each Get SDR is answered, e.g. to let another requester take the
    // reservation at a chosen moment.
    std::function<void(SdrModel&, const IpmiRequest&)> beforeGetSdr;
    // Record IDs removed by Delete SDR, in order.
    std::vector<uint16_t> deleted;

    // Appends a record with the next free record ID and returns that ID.
    uint16_t add(Bytes record);
    // Appends a full or compact sensor record and returns the sensor's state (thresholds
    // taken from the fields).
    SensorState& addFull(const SensorFields& f);
    SensorState& addCompact(const SensorFields& f);
    SensorState& sensor(uint8_t number) { return sensors[number]; }
    void clear();
    // Another requester reserves the repository: the current reservation is cancelled.
    void supersedeReservation();

    Bytes repositoryInfo() const;
    void install(SimBmc& bmc);

private:
    uint16_t nextRecordId_ = 1;
    SensorState& addSensor(Bytes record, const SensorFields& f);
};

}  // namespace testkit

#endif
