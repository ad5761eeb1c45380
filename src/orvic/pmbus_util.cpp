// Power modules on the private bus: detection, PMBus telemetry and status texts, and the
// identity a module keeps in its FRU EEPROM.
#include "pmbus_util.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "bounded.h"
#include "fru_util.h"
#include "ipmi_defs.h"
#include "private_bus.h"

const BYTE pmBusSlaveAddrs[pmBusAddrCount] = {0x78, 0x7A, 0x7C, 0x7E, 0xB0, 0xB2, 0xB4, 0xB6};
const BYTE pmBusSlaveAddrsFRU[pmBusAddrCount] = {0x70, 0x72, 0x74, 0x76, 0xA0, 0xA2, 0xA4, 0xA6};
const BYTE batterySlaveAddrsFRU[batteryAddrCount] = {0x70, 0x72, 0x74, 0x76};

BYTE pmBusAvailableSlaveAddrs[pmBusAvailableCapacity];
BYTE pmBusAvailableSlaveAddrsFRU[pmBusFRUAvailableCapacity];
BYTE batteryAvailableSlaveAddrsFRU[batteryAvailableCapacity];
BYTE slaveAddrFRU = 0;

PmBusRecord pmBusHealth[pmBusRecordCount];
FruHealthRecord fruHealth[pmBusRecordCount];

// Module-number codes of the power modules this library knows by model. A module number
// is the text a module reports in its vendor registers (or the product name of its FRU
// EEPROM); a code matches when the module number contains it anywhere.
//
// | Code        | Family                               | What it changes                       |
// |-------------|--------------------------------------|---------------------------------------|
// | OKR-0451A   | first-generation 450 W, old model    | status bits of the old layout; fan    |
// | OKR-0652A   | first-generation 650 W, old model    |   speeds in the old tachometer units  |
// | OKR-0802B   | first-generation 800 W, old model    |   (all "OKR" modules)                 |
// | OKR-1002B   | first-generation 1000 W, old model   |                                       |
// | LSM9A0401   | 400 W low-profile module             | status bits of the old layout         |
// | LSM9A0651   | 650 W low-profile module             |                                       |
// | TRN-1K6-R1  | 1600 W module, first revision        |                                       |
// | TRN-2K-R1   | 2000 W module, first revision        |                                       |
// | HVC0452-AL  | 450 W high-voltage DC module         |                                       |
// | HVC0652-AL  | 650 W high-voltage DC module         |                                       |
// | OKR         | (old-model code)                     | fan speeds in tachometer units        |
// | DCB12       | (voltage-status code) 12 V DC units  | status from the output voltage        |
const char* const noneStandardVKTPowerSupplies[noneStandardCodeCount] = {
    "OKR-0451A", "OKR-0652A", "OKR-0802B",  "OKR-1002B",  "LSM9A0401",
    "LSM9A0651", "TRN-1K6-R1", "TRN-2K-R1", "HVC0452-AL", "HVC0652-AL",
};

namespace {

constexpr const char* oldModelCode = "OKR";
// Modules whose STATUS_BYTE means nothing: the output voltage says whether they deliver.
constexpr const char* voltageStatusCode = "DCB12";
constexpr double voltageStatusMinimum = 11.0;
// The vendor's own modules carry their identity in the vendor registers.
constexpr const char* vendorModulePrefix = "ZUR";

constexpr BYTE pmBusAbsent = 0xFF;  // VOUT_MODE of an address where nothing answers sensibly
constexpr BYTE pmbIdentityEnd = 0x00;
constexpr BYTE pmbIdentityBlank = 0xFF;

// Tachometer units of the old modules and of the status EEPROMs: 30 / 0.262 RPM per count.
constexpr double tachometerRpm = 30.0 / 0.262;
constexpr WORD oldFanMask = 0x3FFF;

constexpr int linearExponentShift = 11;
constexpr WORD linearMantissaMask = 0x07FF;
constexpr int mantissaSignBit = 0x400;
constexpr int exponentMask = 0x1F;
constexpr int exponentSignBit = 0x10;

// The two's-complement value of the bits under `mask`, whose top bit is `signBit`.
int signExtend(int value, int mask, int signBit) {
    value &= mask;
    return (value & signBit) != 0 ? value - (mask + 1) : value;
}

// Values cut toward zero to hundredths, in double: the readings reach 2^31 and beyond.
double hundredths(double v) { return std::trunc(v * 100.0) / 100.0; }

// An integer part that stays defined whatever the reading (NaN and out-of-range give limits).
int integerPart(double v) {
    constexpr int most = std::numeric_limits<int>::max();
    constexpr int least = std::numeric_limits<int>::min();
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(most)) return most;
    if (v <= static_cast<double>(least)) return least;
    return static_cast<int>(v);
}

// A two-byte PMBus reading; false when the read failed.
bool readWord(BYTE slaveAddr, BYTE code, WORD* value) {
    BYTE resp[2] = {};
    if (runPMBusCmd(slaveAddr, 2, code, resp) != vkt::ccSuccess) return false;
    *value = vkt::ByteView(resp).le16(0);
    return true;
}

BYTE readByteOrZero(BYTE slaveAddr, BYTE code) {
    BYTE b = 0;
    return runPMBusCmd(slaveAddr, 1, code, &b) == vkt::ccSuccess ? b : 0;
}

// A LINEAR11 reading as text; "N/A" when the read failed.
template <size_t N>
void readLinearText(BYTE slaveAddr, BYTE code, char (&text)[N], const char* format, bool truncate) {
    WORD w = 0;
    if (!readWord(slaveAddr, code, &w)) {
        vkt::copyText(text, "N/A");
        return;
    }
    const double v = linearDataFormat(w);
    vkt::formatText(text, N, format, truncate ? hundredths(v) : v);
}

void readTemperature(BYTE slaveAddr, BYTE code, PmBusShortText& text) {
    WORD w = 0;
    if (!readWord(slaveAddr, code, &w)) {
        vkt::copyText(text, "N/A");
        return;
    }
    const double c = linearDataFormat(w);
    VKT_FORMAT(text, "%.fC/%dF", c, vkt::fahrenheit(c));
}

void readFan(BYTE slaveAddr, BYTE code, const char* moduleNumber, PmBusShortText& text) {
    WORD w = 0;
    if (!readWord(slaveAddr, code, &w)) {
        vkt::copyText(text, "N/A");
        return;
    }
    const int rpm = isVKTOldPower(moduleNumber) == 1 ? integerPart((w & oldFanMask) * tachometerRpm)
                                                     : integerPart(linearDataFormat(w));
    VKT_FORMAT(text, "%d RPM", rpm);
}

// One character per register from `first`; the text ends at 00h, FFh or a failed read.
void readIdentityText(BYTE slaveAddr, BYTE first, int count, char* text, size_t cap) {
    char collected[pmBusTextSize] = {};
    int n = 0;
    for (int i = 0; i < count && n + 1 < pmBusTextSize; ++i) {
        BYTE b = 0;
        if (runPMBusCmd(slaveAddr, 1, static_cast<BYTE>(first + i), &b) != vkt::ccSuccess) break;
        if (b == pmbIdentityEnd || b == pmbIdentityBlank) break;
        collected[n++] = static_cast<char>(b);
    }
    vkt::copyText(text, cap, collected);
}

// Each address table holds two families of four: 78h/70h first, then B0h/A0h.
constexpr int familySize = 4;
constexpr int b0NamedModules = 2;
const char* const moduleNames[familySize] = {"Module 1", "Module 2", "Module 3", "Module 4"};

int tableIndex(const BYTE* table, int n, BYTE addr) {
    for (int i = 0; i < n; ++i)
        if (table[i] == addr) return i;
    return -1;
}

bool contains(const char* text, const char* code) {
    return text != nullptr && text[0] != '\0' && strstr(text, code) != nullptr;
}

// Appends `addr` to `list` while it has room; the count of entries kept.
int32_t keepAddress(BYTE* list, int capacity, int32_t count, BYTE addr) {
    if (count >= capacity) return count;
    list[count] = addr;
    return count + 1;
}

// The status EEPROM byte at 0Ch; false when the read failed.
bool readStatusByte(BYTE slaveAddr, BYTE* value) {
    *value = 0;
    return runPMBusCmd(slaveAddr, 1, vkt::fruStatusByte, value) == vkt::ccSuccess;
}

// Identity of record `index` from the FRU EEPROM at `eeprom`.
void identityFromFru(BYTE eeprom, int index) {
    if (index < 0 || index >= pmBusRecordCount) return;
    slaveAddrFRU = eeprom;
    BYTE image[fruModuleImageSize] = {};
    for (int offset = 0; offset < vkt::moduleFruReadLength; ++offset) {
        BYTE b = 0;
        if (runPMBusCmd(eeprom, 1, static_cast<BYTE>(offset), &b) == vkt::ccSuccess) image[offset] = b;
    }
    const vkt::FruImage fru = parseFRUImage(vkt::ByteView(image), 0);
    PmBusRecord& r = pmBusHealth[index];
    memset(r.zurModuleNumber, 0, sizeof r.zurModuleNumber);
    memset(r.zurSerialNumber, 0, sizeof r.zurSerialNumber);
    memset(r.zurRevision, 0, sizeof r.zurRevision);
    vkt::copyFieldText(r.zurModuleNumber, fru.product.field(vkt::fruProductName));
    vkt::copyFieldText(r.zurSerialNumber, fru.product.field(vkt::fruProductSerial));
    vkt::copyFieldText(r.zurRevision, fru.product.field(vkt::fruProductVersion));
}

// Registers of one module into record `r`, in the order the module is read.
void readModule(BYTE a, PmBusRecord& r) {
    readZURSerialNumber(a, r.zurSerialNumber);
    readZURModuleNumber(a, r.zurModuleNumber);
    readZURRevision(a, r.zurRevision);
    r.VOutMode = getVOutMode(a);
    r.statusByte = getStatusByte(a);
    r.statusByteHigh = getStatusByteHigh(a);
    r.inputTypeFlag = getInputTypeFlag(a);
    readACInputVoltage(a, r.acInputVoltage);
    readACInputCurrent(a, r.acInputCurrent);
    readDC12VOutputVoltage(a, r.VOutMode, r.dc12VOutputVoltage);
    readDC12VOutputCurrent(a, r.dc12VOutputCurrent);
    readTemperature1(a, r.temperature1);
    readTemperature2(a, r.temperature2);
    readFan1(a, r.zurModuleNumber, r.fan1);
    readFan2(a, r.zurModuleNumber, r.fan2);
    readDC12VOutputPower(a, r.dc12VOutputPower);
    readACInputPower(a, r.acInputPower);
    readPMBusRevision(a, r.pmBusRevision);
}

// Modules that report no status: on while the output holds its voltage. A failed read keeps
// the STATUS_BYTE as read.
void applyVoltageStatus(BYTE a, PmBusRecord& r) {
    if (!contains(r.zurModuleNumber, voltageStatusCode)) return;
    WORD w = 0;
    if (!readWord(a, vkt::pmbReadVout, &w)) return;
    r.statusByte = std::trunc(voutValue(w, r.VOutMode)) >= voltageStatusMinimum ? 1 : 0;
}

}  // namespace

// ---- access and detection ----------------------------------------------------------------

BYTE runPMBusCmd(BYTE slaveAddr, BYTE readCount, BYTE dataToWrite, BYTE* respBuf) {
    return vkt::masterWriteRead(slaveAddr, readCount, &dataToWrite, 1, respBuf);
}

int isA0Addr(BYTE slaveAddr) {
    return tableIndex(pmBusSlaveAddrsFRU + familySize, familySize, slaveAddr) >= 0 ? 1 : 0;
}

int isB0Addr(BYTE slaveAddr) {
    if (tableIndex(pmBusSlaveAddrs + familySize, familySize, slaveAddr) < 0) return 0;
    slaveAddrFRU = static_cast<BYTE>(slaveAddr - vkt::fruOffsetB0Family);
    BYTE status = 0;
    readStatusByte(slaveAddrFRU, &status);  // a companion that does not answer reads as 00h
    return (status & vkt::fruStatusBattery) == 0 ? 1 : 0;
}

int isVKTOldPower(const char* moduleNumber) { return contains(moduleNumber, oldModelCode) ? 1 : 0; }

int checkNoneStandardVKTPowerSupplies(const char* moduleNumber) {
    for (const char* code : noneStandardVKTPowerSupplies)
        if (contains(moduleNumber, code)) return 1;
    return 0;
}

int32_t detectSlaveAddress() {
    memset(pmBusAvailableSlaveAddrs, 0, sizeof pmBusAvailableSlaveAddrs);
    int32_t count = 0;
    for (BYTE a : pmBusSlaveAddrs) {
        BYTE mode = 0;
        if (runPMBusCmd(a, 1, vkt::pmbVoutMode, &mode) == vkt::ccSuccess && mode != pmBusAbsent)
            count = keepAddress(pmBusAvailableSlaveAddrs, pmBusAvailableCapacity, count, a);
    }
    return count;
}

int32_t detectSlaveAddressFRU() {
    memset(pmBusAvailableSlaveAddrsFRU, 0, sizeof pmBusAvailableSlaveAddrsFRU);
    int32_t count = 0;
    for (BYTE a : pmBusSlaveAddrsFRU) {
        BYTE status = 0;
        if (readStatusByte(a, &status) && (status & vkt::fruStatusPresent) != 0)
            count = keepAddress(pmBusAvailableSlaveAddrsFRU, pmBusFRUAvailableCapacity, count, a);
    }
    return count;
}

int32_t detectBatterySlaveAddressFRU() {
    memset(batteryAvailableSlaveAddrsFRU, 0, sizeof batteryAvailableSlaveAddrsFRU);
    int32_t count = 0;
    constexpr BYTE battery = vkt::fruStatusBattery | vkt::fruStatusPresent;
    for (BYTE a : batterySlaveAddrsFRU) {
        BYTE status = 0;
        if (readStatusByte(a, &status) && (status & battery) == battery)
            count = keepAddress(batteryAvailableSlaveAddrsFRU, batteryAvailableCapacity, count, a);
    }
    return count;
}

const char* getModuleName(BYTE slaveAddr) {
    const int i = tableIndex(pmBusSlaveAddrs, pmBusAddrCount, slaveAddr);
    if (i < 0) return "N/A";
    if (i < familySize) return moduleNames[i];
    // Modules 3 and 4 of the B0 family have no name of their own.
    return i - familySize < b0NamedModules ? moduleNames[i - familySize] : "N/A";
}

const char* getModuleNameFRU(BYTE slaveAddr) {
    const int i = tableIndex(batterySlaveAddrsFRU, batteryAddrCount, slaveAddr);
    return i < 0 ? "N/A" : moduleNames[i];
}

int pmBusWalkCount(int32_t count, int listCapacity) {
    int n = count < 0 ? 0 : static_cast<int>(count);
    if (n > listCapacity) n = listCapacity;
    if (n > pmBusRecordCount) n = pmBusRecordCount;
    return n;
}

// ---- readings ------------------------------------------------------------------------------

int vkt::fahrenheit(double celsius) { return integerPart(1.8 * celsius + 32.0 + 0.5); }

double linearDataFormat(WORD temp) {
    const int exponent = signExtend(temp >> linearExponentShift, exponentMask, exponentSignBit);
    const int mantissa = signExtend(temp & linearMantissaMask, linearMantissaMask, mantissaSignBit);
    return std::ldexp(static_cast<double>(mantissa), exponent);
}

double voutValue(WORD word, BYTE vOutMode) {
    if (vOutMode == 0) return linearDataFormat(word);
    return std::ldexp(static_cast<double>(word), signExtend(vOutMode, exponentMask, exponentSignBit));
}

BYTE getVOutMode(BYTE slaveAddr) { return readByteOrZero(slaveAddr, vkt::pmbVoutMode); }
BYTE getStatusByte(BYTE slaveAddr) { return readByteOrZero(slaveAddr, vkt::pmbStatusByte); }
BYTE getInputTypeFlag(BYTE slaveAddr) { return readByteOrZero(slaveAddr, vkt::pmbInputType); }

BYTE getStatusByteHigh(BYTE slaveAddr) {
    WORD w = 0;
    return readWord(slaveAddr, vkt::pmbStatusWord, &w) ? static_cast<BYTE>(w >> 8) : 0;
}

BYTE getStatusByteFRU(BYTE slaveAddr) {
    BYTE status = 0;
    return readStatusByte(slaveAddr, &status) ? status : 0;
}

void readACInputVoltage(BYTE slaveAddr, PmBusText& text) {
    readLinearText(slaveAddr, vkt::pmbReadVin, text, "%.1f V", true);
}
void readACInputCurrent(BYTE slaveAddr, PmBusText& text) {
    readLinearText(slaveAddr, vkt::pmbReadIin, text, "%.2f A", true);
}
void readDC12VOutputCurrent(BYTE slaveAddr, PmBusText& text) {
    readLinearText(slaveAddr, vkt::pmbReadIout, text, "%.2f A", true);
}
void readDC12VOutputPower(BYTE slaveAddr, PmBusText& text) {
    readLinearText(slaveAddr, vkt::pmbReadPout, text, "%.f W", false);
}
void readACInputPower(BYTE slaveAddr, PmBusText& text) {
    readLinearText(slaveAddr, vkt::pmbReadPin, text, "%.f W", false);
}

void readDC12VOutputVoltage(BYTE slaveAddr, BYTE vOutMode, PmBusText& text) {
    WORD w = 0;
    if (!readWord(slaveAddr, vkt::pmbReadVout, &w)) {
        vkt::copyText(text, "N/A");
        return;
    }
    VKT_FORMAT(text, "%.2f V", hundredths(voutValue(w, vOutMode)));
}

void readTemperature1(BYTE slaveAddr, PmBusShortText& text) { readTemperature(slaveAddr, vkt::pmbReadTemperature1, text); }
void readTemperature2(BYTE slaveAddr, PmBusShortText& text) { readTemperature(slaveAddr, vkt::pmbReadTemperature2, text); }

void readFan1(BYTE slaveAddr, const char* moduleNumber, PmBusShortText& text) {
    readFan(slaveAddr, vkt::pmbReadFanSpeed1, moduleNumber, text);
}
void readFan2(BYTE slaveAddr, const char* moduleNumber, PmBusShortText& text) {
    readFan(slaveAddr, vkt::pmbReadFanSpeed2, moduleNumber, text);
}

void readPMBusRevision(BYTE slaveAddr, PmBusText& text) {
    WORD w = 0;
    if (!readWord(slaveAddr, vkt::pmbRevision, &w)) {
        vkt::copyText(text, "N/A");
        return;
    }
    VKT_FORMAT(text, "0x%04X", static_cast<unsigned>(w));
}

void readZURSerialNumber(BYTE slaveAddr, ZurText& text) {
    readIdentityText(slaveAddr, vkt::pmbSerialFirst, vkt::pmbSerialLength, text, sizeof text);
}
void readZURModuleNumber(BYTE slaveAddr, ZurText& text) {
    readIdentityText(slaveAddr, vkt::pmbModuleNumberFirst, vkt::pmbModuleNumberLength, text, sizeof text);
}
void readZURRevision(BYTE slaveAddr, PmBusText& text) {
    readIdentityText(slaveAddr, vkt::pmbRevisionFirst, vkt::pmbRevisionLength, text, sizeof text);
}

void readTemperatureFRU(BYTE slaveAddr, PmBusText& text) {
    BYTE c = 0;
    if (runPMBusCmd(slaveAddr, 1, vkt::fruStatusTemperature, &c) != vkt::ccSuccess) return;
    VKT_FORMAT(text, "%.fC/%dF", static_cast<double>(c), vkt::fahrenheit(c));
}

namespace {
void readFanFRU(BYTE slaveAddr, BYTE offset, PmBusText& text) {
    BYTE count = 0;
    if (runPMBusCmd(slaveAddr, 1, offset, &count) != vkt::ccSuccess) return;
    VKT_FORMAT(text, "%d RPM", integerPart(count * tachometerRpm));
}
}  // namespace

void readFan1FRU(BYTE slaveAddr, PmBusText& text) { readFanFRU(slaveAddr, vkt::fruStatusFan1, text); }
void readFan2FRU(BYTE slaveAddr, PmBusText& text) { readFanFRU(slaveAddr, vkt::fruStatusFan2, text); }

void checkFRU(BYTE slaveAddr, int index) {
    identityFromFru(static_cast<BYTE>(slaveAddr - vkt::fruOffset78Family), index);
}

void replaceMODULE_SN_REVISION_fromFRU(BYTE slaveAddr, int index) {
    identityFromFru(static_cast<BYTE>(slaveAddr - vkt::fruOffsetB0Family), index);
}

int32_t getPMBusInfoFRU() {
    const int32_t count = detectSlaveAddressFRU();
    if (count == 0) return 0;
    const int devices = pmBusWalkCount(count, pmBusFRUAvailableCapacity);
    for (int i = 0; i < devices; ++i) {
        const BYTE a = pmBusAvailableSlaveAddrsFRU[i];
        if (a == 0) continue;
        FruHealthRecord& h = fruHealth[i];
        h.statusByte = getStatusByteFRU(a);
        readTemperatureFRU(a, h.temperature);
        readFan1FRU(a, h.fan1);
        readFan2FRU(a, h.fan2);
    }
    return count;
}

int32_t getPMBusInfo() {
    const int32_t count = detectSlaveAddress();
    if (count == 0) return 0;
    const int modules = pmBusWalkCount(count, pmBusAvailableCapacity);
    for (int i = 0; i < modules; ++i) {
        const BYTE a = pmBusAvailableSlaveAddrs[i];
        if (a == 0) continue;
        PmBusRecord& r = pmBusHealth[i];
        readModule(a, r);
        // The flag follows what the module is now, so a slot that changed hands (a module
        // swapped or gone) is never decoded with the previous occupant's layout.
        r.isB0Addr = isB0Addr(a);
        if (r.isB0Addr == 1) {
            replaceMODULE_SN_REVISION_fromFRU(a, i);
        } else if (r.zurModuleNumber[0] != '\0' && !contains(r.zurModuleNumber, vendorModulePrefix)) {
            checkFRU(a, i);
        }
        applyVoltageStatus(a, r);
    }
    return count;
}

// ---- status texts --------------------------------------------------------------------------

void getStatus_PM1_2(BYTE value, StatusText& statusStr) {
    static const char* const labels[8] = {
        "[NONE OF THE ABOVE]", "[COMM,MEMORY,LOGIC EVENT]", "[TEMPERATURE FAULT OR WARNING]", "[VIN_UV_FAULT]",
        "[IOUT_OC_FAULT]",     "[VOUT_OV_FAULT]",           "[UNIT IS OFF]",                  "[UNIT WAS BUSY]",
    };
    const char* label = "[STATUS OK]";
    for (int bit = 0; bit < 8; ++bit)
        if ((value >> bit & 1) != 0) label = labels[bit];  // the highest set bit wins
    VKT_FORMAT(statusStr, "%s(%02Xh)", label, value);
}

void getStatus_Old_Ps(BYTE value, StatusText& statusStr) {
    static const char* const labels[5] = {
        "[STATUS OK]", "[Over Temperature Fault]", "[Under Voltage Fault]", "[Over Current Fault]",
        "[Over Voltage Fault]",
    };
    statusStr[0] = '\0';
    for (int bit = 0; bit < 5; ++bit)
        if ((value >> bit & 1) != 0) vkt::appendText(statusStr, labels[bit]);
    char code[8];
    VKT_FORMAT(code, "(%02Xh)", value);
    vkt::appendText(statusStr, code);
}

void getStatus_B0Addr_PM1_2(BYTE status, BYTE statusHigh, StatusText& statusStr) {
    constexpr BYTE powerGoodNegated = 0x08;  // STATUS_WORD bit 11
    VKT_FORMAT(statusStr, "%s (%02X %02X)", (statusHigh & powerGoodNegated) != 0 ? "OFF" : "ON", statusHigh, status);
}

void getModuleStatusText(const PmBusRecord& record, StatusText& statusStr) {
    if (checkNoneStandardVKTPowerSupplies(record.zurModuleNumber) == 1) {
        getStatus_Old_Ps(record.statusByte, statusStr);
    } else if (record.isB0Addr == 0) {
        getStatus_PM1_2(record.statusByte, statusStr);
    } else {
        getStatus_B0Addr_PM1_2(record.statusByte, record.statusByteHigh, statusStr);
    }
}
