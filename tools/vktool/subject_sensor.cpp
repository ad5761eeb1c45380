// vktool sensor: the sensors of the BMC's SDR repository.
#include "report.h"

namespace vktool {

namespace {

int list(Invocation& inv) {
    if (int rc = bmc_GetSDR()) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "SensorsProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    printRows(inv, r->instances,
              {{"VKT_SensorName", "name", "Sensor"},
               {"VKT_SensorTypeName", "type", "Type"},
               {"VKT_Reading", "reading", "Reading"},
               {"VKT_LowLimit", "lowLimit", "Low Limit"},
               {"VKT_HighLimit", "highLimit", "High Limit"},
               {"VKT_Status", "status", "Status"}});
    return VKT_BMC_OK;
}

}  // namespace

extern const Subject sensorSubject = {
    "sensor",
    "sensor readings",
    "",
    {
        {"list", "", "print every sensor with type, reading, critical limits and status",
         "Limits are the lower and upper critical thresholds; N/A for discrete sensors.\n", 0, 0, {}, list,
         dataAction},
    },
};

}  // namespace vktool
