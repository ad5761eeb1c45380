// Provider of VKT_Sensors: one instance per sensor of the BMC, keyed by the sensor's name.
#include "Common.h"

#include <varkolt/bmc.h>

#include "sdr_sensors.h"
#include "sdr_util.h"

VKT_DATA_PROVIDER(SensorsProvider, "VKT_Sensors");

static const char* filterKeys[] = {"DeviceID", nullptr};

static void SensorsProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    // A failed read is reported by the collector; whatever the table holds is published.
    bmc_GetSDR();
    const int entries = sdrUsedSlotCount();
    for (int i = 0; i < entries; ++i) {
        const struct_cim_sdr& s = cim_sdr[i];
        if (s.sensor[0] == '\0') continue;
        vkt::InstanceBuilder inst(SensorsProviderbroker, _ClassName, "DeviceID", s.sensor, properties, filterKeys);
        inst.set("VKT_SensorName", s.sensor);
        inst.set("VKT_SensorTypeName", s.sensorTypeName);
        inst.set("VKT_Reading", s.reading);
        inst.set("VKT_LowLimit", s.lowLimit);
        inst.set("VKT_HighLimit", s.highLimit);
        inst.set("VKT_Status", s.status);
        inst.returnTo(rslt);
    }
    vkt::finishEnumeration(ctx, SensorsProviderbroker, rslt);
}
