// Provider of VKT_PMBus: one instance per PMBus power module with its telemetry, status and
// identity, keyed by the module's address and name.
#include "Common.h"
#include "bounded.h"
#include "pmbus_util.h"
#include "varkolt/bmc.h"

VKT_DATA_PROVIDER(PMBusProvider, "VKT_PMBus");

namespace {

constexpr char firstPrintable = 0x20;

// Module numbers arrive padded with CR LF and the like: the text ends at its first control
// character, in the shared record itself.
void cutAtControlCharacter(ZurText& text) {
    for (char& c : text)
        if (c > 0 && c < firstPrintable) c = '\0';
}

}  // namespace

static void PMBusProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    // Without a module the collector says so on standard error; nothing is published then.
    int count = 0;
    bmc_GetPMBusInfo(&count);
    const int modules = pmBusWalkCount(count, pmBusAvailableCapacity);
    for (int i = 0; i < modules; ++i) {
        const BYTE a = pmBusAvailableSlaveAddrs[i];
        PmBusRecord& r = pmBusHealth[i];
        char id[64];
        VKT_FORMAT(id, " [SlaveAddress = %02Xh] [%s]", a, getModuleName(a));
        StatusText status = "";
        getModuleStatusText(r, status);
        vkt::InstanceBuilder inst(PMBusProviderbroker, _ClassName, "DeviceID", id, properties, nullptr);
        cutAtControlCharacter(r.zurModuleNumber);
        inst.set("VKT_PMBus_ModuleID", id);
        inst.set("VKT_PMBus_StatusStr", status);
        // The names that end in a blank are what clients of CIMOMs that keep undeclared
        // properties have always read; no class can declare them, so the two readings also
        // go under the names the class declares, which every CIMOM keeps.
        inst.set("VKT_PMBus_InputVoltage ", r.acInputVoltage);
        inst.set("VKT_PMBus_InputVoltage", r.acInputVoltage);
        inst.set("VKT_PMBus_InputCurrent ", r.acInputCurrent);
        inst.set("VKT_PMBus_InputCurrent", r.acInputCurrent);
        inst.set("VKT_PMBus_MainOutputVoltage", r.dc12VOutputVoltage);
        inst.set("VKT_PMBus_MainOutputCurrent", r.dc12VOutputCurrent);
        inst.set("VKT_PMBus_Temperature1", r.temperature1);
        inst.set("VKT_PMBus_Temperature2", r.temperature2);
        inst.set("VKT_PMBus_Fan1", r.fan1);
        inst.set("VKT_PMBus_Fan2", r.fan2);
        inst.set("VKT_PMBus_MainOutputPower", r.dc12VOutputPower);
        inst.set("VKT_PMBus_InputPower", r.acInputPower);
        inst.set("VKT_PMBus_PMBusRevision", r.pmBusRevision);
        inst.set("VKT_PMBus_ZUR_Revision", r.zurRevision);
        inst.set("VKT_PMBus_ZUR_SerialNumber", r.zurSerialNumber);
        inst.set("VKT_PMBus_ZUR_ModuleNumber", r.zurModuleNumber);
        inst.returnTo(rslt);
    }
    vkt::finishEnumeration(ctx, PMBusProviderbroker, rslt);
}
