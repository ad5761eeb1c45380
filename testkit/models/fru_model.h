// The simulated BMC's FRU inventory device.
#ifndef TESTKIT_FRU_MODEL_H
#define TESTKIT_FRU_MODEL_H

#include "sim_bmc.h"

namespace testkit {

struct FruModel {
    void install(SimBmc& bmc);
};

}  // namespace testkit

#endif
