// Provider of VKT_LAN: the BMC's LAN settings and the host's MAC addresses.
#include "Common.h"
#include "SystemMacProperties.h"
#include "cim_util.h"

VKT_DATA_PROVIDER(LANProvider, "VKT_LAN");

static const char* filterKeys[] = {"DeviceID", nullptr};

static void LANProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    // A failed query leaves its buffer as the last enumeration saw it.
    getLanSetting();
    getSystemMacAddress();
    vkt::InstanceBuilder inst(LANProviderbroker, _ClassName, "deviceID", "LAN", properties, filterKeys);
    inst.set("VKT_IP_Address", ip_addr);
    inst.set("VKT_MAC_Address", mac_addr);
    inst.set("VKT_Getway_IP_Address", gwip_addr);
    inst.set("VKT_Subnet_Address", subnetip_addr);
    inst.set("VKT_DHCP_Status", dhcpStatus);
    vkt::setSystemMacProperties(inst);
    inst.returnTo(rslt);
    vkt::finishEnumeration(ctx, LANProviderbroker, rslt);
}
