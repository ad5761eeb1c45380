// The host MAC addresses that VKT_LAN and VKT_BMCIP both publish.
#ifndef VKT_SYSTEM_MAC_PROPERTIES_H
#define VKT_SYSTEM_MAC_PROPERTIES_H

#include "Common.h"
#include "bounded.h"
#include "cim_util.h"

namespace vkt {

// One property per filled entry, numbered by its position: empty entries leave gaps.
inline void setSystemMacProperties(InstanceBuilder& inst) {
    for (int i = 1; i <= macListEntries; ++i) {
        const char* entry = mac_list[i - 1];
        if (entry[0] == '\0') continue;
        char name[40];
        VKT_FORMAT(name, "VKT_SYSTEM_MAC_Address%d", i);
        inst.set(name, entry);
    }
}

}  // namespace vkt

#endif
