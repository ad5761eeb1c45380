// IPMI command dispatch: the one call every collector uses, the interface probe and the
// process-wide transport state shared by the channels.
#ifndef VKT_SMIPMI_H
#define VKT_SMIPMI_H

#include <array>

#include "ipmi_defs.h"
#include "vkt_types.h"

// Process-wide transport state.
extern int err;                  // 1 once an interface probe failed; no further probes then
extern int resp_data_len;        // length of the last response image, set by the channel
extern BYTE ipmb_target_addr;    // non-zero and not 20h: bridge device requests over IPMB
extern BYTE ipmb_switch;         // set while a bridged request is in flight
extern BYTE open_ipmi_drv;       // 1 once the OpenIPMI device carried a command
extern unsigned char RequestCmd[128];
extern unsigned char ResponseBuf[128];

// Sends one request to the BMC and returns its completion code. `respBuf` receives the
// response data (room for 125 bytes), `respLength` their number. `ipmbAddr` is not used.
BYTE runIpmiCmd(BYTE ipmbAddr, BYTE netFn, BYTE cmd, BYTE* data, int dataLength, BYTE* respBuf,
                DWORD* respLength);

// 6 when a probe already failed, else the result of a new probe (0 = BMC found, 1 = none).
int initIPMIInterface();
int init_ipmi();

// Newly allocated "Completion Code=%02Xh\n"; the caller frees it.
char* completionCodeStr(BYTE cCode);

namespace vkt {

// A complete answer: completion code and the data bytes, zero beyond what was received.
struct IpmiReply {
    BYTE cc = ccUnspecified;
    DWORD length = 0;
    std::array<BYTE, ipmiMaxResponseData> data{};

    bool ok() const { return cc == ccSuccess; }
    // Response data byte i, or 00h when the BMC did not send it.
    BYTE at(size_t i) const { return i < length && i < data.size() ? data[i] : 0; }
};

// runIpmiCmd on a zero-filled reply. (No default arguments here: with them, a call with a
// request array would bind to this overload and send no data at all.)
IpmiReply ipmiRequest(BYTE netFn, BYTE cmd, const BYTE* data, int dataLength);
inline IpmiReply ipmiRequest(BYTE netFn, BYTE cmd) { return ipmiRequest(netFn, cmd, nullptr, 0); }

template <size_t N>
IpmiReply ipmiRequest(BYTE netFn, BYTE cmd, const BYTE (&data)[N]) {
    return ipmiRequest(netFn, cmd, data, static_cast<int>(N));
}

// Prints `fmt` (one %s) with the completion-code text to standard error.
void reportFailure(const char* fmt, BYTE cc);

}  // namespace vkt

#endif
