#include "oem_model.h"

#include "sim_records.h"

namespace testkit {

namespace {
constexpr uint8_t netFnOem = 0x30;
constexpr uint8_t ccInvalidField = 0xCC;
constexpr uint8_t ccRequestLength = 0xC7;

// {tag, 00h} reads a version tag, {tag, 01h, major, minor} writes it.
std::optional<IpmiResponse> versionTag(uint8_t (&tag)[2], const IpmiRequest& r) {
    constexpr uint8_t get = 0x00, set = 0x01;
    if (r.data.size() == 2 && r.data[1] == get) return IpmiResponse::ok({tag[0], tag[1]});
    if (r.data.size() == 4 && r.data[1] == set) {
        tag[0] = r.data[2];
        tag[1] = r.data[3];
        return IpmiResponse::ok();
    }
    return IpmiResponse::error(r.data.size() < 2 ? ccRequestLength : ccInvalidField);
}

}  // namespace

Bytes OemModel::systemInfoAnswer() const {
    Bytes d = {boardId[0], boardId[1], systemInfoByte2, nicLayout};
    for (uint8_t b : hostMac) d.push_back(b);
    return d;
}

Bytes OemModel::buildTimeAnswer() const {
    Bytes d(32, 0x00);
    for (size_t i = 0; i < firmwareName.size() && i < 20; ++i) d[i] = static_cast<uint8_t>(firmwareName[i]);
    for (size_t i = 0; i < buildTime.size() && i < 10; ++i) d[20 + i] = static_cast<uint8_t>(buildTime[i]);
    return d;
}

void OemModel::install(SimBmc& bmc) {
    bmc.on(0x3E, 0x09, [this](const IpmiRequest&) { return IpmiResponse::ok(buildTimeAnswer()); });
    bmc.on(netFnOem, 0xE2, [this](const IpmiRequest& r) {
        if (r.data.size() != 3) return IpmiResponse::error(ccRequestLength);
        if (r.data[0] == 0x10) return IpmiResponse::ok(temperatureReading);
        if (r.data[0] == 0x00) return IpmiResponse::ok(powerReading);
        return IpmiResponse::error(ccInvalidField);
    });
    bmc.on(netFnOem, 0x21, [this](const IpmiRequest&) { return IpmiResponse::ok(systemInfoAnswer()); });
    bmc.on(netFnOem, 0x0D, [this](const IpmiRequest&) {
        ledOn = true;
        return IpmiResponse::ok();
    });
    bmc.on(netFnOem, 0x0E, [this](const IpmiRequest&) {
        ledOn = false;
        return IpmiResponse::ok();
    });
    bmc.on(netFnOem, 0x0C, [this](const IpmiRequest&) { return IpmiResponse::ok({static_cast<uint8_t>(ledOn ? 1 : 0)}); });
    bmc.on(netFnOem, 0x03, [this](const IpmiRequest&) {
        intrusionLatched = false;
        ++intrusionClears;
        return IpmiResponse::ok();
    });
    for (uint8_t kind : {0x40, 0x41, 0x42}) {
        bmc.on(netFnOem, kind, [this, kind](const IpmiRequest&) {
            noteRecord(factoryDefaults, kind);
            if (onFactoryDefault) onFactoryDefault();
            return IpmiResponse::ok();
        });
    }
    bmc.onSelector(netFnOem, 0x70, 0x0D, [this](const IpmiRequest& r) { return versionTag(sdrVersionTag, r); });
    bmc.onSelector(netFnOem, 0x70, 0x0E, [this](const IpmiRequest& r) { return versionTag(fruVersionTag, r); });
    bmc.on(netFnOem, 0x45, [this](const IpmiRequest& r) {
        if (r.data.empty()) return IpmiResponse::error(ccRequestLength);
        switch (r.data[0]) {
            case 0x00:
                return IpmiResponse::ok({fanMode});
            case 0x01:
                if (r.data.size() < 2) return IpmiResponse::error(ccRequestLength);
                if (r.data[1] > 5 || (supportedFanModes & (1u << r.data[1])) == 0) return IpmiResponse::error(ccInvalidField);
                fanMode = r.data[1];
                return IpmiResponse::ok();
            case 0x02:
                return IpmiResponse::ok({supportedFanModes});
            default:
                return IpmiResponse::error(ccInvalidField);
        }
    });
}

}  // namespace testkit
