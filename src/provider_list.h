// The library's 24 providers, listed once: factory prefix, CIM class, and whether
// enumerating the class acts on the BMC (the action classes). The linker map, the test
// host, the tools and the class definitions are checked against or derived from this list.
#ifndef VKT_PROVIDER_LIST_H
#define VKT_PROVIDER_LIST_H

#define VKT_PROVIDER_LIST(X)                                     \
    X(FRUProvider, "VKT_FRU", false)                             \
    X(PXInfoProvider, "VKT_PXInfo", false)                       \
    X(PXListProvider, "VKT_PXList", false)                       \
    X(SELInfoProvider, "VKT_SELInfo", false)                     \
    X(SELListProvider, "VKT_SELList", false)                     \
    X(PMBusProvider, "VKT_PMBus", false)                         \
    X(PMBusFRUProvider, "VKT_PMBusFRU", false)                   \
    X(PMBusBBPProvider, "VKT_PMBusBBP", false)                   \
    X(LANProvider, "VKT_LAN", false)                             \
    X(BMCIPProvider, "VKT_BMCIP", false)                         \
    X(NMProvider, "VKT_NM", false)                               \
    X(SensorsProvider, "VKT_Sensors", false)                     \
    X(UserListProvider, "VKT_UserList", false)                   \
    X(IPMDeviceProvider, "VKT_IPMDevice", false)                 \
    X(OpenLED, "VKT_OPEN_LED", true)                             \
    X(CloseLED, "VKT_ClOSE_LED", true)                           \
    X(BMCResetToDefault, "VKT_BMCResetToDefault", true)          \
    X(ClearChassisIntrusion, "VKT_ClearChassisIntrusion", true)  \
    X(SetFanModeToFull, "VKT_SetFanModeToFull", true)            \
    X(SetFanModeToHeavyIO, "VKT_SetFanModeToHeavyIO", true)      \
    X(SetFanModeToPUE2, "VKT_SetFanModeToPUE2", true)            \
    X(SetFanModeToPUE3, "VKT_SetFanModeToPUE3", true)            \
    X(SetFanModeToOptimal, "VKT_SetFanModeToOptimal", true)      \
    X(SetFanModeToStandard, "VKT_SetFanModeToStandard", true)

#endif
