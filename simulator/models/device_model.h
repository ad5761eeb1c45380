// Identity of the simulated BMC: Get Device ID, System GUID, channel authentication
// capabilities, self test, cold reset and the PICMG probe made when the device is opened.
#ifndef TESTKIT_DEVICE_MODEL_H
#define TESTKIT_DEVICE_MODEL_H

#include <optional>

#include "clock.h"
#include "sim_bmc.h"

namespace testkit {

struct DeviceModel {
    uint8_t deviceId = 0x20;
    uint8_t deviceRevision = 0x01;
    uint8_t firmwareMajor = 0x01;
    uint8_t firmwareMinor = 0x23;  // BCD
    uint8_t ipmiVersion = 0x02;    // 02h: IPMI 2.0, 51h: IPMI 1.5
    uint8_t additionalSupport = 0xBF;
    uint32_t manufacturerId = 0x00BEEF;  // 20 bits, sent LS byte first
    uint16_t productId = 0x0A21;
    Bytes auxFirmware = {0x00, 0x00, 0x00, 0x00};

    // 16 GUID bytes as sent; empty: Get System GUID is not supported (C1h).
    std::optional<Bytes> systemGuid;
    // Get Channel Authentication Capabilities answers for {81h, 01h} and {01h, 01h}.
    Bytes channelAuthPlus = {0x01, 0x97, 0x04, 0x03, 0x00, 0x00, 0x00, 0x00};
    Bytes channelAuth = {0x01, 0x17, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes selfTest = {0x55, 0x00};

    // PICMG: rejected (C1h) unless enabled.
    bool picmg = false;
    uint8_t picmgExtension = 0x12;
    uint8_t picmgOwnAddress = 0x82;

    int coldResets = 0;

    // Restart after a cold reset (or a factory default): the BMC is away for `restartMs` on
    // `clock` (0: back at once), answering nothing meanwhile.
    int restartMs = 0;
    const SimClock* clock = nullptr;
    long long backAtMs = 0;
    void restart();
    bool away() const;

    Bytes deviceIdAnswer() const;
    void install(SimBmc& bmc);
};

// GUID whose first bytes carry a firmware signature (e.g. "3101MS"), rest filled.
Bytes guidWithSignature(const std::string& signature);

}  // namespace testkit

#endif
