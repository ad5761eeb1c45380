// The simulated BMC's SDR repository and sensors.
#ifndef TESTKIT_SDR_MODEL_H
#define TESTKIT_SDR_MODEL_H

#include "sim_bmc.h"

namespace testkit {

struct SdrModel {
    void install(SimBmc& bmc);
};

}  // namespace testkit

#endif
