// Provider of VKT_PMBusBBP: one instance per battery backup module with its identity,
// charge, discharge state and status word.
#include "Common.h"
#include "bounded.h"
#include "pmbus_util.h"
#include "varkolt/bmc.h"

VKT_DATA_PROVIDER(PMBusBBPProvider, "VKT_PMBusBBP");

namespace {

// Widths of the published texts (terminator included); longer values are cut. The module
// ID, the description and the wide texts are cut by the size of their fields already.
constexpr size_t idWidth = 40;
constexpr size_t narrowWidth = 20;
constexpr size_t wideWidth = 32;
constexpr int descriptionSize = 200;
static_assert(sizeof(BatteryText) == wideWidth, "a wide text fits its field");
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

// A text cut to the characters of a narrow property.
class Narrow {
public:
    explicit Narrow(const char* value) { vkt::copyText(text_, value); }
    operator const char*() const { return text_; }

private:
    char text_[narrowWidth];
};

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
        char cycles[narrowWidth];
        VKT_FORMAT(cycles, "%d", b.cycleCount);

        vkt::InstanceBuilder inst(PMBusBBPProviderbroker, _ClassName, nullptr, nullptr, properties, nullptr);
        inst.set("ModuleID", id);
        inst.set("Manufacturer", Narrow(b.manufacturer));
        inst.set("ModelName", b.modelName);
        inst.set("SerialNumber", b.serialNumber);
        inst.set("ProductVersion", Narrow(b.productVersion));
        inst.set("FirmwareVersion", Narrow(b.firmwareVersion));
        inst.set("BatteryVoltage", Narrow(b.batteryVoltage));
        inst.set("BatteryCurrent", Narrow(b.batteryCurrent));
        inst.set("BatteryPackTemp", Narrow(b.batteryPackTemp));
        // A board sensor without a reading leaves the property out.
        if (b.boardTemperature[0] != '\0') inst.set("BoardTemperature", Narrow(b.boardTemperature));
        inst.set("PowerWattage", b.powerWattage);
        inst.set("CycleCount", cycles);
        inst.set("BatteryPowerStatus", b.batteryPowerStatus);
        inst.set("RemainingEnergy", Narrow(b.remainingEnergy));
        inst.set("DischargeStatus", Narrow(b.dischargeStatus));
        inst.set("DischargeSetting", Narrow(b.dischargeSetting));
        inst.set("DischargeRemainingDays", Narrow(b.dischargeRemainingDays));
        inst.set("BatteryStatus", Narrow(b.batteryStatus));
        inst.set("BatteryStatusDescription", description);
        inst.returnTo(rslt);
    }
    vkt::finishEnumeration(ctx, PMBusBBPProviderbroker, rslt);
}
