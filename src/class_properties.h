// The properties of the library's 24 classes, listed once: for each class the key on its
// object path (which every instance also carries as its first property) and every other
// string property its provider sets, in the order it sets them. The class definitions (MOF)
// and the CIMOM registrations are generated from this list at build time
// (mof/vkt-mofgen.cpp), and a test checks what each provider publishes against it. Names are
// written byte for byte as the providers set them, the misspelt ones and the two that end in
// a blank included; a name that ends in a blank cannot be declared in a class, so it is
// listed beside its twin without the blank, which the class declares.
#ifndef VKT_CLASS_PROPERTIES_H
#define VKT_CLASS_PROPERTIES_H

#include <cstddef>

#include "provider_list.h"

namespace vkt {

struct ClassProperties {
    const char* className;
    const char* key;          // key property on the object path; nullptr: the path has none
    const char* description;  // one line for the class definition
    const char* const* properties;
    std::size_t count;
};

namespace classlist {

inline constexpr const char* fru[] = {
    "VKT_BoardMfgDataTime",        "VKT_BoardManufacturerName", "VKT_BoardProductName", "VKT_BoardSerialNumber",
    "VKT_BoardPartNumber",         "VKT_BoardCustomer",         "VKT_ProductManufacturerName",
    "VKT_ProductName",             "VKT_ProductPartModelNumber", "VKT_ProductVersion",
    "VKT_ProductSerialNumber",     "VKT_ProductAssetTag",
};

inline constexpr const char* pxInfo[] = {
    "VKT_ConfigurationID", "VKT_CurrentNodeID", "VKT_SystemName",   "VKT_SystemPN",        "VKT_SystemSN",
    "VKT_ChassisPN",       "VKT_ChassisSN",     "VKT_BackPlanePN",  "VKT_BackPlaneSN",     "VKT_ChassisLocation",
    "VKT_BPLocation",      "VKT_MCUVersion",    "VKT_BPNRevision",
};

inline constexpr const char* pxList[] = {
    "VKT_Node",     "VKT_Power",   "VKT_IP",     "VKT_Watts",  "VKT_Current",
    "VKT_Cpu1Temp", "VKT_Cpu2Temp", "VKT_SysTemp", "VKT_NodePN", "VKT_NodeSN",
};

inline constexpr const char* selInfo[] = {
    "VKT_TotalEntries", "VKT_FreeSpace", "VKT_RecentEntryAdded", "VKT_RecentEntryDel",
};

inline constexpr const char* selList[] = {
    "VKT_Order", "VKT_TimeString", "VKT_SensorName", "VKT_EventDir", "VKT_EventDesc",
};

inline constexpr const char* pmBus[] = {
    "VKT_PMBus_ModuleID",
    "VKT_PMBus_StatusStr",
    "VKT_PMBus_InputVoltage ",  // ends in a blank: published, but no class can declare it
    "VKT_PMBus_InputVoltage",
    "VKT_PMBus_InputCurrent ",  // ends in a blank: published, but no class can declare it
    "VKT_PMBus_InputCurrent",
    "VKT_PMBus_MainOutputVoltage",
    "VKT_PMBus_MainOutputCurrent",
    "VKT_PMBus_Temperature1",
    "VKT_PMBus_Temperature2",
    "VKT_PMBus_Fan1",
    "VKT_PMBus_Fan2",
    "VKT_PMBus_MainOutputPower",
    "VKT_PMBus_InputPower",
    "VKT_PMBus_PMBusRevision",
    "VKT_PMBus_ZUR_Revision",
    "VKT_PMBus_ZUR_SerialNumber",
    "VKT_PMBus_ZUR_ModuleNumber",
};

inline constexpr const char* pmBusFru[] = {"ModuleID", "Status", "Temperature", "Fan1", "Fan2"};

inline constexpr const char* pmBusBbp[] = {
    "ModuleID",        "Manufacturer",       "ModelName",      "SerialNumber",          "ProductVersion",
    "FirmwareVersion", "BatteryVoltage",     "BatteryCurrent", "BatteryPackTemp",       "BoardTemperature",
    "PowerWattage",    "CycleCount",         "BatteryPowerStatus", "RemainingEnergy",   "DischargeStatus",
    "DischargeSetting", "DischargeRemainingDays", "BatteryStatus", "BatteryStatusDescription",
};

#define VKT_SYSTEM_MAC_PROPERTIES                                                                        \
    "VKT_SYSTEM_MAC_Address1", "VKT_SYSTEM_MAC_Address2", "VKT_SYSTEM_MAC_Address3",                     \
        "VKT_SYSTEM_MAC_Address4", "VKT_SYSTEM_MAC_Address5", "VKT_SYSTEM_MAC_Address6",                 \
        "VKT_SYSTEM_MAC_Address7", "VKT_SYSTEM_MAC_Address8", "VKT_SYSTEM_MAC_Address9",                 \
        "VKT_SYSTEM_MAC_Address10", "VKT_SYSTEM_MAC_Address11", "VKT_SYSTEM_MAC_Address12",              \
        "VKT_SYSTEM_MAC_Address13", "VKT_SYSTEM_MAC_Address14", "VKT_SYSTEM_MAC_Address15",              \
        "VKT_SYSTEM_MAC_Address16", "VKT_SYSTEM_MAC_Address17", "VKT_SYSTEM_MAC_Address18",              \
        "VKT_SYSTEM_MAC_Address19", "VKT_SYSTEM_MAC_Address20"

inline constexpr const char* lan[] = {
    "VKT_IP_Address", "VKT_MAC_Address", "VKT_Getway_IP_Address", "VKT_Subnet_Address", "VKT_DHCP_Status",
    VKT_SYSTEM_MAC_PROPERTIES,
};

inline constexpr const char* bmcIp[] = {"VKT_IP_Address", "VKT_MAC_Address", VKT_SYSTEM_MAC_PROPERTIES};

#undef VKT_SYSTEM_MAC_PROPERTIES

inline constexpr const char* nm[] = {
    "VKT_BoardID",      "VKT_NM_FirmwareVersion",    "VKT_NM_Platform",         "VKT_NM_FirewareImplementedVersion",
    "VKT_NM_ImageFlag", "VKT_BMC_FirmwareBuildTime", "VKT_BMC_FirmwareVersion",
};

inline constexpr const char* sensors[] = {
    "VKT_SensorName", "VKT_SensorTypeName", "VKT_Reading", "VKT_LowLimit", "VKT_HighLimit", "VKT_Status",
};

inline constexpr const char* userList[] = {"VKT_UserID", "VKT_UserName", "VKT_PrivilegeLevel", "VKT_Enable"};

inline constexpr const char* ipmDevice[] = {
    "VKT_IsMultiNode", "VKT_IsLedEnabled", "VKT_IsNeedToClearChassisIntrusion", "VKT_CurrentFanMode",
    "VKT_SupportedFanModes",
};

inline constexpr const char* action[] = {"VKT_Result"};

template <std::size_t N>
constexpr ClassProperties entry(const char* className, const char* key, const char* description,
                                const char* const (&properties)[N]) {
    return {className, key, description, properties, N};
}

}  // namespace classlist

// In the order of VKT_PROVIDER_LIST (checked below).
inline constexpr ClassProperties classProperties[] = {
    classlist::entry("VKT_FRU", "deviceID", "Board and product inventory of the BMC's FRU device 0",
                     classlist::fru),
    classlist::entry("VKT_PXInfo", "deviceID", "Chassis data of a multi-node chassis", classlist::pxInfo),
    classlist::entry("VKT_PXList", "device_id", "One node of a multi-node chassis", classlist::pxList),
    classlist::entry("VKT_SELInfo", "deviceID", "Summary of the system event log", classlist::selInfo),
    classlist::entry("VKT_SELList", "device_id", "One entry of the system event log", classlist::selList),
    classlist::entry("VKT_PMBus", "DeviceID", "One PMBus power supply module", classlist::pmBus),
    classlist::entry("VKT_PMBusFRU", nullptr, "One power supply module status device", classlist::pmBusFru),
    classlist::entry("VKT_PMBusBBP", nullptr, "One battery backup module", classlist::pmBusBbp),
    classlist::entry("VKT_LAN", "deviceID", "LAN settings of the BMC and MAC addresses of the host",
                     classlist::lan),
    classlist::entry("VKT_BMCIP", "deviceID", "Address of the BMC and MAC addresses of the host",
                     classlist::bmcIp),
    classlist::entry("VKT_NM", "deviceID", "Node Manager and BMC firmware identity", classlist::nm),
    classlist::entry("VKT_Sensors", "DeviceID", "One sensor of the BMC's SDR repository", classlist::sensors),
    classlist::entry("VKT_UserList", nullptr, "One user account of the BMC", classlist::userList),
    classlist::entry("VKT_IPMDevice", "deviceID", "Capabilities of the BMC and the chassis",
                     classlist::ipmDevice),
    classlist::entry("VKT_OPEN_LED", nullptr, "Enumerating it switches the identify LED on", classlist::action),
    classlist::entry("VKT_ClOSE_LED", nullptr, "Enumerating it switches the identify LED off", classlist::action),
    classlist::entry("VKT_BMCResetToDefault", nullptr, "Enumerating it makes the BMC cold reset",
                     classlist::action),
    classlist::entry("VKT_ClearChassisIntrusion", nullptr, "Enumerating it clears the chassis intrusion state",
                     classlist::action),
    classlist::entry("VKT_SetFanModeToFull", nullptr, "Enumerating it sets the fan mode Full", classlist::action),
    classlist::entry("VKT_SetFanModeToHeavyIO", nullptr, "Enumerating it sets the fan mode Heavy IO",
                     classlist::action),
    classlist::entry("VKT_SetFanModeToPUE2", nullptr, "Enumerating it sets the fan mode PUE2 Optimal",
                     classlist::action),
    classlist::entry("VKT_SetFanModeToPUE3", nullptr, "Enumerating it sets the fan mode PUE3 Optimal",
                     classlist::action),
    classlist::entry("VKT_SetFanModeToOptimal", nullptr, "Enumerating it sets the fan mode Optimal",
                     classlist::action),
    classlist::entry("VKT_SetFanModeToStandard", nullptr, "Enumerating it sets the fan mode Standard",
                     classlist::action),
};

namespace classlist {

constexpr bool sameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

#define VKT_CLASS_NAME_OF(Prefix, className, action) className,
inline constexpr const char* providerClasses[] = {VKT_PROVIDER_LIST(VKT_CLASS_NAME_OF)};
#undef VKT_CLASS_NAME_OF

constexpr bool followsProviderList() {
    if (sizeof providerClasses / sizeof providerClasses[0] != sizeof classProperties / sizeof classProperties[0])
        return false;
    for (std::size_t i = 0; i < sizeof classProperties / sizeof classProperties[0]; ++i)
        if (!sameText(providerClasses[i], classProperties[i].className)) return false;
    return true;
}
static_assert(followsProviderList(), "classProperties must list the classes of VKT_PROVIDER_LIST in its order");

}  // namespace classlist

// The entry of a class (exact name); nullptr when the library has no such class.
inline const ClassProperties* findClassProperties(const char* className) {
    for (const ClassProperties& c : classProperties)
        if (classlist::sameText(c.className, className)) return &c;
    return nullptr;
}

}  // namespace vkt

#endif
