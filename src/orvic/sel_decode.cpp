// SEL event decoding: the sensor label, the direction and the description of one entry.
#include <cstdlib>
#include <cstring>

#include "bounded.h"
#include "ipmi_defs.h"
#include "sdr_util.h"
#include "sel_tables.h"
#include "sel_util.h"

namespace {

// Event/reading type byte: bit 7 is the direction, bits 6:0 the type.
constexpr BYTE deassertionBit = 0x80;
constexpr BYTE eventTypeMask = 0x7F;
constexpr BYTE eventOffsetMask = 0x0F;
constexpr BYTE genericTypeFirst = 0x01;
constexpr BYTE genericTypeLast = 0x0C;
constexpr BYTE sensorSpecificType = 0x6F;
// The first OEM reading type; this board's firmware uses it with the sensor-specific texts.
constexpr BYTE sensorSpecificTypeOem = 0x70;

// Sensor types with their own decoding or label.
constexpr BYTE sensorTypeMemory = 0x0C;
constexpr BYTE sensorTypeCriticalInterrupt = 0x13;
constexpr BYTE sensorTypeLastStandard = 0x2C;
constexpr BYTE sensorTypeCpld = 0xC2;
constexpr BYTE sensorTypeCpuError = 0xC3;
constexpr BYTE sensorTypeBbp = 0xC6;
constexpr BYTE sensorTypeCoprocessorThrottle = 0xC7;
constexpr BYTE sensorTypeOob = 0xCA;
constexpr BYTE sensorTypeBiosOem = 0xCB;
constexpr BYTE sensorTypeMemoryRefCode = 0xCC;

constexpr BYTE offsetCorrectableEcc = 0x00;
constexpr BYTE offsetUncorrectableEcc = 0x01;
constexpr BYTE offsetPciPerr = 0x04;
constexpr BYTE offsetPciSerr = 0x05;
// The memory reference codes come from the BIOS, which logs them with this sensor number.
constexpr BYTE memoryRefCodeSensor = 0xFF;
constexpr BYTE pchHotEventData1 = 0x03;
// Event data 3 of a memory reference code without a DIMM.
constexpr BYTE noDimm = 0xFF;

// The OEM board-ID command answers this when the board ID is not programmed yet.
constexpr BYTE ccBoardIdUnavailable = 0x99;

// Room for the longest table text plus every detail that can follow it.
constexpr size_t descCapacity = 512;

char* allocText(const char* text) {
    size_t n = strlen(text);
    char* out = static_cast<char*>(malloc(n + 1));
    if (out != nullptr) memcpy(out, text, n + 1);
    return out;
}

// Appends an allocated detail text and releases it.
void appendOwned(char* dst, size_t cap, char* detail) {
    vkt::appendText(dst, cap, detail);
    free(detail);
}

// Fills boardName and boardType on the first memory error of the process. Returns true
// when the BMC said the board ID is not available yet, so every layout is shown.
bool identifyBoard() {
    if (boardName[0] != '\0' || boardType[0] != '\0') return false;
    BYTE cc = getBoardID();
    if (cc == vkt::ccSuccess) {
        vkt::copyText(boardType, boardFamilyOf(boardName));
        return false;
    }
    // On any failure boardType stays empty, so the next memory error asks again.
    return cc == ccBoardIdUnavailable;
}

// DIMM of a memory ECC error. Event data 2 holds the channel (high nibble, 1 = A) and
// the DIMM (low nibble, 0Ah = 1); event data 3 bits 1:0 the processor.
void dimmLocationByBoard(BYTE d2, BYTE d3, char* out, size_t cap) {
    const bool unknownBoard = identifyBoard();
    const int hi = d2 >> 4;
    const int lo = d2 & 0x0F;
    const int socket = d3 & 0x03;
    const int cpu = socket + 1;
    const char dimm = static_cast<char>(0x27 + lo);

    if (unknownBoard) {
        vkt::formatText(out, cap,
                        "[@DIMM%c%c(CPU%x)GenC,GenB Romley EP,EX][@DIMM%c%c(CPU%x)GenB Romley EN][@DIMM%2X(CPU%x)GenA]",
                        0x40 + hi + socket * 4, dimm, cpu, 0x40 + hi + socket * 3, dimm, cpu, d2, cpu);
    } else if (strcmp(boardType, boardOwnLayoutModel) == 0) {
        vkt::formatText(out, cap, "@DIMM%c%c(CPU%x)", 0x40 + hi, dimm, cpu);
    } else if (strcmp(boardType, boardFamilyBrickland) == 0) {
        // Channels A-D sit on riser 1, E-H on riser 2.
        const bool firstRiser = hi <= 4;
        const int channel = firstRiser ? 0x40 + hi : 0x3C + hi;
        const int riser = firstRiser ? 1 : 2;
        vkt::formatText(out, cap, "@DIMM%c%d(P%dM%d)", channel, lo - 9, (d3 & 0x0F) + 1, riser);
    } else if (strcmp(boardType, boardFamilyRomleyEN) == 0) {
        vkt::formatText(out, cap, "@DIMM%c%c(CPU%x)", 0x40 + hi + socket * 3, dimm, cpu);
    } else if (strcmp(boardType, boardFamilyRomleyEPEX) == 0) {
        vkt::formatText(out, cap, "@DIMM%c%c(CPU%x)", 0x40 + hi + socket * 4, dimm, cpu);
    } else {
        vkt::formatText(out, cap, "@DIMM%2X(CPU%x)", d2, cpu);
    }
}

char* memoryRefCodeDesc(BYTE sensorNumber, BYTE d1, BYTE d2, BYTE d3) {
    char text[descCapacity] = {};
    if (sensorNumber != memoryRefCodeSensor) {
        VKT_FORMAT(text, "Undefined sensor number for MRC code (%02X)", sensorNumber);
        return allocText(text);
    }
    const ipmi_event_sensor_types* row = findMrcRow(d1, d2);
    if (row == nullptr) {
        VKT_FORMAT(text, "Undefined MRC code (%02X %02X %02X %02X)", memoryRefCodeSensor, d1, d2, d3);
        return allocText(text);
    }
    vkt::copyText(text, row->desc);
    appendOwned(text, sizeof text, getDIMMLoc(d3));
    return allocText(text);
}

const char* unnamedSensorLabel(BYTE sensorType, BYTE evtData1) {
    if (sensorType <= sensorTypeLastStandard) return sensorTypeName(sensorType);
    switch (sensorType) {
        case sensorTypeCpld:
            return "CPLD Event";
        case sensorTypeCpuError:
            return evtData1 == pchHotEventData1 ? "PCH Hot" : "CPU Error";
        case sensorTypeBbp:
            return "BBP";
        case sensorTypeCoprocessorThrottle:
            return "Xeon Phi Throttle";
        case sensorTypeOob:
            return "OOB Event";
        case sensorTypeBiosOem:
        case sensorTypeMemoryRefCode:
            return "BIOS OEM";
        default:
            return "OEM";
    }
}

}  // namespace

char* getEventDesc(BYTE sensorNumber, BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2,
                   BYTE evtData3) {
    const BYTE type = evtType & eventTypeMask;
    if (type == sensorSpecificType || type == sensorSpecificTypeOem)
        return getSensorTypeDesc(sensorNumber, sensorType, evtType, evtData1, evtData2, evtData3);
    if (type >= genericTypeFirst && type <= genericTypeLast)
        return getGenericEventDesc(sensorType, evtType, evtData1, evtData2, evtData3);
    return allocText("OEM event");
}

char* getGenericEventDesc(BYTE /*sensorType*/, BYTE evtType, BYTE evtData1, BYTE /*evtData2*/,
                          BYTE /*evtData3*/) {
    // Generic states carry no event data 2 restriction.
    const ipmi_event_sensor_types* row =
        findEventRow(generic_event_types, evtType & eventTypeMask, evtData1 & eventOffsetMask, -1);
    return allocText(row != nullptr ? row->desc : "");
}

char* getSensorTypeDesc(BYTE sensorNumber, BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2,
                        BYTE evtData3) {
    if (sensorType == sensorTypeBbp) return allocText("BBP Timer expired/OS gracefully shutdown");
    if (sensorType == sensorTypeMemoryRefCode) return memoryRefCodeDesc(sensorNumber, evtData1, evtData2, evtData3);

    const EventTable table = sensorSpecificTable(sensorType);
    const ipmi_event_sensor_types* row =
        findEventRow(table.rows, table.count, sensorType, evtData1 & eventOffsetMask, evtData2);
    if (row == nullptr) return allocText("unknown event");

    char text[descCapacity] = {};
    vkt::copyText(text, row->desc);
    appendOwned(text, sizeof text, getOEMSensorTypeDesc(sensorType, evtType, evtData1, evtData2, evtData3));
    if (sensorType == sensorTypeBiosOem) {
        char codes[16] = {};
        VKT_FORMAT(codes, " (%02X %02X %02X)", evtData1, evtData2, evtData3);
        vkt::appendText(text, codes);
    }
    return allocText(text);
}

char* getOEMSensorTypeDesc(BYTE sensorType, BYTE /*evtType*/, BYTE evtData1, BYTE evtData2, BYTE evtData3) {
    char text[descCapacity] = {};
    const BYTE offset = evtData1 & eventOffsetMask;
    if (sensorType == sensorTypeMemory && (offset == offsetCorrectableEcc || offset == offsetUncorrectableEcc)) {
        dimmLocationByBoard(evtData2, evtData3, text, sizeof text);
    } else if (sensorType == sensorTypeCriticalInterrupt && (offset == offsetPciPerr || offset == offsetPciSerr)) {
        // Event data 2 is the bus, event data 3 the device (bits 7:3) and function (2:0).
        if (evtData2 != 0 || evtData3 != 0)
            VKT_FORMAT(text, ", Bus %d /Device %d /Function %d", evtData2, evtData3 >> 3, evtData3 & 0x07);
    }
    return allocText(text);
}

char* getDIMMLoc(BYTE evtData3) {
    char text[32] = {};
    // Bits 7:5 processor, 4:2 channel within the processor, 1:0 DIMM in the channel.
    if (evtData3 != noDimm)
        VKT_FORMAT(text, " (P%d-DIMM%c%d)", (evtData3 >> 5) + 1, 0x41 + ((evtData3 >> 2) & 0x07) + 4 * (evtData3 >> 5),
                   (evtData3 & 0x03) + 1);
    return allocText(text);
}

void getEventDir(BYTE eventDirType, char* eventDirStr) { getEventDir(eventDirType, eventDirStr, sizeof "Deassertion"); }

void getEventDir(BYTE eventDirType, char* eventDirStr, size_t cap) {
    vkt::copyText(eventDirStr, cap, (eventDirType & deassertionBit) != 0 ? "Deassertion" : "Assertion");
}

void getSELSensorLabel(BYTE sensorNumber, BYTE sensorType, BYTE evtData1, char* label, size_t cap) {
    // The SDR copy adds no terminator: it relies on the buffer being cleared.
    char name[512] = {};
    getSensorNameBySensorNumber(sensorNumber, name);
    name[sizeof name - 1] = '\0';
    vkt::copyText(label, cap, name[0] != '\0' ? name : unnamedSensorLabel(sensorType, evtData1));
}
