// Sensor readings, thresholds, unit texts and simple discrete sensors.
#include "sdr_reading.h"

#include <cmath>
#include <cstring>

#include "bounded.h"
#include "ipmi_defs.h"
#include "sdr_util.h"
#include "smipmi.h"

namespace vkt {

namespace {

constexpr int offLinearization = 23;
constexpr int offMLow = 24;
constexpr int offMHigh = 25;
constexpr int offBLow = 26;
constexpr int offBHigh = 27;
constexpr int offExponents = 29;

// A 10-bit factor: 8 low bits, then bits 7:6 of the next byte as bits 9:8.
int tenBitSigned(BYTE low, BYTE high) {
    int v = low | (high & 0xC0) << 2;
    return v > 511 ? (v & 0x1FF) - 512 : v;
}

int fourBitSigned(int nibble) { return nibble > 7 ? (nibble & 7) - 8 : nibble; }

double powerOfTen(int exponent) {
    static const double powers[] = {1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1,
                                    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7};
    // Exponents come from 4-bit fields, so -8..7 is the whole range.
    return exponent >= -8 && exponent <= 7 ? powers[exponent + 8] : std::pow(10.0, exponent);
}

std::optional<double> usable(double v) {
    if (!std::isfinite(v) || std::fabs(v) > maxSensorMagnitude) return std::nullopt;
    return v;
}

}  // namespace

SensorFactors decodeSensorFactors(ByteView record) {
    SensorFactors f;
    f.m = tenBitSigned(record[offMLow], record[offMHigh]);
    f.b = tenBitSigned(record[offBLow], record[offBHigh]);
    f.rExponent = fourBitSigned(record[offExponents] >> 4);
    f.bExponent = fourBitSigned(record[offExponents] & 0x0F);
    f.linearization = record[offLinearization];
    return f;
}

double linearSensorValue(const SensorFactors& f, BYTE raw) {
    return (f.m * static_cast<double>(raw) + f.b * powerOfTen(f.bExponent)) * powerOfTen(f.rExponent);
}

std::optional<double> convertSensorReading(const SensorFactors& f, BYTE raw) {
    const double v = linearSensorValue(f, raw);
    switch (f.linearization) {
        case linearLn: return usable(std::log(v));
        case linearLog10: return usable(std::log10(v));
        case linearExp10: return usable(std::pow(10.0, v));
        case linearInverse: return usable(1.0 / v);
        case linearSquare: return usable(v * v);
        case linearSqrt: return usable(std::sqrt(v));
        case linearCubeRoot: return usable(std::cbrt(v));
        default: return usable(v);
    }
}

std::optional<double> convertSensorThreshold(const SensorFactors& f, BYTE raw) {
    const double v = linearSensorValue(f, raw);
    return usable(f.linearization == linearSquare ? v * v : v);
}

long long truncDecimal(double v) {
    constexpr double limit = 9.0e18;
    if (!std::isfinite(v)) return 0;
    // A few units in the last place of slack, relative to the size of the value.
    const double slack = std::fabs(v) * 1e-12 + 1e-12;
    const double t = std::trunc(v + std::copysign(slack, v));
    if (t >= limit) return static_cast<long long>(limit);
    if (t <= -limit) return -static_cast<long long>(limit);
    return static_cast<long long>(t);
}

}  // namespace vkt

namespace {

vkt::IpmiReply sensorReadingRequest(BYTE sensorNumber) {
    const BYTE request[1] = {sensorNumber};
    return vkt::ipmiRequest(vkt::netFnSensorEvent, vkt::cmdGetSensorReading, request);
}

// Reads the sensor of a slot; `raw` receives the reading byte on success.
bool readRawValue(BYTE index, BYTE* raw) {
    const std::optional<vkt::SensorReadingReply> reading = vkt::readSensor(getSensorNumber(index));
    if (!reading) return false;
    *raw = reading->raw;
    return true;
}

}  // namespace

std::optional<vkt::SensorReadingReply> vkt::readSensor(BYTE sensorNumber) {
    const IpmiReply reply = sensorReadingRequest(sensorNumber);
    if (!reply.ok()) return std::nullopt;
    return SensorReadingReply::decode(reply.view());
}

BYTE getSensorReading(BYTE sensorNumber, BYTE* reading) {
    const vkt::IpmiReply reply = sensorReadingRequest(sensorNumber);
    if (reply.ok() && reading != nullptr) reply.view().copyTo(reading, 0, vkt::sensorReadingSize);
    return reply.cc;
}

// Any refusal means there is nothing to show, whether the sensor is absent (CBh) or the
// BMC could not read it right now.
int isReadingAvailable(BYTE index) {
    BYTE raw = 0;
    if (!readRawValue(index, &raw)) return 0;
    return raw == vkt::rawReadingNone ? 0 : 1;
}

double sdr_convert_sensor_reading(BYTE index, BYTE raw) {
    const vkt::ByteView record = vkt::sdrSlot(index);
    if (record.empty()) return std::nan("");
    return vkt::convertSensorThreshold(vkt::decodeSensorFactors(record), raw).value_or(std::nan(""));
}

double calSensorReading(BYTE index) {
    const vkt::ByteView record = vkt::sdrSlot(index);
    BYTE raw = 0;
    if (record.empty() || !readRawValue(index, &raw)) return std::nan("");
    return vkt::convertSensorReading(vkt::decodeSensorFactors(record), raw).value_or(std::nan(""));
}

BYTE getThresholds(int index, BYTE sensorNumber, double* thresholds) {
    const BYTE request[1] = {sensorNumber};
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnSensorEvent, vkt::cmdGetSensorThresholds, request);
    if (!reply.ok()) return reply.cc;
    if (thresholds == nullptr || index < 0 || index >= sdrSlotCount) return reply.cc;
    // The readable-threshold mask is not consulted: every byte is converted.
    const vkt::SensorThresholdsReply limits = vkt::SensorThresholdsReply::decode(reply.view());
    for (int k = 0; k < vkt::thresholdCount; ++k) {
        const double v = sdr_convert_sensor_reading(static_cast<BYTE>(index), limits.raw[static_cast<size_t>(k)]);
        thresholds[k] = std::isnan(v) ? 0.0 : v;
    }
    return reply.cc;
}

namespace {

// Texts of the base unit codes shown with readings; the other codes have none.
const char* unitText(BYTE code) {
    switch (code) {
        case 0: return " ";
        case 1: return "C";
        case 2: return "F";
        case 3: return "K";
        case 4: return "V";
        case 5: return "Amps";
        case 6: return "Watts";
        case 18: return "RPM";
        default: return nullptr;
    }
}

}  // namespace

void getSDRUnit(BYTE index, char* unit) {
    const vkt::ByteView record = vkt::sdrSlot(index);
    if (record.empty()) return;
    const char* text = unitText(record[vkt::sdrOffBaseUnit]);
    if (text != nullptr) vkt::copyText(unit, vkt::sdrUnitTextSize, text);
}

namespace {

constexpr BYTE sensorTypeOemC0 = 0xC0;
constexpr BYTE sensorTypePowerSupply = 0x08;

const char* oemC0Level(BYTE state) {
    switch (state) {
        case 0: return "Low";
        case 1: return "Medium";
        case 2: return "High";
        case 4: return "Overheat";
        default: return "N/A";
    }
}

}  // namespace

void calSensorReadingDiscrete(BYTE index, char* status, char* value) {
    const std::optional<vkt::SensorReadingReply> r = vkt::readSensor(getSensorNumber(index));
    if (!r) {
        vkt::copyText(status, vkt::discreteStatusTextSize, "");
        vkt::copyText(value, vkt::discreteValueTextSize, "N/A");
        return;
    }
    // These sensors keep their whole state in the first state byte.
    const BYTE firstStates = static_cast<BYTE>(r->states & 0xFF);
    const char* state = nullptr;
    const BYTE type = getSensorType(index);
    if (type == sensorTypeOemC0) {
        // An unavailable reading shows as a state outside the known levels.
        const BYTE level = (r->flags & vkt::readingFlagUnavailable) != 0 ? 7 : firstStates;
        state = oemC0Level(level);
    } else {
        state = firstStates == 0 || (type == sensorTypePowerSupply && firstStates == 1) ? "OK" : "Fail";
    }
    vkt::copyText(status, vkt::discreteStatusTextSize, state);
    if (strcmp(state, "N/A") == 0)
        vkt::copyText(value, vkt::discreteValueTextSize, "N/A");
    else
        vkt::formatText(value, vkt::discreteValueTextSize, "%02X %02X %02X %02X", r->raw, r->flags, firstStates,
                        r->states >> 8);
}
