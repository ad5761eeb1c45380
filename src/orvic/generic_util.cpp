// BMC-wide commands: action routines and the firmware family test.
#include "generic_util.h"

#include <cstdio>
#include <cstring>

#include "bounded.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "smipmi.h"

BYTE version = 0;

namespace {

constexpr BYTE fanModeGet = 0x00;
constexpr BYTE fanModeSet = 0x01;
constexpr BYTE fanModeCapabilities = 0x02;

BYTE fanModeQuery(BYTE selector, BYTE* respBuf, DWORD* respLength) {
    BYTE resp[vkt::ipmiMaxResponseData] = {};
    DWORD len = 0;
    BYTE cc = runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnOem, vkt::oemFanMode, &selector, 1, resp, &len);
    if (respBuf != nullptr) memcpy(respBuf, resp, sizeof resp);
    if (respLength != nullptr) *respLength = len;
    return cc;
}

BYTE sendNoData(BYTE netFn, BYTE cmd) {
    BYTE resp[vkt::ipmiMaxResponseData] = {};
    DWORD len = 0;
    return runIpmiCmd(vkt::bmcSlaveAddr, netFn, cmd, nullptr, 0, resp, &len);
}

// A signature row: the bytes the GUID must start with and the family code they give.
struct GuidSignature {
    const char* bytes;
    size_t length;
    BYTE family;
};

constexpr size_t sigLen = 6;

// Rows are selected by byte 0 first; the remaining bytes of the selected row must match.
BYTE matchSignature(const BYTE* guid, const GuidSignature* rows, size_t count) {
    if (guid == nullptr) return familyUnknown;
    for (size_t r = 0; r < count; ++r) {
        if (static_cast<BYTE>(rows[r].bytes[0]) != guid[0]) continue;
        return memcmp(guid, rows[r].bytes, rows[r].length) == 0 ? rows[r].family : familyUnknown;
    }
    return familyUnknown;
}

}  // namespace

BYTE coldReset() { return sendNoData(vkt::netFnApp, vkt::cmdColdReset); }

BYTE setIdentifyLed(bool on) { return sendNoData(vkt::netFnOem, on ? vkt::oemLedOn : vkt::oemLedOff); }

BYTE clearChassisIntrusion() { return sendNoData(vkt::netFnOem, vkt::oemClearIntrusion); }

BYTE setFanSpeedMode(BYTE mode) {
    BYTE data[2] = {fanModeSet, mode};
    BYTE resp[vkt::ipmiMaxResponseData] = {};
    DWORD len = 0;
    return runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnOem, vkt::oemFanMode, data, 2, resp, &len);
}

BYTE getFanSpeedMode(BYTE* respBuf, DWORD* respLength) { return fanModeQuery(fanModeGet, respBuf, respLength); }

BYTE getFanSpeedModeCapabilityCommand(BYTE* respBuf, DWORD* respLength) {
    return fanModeQuery(fanModeCapabilities, respBuf, respLength);
}

BYTE getSystemGUIDCommand(BYTE* respBuf, DWORD* respLength) {
    return runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnApp, vkt::cmdGetSystemGuid, nullptr, 0, respBuf, respLength);
}

BYTE isATENGUID(BYTE* guid) {
    static const GuidSignature rows[] = {
        {"7001MS", sigLen, 13}, {"C001MS", sigLen, 14}, {"E001MS", sigLen, 16},
        {"F001MS", sigLen, 17}, {"0101MS", sigLen, 18}, {"1101MS", sigLen, 19},
        {"2101MS", sigLen, 20}, {"3101MS", sigLen, 21}, {"4101MS", sigLen, 22},
    };
    return matchSignature(guid, rows, sizeof rows / sizeof rows[0]);
}

BYTE isAMIGUID(BYTE* guid) {
    static const GuidSignature rows[] = {
        {"4001MS", sigLen, 10}, {"5001MS", sigLen, 10}, {"6001MS", sigLen, 11},
        {"9001MS", sigLen, 12}, {"D001MS", sigLen, 15},
    };
    return matchSignature(guid, rows, sizeof rows / sizeof rows[0]);
}

BYTE isPepperconGUID(BYTE* guid) {
    static const GuidSignature rows[] = {
        {"0001MS", sigLen, 5}, {"1001MS", sigLen, 6}, {"3001MS", sigLen, 7},
        {"8001MS", sigLen, 8}, {"2001MS", sigLen, 9}, {"\x02\x00\x00\xFF\xFE\x00", sigLen, 4},
    };
    return matchSignature(guid, rows, sizeof rows / sizeof rows[0]);
}

BYTE isOSAGUID(BYTE* guid) {
    static const BYTE osa[8] = {0x20, 0x00, 0x0E, 0x40, 0x02, 0x7F, 0x78, 0x08};
    if (guid == nullptr) return familyUnknown;
    return memcmp(guid, osa, sizeof osa) == 0 ? 3 : familyUnknown;
}

BYTE getIPMIDeviceId(BYTE* respBuf, DWORD* respLength) {
    return runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnApp, vkt::cmdGetDeviceId, nullptr, 0, respBuf, respLength);
}

BYTE getIPMIRMCPPlus(BYTE* respBuf, DWORD* respLength) {
    BYTE data[2] = {0x81, 0x01};
    return runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnApp, vkt::cmdGetChannelAuthCaps, data, 2, respBuf, respLength);
}

BYTE getIPMIRMCP(BYTE* respBuf, DWORD* respLength) {
    BYTE data[2] = {0x01, 0x01};
    return runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnApp, vkt::cmdGetChannelAuthCaps, data, 2, respBuf, respLength);
}

BYTE getIPMIVersion() {
    BYTE resp[vkt::ipmiMaxResponseData] = {};
    DWORD len = 0;

    BYTE cc = getSystemGUIDCommand(resp, &len);
    if (cc == vkt::ccSuccess) {
        vkt::SystemGuidReply id = vkt::SystemGuidReply::decode(vkt::ByteView(resp, len));
        for (BYTE (*test)(BYTE*) : {isOSAGUID, isPepperconGUID, isAMIGUID, isATENGUID}) {
            version = test(id.guid.data());
            if (version != familyUnknown) return vkt::ccSuccess;
        }
    }

    memset(resp, 0, sizeof resp);
    len = 0;
    cc = getIPMIRMCPPlus(resp, &len);
    if (cc == vkt::ccSuccess) {
        if (vkt::ChannelAuthCapsReply::decode(vkt::ByteView(resp, len)).ipmi20()) {
            version = familyIpmi20;
            return vkt::ccSuccess;
        }
    } else {
        memset(resp, 0, sizeof resp);
        len = 0;
        cc = getIPMIDeviceId(resp, &len);
        // The firmware's major revision, as the family test has always read it.
        if (cc == vkt::ccSuccess && vkt::DeviceIdReply::decode(vkt::ByteView(resp, len)).firmware1 == 0x02) {
            version = familyIpmi20;
            return vkt::ccSuccess;
        }
    }

    memset(resp, 0, sizeof resp);
    len = 0;
    cc = getIPMIRMCP(resp, &len);
    if (cc != vkt::ccSuccess) {
        memset(resp, 0, sizeof resp);
        len = 0;
        cc = getIPMIDeviceId(resp, &len);
    }
    version = familyUnknown;
    return cc;
}

bool isAtenFamily() {
    BYTE resp[vkt::ipmiMaxResponseData] = {};
    DWORD len = 0;
    if (getSystemGUIDCommand(resp, &len) != vkt::ccSuccess) return false;
    vkt::SystemGuidReply id = vkt::SystemGuidReply::decode(vkt::ByteView(resp, len));
    return isATENGUID(id.guid.data()) != familyUnknown;
}
