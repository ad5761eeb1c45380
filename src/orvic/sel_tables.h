// Constant event text tables and their lookup.
//
// The SEL decoder and the discrete sensor evaluation take their event and
// sensor-state texts from these tables. The texts are published unchanged,
// misspellings and odd spacing included, so they must not be "corrected".
//
// All data is constant and lives in read-only storage; nothing here allocates
// or keeps state, so every function may be called at any time.
#ifndef VKT_SEL_TABLES_H
#define VKT_SEL_TABLES_H

#include <stddef.h>

#include "vkt_types.h"

// One table row. `type` and `desc` are never null (an empty text is "").
struct ipmi_event_sensor_types {
    BYTE code;      // event/reading type (generic table) or sensor type
    BYTE offset;    // event offset, i.e. event data 1 bits 3:0 or a state bit
    BYTE data;      // event data 2 the row is restricted to; eventDataAny = any
    BYTE class_;    // 00h, 01h digital, 02h threshold, 03h OEM; informational
    const char* type;
    const char* desc;
};

constexpr BYTE eventDataAny = 0xFF;
// A row with this code closes every sensor-specific table; a walk stops there.
constexpr BYTE eventTableEndCode = 0xFF;

// Generic event/reading types 01h-0Ch. The last row is all zero, not an end row.
extern const ipmi_event_sensor_types generic_event_types[58];
// Sensor-specific tables, each closed by an end row (code FFh, empty texts).
extern const ipmi_event_sensor_types sensor_specific_types1[75];  // 00h-0Eh
extern const ipmi_event_sensor_types sensor_specific_types2[70];  // 0Fh
extern const ipmi_event_sensor_types sensor_specific_types3[86];  // 10h-1Fh
extern const ipmi_event_sensor_types sensor_specific_types4[90];  // 20h-2Ch
extern const ipmi_event_sensor_types sensor_specific_types5[75];  // F0h-F2h, OEM C0h-CCh
// BIOS memory reference codes: `code` is the major code (event data 1),
// `offset` the minor code (event data 2) with eventDataAny meaning any minor
// code. No end row; search it with findMrcRow.
extern const ipmi_event_sensor_types mrc_code_grantley[20];
// Sensor type names indexed by sensor type 00h-2Ch.
extern const char* const sensor_type_desc[45];

// A table and its row count, as handed out by sensorSpecificTable.
struct EventTable {
    const ipmi_event_sensor_types* rows;
    size_t count;
};

// Returns the first row, in table order, with the given code and offset whose
// `data` is eventDataAny or equals `data`. A negative `data` skips that test
// (state bits carry no event data 2). The walk reads at most `count` rows and
// gives up at the first end row, so it never runs past a table. nullptr when
// nothing matches or `rows` is null.
const ipmi_event_sensor_types* findEventRow(const ipmi_event_sensor_types* rows, size_t count,
                                            BYTE code, BYTE offset, int data);

template <size_t N>
inline const ipmi_event_sensor_types* findEventRow(const ipmi_event_sensor_types (&rows)[N],
                                                   BYTE code, BYTE offset, int data)
{
    return findEventRow(rows, N, code, offset, data);
}

// The sensor-specific table that holds the rows of a sensor type:
// 00h-0Eh table 1, 0Fh table 2, 10h-1Fh table 3, 20h-2Ch table 4,
// C0h-CCh and F0h-F2h table 5. Any other type has no rows anywhere and gets
// {nullptr, 0}; findEventRow on that simply finds nothing, which is the same
// outcome as walking table 5 to its end row.
EventTable sensorSpecificTable(BYTE sensorType);

// First memory reference code row whose major code equals `majorCode` and
// whose minor code is eventDataAny or equals `minorCode`; nullptr if none.
const ipmi_event_sensor_types* findMrcRow(BYTE majorCode, BYTE minorCode);

// Name of a sensor type from sensor_type_desc, or nullptr above 2Ch so the
// caller can pick its own label for OEM types.
const char* sensorTypeName(BYTE sensorType);

#endif
