// The SDR collector: reads the repository into the SDR table and evaluates every sensor
// record into the sensor table.
#include <varkolt/bmc.h>

#include "entry_barrier.h"
#include "sdr_sensors.h"
#include "sdr_util.h"
#include "smipmi.h"

int bmc_GetSDR(void) {
    return vkt::entryBarrier(__func__, [&] {
        // Each step runs only after the one before it succeeded.
        if (vkt::reportedFailure(getSDRRepositoryInfo(), "Failed to get SDR repository info, %s") ||
            vkt::reportedFailure(getReserveSDRID(), "Failed to get reserve SDR, %s") ||
            vkt::reportedFailure(getSDRs(), "Failed to get SDR data, %s"))
            return VKT_BMC_COMMAND_FAILED;
        printSDR();
        return VKT_BMC_OK;
    });
}
