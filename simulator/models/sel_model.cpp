#include "sel_model.h"

#include <algorithm>

namespace testkit {

namespace {

constexpr uint8_t netFnStorage = 0x0A;
constexpr uint8_t cmdGetSelInfo = 0x40;
constexpr uint8_t cmdReserveSel = 0x42;
constexpr uint8_t cmdGetSelEntry = 0x43;
constexpr uint8_t cmdClearSel = 0x47;

constexpr uint8_t ccReservationCancelled = 0xC5;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccOutOfRange = 0xC9;
constexpr uint8_t ccNotPresent = 0xCB;
constexpr uint8_t ccInvalidField = 0xCC;

constexpr uint16_t firstEntry = 0x0000;
constexpr uint16_t lastEntry = 0xFFFF;
constexpr uint8_t wholeRecord = 0xFF;
constexpr uint8_t firstUntimedOemType = 0xE0;

void put32(SelRecord& r, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) r[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const SelRecord& r, size_t at) {
    return static_cast<uint32_t>(r[at]) | static_cast<uint32_t>(r[at + 1]) << 8 | static_cast<uint32_t>(r[at + 2]) << 16 |
           static_cast<uint32_t>(r[at + 3]) << 24;
}

uint16_t get16(const Bytes& d, size_t at) { return static_cast<uint16_t>(d[at] | d[at + 1] << 8); }

uint16_t recordIdOf(const SelRecord& r) { return static_cast<uint16_t>(r[0] | r[1] << 8); }

}  // namespace

SelRecord systemEventRecord(const SelEvent& e) {
    SelRecord r{};
    r[2] = selTypeSystemEvent;
    put32(r, 3, e.timestamp);
    r[7] = static_cast<uint8_t>(e.generatorId);
    r[8] = static_cast<uint8_t>(e.generatorId >> 8);
    r[9] = e.evmRev;
    r[10] = e.sensorType;
    r[11] = e.sensorNumber;
    r[12] = e.eventDirType;
    r[13] = e.data1;
    r[14] = e.data2;
    r[15] = e.data3;
    return r;
}

SelRecord oemTimestampedSelRecord(uint8_t recordType, uint32_t timestamp, uint32_t manufacturerId,
                               const std::array<uint8_t, 6>& oemData) {
    SelRecord r{};
    r[2] = recordType;
    put32(r, 3, timestamp);
    r[7] = static_cast<uint8_t>(manufacturerId);
    r[8] = static_cast<uint8_t>(manufacturerId >> 8);
    r[9] = static_cast<uint8_t>(manufacturerId >> 16);
    std::copy(oemData.begin(), oemData.end(), r.begin() + 10);
    return r;
}

SelRecord oemSelRecord(uint8_t recordType, const std::array<uint8_t, 13>& oemData) {
    SelRecord r{};
    r[2] = recordType;
    std::copy(oemData.begin(), oemData.end(), r.begin() + 3);
    return r;
}

uint16_t SelModel::add(SelRecord record) {
    const uint16_t id = nextRecordId_++;
    if (nextRecordId_ == lastEntry) nextRecordId_ = 1;  // FFFFh and 0000h are not record IDs
    record[0] = static_cast<uint8_t>(id);
    record[1] = static_cast<uint8_t>(id >> 8);
    lastAddition = record[2] < firstUntimedOemType ? get32(record, 3) : clock;
    entries.push_back(record);
    return id;
}

void SelModel::clear() {
    entries.clear();
    nextRecordId_ = 1;
    lastErase = clock;
    reservation = 0;  // erasing cancels every reservation
}

void SelModel::cancelReservation() {
    reservation = 0;
    cancelAfterReads_ = -1;
}

void SelModel::cancelReservationAfter(int entryReads) {
    if (entryReads <= 0)
        cancelReservation();
    else
        cancelAfterReads_ = entryReads;
}

Bytes SelModel::infoAnswer() const {
    const uint16_t count = reportedCount ? *reportedCount : static_cast<uint16_t>(entries.size());
    const size_t freeEntries = capacityEntries > entries.size() ? capacityEntries - entries.size() : 0;
    const uint16_t freeBytes = static_cast<uint16_t>(std::min<size_t>(freeEntries * 16, 0xFFFF));
    Bytes d = {version,
               static_cast<uint8_t>(count),
               static_cast<uint8_t>(count >> 8),
               static_cast<uint8_t>(freeBytes),
               static_cast<uint8_t>(freeBytes >> 8)};
    for (uint32_t stamp : {lastAddition, lastErase})
        for (int i = 0; i < 4; ++i) d.push_back(static_cast<uint8_t>(stamp >> (8 * i)));
    d.push_back(operationSupport);
    return d;
}

std::optional<IpmiResponse> SelModel::getEntry(const IpmiRequest& r) {
    if (r.data.size() != 6) return IpmiResponse::error(ccRequestLength);
    const uint16_t res = get16(r.data, 0);
    const uint16_t id = get16(r.data, 2);
    const uint8_t offset = r.data[4];
    const uint8_t count = r.data[5];
    // Whole-record reads may go without a reservation (0000h); a stale one is refused.
    if (res != 0 && res != reservation) return IpmiResponse::error(ccReservationCancelled);
    if (entries.empty()) return IpmiResponse::error(ccNotPresent);

    size_t index = 0;
    if (id == lastEntry) {
        index = entries.size() - 1;
    } else if (id != firstEntry) {
        auto it = std::find_if(entries.begin(), entries.end(), [id](const SelRecord& e) { return recordIdOf(e) == id; });
        if (it == entries.end()) return IpmiResponse::error(ccNotPresent);
        index = static_cast<size_t>(it - entries.begin());
    }
    if (offset >= 16) return IpmiResponse::error(ccOutOfRange);

    const uint16_t next = index + 1 < entries.size() ? recordIdOf(entries[index + 1]) : lastEntry;
    Bytes d = {static_cast<uint8_t>(next), static_cast<uint8_t>(next >> 8)};
    const size_t n = count == wholeRecord ? 16u - offset : std::min<size_t>(count, 16u - offset);
    d.insert(d.end(), entries[index].begin() + offset, entries[index].begin() + offset + n);

    if (cancelAfterReads_ > 0 && --cancelAfterReads_ == 0) cancelReservation();
    return IpmiResponse::ok(d);
}

std::optional<IpmiResponse> SelModel::clearCommand(const IpmiRequest& r) {
    if (r.data.size() != 6) return IpmiResponse::error(ccRequestLength);
    if (reservation == 0 || get16(r.data, 0) != reservation) return IpmiResponse::error(ccReservationCancelled);
    if (r.data[2] != 'C' || r.data[3] != 'L' || r.data[4] != 'R') return IpmiResponse::error(ccInvalidField);
    constexpr uint8_t initiate = 0xAA, getStatus = 0x00, eraseInProgress = 0x00, eraseCompleted = 0x01;
    if (r.data[5] == initiate) {
        ++erasesStarted;
        if (eraseStatusPolls <= 0) {
            clear();
            return IpmiResponse::ok({eraseCompleted});
        }
        erasing = true;
        eraseStatusLeft_ = eraseStatusPolls;
        return IpmiResponse::ok({eraseInProgress});
    }
    if (r.data[5] != getStatus) return IpmiResponse::error(ccInvalidField);
    if (erasing && --eraseStatusLeft_ <= 0) {
        erasing = false;
        clear();
    }
    return IpmiResponse::ok({erasing ? eraseInProgress : eraseCompleted});
}

void SelModel::install(SimBmc& bmc) {
    bmc.on(netFnStorage, cmdGetSelInfo, [this](const IpmiRequest&) { return IpmiResponse::ok(infoAnswer()); });
    bmc.on(netFnStorage, cmdReserveSel, [this](const IpmiRequest&) {
        ++reservationsMade;
        reservation = static_cast<uint16_t>(0x0100 + reservationsMade);  // never 0000h
        if (reservation == 0) reservation = 1;
        return IpmiResponse::ok({static_cast<uint8_t>(reservation), static_cast<uint8_t>(reservation >> 8)});
    });
    bmc.on(netFnStorage, cmdGetSelEntry, [this](const IpmiRequest& r) { return getEntry(r); });
    bmc.on(netFnStorage, cmdClearSel, [this](const IpmiRequest& r) { return clearCommand(r); });
}

SelEvent selEvent(uint32_t when, uint16_t generator, uint8_t sensorType, uint8_t sensorNumber, uint8_t dirType,
                  uint8_t d1, uint8_t d2, uint8_t d3) {
    SelEvent e;
    e.timestamp = when;
    e.generatorId = generator;
    e.sensorType = sensorType;
    e.sensorNumber = sensorNumber;
    e.eventDirType = dirType;
    e.data1 = d1;
    e.data2 = d2;
    e.data3 = d3;
    return e;
}

}  // namespace testkit
