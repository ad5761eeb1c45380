// The transport's state: one context object that owns everything dispatch, the channel
// selector, the OpenIPMI device channel, the KCS port channel and the bridge keep between
// requests, and the one way to configure it and to put it back to its load-time state.
// Internal to the transport (and to the tests that look inside it): collectors reach the
// BMC through smipmi.h alone and never include this.
#ifndef VKT_TRANSPORT_STATE_H
#define VKT_TRANSPORT_STATE_H

#include <signal.h>
#include <sys/time.h>

#include "ipmi_defs.h"
#include "kcs2_linux.h"
#include "vkt_types.h"

namespace vkt {

class PortIo;
class KcsExchangeClock;

// What a program may choose about the transport. The library itself never changes it; test
// programs point it at their simulated ports and files.
struct TransportConfig {
    // Where the KCS registers are read and written (nullptr: the processor's I/O ports). The
    // port range must be granted once before the first access; a new backend asks again.
    PortIo* portIo = nullptr;
    // Where the KCS channel learns which driver owns which I/O ports, in the kernel's format:
    // "start-end : name", two spaces of indent per level of nesting.
    char ioportsPath[256] = "/proc/ioports";
    // Processes that drive the ports take turns: each exchange holds an advisory lock on
    // this file and waits at most this long for it. Its directory is made (mode 0700) when
    // missing, and is used only while it belongs to this process's user alone.
    char kcsLockPath[256] = "/run/varkolt/kcs.lock";
    int kcsLockWaitMs = 5000;
    // How long a request on the OpenIPMI device waits for its answer before it counts as
    // timed out (C3h). The kernel driver retries and answers a silent BMC itself well
    // within this.
    int openIpmiResponseTimeoutMs = 30000;
};

// How many of the latest KCS waits that had to sleep the channel remembers.
constexpr int kcsRememberedWaits = 4;

struct Transport {
    TransportConfig config;

    // ---- dispatch and the interface probe
    int probeFailed = 0;         // 1 once an interface probe failed; no further probes then
    int replyLength = 0;         // length of the last response image
    BYTE bridgeTarget = 0;       // non-zero and not 20h: device requests go over IPMB to it
    BYTE bridging = 0;           // set while a bridged request is in flight
    BYTE deviceCarried = 0;      // 1 once the OpenIPMI device carried a command
    unsigned char probeRequest[ipmiImageSize] = {};   // the probe's request image
    unsigned char probeResponse[ipmiImageSize] = {};  // and its response image

    // ---- giving up on a BMC that stopped answering, within one call into the library
    bool inCall = false;
    int consecutiveTimeouts = 0;

    // ---- the channel selector
    int rootPermission = -1;  // -1 until the first check, then 1 (root) or 0

    // ---- the OpenIPMI device channel
    ipmi_intf device = {
        "open",
        "Linux OpenIPMI Interface",
        0,        // fd
        0,        // opened
        0,        // abort
        0,        // noanswer
        nullptr,  // session
        nullptr,  // oem
        nullptr,  // cmdlist
        bmcSlaveAddr,
        bmcSlaveAddr,
        0,  // target_lun
        0,  // target_channel
        0,  // transit_addr
        0,  // transit_channel
        0,  // devnum
        nullptr,
        ipmi_openipmi_open,
        ipmi_openipmi_close,
        ipmi_openipmi_send_cmd,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    uint32_t deviceSequence = 0;  // message id of the next request sent
    ipmi_rs deviceAnswer = {};    // the answer record handed back by the send operation

    // ---- the KCS port channel
    struct Kcs {
        int dataPort = 0;    // 0 until the probe chooses a pair
        int statusPort = 0;
        int probedData = 0;  // the pair of the last probe that found a BMC (0: none yet)
        int probedStatus = 0;
        bool probing = false;  // an absent interface fails the attempt instead of the process
        bool portsGranted = false;
        bool ownerNoticeGiven = false;
        bool unknownOwnerNoticeGiven = false;
        bool lockNoticeGiven = false;  // the lock's place was refused and said so
        // The one-second alarm's handler record and timer value, and the exchange under
        // way that borrowed SIGALRM and the interval timer (nullptr: none).
        struct sigaction alarmAction = {};
        itimerval alarmTimer = {};
        KcsExchangeClock* clock = nullptr;
        // For how long each of the latest waits that had to sleep saw its flag not ready, in
        // microseconds: the BMC's pace, which the next such wait sleeps through in one go.
        long long recentWaitsUs[kcsRememberedWaits] = {};
        int recentWaits = 0;  // how many of them are known, up to kcsRememberedWaits
        int nextRecentWait = 0;
    } kcs;

    // ---- the bridge over the KCS ports
    BYTE bridgeSequence = 0;  // sequence number of the next request
};

// The process's transport.
Transport& transport();

// Applies `config`, keeping the rest of the state.
void configureTransport(const TransportConfig& config);
// Back to the load-time state under `config`: the device closed, no probe made or failed,
// no IPMB target, no KCS port pair chosen, root not yet checked, nothing remembered.
void resetTransport(const TransportConfig& config = TransportConfig());

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

// The transport's state under the names the rest of the transport and the bridge know it
// by; each is a view of the context above.
extern int& err;                         // probeFailed
extern int& resp_data_len;               // replyLength
extern BYTE& ipmb_target_addr;           // bridgeTarget
extern BYTE& ipmb_switch;                // bridging
extern BYTE& open_ipmi_drv;              // deviceCarried
extern unsigned char (&RequestCmd)[128];   // probeRequest
extern unsigned char (&ResponseBuf)[128];  // probeResponse
extern ipmi_intf& ipmi_open_intf;        // device
extern int& KCS_DATA;                    // kcs.dataPort
extern int& KCS_STATUS;                  // kcs.statusPort

#endif
