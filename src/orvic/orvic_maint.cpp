// Exported maintenance routines: BMC cold reset and factory defaults with the wait for the
// restarted BMC, SEL clear, self test, firmware revision, host reset or soft shutdown with a
// one-time boot device, raw requests, SDR record deletion and the version tags.
#include <cstdio>

#include "dmifru_util.h"
#include "entry_barrier.h"
#include "generic_util.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "progress.h"
#include "sel_util.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

int waitBMCWakeupFlag = 0;

using vkt::reportedFailure;

namespace {

// The restarting BMC gets this long before it is first probed, and is given up after the
// probe of the last second.
constexpr int wakeupFirstProbeSecond = 60;
constexpr int wakeupLastSecond = 99;
constexpr int dotsPerLine = 40;
constexpr int oneSecondMs = 1000;

int waitForBmc() {
    puts("Please wait a few minutes for the BMC to restart.");
    BYTE cc = vkt::ccUnspecified;
    for (int s = 1; s <= wakeupLastSecond; ++s) {
        fputs(".", stdout);
        vkt_sleep(oneSecondMs);
        vkt::reportProgress(VKT_PROGRESS_BMC_WAKEUP, s, wakeupLastSecond);
        if (s >= wakeupFirstProbeSecond) {
            // A BMC that is still away answers nothing; each probe stands on its own.
            vkt::beginCallStep();
            cc = getIPMIVersion();
            if (cc == vkt::ccSuccess) {
                putchar('\n');
                break;
            }
        }
        if (s % dotsPerLine == 0) putchar('\n');
    }
    waitBMCWakeupFlag = 0;
    if (cc != vkt::ccSuccess) {
        fputs("Does not detect IPMI device.\n", stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    puts("Done.");
    return VKT_BMC_OK;
}

int afterReset() { return waitBMCWakeupFlag == 1 ? waitForBmc() : VKT_BMC_OK; }

int factoryDefault(BYTE (*command)()) {
    if (reportedFailure(getIPMIVersion(), "Failed to get IPMI firmware reverison, %s")) return VKT_BMC_COMMAND_FAILED;
    if (command() != vkt::ccSuccess) {
        fputs("Failed to reset the BMC to the factory default.\n", stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    puts("Reset to the factory default completed.");
    return afterReset();
}

// Byte 0 of the self-test result.
constexpr BYTE selfTestPassed = 0x55;
constexpr BYTE selfTestNotImplemented = 0x56;
constexpr BYTE selfTestCorrupted = 0x57;  // byte 1: one bit per corrupted part
constexpr BYTE selfTestFatal = 0x58;      // byte 1: failure code
constexpr BYTE selfTestNotAvailable = 0xFF;

void printSelfTest(const vkt::SelfTestReply& test) {
    static const char* const corruptedParts[8] = {
        " -> SEL device not accessible.",
        " -> SDR repository not accessible.",
        " -> FRU device not accessible.",
        " -> IPMB signal lines do not respond.",
        " -> SDR repository empty.",
        " -> Internal Use Area corrupted.",
        " -> Controller update boot block corrupted.",
        " -> Controller operational firmware corrupted.",
    };
    switch (test.result) {
        case selfTestPassed:
            puts("Selftest: Passed.");
            break;
        case selfTestNotImplemented:
            puts("Selftest: Not implemented.");
            break;
        case selfTestCorrupted:
            puts("Selftest: Device corrupted.");
            for (int bit = 7; bit >= 0; --bit)
                if ((test.detail >> bit & 1) != 0) puts(corruptedParts[7 - bit]);
            break;
        case selfTestFatal:
            puts("Selftest: Fatal error.");
            printf("Failure code: %02Xh.\n", test.detail);
            break;
        case selfTestNotAvailable:
            puts("Selftest: N/A.");
            break;
        default:
            puts("Selftest: Device specific.");
            printf("Failure code: %02Xh.\n", test.detail);
            break;
    }
}

int resetHost(BYTE (*routine)(int), int index) {
    const bool inRange = index >= vkt::bootIndexNone && index <= vkt::bootIndexLast;
    const BYTE cc = routine(index);
    if (!inRange) return VKT_BMC_COMMAND_FAILED;  // refused, and said so, before anything was sent
    if (reportedFailure(cc, "Failed to reboot from device, %s")) return VKT_BMC_COMMAND_FAILED;
    puts("Done.");
    return VKT_BMC_OK;
}

int reportTag(BYTE (*get)(), const BYTE (&tag)[2], const char* report, const char* failed) {
    if (reportedFailure(get(), failed)) return VKT_BMC_COMMAND_FAILED;
    printf(report, tag[0], tag[1]);
    return VKT_BMC_OK;
}

int changeTag(BYTE (*set)(BYTE, BYTE), BYTE major, BYTE minor, const char* failed, int (*readBack)()) {
    if (reportedFailure(set(major, minor), failed)) return VKT_BMC_COMMAND_FAILED;
    puts("Done.");
    return readBack();
}

}  // namespace

int waitBMCWakeup(void) {
    return vkt::entryBarrier(__func__, [&] { return waitForBmc(); });
}

int bmc_ColdReset(void) {
    return vkt::entryBarrier(__func__, [&] {
        if (reportedFailure(coldReset(), "Failed to perform BMC cold reset, %s")) return VKT_BMC_COMMAND_FAILED;
        puts("BMC cold reset successfully completed!");
        return afterReset();
    });
}

int bmc_FactoryDefault(void) {
    return vkt::entryBarrier(__func__, [&] { return factoryDefault(ipmi20PlusVendderFactory); });
}

int bmc_FactoryDefaultAll(void) {
    return vkt::entryBarrier(__func__, [&] { return factoryDefault(ipmi20PlusVendderFactoryAll); });
}

int bmc_FactoryDefaultLan(void) {
    return vkt::entryBarrier(__func__, [&] { return factoryDefault(ipmi20PlusVendderFactoryLan); });
}

int bmc_ClearAllSEL(void) {
    return vkt::entryBarrier(__func__, [&] {
        if (reportedFailure(getReserveSELID(), "Failed to get reserve SEL, %s")) return VKT_BMC_COMMAND_FAILED;
        // Only the erase is started; a BMC erases its log in the background.
        if (reportedFailure(clearAllSEL(), "Failed to clear SEL, %s")) return VKT_BMC_COMMAND_FAILED;
        puts("Clear all SEL successfully.");
        return VKT_BMC_OK;
    });
}

int bmc_GetSelfTest(void) {
    return vkt::entryBarrier(__func__, [&] {
        BYTE result[2] = {};
        if (reportedFailure(getSelfTest(result), "Failed to get self test result, %s")) return VKT_BMC_COMMAND_FAILED;
        printSelfTest(vkt::SelfTestReply::decode(vkt::ByteView(result)));
        return VKT_BMC_OK;
    });
}

int bmc_GetFirmwareRevision(void) {
    return vkt::entryBarrier(__func__, [&] {
        constexpr const char* failed = "Failed to get IPMI firmware reverison, %s";
        if (reportedFailure(getIPMIVersion(), failed)) return VKT_BMC_COMMAND_FAILED;
        // A revision that could not be read is a failure, not a silent success.
        vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnApp, vkt::cmdGetDeviceId);
        if (reportedFailure(reply.cc, failed)) return VKT_BMC_COMMAND_FAILED;
        const vkt::DeviceIdReply id = vkt::DeviceIdReply::decode(reply.view());
        printf("Firmware Version: %2d.%02x\n", id.firmware1, id.firmware2);
        return VKT_BMC_OK;
    });
}

int bmc_SystemReset(int index) {
    return vkt::entryBarrier(__func__, [&] { return resetHost(rebootFromDevice, index); });
}

int bmc_SystemSoftShutDown(int index) {
    return vkt::entryBarrier(__func__, [&] { return resetHost(softShutDown, index); });
}

int bmc_ExecRawCmd(int argc, char** argv) {
    return vkt::entryBarrier(__func__, [&] {
        BYTE resp[vkt::ipmiMaxResponseData] = {};
        DWORD length = 0;
        const BYTE cc = exec_raw_cmd(argc, argv, resp, &length);
        if (rawRequestError[0] != '\0') {
            fprintf(stderr, "Invalid raw command: %s; nothing was sent.\n", rawRequestError);
            return VKT_BMC_BAD_ARGUMENT;
        }
        if (reportedFailure(cc, "IPMI command not completed normally, %s")) return VKT_BMC_COMMAND_FAILED;
        for (DWORD i = 0; i < length && i < sizeof resp; ++i) printf("%02X ", resp[i]);
        putchar('\n');
        return VKT_BMC_OK;
    });
}

int bmc_DeleteSDRRecord(int recordID) {
    return vkt::entryBarrier(__func__, [&] {
        // Only the low 16 bits would reach the BMC: another record would go.
        if (recordID < 0 || recordID > vkt::sdrRecordIdMax) {
            fprintf(stderr, "Not a valid SDR record ID (0 to %d).\n", vkt::sdrRecordIdMax);
            return VKT_BMC_BAD_ARGUMENT;
        }
        if (reportedFailure(deleteSDRRecord(recordID), "Failed to delete SDR record, %s")) return VKT_BMC_COMMAND_FAILED;
        printf("Delete SDR Record (%d) successfully.\n", recordID);
        return VKT_BMC_OK;
    });
}

int bmc_GetSDRVer(void) {
    return vkt::entryBarrier(__func__, [&] {
        return reportTag(getSDRVer, sdrVer, "SDR version is %02X.%02X\n", "Failed to get SDR version, %s");
    });
}

int bmc_SetSDRVer(unsigned char major, unsigned char minor) {
    return vkt::entryBarrier(__func__, [&] {
        return changeTag(setSDRVer, major, minor, "Failed to set SDR version, %s", bmc_GetSDRVer);
    });
}

int bmc_GetFRUVer(void) {
    return vkt::entryBarrier(__func__, [&] {
        return reportTag(getFRUVer, fruVer, "FRU version is %02X.%02X\n", "Failed to get FRU version, %s");
    });
}

int bmc_SetFRUVer(unsigned char major, unsigned char minor) {
    return vkt::entryBarrier(__func__, [&] {
        return changeTag(setFRUVer, major, minor, "Failed to set FRU version, %s", bmc_GetFRUVer);
    });
}
