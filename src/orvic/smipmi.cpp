// IPMI command dispatch and the interface probe.
#include "smipmi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel_select.h"
#include "kcs_linux.h"
#include "transport_state.h"

namespace {

constexpr BYTE ipmiVersion20 = 0x02;
constexpr BYTE ipmiVersion15 = 0x51;
constexpr int deviceIdVersionIndex = 7;  // response image: cc at 2, data from 3, version is data 4

// The probe's images need no clearing: a request is sent as long as it says, and only the
// answer's own bytes (resp_data_len) are read back.
bool probeOnce(int dataPort, int statusPort, BYTE wantedVersion) {
    kcs_SelectPorts(dataPort, statusPort);
    RequestCmd[0] = static_cast<unsigned char>(vkt::netFnApp << 2);
    RequestCmd[1] = vkt::cmdGetDeviceId;
    resp_data_len = 0;
    // A port pair that nothing decodes fails this attempt, not the process.
    bool& probing = vkt::transport().kcs.probing;
    probing = true;
    kcs_Interface(RequestCmd, ResponseBuf, 2, 0);
    probing = false;
    return resp_data_len > deviceIdVersionIndex && ResponseBuf[2] == vkt::ccSuccess &&
           ResponseBuf[deviceIdVersionIndex] == wantedVersion;
}

}  // namespace

int init_ipmi() {
    const bool found = probeOnce(kcsDataPortA, kcsStatusPortA, ipmiVersion20) ||
                       probeOnce(kcsDataPortB, kcsStatusPortB, ipmiVersion20) ||
                       probeOnce(kcsDataPortA, kcsStatusPortA, ipmiVersion15);
    if (!found) {
        kcs_ProbeFailed();
        return 1;
    }
    kcs_ProbeSucceeded();
    return 0;
}

int initIPMIInterface() {
    if (err != 0) return 6;
    err = init_ipmi();
    return err;
}

namespace {

// One request: the image is built, carried and read back only as far as each holds bytes,
// so nothing is cleared on the way; the caller's buffer receives exactly the answer's data.
BYTE dispatch(BYTE netFn, BYTE cmd, const BYTE* data, int dataLength, BYTE* respBuf, DWORD* respLength) {
    // While a request is bridged over IPMB the probe would go to the bridged controller,
    // not the BMC, and one that does not answer would cost three more waits.
    if (ipmb_switch == 0) initIPMIInterface();
    if (respLength != nullptr) *respLength = 0;

    // A request that does not fit the 128-byte image is refused without being sent.
    if (dataLength < 0 || dataLength > vkt::ipmiMaxRequestData || (dataLength > 0 && data == nullptr))
        return vkt::ccRequestLengthInvalid;

    unsigned char request[vkt::ipmiImageSize];
    unsigned char response[vkt::ipmiImageSize];
    request[0] = static_cast<unsigned char>((netFn & 0x3F) << 2);
    request[1] = cmd;
    if (dataLength > 0) memcpy(request + 2, data, static_cast<size_t>(dataLength));

    resp_data_len = 0;
    kcs_Interface(request, response, dataLength + 2, 0);

    int imageLength = resp_data_len;
    if (imageLength > vkt::ipmiImageSize) imageLength = vkt::ipmiImageSize;
    // Without a completion code there is no answer to hand back.
    if (imageLength < 3) return vkt::ccUnspecified;

    DWORD n = static_cast<DWORD>(imageLength - 3);
    if (respBuf != nullptr && n > 0) memcpy(respBuf, response + 3, n);
    if (respLength != nullptr) *respLength = n;
    return response[2];
}

}  // namespace

BYTE runIpmiCmd(BYTE /*ipmbAddr*/, BYTE netFn, BYTE cmd, BYTE* data, int dataLength, BYTE* respBuf,
                DWORD* respLength) {
    return dispatch(netFn, cmd, data, dataLength, respBuf, respLength);
}

char* completionCodeStr(BYTE cCode) {
    char* text = static_cast<char*>(malloc(32));
    if (text != nullptr) snprintf(text, 32, "Completion Code=%02Xh\n", cCode);
    return text;
}

namespace vkt {

IpmiReply ipmiRequest(BYTE netFn, BYTE cmd, const BYTE* data, int dataLength) {
    IpmiReply reply;
    reply.cc = dispatch(netFn, cmd, data, dataLength, reply.data.data(), &reply.length);
    if (reply.length > reply.data.size()) reply.length = static_cast<DWORD>(reply.data.size());
    return reply;
}

void reportFailure(const char* fmt, BYTE cc) {
    char* text = completionCodeStr(cc);
    fprintf(stderr, fmt, text != nullptr ? text : "");
    free(text);
}

bool reportedFailure(BYTE cc, const char* fmt) {
    if (cc == ccSuccess) return false;
    reportFailure(fmt, cc);
    return true;
}

}  // namespace vkt
