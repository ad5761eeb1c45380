// The simulated BMC's user accounts.
#ifndef TESTKIT_USER_MODEL_H
#define TESTKIT_USER_MODEL_H

#include "sim_bmc.h"

namespace testkit {

struct UserModel {
    void install(SimBmc& bmc);
};

}  // namespace testkit

#endif
