// The system event log: the reader that copies the BMC's SEL into process-wide buffers, the
// decoder that turns one 16-byte entry into the texts the SEL list publishes, and the
// board identity that decides how memory error locations are written.
#ifndef VKT_SEL_UTIL_H
#define VKT_SEL_UTIL_H

#include <stddef.h>
#include <stdint.h>

#include "byte_view.h"
#include "vkt_types.h"

// ---- reader -----------------------------------------------------------------------------

constexpr int selInfoSize = 14;
constexpr int selRecordSize = 16;
constexpr int selMaxRecords = 1024;

// Get SEL Info as received (bytes not sent are 00h): version; entries LS, MS; free space
// LS, MS; last addition stamp (4 bytes, LS first); last erase stamp (4 bytes); support.
extern BYTE selInfo[selInfoSize];
// Reservation from the last successful Reserve SEL, LS first.
extern BYTE selReserveID[2];
// Entries the last read holds in selRecords (never more than selMaxRecords).
extern int selRecordCount;
// The entries in log order; entry 0 is the first record of the log.
extern BYTE selRecords[selMaxRecords][selRecordSize];

// Offsets inside a SEL entry (system event record layout).
constexpr int selTimestampOffset = 3;
constexpr int selSensorTypeOffset = 10;
constexpr int selSensorNumberOffset = 11;
constexpr int selEventDirTypeOffset = 12;
constexpr int selEventData1Offset = 13;
constexpr int selEventData2Offset = 14;
constexpr int selEventData3Offset = 15;

// Each returns the completion code of its command.
BYTE getSELInfo();
BYTE getReserveSELID();
// Entry count reported in selInfo.
int getSELRecordCount();
// Reads the log into selRecords; run getSELInfo and getReserveSELID first.
BYTE getSELs();

// ---- decoding ---------------------------------------------------------------------------
//
// The decoding itself is pure (namespace vkt below): texts from the fields of an entry and
// a small context. The front routines after it keep their names: they fill the context
// (asking the BMC for the board ID, walking the SDR for names, as needed) and allocate.

namespace vkt {

// The fields of one SEL entry that its texts are made from.
struct SelEvent {
    BYTE sensorType = 0;
    BYTE sensorNumber = 0;
    BYTE eventDirType = 0;  // bit 7 direction, bits 6:0 event/reading type
    BYTE data1 = 0;
    BYTE data2 = 0;
    BYTE data3 = 0;
};

// The event fields of a 16-byte system event record (missing bytes read as 00h).
SelEvent selEventOf(ByteView record);

// How the board's BIOS numbers DIMMs in memory error events.
enum class DimmLayout {
    plain,         // "@DIMM1A(CPU2)": board unknown or without a family layout
    ownModel,      // the one model with its own numbering
    brickland,
    romleyEN,
    romleyEPEX,
    unannounced,   // the BMC says the board ID is not programmed yet: every layout is shown
};

// The layout of a board family name as getBoardID/boardFamilyOf leave it in boardType
// ("" or an unknown name: plain).
DimmLayout dimmLayoutOf(const char* boardFamily);

// Copies the SDR name of sensor `number` into `name` (room for `cap` bytes, terminated);
// false when the SDR names no such sensor.
using SensorNameLookup = bool (*)(BYTE number, char* name, size_t cap);

struct EventContext {
    DimmLayout board = DimmLayout::plain;
    SensorNameLookup sensorName = nullptr;  // nullptr: no names known
};

// Whether the text of the entry depends on the board (a memory ECC error with a table text)
// and whether the detail of a table text does (any memory ECC error).
bool eventNeedsBoard(const SelEvent& e);
bool detailNeedsBoard(const SelEvent& e);

// Each writes its text, cut to `cap` bytes and terminated, and returns its length.
size_t describeEvent(const SelEvent& e, const EventContext& ctx, char* out, size_t cap);
size_t genericEventText(const SelEvent& e, char* out, size_t cap);
size_t sensorSpecificEventText(const SelEvent& e, const EventContext& ctx, char* out, size_t cap);
size_t eventDetailText(const SelEvent& e, const EventContext& ctx, char* out, size_t cap);
size_t dimmOfMemoryRefCode(BYTE evtData3, char* out, size_t cap);
size_t labelSensor(const SelEvent& e, const EventContext& ctx, char* out, size_t cap);
const char* eventDirectionText(BYTE eventDirType);

}  // namespace vkt

// Every description routine returns a newly allocated text (malloc) that the caller
// releases with free(); nullptr only when memory ran out.

char* getEventDesc(BYTE sensorNumber, BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2,
                   BYTE evtData3);
char* getGenericEventDesc(BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2, BYTE evtData3);
char* getSensorTypeDesc(BYTE sensorNumber, BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2,
                        BYTE evtData3);
// Detail that follows a table description: the DIMM of an ECC error, the PCI location
// of a PERR/SERR; empty for everything else.
char* getOEMSensorTypeDesc(BYTE sensorType, BYTE evtType, BYTE evtData1, BYTE evtData2, BYTE evtData3);
// DIMM of a BIOS memory reference code: " (P2-DIMMF2)", or empty for FFh.
char* getDIMMLoc(BYTE evtData3);

// "Deassertion" when bit 7 is set, else "Assertion". The first form needs room for 12
// bytes; the second cuts the text to `cap`.
void getEventDir(BYTE eventDirType, char* eventDirStr);
void getEventDir(BYTE eventDirType, char* eventDirStr, size_t cap);

// Label of the sensor that logged an entry: its SDR name, or a name derived from the
// sensor type (and, for C3h, event data 1) when the SDR has none. Never empty.
void getSELSensorLabel(BYTE sensorNumber, BYTE sensorType, BYTE evtData1, char* label, size_t cap);

// ---- board identity ----------------------------------------------------------------------

constexpr size_t boardTextSize = 256;

// Model name of this server's board (with a trailing line feed once known) and the
// board family that decides the DIMM location format. Both empty until the first memory
// error event asks the BMC; then kept for the life of the process.
extern char boardName[boardTextSize];
extern char boardType[boardTextSize];

// One row of the board-ID table: the BMC's 16-bit board ID and the model it stands for.
struct board_oem_id {
    BYTE ms;
    BYTE ls;
    char board_name[boardTextSize];
};

extern const board_oem_id vkt_board_id[];
extern const size_t vkt_board_id_count;

// Family names stored in boardType (besides the name of the one model with its own layout).
extern const char* const boardFamilyBrickland;
extern const char* const boardFamilyRomleyEN;
extern const char* const boardFamilyRomleyEPEX;
extern const char* const boardFamilyNormal;
// The one model whose numbering is its own family; boardType then holds this name.
extern const char* const boardOwnLayoutModel;

// Asks the BMC for the board ID and, when the table knows it, sets boardName.
// Returns the completion code.
BYTE getBoardID();
// The family of a model name (see the table's notes). Never null.
const char* boardFamilyOf(const char* modelName);

// ---- time stamps -------------------------------------------------------------------------

namespace vkt {

// A UTC calendar time. Worked out with 64-bit arithmetic, so it is the same on every
// platform whatever the width of time_t, the time zone or the locale.
struct UtcTime {
    int64_t year;
    int month;    // 1-12
    int day;      // 1-31
    int hour;
    int minute;
    int second;
    int weekday;  // 0 = Sunday
};

// false (and *out untouched) for times outside the years 1 to 9999.
bool utcFromEpoch(int64_t seconds, UtcTime* out);

// "2017/07/14 02:40:00"; an empty text when the time cannot be converted.
size_t formatSelTime(char* dst, size_t cap, int64_t seconds);
// The asctime form "Fri Jul 14 02:40:00 2017\n"; an empty text when it cannot be converted.
size_t formatAscTime(char* dst, size_t cap, int64_t seconds);

}  // namespace vkt

#endif
