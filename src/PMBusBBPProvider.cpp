// Provider of VKT_PMBusBBP: one instance per battery backup module with its identity,
// charge, discharge state and status word.
#include "Common.h"
#include "bounded.h"
#include "pmbus_util.h"
#include "varkolt/bmc.h"

VKT_DATA_PROVIDER(PMBusBBPProvider, "VKT_PMBusBBP");

namespace {

// Widths of the published texts (terminator included); longer values are cut.
constexpr size_t idWidth = 40;
constexpr size_t shortWidth = 20;
constexpr size_t longWidth = 32;
constexpr int descriptionSize = 200;
constexpr int firstDescribedBit = 1;
constexpr int lastDescribedBit = 15;

// The descriptions of the status word's set bits, lowest bit first.
void describeStatus(DWORD word, char (&text)[descriptionSize]) {
    text[0] = '\0';
    for (int bit = firstDescribedBit; bit <= lastDescribedBit; ++bit) {
        const DWORD value = DWORD{1} << bit;
        if ((word & value) != 0) vkt::appendText(text, getBatteryStatusDescription(value));
    }
}

// Sets a property cut to `width` - 1 characters.
void setCut(vkt::InstanceBuilder& inst, const char* name, const char* value, size_t width) {
    char cut[descriptionSize];
    vkt::copyText(cut, width < sizeof cut ? width : sizeof cut, value);
    inst.set(name, cut);
}

}  // namespace

static void PMBusBBPProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    // Without a battery the collector says so on standard error; nothing is published then.
    int count = 0;
    bmc_GetBatteryInfo(&count);
    const int batteries = pmBusWalkCount(count, batteryAvailableCapacity);
    for (int i = 0; i < batteries; ++i) {
        const BYTE a = batteryAvailableSlaveAddrsFRU[i];
        const BatteryRecord& b = batteryHealth[i];
        char id[idWidth];
        VKT_FORMAT(id, " [SlaveAddress = %02Xh] [%s]", a, getModuleNameFRU(a));
        char description[descriptionSize];
        describeStatus(batteryStatusWord[i], description);
        char cycles[shortWidth];
        VKT_FORMAT(cycles, "%d", b.cycleCount);

        vkt::InstanceBuilder inst(PMBusBBPProviderbroker, _ClassName, nullptr, nullptr, properties, nullptr);
        setCut(inst, "ModuleID", id, idWidth);
        setCut(inst, "Manufacturer", b.manufacturer, shortWidth);
        setCut(inst, "ModelName", b.modelName, longWidth);
        setCut(inst, "SerialNumber", b.serialNumber, longWidth);
        setCut(inst, "ProductVersion", b.productVersion, shortWidth);
        setCut(inst, "FirmwareVersion", b.firmwareVersion, shortWidth);
        setCut(inst, "BatteryVoltage", b.batteryVoltage, shortWidth);
        setCut(inst, "BatteryCurrent", b.batteryCurrent, shortWidth);
        setCut(inst, "BatteryPackTemp", b.batteryPackTemp, shortWidth);
        // A board sensor without a reading leaves the property out.
        if (b.boardTemperature[0] != '\0') setCut(inst, "BoardTemperature", b.boardTemperature, shortWidth);
        setCut(inst, "PowerWattage", b.powerWattage, longWidth);
        setCut(inst, "CycleCount", cycles, shortWidth);
        setCut(inst, "BatteryPowerStatus", b.batteryPowerStatus, longWidth);
        setCut(inst, "RemainingEnergy", b.remainingEnergy, shortWidth);
        setCut(inst, "DischargeStatus", b.dischargeStatus, shortWidth);
        setCut(inst, "DischargeSetting", b.dischargeSetting, shortWidth);
        setCut(inst, "DischargeRemainingDays", b.dischargeRemainingDays, shortWidth);
        setCut(inst, "BatteryStatus", b.batteryStatus, shortWidth);
        setCut(inst, "BatteryStatusDescription", description, descriptionSize);
        inst.returnTo(rslt);
    }
    vkt::finishEnumeration(ctx, PMBusBBPProviderbroker, rslt);
}
