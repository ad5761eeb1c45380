#include "transport_state.h"

int err = 0;
int resp_data_len = 0;
BYTE ipmb_target_addr = 0;
BYTE ipmb_switch = 0;
BYTE open_ipmi_drv = 0;
unsigned char RequestCmd[128];
unsigned char ResponseBuf[128];

namespace vkt {

namespace {

// Time-outs in a row after which a call stops asking.
constexpr int timeoutsBeforeGivingUp = 2;

bool inCall = false;
int consecutiveTimeouts = 0;

}  // namespace

void beginTransportCall() {
    inCall = true;
    consecutiveTimeouts = 0;
}

void endTransportCall() {
    inCall = false;
    consecutiveTimeouts = 0;
}

void noteBmcResponse(bool timedOut) {
    if (!inCall) return;
    consecutiveTimeouts = timedOut ? consecutiveTimeouts + 1 : 0;
}

bool bmcGivenUp() { return inCall && consecutiveTimeouts >= timeoutsBeforeGivingUp; }

}  // namespace vkt
