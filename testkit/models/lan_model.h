// The simulated BMC's LAN configuration parameters and the host MAC address commands.
#ifndef TESTKIT_LAN_MODEL_H
#define TESTKIT_LAN_MODEL_H

#include "sim_bmc.h"

namespace testkit {

struct LanModel {
    void install(SimBmc& bmc);
};

}  // namespace testkit

#endif
