// Provider of VKT_PMBusFRU: one instance per module status EEPROM with its status,
// temperature and fan speeds.
#include <cstring>

#include "Common.h"
#include "bounded.h"
#include "pmbus_util.h"

VKT_DATA_PROVIDER(PMBusFRUProvider, "VKT_PMBusFRU");

namespace {
// Widths of the published texts (terminator included); longer values are cut.
constexpr size_t idWidth = 50;
constexpr size_t temperatureWidth = 12;
constexpr size_t fanWidth = 16;
}  // namespace

static void PMBusFRUProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    const int32_t count = getPMBusInfoFRU();
    const int devices = pmBusWalkCount(count, pmBusFRUAvailableCapacity);
    for (int i = 0; i < devices; ++i) {
        const BYTE a = pmBusAvailableSlaveAddrsFRU[i];
        const FruHealthRecord& h = fruHealth[i];
        char id[idWidth];
        const char* name = getModuleNameFRU(a);
        if (strcmp(name, "N/A") == 0) {
            VKT_FORMAT(id, " [SlaveAddress = %02Xh]", a);
        } else {
            VKT_FORMAT(id, " [SlaveAddress = %02Xh] [%s]", a, name);
        }
        char temperature[temperatureWidth] = "N/A";
        char fan1[fanWidth] = "N/A";
        char fan2[fanWidth] = "N/A";
        const char* status = "N/A";
        // The EEPROM beside a B0-family controller carries no live values of its own.
        if (isA0Addr(a) == 0) {
            status = h.statusByte != 0 ? "On" : "Off";
            vkt::copyText(temperature, h.temperature);
            vkt::copyText(fan1, h.fan1);
            vkt::copyText(fan2, h.fan2);
        }
        vkt::InstanceBuilder inst(PMBusFRUProviderbroker, _ClassName, nullptr, nullptr, properties, nullptr);
        inst.set("ModuleID", id);
        inst.set("Status", status);
        inst.set("Temperature", temperature);
        inst.set("Fan1", fan1);
        inst.set("Fan2", fan2);
        inst.returnTo(rslt);
    }
    vkt::finishEnumeration(ctx, PMBusFRUProviderbroker, rslt);
}
