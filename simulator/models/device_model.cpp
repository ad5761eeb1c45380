#include "device_model.h"

namespace testkit {

namespace {
constexpr uint8_t netFnApp = 0x06;
constexpr uint8_t netFnPicmg = 0x2C;
constexpr uint8_t ccInvalidCommand = 0xC1;
constexpr uint8_t ccInvalidField = 0xCC;
}  // namespace

Bytes DeviceModel::deviceIdAnswer() const {
    Bytes d = {deviceId,
               deviceRevision,
               firmwareMajor,
               firmwareMinor,
               ipmiVersion,
               additionalSupport,
               static_cast<uint8_t>(manufacturerId & 0xFF),
               static_cast<uint8_t>(manufacturerId >> 8 & 0xFF),
               static_cast<uint8_t>(manufacturerId >> 16 & 0x0F),
               static_cast<uint8_t>(productId & 0xFF),
               static_cast<uint8_t>(productId >> 8)};
    for (uint8_t b : auxFirmware) d.push_back(b);
    return d;
}

Bytes guidWithSignature(const std::string& signature) {
    Bytes g(16);
    for (size_t i = 0; i < g.size(); ++i) g[i] = static_cast<uint8_t>(0xA0 + i);
    for (size_t i = 0; i < signature.size() && i < g.size(); ++i) g[i] = static_cast<uint8_t>(signature[i]);
    return g;
}

void DeviceModel::restart() {
    if (clock != nullptr && restartMs > 0) backAtMs = clock->nowMs() + restartMs;
}

bool DeviceModel::away() const { return clock != nullptr && clock->nowMs() < backAtMs; }

void DeviceModel::install(SimBmc& bmc) {
    bmc.setAbsence([this] { return away(); });
    bmc.on(netFnApp, 0x01, [this](const IpmiRequest&) { return IpmiResponse::ok(deviceIdAnswer()); });
    bmc.on(netFnApp, 0x02, [this](const IpmiRequest&) {
        ++coldResets;
        restart();  // the reset is acknowledged first
        return IpmiResponse::ok();
    });
    bmc.on(netFnApp, 0x04, [this](const IpmiRequest&) { return IpmiResponse::ok(selfTest); });
    bmc.on(netFnApp, 0x37, [this](const IpmiRequest&) {
        if (!systemGuid) return IpmiResponse::error(ccInvalidCommand);
        return IpmiResponse::ok(*systemGuid);
    });
    bmc.on(netFnApp, 0x38, [this](const IpmiRequest& r) {
        if (r.data.size() < 2) return IpmiResponse::error(0xC7);
        return IpmiResponse::ok((r.data[0] & 0x80) != 0 ? channelAuthPlus : channelAuth);
    });
    bmc.on(netFnPicmg, 0x00, [this](const IpmiRequest&) {
        if (!picmg) return IpmiResponse::error(ccInvalidCommand);
        return IpmiResponse::ok({0x00, picmgExtension, 0x01, 0x00});
    });
    bmc.on(netFnPicmg, 0x01, [this](const IpmiRequest& r) {
        if (!picmg) return IpmiResponse::error(ccInvalidCommand);
        if (r.data.empty() || r.data[0] != 0x00) return IpmiResponse::error(ccInvalidField);
        return IpmiResponse::ok({0x00, 0x41, picmgOwnAddress, 0xFF, 0x00, 0x00, 0x00});
    });
}

}  // namespace testkit
