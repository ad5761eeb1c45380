#include "channel_select.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "ipmi_defs.h"
#include "kcs2_linux.h"
#include "kcs_linux.h"
#include "transport_state.h"

namespace {

constexpr int exitNotRoot = 42;

// Stands in for an answer when no channel could carry the request.
void failureImage(unsigned char* ResponseBuf, BYTE cc) {
    ResponseBuf[0] = 0;
    ResponseBuf[1] = 0;
    ResponseBuf[2] = cc;
    resp_data_len = 3;
}

}  // namespace

void checkRootPermission() {
    int& isRootPermission = vkt::transport().rootPermission;
    if (isRootPermission < 0) isRootPermission = getuid() == 0 ? 1 : 0;
    if (isRootPermission == 0) {
        fputs("Please use root permission to launch Orvic.\n", stderr);
        exit(exitNotRoot);
    }
}

int kcs_Interface(unsigned char* RequestCmd, unsigned char* ResponseBuf, int kcs_ReqLength, int /*kcs_CurLength*/) {
    checkRootPermission();
    if (vkt::bmcGivenUp()) {
        failureImage(ResponseBuf, vkt::ccTimeout);
        return 0;
    }

    int length = 0;
    if (ipmiCmd(RequestCmd, ResponseBuf, kcs_ReqLength, &length) == 0) {
        resp_data_len = length;
        return 0;
    }
    // Once the kernel driver owns the system interface, driving the ports behind its back
    // would corrupt both state machines: report the failure instead.
    if (vkt::openIpmiDeviceOwnsInterface()) {
        failureImage(ResponseBuf, vkt::ccUnspecified);
        return 0;
    }
    const int refused = kcs_Exchange(RequestCmd, kcs_ReqLength, ResponseBuf, &length);
    if (refused != 0) {
        failureImage(ResponseBuf, static_cast<BYTE>(refused));
        return 0;
    }
    resp_data_len = length;
    return 0;
}
