// Power supplies on the BMC's private bus: the PMBus controllers of the power modules, the
// modules' FRU/status EEPROMs and the battery backup modules. Probes fill the lists of the
// devices found; readers turn their registers into the display texts of the process-wide
// records that the power providers publish.
#ifndef VKT_PMBUS_UTIL_H
#define VKT_PMBUS_UTIL_H

#include <cstdint>

#include "byte_view.h"
#include "vkt_types.h"

// ---- addresses -----------------------------------------------------------------------------

constexpr int pmBusAddrCount = 8;
constexpr int batteryAddrCount = 4;
constexpr int pmBusAvailableCapacity = 6;
constexpr int pmBusFRUAvailableCapacity = 4;
constexpr int batteryAvailableCapacity = 4;
// Records kept per kind of device; a walk never goes past them.
constexpr int pmBusRecordCount = 4;

// Probe order; 8-bit slave addresses as Master Write-Read takes them.
extern const BYTE pmBusSlaveAddrs[pmBusAddrCount];
extern const BYTE pmBusSlaveAddrsFRU[pmBusAddrCount];
extern const BYTE batterySlaveAddrsFRU[batteryAddrCount];

// Filled from the first entry by each probe; 0 means no device.
extern BYTE pmBusAvailableSlaveAddrs[pmBusAvailableCapacity];
extern BYTE pmBusAvailableSlaveAddrsFRU[pmBusFRUAvailableCapacity];
extern BYTE batteryAvailableSlaveAddrsFRU[batteryAvailableCapacity];
// The companion EEPROM address last used to read a module's identity (informational).
extern BYTE slaveAddrFRU;

constexpr int noneStandardCodeCount = 10;
extern const char* const noneStandardVKTPowerSupplies[noneStandardCodeCount];

namespace vkt {

// PMBus command codes read from a power module.
enum PmBusCode : BYTE {
    pmbVoutMode = 0x20,
    pmbStatusByte = 0x78,
    pmbStatusWord = 0x79,
    pmbReadVin = 0x88,
    pmbReadIin = 0x89,
    pmbReadVout = 0x8B,
    pmbReadIout = 0x8C,
    pmbReadTemperature1 = 0x8D,
    pmbReadTemperature2 = 0x8E,
    pmbReadFanSpeed1 = 0x90,
    pmbReadFanSpeed2 = 0x91,
    pmbReadPout = 0x96,
    pmbReadPin = 0x97,
    pmbRevision = 0x98,
    // Vendor registers: one character of the identity texts per code.
    pmbSerialFirst = 0xD0,
    pmbModuleNumberFirst = 0xE0,
    pmbRevisionFirst = 0xF0,
    pmbInputType = 0xFC,
};
constexpr int pmbSerialLength = 15;
constexpr int pmbModuleNumberLength = 13;
constexpr int pmbRevisionLength = 6;

// Offsets of a module's status EEPROM (its FRU internal-use area carries live values).
constexpr BYTE fruStatusTemperature = 0x09;
constexpr BYTE fruStatusFan1 = 0x0A;
constexpr BYTE fruStatusFan2 = 0x0B;
constexpr BYTE fruStatusByte = 0x0C;
constexpr BYTE fruStatusPresent = 0x01;  // a device sits here
constexpr BYTE fruStatusBattery = 0x80;  // ... and it is a battery (for B0 companions: not a B0 module)

// Distance from a PMBus controller to its FRU EEPROM.
constexpr BYTE fruOffset78Family = 0x08;
constexpr BYTE fruOffsetB0Family = 0x10;

constexpr int moduleFruReadLength = 196;  // bytes of a module's FRU EEPROM read for its identity

}  // namespace vkt

// ---- records -------------------------------------------------------------------------------

constexpr int pmBusTextSize = 64;
constexpr int pmBusShortTextSize = 16;
constexpr int zurTextSize = 32;
constexpr int statusTextSize = 128;
using PmBusText = char[pmBusTextSize];
using PmBusShortText = char[pmBusShortTextSize];
using ZurText = char[zurTextSize];
using StatusText = char[statusTextSize];

struct pmBusHealth {
    int32_t isB0Addr;
    BYTE VOutMode;
    BYTE statusByte;
    BYTE statusByteHigh;
    BYTE inputTypeFlag;
    PmBusText acInputVoltage;
    PmBusText acInputCurrent;
    PmBusText dc12VOutputVoltage;
    PmBusText dc12VOutputCurrent;
    PmBusShortText temperature1;
    PmBusShortText temperature2;
    PmBusShortText fan1;
    PmBusShortText fan2;
    PmBusText dc12VOutputPower;
    PmBusText acInputPower;
    PmBusText pmBusRevision;
    ZurText zurSerialNumber;
    ZurText zurModuleNumber;
    PmBusText zurRevision;
};

struct fruHealth {
    BYTE statusByte;
    PmBusText temperature;
    PmBusText fan1;
    PmBusText fan2;
};

using PmBusRecord = struct pmBusHealth;
using FruHealthRecord = struct fruHealth;

// One record per slot of pmBusAvailableSlaveAddrs / pmBusAvailableSlaveAddrsFRU.
extern PmBusRecord pmBusHealth[pmBusRecordCount];
extern FruHealthRecord fruHealth[pmBusRecordCount];

// ---- access and detection ------------------------------------------------------------------

// Master Write-Read of `readCount` bytes after writing `dataToWrite` (a PMBus command code or
// an EEPROM offset). `respBuf` holds `readCount` bytes; they are zero beyond what the BMC
// returned. The completion code.
BYTE runPMBusCmd(BYTE slaveAddr, BYTE readCount, BYTE dataToWrite, BYTE* respBuf);

int isA0Addr(BYTE slaveAddr);
// 1 for a B0-family controller whose companion EEPROM does not mark it otherwise.
int isB0Addr(BYTE slaveAddr);
int isVKTOldPower(const char* moduleNumber);
int checkNoneStandardVKTPowerSupplies(const char* moduleNumber);

// Each probe rebuilds its list and returns the number of devices kept in it.
int32_t detectSlaveAddress();
int32_t detectSlaveAddressFRU();
int32_t detectBatterySlaveAddressFRU();

// "Module 1" to "Module 4", or "N/A".
const char* getModuleName(BYTE slaveAddr);
const char* getModuleNameFRU(BYTE slaveAddr);

// The number of leading list slots a walk may visit.
int pmBusWalkCount(int32_t count, int listCapacity);

// ---- readings ------------------------------------------------------------------------------

double linearDataFormat(WORD temp);
// LINEAR16 of READ_VOUT with the exponent of VOUT_MODE (LINEAR11 when VOUT_MODE is 0).
double voutValue(WORD word, BYTE vOutMode);

BYTE getVOutMode(BYTE slaveAddr);
BYTE getStatusByte(BYTE slaveAddr);
BYTE getStatusByteHigh(BYTE slaveAddr);
BYTE getInputTypeFlag(BYTE slaveAddr);
BYTE getStatusByteFRU(BYTE slaveAddr);

void readACInputVoltage(BYTE slaveAddr, PmBusText& text);
void readACInputCurrent(BYTE slaveAddr, PmBusText& text);
void readDC12VOutputVoltage(BYTE slaveAddr, BYTE vOutMode, PmBusText& text);
void readDC12VOutputCurrent(BYTE slaveAddr, PmBusText& text);
void readTemperature1(BYTE slaveAddr, PmBusShortText& text);
void readTemperature2(BYTE slaveAddr, PmBusShortText& text);
void readFan1(BYTE slaveAddr, const char* moduleNumber, PmBusShortText& text);
void readFan2(BYTE slaveAddr, const char* moduleNumber, PmBusShortText& text);
void readDC12VOutputPower(BYTE slaveAddr, PmBusText& text);
void readACInputPower(BYTE slaveAddr, PmBusText& text);
void readPMBusRevision(BYTE slaveAddr, PmBusText& text);

void readZURSerialNumber(BYTE slaveAddr, ZurText& text);
void readZURModuleNumber(BYTE slaveAddr, ZurText& text);
void readZURRevision(BYTE slaveAddr, PmBusText& text);

// Status EEPROM texts; a failed read leaves the text as it was.
void readTemperatureFRU(BYTE slaveAddr, PmBusText& text);
void readFan1FRU(BYTE slaveAddr, PmBusText& text);
void readFan2FRU(BYTE slaveAddr, PmBusText& text);

// Identity of record `index` from the FRU EEPROM of a 78h-family / B0-family controller.
void checkFRU(BYTE slaveAddr, int index);
void replaceMODULE_SN_REVISION_fromFRU(BYTE slaveAddr, int index);

int32_t getPMBusInfo();
int32_t getPMBusInfoFRU();

// Status texts.
void getStatus_PM1_2(BYTE value, StatusText& statusStr);
void getStatus_Old_Ps(BYTE value, StatusText& statusStr);
void getStatus_B0Addr_PM1_2(BYTE status, BYTE statusHigh, StatusText& statusStr);
// The decoder that fits the record.
void getModuleStatusText(const PmBusRecord& record, StatusText& statusStr);

// ---- battery backup modules ----------------------------------------------------------------

constexpr int batteryTextSize = 32;
constexpr int batteryChunkSize = 32;
constexpr int batteryChunkCount = 8;
using BatteryText = char[batteryTextSize];

struct batteryHealth {
    BatteryText manufacturer;
    BatteryText modelName;
    BatteryText serialNumber;
    BatteryText productVersion;
    BatteryText firmwareVersion;
    BatteryText boardTemperature;
    BatteryText batteryVoltage;
    BatteryText batteryCurrent;
    BatteryText batteryPackTemp;
    BatteryText powerWattage;
    int32_t cycleCount;
    BatteryText batteryPowerStatus;
    BatteryText remainingEnergy;
    BatteryText dischargeStatus;
    BatteryText dischargeSetting;
    BatteryText dischargeRemainingDays;
    BatteryText batteryStatus;
};
using BatteryRecord = struct batteryHealth;

// One record and status word per slot of batteryAvailableSlaveAddrsFRU.
extern BatteryRecord batteryHealth[batteryAvailableCapacity];
extern DWORD batteryStatusWord[batteryAvailableCapacity];

namespace vkt {
// The battery's live status block and its discharge control registers.
constexpr BYTE batRemainingEnergy = 0xE0;
constexpr BYTE batVoltage = 0xE1;
constexpr BYTE batCurrent = 0xE3;
constexpr BYTE batStatusWord = 0xE5;
constexpr BYTE batCycleCount = 0xE7;
constexpr BYTE batDischargeState = 0xE9;    // read: bit 7 auto, bit 6 user, bits 5:0 days left
constexpr BYTE batDischargeControl = 0xEA;  // write: bit 7 auto every bits 5:0 days, bit 6 discharge now
constexpr BYTE batBoardTemperature = 0xEF;
constexpr BYTE batPower = 0xF2;
constexpr BYTE dischargeAuto = 0x80;
constexpr BYTE dischargeUser = 0x40;
constexpr BYTE dischargeDaysMask = 0x3F;
constexpr int dischargeDaysMax = 0x3F;

// The live status block of a battery's image; words are sent low byte first.
struct BatteryStatusBlock {
    BYTE remainingEnergy = 0;  // percent
    WORD voltage = 0;          // mV
    int16_t current = 0;       // units of 10 mA, negative while discharging
    WORD statusWord = 0;
    WORD cycleCount = 0;
    BYTE dischargeState = 0;
    BYTE dischargeControl = 0;
    BYTE boardTemperature = 0;  // degrees C; 0: no reading
    WORD power = 0;             // watts

    // From the whole image (the block's registers are its offsets); bytes the image does
    // not hold read as 00h.
    static BatteryStatusBlock decode(ByteView image);
};

// Whole degrees Fahrenheit of a Celsius value, rounded half up; limits for values out of range.
int fahrenheit(double celsius);
}  // namespace vkt

// One 32-byte piece of a battery's image; `response` is zero beyond what the BMC returned.
BYTE getBBPFRURawData(BYTE slaveAddr, BYTE offset, BYTE (&response)[batteryChunkSize]);
int32_t getBatteryInfo();
// The description of one status-word bit value ("" for bits without one).
const char* getBatteryStatusDescription(DWORD bit);

// ---- discharge control ----------------------------------------------------------------------

// Master Write-Read writing the two bytes of `data`; `respBuf` holds `readCount` bytes.
BYTE runBBPCmd(BYTE slaveAddr, BYTE readCount, const BYTE* data, BYTE* respBuf);
// Register E9h; `cc` (when given) receives the completion code of the read.
BYTE read0xE9Offset(BYTE slaveAddr, BYTE* cc = nullptr);
// Slave address of battery module 1-4; 0 for any other number.
BYTE batteryModuleAddr(int module);
BYTE userDischarge(int module);
BYTE autoDischarge(int module, int days);

#endif
