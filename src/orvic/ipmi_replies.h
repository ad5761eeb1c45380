// The answers the collectors read, one small type each, decoded from the response data
// (the bytes after the completion code) in one place.
//
// Every decoder takes the data as a ByteView and never reads past it. A byte the BMC did
// not send reads as 00h, which is what the collectors have always made of a short answer;
// the few answers that mean nothing unless they arrived whole decode to an empty optional.
// Collectors decide about the completion code themselves: a decoder looks only at the data.
//
// Several answers are read by more than one subsystem (Get Device ID by the firmware
// identity, the maintenance routines, the family test and the Node Manager; the OEM system
// information by the LAN, board identity and event decoding), so the types live here, below
// every collector, rather than with one of them.
#ifndef VKT_IPMI_REPLIES_H
#define VKT_IPMI_REPLIES_H

#include <array>
#include <cstddef>
#include <optional>

#include "byte_view.h"
#include "vkt_types.h"

namespace vkt {

// ---- application commands --------------------------------------------------------------

// Get Device ID.
struct DeviceIdReply {
    BYTE firmware1 = 0;   // firmware revision 1: bit 7 device available, bits 6:0 major
    BYTE firmware2 = 0;   // firmware revision 2: minor, BCD
    WORD productId = 0;
    std::array<BYTE, 4> auxFirmware{};

    static DeviceIdReply decode(ByteView data);
};

// Get System GUID.
struct SystemGuidReply {
    std::array<BYTE, 16> guid{};

    static SystemGuidReply decode(ByteView data);
};

// Get Channel Authentication Capabilities.
struct ChannelAuthCapsReply {
    BYTE authTypeSupport = 0;       // bit 7: the channel has extended (IPMI 2.0) capabilities
    BYTE extendedCapabilities = 0;  // bit 1: the channel takes IPMI 2.0 connections

    bool ipmi20() const;
    static ChannelAuthCapsReply decode(ByteView data);
};

// Get Self Test Results.
struct SelfTestReply {
    BYTE result = 0;
    BYTE detail = 0;  // what failed, for the results that name it

    static SelfTestReply decode(ByteView data);
};

// Get User Access. The two counts keep their low five bits.
struct UserAccessReply {
    BYTE maxUsers = 0;
    BYTE enabledUsers = 0;
    BYTE status = 0;  // byte 1 as sent: enable state (7-6), enabled count (5-0)
    BYTE access = 0;  // byte 3 as sent: channel access bits, privilege limit (3-0)

    static UserAccessReply decode(ByteView data);
};

// Get User Name: the 16-byte name field, not terminated when full.
struct UserNameReply {
    std::array<char, 16> name{};

    static UserNameReply decode(ByteView data);
};

// ---- storage: SDR repository and SEL ----------------------------------------------------

// Get SDR Repository Info.
struct SdrRepositoryInfoReply {
    BYTE version = 0;
    WORD recordCount = 0;

    static SdrRepositoryInfoReply decode(ByteView data);
};

// Get SEL Info.
struct SelInfoReply {
    WORD entries = 0;
    WORD freeSpace = 0;      // bytes
    DWORD lastAddition = 0;  // time stamps
    DWORD lastErase = 0;

    static SelInfoReply decode(ByteView data);
};

// Reserve SDR Repository, Reserve SEL, and the file transfer's reservation and download
// handle: a two-byte identifier, sent back as it came.
struct ReservationReply {
    std::array<BYTE, 2> id{};

    static ReservationReply decode(ByteView data);
};

// Get SDR and Get SEL Entry: the next record's ID, then the bytes of the record asked for.
struct RecordReply {
    WORD nextRecordId = 0;
    ByteView record;  // a view into the answer: valid while the answer is

    static RecordReply decode(ByteView data);
};

// ---- sensors ------------------------------------------------------------------------------

// Get Sensor Reading.
struct SensorReadingReply {
    BYTE raw = 0;
    BYTE flags = 0;   // bit 5: reading unavailable
    WORD states = 0;  // state bits 0-14 of a discrete sensor (bits 0-7 alone in byte 2)

    static SensorReadingReply decode(ByteView data);
};

// Get Sensor Thresholds: the raw bytes in the order of vkt::ThresholdIndex.
struct SensorThresholdsReply {
    BYTE readable = 0;  // mask of the thresholds the sensor has
    std::array<BYTE, 6> raw{};

    static SensorThresholdsReply decode(ByteView data);
};

// ---- LAN configuration ---------------------------------------------------------------------

// Get LAN Configuration Parameters: the parameter revision, then the value. The parameters
// read are at most six bytes long (a MAC address).
struct LanParamReply {
    BYTE revision = 0;
    std::array<BYTE, 6> value{};

    // The VLAN ID parameter: bit 15 enables, bits 11-0 are the ID.
    bool vlanEnabled() const;
    int vlanId() const;
    static LanParamReply decode(ByteView data);
};

// ---- the BMC's OEM commands -----------------------------------------------------------------

// System information (30h/21h): board ID, NIC layout and the host's first MAC address.
struct SystemInfoReply {
    WORD boardId = 0;  // low byte first
    BYTE nicLayout = 0;
    std::array<BYTE, 6> firstMac{};

    static SystemInfoReply decode(ByteView data);
};

// The host's other MAC addresses (30h/9Fh): a count, then six bytes per address. Only the
// addresses that arrived whole count, whatever the count byte claims.
struct MacListReply {
    size_t count = 0;
    ByteView addresses;  // a view into the answer: valid while the answer is

    void address(size_t k, BYTE (&mac)[6]) const;
    static MacListReply decode(ByteView data);
};

// Identify LED state (30h/0Ch): on or off; nothing without a state byte.
struct LedStateReply {
    bool on = false;

    static std::optional<LedStateReply> decode(ByteView data);
};

// Fan mode (30h/45h): the current mode; nothing without a mode byte.
struct FanModeReply {
    BYTE mode = 0;

    static std::optional<FanModeReply> decode(ByteView data);
};

// Fan mode capabilities (30h/45h): a one-byte mask of the modes offered. Any other length is
// no mask at all.
struct FanModeMaskReply {
    BYTE mask = 0;

    static std::optional<FanModeMaskReply> decode(ByteView data);
};

// Firmware build time (3Eh/09h): ten characters, not terminated.
struct BuildTimeReply {
    std::array<char, 10> text{};

    static BuildTimeReply decode(ByteView data);
};

// The SDR and FRU version tags (30h/70h).
struct VersionTagReply {
    BYTE major = 0;
    BYTE minor = 0;

    static VersionTagReply decode(ByteView data);
};

// Configuration file download status (30h/A0h): whether the file is ready, and its size once the
// answer carried all four size bytes.
struct DownloadStatusReply {
    bool ready = false;
    DWORD size = 0;
    bool sizeKnown = false;

    static DownloadStatusReply decode(ByteView data);
};

// ---- NVMe drives (30h/70h, first request byte 6Ch) ----------------------------------------------

// A card's status: one bit per slot in each bitmap, and the card's CPLD version.
struct NvmeCardStatusReply {
    WORD locate = 0;
    WORD present = 0;
    std::array<BYTE, 2> cpld{};

    bool locating(int slot) const;
    bool presenting(int slot) const;
    static NvmeCardStatusReply decode(ByteView data);
};

// The identity part of a drive's management data.
struct NvmeIdentityReply {
    std::array<BYTE, 3> classCode{};
    WORD vendorId = 0;
    std::array<char, 20> serial{};  // not terminated when full

    static NvmeIdentityReply decode(ByteView data);
};

// The model and link part of a drive's management data.
struct NvmeLinkReply {
    std::array<char, 40> model{};  // not terminated when full
    BYTE port0Speed = 0;
    BYTE port0Width = 0;
    BYTE port1Speed = 0;
    BYTE port1Width = 0;
    BYTE initialPower = 0;  // watts
    BYTE maxPower = 0;      // watts

    static NvmeLinkReply decode(ByteView data);
};

// The health part of a drive's management data.
struct NvmeHealthReply {
    BYTE temperature = 0;  // degrees C

    static NvmeHealthReply decode(ByteView data);
};

// ---- Node Manager: the ME's answers, which start with Intel's manufacturer ID -------------------

// Get Host CPU Data.
struct NmHostCpuDataReply {
    BYTE socketCount = 0;

    static NmHostCpuDataReply decode(ByteView data);
};

// The maximum CPU P-state and T-state, and the number of each: the same two bytes.
struct NmCpuStateReply {
    BYTE pState = 0;
    BYTE tState = 0;

    static NmCpuStateReply decode(ByteView data);
};

}  // namespace vkt

#endif
