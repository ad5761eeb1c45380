// The BMC's LAN configuration and the host's MAC addresses: queries into process-wide
// display buffers, the address parsers and formatters, and the LAN parameter setters.
#ifndef VKT_CIM_UTIL_H
#define VKT_CIM_UTIL_H

#include "ipmi_defs.h"
#include "vkt_types.h"

// Display buffers: dotted IPv4 text and colon-separated upper-case MAC text.
constexpr int ipTextSize = 16;
constexpr int macTextSize = 18;
using IpText = char[ipTextSize];
using MacText = char[macTextSize];

constexpr int ipRecordSize = 4;
constexpr int macRecordSize = 6;
constexpr int macListEntries = 20;

// Filled by getLanSetting; a query that fails leaves its buffer as it was.
extern IpText ip_addr;
extern MacText mac_addr;
extern IpText gwip_addr;
extern IpText subnetip_addr;
extern char dhcpStatus[10];
// Host MAC addresses, entry 1 first; an entry whose first byte is 0 is empty. Never
// cleared: a later, shorter list leaves the entries beyond it in place.
extern MacText mac_list[macListEntries];

// The BMC's VLAN as last read, and the ID a change sends.
extern int vLanStatus;
extern int vLanTag;

namespace vkt {

// Get/Set LAN Configuration Parameters: command numbers, the one LAN channel, selectors.
constexpr BYTE cmdSetLanConfig = 0x01;
constexpr BYTE cmdGetLanConfig = 0x02;
constexpr BYTE lanChannel = 0x01;

enum class LanParam : BYTE {
    ipAddress = 0x03,
    addressSource = 0x04,
    macAddress = 0x05,
    subnetMask = 0x06,
    arpControl = 0x0A,
    defaultGateway = 0x0C,
    vlanId = 0x14,
};

constexpr BYTE addressSourceStatic = 0x01;
constexpr BYTE addressSourceDhcp = 0x02;
constexpr BYTE vlanEnableBit = 0x80;
constexpr int vlanIdMax = 4095;

// OEM command that reports the host's NIC addresses besides the first (oemSystemInfo has that one).
constexpr BYTE oemMacList = 0x9F;

}  // namespace vkt

// Queries; each returns the completion code and writes its buffer only on success.
BYTE getIPMIIP(IpText& ip);
BYTE getIPMIMAC(MacText& mac);
BYTE getGWIP(IpText& ip);
BYTE getSubnetMask(IpText& ip);
// *status = 0 when the address source is static, 1 for any other source.
BYTE getDHCPStatus(int* status);
BYTE getLanSetting();
BYTE getSystemMacAddress();
BYTE getVLan();

// Formatters.
void mac_record2mac_addr(const BYTE* mac_record, MacText& mac);
void ip_record2ip_addr(const BYTE* ip_record, IpText& ip);

// Parsers: 0 when the text is valid and the record holds it, 1 otherwise. The text is
// never modified.
int ip_addr2ip_record(const char* text, BYTE* record);
int mac_addr2mac_record(const char* text, BYTE* record);

// Setters; each sends one Set LAN Configuration Parameters and returns its completion code.
BYTE setIPMIIP(const BYTE* ip);
BYTE setIPMIMAC(const BYTE* mac);
BYTE setSubnetMask(const BYTE* ip);
BYTE setGWIP(const BYTE* ip);
BYTE setDHCPStatus(int enable);
BYTE setGratuitousARP(int enable);
BYTE setVLan(int enable);

#endif
