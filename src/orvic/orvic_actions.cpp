// Exported routines for what the action classes do: the identify LED, the chassis
// intrusion flag and the fan mode. They send what the action providers send (the same
// helpers) and say whether the BMC took it, where the providers only publish True/False.
#include <cstdio>

#include "entry_barrier.h"
#include "generic_util.h"
#include "ipm_device.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

using vkt::reportedFailure;

namespace {

constexpr int lastFanMode = 5;

}  // namespace

int bmc_SetIdentifyLED(int on) {
    return vkt::entryBarrier(__func__, [&] {
        if (reportedFailure(setIdentifyLed(on != 0), on != 0 ? "Failed to turn the identify LED on, %s"
                                                             : "Failed to turn the identify LED off, %s"))
            return VKT_BMC_COMMAND_FAILED;
        puts(on != 0 ? "Identify LED is on." : "Identify LED is off.");
        return VKT_BMC_OK;
    });
}

int bmc_ClearChassisIntrusion(void) {
    return vkt::entryBarrier(__func__, [&] {
        if (reportedFailure(clearChassisIntrusion(), "Failed to clear the chassis intrusion, %s"))
            return VKT_BMC_COMMAND_FAILED;
        puts("Chassis intrusion cleared.");
        return VKT_BMC_OK;
    });
}

int bmc_SetFanMode(int mode) {
    return vkt::entryBarrier(__func__, [&] {
        // A mode that does not fit the BMC's codes would be sent as another mode's byte or
        // as a code the BMC may take for something else.
        if (mode < 0 || mode > lastFanMode) {
            fprintf(stderr, "Not a valid fan mode (0 to %d).\n", lastFanMode);
            return VKT_BMC_BAD_ARGUMENT;
        }
        const BYTE code = static_cast<BYTE>(mode);
        if (reportedFailure(setFanSpeedMode(code), "Failed to set the fan mode, %s")) return VKT_BMC_COMMAND_FAILED;
        printf("Fan mode is now %s.\n", fanModeName(code));
        return VKT_BMC_OK;
    });
}
