// vktool power: the PMBus power modules and battery backup modules on the BMC's private bus.
#include <cstdio>

#include "console.h"
#include "openmetrics.h"
#include "report.h"

namespace vktool {

namespace {

constexpr long firstBatteryModule = 1;
constexpr long lastBatteryModule = 4;
constexpr long maxDischargeDays = 63;

const std::vector<Column> moduleColumns = {
    typed("VKT_PMBus_ModuleID", "module", "Module", Kind::module),
    {"VKT_PMBus_StatusStr", "status", "Status"},
    // The two input properties are published with a trailing blank in their names.
    typed("VKT_PMBus_InputVoltage ", "inputVoltage", "Input Voltage", Kind::measure),
    typed("VKT_PMBus_InputCurrent ", "inputCurrent", "Input Current", Kind::measure),
    typed("VKT_PMBus_InputPower", "inputPower", "Input Power", Kind::measure),
    typed("VKT_PMBus_MainOutputVoltage", "outputVoltage", "Output Voltage", Kind::measure),
    typed("VKT_PMBus_MainOutputCurrent", "outputCurrent", "Output Current", Kind::measure),
    typed("VKT_PMBus_MainOutputPower", "outputPower", "Output Power", Kind::measure),
    typed("VKT_PMBus_Temperature1", "temperature1", "Temperature 1", Kind::measure),
    typed("VKT_PMBus_Temperature2", "temperature2", "Temperature 2", Kind::measure),
    typed("VKT_PMBus_Fan1", "fan1", "Fan 1", Kind::measure),
    typed("VKT_PMBus_Fan2", "fan2", "Fan 2", Kind::measure),
    {"VKT_PMBus_PMBusRevision", "pmbusRevision", "PMBus Revision"},
    {"VKT_PMBus_ZUR_Revision", "revision", "Revision"},
    {"VKT_PMBus_ZUR_SerialNumber", "serialNumber", "Serial Number"},
    {"VKT_PMBus_ZUR_ModuleNumber", "moduleNumber", "Module Number"},
};

const std::vector<Column> batteryColumns = {
    typed("ModuleID", "module", "Module", Kind::module),
    {"Manufacturer", "manufacturer", "Manufacturer"},
    {"ModelName", "model", "Model"},
    {"SerialNumber", "serialNumber", "Serial Number"},
    {"ProductVersion", "productVersion", "Product Version"},
    {"FirmwareVersion", "firmwareVersion", "Firmware Version"},
    typed("BatteryVoltage", "voltage", "Voltage", Kind::measure),
    typed("BatteryCurrent", "current", "Current", Kind::measure),
    typed("BatteryPackTemp", "packTemperature", "Pack Temperature", Kind::measure),
    typed("BoardTemperature", "boardTemperature", "Board Temperature", Kind::measure),
    typed("PowerWattage", "power", "Power", Kind::measure),
    typed("CycleCount", "cycleCount", "Cycle Count", Kind::integer),
    {"BatteryPowerStatus", "powerStatus", "Power Status"},
    typed("RemainingEnergy", "remainingEnergy", "Remaining Energy", Kind::measure),
    {"DischargeStatus", "dischargeStatus", "Discharge Status"},
    {"DischargeSetting", "dischargeSetting", "Discharge Setting"},
    typed("DischargeRemainingDays", "dischargeRemainingDays", "Days To Discharge", Kind::measure),
    typed("BatteryStatus", "statusWord", "Status Word", Kind::measure),
    {"BatteryStatusDescription", "status", "Status"},
};

// The labels every series of a module carries: its number and its bus address.
Exposition::Labels moduleLabels(const std::string& idText) {
    const ModuleId id = parseModuleId(idText);
    char address[8] = "";
    if (id.address) snprintf(address, sizeof address, "0x%02lX", *id.address);
    return {{"module", id.number ? std::to_string(*id.number) : ""}, {"address", address}};
}

Exposition::Labels with(Exposition::Labels labels, const char* name, const std::string& value) {
    labels.emplace_back(name, value);
    return labels;
}

// Metric families of the exposition; names and labels stay as they are.
struct Series {
    const char* family;
    const char* unit;
    const char* property;
    const char* label;  // an extra label telling two readings of a module apart, or nullptr
    const char* labelValue;
    const char* help;
};

constexpr Series moduleSeries[] = {
    {"vkt_power_module_input_volts", "volts", "VKT_PMBus_InputVoltage ", nullptr, nullptr, "Input voltage"},
    {"vkt_power_module_input_amperes", "amperes", "VKT_PMBus_InputCurrent ", nullptr, nullptr, "Input current"},
    {"vkt_power_module_input_watts", "watts", "VKT_PMBus_InputPower", nullptr, nullptr, "Input power"},
    {"vkt_power_module_output_volts", "volts", "VKT_PMBus_MainOutputVoltage", nullptr, nullptr, "Main output voltage"},
    {"vkt_power_module_output_amperes", "amperes", "VKT_PMBus_MainOutputCurrent", nullptr, nullptr,
     "Main output current"},
    {"vkt_power_module_output_watts", "watts", "VKT_PMBus_MainOutputPower", nullptr, nullptr, "Main output power"},
    {"vkt_power_module_temperature_celsius", "celsius", "VKT_PMBus_Temperature1", "sensor", "1", "Temperatures"},
    {"vkt_power_module_temperature_celsius", "celsius", "VKT_PMBus_Temperature2", "sensor", "2", "Temperatures"},
    {"vkt_power_module_fan_rpm", "rpm", "VKT_PMBus_Fan1", "fan", "1", "Fan speeds"},
    {"vkt_power_module_fan_rpm", "rpm", "VKT_PMBus_Fan2", "fan", "2", "Fan speeds"},
};

constexpr Series batterySeries[] = {
    {"vkt_battery_voltage_volts", "volts", "BatteryVoltage", nullptr, nullptr, "Battery voltage"},
    {"vkt_battery_current_amperes", "amperes", "BatteryCurrent", nullptr, nullptr, "Battery current"},
    {"vkt_battery_temperature_celsius", "celsius", "BatteryPackTemp", "sensor", "pack", "Temperatures"},
    {"vkt_battery_temperature_celsius", "celsius", "BoardTemperature", "sensor", "board", "Temperatures"},
    {"vkt_battery_power_watts", "watts", "PowerWattage", nullptr, nullptr, "Power"},
    {"vkt_battery_cycle_count", "", "CycleCount", nullptr, nullptr, "Charge cycles so far"},
    {"vkt_battery_remaining_energy_ratio", "ratio", "RemainingEnergy", nullptr, nullptr,
     "Remaining energy, as a ratio of the full charge"},
    {"vkt_battery_discharge_remaining_days", "days", "DischargeRemainingDays", nullptr, nullptr,
     "Days until the next automatic discharge"},
    {"vkt_battery_status_word", "", "BatteryStatus", nullptr, nullptr, "The module's status word"},
};

template <size_t N>
void declare(Exposition& e, const Series (&series)[N]) {
    for (const Series& s : series) e.gauge(s.family, s.unit, s.help);
}

template <size_t N>
void addReadings(Exposition& e, const Series (&series)[N], const cimhost::Instance& row,
                 const Exposition::Labels& labels) {
    for (const Series& s : series)
        e.reading(s.family, s.label != nullptr ? with(labels, s.label, s.labelValue) : labels,
                  shownValue(row, s.property));
}

void printModuleMetrics(const std::vector<cimhost::Instance>& rows) {
    Exposition e;
    e.gauge("vkt_power_module_info", "", "1 for each power module, with its identity as labels");
    e.gauge("vkt_power_module_status", "", "1 for each power module, with its status text as the status label");
    declare(e, moduleSeries);
    for (const cimhost::Instance& row : rows) {
        const Exposition::Labels labels = moduleLabels(shownValue(row, "VKT_PMBus_ModuleID"));
        Exposition::Labels info = labels;
        for (auto [name, property] : {std::pair{"model", "VKT_PMBus_ZUR_ModuleNumber"},
                                      std::pair{"serial", "VKT_PMBus_ZUR_SerialNumber"},
                                      std::pair{"revision", "VKT_PMBus_ZUR_Revision"},
                                      std::pair{"pmbus_revision", "VKT_PMBus_PMBusRevision"}})
            info.emplace_back(name, shownValue(row, property));
        e.sample("vkt_power_module_info", info, "1");
        e.sample("vkt_power_module_status", with(labels, "status", shownValue(row, "VKT_PMBus_StatusStr")), "1");
        addReadings(e, moduleSeries, row, labels);
    }
    console::endLine();
    e.write(console::data());
}

void printBatteryMetrics(const std::vector<cimhost::Instance>& rows) {
    Exposition e;
    e.gauge("vkt_battery_info", "", "1 for each battery backup module, with its identity as labels");
    e.gauge("vkt_battery_status", "", "1 for each battery backup module, with its state texts as labels");
    declare(e, batterySeries);
    for (const cimhost::Instance& row : rows) {
        const Exposition::Labels labels = moduleLabels(shownValue(row, "ModuleID"));
        Exposition::Labels info = labels;
        for (auto [name, property] : {std::pair{"manufacturer", "Manufacturer"}, std::pair{"model", "ModelName"},
                                      std::pair{"serial", "SerialNumber"}, std::pair{"product_version", "ProductVersion"},
                                      std::pair{"firmware_version", "FirmwareVersion"}})
            info.emplace_back(name, shownValue(row, property));
        e.sample("vkt_battery_info", info, "1");
        Exposition::Labels state = labels;
        for (auto [name, property] : {std::pair{"status", "BatteryStatusDescription"},
                                      std::pair{"power_status", "BatteryPowerStatus"},
                                      std::pair{"discharge_status", "DischargeStatus"},
                                      std::pair{"discharge_setting", "DischargeSetting"}})
            state.emplace_back(name, shownValue(row, property));
        e.sample("vkt_battery_status", state, "1");
        addReadings(e, batterySeries, row, labels);
    }
    console::endLine();
    e.write(console::data());
}

int modules(Invocation& inv) {
    if (int rc = bmc_GetPMBusInfo(nullptr)) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "PMBusProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    if (inv.format() == Format::openmetrics)
        printModuleMetrics(r->instances);
    else
        printRecords(inv, r->instances, moduleColumns);
    return VKT_BMC_OK;
}

int batteries(Invocation& inv) {
    if (int rc = bmc_GetBatteryInfo(nullptr)) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "PMBusBBPProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    if (inv.format() == Format::openmetrics)
        printBatteryMetrics(r->instances);
    else
        printRecords(inv, r->instances, batteryColumns);
    return VKT_BMC_OK;
}

std::optional<long> batteryModule(const Invocation& inv) {
    return inv.number(inv.arguments[0], "MODULE", firstBatteryModule, lastBatteryModule);
}

int discharge(Invocation& inv) {
    std::optional<long> module = batteryModule(inv);
    if (!module) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Start a discharge of battery module " + std::to_string(*module) + " now?")) return notConfirmed;
    return bmc_Discharge(static_cast<int>(*module));
}

int autoDischarge(Invocation& inv) {
    std::optional<long> module = batteryModule(inv);
    if (!module) return VKT_BMC_BAD_ARGUMENT;
    std::optional<long> days = inv.number(inv.arguments[1], "DAYS", 0, maxDischargeDays);
    if (!days) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Let battery module " + std::to_string(*module) + " discharge itself every " +
                     std::to_string(*days) + " days?"))
        return notConfirmed;
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
         dataAction | metricsAction},
        {"batteries", "", "print every battery backup module with charge, discharge state and status", "", 0, 0, {},
         batteries, dataAction | metricsAction},
        {"discharge", "MODULE", "start a discharge of battery module 1 to 4 now",
         "The automatic discharge interval the module holds is kept.\n", 1, 1, {}, discharge, changesBmc,
         {{"1", "1 2 3 4"}}},
        {"auto-discharge", "MODULE DAYS", "let battery module 1 to 4 discharge itself every DAYS days (0-63)", "", 2,
         2, {}, autoDischarge, changesBmc, {{"1", "1 2 3 4"}}},
    },
};

}  // namespace vktool
