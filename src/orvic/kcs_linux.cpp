// Channel selection: the OpenIPMI device first, the KCS ports otherwise.
#include "kcs_linux.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ipmi_defs.h"
#include "kcs2_linux.h"
#include "smipmi.h"

int KCS_DATA = 0;
int KCS_STATUS = 0;

namespace {

int isRootPermission = -1;  // -1 until the first check

constexpr int exitNotRoot = 42;

// Stands in for an answer when no channel could carry the request.
void failureImage(unsigned char* ResponseBuf, BYTE cc) {
    ResponseBuf[0] = 0;
    ResponseBuf[1] = 0;
    ResponseBuf[2] = cc;
    resp_data_len = 3;
}

// The KCS port exchange. Port access is not available in this build yet: the request is
// answered as failed.
int kcsPortExchange(unsigned char* /*RequestCmd*/, unsigned char* ResponseBuf, int /*kcs_ReqLength*/) {
    failureImage(ResponseBuf, vkt::ccUnspecified);
    return 0;
}

}  // namespace

void checkRootPermission() {
    if (isRootPermission < 0) isRootPermission = getuid() == 0 ? 1 : 0;
    if (isRootPermission == 0) {
        fputs("Please use root permission to launch Orvic.\n", stderr);
        exit(exitNotRoot);
    }
}

void kcs_SelectPorts(int dataPort, int statusPort) {
    KCS_DATA = dataPort;
    KCS_STATUS = statusPort;
}

void kcs_ProbeFailed() {}

int kcs_Interface(unsigned char* RequestCmd, unsigned char* ResponseBuf, int kcs_ReqLength, int /*kcs_CurLength*/) {
    checkRootPermission();

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
    return kcsPortExchange(RequestCmd, ResponseBuf, kcs_ReqLength);
}
