// The rack server's OEM (netFn 30h) commands for the identify LED, chassis intrusion and
// the fan mode.
#ifndef TESTKIT_OEM_MODEL_H
#define TESTKIT_OEM_MODEL_H

#include "sim_bmc.h"

namespace testkit {

struct OemModel {
    bool ledOn = false;
    uint8_t fanMode = 0;             // 0..5
    uint8_t supportedFanModes = 0x3F;  // bit k: mode k
    bool intrusionLatched = false;
    int intrusionClears = 0;

    void install(SimBmc& bmc);
};

}  // namespace testkit

#endif
