// Exported routines of the power subsystem: the module and battery collectors, and the
// discharge control of a battery backup module.
#include <cstdio>

#include "entry_barrier.h"
#include "ipmi_defs.h"
#include "pmbus_util.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

namespace {

constexpr const char* noPowerModule = "Not detect the power module.\n";
constexpr const char* noBattery = "Not detect the battery module.\n";

// The module's battery address when a battery answered there in this probe; 0 otherwise
// (also for numbers outside 1-4).
BYTE detectedBattery(int module, int32_t count) {
    const BYTE addr = batteryModuleAddr(module);
    if (addr == 0) return 0;
    const int n = pmBusWalkCount(count, batteryAvailableCapacity);
    for (int i = 0; i < n; ++i)
        if (batteryAvailableSlaveAddrsFRU[i] == addr) return addr;
    return 0;
}

// The steps both discharge commands share: a fresh probe, then the module must be one of
// the batteries found. VKT_BMC_OK when the command may be sent.
int checkBatteryModule(int module) {
    const int32_t count = getBatteryInfo();
    if (count < 1) {
        fputs(noBattery, stderr);
        return VKT_BMC_ABSENT;
    }
    if (detectedBattery(module, count) == 0) {
        fprintf(stderr, "[Module %d] is not a battery module.\n", module);
        return VKT_BMC_ABSENT;
    }
    return VKT_BMC_OK;
}

int finishDischarge(BYTE cc, const char* failure) {
    if (cc != vkt::ccSuccess) {
        vkt::reportFailure(failure, cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    puts("Done.");
    return VKT_BMC_OK;
}

}  // namespace

int bmc_GetPMBusInfo(int* paraModuleCount) {
    return vkt::entryBarrier(__func__, [&] {
        const int32_t count = getPMBusInfo();
        if (paraModuleCount != nullptr) *paraModuleCount = count;
        if (count < 1) {
            fputs(noPowerModule, stderr);
            return VKT_BMC_ABSENT;
        }
        return VKT_BMC_OK;
    });
}

int bmc_GetBatteryInfo(int* paraModuleCount) {
    return vkt::entryBarrier(__func__, [&] {
        const int32_t count = getBatteryInfo();
        if (paraModuleCount != nullptr) *paraModuleCount = count;
        if (count > 0) return VKT_BMC_OK;
        fputs(noBattery, stderr);
        return VKT_BMC_ABSENT;
    });
}

int bmc_Discharge(int module) {
    return vkt::entryBarrier(__func__, [&] {
        const int rc = checkBatteryModule(module);
        if (rc != VKT_BMC_OK) return rc;
        return finishDischarge(userDischarge(module), "Failed to manually discharge battery, %s");
    });
}

int bmc_AutoDischarge(int module, int days) {
    return vkt::entryBarrier(__func__, [&] {
        // The register keeps the days in six bits; more would set the control bits beside them.
        if (days < 0 || days > vkt::dischargeDaysMax) {
            fprintf(stderr, "Invalid number of days: %d (0~%d).\n", days, vkt::dischargeDaysMax);
            return VKT_BMC_BAD_ARGUMENT;
        }
        const int rc = checkBatteryModule(module);
        if (rc != VKT_BMC_OK) return rc;
        return finishDischarge(autoDischarge(module, days), "Failed to set auto discharge by days, %s");
    });
}
