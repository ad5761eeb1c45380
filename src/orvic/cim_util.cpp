// LAN configuration queries, host MAC addresses, address texts and LAN parameter setters.
#include "cim_util.h"

#include <algorithm>
#include <cstring>

#include "bounded.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "smipmi.h"

IpText ip_addr = "";
MacText mac_addr = "";
IpText gwip_addr = "";
IpText subnetip_addr = "";
char dhcpStatus[10] = "";
MacText mac_list[macListEntries] = {};

int vLanStatus = 0;
int vLanTag = 0;

namespace {

using vkt::LanParam;

// Get LAN Configuration Parameters of channel 1, set and block selector 0.
vkt::IpmiReply getLanParam(LanParam param) {
    const BYTE request[] = {vkt::lanChannel, static_cast<BYTE>(param), 0x00, 0x00};
    return vkt::ipmiRequest(vkt::netFnTransport, vkt::cmdGetLanConfig, request);
}

vkt::LanParamReply lanValue(const vkt::IpmiReply& reply) { return vkt::LanParamReply::decode(reply.view()); }

BYTE setLanParam(LanParam param, const BYTE* value, size_t length) {
    BYTE request[2 + macRecordSize] = {vkt::lanChannel, static_cast<BYTE>(param)};
    length = std::min(length, sizeof request - 2);
    if (value != nullptr) memcpy(request + 2, value, length);
    return vkt::ipmiRequest(vkt::netFnTransport, vkt::cmdSetLanConfig, request, static_cast<int>(2 + length)).cc;
}

BYTE getIpParam(LanParam param, IpText& text) {
    vkt::IpmiReply reply = getLanParam(param);
    if (!reply.ok()) return reply.cc;
    ip_record2ip_addr(lanValue(reply).value.data(), text);
    return reply.cc;
}

// The host's second NIC is numbered right after the first: add one to the 48-bit address.
void incrementMac(BYTE (&record)[macRecordSize]) {
    for (size_t i = macRecordSize; i-- > 0;) {
        if (++record[i] != 0) break;
    }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

constexpr BYTE nicLayoutMask = 0x07;
constexpr BYTE nicLayoutConsecutivePair = 2;

}  // namespace

void mac_record2mac_addr(const BYTE* m, MacText& mac) {
    if (m == nullptr) {
        mac[0] = '\0';
        return;
    }
    VKT_FORMAT(mac, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
}

void ip_record2ip_addr(const BYTE* r, IpText& ip) {
    if (r == nullptr) {
        ip[0] = '\0';
        return;
    }
    VKT_FORMAT(ip, "%d.%d.%d.%d", r[0], r[1], r[2], r[3]);
}

BYTE getIPMIIP(IpText& ip) { return getIpParam(LanParam::ipAddress, ip); }
BYTE getGWIP(IpText& ip) { return getIpParam(LanParam::defaultGateway, ip); }
BYTE getSubnetMask(IpText& ip) { return getIpParam(LanParam::subnetMask, ip); }

BYTE getIPMIMAC(MacText& mac) {
    vkt::IpmiReply reply = getLanParam(LanParam::macAddress);
    if (!reply.ok()) return reply.cc;
    mac_record2mac_addr(lanValue(reply).value.data(), mac);
    return reply.cc;
}

BYTE getDHCPStatus(int* status) {
    vkt::IpmiReply reply = getLanParam(LanParam::addressSource);
    if (reply.ok() && status != nullptr) *status = lanValue(reply).value[0] != vkt::addressSourceStatic ? 1 : 0;
    return reply.cc;
}

BYTE getLanSetting() {
    getIPMIIP(ip_addr);
    getIPMIMAC(mac_addr);
    getGWIP(gwip_addr);
    getSubnetMask(subnetip_addr);
    int status = 0;
    BYTE cc = getDHCPStatus(&status);
    if (cc != vkt::ccSuccess) return cc;
    vkt::copyText(dhcpStatus, status == 1 ? "enabled" : "disabled");
    return vkt::ccSuccess;
}

BYTE getSystemMacAddress() {
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnOem, vkt::oemSystemInfo);
    if (!reply.ok()) return reply.cc;
    const vkt::SystemInfoReply info = vkt::SystemInfoReply::decode(reply.view());
    BYTE first[macRecordSize];
    std::copy(info.firstMac.begin(), info.firstMac.end(), first);
    mac_record2mac_addr(first, mac_list[0]);

    if ((info.nicLayout & nicLayoutMask) == nicLayoutConsecutivePair) {
        incrementMac(first);
        mac_record2mac_addr(first, mac_list[1]);
        return vkt::ccSuccess;
    }

    // Otherwise the BMC lists the other NICs: a count, then six bytes per address. The
    // completion code is not looked at; a failure without data reads as count 0. Only
    // addresses that arrived whole and fit behind entry 1 are taken.
    const vkt::IpmiReply answer = vkt::ipmiRequest(vkt::netFnOem, vkt::oemMacList);
    const vkt::MacListReply list = vkt::MacListReply::decode(answer.view());
    const size_t count = std::min<size_t>(list.count, macListEntries - 1);
    for (size_t k = 0; k < count; ++k) {
        BYTE record[macRecordSize];
        list.address(k, record);
        mac_record2mac_addr(record, mac_list[k + 1]);
    }
    return answer.cc;
}

BYTE getVLan() {
    vkt::IpmiReply reply = getLanParam(LanParam::vlanId);
    if (!reply.ok()) return reply.cc;
    const vkt::LanParamReply vlan = lanValue(reply);
    vLanStatus = vlan.vlanEnabled() ? 1 : 0;
    vLanTag = vlan.vlanId();
    return reply.cc;
}

int ip_addr2ip_record(const char* text, BYTE* record) {
    if (text == nullptr || record == nullptr) return 1;
    for (const char* p = text; *p != '\0'; ++p)
        if (!isDigit(*p) && *p != '.') return 1;

    // Empty pieces (doubled dots) are skipped and pieces after the fourth are ignored. A
    // piece stops growing once it is past 255, so no digit run can wrap into range.
    BYTE octets[ipRecordSize] = {};
    size_t found = 0;
    for (const char* p = text; *p != '\0' && found < ipRecordSize;) {
        if (*p == '.') {
            ++p;
            continue;
        }
        unsigned value = 0;
        for (; isDigit(*p); ++p)
            if (value <= 255) value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > 255) return 1;
        octets[found++] = static_cast<BYTE>(value);
    }
    if (found < ipRecordSize) return 1;
    memcpy(record, octets, sizeof octets);
    return 0;
}

int mac_addr2mac_record(const char* text, BYTE* record) {
    if (text == nullptr || record == nullptr) return 1;
    size_t length = strnlen(text, 18);
    if (length != 17 && length != 12) return 1;
    for (size_t i = 0; i < length; ++i)
        if (vkt::hexDigit(text[i]) < 0 && text[i] != ':') return 1;

    // Twelve digits from the start; a separator is allowed only where "xx:xx:..." puts one.
    // Whatever follows the twelfth digit is not read.
    BYTE bytes[macRecordSize] = {};
    size_t digits = 0;
    for (size_t pos = 0; digits < 2 * macRecordSize; ++pos) {
        char c = text[pos];
        if (c == ':') {
            if (pos % 3 != 2 || pos > 14) return 1;
            continue;
        }
        int v = vkt::hexDigit(c);  // the terminator is no digit: short texts end here
        if (v < 0) return 1;
        bytes[digits / 2] = static_cast<BYTE>(bytes[digits / 2] << 4 | v);
        ++digits;
    }
    memcpy(record, bytes, sizeof bytes);
    return 0;
}

BYTE setIPMIIP(const BYTE* ip) { return setLanParam(LanParam::ipAddress, ip, ipRecordSize); }
BYTE setIPMIMAC(const BYTE* mac) { return setLanParam(LanParam::macAddress, mac, macRecordSize); }
BYTE setSubnetMask(const BYTE* ip) { return setLanParam(LanParam::subnetMask, ip, ipRecordSize); }
BYTE setGWIP(const BYTE* ip) { return setLanParam(LanParam::defaultGateway, ip, ipRecordSize); }

BYTE setDHCPStatus(int enable) {
    const BYTE source = enable == 1 ? vkt::addressSourceDhcp : vkt::addressSourceStatic;
    return setLanParam(LanParam::addressSource, &source, 1);
}

BYTE setGratuitousARP(int enable) {
    const BYTE control = enable == 1 ? 0x01 : 0x00;
    return setLanParam(LanParam::arpControl, &control, 1);
}

BYTE setVLan(int enable) {
    const BYTE value[2] = {static_cast<BYTE>(vLanTag & 0xFF),
                           static_cast<BYTE>(((vLanTag >> 8) & 0x0F) | (enable == 1 ? vkt::vlanEnableBit : 0))};
    return setLanParam(LanParam::vlanId, value, sizeof value);
}
