// The simulated BMC's system event log.
#ifndef TESTKIT_SEL_MODEL_H
#define TESTKIT_SEL_MODEL_H

#include "sim_bmc.h"

namespace testkit {

struct SelModel {
    void install(SimBmc& bmc);
};

}  // namespace testkit

#endif
