// Sensor evaluation and the sensor table.
//
// A slot is judged by the first class that applies: generic discrete (event/reading types
// 03h, 06h, 09h), sensor-specific discrete (6Fh), simple discrete by sensor type, and
// otherwise threshold sensors, which split by unit into whole-number readings, drive slots,
// watchdog 2 (not shown) and decimal readings. Every failed command becomes a text
// ("N/A", "No reading", an empty status); nothing here prints.
#include "sdr_sensors.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <optional>

#include "bounded.h"
#include "generic_util.h"
#include "ipmi_defs.h"
#include "sdr_reading.h"
#include "sdr_util.h"
#include "sel_tables.h"

struct_cim_sdr cim_sdr[cimSdrEntryCount];

namespace {

// Event/reading type codes.
constexpr BYTE readingTypeDigital = 0x03;
constexpr BYTE readingTypePerformance = 0x06;
constexpr BYTE readingTypeEnable = 0x09;
constexpr BYTE readingTypeSensorSpecific = 0x6F;

// Sensor type codes.
constexpr BYTE sensorTemperature = 0x01;
constexpr BYTE sensorVoltage = 0x02;
constexpr BYTE sensorFan = 0x04;
constexpr BYTE sensorPhysicalSecurity = 0x05;
constexpr BYTE sensorProcessor = 0x07;
constexpr BYTE sensorPowerSupply = 0x08;
constexpr BYTE sensorMemory = 0x0C;
constexpr BYTE sensorDriveSlot = 0x0D;
constexpr BYTE sensorModuleBoard = 0x15;
constexpr BYTE sensorWatchdog2 = 0x23;
constexpr BYTE sensorOemC0 = 0xC0;

// Base unit codes read as whole numbers.
constexpr BYTE unitCelsius = 1;
constexpr BYTE unitFahrenheit = 2;
constexpr BYTE unitKelvin = 3;
constexpr BYTE unitWatts = 6;
constexpr BYTE unitRpm = 18;

constexpr const char* notAvailable = "N/A";

template <size_t N>
void setText(char (&field)[N], const char* text) {
    vkt::copyText(field, text);
}

int highestBit(unsigned bits, int width) {
    for (int b = width - 1; b >= 0; --b)
        if ((bits >> b & 1U) != 0) return b;
    return -1;
}

// Offset of a generic discrete state: only state bits 0 to 4 count.
int genericIndex(const vkt::SensorReadingReply& r) { return highestBit(r.states & 0x1FU, 5); }

// Offset of a sensor-specific state: state bits 0 to 14.
int sensorSpecificIndex(const vkt::SensorReadingReply& r) { return highestBit(r.states & 0x7FFFU, 15); }

// Readings whose byte 7 is set are negative numbers the BMC sent as unsigned bytes.
double signFix(double v) {
    const unsigned t = static_cast<unsigned>(vkt::truncDecimal(v)) & 0xFFFFU;
    return (t & 0x80U) != 0 ? static_cast<double>(static_cast<int>(t & 0xFFU) - 256) : v;
}

template <size_t N>
void formatCelsius(char (&field)[N], double v) {
    vkt::formatText(field, N, "%lldC/%lldF", vkt::truncDecimal(v), vkt::truncDecimal(v * 1.8 + 32 + 0.5));
}

template <size_t N>
void formatWhole(char (&field)[N], double v, const char* unit) {
    vkt::formatText(field, N, "%lld %s", vkt::truncDecimal(v), unit);
}

// Hundredths are cut, not rounded: 12.347 shows as 12.34.
template <size_t N>
void formatHundredths(char (&field)[N], double v, const char* unit) {
    vkt::formatText(field, N, "%.2f %s", static_cast<double>(vkt::truncDecimal(v * 100)) / 100, unit);
}

void evaluateGenericDiscrete(BYTE index, BYTE readingType, SensorEvaluation& e) {
    const std::optional<vkt::SensorReadingReply> r = vkt::readSensor(getSensorNumber(index));
    if (!r) {
        setText(e.reading, notAvailable);
        return;
    }
    const int n = genericIndex(*r);
    const ipmi_event_sensor_types* row =
        n < 0 ? nullptr : findEventRow(generic_event_types, readingType, static_cast<BYTE>(n), -1);
    setText(e.reading, row != nullptr ? row->desc : notAvailable);
    const char* status = "";
    if (readingType == readingTypeDigital && (n == 0 || n == 1)) status = "OK";
    if (readingType == readingTypePerformance && n == 0) status = "OK";
    if (readingType == readingTypePerformance && n == 1) status = "Fail";
    if (readingType == readingTypeEnable && n == 1) status = "OK";
    setText(e.status, status);
}

// The states that mean "present and fine" for the sensor types judged by their state.
const char* sensorSpecificStatus(BYTE type, int n) {
    switch (type) {
        case sensorPhysicalSecurity: return "Fail";
        case sensorProcessor: return n == 7 ? "OK" : "Fail";
        case sensorPowerSupply: return n == 0 ? "OK" : "Fail";
        case sensorMemory: return n == 6 ? "OK" : "Fail";
        case sensorDriveSlot: return n == 0 || n == 4 ? "OK" : "Fail";
        default: return "";
    }
}

void evaluateSensorSpecific(BYTE index, BYTE type, SensorEvaluation& e) {
    const std::optional<vkt::SensorReadingReply> r = vkt::readSensor(getSensorNumber(index));
    if (!r) {
        setText(e.reading, notAvailable);
        return;
    }
    const int n = sensorSpecificIndex(*r);
    if (n < 0) {
        if (type == sensorPhysicalSecurity) {
            setText(e.reading, "OK");
            setText(e.status, "OK");
        } else {
            setText(e.reading, type == sensorDriveSlot ? "Not Present" : notAvailable);
        }
        return;
    }
    // Event data 2 restrictions of the table do not apply to state bits.
    const EventTable table = sensorSpecificTable(type);
    const ipmi_event_sensor_types* row = findEventRow(table.rows, table.count, type, static_cast<BYTE>(n), -1);
    setText(e.reading, row != nullptr ? row->desc : notAvailable);
    setText(e.status, sensorSpecificStatus(type, n));
}

void evaluateSimpleDiscrete(BYTE index, SensorEvaluation& e) {
    char status[vkt::discreteStatusTextSize] = {};
    char value[vkt::discreteValueTextSize] = {};
    calSensorReadingDiscrete(index, status, value);
    setText(e.reading, value);
    if (strcmp(status, "Fail") == 0)
        setText(e.status, "Fail");
    else if (status[0] != '\0' && strcmp(status, notAvailable) != 0)
        setText(e.status, "OK");  // "OK" and the OEM levels "Low" ... "Overheat"
}

struct DriveSlotState {
    const char* status;
    const char* text;
};

// By state bit, lower bits first: the first state that is set decides.
const DriveSlotState driveSlotStates[] = {
    {"OK", "Drive Presence"},
    {"Fail", "Drive Fault"},
    {"Fail", "Predictive Failure"},
    {"Fail", "Hot Spare"},
    {"OK", "Consistency Check/Parity Check in progress"},
    {"Fail", "In Critical Array"},
    {"Fail", "In Failed Array"},
    {"Fail", "Rebuild/Remap in progress"},
    {"Fail", "Rebuild/Remap Aborted (was not completed normally)"},
};

void evaluateDriveSlot(BYTE index, SensorEvaluation& e) {
    setText(e.lowLimit, "");
    setText(e.highLimit, "");
    const std::optional<vkt::SensorReadingReply> r = vkt::readSensor(getSensorNumber(index));
    if (!r) {
        setText(e.reading, "No reading");
        return;
    }
    for (size_t bit = 0; bit < std::size(driveSlotStates); ++bit) {
        if ((r->states >> bit & 1U) != 0) {
            setText(e.status, driveSlotStates[bit].status);
            setText(e.reading, driveSlotStates[bit].text);
            return;
        }
    }
    if (r->states == 0) {
        setText(e.reading, "Not Present");
    } else {
        setText(e.status, "Fail");
        setText(e.reading, "Unknown");
    }
}

bool isWholeNumberUnit(BYTE unit) {
    return unit == unitCelsius || unit == unitFahrenheit || unit == unitKelvin || unit == unitWatts ||
           unit == unitRpm;
}

// Temperatures, fans and power: whole numbers, and limits compared with the reading.
void evaluateWholeNumbers(BYTE index, BYTE unitCode, const char* unit, int avail, double low, double high,
                          int isAten, SensorEvaluation& e) {
    // A reading that cannot be fetched or converted is shown like an unavailable one.
    const double r0 = avail == 1 ? calSensorReading(index) : std::nan("");
    if (std::isnan(r0)) {
        setText(e.reading, notAvailable);
        return;  // both limits stay "N/A"
    }
    double r = r0;
    if (unitCode == unitCelsius) {
        low = signFix(low);
        high = signFix(high);
        if (r == 0) {
            setText(e.reading, notAvailable);
        } else {
            r = signFix(r);
            formatCelsius(e.reading, r);
        }
        if (vkt::truncDecimal(low) != 0) formatCelsius(e.lowLimit, low);
        if (vkt::truncDecimal(high) != 0) formatCelsius(e.highLimit, high);
    } else {
        if (r == 0)
            setText(e.reading, notAvailable);
        else
            formatWhole(e.reading, r, unit);
        if (vkt::truncDecimal(low) != 0) formatWhole(e.lowLimit, low, unit);
        if (vkt::truncDecimal(high) != 0) formatWhole(e.highLimit, high, unit);
    }
    if (r0 != 0) {
        const bool outside = (low != 0 && r < low) || (high != 0 && r > high);
        setText(e.status, outside ? "Fail" : "OK");
    } else if (isAten == 1 && (low != 0 || high != 0)) {
        // This firmware family reports a stopped fan or a dead sensor as 0.
        setText(e.status, "Fail");
    }
}

// Voltages, currents and the rest: hundredths, limits shown but not compared.
void evaluateDecimal(BYTE index, const char* unit, int avail, double low, double high, SensorEvaluation& e) {
    const double r = avail == 1 ? calSensorReading(index) : std::nan("");
    if (std::isnan(r) || r == 0) {
        setText(e.reading, notAvailable);
    } else {
        formatHundredths(e.reading, r, unit);
        setText(e.status, "OK");
    }
    if (low != 0) formatHundredths(e.lowLimit, low, unit);
    if (high != 0) formatHundredths(e.highLimit, high, unit);
}

void evaluateThreshold(BYTE index, BYTE type, int isAten, SensorEvaluation& e) {
    const int avail = isReadingAvailable(index);
    double thresholds[vkt::thresholdCount] = {};
    getThresholds(index, getSensorNumber(index), thresholds);  // on failure the limits stay 0: not set
    const double low = thresholds[vkt::lowerCritical];
    const double high = thresholds[vkt::upperCritical];

    char unit[vkt::sdrUnitTextSize] = "";
    getSDRUnit(index, unit);
    const BYTE unitCode = vkt::sdrSlot(index)[vkt::sdrOffBaseUnit];

    if (isWholeNumberUnit(unitCode))
        evaluateWholeNumbers(index, unitCode, unit, avail, low, high, isAten, e);
    else if (type == sensorDriveSlot)
        evaluateDriveSlot(index, e);
    else if (type == sensorWatchdog2)
        e.published = false;
    else
        evaluateDecimal(index, unit, avail, low, high, e);
}

bool isSimpleDiscreteType(BYTE type) {
    return type == sensorPowerSupply || type == sensorPhysicalSecurity || type == sensorProcessor ||
           type == sensorModuleBoard || type == sensorOemC0;
}

bool isSensorRecord(BYTE recordType) {
    return recordType == vkt::sdrTypeFullSensor || recordType == vkt::sdrTypeCompactSensor;
}

void readSensorName(BYTE index, BYTE recordType, char (&name)[vkt::sdrNameBufferSize]) {
    memset(name, 0, sizeof name);
    if (recordType == vkt::sdrTypeFullSensor)
        getSensorIDString(index, getSensorIDStringLength(index), name);
    else
        getSensorIDType2String(index, getSensorIDType2StringLength(index), name);
}

}  // namespace

const char* sensorTypeNameOf(BYTE sensorType) {
    switch (sensorType) {
        case sensorTemperature: return "Temperature";
        case sensorVoltage: return "Voltage";
        case sensorFan: return "Fan";
        case sensorPowerSupply: return "Power Supply";
        case sensorOemC0: return "Temperature";
        default: return "Others";
    }
}

void evaluateSensor(BYTE index, int isAten, SensorEvaluation* out) {
    if (out == nullptr) return;
    SensorEvaluation& e = *out;
    e = SensorEvaluation{};
    e.published = true;
    setText(e.lowLimit, notAvailable);
    setText(e.highLimit, notAvailable);
    const BYTE type = getSensorType(index);
    const BYTE readingType = getReadingType(index);
    setText(e.typeName, sensorTypeNameOf(type));

    if (readingType == readingTypeDigital || readingType == readingTypePerformance ||
        readingType == readingTypeEnable)
        evaluateGenericDiscrete(index, readingType, e);
    else if (readingType == readingTypeSensorSpecific)
        evaluateSensorSpecific(index, type, e);
    else if (isSimpleDiscreteType(type))
        evaluateSimpleDiscrete(index, e);
    else
        evaluateThreshold(index, type, isAten, e);
}

void printSDR() {
    const int isAten = isAtenFamily() ? 1 : 0;
    const int slots = sdrUsedSlotCount();
    for (int i = 0; i < slots; ++i) {
        const BYTE index = static_cast<BYTE>(i);
        struct_cim_sdr& entry = cim_sdr[i];
        const BYTE recordType = getRecordType(index);
        if (!isSensorRecord(recordType)) {
            // The position may have held a sensor in an earlier pass; it must not be
            // published (or read for its state) as if it still did.
            entry = struct_cim_sdr{};
        }
        setText(entry.lowLimit, notAvailable);
        setText(entry.highLimit, notAvailable);
        if (!isSensorRecord(recordType)) continue;

        entry.sensorType = getSensorType(index);
        entry.readingType = getReadingType(index);
        char name[vkt::sdrNameBufferSize];
        readSensorName(index, recordType, name);

        SensorEvaluation e;
        evaluateSensor(index, isAten, &e);
        if (!e.published) {
            // Not shown, and no earlier sensor's texts may be shown in its place.
            setText(entry.status, "");
            setText(entry.sensor, "");
            setText(entry.sensorTypeName, "");
            setText(entry.reading, "");
            continue;
        }
        setText(entry.status, e.status);
        setText(entry.sensor, name);
        setText(entry.sensorTypeName, e.typeName);
        setText(entry.reading, e.reading);
        setText(entry.lowLimit, e.lowLimit);
        setText(entry.highLimit, e.highLimit);
    }
}
