// SEL event decoding: the sensor label, the direction and the description of one entry.
// The decoding is pure over the entry and a small context; the front routines at the end
// fill the context (board identity, SDR names) and allocate the texts.
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

BYTE eventOffset(const vkt::SelEvent& e) { return e.data1 & eventOffsetMask; }
BYTE eventType(const vkt::SelEvent& e) { return e.eventDirType & eventTypeMask; }

bool isSensorSpecific(const vkt::SelEvent& e) {
    const BYTE type = eventType(e);
    return type == sensorSpecificType || type == sensorSpecificTypeOem;
}

const ipmi_event_sensor_types* sensorSpecificRow(const vkt::SelEvent& e) {
    const EventTable table = sensorSpecificTable(e.sensorType);
    return findEventRow(table.rows, table.count, e.sensorType, eventOffset(e), e.data2);
}

// DIMM of a memory ECC error. Event data 2 holds the channel (high nibble, 1 = A) and
// the DIMM (low nibble, 0Ah = 1); event data 3 bits 1:0 the processor.
size_t dimmLocation(vkt::DimmLayout layout, BYTE d2, BYTE d3, char* out, size_t cap) {
    const int hi = d2 >> 4;
    const int lo = d2 & 0x0F;
    const int socket = d3 & 0x03;
    const int cpu = socket + 1;
    const char dimm = static_cast<char>(0x27 + lo);

    switch (layout) {
        case vkt::DimmLayout::unannounced:
            return vkt::formatText(
                out, cap,
                "[@DIMM%c%c(CPU%x)GenC,GenB Romley EP,EX][@DIMM%c%c(CPU%x)GenB Romley EN][@DIMM%2X(CPU%x)GenA]",
                0x40 + hi + socket * 4, dimm, cpu, 0x40 + hi + socket * 3, dimm, cpu, d2, cpu);
        case vkt::DimmLayout::ownModel:
            return vkt::formatText(out, cap, "@DIMM%c%c(CPU%x)", 0x40 + hi, dimm, cpu);
        case vkt::DimmLayout::brickland: {
            // Channels A-D sit on riser 1, E-H on riser 2.
            const bool firstRiser = hi <= 4;
            const int channel = firstRiser ? 0x40 + hi : 0x3C + hi;
            const int riser = firstRiser ? 1 : 2;
            return vkt::formatText(out, cap, "@DIMM%c%d(P%dM%d)", channel, lo - 9, (d3 & 0x0F) + 1, riser);
        }
        case vkt::DimmLayout::romleyEN:
            return vkt::formatText(out, cap, "@DIMM%c%c(CPU%x)", 0x40 + hi + socket * 3, dimm, cpu);
        case vkt::DimmLayout::romleyEPEX:
            return vkt::formatText(out, cap, "@DIMM%c%c(CPU%x)", 0x40 + hi + socket * 4, dimm, cpu);
        case vkt::DimmLayout::plain:
            break;
    }
    return vkt::formatText(out, cap, "@DIMM%2X(CPU%x)", d2, cpu);
}

size_t memoryRefCodeText(const vkt::SelEvent& e, char* out, size_t cap) {
    if (e.sensorNumber != memoryRefCodeSensor)
        return vkt::formatText(out, cap, "Undefined sensor number for MRC code (%02X)", e.sensorNumber);
    const ipmi_event_sensor_types* row = findMrcRow(e.data1, e.data2);
    if (row == nullptr)
        return vkt::formatText(out, cap, "Undefined MRC code (%02X %02X %02X %02X)", memoryRefCodeSensor, e.data1,
                               e.data2, e.data3);
    vkt::copyText(out, cap, row->desc);
    char dimm[32] = {};
    vkt::dimmOfMemoryRefCode(e.data3, dimm, sizeof dimm);
    return vkt::appendText(out, cap, dimm);
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

// ---- pure decoding --------------------------------------------------------------------------

namespace vkt {

SelEvent selEventOf(ByteView record) {
    SelEvent e;
    e.sensorType = record[selSensorTypeOffset];
    e.sensorNumber = record[selSensorNumberOffset];
    e.eventDirType = record[selEventDirTypeOffset];
    e.data1 = record[selEventData1Offset];
    e.data2 = record[selEventData2Offset];
    e.data3 = record[selEventData3Offset];
    return e;
}

DimmLayout dimmLayoutOf(const char* boardFamily) {
    if (boardFamily == nullptr) return DimmLayout::plain;
    if (strcmp(boardFamily, boardOwnLayoutModel) == 0) return DimmLayout::ownModel;
    if (strcmp(boardFamily, boardFamilyBrickland) == 0) return DimmLayout::brickland;
    if (strcmp(boardFamily, boardFamilyRomleyEN) == 0) return DimmLayout::romleyEN;
    if (strcmp(boardFamily, boardFamilyRomleyEPEX) == 0) return DimmLayout::romleyEPEX;
    return DimmLayout::plain;
}

bool detailNeedsBoard(const SelEvent& e) {
    const BYTE offset = eventOffset(e);
    return e.sensorType == sensorTypeMemory && (offset == offsetCorrectableEcc || offset == offsetUncorrectableEcc);
}

bool eventNeedsBoard(const SelEvent& e) {
    return isSensorSpecific(e) && detailNeedsBoard(e) && sensorSpecificRow(e) != nullptr;
}

size_t describeEvent(const SelEvent& e, const EventContext& ctx, char* out, size_t cap) {
    const BYTE type = eventType(e);
    if (isSensorSpecific(e)) return sensorSpecificEventText(e, ctx, out, cap);
    if (type >= genericTypeFirst && type <= genericTypeLast) return genericEventText(e, out, cap);
    return copyText(out, cap, "OEM event");
}

size_t genericEventText(const SelEvent& e, char* out, size_t cap) {
    // Generic states carry no event data 2 restriction.
    const ipmi_event_sensor_types* row = findEventRow(generic_event_types, eventType(e), eventOffset(e), -1);
    return copyText(out, cap, row != nullptr ? row->desc : "");
}

size_t sensorSpecificEventText(const SelEvent& e, const EventContext& ctx, char* out, size_t cap) {
    if (e.sensorType == sensorTypeBbp) return copyText(out, cap, "BBP Timer expired/OS gracefully shutdown");
    if (e.sensorType == sensorTypeMemoryRefCode) return memoryRefCodeText(e, out, cap);

    const ipmi_event_sensor_types* row = sensorSpecificRow(e);
    if (row == nullptr) return copyText(out, cap, "unknown event");

    copyText(out, cap, row->desc);
    char detail[descCapacity] = {};
    eventDetailText(e, ctx, detail, sizeof detail);
    size_t n = appendText(out, cap, detail);
    if (e.sensorType == sensorTypeBiosOem) {
        char codes[16] = {};
        VKT_FORMAT(codes, " (%02X %02X %02X)", e.data1, e.data2, e.data3);
        n = appendText(out, cap, codes);
    }
    return n;
}

size_t eventDetailText(const SelEvent& e, const EventContext& ctx, char* out, size_t cap) {
    const BYTE offset = eventOffset(e);
    if (detailNeedsBoard(e)) return dimmLocation(ctx.board, e.data2, e.data3, out, cap);
    // Event data 2 is the bus, event data 3 the device (bits 7:3) and function (2:0).
    if (e.sensorType == sensorTypeCriticalInterrupt && (offset == offsetPciPerr || offset == offsetPciSerr) &&
        (e.data2 != 0 || e.data3 != 0))
        return formatText(out, cap, ", Bus %d /Device %d /Function %d", e.data2, e.data3 >> 3, e.data3 & 0x07);
    return copyText(out, cap, "");
}

size_t dimmOfMemoryRefCode(BYTE evtData3, char* out, size_t cap) {
    // Bits 7:5 processor, 4:2 channel within the processor, 1:0 DIMM in the channel.
    if (evtData3 == noDimm) return copyText(out, cap, "");
    return formatText(out, cap, " (P%d-DIMM%c%d)", (evtData3 >> 5) + 1, 0x41 + ((evtData3 >> 2) & 0x07) + 4 * (evtData3 >> 5),
                      (evtData3 & 0x03) + 1);
}

size_t labelSensor(const SelEvent& e, const EventContext& ctx, char* out, size_t cap) {
    char name[sdrNameBufferSize] = {};
    if (ctx.sensorName != nullptr && ctx.sensorName(e.sensorNumber, name, sizeof name) && name[0] != '\0')
        return copyText(out, cap, name);
    return copyText(out, cap, unnamedSensorLabel(e.sensorType, e.data1));
}

const char* eventDirectionText(BYTE eventDirType) {
    return (eventDirType & deassertionBit) != 0 ? "Deassertion" : "Assertion";
}

}  // namespace vkt

// ---- fronts -----------------------------------------------------------------------------------

namespace {

// Fills boardName and boardType on the first memory error of the process and tells how
// its DIMMs are numbered. On any failure boardType stays empty, so the next memory error
// asks again; a BMC that says the board ID is not programmed yet gets every layout shown.
vkt::DimmLayout identifyBoard() {
    if (boardName[0] == '\0' && boardType[0] == '\0') {
        const BYTE cc = getBoardID();
        if (cc == ccBoardIdUnavailable) return vkt::DimmLayout::unannounced;
        if (cc == vkt::ccSuccess) vkt::copyText(boardType, boardFamilyOf(boardName));
    }
    return vkt::dimmLayoutOf(boardType);
}

// The SEL labels only need the names, so the repository is read once per process; the
// sensor enumeration refreshes the same table later.
bool sdrSensorName(BYTE number, char* name, size_t cap) {
    char found[vkt::sdrNameBufferSize] = {};  // the SDR copy adds no terminator
    getSensorNameBySensorNumber(number, found);
    found[sizeof found - 1] = '\0';
    vkt::copyText(name, cap, found);
    return found[0] != '\0';
}

vkt::SelEvent eventOf(BYTE sensorNumber, BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2, BYTE evtData3) {
    vkt::SelEvent e;
    e.sensorNumber = sensorNumber;
    e.sensorType = sensorType;
    e.eventDirType = evtType;
    e.data1 = evtData1;
    e.data2 = evtData2;
    e.data3 = evtData3;
    return e;
}

// The context of one front call: the board only when the text needs it.
vkt::EventContext contextFor(bool needsBoard) {
    vkt::EventContext ctx;
    ctx.sensorName = sdrSensorName;
    if (needsBoard) ctx.board = identifyBoard();
    return ctx;
}

template <typename Decode>
char* allocDecoded(Decode decode) {
    char text[descCapacity] = {};
    decode(text, sizeof text);
    return allocText(text);
}

}  // namespace

char* getEventDesc(BYTE sensorNumber, BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2,
                   BYTE evtData3) {
    const vkt::SelEvent e = eventOf(sensorNumber, sensorType, evtType, evtData1, evtData2, evtData3);
    const vkt::EventContext ctx = contextFor(vkt::eventNeedsBoard(e));
    return allocDecoded([&](char* out, size_t cap) { vkt::describeEvent(e, ctx, out, cap); });
}

char* getGenericEventDesc(BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2, BYTE evtData3) {
    const vkt::SelEvent e = eventOf(0, sensorType, evtType, evtData1, evtData2, evtData3);
    return allocDecoded([&](char* out, size_t cap) { vkt::genericEventText(e, out, cap); });
}

char* getSensorTypeDesc(BYTE sensorNumber, BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2,
                        BYTE evtData3) {
    const vkt::SelEvent e = eventOf(sensorNumber, sensorType, evtType, evtData1, evtData2, evtData3);
    const bool needsBoard = vkt::detailNeedsBoard(e) && sensorSpecificRow(e) != nullptr;
    const vkt::EventContext ctx = contextFor(needsBoard);
    return allocDecoded([&](char* out, size_t cap) { vkt::sensorSpecificEventText(e, ctx, out, cap); });
}

char* getOEMSensorTypeDesc(BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2, BYTE evtData3) {
    const vkt::SelEvent e = eventOf(0, sensorType, evtType, evtData1, evtData2, evtData3);
    const vkt::EventContext ctx = contextFor(vkt::detailNeedsBoard(e));
    return allocDecoded([&](char* out, size_t cap) { vkt::eventDetailText(e, ctx, out, cap); });
}

char* getDIMMLoc(BYTE evtData3) {
    return allocDecoded([&](char* out, size_t cap) { vkt::dimmOfMemoryRefCode(evtData3, out, cap); });
}

void getEventDir(BYTE eventDirType, char* eventDirStr) { getEventDir(eventDirType, eventDirStr, sizeof "Deassertion"); }

void getEventDir(BYTE eventDirType, char* eventDirStr, size_t cap) {
    vkt::copyText(eventDirStr, cap, vkt::eventDirectionText(eventDirType));
}

void getSELSensorLabel(BYTE sensorNumber, BYTE sensorType, BYTE evtData1, char* label, size_t cap) {
    const vkt::SelEvent e = eventOf(sensorNumber, sensorType, 0, evtData1, 0, 0);
    vkt::labelSensor(e, contextFor(false), label, cap);
}
