#include "host_model.h"

namespace testkit {

namespace {

constexpr uint8_t netFnChassis = 0x00;
constexpr uint8_t cmdChassisControl = 0x02;
constexpr uint8_t cmdSetBootOptions = 0x08;

constexpr uint8_t powerDown = 0x00, powerUp = 0x01, powerCycle = 0x02, hardReset = 0x03, softShutdown = 0x05;
constexpr uint8_t bootFlagsParameter = 0x05;
constexpr uint8_t flagsValid = 0x80, flagsPersistent = 0x40;
constexpr uint8_t parameterMask = 0x7F;

constexpr uint8_t ccParameterNotSupported = 0x80;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccInvalidField = 0xCC;
constexpr uint8_t ccNotInPresentState = 0xD5;

}  // namespace

HostModel::Event HostModel::boot(uint8_t control) {
    Event e{control, 0x00, 0x00};
    if ((bootFlags[0] & flagsValid) != 0) {
        e.bootFlags = bootFlags[0];
        e.bootDevice = bootFlags[1];
        if ((bootFlags[0] & flagsPersistent) == 0) bootFlags[0] &= static_cast<uint8_t>(~flagsValid);
    }
    poweredOn = true;
    return e;
}

void HostModel::install(SimBmc& bmc) {
    bmc.on(netFnChassis, cmdChassisControl, [this](const IpmiRequest& r) {
        if (r.data.size() != 1) return IpmiResponse::error(ccRequestLength);
        const uint8_t control = r.data[0];
        switch (control) {
            case powerDown:
                poweredOn = false;
                events.push_back({control, 0x00, 0x00});
                return IpmiResponse::ok();
            case powerUp:
                events.push_back(boot(control));
                return IpmiResponse::ok();
            case powerCycle:
            case hardReset:
                if (!poweredOn) return IpmiResponse::error(ccNotInPresentState);
                events.push_back(boot(control));
                return IpmiResponse::ok();
            case softShutdown:
                if (!poweredOn) return IpmiResponse::error(ccNotInPresentState);
                poweredOn = false;  // the operating system shuts down
                events.push_back({control, 0x00, 0x00});
                return IpmiResponse::ok();
            default:
                return IpmiResponse::error(ccInvalidField);
        }
    });
    bmc.on(netFnChassis, cmdSetBootOptions, [this](const IpmiRequest& r) {
        if (r.data.empty()) return IpmiResponse::error(ccRequestLength);
        if ((r.data[0] & parameterMask) != bootFlagsParameter) return IpmiResponse::error(ccParameterNotSupported);
        if (r.data.size() != bootFlags.size() + 1) return IpmiResponse::error(ccRequestLength);
        bootFlags.assign(r.data.begin() + 1, r.data.end());
        return IpmiResponse::ok();
    });
}

}  // namespace testkit
