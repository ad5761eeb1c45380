// Event text tables: sizes, row order, exact texts and the bounded lookups.
#include <gtest/gtest.h>

#include <iterator>

#include "sel_tables.h"

namespace {

using Row = ipmi_event_sensor_types;

struct Expected {
    size_t index;
    BYTE code;
    BYTE offset;
    BYTE data;
    BYTE class_;
    const char* type;
    const char* desc;
};

template <size_t N>
void expectRows(const Row (&table)[N], std::initializer_list<Expected> rows)
{
    for (const Expected& e : rows) {
        SCOPED_TRACE(testing::Message() << "row " << e.index);
        ASSERT_LT(e.index, N);
        const Row& r = table[e.index];
        EXPECT_EQ(r.code, e.code);
        EXPECT_EQ(r.offset, e.offset);
        EXPECT_EQ(r.data, e.data);
        EXPECT_EQ(r.class_, e.class_);
        EXPECT_STREQ(r.type, e.type);
        EXPECT_STREQ(r.desc, e.desc);
    }
}

const char* descOf(const Row* row)
{
    return row ? row->desc : "<no row>";
}

const char* findDesc(BYTE sensorType, BYTE offset, int data)
{
    EventTable t = sensorSpecificTable(sensorType);
    return descOf(findEventRow(t.rows, t.count, sensorType, offset, data));
}

const EventTable sensorTables[] = {
    {sensor_specific_types1, std::size(sensor_specific_types1)},
    {sensor_specific_types2, std::size(sensor_specific_types2)},
    {sensor_specific_types3, std::size(sensor_specific_types3)},
    {sensor_specific_types4, std::size(sensor_specific_types4)},
    {sensor_specific_types5, std::size(sensor_specific_types5)},
};

}  // namespace

TEST(SelTables, RowCounts)
{
    EXPECT_EQ(std::size(generic_event_types), 58u);
    EXPECT_EQ(std::size(sensor_specific_types1), 75u);
    EXPECT_EQ(std::size(sensor_specific_types2), 70u);
    EXPECT_EQ(std::size(sensor_specific_types3), 86u);
    EXPECT_EQ(std::size(sensor_specific_types4), 90u);
    EXPECT_EQ(std::size(sensor_specific_types5), 75u);
    EXPECT_EQ(std::size(mrc_code_grantley), 20u);
    EXPECT_EQ(std::size(sensor_type_desc), 45u);
}

TEST(SelTables, EndRowsAndRowShape)
{
    for (const EventTable& t : sensorTables) {
        const Row& end = t.rows[t.count - 1];
        EXPECT_EQ(end.code, 0xFF);
        EXPECT_EQ(end.offset, 0);
        EXPECT_EQ(end.data, 0);
        EXPECT_EQ(end.class_, 0);
        EXPECT_STREQ(end.type, "");
        EXPECT_STREQ(end.desc, "");
        for (size_t i = 0; i + 1 < t.count; ++i) {
            const Row& r = t.rows[i];
            SCOPED_TRACE(testing::Message() << "type " << int(r.code) << " row " << i);
            ASSERT_NE(r.code, 0xFF);
            ASSERT_NE(r.type, nullptr);
            ASSERT_NE(r.desc, nullptr);
            EXPECT_NE(r.type[0], '\0');
            // Each row sits in the table its sensor type is looked up in, and
            // its own key finds exactly it (no shadowing by an earlier row).
            EXPECT_EQ(sensorSpecificTable(r.code).rows, t.rows);
            EXPECT_EQ(findEventRow(t.rows, t.count, r.code, r.offset, r.data), &r);
        }
    }
    const Row& zero = generic_event_types[57];
    EXPECT_EQ(zero.code, 0);
    EXPECT_EQ(zero.offset, 0);
    EXPECT_EQ(zero.data, 0);
    EXPECT_EQ(zero.class_, 0);
    EXPECT_STREQ(zero.type, "");
    EXPECT_STREQ(zero.desc, "");
    for (const Row& r : mrc_code_grantley) {
        EXPECT_EQ(r.data, 0xFF);
        EXPECT_EQ(r.class_, 0x03);
        EXPECT_STREQ(r.type, "BIOS OEM");
    }
}

TEST(SelTables, GenericTexts)
{
    expectRows(generic_event_types, {
        {0, 0x01, 0x00, 0xFF, 0x02, "Threshold", "Lower Non-critical - going low"},
        {9, 0x01, 0x09, 0xFF, 0x02, "Threshold", "Upper Critical - going high"},
        {11, 0x01, 0x0B, 0xFF, 0x02, "Threshold", "Upper Non-recoverable - going high"},
        {20, 0x05, 0x01, 0xFF, 0x01, "Digital State", "Limit Exceeded"},
        {28, 0x07, 0x05, 0xFF, 0x00, "Severity State", "Transition to Critical from Non-recoverable"},
        {32, 0x08, 0x00, 0xFF, 0x01, "Availability State", "Device Removed / Device Absent"},
        {44, 0x0A, 0x08, 0xFF, 0x00, "Availability State", "Install Error"},
        {49, 0x0B, 0x04, 0xFF, 0x00, "Redundancy State", "Non-Redundant: Sufficient from Insufficient"},
        {56, 0x0C, 0x03, 0xFF, 0x00, "ACPI Device Power State", "D3 Power State"},
    });
}

TEST(SelTables, SensorSpecific1Texts)
{
    expectRows(sensor_specific_types1, {
        {0, 0x00, 0x00, 0xFF, 0x00, "Reserved", ""},
        {1, 0x01, 0x00, 0xFF, 0x00, "Temperature", ""},
        {11, 0x05, 0x06, 0xFF, 0x00, "Physical Security", "FAN area intrusion"},
        {16, 0x06, 0x04, 0xFF, 0x00, "Platform Security", "Other pre-boot password violation"},
        {24, 0x07, 0x06, 0xFF, 0x00, "Processor", "SM BIOS Uncorrectable CPU-complex Error"},
        {36, 0x08, 0x05, 0xFF, 0x00, "Power Supply", "AC out-of-range, but present"},
        {37, 0x08, 0x06, 0x00, 0x00, "Power Supply", "Config Error: Vendor Mismatch"},
        {39, 0x08, 0x06, 0x02, 0x00, "Power Supply", "Config Error: Processor Missing"},
        {40, 0x08, 0x06, 0x03, 0x00, "Power Supply", "Configuration error:Power Supply rating mismatch"},
        {41, 0x08, 0x06, 0x04, 0x00, "Power Supply", "Configuration error:Voltage rating mismatch"},
        {42, 0x08, 0x07, 0xFF, 0x00, "Power Supply", "Power Supply Inactive"},
        {47, 0x09, 0x04, 0xFF, 0x00, "Power Unit", "AC lost / Power input lost"},
        {52, 0x0B, 0x00, 0xFF, 0x00, "Other Units-based Sensor", ""},
        {63, 0x0C, 0x0A, 0xFF, 0x00, "Memory", "Critical Overtemperature"},
        {72, 0x0D, 0x08, 0xFF, 0x00, "Drive Slot", "Rebuild Aborted"},
        {73, 0x0E, 0x00, 0xFF, 0x00, "POST Memory Resize", ""},
    });
}

TEST(SelTables, SensorSpecific2Texts)
{
    expectRows(sensor_specific_types2, {
        {0, 0x0F, 0x00, 0x00, 0x00, "System Firmware Error", "Unspecified"},
        {7, 0x0F, 0x00, 0x07, 0x00, "System Firmware Error", "Unrecoverable PS/2 or USB keyboard failure"},
        {13, 0x0F, 0x00, 0x0D, 0x00, "System Firmware Error", "CPU speed mismatch failure"},
        {14, 0x0F, 0x00, 0xFF, 0x00, "System Firmware Error", "Unknown Error"},
        {15, 0x0F, 0x01, 0x00, 0x00, "System Firmware Hang", "Unspecified"},
        {18, 0x0F, 0x01, 0x03, 0x00, "System Firmware Hang", "Secondary CPU Initialization"},
        {36, 0x0F, 0x01, 0x15, 0x00, "System Firmware Hang", "reserved"},
        {41, 0x0F, 0x01, 0xFF, 0x00, "System Firmware Hang", "Unknown Hang"},
        {54, 0x0F, 0x02, 0x0C, 0x00, "System Firmware Progress", "Keyboard controller initialization"},
        {60, 0x0F, 0x02, 0x12, 0x00, "System Firmware Progress", "Calling operating system wake-up vector"},
        {67, 0x0F, 0x02, 0x19, 0x00, "System Firmware Progress", "Primary CPU initialization"},
        {68, 0x0F, 0x02, 0xFF, 0x00, "System Firmware Progress", "Unknown Progress"},
    });
}

TEST(SelTables, SensorSpecific3Texts)
{
    expectRows(sensor_specific_types3, {
        {0, 0x10, 0x00, 0xFF, 0x00, "Event Logging Disabled", "Correctable memory error logging disabled"},
        {6, 0x10, 0x06, 0xFF, 0x00, "Event Logging Disabled", "Correctable Machine Check Error Logging Disabled"},
        {12, 0x11, 0x05, 0xFF, 0x00, "Watchdog 1", "OS NMI/Diag Interrupt"},
        {25, 0x13, 0x04, 0xFF, 0x00, "Critical Interrupt", "PCI PERR"},
        {39, 0x16, 0x00, 0xFF, 0x00, "Microcontroller/Coprocessor", ""},
        {43, 0x19, 0x00, 0x01, 0x00, "Chip Set", "S1 (sleeping with system h/w & processor context)"},
        {46, 0x19, 0x00, 0x04, 0x00, "Chip Set", "S4 (non-volatile sleep / suspend-to disk)"},
        {48, 0x19, 0x00, 0x06, 0x00, "Chip Set", "S4 / S5 (soft-off particular S4 / S5 state cannot be determined)"},
        {50, 0x19, 0x00, 0x08, 0x00, "Chip Set", "Sleeping in an S1, S2, or S3 states"},
        {55, 0x19, 0x00, 0xFF, 0x00, "Chip Set", "Soft Power Control Failure"},
        {56, 0x19, 0x01, 0xFF, 0x00, "Chip Set", "Thermal Trip"},
        {59, 0x1B, 0x01, 0xFF, 0x00, "Cable/Interconnect", "Config Error"},
        {80, 0x1F, 0x06, 0xFF, 0x00, "OS Boot", "Boot completed - device not specified"},
        {84, 0x1F, 0x0A, 0xFF, 0x00, "OS Boot", "Base OS/Hypervisor Installation failed"},
    });
}

TEST(SelTables, SensorSpecific4Texts)
{
    expectRows(sensor_specific_types4, {
        {0, 0x20, 0x00, 0xFF, 0x00, "OS Stop/Shutdown", "Error during system startup"},
        {14, 0x21, 0x08, 0xFF, 0x00, "Slot/Connector", "Slot is Disabled"},
        {15, 0x21, 0x09, 0x00, 0x00, "Slot/Connector", "Spare Device: PCI"},
        {20, 0x21, 0x09, 0x05, 0x00, "Slot/Connector",
         "Spare Device: Slot associated with entity specified by Entity ID for sensor"},
        {26, 0x21, 0x09, 0x0B, 0x00, "Slot/Connector", "Spare Device: SATA / SAS"},
        {28, 0x22, 0x01, 0xFF, 0x00, "System ACPI Power State",
         "S1: sleeping with system hw & processor context maintained"},
        {40, 0x22, 0x0E, 0xFF, 0x00, "System ACPI Power State", "Unknown"},
        {45, 0x23, 0x04, 0xFF, 0x00, "Watchdog 2", "reserved"},
        {57, 0x26, 0x00, 0xFF, 0x00, "Monitor ASIC/IC", ""},
        {71, 0x2A, 0x02, 0xFF, 0x00, "Session Audit", "Invalid Username or Password"},
        {88, 0x2C, 0x07, 0xFF, 0x00, "FRU State", "Communication lost"},
    });
}

TEST(SelTables, SensorSpecific5Texts)
{
    expectRows(sensor_specific_types5, {
        {0, 0xF0, 0x00, 0xFF, 0x00, "FRU Hot Swap", "Transition to M0"},
        {11, 0xF1, 0x03, 0xFF, 0x00, "IPMB-0 Status", "IPMB-A enabled, IPMP-B enabled"},
        {14, 0xF2, 0x02, 0xFF, 0x00, "Module Hot Swap", "Quiesced"},
        {15, 0xC0, 0x00, 0x00, 0x03, "OEM", "Disk 0 S.M.A.R.T failure"},
        {23, 0xC0, 0x00, 0x08, 0x03, "OEM", "Disk 8 S.M.A.R.T failure"},
        {24, 0xC0, 0x02, 0xFF, 0x03, "CPU Temp", "CPU Overheat"},
        {25, 0xC0, 0x04, 0xFF, 0x03, "CPU Temp", "CPU Overheat"},
        {26, 0xC2, 0x00, 0x00, 0x03, "OEM", "MEM_EVENT_GH"},
        {34, 0xC2, 0x00, 0x08, 0x03, "OEM", "unknown event"},
        {54, 0xC2, 0x00, 0x1C, 0x03, "OEM", "CATERR"},
        {58, 0xC2, 0x00, 0x20, 0x03, "OEM", "unknown event"},
        {62, 0xC3, 0x03, 0xFF, 0x03, "OEM", "PCH Hot"},
        {67, 0xC7, 0x01, 0x03, 0x03, "OEM", "Front Zone"},
        {70, 0xCA, 0x01, 0x00, 0x03, "OOB Event", "OOB file build date mis-match"},
        {72, 0xCB, 0x00, 0x00, 0x03, "BIOS OEM", "QPI Error"},
        {73, 0xCC, 0x00, 0x00, 0x03, "BIOS OEM", "Memory Error"},
    });
}

TEST(SelTables, MemoryReferenceCodeTexts)
{
    expectRows(mrc_code_grantley, {
        {0, 0xE8, 0xFF, 0xFF, 0x03, "BIOS OEM", "No memory DIMM detected, install memory DIMMs"},
        {4, 0x07, 0x02, 0xFF, 0x03, "BIOS OEM", "Max number of ranks exceeded on the channel"},
        {6, 0x07, 0x06, 0xFF, 0x03, "BIOS OEM", "This DIMM does not support DDR4-1333 or higher"},
        {10, 0x0A, 0xFF, 0xFF, 0x03, "BIOS OEM", "(runtime) Failing DIMM: DIMM location"},
        {15, 0x16, 0xFF, 0xFF, 0x03, "BIOS OEM", "Memory training failure"},
        {19, 0x31, 0xFF, 0xFF, 0x03, "BIOS OEM",
         "Failing DIMM: DIMM location (Uncorrectable memory component found)"},
    });
}

TEST(SelTables, SensorTypeNames)
{
    EXPECT_STREQ(sensor_type_desc[0x00], "reserved");
    EXPECT_STREQ(sensor_type_desc[0x0B], "Other");
    EXPECT_STREQ(sensor_type_desc[0x0D], "Drive Slot / Bay");
    EXPECT_STREQ(sensor_type_desc[0x0F], "System Firmwares");
    EXPECT_STREQ(sensor_type_desc[0x11], "Watchdog");
    EXPECT_STREQ(sensor_type_desc[0x1B], "Cable / Interconnect");
    EXPECT_STREQ(sensor_type_desc[0x20], "OS Critical Stop");
    EXPECT_STREQ(sensor_type_desc[0x23], "Watchdog");
    EXPECT_STREQ(sensor_type_desc[0x2C], "FRU State");

    EXPECT_STREQ(sensorTypeName(0x00), "reserved");
    EXPECT_STREQ(sensorTypeName(0x2C), "FRU State");
    EXPECT_EQ(sensorTypeName(0x2D), nullptr);
    EXPECT_EQ(sensorTypeName(0xC0), nullptr);
    EXPECT_EQ(sensorTypeName(0xFF), nullptr);
}

TEST(SelTables, LookupByEventData2)
{
    // Restricted rows first, then the catch-all row of the same offset.
    EXPECT_STREQ(findDesc(0x08, 0x06, 0x02), "Config Error: Processor Missing");
    EXPECT_STREQ(findDesc(0x08, 0x06, 0x03), "Configuration error:Power Supply rating mismatch");
    EXPECT_STREQ(findDesc(0x08, 0x06, 0x05), "<no row>");
    EXPECT_STREQ(findDesc(0x0F, 0x01, 0x30), "Unknown Hang");
    EXPECT_STREQ(findDesc(0x0F, 0x01, 0x03), "Secondary CPU Initialization");
    EXPECT_STREQ(findDesc(0x0F, 0x02, 0xFE), "Unknown Progress");
    EXPECT_STREQ(findDesc(0xC2, 0x00, 0x08), "unknown event");
    EXPECT_STREQ(findDesc(0xC2, 0x00, 0x1C), "CATERR");
    EXPECT_STREQ(findDesc(0xC2, 0x00, 0x21), "<no row>");
    EXPECT_STREQ(findDesc(0x19, 0x00, 0x0D), "Soft Power Control Failure");
    EXPECT_STREQ(findDesc(0x19, 0x00, 0x07), "G3 / Mechanical Off");
    EXPECT_STREQ(findDesc(0x21, 0x09, 0x0B), "Spare Device: SATA / SAS");
    EXPECT_STREQ(findDesc(0x21, 0x09, 0x0C), "<no row>");
    // Two types share code C0h; the offset tells them apart.
    EXPECT_STREQ(findDesc(0xC0, 0x00, 0x03), "Disk 3 S.M.A.R.T failure");
    EXPECT_STREQ(findDesc(0xC0, 0x04, 0x00), "CPU Overheat");

    const Row* empty = findEventRow(sensor_specific_types1, 0x01, 0x00, 0x00);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty->desc, "");
}

TEST(SelTables, LookupWithoutEventData2)
{
    // State bits carry no event data 2: the first row of the offset wins.
    EXPECT_STREQ(findDesc(0x08, 0x06, -1), "Config Error: Vendor Mismatch");
    EXPECT_STREQ(findDesc(0x0F, 0x00, -1), "Unspecified");
    EXPECT_STREQ(findDesc(0x07, 0x07, -1), "Presence detected");
    EXPECT_STREQ(findDesc(0x05, 0x0F, -1), "<no row>");

    EXPECT_STREQ(descOf(findEventRow(generic_event_types, 0x01, 0x09, -1)), "Upper Critical - going high");
    EXPECT_STREQ(descOf(findEventRow(generic_event_types, 0x05, 0x01, 0x42)), "Limit Exceeded");
    EXPECT_STREQ(descOf(findEventRow(generic_event_types, 0x09, 0x01, -1)), "Device Enabled");
    EXPECT_EQ(findEventRow(generic_event_types, 0x0D, 0x00, -1), nullptr);
    EXPECT_EQ(findEventRow(generic_event_types, 0x6F, 0x00, -1), nullptr);
}

TEST(SelTables, LookupIsBounded)
{
    const Row rows[] = {
        {0x05, 0x00, 0xFF, 0x00, "T", "before"},
        {0x05, 0x00, 0xFF, 0x00, "T", "shadowed"},
        {0xFF, 0x00, 0x00, 0x00, "", ""},
        {0x06, 0x00, 0xFF, 0x00, "T", "after end"},
    };
    EXPECT_STREQ(descOf(findEventRow(rows, 0x05, 0x00, -1)), "before");
    EXPECT_EQ(findEventRow(rows, 0x06, 0x00, -1), nullptr);
    // The end row itself is never a match.
    EXPECT_EQ(findEventRow(rows, 0xFF, 0x00, 0x00), nullptr);
    EXPECT_EQ(findEventRow(rows, 0, 0x05, 0x00, -1), nullptr);
    EXPECT_EQ(findEventRow(rows + 1, 1, 0x06, 0x00, -1), nullptr);
    EXPECT_EQ(findEventRow(nullptr, 10, 0x05, 0x00, -1), nullptr);
    EXPECT_EQ(findEventRow(sensor_specific_types5, 0xFF, 0x00, 0x00), nullptr);
}

TEST(SelTables, TableForSensorType)
{
    struct Case {
        BYTE type;
        const Row* rows;
    };
    const Case cases[] = {
        {0x00, sensor_specific_types1}, {0x0E, sensor_specific_types1},
        {0x0F, sensor_specific_types2}, {0x10, sensor_specific_types3},
        {0x1F, sensor_specific_types3}, {0x20, sensor_specific_types4},
        {0x2C, sensor_specific_types4}, {0x2D, nullptr},
        {0xBF, nullptr},                {0xC0, sensor_specific_types5},
        {0xC6, sensor_specific_types5}, {0xCC, sensor_specific_types5},
        {0xCD, nullptr},                {0xEF, nullptr},
        {0xF0, sensor_specific_types5}, {0xF2, sensor_specific_types5},
        {0xF3, nullptr},                {0xFF, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sensor type " << int(c.type));
        EventTable t = sensorSpecificTable(c.type);
        EXPECT_EQ(t.rows, c.rows);
        size_t expectedCount = 0;
        for (const EventTable& known : sensorTables) {
            if (known.rows == c.rows)
                expectedCount = known.count;
        }
        EXPECT_EQ(t.count, expectedCount);
    }
    // Types without rows find nothing, whether or not a table is chosen.
    EXPECT_STREQ(findDesc(0xC6, 0x00, 0x00), "<no row>");
    EXPECT_STREQ(findDesc(0x2D, 0x00, -1), "<no row>");
}

TEST(SelTables, MemoryReferenceCodeLookup)
{
    EXPECT_STREQ(descOf(findMrcRow(0xE8, 0x00)), "No memory DIMM detected, install memory DIMMs");
    EXPECT_STREQ(descOf(findMrcRow(0xE8, 0xFF)), "No memory DIMM detected, install memory DIMMs");
    EXPECT_STREQ(descOf(findMrcRow(0x07, 0x06)), "This DIMM does not support DDR4-1333 or higher");
    EXPECT_STREQ(descOf(findMrcRow(0x07, 0x0A)), "DDR4 voltage is not supported");
    EXPECT_STREQ(descOf(findMrcRow(0x0C, 0x02)), "Channel DIMM configuration does not support Mirror mode");
    EXPECT_STREQ(descOf(findMrcRow(0x15, 0x7E)), "Memory training failure");
    EXPECT_EQ(findMrcRow(0x07, 0x03), nullptr);
    EXPECT_EQ(findMrcRow(0x09, 0x00), nullptr);
    EXPECT_EQ(findMrcRow(0x33, 0x00), nullptr);
    EXPECT_EQ(findMrcRow(0xFF, 0xFF), nullptr);
}
