// vktool nm: the Intel Node Manager in the Management Engine (ME), which the BMC bridges
// to over IPMB, and two OEM readings of the BMC itself.
#include "report.h"

namespace vktool {

namespace {

int show(Invocation& inv) {
    if (int rc = bmc_GetDeviceID()) return rc;
    std::optional<cimhost::Instance> record = publishedInstance(inv, "NMProvider", "the NM provider published nothing");
    if (!record) return VKT_BMC_COMMAND_FAILED;
    printRecord(inv, *record,
                {{"VKT_BoardID", "boardId", "Board ID"},
                 {"VKT_BMC_FirmwareVersion", "bmcFirmwareVersion", "BMC Firmware Version"},
                 {"VKT_BMC_FirmwareBuildTime", "bmcFirmwareBuildTime", "BMC Firmware Build Time"},
                 {"VKT_NM_FirmwareVersion", "nmFirmwareVersion", "NM Firmware Version"},
                 {"VKT_NM_Platform", "nmPlatform", "NM Platform"},
                 {"VKT_NM_FirewareImplementedVersion", "nmVersion", "NM Version"},
                 {"VKT_NM_ImageFlag", "nmImage", "NM Image"}});
    return VKT_BMC_OK;
}

// The ME's maintenance requests cannot be taken back: ask first.
int confirmed(Invocation& inv, const char* question, int (*routine)()) {
    if (!inv.confirm(question)) return notConfirmed;
    return routine();
}

int reset(Invocation& inv) { return confirmed(inv, "Reset the Management Engine?", bmc_NMReset); }
int resetToDefaults(Invocation& inv) {
    return confirmed(inv, "Reset the Management Engine to its defaults?", bmc_NMReset2Default);
}
int updateMode(Invocation& inv) {
    return confirmed(inv, "Force the Management Engine into firmware update mode?", bmc_NMUpdateMode);
}

int locate(Invocation&) { return bmc_GetNMSDR(); }
int pState(Invocation&) { return bmc_GetPState(); }
int tState(Invocation&) { return bmc_GetTState(); }
int selfTest(Invocation&) { return bmc_NMSelfTest(); }
int selTime(Invocation&) { return bmc_GetSELTime(); }
int images(Invocation&) { return bmc_ListImagesInfo(); }
int cpuData(Invocation&) { return bmc_GetHostCPUData(); }
int temperatures(Invocation&) { return bmc_CPUMemTemp(); }
int oemTemperature(Invocation&) { return bmc_OEMGetTemp(); }
int oemPower(Invocation&) { return bmc_OEMGetPower(); }

constexpr const char* silent =
    "The library keeps the answer to itself and prints nothing but a failure: the exit\n"
    "status tells whether the request succeeded.\n";

}  // namespace

extern const Subject nmSubject = {
    "nm",
    "Node Manager in the Management Engine",
    "Requests to the Intel Management Engine (ME), which the BMC bridges over IPMB; the ME\n"
    "is found through its record in the SDR repository. Status 13 when there is no such\n"
    "record, 14 when the BMC did not carry a request or its answer.\n",
    {
        {"show", "", "print the BMC's board and firmware and the Node Manager's identity", "", 0, 0, {}, show,
         dataAction},
        {"pstate", "", "print the current maximum allowed CPU P-state and the number of states", "", 0, 0, {}, pState},
        {"tstate", "", "print the current maximum allowed CPU T-state and the number of states", "", 0, 0, {}, tState},
        {"locate", "", "find the ME's record in the SDR repository", "", 0, 0, {}, locate},
        {"self-test", "", "run the ME's self test", silent, 0, 0, {}, selfTest},
        {"sel-time", "", "read the ME's SEL time", silent, 0, 0, {}, selTime},
        {"images", "", "read the information on the ME's images 0 to 2", silent, 0, 0, {}, images},
        {"cpu", "", "read the host CPU data the ME holds", silent, 0, 0, {}, cpuData},
        {"temperatures", "", "read each socket's maximum junction temperature and the CPU and memory temperatures",
         silent, 0, 0, {}, temperatures},
        {"oem-temperature", "", "read the BMC's own OEM temperature reading (not bridged)", silent, 0, 0, {},
         oemTemperature},
        {"oem-power", "", "read the BMC's own OEM power level reading (not bridged)", silent, 0, 0, {}, oemPower},
        {"reset", "", "reset the ME", "", 0, 0, {}, reset, changesBmc},
        {"reset-defaults", "", "reset the ME to its defaults", "", 0, 0, {}, resetToDefaults, changesBmc},
        {"update-mode", "", "force the ME into firmware update mode", "", 0, 0, {}, updateMode, changesBmc},
    },
};

}  // namespace vktool
