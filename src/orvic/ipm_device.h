// What the BMC and the chassis can do, as the IPM device provider publishes it: multi-node or
// not, identify LED, a pending chassis intrusion, the current and the supported fan modes.
#ifndef VKT_IPM_DEVICE_H
#define VKT_IPM_DEVICE_H

#include <cstddef>

#include "vkt_types.h"

// The published texts; a query that failed leaves its text empty.
struct IpmDeviceTexts {
    char isMultiNode[10];
    char isLedEnabled[10];
    char isNeedToClearChassisIntrusion[10];
    char currentFanMode[20];
    char supportedFanModes[80];
};

// Runs every query (the node collector, the LED state, the sensor collector, the two fan
// mode queries) and fills `texts`.
void collectIpmDevice(IpmDeviceTexts* texts);

// Mode name of a fan mode code ("Standard" ... "PUE3 Optimal"), nullptr above 5.
const char* fanModeName(BYTE code);
// "0:Standard,1:Full,..." for the modes whose bits are set in `mask` (bits 6 and 7 ignored).
void formatSupportedFanModes(BYTE mask, char* list, size_t size);
// True when the first sensor-specific physical-security sensor of the sensor table
// reports anything but "OK"; false without such a sensor.
bool chassisIntrusionPending();

#endif
