// The IPM device's capabilities, gathered from the node collector, the sensor table and the
// BMC's OEM LED and fan mode queries.
#include "ipm_device.h"

#include <cstring>
#include <optional>

#include "bounded.h"
#include "generic_util.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "sdr_sensors.h"
#include "sdr_util.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

namespace {

constexpr BYTE sensorPhysicalSecurity = 0x05;
constexpr BYTE readingTypeSensorSpecific = 0x6F;
constexpr BYTE allFanModes = 0xFF;
constexpr int collectAll = 0;

constexpr const char* fanModeNames[] = {"Standard", "Full", "Optimal", "PUE2 Optimal", "Heavy IO", "PUE3 Optimal"};
constexpr BYTE fanModeCount = sizeof fanModeNames / sizeof fanModeNames[0];

const char* trueFalse(bool value) { return value ? "True" : "False"; }

// The LED state byte; a failed or empty answer tells nothing.
void ledText(char* text, size_t size) {
    const vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnOem, vkt::oemLedState);
    const std::optional<vkt::LedStateReply> led =
        reply.ok() ? vkt::LedStateReply::decode(reply.view()) : std::nullopt;
    vkt::copyText(text, size, led ? trueFalse(led->on) : "");
}

void currentFanModeText(char* text, size_t size) {
    BYTE resp[vkt::ipmiMaxResponseData] = {};
    DWORD len = 0;
    const BYTE cc = getFanSpeedMode(resp, &len);
    const std::optional<vkt::FanModeReply> fan =
        cc == vkt::ccSuccess ? vkt::FanModeReply::decode(vkt::ByteView(resp, len)) : std::nullopt;
    const char* name = fan ? fanModeName(fan->mode) : nullptr;
    vkt::copyText(text, size, name != nullptr ? name : "");
}

// Without a mask every mode is advertised.
BYTE supportedFanModeMask() {
    BYTE resp[vkt::ipmiMaxResponseData] = {};
    DWORD len = 0;
    const BYTE cc = getFanSpeedModeCapabilityCommand(resp, &len);
    const std::optional<vkt::FanModeMaskReply> modes =
        cc == vkt::ccSuccess ? vkt::FanModeMaskReply::decode(vkt::ByteView(resp, len)) : std::nullopt;
    return modes ? modes->mask : allFanModes;
}

}  // namespace

const char* fanModeName(BYTE code) { return code < fanModeCount ? fanModeNames[code] : nullptr; }

void formatSupportedFanModes(BYTE mask, char* list, size_t size) {
    vkt::copyText(list, size, "");
    for (BYTE k = 0; k < fanModeCount; ++k) {
        if ((mask & (1u << k)) == 0) continue;
        char item[20];
        VKT_FORMAT(item, "%s%u:%s", list[0] != '\0' ? "," : "", k, fanModeNames[k]);
        vkt::appendText(list, size, item);
    }
}

bool chassisIntrusionPending() {
    const int entries = sdrUsedSlotCount();
    for (int i = 0; i < entries; ++i) {
        const struct_cim_sdr& s = cim_sdr[i];
        if (s.sensorType == sensorPhysicalSecurity && s.readingType == readingTypeSensorSpecific)
            return strcmp(s.status, "OK") != 0;
    }
    return false;
}

void collectIpmDevice(IpmDeviceTexts* t) {
    memset(t, 0, sizeof *t);
    VKT_FORMAT(t->isNeedToClearChassisIntrusion, "%s", trueFalse(false));
    VKT_FORMAT(t->isMultiNode, "%s", trueFalse(bmc_PXInfo(collectAll) == VKT_BMC_OK));
    ledText(t->isLedEnabled, sizeof t->isLedEnabled);
    bmc_GetSDR();
    VKT_FORMAT(t->isNeedToClearChassisIntrusion, "%s", trueFalse(chassisIntrusionPending()));
    currentFanModeText(t->currentFanMode, sizeof t->currentFanMode);
    formatSupportedFanModes(supportedFanModeMask(), t->supportedFanModes, sizeof t->supportedFanModes);
}
