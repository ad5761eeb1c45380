// Battery backup modules: the 256-byte image each one exposes (a FRU image followed by a
// live status block), its display texts, and the discharge control register.
#include <cstring>

#include "bounded.h"
#include "fru_util.h"
#include "ipmi_defs.h"
#include "pmbus_util.h"
#include "private_bus.h"

BatteryRecord batteryHealth[batteryAvailableCapacity];
DWORD batteryStatusWord[batteryAvailableCapacity];

namespace {

// Internal-use bytes of a battery's FRU image.
constexpr size_t useDataPackTemperature = 1;
constexpr size_t useDataPowerStatus = 4;
constexpr size_t useDataFirmware = 14;
constexpr BYTE powerStatusOperational = 0x01;
constexpr BYTE firmwareWithoutVersion = 0x1F;  // early firmware stores no version: "1.0"

constexpr int firmwareMajorShift = 4;
constexpr BYTE firmwareMinorMask = 0x0F;

constexpr WORD millivoltLimit = 1000;  // up to here the voltage is shown in mV
constexpr double millivoltsPerVolt = 1000.0;
constexpr int currentMilliampLimit = 100;  // |units of 10 mA| up to here are shown in mA
constexpr int milliampPerUnit = 10;
constexpr double unitsPerAmp = 100.0;

// Bits of the battery status word that have a description.
struct StatusBitText {
    DWORD bit;
    const char* text;
};
constexpr StatusBitText statusBitTexts[] = {
    {0x0010, "[FULLY DISCHARGED]"}, {0x0020, "[FULLY CHARGED]"},       {0x0040, "[DISCHARGING]"},
    {0x0100, "[REMAINING TIME]"},   {0x0200, "[REMAINING CAPACITY]"}, {0x0800, "[TERMINATE DISCHARGE]"},
    {0x1000, "[OVER TEMP]"},        {0x4000, "[TERMINATE CHARGE]"},
};

struct BatteryImage {
    BYTE bytes[fruModuleImageSize] = {};
};

// Byte `i` of the image's internal-use area; 0 when the image has no such area or a shorter
// one, never a byte of an earlier image.
BYTE internalUseByte(const vkt::FruImage& fru, size_t i) {
    const vkt::FruInternalUseArea& use = fru.internalUse;
    return use.present && i < use.length ? use.bytes[i] : 0;
}

void readImage(BYTE slaveAddr, BatteryImage& image) {
    for (int k = 0; k < batteryChunkCount; ++k) {
        BYTE chunk[batteryChunkSize] = {};
        // A piece that cannot be read stays zero.
        if (getBBPFRURawData(slaveAddr, static_cast<BYTE>(k * batteryChunkSize), chunk) == vkt::ccSuccess)
            memcpy(image.bytes + k * batteryChunkSize, chunk, sizeof chunk);
    }
}

void formatTemperature(BatteryText& text, BYTE celsius) {
    VKT_FORMAT(text, "%dC/%dF", celsius, vkt::fahrenheit(celsius));
}

void fillIdentity(const vkt::FruImage& fru, BatteryRecord& b) {
    const vkt::FruInfoArea& product = fru.product;
    vkt::copyFieldText(b.manufacturer, product.field(vkt::fruProductManufacturer));
    vkt::copyFieldText(b.modelName, product.field(vkt::fruProductName));
    vkt::copyFieldText(b.serialNumber, product.field(vkt::fruProductSerial));
    vkt::copyFieldText(b.productVersion, product.field(vkt::fruProductVersion));

    const BYTE v = internalUseByte(fru, useDataFirmware);
    if (v <= firmwareWithoutVersion) {
        vkt::copyText(b.firmwareVersion, "1.0");
    } else {
        VKT_FORMAT(b.firmwareVersion, "%d.%02d", v >> firmwareMajorShift, v & firmwareMinorMask);
    }
    const BYTE pack = internalUseByte(fru, useDataPackTemperature);
    if (pack != 0) {
        formatTemperature(b.batteryPackTemp, pack);
    } else {
        vkt::copyText(b.batteryPackTemp, "N/A");
    }
    const bool operational = (internalUseByte(fru, useDataPowerStatus) & powerStatusOperational) != 0;
    vkt::copyText(b.batteryPowerStatus, operational ? "Normal" : "Not Operational");
}

void fillStatus(const BatteryImage& image, BatteryRecord& b, DWORD& statusWord) {
    const vkt::BatteryStatusBlock block = vkt::BatteryStatusBlock::decode(vkt::ByteView(image.bytes));
    const WORD mv = block.voltage;
    if (mv <= millivoltLimit) {
        VKT_FORMAT(b.batteryVoltage, "%d mV", mv);
    } else {
        VKT_FORMAT(b.batteryVoltage, "%.02f V", mv / millivoltsPerVolt);
    }
    const int current = block.current;
    if (current >= -currentMilliampLimit && current <= currentMilliampLimit) {
        VKT_FORMAT(b.batteryCurrent, "%d mA", current * milliampPerUnit);
    } else {
        VKT_FORMAT(b.batteryCurrent, "%.02f A", current / unitsPerAmp);
    }
    // A board sensor that reads 0 is not available: the text goes, so no stale value stays.
    if (block.boardTemperature != 0) {
        formatTemperature(b.boardTemperature, block.boardTemperature);
    } else {
        b.boardTemperature[0] = '\0';
    }
    VKT_FORMAT(b.powerWattage, "%dW", block.power);
    b.cycleCount = block.cycleCount;
    VKT_FORMAT(b.remainingEnergy, "%d%%", block.remainingEnergy);

    const BYTE state = block.dischargeState;
    const char* discharge = (state & vkt::dischargeAuto) != 0   ? "Discharging (auto)"
                            : (state & vkt::dischargeUser) != 0 ? "Discharging (user)"
                                                                : "None";
    vkt::copyText(b.dischargeStatus, discharge);
    const BYTE control = block.dischargeControl;
    if ((control & vkt::dischargeAuto) != 0) {
        VKT_FORMAT(b.dischargeSetting, "Auto (%d days)", control & vkt::dischargeDaysMask);
    } else {
        vkt::copyText(b.dischargeSetting, "User");
    }
    VKT_FORMAT(b.dischargeRemainingDays, "%d days", state & vkt::dischargeDaysMask);

    VKT_FORMAT(b.batteryStatus, "0x%04X", static_cast<unsigned>(block.statusWord));
    statusWord = block.statusWord;
}

}  // namespace

vkt::BatteryStatusBlock vkt::BatteryStatusBlock::decode(ByteView image) {
    BatteryStatusBlock block;
    block.remainingEnergy = image[batRemainingEnergy];
    block.voltage = image.le16(batVoltage);
    block.current = static_cast<int16_t>(image.le16(batCurrent));
    block.statusWord = image.le16(batStatusWord);
    block.cycleCount = image.le16(batCycleCount);
    block.dischargeState = image[batDischargeState];
    block.dischargeControl = image[batDischargeControl];
    block.boardTemperature = image[batBoardTemperature];
    block.power = image.le16(batPower);
    return block;
}

BYTE getBBPFRURawData(BYTE slaveAddr, BYTE offset, BYTE (&response)[batteryChunkSize]) {
    return runPMBusCmd(slaveAddr, batteryChunkSize, offset, response);
}

int32_t getBatteryInfo() {
    const int32_t count = detectBatterySlaveAddressFRU();
    if (count == 0) return 0;
    const int batteries = pmBusWalkCount(count, batteryAvailableCapacity);
    for (int i = 0; i < batteries; ++i) {
        const BYTE a = batteryAvailableSlaveAddrsFRU[i];
        if (a == 0) continue;
        BatteryImage image;
        readImage(a, image);
        const vkt::FruImage fru = parseFRUImage(vkt::ByteView(image.bytes), 0);
        fillIdentity(fru, batteryHealth[i]);
        fillStatus(image, batteryHealth[i], batteryStatusWord[i]);
    }
    return count;
}

const char* getBatteryStatusDescription(DWORD bit) {
    for (const StatusBitText& t : statusBitTexts)
        if (t.bit == bit) return t.text;
    return "";
}

// ---- discharge control ----------------------------------------------------------------------

BYTE runBBPCmd(BYTE slaveAddr, BYTE readCount, const BYTE* data, BYTE* respBuf) {
    constexpr size_t commandLength = 2;  // register, value
    return vkt::masterWriteRead(slaveAddr, readCount, data, data != nullptr ? commandLength : 0, respBuf);
}

BYTE read0xE9Offset(BYTE slaveAddr, BYTE* cc) {
    BYTE state = 0;
    const BYTE code = runPMBusCmd(slaveAddr, 1, vkt::batDischargeState, &state);
    if (cc != nullptr) *cc = code;
    return state;
}

BYTE batteryModuleAddr(int module) {
    if (module < 1 || module > batteryAddrCount) return 0;
    return batterySlaveAddrsFRU[module - 1];
}

BYTE userDischarge(int module) {
    const BYTE addr = batteryModuleAddr(module);
    if (addr == 0) return vkt::ccParameterOutOfRange;
    BYTE cc = vkt::ccSuccess;
    const BYTE state = read0xE9Offset(addr, &cc);
    // Without the current state there is nothing sound to write back.
    if (cc != vkt::ccSuccess) return cc;
    const BYTE command[2] = {vkt::batDischargeControl,
                             static_cast<BYTE>((state & vkt::dischargeDaysMask) | vkt::dischargeUser)};
    return runBBPCmd(addr, 0, command, nullptr);
}

BYTE autoDischarge(int module, int days) {
    const BYTE addr = batteryModuleAddr(module);
    // Days beyond bits 5:0 would reach the manual-discharge and auto bits.
    if (addr == 0 || days < 0 || days > vkt::dischargeDaysMax) return vkt::ccParameterOutOfRange;
    const BYTE command[2] = {vkt::batDischargeControl, static_cast<BYTE>(days | vkt::dischargeAuto)};
    return runBBPCmd(addr, 0, command, nullptr);
}
