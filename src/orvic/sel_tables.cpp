// Event text tables. Row order matters: lookups take the first match, so a
// row restricted to one event data 2 value must come before the catch-all row
// of the same offset. Texts are kept exactly as published, typos included.
#include "sel_tables.h"

#include <iterator>

namespace {

constexpr BYTE anyData = eventDataAny;
constexpr BYTE anyMinor = eventDataAny;

}  // namespace

constexpr ipmi_event_sensor_types generic_event_types[58] = {
    {0x01, 0x00, anyData, 0x02, "Threshold", "Lower Non-critical - going low"},
    {0x01, 0x01, anyData, 0x02, "Threshold", "Lower Non-critical - going high"},
    {0x01, 0x02, anyData, 0x02, "Threshold", "Lower Critical - going low"},
    {0x01, 0x03, anyData, 0x02, "Threshold", "Lower Critical - going high"},
    {0x01, 0x04, anyData, 0x02, "Threshold", "Lower Non-recoverable - going low"},
    {0x01, 0x05, anyData, 0x02, "Threshold", "Lower Non-recoverable - going high"},
    {0x01, 0x06, anyData, 0x02, "Threshold", "Upper Non-critical - going low"},
    {0x01, 0x07, anyData, 0x02, "Threshold", "Upper Non-critical - going high"},
    {0x01, 0x08, anyData, 0x02, "Threshold", "Upper Critical - going low"},
    {0x01, 0x09, anyData, 0x02, "Threshold", "Upper Critical - going high"},
    {0x01, 0x0A, anyData, 0x02, "Threshold", "Upper Non-recoverable - going low"},
    {0x01, 0x0B, anyData, 0x02, "Threshold", "Upper Non-recoverable - going high"},
    {0x02, 0x00, anyData, 0x00, "Usage State", "Transition to Idle"},
    {0x02, 0x01, anyData, 0x00, "Usage State", "Transition to Active"},
    {0x02, 0x02, anyData, 0x00, "Usage State", "Transition to Busy"},
    {0x03, 0x00, anyData, 0x01, "Digital State", "State Deasserted"},
    {0x03, 0x01, anyData, 0x01, "Digital State", "State Asserted"},
    {0x04, 0x00, anyData, 0x01, "Digital State", "Predictive Failure Deasserted"},
    {0x04, 0x01, anyData, 0x01, "Digital State", "Predictive Failure Asserted"},
    {0x05, 0x00, anyData, 0x01, "Digital State", "Limit Not Exceeded"},
    {0x05, 0x01, anyData, 0x01, "Digital State", "Limit Exceeded"},
    {0x06, 0x00, anyData, 0x01, "Digital State", "Performance Met"},
    {0x06, 0x01, anyData, 0x01, "Digital State", "Performance Lags"},
    {0x07, 0x00, anyData, 0x00, "Severity State", "Transition to OK"},
    {0x07, 0x01, anyData, 0x00, "Severity State", "Transition to Non-Critical from OK"},
    {0x07, 0x02, anyData, 0x00, "Severity State", "Transition to Critical from less severe"},
    {0x07, 0x03, anyData, 0x00, "Severity State", "Transition to Non-recoverable from less severe"},
    {0x07, 0x04, anyData, 0x00, "Severity State", "Transition to Non-Critical from more severe"},
    {0x07, 0x05, anyData, 0x00, "Severity State", "Transition to Critical from Non-recoverable"},
    {0x07, 0x06, anyData, 0x00, "Severity State", "Transition to Non-recoverable"},
    {0x07, 0x07, anyData, 0x00, "Severity State", "Monitor"},
    {0x07, 0x08, anyData, 0x00, "Severity State", "Informational"},
    {0x08, 0x00, anyData, 0x01, "Availability State", "Device Removed / Device Absent"},
    {0x08, 0x01, anyData, 0x01, "Availability State", "Device Inserted / Device Present"},
    {0x09, 0x00, anyData, 0x01, "Availability State", "Device Disabled"},
    {0x09, 0x01, anyData, 0x01, "Availability State", "Device Enabled"},
    {0x0A, 0x00, anyData, 0x00, "Availability State", "Transition to Running"},
    {0x0A, 0x01, anyData, 0x00, "Availability State", "Transition to In Test"},
    {0x0A, 0x02, anyData, 0x00, "Availability State", "Transition to Power Off"},
    {0x0A, 0x03, anyData, 0x00, "Availability State", "Transition to On Line"},
    {0x0A, 0x04, anyData, 0x00, "Availability State", "Transition to Off Line"},
    {0x0A, 0x05, anyData, 0x00, "Availability State", "Transition to Off Duty"},
    {0x0A, 0x06, anyData, 0x00, "Availability State", "Transition to Degraded"},
    {0x0A, 0x07, anyData, 0x00, "Availability State", "Transition to Power Save"},
    {0x0A, 0x08, anyData, 0x00, "Availability State", "Install Error"},
    {0x0B, 0x00, anyData, 0x00, "Redundancy State", "Redundancy Regained"},
    {0x0B, 0x01, anyData, 0x00, "Redundancy State", "Redundancy Lost"},
    {0x0B, 0x02, anyData, 0x00, "Redundancy State", "Redundancy Degraded"},
    {0x0B, 0x03, anyData, 0x00, "Redundancy State", "Non-Redundant: Sufficient from Redundant"},
    {0x0B, 0x04, anyData, 0x00, "Redundancy State", "Non-Redundant: Sufficient from Insufficient"},
    {0x0B, 0x05, anyData, 0x00, "Redundancy State", "Non-Redundant: Insufficient Resources"},
    {0x0B, 0x06, anyData, 0x00, "Redundancy State", "Redundancy Degraded from Fully Redundant"},
    {0x0B, 0x07, anyData, 0x00, "Redundancy State", "Redundancy Degraded from Non-Redundant"},
    {0x0C, 0x00, anyData, 0x00, "ACPI Device Power State", "D0 Power State"},
    {0x0C, 0x01, anyData, 0x00, "ACPI Device Power State", "D1 Power State"},
    {0x0C, 0x02, anyData, 0x00, "ACPI Device Power State", "D2 Power State"},
    {0x0C, 0x03, anyData, 0x00, "ACPI Device Power State", "D3 Power State"},
    {0x00, 0x00, 0x00, 0x00, "", ""},
};

constexpr ipmi_event_sensor_types sensor_specific_types1[75] = {
    {0x00, 0x00, anyData, 0x00, "Reserved", ""},
    {0x01, 0x00, anyData, 0x00, "Temperature", ""},
    {0x02, 0x00, anyData, 0x00, "Voltage", ""},
    {0x03, 0x00, anyData, 0x00, "Current", ""},
    {0x04, 0x00, anyData, 0x00, "Fan", ""},
    {0x05, 0x00, anyData, 0x00, "Physical Security", "General Chassis intrusion"},
    {0x05, 0x01, anyData, 0x00, "Physical Security", "Drive Bay intrusion"},
    {0x05, 0x02, anyData, 0x00, "Physical Security", "I/O Card area intrusion"},
    {0x05, 0x03, anyData, 0x00, "Physical Security", "Processor area intrusion"},
    {0x05, 0x04, anyData, 0x00, "Physical Security", "System unplugged from LAN"},
    {0x05, 0x05, anyData, 0x00, "Physical Security", "Unauthorized dock"},
    {0x05, 0x06, anyData, 0x00, "Physical Security", "FAN area intrusion"},
    {0x06, 0x00, anyData, 0x00, "Platform Security", "Front Panel Lockout violation attempted"},
    {0x06, 0x01, anyData, 0x00, "Platform Security", "Pre-boot password violation - user password"},
    {0x06, 0x02, anyData, 0x00, "Platform Security", "Pre-boot password violation - setup password"},
    {0x06, 0x03, anyData, 0x00, "Platform Security", "Pre-boot password violation - network boot password"},
    {0x06, 0x04, anyData, 0x00, "Platform Security", "Other pre-boot password violation"},
    {0x06, 0x05, anyData, 0x00, "Platform Security", "Out-of-band access password violation"},
    {0x07, 0x00, anyData, 0x00, "Processor", "IERR"},
    {0x07, 0x01, anyData, 0x00, "Processor", "Thermal Trip"},
    {0x07, 0x02, anyData, 0x00, "Processor", "FRB1/BIST failure"},
    {0x07, 0x03, anyData, 0x00, "Processor", "FRB2/Hang in POST failure"},
    {0x07, 0x04, anyData, 0x00, "Processor", "FRB3/Processor startup/init failure"},
    {0x07, 0x05, anyData, 0x00, "Processor", "Configuration Error"},
    {0x07, 0x06, anyData, 0x00, "Processor", "SM BIOS Uncorrectable CPU-complex Error"},
    {0x07, 0x07, anyData, 0x00, "Processor", "Presence detected"},
    {0x07, 0x08, anyData, 0x00, "Processor", "Disabled"},
    {0x07, 0x09, anyData, 0x00, "Processor", "Terminator presence detected"},
    {0x07, 0x0A, anyData, 0x00, "Processor", "Throttled"},
    {0x07, 0x0B, anyData, 0x00, "Processor", "Machine Check Exception"},
    {0x07, 0x0C, anyData, 0x00, "Processor", "Correctable Machine Check Error"},
    {0x08, 0x00, anyData, 0x00, "Power Supply", "Presence detected"},
    {0x08, 0x01, anyData, 0x00, "Power Supply", "Failure detected"},
    {0x08, 0x02, anyData, 0x00, "Power Supply", "Predictive failure"},
    {0x08, 0x03, anyData, 0x00, "Power Supply", "Power Supply AC lost"},
    {0x08, 0x04, anyData, 0x00, "Power Supply", "AC lost or out-of-range"},
    {0x08, 0x05, anyData, 0x00, "Power Supply", "AC out-of-range, but present"},
    {0x08, 0x06, 0x00, 0x00, "Power Supply", "Config Error: Vendor Mismatch"},
    {0x08, 0x06, 0x01, 0x00, "Power Supply", "Config Error: Revision Mismatch"},
    {0x08, 0x06, 0x02, 0x00, "Power Supply", "Config Error: Processor Missing"},
    {0x08, 0x06, 0x03, 0x00, "Power Supply", "Configuration error:Power Supply rating mismatch"},
    {0x08, 0x06, 0x04, 0x00, "Power Supply", "Configuration error:Voltage rating mismatch"},
    {0x08, 0x07, anyData, 0x00, "Power Supply", "Power Supply Inactive"},
    {0x09, 0x00, anyData, 0x00, "Power Unit", "Power off/down"},
    {0x09, 0x01, anyData, 0x00, "Power Unit", "Power cycle"},
    {0x09, 0x02, anyData, 0x00, "Power Unit", "240VA power down"},
    {0x09, 0x03, anyData, 0x00, "Power Unit", "Interlock power down"},
    {0x09, 0x04, anyData, 0x00, "Power Unit", "AC lost / Power input lost"},
    {0x09, 0x05, anyData, 0x00, "Power Unit", "Soft-power control failure"},
    {0x09, 0x06, anyData, 0x00, "Power Unit", "Failure detected"},
    {0x09, 0x07, anyData, 0x00, "Power Unit", "Predictive failure"},
    {0x0A, 0x00, anyData, 0x00, "Cooling Device", ""},
    {0x0B, 0x00, anyData, 0x00, "Other Units-based Sensor", ""},
    {0x0C, 0x00, anyData, 0x00, "Memory", "Correctable ECC"},
    {0x0C, 0x01, anyData, 0x00, "Memory", "Uncorrectable ECC"},
    {0x0C, 0x02, anyData, 0x00, "Memory", "Parity"},
    {0x0C, 0x03, anyData, 0x00, "Memory", "Memory Scrub Failed"},
    {0x0C, 0x04, anyData, 0x00, "Memory", "Memory Device Disabled"},
    {0x0C, 0x05, anyData, 0x00, "Memory", "Correctable ECC logging limit reached"},
    {0x0C, 0x06, anyData, 0x00, "Memory", "Presence Detected"},
    {0x0C, 0x07, anyData, 0x00, "Memory", "Configuration Error"},
    {0x0C, 0x08, anyData, 0x00, "Memory", "Spare"},
    {0x0C, 0x09, anyData, 0x00, "Memory", "Memory Automatically Throttled"},
    {0x0C, 0x0A, anyData, 0x00, "Memory", "Critical Overtemperature"},
    {0x0D, 0x00, anyData, 0x00, "Drive Slot", "Drive Present"},
    {0x0D, 0x01, anyData, 0x00, "Drive Slot", "Drive Fault"},
    {0x0D, 0x02, anyData, 0x00, "Drive Slot", "Predictive Failure"},
    {0x0D, 0x03, anyData, 0x00, "Drive Slot", "Hot Spare"},
    {0x0D, 0x04, anyData, 0x00, "Drive Slot", "Parity Check In Progress"},
    {0x0D, 0x05, anyData, 0x00, "Drive Slot", "In Critical Array"},
    {0x0D, 0x06, anyData, 0x00, "Drive Slot", "In Failed Array"},
    {0x0D, 0x07, anyData, 0x00, "Drive Slot", "Rebuild In Progress"},
    {0x0D, 0x08, anyData, 0x00, "Drive Slot", "Rebuild Aborted"},
    {0x0E, 0x00, anyData, 0x00, "POST Memory Resize", ""},
    {eventTableEndCode, 0x00, 0x00, 0x00, "", ""},
};

constexpr ipmi_event_sensor_types sensor_specific_types2[70] = {
    {0x0F, 0x00, 0x00, 0x00, "System Firmware Error", "Unspecified"},
    {0x0F, 0x00, 0x01, 0x00, "System Firmware Error", "No system memory installed"},
    {0x0F, 0x00, 0x02, 0x00, "System Firmware Error", "No usable system memory"},
    {0x0F, 0x00, 0x03, 0x00, "System Firmware Error", "Unrecoverable IDE device failure"},
    {0x0F, 0x00, 0x04, 0x00, "System Firmware Error", "Unrecoverable system-board failure"},
    {0x0F, 0x00, 0x05, 0x00, "System Firmware Error", "Unrecoverable diskette failure"},
    {0x0F, 0x00, 0x06, 0x00, "System Firmware Error", "Unrecoverable hard-disk controller failure"},
    {0x0F, 0x00, 0x07, 0x00, "System Firmware Error", "Unrecoverable PS/2 or USB keyboard failure"},
    {0x0F, 0x00, 0x08, 0x00, "System Firmware Error", "Removable boot media not found"},
    {0x0F, 0x00, 0x09, 0x00, "System Firmware Error", "Unrecoverable video controller failure"},
    {0x0F, 0x00, 0x0A, 0x00, "System Firmware Error", "No video device selected"},
    {0x0F, 0x00, 0x0B, 0x00, "System Firmware Error", "BIOS corruption detected"},
    {0x0F, 0x00, 0x0C, 0x00, "System Firmware Error", "CPU voltage mismatch"},
    {0x0F, 0x00, 0x0D, 0x00, "System Firmware Error", "CPU speed mismatch failure"},
    {0x0F, 0x00, anyData, 0x00, "System Firmware Error", "Unknown Error"},
    {0x0F, 0x01, 0x00, 0x00, "System Firmware Hang", "Unspecified"},
    {0x0F, 0x01, 0x01, 0x00, "System Firmware Hang", "Memory initialization"},
    {0x0F, 0x01, 0x02, 0x00, "System Firmware Hang", "Hard-disk initialization"},
    {0x0F, 0x01, 0x03, 0x00, "System Firmware Hang", "Secondary CPU Initialization"},
    {0x0F, 0x01, 0x04, 0x00, "System Firmware Hang", "User authentication"},
    {0x0F, 0x01, 0x05, 0x00, "System Firmware Hang", "User-initiated system setup"},
    {0x0F, 0x01, 0x06, 0x00, "System Firmware Hang", "USB resource configuration"},
    {0x0F, 0x01, 0x07, 0x00, "System Firmware Hang", "PCI resource configuration"},
    {0x0F, 0x01, 0x08, 0x00, "System Firmware Hang", "Option ROM initialization"},
    {0x0F, 0x01, 0x09, 0x00, "System Firmware Hang", "Video initialization"},
    {0x0F, 0x01, 0x0A, 0x00, "System Firmware Hang", "Cache initialization"},
    {0x0F, 0x01, 0x0B, 0x00, "System Firmware Hang", "SMBus initialization"},
    {0x0F, 0x01, 0x0C, 0x00, "System Firmware Hang", "Keyboard controller initialization"},
    {0x0F, 0x01, 0x0D, 0x00, "System Firmware Hang", "Management controller initialization"},
    {0x0F, 0x01, 0x0E, 0x00, "System Firmware Hang", "Docking station attachment"},
    {0x0F, 0x01, 0x0F, 0x00, "System Firmware Hang", "Enabling docking station"},
    {0x0F, 0x01, 0x10, 0x00, "System Firmware Hang", "Docking station ejection"},
    {0x0F, 0x01, 0x11, 0x00, "System Firmware Hang", "Disabling docking station"},
    {0x0F, 0x01, 0x12, 0x00, "System Firmware Hang", "Calling operating system wake-up vector"},
    {0x0F, 0x01, 0x13, 0x00, "System Firmware Hang", "System boot initiated"},
    {0x0F, 0x01, 0x14, 0x00, "System Firmware Hang", "Motherboard initialization"},
    {0x0F, 0x01, 0x15, 0x00, "System Firmware Hang", "reserved"},
    {0x0F, 0x01, 0x16, 0x00, "System Firmware Hang", "Floppy initialization"},
    {0x0F, 0x01, 0x17, 0x00, "System Firmware Hang", "Keyboard test"},
    {0x0F, 0x01, 0x18, 0x00, "System Firmware Hang", "Pointing device test"},
    {0x0F, 0x01, 0x19, 0x00, "System Firmware Hang", "Primary CPU initialization"},
    {0x0F, 0x01, anyData, 0x00, "System Firmware Hang", "Unknown Hang"},
    {0x0F, 0x02, 0x00, 0x00, "System Firmware Progress", "Unspecified"},
    {0x0F, 0x02, 0x01, 0x00, "System Firmware Progress", "Memory initialization"},
    {0x0F, 0x02, 0x02, 0x00, "System Firmware Progress", "Hard-disk initialization"},
    {0x0F, 0x02, 0x03, 0x00, "System Firmware Progress", "Secondary CPU Initialization"},
    {0x0F, 0x02, 0x04, 0x00, "System Firmware Progress", "User authentication"},
    {0x0F, 0x02, 0x05, 0x00, "System Firmware Progress", "User-initiated system setup"},
    {0x0F, 0x02, 0x06, 0x00, "System Firmware Progress", "USB resource configuration"},
    {0x0F, 0x02, 0x07, 0x00, "System Firmware Progress", "PCI resource configuration"},
    {0x0F, 0x02, 0x08, 0x00, "System Firmware Progress", "Option ROM initialization"},
    {0x0F, 0x02, 0x09, 0x00, "System Firmware Progress", "Video initialization"},
    {0x0F, 0x02, 0x0A, 0x00, "System Firmware Progress", "Cache initialization"},
    {0x0F, 0x02, 0x0B, 0x00, "System Firmware Progress", "SMBus initialization"},
    {0x0F, 0x02, 0x0C, 0x00, "System Firmware Progress", "Keyboard controller initialization"},
    {0x0F, 0x02, 0x0D, 0x00, "System Firmware Progress", "Management controller initialization"},
    {0x0F, 0x02, 0x0E, 0x00, "System Firmware Progress", "Docking station attachment"},
    {0x0F, 0x02, 0x0F, 0x00, "System Firmware Progress", "Enabling docking station"},
    {0x0F, 0x02, 0x10, 0x00, "System Firmware Progress", "Docking station ejection"},
    {0x0F, 0x02, 0x11, 0x00, "System Firmware Progress", "Disabling docking station"},
    {0x0F, 0x02, 0x12, 0x00, "System Firmware Progress", "Calling operating system wake-up vector"},
    {0x0F, 0x02, 0x13, 0x00, "System Firmware Progress", "System boot initiated"},
    {0x0F, 0x02, 0x14, 0x00, "System Firmware Progress", "Motherboard initialization"},
    {0x0F, 0x02, 0x15, 0x00, "System Firmware Progress", "reserved"},
    {0x0F, 0x02, 0x16, 0x00, "System Firmware Progress", "Floppy initialization"},
    {0x0F, 0x02, 0x17, 0x00, "System Firmware Progress", "Keyboard test"},
    {0x0F, 0x02, 0x18, 0x00, "System Firmware Progress", "Pointing device test"},
    {0x0F, 0x02, 0x19, 0x00, "System Firmware Progress", "Primary CPU initialization"},
    {0x0F, 0x02, anyData, 0x00, "System Firmware Progress", "Unknown Progress"},
    {eventTableEndCode, 0x00, 0x00, 0x00, "", ""},
};

constexpr ipmi_event_sensor_types sensor_specific_types3[86] = {
    {0x10, 0x00, anyData, 0x00, "Event Logging Disabled", "Correctable memory error logging disabled"},
    {0x10, 0x01, anyData, 0x00, "Event Logging Disabled", "Event logging disabled"},
    {0x10, 0x02, anyData, 0x00, "Event Logging Disabled", "Log area reset/cleared"},
    {0x10, 0x03, anyData, 0x00, "Event Logging Disabled", "All event logging disabled"},
    {0x10, 0x04, anyData, 0x00, "Event Logging Disabled", "Log full"},
    {0x10, 0x05, anyData, 0x00, "Event Logging Disabled", "Log almost full"},
    {0x10, 0x06, anyData, 0x00, "Event Logging Disabled", "Correctable Machine Check Error Logging Disabled"},
    {0x11, 0x00, anyData, 0x00, "Watchdog 1", "BIOS Reset"},
    {0x11, 0x01, anyData, 0x00, "Watchdog 1", "OS Reset"},
    {0x11, 0x02, anyData, 0x00, "Watchdog 1", "OS Shut Down"},
    {0x11, 0x03, anyData, 0x00, "Watchdog 1", "OS Power Down"},
    {0x11, 0x04, anyData, 0x00, "Watchdog 1", "OS Power Cycle"},
    {0x11, 0x05, anyData, 0x00, "Watchdog 1", "OS NMI/Diag Interrupt"},
    {0x11, 0x06, anyData, 0x00, "Watchdog 1", "OS Expired"},
    {0x11, 0x07, anyData, 0x00, "Watchdog 1", "OS pre-timeout Interrupt"},
    {0x12, 0x00, anyData, 0x00, "System Event", "System Reconfigured"},
    {0x12, 0x01, anyData, 0x00, "System Event", "OEM System boot event"},
    {0x12, 0x02, anyData, 0x00, "System Event", "Undetermined system hardware failure"},
    {0x12, 0x03, anyData, 0x00, "System Event", "Entry added to auxiliary log"},
    {0x12, 0x04, anyData, 0x00, "System Event", "PEF Action"},
    {0x12, 0x05, anyData, 0x00, "System Event", "Timestamp Clock Sync"},
    {0x13, 0x00, anyData, 0x00, "Critical Interrupt", "NMI/Diag Interrupt"},
    {0x13, 0x01, anyData, 0x00, "Critical Interrupt", "Bus Timeout"},
    {0x13, 0x02, anyData, 0x00, "Critical Interrupt", "I/O Channel check NMI"},
    {0x13, 0x03, anyData, 0x00, "Critical Interrupt", "Software NMI"},
    {0x13, 0x04, anyData, 0x00, "Critical Interrupt", "PCI PERR"},
    {0x13, 0x05, anyData, 0x00, "Critical Interrupt", "PCI SERR"},
    {0x13, 0x06, anyData, 0x00, "Critical Interrupt", "EISA failsafe timeout"},
    {0x13, 0x07, anyData, 0x00, "Critical Interrupt", "Bus Correctable error"},
    {0x13, 0x08, anyData, 0x00, "Critical Interrupt", "Bus Uncorrectable error"},
    {0x13, 0x09, anyData, 0x00, "Critical Interrupt", "Fatal NMI"},
    {0x13, 0x0A, anyData, 0x00, "Critical Interrupt", "Bus Fatal Error"},
    {0x13, 0x0B, anyData, 0x00, "Critical Interrupt", "Bus Degraded"},
    {0x14, 0x00, anyData, 0x00, "Button", "Power Button pressed"},
    {0x14, 0x01, anyData, 0x00, "Button", "Sleep Button pressed"},
    {0x14, 0x02, anyData, 0x00, "Button", "Reset Button pressed"},
    {0x14, 0x03, anyData, 0x00, "Button", "FRU Latch"},
    {0x14, 0x04, anyData, 0x00, "Button", "FRU Service"},
    {0x15, 0x00, anyData, 0x00, "Module/Board", ""},
    {0x16, 0x00, anyData, 0x00, "Microcontroller/Coprocessor", ""},
    {0x17, 0x00, anyData, 0x00, "Add-in Card", ""},
    {0x18, 0x00, anyData, 0x00, "Chassis", ""},
    {0x19, 0x00, 0x00, 0x00, "Chip Set", "S0 / G0 (working)"},
    {0x19, 0x00, 0x01, 0x00, "Chip Set", "S1 (sleeping with system h/w & processor context)"},
    {0x19, 0x00, 0x02, 0x00, "Chip Set", "S2 (sleeping, processor context lost)"},
    {0x19, 0x00, 0x03, 0x00, "Chip Set", "S3 (sleeping, processor & h/w context lost, memory retained)"},
    {0x19, 0x00, 0x04, 0x00, "Chip Set", "S4 (non-volatile sleep / suspend-to disk)"},
    {0x19, 0x00, 0x05, 0x00, "Chip Set", "S5 / G2 (soft-off)"},
    {0x19, 0x00, 0x06, 0x00, "Chip Set", "S4 / S5 (soft-off particular S4 / S5 state cannot be determined)"},
    {0x19, 0x00, 0x07, 0x00, "Chip Set", "G3 / Mechanical Off"},
    {0x19, 0x00, 0x08, 0x00, "Chip Set", "Sleeping in an S1, S2, or S3 states"},
    {0x19, 0x00, 0x09, 0x00, "Chip Set", "G1 sleeping"},
    {0x19, 0x00, 0x0A, 0x00, "Chip Set", "S5 entered by override"},
    {0x19, 0x00, 0x0B, 0x00, "Chip Set", "Legacy ON state"},
    {0x19, 0x00, 0x0C, 0x00, "Chip Set", "Legacy OFF state"},
    {0x19, 0x00, anyData, 0x00, "Chip Set", "Soft Power Control Failure"},
    {0x19, 0x01, anyData, 0x00, "Chip Set", "Thermal Trip"},
    {0x1A, 0x00, anyData, 0x00, "Other FRU", ""},
    {0x1B, 0x00, anyData, 0x00, "Cable/Interconnect", "Connected"},
    {0x1B, 0x01, anyData, 0x00, "Cable/Interconnect", "Config Error"},
    {0x1C, 0x00, anyData, 0x00, "Terminator", ""},
    {0x1D, 0x00, anyData, 0x00, "System Boot Initiated", "Initiated by power up"},
    {0x1D, 0x01, anyData, 0x00, "System Boot Initiated", "Initiated by hard reset"},
    {0x1D, 0x02, anyData, 0x00, "System Boot Initiated", "Initiated by warm reset"},
    {0x1D, 0x03, anyData, 0x00, "System Boot Initiated", "User requested PXE boot"},
    {0x1D, 0x04, anyData, 0x00, "System Boot Initiated", "Automatic boot to diagnostic"},
    {0x1D, 0x05, anyData, 0x00, "System Boot Initiated", "OS initiated hard reset"},
    {0x1D, 0x06, anyData, 0x00, "System Boot Initiated", "OS initiated warm reset"},
    {0x1D, 0x07, anyData, 0x00, "System Boot Initiated", "System Restart"},
    {0x1E, 0x00, anyData, 0x00, "Boot Error", "No bootable media"},
    {0x1E, 0x01, anyData, 0x00, "Boot Error", "Non-bootable disk in drive"},
    {0x1E, 0x02, anyData, 0x00, "Boot Error", "PXE server not found"},
    {0x1E, 0x03, anyData, 0x00, "Boot Error", "Invalid boot sector"},
    {0x1E, 0x04, anyData, 0x00, "Boot Error", "Timeout waiting for selection"},
    {0x1F, 0x00, anyData, 0x00, "OS Boot", "A: boot completed"},
    {0x1F, 0x01, anyData, 0x00, "OS Boot", "C: boot completed"},
    {0x1F, 0x02, anyData, 0x00, "OS Boot", "PXE boot completed"},
    {0x1F, 0x03, anyData, 0x00, "OS Boot", "Diagnostic boot completed"},
    {0x1F, 0x04, anyData, 0x00, "OS Boot", "CD-ROM boot completed"},
    {0x1F, 0x05, anyData, 0x00, "OS Boot", "ROM boot completed"},
    {0x1F, 0x06, anyData, 0x00, "OS Boot", "Boot completed - device not specified"},
    {0x1F, 0x07, anyData, 0x00, "OS Boot", "Base OS/Hypervisor Installation started"},
    {0x1F, 0x08, anyData, 0x00, "OS Boot", "Base OS/Hypervisor Installation completed"},
    {0x1F, 0x09, anyData, 0x00, "OS Boot", "Base OS/Hypervisor Installation aborted"},
    {0x1F, 0x0A, anyData, 0x00, "OS Boot", "Base OS/Hypervisor Installation failed"},
    {eventTableEndCode, 0x00, 0x00, 0x00, "", ""},
};

constexpr ipmi_event_sensor_types sensor_specific_types4[90] = {
    {0x20, 0x00, anyData, 0x00, "OS Stop/Shutdown", "Error during system startup"},
    {0x20, 0x01, anyData, 0x00, "OS Stop/Shutdown", "Run-time critical stop"},
    {0x20, 0x02, anyData, 0x00, "OS Stop/Shutdown", "OS graceful stop"},
    {0x20, 0x03, anyData, 0x00, "OS Stop/Shutdown", "OS graceful shutdown"},
    {0x20, 0x04, anyData, 0x00, "OS Stop/Shutdown", "PEF initiated soft shutdown"},
    {0x20, 0x05, anyData, 0x00, "OS Stop/Shutdown", "Agent not responding"},
    {0x21, 0x00, anyData, 0x00, "Slot/Connector", "Fault Status"},
    {0x21, 0x01, anyData, 0x00, "Slot/Connector", "Identify Status"},
    {0x21, 0x02, anyData, 0x00, "Slot/Connector", "Device Installed"},
    {0x21, 0x03, anyData, 0x00, "Slot/Connector", "Ready for Device Installation"},
    {0x21, 0x04, anyData, 0x00, "Slot/Connector", "Ready for Device Removal"},
    {0x21, 0x05, anyData, 0x00, "Slot/Connector", "Slot Power is Off"},
    {0x21, 0x06, anyData, 0x00, "Slot/Connector", "Device Removal Request"},
    {0x21, 0x07, anyData, 0x00, "Slot/Connector", "Interlock"},
    {0x21, 0x08, anyData, 0x00, "Slot/Connector", "Slot is Disabled"},
    {0x21, 0x09, 0x00, 0x00, "Slot/Connector", "Spare Device: PCI"},
    {0x21, 0x09, 0x01, 0x00, "Slot/Connector", "Spare Device: Drive Array"},
    {0x21, 0x09, 0x02, 0x00, "Slot/Connector", "Spare Device: External Peripheral Connector"},
    {0x21, 0x09, 0x03, 0x00, "Slot/Connector", "Spare Device: Docking"},
    {0x21, 0x09, 0x04, 0x00, "Slot/Connector", "Spare Device: Other standard internal expansion slot"},
    {0x21, 0x09, 0x05, 0x00, "Slot/Connector", "Spare Device: Slot associated with entity specified by Entity ID for sensor"},
    {0x21, 0x09, 0x06, 0x00, "Slot/Connector", "Spare Device: AdvancedTCA"},
    {0x21, 0x09, 0x07, 0x00, "Slot/Connector", "Spare Device: DIMM/memory device"},
    {0x21, 0x09, 0x08, 0x00, "Slot/Connector", "Spare Device: FAN"},
    {0x21, 0x09, 0x09, 0x00, "Slot/Connector", "Spare Device: PCI Express"},
    {0x21, 0x09, 0x0A, 0x00, "Slot/Connector", "Spare Device: SCSI (parallel)"},
    {0x21, 0x09, 0x0B, 0x00, "Slot/Connector", "Spare Device: SATA / SAS"},
    {0x22, 0x00, anyData, 0x00, "System ACPI Power State", "S0/G0: working"},
    {0x22, 0x01, anyData, 0x00, "System ACPI Power State", "S1: sleeping with system hw & processor context maintained"},
    {0x22, 0x02, anyData, 0x00, "System ACPI Power State", "S2: sleeping, processor context lost"},
    {0x22, 0x03, anyData, 0x00, "System ACPI Power State", "S3: sleeping, processor & hw context lost, memory retained"},
    {0x22, 0x04, anyData, 0x00, "System ACPI Power State", "S4: non-volatile sleep/suspend-to-disk"},
    {0x22, 0x05, anyData, 0x00, "System ACPI Power State", "S5/G2: soft-off"},
    {0x22, 0x06, anyData, 0x00, "System ACPI Power State", "S4/S5: soft-off"},
    {0x22, 0x07, anyData, 0x00, "System ACPI Power State", "G3: mechanical off"},
    {0x22, 0x08, anyData, 0x00, "System ACPI Power State", "Sleeping in S1/S2/S3 state"},
    {0x22, 0x09, anyData, 0x00, "System ACPI Power State", "G1: sleeping"},
    {0x22, 0x0A, anyData, 0x00, "System ACPI Power State", "S5: entered by override"},
    {0x22, 0x0B, anyData, 0x00, "System ACPI Power State", "Legacy ON state"},
    {0x22, 0x0C, anyData, 0x00, "System ACPI Power State", "Legacy OFF state"},
    {0x22, 0x0E, anyData, 0x00, "System ACPI Power State", "Unknown"},
    {0x23, 0x00, anyData, 0x00, "Watchdog 2", "Timer expired"},
    {0x23, 0x01, anyData, 0x00, "Watchdog 2", "Hard reset"},
    {0x23, 0x02, anyData, 0x00, "Watchdog 2", "Power down"},
    {0x23, 0x03, anyData, 0x00, "Watchdog 2", "Power cycle"},
    {0x23, 0x04, anyData, 0x00, "Watchdog 2", "reserved"},
    {0x23, 0x05, anyData, 0x00, "Watchdog 2", "reserved"},
    {0x23, 0x06, anyData, 0x00, "Watchdog 2", "reserved"},
    {0x23, 0x07, anyData, 0x00, "Watchdog 2", "reserved"},
    {0x23, 0x08, anyData, 0x00, "Watchdog 2", "Timer interrupt"},
    {0x24, 0x00, anyData, 0x00, "Platform Alert", "Platform generated page"},
    {0x24, 0x01, anyData, 0x00, "Platform Alert", "Platform generated LAN alert"},
    {0x24, 0x02, anyData, 0x00, "Platform Alert", "Platform Event Trap generated"},
    {0x24, 0x03, anyData, 0x00, "Platform Alert", "Platform generated SNMP trap, OEM format"},
    {0x25, 0x00, anyData, 0x00, "Entity Presence", "Present"},
    {0x25, 0x01, anyData, 0x00, "Entity Presence", "Absent"},
    {0x25, 0x02, anyData, 0x00, "Entity Presence", "Disabled"},
    {0x26, 0x00, anyData, 0x00, "Monitor ASIC/IC", ""},
    {0x27, 0x00, anyData, 0x00, "LAN", "Heartbeat Lost"},
    {0x27, 0x01, anyData, 0x00, "LAN", "Heartbeat"},
    {0x28, 0x00, anyData, 0x00, "Management Subsystem Health", "Sensor access degraded or unavailable"},
    {0x28, 0x01, anyData, 0x00, "Management Subsystem Health", "Controller access degraded or unavailable"},
    {0x28, 0x02, anyData, 0x00, "Management Subsystem Health", "Management controller off-line"},
    {0x28, 0x03, anyData, 0x00, "Management Subsystem Health", "Management controller unavailable"},
    {0x28, 0x04, anyData, 0x00, "Management Subsystem Health", "Sensor failure"},
    {0x28, 0x05, anyData, 0x00, "Management Subsystem Health", "FRU failure"},
    {0x29, 0x00, anyData, 0x00, "Battery", "Low"},
    {0x29, 0x01, anyData, 0x00, "Battery", "Failed"},
    {0x29, 0x02, anyData, 0x00, "Battery", "Presence Detected"},
    {0x2A, 0x00, anyData, 0x00, "Session Audit", "Session Activated"},
    {0x2A, 0x01, anyData, 0x00, "Session Audit", "Session Deactivated"},
    {0x2A, 0x02, anyData, 0x00, "Session Audit", "Invalid Username or Password"},
    {0x2A, 0x03, anyData, 0x00, "Session Audit", "Invalid password disable"},
    {0x2B, 0x00, anyData, 0x00, "Version Change", "Hardware change detected"},
    {0x2B, 0x01, anyData, 0x00, "Version Change", "Firmware or software change detected"},
    {0x2B, 0x02, anyData, 0x00, "Version Change", "Hardware incompatibility detected"},
    {0x2B, 0x03, anyData, 0x00, "Version Change", "Firmware or software incompatibility detected"},
    {0x2B, 0x04, anyData, 0x00, "Version Change", "Invalid or unsupported hardware version"},
    {0x2B, 0x05, anyData, 0x00, "Version Change", "Invalid or unsupported firmware or software version"},
    {0x2B, 0x06, anyData, 0x00, "Version Change", "Hardware change success"},
    {0x2B, 0x07, anyData, 0x00, "Version Change", "Firmware or software change success"},
    {0x2C, 0x00, anyData, 0x00, "FRU State", "Not Installed"},
    {0x2C, 0x01, anyData, 0x00, "FRU State", "Inactive"},
    {0x2C, 0x02, anyData, 0x00, "FRU State", "Activation Requested"},
    {0x2C, 0x03, anyData, 0x00, "FRU State", "Activation in Progress"},
    {0x2C, 0x04, anyData, 0x00, "FRU State", "Active"},
    {0x2C, 0x05, anyData, 0x00, "FRU State", "Deactivation Requested"},
    {0x2C, 0x06, anyData, 0x00, "FRU State", "Deactivation in Progress"},
    {0x2C, 0x07, anyData, 0x00, "FRU State", "Communication lost"},
    {eventTableEndCode, 0x00, 0x00, 0x00, "", ""},
};

constexpr ipmi_event_sensor_types sensor_specific_types5[75] = {
    {0xF0, 0x00, anyData, 0x00, "FRU Hot Swap", "Transition to M0"},
    {0xF0, 0x01, anyData, 0x00, "FRU Hot Swap", "Transition to M1"},
    {0xF0, 0x02, anyData, 0x00, "FRU Hot Swap", "Transition to M2"},
    {0xF0, 0x03, anyData, 0x00, "FRU Hot Swap", "Transition to M3"},
    {0xF0, 0x04, anyData, 0x00, "FRU Hot Swap", "Transition to M4"},
    {0xF0, 0x05, anyData, 0x00, "FRU Hot Swap", "Transition to M5"},
    {0xF0, 0x06, anyData, 0x00, "FRU Hot Swap", "Transition to M6"},
    {0xF0, 0x07, anyData, 0x00, "FRU Hot Swap", "Transition to M7"},
    {0xF1, 0x00, anyData, 0x00, "IPMB-0 Status", "IPMB-A disabled, IPMB-B disabled"},
    {0xF1, 0x01, anyData, 0x00, "IPMB-0 Status", "IPMB-A enabled, IPMB-B disabled"},
    {0xF1, 0x02, anyData, 0x00, "IPMB-0 Status", "IPMB-A disabled, IPMB-B enabled"},
    {0xF1, 0x03, anyData, 0x00, "IPMB-0 Status", "IPMB-A enabled, IPMP-B enabled"},
    {0xF2, 0x00, anyData, 0x00, "Module Hot Swap", "Module Handle Closed"},
    {0xF2, 0x01, anyData, 0x00, "Module Hot Swap", "Module Handle Opened"},
    {0xF2, 0x02, anyData, 0x00, "Module Hot Swap", "Quiesced"},
    {0xC0, 0x00, 0x00, 0x03, "OEM", "Disk 0 S.M.A.R.T failure"},
    {0xC0, 0x00, 0x01, 0x03, "OEM", "Disk 1 S.M.A.R.T failure"},
    {0xC0, 0x00, 0x02, 0x03, "OEM", "Disk 2 S.M.A.R.T failure"},
    {0xC0, 0x00, 0x03, 0x03, "OEM", "Disk 3 S.M.A.R.T failure"},
    {0xC0, 0x00, 0x04, 0x03, "OEM", "Disk 4 S.M.A.R.T failure"},
    {0xC0, 0x00, 0x05, 0x03, "OEM", "Disk 5 S.M.A.R.T failure"},
    {0xC0, 0x00, 0x06, 0x03, "OEM", "Disk 6 S.M.A.R.T failure"},
    {0xC0, 0x00, 0x07, 0x03, "OEM", "Disk 7 S.M.A.R.T failure"},
    {0xC0, 0x00, 0x08, 0x03, "OEM", "Disk 8 S.M.A.R.T failure"},
    {0xC0, 0x02, anyData, 0x03, "CPU Temp", "CPU Overheat"},
    {0xC0, 0x04, anyData, 0x03, "CPU Temp", "CPU Overheat"},
    {0xC2, 0x00, 0x00, 0x03, "OEM", "MEM_EVENT_GH"},
    {0xC2, 0x00, 0x01, 0x03, "OEM", "MEM_EVENT_GH"},
    {0xC2, 0x00, 0x02, 0x03, "OEM", "MEM_EVENT_EF"},
    {0xC2, 0x00, 0x03, 0x03, "OEM", "MEM_EVENT_EF"},
    {0xC2, 0x00, 0x04, 0x03, "OEM", "MEM_EVENT_CD"},
    {0xC2, 0x00, 0x05, 0x03, "OEM", "MEM_EVENT_CD"},
    {0xC2, 0x00, 0x06, 0x03, "OEM", "MEM_EVENT_AB"},
    {0xC2, 0x00, 0x07, 0x03, "OEM", "MEM_EVENT_AB"},
    {0xC2, 0x00, 0x08, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x09, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x0A, 0x03, "OEM", "PROCHOT_P2"},
    {0xC2, 0x00, 0x0B, 0x03, "OEM", "MEMHOT_P2"},
    {0xC2, 0x00, 0x0C, 0x03, "OEM", "MEMHOT_P2"},
    {0xC2, 0x00, 0x0D, 0x03, "OEM", "VRHOT_P2"},
    {0xC2, 0x00, 0x0E, 0x03, "OEM", "VRHOT_EF"},
    {0xC2, 0x00, 0x0F, 0x03, "OEM", "VRHOT_GH"},
    {0xC2, 0x00, 0x10, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x11, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x12, 0x03, "OEM", "PROCHOT_P1"},
    {0xC2, 0x00, 0x13, 0x03, "OEM", "MEMHOT_P1"},
    {0xC2, 0x00, 0x14, 0x03, "OEM", "MEMHOT_P1"},
    {0xC2, 0x00, 0x15, 0x03, "OEM", "VRHOT_P1"},
    {0xC2, 0x00, 0x16, 0x03, "OEM", "VRHOT_AB"},
    {0xC2, 0x00, 0x17, 0x03, "OEM", "VRHOT_CD"},
    {0xC2, 0x00, 0x18, 0x03, "OEM", "CPU1 THERM TRIP"},
    {0xC2, 0x00, 0x19, 0x03, "OEM", "CPU2 THERM TRIP"},
    {0xC2, 0x00, 0x1A, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x1B, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x1C, 0x03, "OEM", "CATERR"},
    {0xC2, 0x00, 0x1D, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x1E, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x1F, 0x03, "OEM", "unknown event"},
    {0xC2, 0x00, 0x20, 0x03, "OEM", "unknown event"},
    {0xC3, 0x00, anyData, 0x03, "OEM", "CPU Error0"},
    {0xC3, 0x01, anyData, 0x03, "OEM", "CPU Error1"},
    {0xC3, 0x02, anyData, 0x03, "OEM", "CPU Error2"},
    {0xC3, 0x03, anyData, 0x03, "OEM", "PCH Hot"},
    {0xC5, 0x00, anyData, 0x03, "OEM", "HDD Logical Drive Degraded"},
    {0xC7, 0x01, 0x00, 0x03, "OEM", "One Zone"},
    {0xC7, 0x01, 0x01, 0x03, "OEM", "Left Zone"},
    {0xC7, 0x01, 0x02, 0x03, "OEM", "Right Zone"},
    {0xC7, 0x01, 0x03, 0x03, "OEM", "Front Zone"},
    {0xC8, 0x00, anyData, 0x03, "OEM", "AC Power On"},
    {0xC9, 0x00, anyData, 0x03, "OEM", "BMC Reset by IRQ10"},
    {0xCA, 0x01, 0x00, 0x03, "OOB Event", "OOB file build date mis-match"},
    {0xCA, 0x02, 0x00, 0x03, "OOB Event", "OOB feature initial failure"},
    {0xCB, 0x00, 0x00, 0x03, "BIOS OEM", "QPI Error"},
    {0xCC, 0x00, 0x00, 0x03, "BIOS OEM", "Memory Error"},
    {eventTableEndCode, 0x00, 0x00, 0x00, "", ""},
};

constexpr ipmi_event_sensor_types mrc_code_grantley[20] = {
    {0xE8, anyMinor, anyData, 0x03, "BIOS OEM", "No memory DIMM detected, install memory DIMMs"},
    {0xED, anyMinor, anyData, 0x03, "BIOS OEM", "Incorrect memory DIMM population, check Memory Population Rule"},
    {0xEF, anyMinor, anyData, 0x03, "BIOS OEM", "Memory initialization panic, apply AC Reset"},
    {0xF0, anyMinor, anyData, 0x03, "BIOS OEM", "Failed to program memory voltage regulator"},
    {0x07, 0x02, anyData, 0x03, "BIOS OEM", "Max number of ranks exceeded on the channel"},
    {0x07, 0x05, anyData, 0x03, "BIOS OEM", "The number of ranks on this device is not supported"},
    {0x07, 0x06, anyData, 0x03, "BIOS OEM", "This DIMM does not support DDR4-1333 or higher"},
    {0x07, 0x08, anyData, 0x03, "BIOS OEM", "Channel configuration is not supported"},
    {0x07, 0x0A, anyData, 0x03, "BIOS OEM", "DDR4 voltage is not supported"},
    {0x09, 0x02, anyData, 0x03, "BIOS OEM", "Channel DIMM configuration does not support Lockstep mode"},
    {0x0A, anyMinor, anyData, 0x03, "BIOS OEM", "(runtime) Failing DIMM: DIMM location"},
    {0x0C, 0x02, anyData, 0x03, "BIOS OEM", "Channel DIMM configuration does not support Mirror mode"},
    {0x0E, anyMinor, anyData, 0x03, "BIOS OEM", "Failed to honor Interleave mode"},
    {0x14, anyMinor, anyData, 0x03, "BIOS OEM", "Memory training failure"},
    {0x15, anyMinor, anyData, 0x03, "BIOS OEM", "Memory training failure"},
    {0x16, anyMinor, anyData, 0x03, "BIOS OEM", "Memory training failure"},
    {0x17, anyMinor, anyData, 0x03, "BIOS OEM", "Incorrect memory DIMM population"},
    {0x26, anyMinor, anyData, 0x03, "BIOS OEM", "Memory signal is too marginal"},
    {0x30, anyMinor, anyData, 0x03, "BIOS OEM", "Failing DIMM: DIMM location (Correctable memory component found)"},
    {0x31, anyMinor, anyData, 0x03, "BIOS OEM", "Failing DIMM: DIMM location (Uncorrectable memory component found)"},
};

constexpr const char* const sensor_type_desc[45] = {
    "reserved", // 00h
    "Temperature", // 01h
    "Voltage", // 02h
    "Current", // 03h
    "Fan", // 04h
    "Physical Security", // 05h
    "Platform Security", // 06h
    "Processor", // 07h
    "Power Supply", // 08h
    "Power Unit", // 09h
    "Cooling Device", // 0Ah
    "Other", // 0Bh
    "Memory", // 0Ch
    "Drive Slot / Bay", // 0Dh
    "POST Memory Resize", // 0Eh
    "System Firmwares", // 0Fh
    "Event Logging Disabled", // 10h
    "Watchdog", // 11h
    "System Event", // 12h
    "Critical Interrupt", // 13h
    "Button", // 14h
    "Module / Board", // 15h
    "Microcontroller", // 16h
    "Add-in Card", // 17h
    "Chassis", // 18h
    "Chip Set", // 19h
    "Other FRU", // 1Ah
    "Cable / Interconnect", // 1Bh
    "Terminator", // 1Ch
    "System Boot Initiated", // 1Dh
    "Boot Error", // 1Eh
    "OS Boot", // 1Fh
    "OS Critical Stop", // 20h
    "Slot / Connector", // 21h
    "System ACPI Power State", // 22h
    "Watchdog", // 23h
    "Platform Alert", // 24h
    "Entity Presence", // 25h
    "Monitor ASIC", // 26h
    "LAN", // 27h
    "Management Subsystem Health", // 28h
    "Battery", // 29h
    "Session Audit", // 2Ah
    "Version Change", // 2Bh
    "FRU State", // 2Ch
};

namespace {

// A missing row would leave a zero-filled tail instead of the end row, and a
// stray FFh code would cut every search short; both are caught at build time.
template <size_t N>
constexpr bool closedByEndRow(const ipmi_event_sensor_types (&rows)[N])
{
    for (size_t i = 0; i + 1 < N; ++i) {
        if (rows[i].code == eventTableEndCode)
            return false;
    }
    const ipmi_event_sensor_types& end = rows[N - 1];
    return end.code == eventTableEndCode && end.offset == 0 && end.data == 0 && end.class_ == 0 &&
           end.type[0] == '\0' && end.desc[0] == '\0';
}

static_assert(closedByEndRow(sensor_specific_types1), "table 1 must end with exactly one end row");
static_assert(closedByEndRow(sensor_specific_types2), "table 2 must end with exactly one end row");
static_assert(closedByEndRow(sensor_specific_types3), "table 3 must end with exactly one end row");
static_assert(closedByEndRow(sensor_specific_types4), "table 4 must end with exactly one end row");
static_assert(closedByEndRow(sensor_specific_types5), "table 5 must end with exactly one end row");
static_assert(generic_event_types[56].code == 0x0C && generic_event_types[57].code == 0 &&
                  generic_event_types[57].desc[0] == '\0',
              "generic table must hold 57 rows and a zero row");
static_assert(mrc_code_grantley[19].code == 0x31, "memory reference code table is short");
static_assert(sensor_type_desc[44] != nullptr, "sensor type name table is short");

// The one walk every lookup goes through: bounded by the count and by the
// first end row, whatever the caller's key.
template <typename Match>
const ipmi_event_sensor_types* firstRow(const ipmi_event_sensor_types* rows, size_t count,
                                        Match match)
{
    if (rows == nullptr)
        return nullptr;
    for (size_t i = 0; i < count; ++i) {
        const ipmi_event_sensor_types& row = rows[i];
        if (row.code == eventTableEndCode)
            return nullptr;
        if (match(row))
            return &row;
    }
    return nullptr;
}

template <size_t N>
constexpr EventTable tableOf(const ipmi_event_sensor_types (&rows)[N])
{
    return EventTable{rows, N};
}

}  // namespace

const ipmi_event_sensor_types* findEventRow(const ipmi_event_sensor_types* rows, size_t count,
                                            BYTE code, BYTE offset, int data)
{
    return firstRow(rows, count, [=](const ipmi_event_sensor_types& row) {
        if (row.code != code || row.offset != offset)
            return false;
        return data < 0 || row.data == eventDataAny || row.data == data;
    });
}

EventTable sensorSpecificTable(BYTE sensorType)
{
    if (sensorType <= 0x0E)
        return tableOf(sensor_specific_types1);
    if (sensorType == 0x0F)
        return tableOf(sensor_specific_types2);
    if (sensorType <= 0x1F)
        return tableOf(sensor_specific_types3);
    if (sensorType <= 0x2C)
        return tableOf(sensor_specific_types4);
    if ((sensorType >= 0xC0 && sensorType <= 0xCC) || (sensorType >= 0xF0 && sensorType <= 0xF2))
        return tableOf(sensor_specific_types5);
    return EventTable{nullptr, 0};
}

const ipmi_event_sensor_types* findMrcRow(BYTE majorCode, BYTE minorCode)
{
    // The end code FFh never occurs as a major code here, so the shared walk
    // covers the whole table.
    return firstRow(mrc_code_grantley, std::size(mrc_code_grantley),
                    [=](const ipmi_event_sensor_types& row) {
                        return row.code == majorCode &&
                               (row.offset == anyMinor || row.offset == minorCode);
                    });
}

const char* sensorTypeName(BYTE sensorType)
{
    return sensorType < std::size(sensor_type_desc) ? sensor_type_desc[sensorType] : nullptr;
}
