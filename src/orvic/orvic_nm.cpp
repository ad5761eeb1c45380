// Exported Node Manager routines: the ME's identity for VKT_NM, and maintenance and
// telemetry requests bridged to the ME, plus two OEM readings of the BMC.
#include <algorithm>
#include <cstdio>

#include "entry_barrier.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "nm_util.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

namespace {

// Finds the ME. VKT_BMC_OK, or the routine's result after the failure was reported;
// `failed` is the routine's message for a Get SDR that failed.
int findMe(const char* failed) {
    const BYTE code = detectNM();
    switch (code) {
        case vkt::ccSuccess:
            return VKT_BMC_OK;
        case vkt::nmRepositoryInfoFailed:
            vkt::reportFailure("Get SDR RepositoryInfo error, %s", code);
            return VKT_BMC_COMMAND_FAILED;
        case vkt::nmReserveFailed:
            vkt::reportFailure("Get Reserve SDR error, %s", code);
            return VKT_BMC_COMMAND_FAILED;
        case vkt::nmRecordNotFound:
            fputs("Slave address and channel of ME device is not found.\n", stderr);
            return VKT_BMC_ABSENT;
        default:
            vkt::reportFailure(failed, code);
            return VKT_BMC_COMMAND_FAILED;
    }
}

// The result of one bridged request, after reporting a failure.
int requestResult(BYTE code, const char* failed) {
    switch (code) {
        case vkt::ccSuccess:
            return VKT_BMC_OK;
        case vkt::nmSendFailed:
            fputs("Send NM message command error.\n", stderr);
            return VKT_BMC_BRIDGE_FAILED;
        case vkt::nmNoMessage:
            fputs("Get NM message flag error.\n", stderr);
            return VKT_BMC_BRIDGE_FAILED;
        case vkt::nmGetMessageFailed:
            fputs("Get NM message error.\n", stderr);
            return VKT_BMC_BRIDGE_FAILED;
        default:
            vkt::reportFailure(failed, code);
            return VKT_BMC_COMMAND_FAILED;
    }
}

// The common shape: find the ME, then one request.
int bridged(BYTE (*request)(), const char* failed) {
    int rc = findMe(failed);
    if (rc != VKT_BMC_OK) return rc;
    return requestResult(request(), failed);
}

int doneAfter(int rc) {
    if (rc == VKT_BMC_OK) printf("Done.");
    return rc;
}

// The P-state and T-state reports: the current maximum is shown as soon as it is known.
int reportStates(const BYTE (&states)[2], const char* maxLine, const char* countLine) {
    static const char* const maxFailed = "Failed to get max CPU allowed CPU P-State/T-State, %s";
    int rc = findMe(maxFailed);
    if (rc != VKT_BMC_OK) return rc;
    rc = requestResult(getMaxCPUState(), maxFailed);
    if (rc != VKT_BMC_OK) return rc;
    printf(maxLine, states[0]);
    rc = requestResult(getNumberOfCPUStates(), "Failed to get number of P-States/T-states, %s");
    if (rc != VKT_BMC_OK) return rc;
    printf(countLine, states[1]);
    return VKT_BMC_OK;
}

int oemReading(BYTE (*request)(), const char* failed) {
    const BYTE cc = request();
    if (cc == vkt::ccSuccess) return VKT_BMC_OK;
    vkt::reportFailure(failed, cc);
    return VKT_BMC_COMMAND_FAILED;
}

}  // namespace

int bmc_GetDeviceID(void) {
    return vkt::entryBarrier(__func__, [&] {
        const int rc = bridged(getDeviceID, "Failed to get device ID, %s");
        if (rc == VKT_BMC_OK) printDeviceID();
        return rc;
    });
}

int bmc_GetHostCPUData(void) {
    return vkt::entryBarrier(__func__, [&] { return bridged(getHostCPUData, "Failed to get host cpu data, %s"); });
}

int bmc_CPUMemTemp(void) {
    return vkt::entryBarrier(__func__, [&] {
        int rc = findMe("Failed to get host cpu data, %s");
        if (rc != VKT_BMC_OK) return rc;
        rc = requestResult(getHostCPUData(), "Failed to get CPU socket count, %s");
        if (rc != VKT_BMC_OK) return rc;
        // The ME may claim up to 255 sockets; the table (and the sensor numbers) end sooner.
        const vkt::NmHostCpuDataReply host =
            vkt::NmHostCpuDataReply::decode(vkt::meAnswerData(hostCPUData, sizeof hostCPUData));
        cpuSocketCount = std::min<int>(host.socketCount, vkt::nmMaxSockets);
        getTjMax();
        return requestResult(getCPUMemTemp(), "Failed to get CPU/Memory temperature, %s");
    });
}

int bmc_GetPState(void) {
    return vkt::entryBarrier(__func__, [&] {
        return reportStates(pState, "Current max allowed P-State   = %d\n", "Number of P-State = %d\n");
    });
}

int bmc_GetTState(void) {
    return vkt::entryBarrier(__func__, [&] {
        return reportStates(tState, "Current max allowed T-State   = %d\n", "Number of T-State = %d\n");
    });
}

int bmc_ListImagesInfo(void) {
    return vkt::entryBarrier(__func__, [&] {
        static const char* const failed = "List ME image information failed, %s";
        int rc = findMe(failed);
        for (BYTE image = 0; image < 3 && rc == VKT_BMC_OK; ++image) rc = requestResult(listImagesInfo(image), failed);
        return rc;
    });
}

int bmc_NMSelfTest(void) {
    return vkt::entryBarrier(__func__, [&] { return bridged(nmSelfTest, "Do self test failed, %s"); });
}

int bmc_NMUpdateMode(void) {
    return vkt::entryBarrier(__func__, [&] {
        int rc = findMe("Force ME to update mod failed, %s");
        if (rc != VKT_BMC_OK) return rc;
        return doneAfter(requestResult(nmUpdateMode(), "Force ME to update mode failed, %s"));
    });
}

int bmc_NMReset2Default(void) {
    return vkt::entryBarrier(__func__,
                             [&] { return doneAfter(bridged(nmReset2Default, "Do ME reboots to default failed, %s")); });
}

int bmc_NMReset(void) {
    return vkt::entryBarrier(__func__, [&] { return doneAfter(bridged(nmReset, "Do ME reboots failed, %s")); });
}

int bmc_GetSELTime(void) {
    return vkt::entryBarrier(__func__, [&] { return bridged(getSELTime, "Failed to get SEL time, %s"); });
}

int bmc_GetNMSDR(void) {
    return vkt::entryBarrier(__func__, [&] { return findMe("Failed to get NMSDR, %s"); });
}

int bmc_OEMGetTemp(void) {
    return vkt::entryBarrier(__func__, [&] { return oemReading(oemGetTemp, "Failed to get OEM temp, %s"); });
}

int bmc_OEMGetPower(void) {
    return vkt::entryBarrier(__func__, [&] { return oemReading(oemGetPower, "Failed to get power watts level, %s"); });
}
