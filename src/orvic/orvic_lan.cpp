// Exported routines that report and change the BMC's LAN configuration.
#include <cstdio>
#include <cstring>

#include "bounded.h"
#include "cim_util.h"
#include "generic_util.h"
#include "entry_barrier.h"
#include "ipmi_defs.h"
#include "progress.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

namespace {

constexpr int settleMs = 6000;  // the BMC needs this long before a new address reads back

// The messages of one address change; each "%s" receives the completion-code text.
struct AddressChange {
    const char* sourceFailed;
    const char* refused;
    const char* badFormat;
    const char* setFailed;
    const char* report;
    const char* readFailed;
    BYTE (*set)(const BYTE*);
    BYTE (*get)(IpText&);
};

const AddressChange ipChange = {
    "Failed to determine lan source, %s",
    "IP address can not be changed because DHCP option is enabled.\n",
    "Not a valid IP address format.\n",
    "Failed to set IP address, %s",
    "IP=%s\n",
    "Failed to get IP Address, %s",
    setIPMIIP,
    getIPMIIP,
};

const AddressChange maskChange = {
    "Failed to determine IP address source, %s",
    "Subnet mask can not be changed because DHCP option is enabled.\n",
    "Subnet Mask format error.\n",
    "Failed to set subnet mask, %s",
    "Subnet Mask=%s\n",
    "Failed to get subnet mask, %s",
    setSubnetMask,
    getSubnetMask,
};

const AddressChange gatewayChange = {
    "Failed to determine IP address source, %s",
    "Gateway can not be changed because DHCP option is enabled.\n",
    "Not a valid IP address format.\n",
    "Failed to set gateway IP address, %s",
    "Gateway=%s\n",
    "Failed to get gateway IP Address, %s",
    setGWIP,
    getGWIP,
};

// Completes a change message whose "%s" normally holds the completion-code text: the BMC
// accepted the Set but the value read back afterwards is still another one.
constexpr const char* notApplied = "the BMC did not apply the change\n";

// A BMC on DHCP would overwrite a static address, so the change is refused before the
// text is even looked at. `record` receives the address sent.
int changeAddress(const AddressChange& change, const char* text, BYTE* record) {
    int source = 0;
    BYTE cc = getDHCPStatus(&source);
    if (cc != vkt::ccSuccess) {
        vkt::reportFailure(change.sourceFailed, cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    if (source != 0) {
        fputs(change.refused, stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    if (ip_addr2ip_record(text, record) != 0) {
        fputs(change.badFormat, stderr);
        return VKT_BMC_BAD_ARGUMENT;
    }
    cc = change.set(record);
    if (cc != vkt::ccSuccess) {
        vkt::reportFailure(change.setFailed, cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    vkt::pauseWithProgress(VKT_PROGRESS_LAN_SETTLE, settleMs);
    return 0;
}

// Prints the value the BMC holds; `shown` (when given) receives it.
int reportAddress(BYTE (*get)(IpText&), const char* report, const char* failed, IpText* shown = nullptr) {
    IpText text = "";
    BYTE cc = get(text);
    if (cc != vkt::ccSuccess) {
        vkt::reportFailure(failed, cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    printf(report, text);
    if (shown != nullptr) vkt::copyText(*shown, text);
    return VKT_BMC_OK;
}

// A Set that the BMC acknowledged but did not carry out (some BMCs hold LAN changes until
// a commit and drop them) must not pass for a change: the read-back decides.
int setAddress(const AddressChange& change, const char* text) {
    BYTE record[ipRecordSize] = {};
    int rc = changeAddress(change, text, record);
    if (rc != VKT_BMC_OK) return rc;
    IpText now = "";
    rc = reportAddress(change.get, change.report, change.readFailed, &now);
    if (rc != VKT_BMC_OK) return rc;
    IpText requested = "";
    ip_record2ip_addr(record, requested);
    if (strcmp(now, requested) != 0) {
        fprintf(stderr, change.setFailed, notApplied);
        return VKT_BMC_COMMAND_FAILED;
    }
    return VKT_BMC_OK;
}

int reportMac(const char* failed, MacText* shown = nullptr) {
    MacText text = "";
    BYTE cc = getIPMIMAC(text);
    if (cc != vkt::ccSuccess) {
        vkt::reportFailure(failed, cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    printf("MAC=%s\n", text);
    if (shown != nullptr) vkt::copyText(*shown, text);
    return VKT_BMC_OK;
}

// Firmware families whose BMC restarts itself after its MAC address changed.
bool restartsAfterMacChange(BYTE family) { return family == 10 || family == 11 || family == 12 || family == 15; }

const char* onOff(int enable) { return enable == 1 ? "enable" : "disable"; }

}  // namespace

int bmc_SetIP(const char* text) {
    return vkt::entryBarrier(__func__, [&] { return setAddress(ipChange, text); });
}
int bmc_SetSubnetMask(const char* text) {
    return vkt::entryBarrier(__func__, [&] { return setAddress(maskChange, text); });
}
int bmc_SetGWIP(const char* text) {
    return vkt::entryBarrier(__func__, [&] { return setAddress(gatewayChange, text); });
}

int bmc_SetMac(const char* text) {
    return vkt::entryBarrier(__func__, [&] {
        BYTE record[macRecordSize] = {};
        if (mac_addr2mac_record(text, record) != 0) {
            fputs("Not a valid MAC address format.\n", stderr);
            return VKT_BMC_BAD_ARGUMENT;
        }
        BYTE cc = getIPMIVersion();
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to get IPMI firmware reverison, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        cc = setIPMIMAC(record);
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to set MAC address, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        if (restartsAfterMacChange(version)) {
            // Nothing can be read back from a restarting BMC: show what was requested.
            MacText requested = "";
            mac_record2mac_addr(record, requested);
            printf("MAC=%s (After receiving command, BMC will reboot itself. BMC will not response any commands "
                   "temporarily.)\n",
                   requested);
            return VKT_BMC_OK;
        }
        vkt::pauseWithProgress(VKT_PROGRESS_LAN_SETTLE, settleMs);
        MacText now = "";
        int rc = reportMac("Failed to get MAC Address, %s", &now);
        if (rc != VKT_BMC_OK) return rc;
        MacText requested = "";
        mac_record2mac_addr(record, requested);
        if (strcmp(now, requested) != 0) {
            fprintf(stderr, "Failed to set MAC address, %s", notApplied);
            return VKT_BMC_COMMAND_FAILED;
        }
        return VKT_BMC_OK;
    });
}

int bmc_SetDHCPStatus(int enable) {
    return vkt::entryBarrier(__func__, [&] {
        BYTE cc = setDHCPStatus(enable);
        if (cc != vkt::ccSuccess) {
            fprintf(stderr, "Failed to %s DHCP, Completion Code=%02Xh\n", onOff(enable), cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        printf("Successfully %s DHCP.\n", onOff(enable));
        return VKT_BMC_OK;
    });
}

int bmc_SetGratuitousARP(int enable) {
    return vkt::entryBarrier(__func__, [&] {
        BYTE cc = setGratuitousARP(enable);
        if (cc == vkt::ccSuccess) {
            printf("Successfully %s Gratuitous ARP.\n", onOff(enable));
            return VKT_BMC_OK;
        }
        if (cc == vkt::ccParamNotSupported)
            fputs("Gratuitous ARP is not supported for this BMC.\n", stderr);
        else
            fprintf(stderr, "Failed to %s Gratuitous ARP, Completion Code=%02Xh\n", onOff(enable), cc);
        return VKT_BMC_COMMAND_FAILED;
    });
}

int bmc_GetVLan() {
    return vkt::entryBarrier(__func__, [&] {
        BYTE cc = getVLan();
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to get VLan status, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        printf("VLAN is now %s.\n", vLanStatus != 0 ? "enabled" : "disabled");
        if (vLanStatus != 0) printf("Tag: %d\n", vLanTag);
        return VKT_BMC_OK;
    });
}

int bmc_SetVLan(int enable, int tag) {
    return vkt::entryBarrier(__func__, [&] {
        // The ID has twelve bits; anything larger would spill into the enable bit.
        if (tag > vkt::vlanIdMax) {
            fprintf(stderr, "Not a valid VLAN ID (1 to %d).\n", vkt::vlanIdMax);
            return VKT_BMC_BAD_ARGUMENT;
        }
        BYTE cc = getVLan();
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to get VLan status, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        if (tag > 0) vLanTag = tag;
        cc = setVLan(enable);
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to set VLan status, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        return bmc_GetVLan();
    });
}

int bmc_GetIPandMac() {
    return vkt::entryBarrier(__func__, [&] {
        int rc = reportAddress(getIPMIIP, "IP=%s\n", "Failed to get IP Address, %s");
        if (rc != VKT_BMC_OK) return rc;
        return reportMac("Failed to get MAC Address, %s");
    });
}

int bmc_GetGWIP() {
    return vkt::entryBarrier(__func__, [&] { return reportAddress(getGWIP, "Gateway=%s\n", "Failed to get gateway IP Address, %s"); });
}

int bmc_GetSubnetMask() {
    return vkt::entryBarrier(__func__, [&] { return reportAddress(getSubnetMask, "Subnet Mask=%s\n", "Failed to get subnet mask, %s"); });
}

int bmc_GetDHCPStatus() {
    return vkt::entryBarrier(__func__, [&] {
        int source = 0;
        BYTE cc = getDHCPStatus(&source);
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to determine IP address source, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        puts(source != 0 ? "DHCP is currently enabled." : "DHCP is currently disabled.");
        return VKT_BMC_OK;
    });
}
