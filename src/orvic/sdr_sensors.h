// Sensor evaluation: the rules that judge each class of sensor, the process-wide sensor
// table `cim_sdr` that the sensors and IPM device providers publish from, and the fill pass.
// The collector that drives it, bmc_GetSDR (orvic_sdr.cpp), is declared in varkolt/bmc.h.
#ifndef VKT_SDR_SENSORS_H
#define VKT_SDR_SENSORS_H

#include "vkt_types.h"

// One evaluated sensor. Entry i belongs to SDR slot i, so only entries below
// sdrUsedSlotCount() (at most 128) are ever filled; texts are terminated and cut to their field.
struct struct_cim_sdr {
    char status[10];          // "OK", "Fail" or empty
    char sensor[30];          // the record's ID string; empty: nothing to publish
    BYTE sensorType;
    char sensorTypeName[20];
    BYTE readingType;         // event/reading type code
    char reading[40];
    char lowLimit[12];        // lower critical threshold
    char highLimit[12];       // upper critical threshold
};

constexpr int cimSdrEntryCount = 256;
extern struct_cim_sdr cim_sdr[cimSdrEntryCount];

// What the evaluation of one slot gives.
struct SensorEvaluation {
    char status[10];
    char reading[40];
    char lowLimit[12];
    char highLimit[12];
    char typeName[20];
    bool published;  // false: the slot yields no sensor (watchdog 2 read as a threshold sensor)
};

// Type name shown for a sensor type ("Temperature", "Voltage", "Fan", "Power Supply" or
// "Others").
const char* sensorTypeNameOf(BYTE sensorType);

// Evaluates the sensor of SDR slot `index`: reads it (and its thresholds) from the BMC and
// judges it by its class. `isAten` selects the firmware family's rule for zero readings.
void evaluateSensor(BYTE index, int isAten, SensorEvaluation* out);

// The fill pass: evaluates every sensor record of the SDR table into `cim_sdr`.
void printSDR();

#endif
