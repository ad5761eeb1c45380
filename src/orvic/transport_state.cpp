#include "transport_state.h"

namespace vkt {

namespace {

// The context as the library loads. Being a constant, it also makes sure the live context
// below is set up before any code runs (a test program configures the transport from its
// own static initialisers), and every reset copies it.
constexpr Transport loadTime{};

Transport context = loadTime;

// Time-outs in a row after which a call stops asking.
constexpr int timeoutsBeforeGivingUp = 2;

}  // namespace

Transport& transport() { return context; }

void configureTransport(const TransportConfig& config) {
    if (config.portIo != context.config.portIo) context.kcs.portsGranted = false;
    context.config = config;
}

void resetTransport(const TransportConfig& config) {
    if (context.device.opened != 0) ipmi_openipmi_close(&context.device);
    context = loadTime;
    context.config = config;
}

void beginTransportCall() {
    context.inCall = true;
    context.consecutiveTimeouts = 0;
}

void endTransportCall() {
    context.inCall = false;
    context.consecutiveTimeouts = 0;
}

void noteBmcResponse(bool timedOut) {
    if (!context.inCall) return;
    context.consecutiveTimeouts = timedOut ? context.consecutiveTimeouts + 1 : 0;
}

bool bmcGivenUp() { return context.inCall && context.consecutiveTimeouts >= timeoutsBeforeGivingUp; }

}  // namespace vkt

// Bound to the context itself, not through transport(), so that they are ready before any
// code runs as well.
int& err = vkt::context.probeFailed;
int& resp_data_len = vkt::context.replyLength;
BYTE& ipmb_target_addr = vkt::context.bridgeTarget;
BYTE& ipmb_switch = vkt::context.bridging;
BYTE& open_ipmi_drv = vkt::context.deviceCarried;
unsigned char (&RequestCmd)[128] = vkt::context.probeRequest;
unsigned char (&ResponseBuf)[128] = vkt::context.probeResponse;
ipmi_intf& ipmi_open_intf = vkt::context.device;
int& KCS_DATA = vkt::context.kcs.dataPort;
int& KCS_STATUS = vkt::context.kcs.statusPort;
