// The transport's process-wide state: the bottom of the transport. Dispatch, the channel
// selector and both channels include this and nothing above themselves.
#ifndef VKT_TRANSPORT_STATE_H
#define VKT_TRANSPORT_STATE_H

#include "vkt_types.h"

extern int err;                  // 1 once an interface probe failed; no further probes then
extern int resp_data_len;        // length of the last response image
extern BYTE ipmb_target_addr;    // non-zero and not 20h: bridge device requests over IPMB
extern BYTE ipmb_switch;         // set while a bridged request is in flight
extern BYTE open_ipmi_drv;       // 1 once the OpenIPMI device carried a command
extern unsigned char RequestCmd[128];   // request image of the interface probe
extern unsigned char ResponseBuf[128];  // response image of the interface probe

namespace vkt {

// A BMC that has stopped answering would make every request of a walk wait out the whole
// response bound. Within one call into the library (an enumeration or an exported
// routine), two consecutive response time-outs end the conversation: the remaining
// requests of that call fail at once with C3h. The next call starts afresh. Outside a
// call (internal use without the entry barrier) nothing is given up.
void beginTransportCall();
void endTransportCall();
// Outcome of one request addressed to the BMC itself: answered, or timed out (no answer
// within the bound, or the driver's own late time-out answer C3h).
void noteBmcResponse(bool timedOut);
// True when the current call has given up on the BMC.
bool bmcGivenUp();

}  // namespace vkt

#endif
