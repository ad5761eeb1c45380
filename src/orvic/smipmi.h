// IPMI command dispatch: the one call every collector uses and the interface probe. The
// top of the transport, and all of it that collectors see: the transport's state and its
// channels stay behind it.
#ifndef VKT_SMIPMI_H
#define VKT_SMIPMI_H

#include <array>

#include "byte_view.h"
#include "ipmi_defs.h"
#include "vkt_types.h"

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

// A complete answer: completion code and the data bytes. Only the first `length` bytes of
// `data` are the answer's (the rest is not even cleared); read them through `at` or `view`,
// where a byte the BMC did not send reads as 00h.
struct IpmiReply {
    BYTE cc = ccUnspecified;
    DWORD length = 0;
    std::array<BYTE, ipmiMaxResponseData> data;

    bool ok() const { return cc == ccSuccess; }
    // The data bytes received.
    ByteView view() const { return ByteView(data.data(), length < data.size() ? length : data.size()); }
    // Response data byte i, or 00h when the BMC did not send it.
    BYTE at(size_t i) const { return view()[i]; }
};

// One request through runIpmiCmd, its answer as an IpmiReply. (No default arguments here: with them, a call with a
// request array would bind to this overload and send no data at all.)
IpmiReply ipmiRequest(BYTE netFn, BYTE cmd, const BYTE* data, int dataLength);
inline IpmiReply ipmiRequest(BYTE netFn, BYTE cmd) { return ipmiRequest(netFn, cmd, nullptr, 0); }

template <size_t N>
IpmiReply ipmiRequest(BYTE netFn, BYTE cmd, const BYTE (&data)[N]) {
    return ipmiRequest(netFn, cmd, data, static_cast<int>(N));
}

// Prints `fmt` (one %s) with the completion-code text to standard error.
void reportFailure(const char* fmt, BYTE cc);
// True after reporting a failed step (`cc` other than success) through reportFailure.
bool reportedFailure(BYTE cc, const char* fmt);

}  // namespace vkt

#endif
