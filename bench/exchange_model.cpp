#include "exchange_model.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace vktbench {

namespace {

using testkit::Bytes;
using testkit::SimServer;

// Sizes of the library's tables, which bound its walks.
constexpr size_t sdrSlots = 128;
constexpr size_t selEntriesRead = 1024;
constexpr size_t selEntriesPublished = 512;
constexpr size_t fruBuffer = 4096;
constexpr size_t fruSegment = 16;
constexpr unsigned sdrPiece = 8;
constexpr size_t powerRecords = 4;
constexpr size_t pmbusListSize = 6;
constexpr size_t statusListSize = 4;
constexpr int bridgePolls = 10;
constexpr int eepromIdentityBytes = 196;
constexpr int batteryChunks = 8;

// The private bus as the library walks it.
constexpr uint8_t statusAddrs[] = {0x70, 0x72, 0x74, 0x76, 0xA0, 0xA2, 0xA4, 0xA6};
constexpr uint8_t voutMode = 0x20, statusOffset = 0x0C;
constexpr uint8_t serialFirst = 0xD0, moduleNumberFirst = 0xE0, revisionFirst = 0xF0;
constexpr int serialLength = 15, moduleNumberLength = 13, revisionLength = 6;
// Module-number codes of the supported modules that change what is read.
constexpr const char* vendorPrefix = "ZUR";
constexpr const char* voltageStatusCode = "DCB12";

// Counts exchanges: every request goes through the command call, which probes the interface
// first; the device is opened (and asked for PICMG properties) by the first of them.
class Tally {
public:
    Tally(SimServer& s, Transport t, ProcessState& st) : server_(s), transport_(t), state_(st) {}

    void command(size_t n = 1) {
        for (size_t i = 0; i < n; ++i) {
            const size_t probes = probeExchanges();
            open();
            total_ += probes + 1;
        }
    }
    // A request bridged over IPMB on the device goes without a probe: the probe would be
    // bridged to the same controller.
    void bridged() {
        open();
        ++total_;
    }
    size_t total() const { return total_; }

private:
    size_t probeExchanges() {
        if (state_.probeFailed) return 0;
        const uint8_t version = server_.device.ipmiVersion;
        if (version == 0x02) return 1;
        // IPMI 2.0 on both port pairs, then IPMI 1.5 on the first pair; over the ports the
        // pair where nothing answers costs no exchange.
        if (version != 0x51) state_.probeFailed = true;
        return transport_ == Transport::kcs ? 2 : 3;
    }
    void open() {
        if (transport_ != Transport::device || state_.deviceOpened) return;
        state_.deviceOpened = true;
        const testkit::DeviceModel& d = server_.device;
        const uint8_t ext = d.picmgExtension;
        total_ += 1 + (d.picmg && (ext == 0x12 || ext == 0x02 || ext == 0x22 || ext == 0x32) ? 1 : 0);
    }

    SimServer& server_;
    Transport transport_;
    ProcessState& state_;
    size_t total_ = 0;
};

// ---- content queries ------------------------------------------------------------------------

struct BusRead {
    bool ok = false;
    uint8_t value = 0;
};

// One byte read from a device on the private bus, as the device answers it.
BusRead busRead(SimServer& s, uint8_t addr, uint8_t code) {
    testkit::BusDevice* dev = s.bus.device(addr);
    if (dev == nullptr) return {};
    const testkit::IpmiResponse r = dev->transfer({code}, 1);
    if (r.cc != 0 || r.data.empty()) return {};
    return {true, r.data[0]};
}

// The vendor identity text from `first` on: one read per character and one for the end.
std::string identityText(SimServer& s, uint8_t addr, uint8_t first, int length, size_t* reads) {
    std::string text;
    for (int i = 0; i < length; ++i) {
        ++*reads;
        const BusRead b = busRead(s, addr, static_cast<uint8_t>(first + i));
        if (!b.ok || b.value == 0x00 || b.value == 0xFF) break;
        text += static_cast<char>(b.value);
    }
    return text;
}

// Whether an EEPROM's first bytes, which carry a module's FRU identity, hold `code`.
bool eepromMentions(SimServer& s, uint8_t addr, const std::string& code) {
    std::string bytes;
    for (int offset = 0; offset < eepromIdentityBytes; ++offset)
        bytes += static_cast<char>(busRead(s, addr, static_cast<uint8_t>(offset)).value);
    return bytes.find(code) != std::string::npos;
}

uint16_t le16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>((at < b.size() ? b[at] : 0) | (at + 1 < b.size() ? b[at + 1] : 0) << 8);
}

size_t sdrCount(const SimServer& s) { return le16(s.sdr.repositoryInfo(), 1); }

// The record at walk position `i` (records are read by following the next-record IDs).
const Bytes& sdrRecordAt(const SimServer& s, size_t i) {
    static const Bytes none;
    if (s.sdr.records.empty()) return none;
    return s.sdr.records[std::min(i, s.sdr.records.size() - 1)];
}

uint8_t byteOf(const Bytes& b, size_t i) { return i < b.size() ? b[i] : 0; }


// Pieces after the 8-byte head of a record: its length counts in 8 bits.
size_t sdrPiecesAfterHead(const Bytes& r) {
    unsigned remaining = static_cast<uint8_t>(byteOf(r, 4) + 5);
    size_t pieces = 0;
    while (remaining > sdrPiece) {
        ++pieces;
        remaining -= sdrPiece;
    }
    return pieces;
}

// Requests of one walk of the repository: per position a reservation and the record's head,
// and the rest of every sensor record in 8-byte pieces.
size_t sdrWalk(const SimServer& s) {
    const size_t positions = std::min(sdrCount(s), sdrSlots);
    size_t n = 0;
    for (size_t i = 0; i < positions; ++i) {
        const Bytes& r = sdrRecordAt(s, i);
        n += 2 + (isSensorRecord(r) ? sdrPiecesAfterHead(r) : 0);
    }
    return n;
}

// Get Sensor Reading answers with a raw reading other than FFh.
bool readingAvailable(const SimServer& s, uint8_t number) {
    auto it = s.sdr.sensors.find(number);
    if (it == s.sdr.sensors.end() || it->second.readingCc) return false;
    const testkit::SensorState& st = it->second;
    const uint8_t raw = st.readingAnswer ? byteOf(*st.readingAnswer, 0) : st.reading;
    if (st.readingAnswer && st.readingAnswer->empty()) return false;
    return raw != 0xFF;
}

// Requests of evaluating one sensor record, by the class its types put it in.
size_t sensorEvaluation(const SimServer& s, const Bytes& r) {
    const uint8_t number = byteOf(r, 7), type = byteOf(r, 12), readingType = byteOf(r, 13), unit = byteOf(r, 21);
    if (readingType == 0x03 || readingType == 0x06 || readingType == 0x09 || readingType == 0x6F) return 1;
    if (type == 0x08 || type == 0x05 || type == 0x07 || type == 0x15 || type == 0xC0) return 1;
    // Threshold sensors: availability and thresholds, then the reading itself.
    const bool avail = readingAvailable(s, number);
    if (unit == 1 || unit == 2 || unit == 3 || unit == 6 || unit == 18) return 2 + (avail ? 1 : 0);
    if (type == 0x0D) return 3;  // drive slot bits
    if (type == 0x23) return 2;  // watchdog 2: nothing to show
    return 2 + (avail ? 1 : 0);
}

// The sensor collector: repository info, reservation, the walk, the system GUID and every
// sensor's evaluation.
void sensorCollector(Tally& t, const SimServer& s) {
    t.command(2 + sdrWalk(s) + 1);
    const size_t positions = std::min(sdrCount(s), sdrSlots);
    for (size_t i = 0; i < positions; ++i) {
        const Bytes& r = sdrRecordAt(s, i);
        if (isSensorRecord(r)) t.command(sensorEvaluation(s, r));
    }
}

// ---- chassis --------------------------------------------------------------------------------

// The node collector: the family signature, then (on a multi-node chassis) the chassis
// registers and eight readings per node slot.
void nodeCollector(Tally& t, const SimServer& s) {
    t.command();  // signature
    if (s.bus.device(testkit::McuModel::chassisAddr) == nullptr) return;
    const uint8_t signature = s.mcu.registers[testkit::McuModel::regSignature];
    if (signature != 0xA5 && signature != 0xAC) return;
    const bool nimbet = signature == 0xAC;
    size_t nodes = 0;
    switch (s.mcu.registers[testkit::McuModel::regConfigId]) {
        case 1: nodes = 1; break;
        case 2: case 3: case 5: nodes = 2; break;
        case 4: nodes = 4; break;
        case 12: nodes = 12; break;
        default: break;
    }
    // Configuration, node ID, presence, power (and 12 V on Pairex), then twelve chassis fields.
    t.command((nimbet ? 4 : 5) + 12 + 8 * nodes);
}

// ---- event log ------------------------------------------------------------------------------

bool asksBoardFamily(const testkit::SelRecord& e) {
    const uint8_t readingType = e[12] & 0x7F, offset = e[13] & 0x0F;
    return e[10] == 0x0C && (readingType == 0x6F || readingType == 0x70) && offset <= 1;
}

void selList(Tally& t, SimServer& s, ProcessState& st) {
    const size_t count = le16(s.sel.infoAnswer(), 1);
    t.command(2);  // info, reservation
    if (count == 0) return;
    const size_t entries = s.sel.entries.size();
    // The walk stops at the entry that names no successor.
    const size_t read = std::min({count, selEntriesRead, std::max<size_t>(entries, 1)});
    t.command(read);
    if (entries == 0) return;  // the first read failed: nothing is decoded
    const size_t decoded = std::min(read, selEntriesPublished);
    if (!st.sensorNamesLoaded) {
        t.command(1 + sdrWalk(s));  // repository info and a walk, once per process
        st.sensorNamesLoaded = true;
    }
    for (size_t k = 0; k < decoded && !st.boardFamilyKnown; ++k) {
        if (!asksBoardFamily(s.sel.entries[k])) continue;
        t.command();
        st.boardFamilyKnown = true;  // the board answers its ID
    }
}

// ---- power ----------------------------------------------------------------------------------

void pmbusModule(Tally& t, SimServer& s, uint8_t a) {
    size_t reads = 0;
    identityText(s, a, serialFirst, serialLength, &reads);
    std::string moduleNumber = identityText(s, a, moduleNumberFirst, moduleNumberLength, &reads);
    identityText(s, a, revisionFirst, revisionLength, &reads);
    reads += 4 + 11;  // mode and status registers, telemetry
    bool voltageStatus = moduleNumber.find(voltageStatusCode) != std::string::npos;
    if (a >= 0xB0 && a <= 0xB6) {
        ++reads;  // is the companion device a B0-family EEPROM?
        const uint8_t eeprom = static_cast<uint8_t>(a - 0x10);
        if ((busRead(s, eeprom, statusOffset).value & 0x80) == 0) {
            reads += eepromIdentityBytes;
            voltageStatus = eepromMentions(s, eeprom, voltageStatusCode);
        }
    } else if (!moduleNumber.empty() && moduleNumber.find(vendorPrefix) == std::string::npos) {
        reads += eepromIdentityBytes;
        voltageStatus = eepromMentions(s, static_cast<uint8_t>(a - 8), voltageStatusCode);
    }
    if (voltageStatus) ++reads;
    t.command(reads);
}

void pmbus(Tally& t, SimServer& s) {
    std::vector<uint8_t> found;
    for (uint8_t a : pmbusAddrs) {
        const BusRead b = busRead(s, a, voutMode);
        if (b.ok && b.value != 0xFF && found.size() < pmbusListSize) found.push_back(a);
    }
    t.command(std::size(pmbusAddrs));
    for (size_t i = 0; i < found.size() && i < powerRecords; ++i) pmbusModule(t, s, found[i]);
}

template <size_t N>
std::vector<uint8_t> presentDevices(SimServer& s, const uint8_t (&addrs)[N], uint8_t mask, uint8_t above) {
    std::vector<uint8_t> found;
    for (uint8_t a : addrs) {
        const BusRead b = busRead(s, a, statusOffset);
        if (b.ok && (b.value & mask) > above && found.size() < statusListSize) found.push_back(a);
    }
    return found;
}

void statusDevices(Tally& t, SimServer& s) {
    const auto found = presentDevices(s, statusAddrs, 0x01, 0x00);
    t.command(std::size(statusAddrs) + 4 * std::min(found.size(), powerRecords));
}

void batteries(Tally& t, SimServer& s) {
    const auto found = presentDevices(s, batteryAddrs, 0x81, 0x80);
    t.command(std::size(batteryAddrs) + batteryChunks * std::min(found.size(), powerRecords));
}

// ---- the rest -------------------------------------------------------------------------------

void fru(Tally& t, const SimServer& s) {
    size_t size = s.fru.area();
    if (s.fru.accessType == 1) size = size / 2 * 2;  // reported in words, read in bytes
    size = std::min(size, fruBuffer);
    t.command(1 + (size + fruSegment - 1) / fruSegment);
}

void lan(Tally& t, const SimServer& s) {
    // Five LAN parameters, the system information, and the MAC list unless the system
    // information says there are just two host NICs.
    t.command(6 + ((s.oem.nicLayout & 0x07) == 2 ? 0 : 1));
}

void users(Tally& t, const SimServer& s) {
    const int max = s.users.maxUsers & 0x1F;
    size_t n = 1;
    for (int u = 2; u < max; ++u) {
        ++n;
        auto it = s.users.accounts.find(static_cast<uint8_t>(u));
        if (it != s.users.accounts.end() && it->second.name[0] != 0) ++n;
    }
    t.command(n);
}

// The Management Engine's record: Intel's Node Manager record among the OEM records.
bool isMeRecord(const Bytes& r) {
    return byteOf(r, 3) == 0xC0 && byteOf(r, 5) == 0x57 && byteOf(r, 6) == 0x01 && byteOf(r, 7) == 0x00 &&
           byteOf(r, 8) == 0x0D;
}

void nodeManagerRequest(Tally& t, const SimServer& s, Transport transport) {
    if (transport == Transport::device) {
        t.bridged();
        return;
    }
    const testkit::MeModel& me = s.me;
    t.command();  // Send Message
    if (!me.present || me.sendMessageCc) return;
    const bool answers = !me.silent && me.otherFlags == 0 && me.answerAfterPolls < bridgePolls;
    t.command(answers ? static_cast<size_t>(me.answerAfterPolls) + 1 : bridgePolls);  // message flags
    if (answers) t.command(2);  // Get Message, Clear Message Flags
}

void nodeManager(Tally& t, const SimServer& s, Transport transport) {
    t.command(3 + 2);  // board model, build time, firmware version; repository info, reservation
    const size_t count = std::min(sdrCount(s), s.sdr.records.size());
    for (size_t i = 0; i < count; ++i) {
        t.command();
        if (isMeRecord(s.sdr.records[i])) {
            nodeManagerRequest(t, s, transport);
            return;
        }
    }
}

}  // namespace

size_t expectedExchanges(SimServer& s, const std::string& prefix, Transport transport, ProcessState& state) {
    Tally t(s, transport, state);
    if (prefix == "FRUProvider") {
        fru(t, s);
    } else if (prefix == "PXInfoProvider" || prefix == "PXListProvider") {
        nodeCollector(t, s);
    } else if (prefix == "SELInfoProvider") {
        t.command();
    } else if (prefix == "SELListProvider") {
        selList(t, s, state);
    } else if (prefix == "PMBusProvider") {
        pmbus(t, s);
    } else if (prefix == "PMBusFRUProvider") {
        statusDevices(t, s);
    } else if (prefix == "PMBusBBPProvider") {
        batteries(t, s);
    } else if (prefix == "LANProvider" || prefix == "BMCIPProvider") {
        lan(t, s);
    } else if (prefix == "NMProvider") {
        nodeManager(t, s, transport);
    } else if (prefix == "SensorsProvider") {
        sensorCollector(t, s);
    } else if (prefix == "UserListProvider") {
        users(t, s);
    } else if (prefix == "IPMDeviceProvider") {
        nodeCollector(t, s);
        t.command();  // LED state
        sensorCollector(t, s);
        t.command(2);  // fan mode and the supported modes
    } else {
        t.command();  // an action class: its one command
    }
    return t.total();
}

bool isSensorRecord(const Bytes& r) { return byteOf(r, 3) == 0x01 || byteOf(r, 3) == 0x02; }

}  // namespace vktbench
