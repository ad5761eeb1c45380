// vktool power: the PMBus power modules and battery backup modules on the BMC's private bus.
#include "report.h"

namespace vktool {

namespace {

constexpr long firstBatteryModule = 1;
constexpr long lastBatteryModule = 4;
constexpr long maxDischargeDays = 63;

int modules(Invocation& inv) {
    if (int rc = bmc_GetPMBusInfo(nullptr)) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "PMBusProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    // The two input properties are published with a trailing blank in their names.
    printRecords(inv, r->instances,
                 {{"VKT_PMBus_ModuleID", "module", "Module"},
                  {"VKT_PMBus_StatusStr", "status", "Status"},
                  {"VKT_PMBus_InputVoltage ", "inputVoltage", "Input Voltage"},
                  {"VKT_PMBus_InputCurrent ", "inputCurrent", "Input Current"},
                  {"VKT_PMBus_InputPower", "inputPower", "Input Power"},
                  {"VKT_PMBus_MainOutputVoltage", "outputVoltage", "Output Voltage"},
                  {"VKT_PMBus_MainOutputCurrent", "outputCurrent", "Output Current"},
                  {"VKT_PMBus_MainOutputPower", "outputPower", "Output Power"},
                  {"VKT_PMBus_Temperature1", "temperature1", "Temperature 1"},
                  {"VKT_PMBus_Temperature2", "temperature2", "Temperature 2"},
                  {"VKT_PMBus_Fan1", "fan1", "Fan 1"},
                  {"VKT_PMBus_Fan2", "fan2", "Fan 2"},
                  {"VKT_PMBus_PMBusRevision", "pmbusRevision", "PMBus Revision"},
                  {"VKT_PMBus_ZUR_Revision", "revision", "Revision"},
                  {"VKT_PMBus_ZUR_SerialNumber", "serialNumber", "Serial Number"},
                  {"VKT_PMBus_ZUR_ModuleNumber", "moduleNumber", "Module Number"}});
    return VKT_BMC_OK;
}

int batteries(Invocation& inv) {
    if (int rc = bmc_GetBatteryInfo(nullptr)) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "PMBusBBPProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    printRecords(inv, r->instances,
                 {{"ModuleID", "module", "Module"},
                  {"Manufacturer", "manufacturer", "Manufacturer"},
                  {"ModelName", "model", "Model"},
                  {"SerialNumber", "serialNumber", "Serial Number"},
                  {"ProductVersion", "productVersion", "Product Version"},
                  {"FirmwareVersion", "firmwareVersion", "Firmware Version"},
                  {"BatteryVoltage", "voltage", "Voltage"},
                  {"BatteryCurrent", "current", "Current"},
                  {"BatteryPackTemp", "packTemperature", "Pack Temperature"},
                  {"BoardTemperature", "boardTemperature", "Board Temperature"},
                  {"PowerWattage", "power", "Power"},
                  {"CycleCount", "cycleCount", "Cycle Count"},
                  {"BatteryPowerStatus", "powerStatus", "Power Status"},
                  {"RemainingEnergy", "remainingEnergy", "Remaining Energy"},
                  {"DischargeStatus", "dischargeStatus", "Discharge Status"},
                  {"DischargeSetting", "dischargeSetting", "Discharge Setting"},
                  {"DischargeRemainingDays", "dischargeRemainingDays", "Days To Discharge"},
                  {"BatteryStatus", "statusWord", "Status Word"},
                  {"BatteryStatusDescription", "status", "Status"}});
    return VKT_BMC_OK;
}

std::optional<long> batteryModule(const Invocation& inv) {
    return inv.number(inv.arguments[0], "MODULE", firstBatteryModule, lastBatteryModule);
}

int discharge(Invocation& inv) {
    std::optional<long> module = batteryModule(inv);
    if (!module) return VKT_BMC_BAD_ARGUMENT;
    return bmc_Discharge(static_cast<int>(*module));
}

int autoDischarge(Invocation& inv) {
    std::optional<long> module = batteryModule(inv);
    if (!module) return VKT_BMC_BAD_ARGUMENT;
    std::optional<long> days = inv.number(inv.arguments[1], "DAYS", 0, maxDischargeDays);
    if (!days) return VKT_BMC_BAD_ARGUMENT;
    return bmc_AutoDischarge(static_cast<int>(*module), static_cast<int>(*days));
}

}  // namespace

extern const Subject powerSubject = {
    "power",
    "power modules and battery backup modules",
    "The PMBus power modules and the battery backup modules (MODULE 1 to 4) on the BMC's\n"
    "private bus. Status 13 when the server has no such module.\n",
    {
        {"modules", "", "print every power module with readings, status and identity", "", 0, 0, {}, modules,
         dataAction},
        {"batteries", "", "print every battery backup module with charge, discharge state and status", "", 0, 0, {},
         batteries, dataAction},
        {"discharge", "MODULE", "start a discharge of battery module 1 to 4 now",
         "The automatic discharge interval the module holds is kept.\n", 1, 1, {}, discharge},
        {"auto-discharge", "MODULE DAYS", "let battery module 1 to 4 discharge itself every DAYS days (0-63)", "", 2,
         2, {}, autoDischarge},
    },
};

}  // namespace vktool
