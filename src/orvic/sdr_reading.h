// Sensor readings: the two per-sensor commands, the IPMI analog conversion of raw bytes,
// unit texts and the simple discrete sensors. A sensor is addressed by its slot in the
// SDR table (sdr_util.h), which supplies its number, type, unit and conversion factors.
#ifndef VKT_SDR_READING_H
#define VKT_SDR_READING_H

#include <optional>

#include "byte_view.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "vkt_types.h"

namespace vkt {

constexpr BYTE cmdGetSensorThresholds = 0x27;
constexpr BYTE ccSensorNotPresent = 0xCB;

// Bytes of a Get Sensor Reading answer kept by getSensorReading.
constexpr int sensorReadingSize = 4;
constexpr BYTE readingFlagUnavailable = 0x20;  // flags byte, bit 5
constexpr BYTE rawReadingNone = 0xFF;

// Order of the six thresholds as Get Sensor Thresholds sends them.
enum ThresholdIndex { lowerNonCritical, lowerCritical, lowerNonRecoverable, upperNonCritical, upperCritical,
                      upperNonRecoverable, thresholdCount };

// Buffer sizes the text routines below rely on.
constexpr int sdrUnitTextSize = 8;           // longest unit text is "Watts"
constexpr int discreteStatusTextSize = 10;   // "Overheat"
constexpr int discreteValueTextSize = 12;    // "1A 00 04 00"

// Linearization codes of a full sensor record.
enum Linearization : BYTE {
    linearLinear = 0x00,
    linearLn = 0x01,
    linearLog10 = 0x02,
    linearExp10 = 0x05,
    linearInverse = 0x07,
    linearSquare = 0x08,
    linearSqrt = 0x0A,
    linearCubeRoot = 0x0B,
};

// Conversion factors of a record, already sign-extended.
struct SensorFactors {
    int m = 1;            // 10 bits, two's complement
    int b = 0;            // 10 bits, two's complement
    int rExponent = 0;    // 4 bits, two's complement
    int bExponent = 0;    // 4 bits, two's complement
    BYTE linearization = linearLinear;
};

// Readings and limits are printed as whole numbers of the library's int width; a value
// whose magnitude does not fit is no value at all.
constexpr double maxSensorMagnitude = 2147483647.0;

// Decodes the factors of a full sensor record. Factor bytes the record does not hold read
// as 00h.
SensorFactors decodeSensorFactors(ByteView record);
// (M * raw + B * 10^Bexp) * 10^Rexp, the raw byte taken unsigned.
double linearSensorValue(const SensorFactors& f, BYTE raw);
// The value of a reading: the linear value put through the record's linearization.
// Empty when the result is not finite or out of range.
std::optional<double> convertSensorReading(const SensorFactors& f, BYTE raw);
// The value of a threshold: only the square linearization applies to thresholds.
std::optional<double> convertSensorThreshold(const SensorFactors& f, BYTE raw);

// Get Sensor Reading of sensor `sensorNumber`: its answer, or nothing when the BMC refused.
std::optional<SensorReadingReply> readSensor(BYTE sensorNumber);

// Truncation toward zero of a decimal value that binary floating point may hold a hair
// below its true value (0.29 * 100 is 28.999...): the result is what the decimal value
// truncates to. Only for values within maxSensorMagnitude * 100.
long long truncDecimal(double v);

}  // namespace vkt

// Get Sensor Reading; on success copies up to 4 answer bytes into `reading` (bytes the BMC
// did not send are 00h).
BYTE getSensorReading(BYTE sensorNumber, BYTE* reading);
// 1 when the sensor answers with a reading other than FFh, 0 otherwise (also when the
// command fails).
int isReadingAvailable(BYTE index);
// Threshold conversion of `raw` with the factors of slot `index`; NaN when the bytes give
// no usable value.
double sdr_convert_sensor_reading(BYTE index, BYTE raw);
// Current reading of slot `index`, converted; NaN when the sensor gives no usable reading.
double calSensorReading(BYTE index);
// Get Sensor Thresholds into six doubles (see vkt::ThresholdIndex); the array is written
// only on success. A threshold byte that converts to no usable value reads as 0 (not set).
BYTE getThresholds(int index, BYTE sensorNumber, double* thresholds);
// Writes the unit text of the slot's base unit into `unit` (vkt::sdrUnitTextSize bytes);
// leaves it as it was for unit codes without a text.
void getSDRUnit(BYTE index, char* unit);
// Status and value texts of a simple discrete sensor (buffers of vkt::discreteStatusTextSize
// and vkt::discreteValueTextSize bytes).
void calSensorReadingDiscrete(BYTE index, char* status, char* value);

#endif
