// The simulated BMC's system event log: 16-byte records with record IDs, the log summary,
// reservations that can be cancelled, reading entries by record ID, and clearing.
#ifndef TESTKIT_SEL_MODEL_H
#define TESTKIT_SEL_MODEL_H

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim_bmc.h"

namespace testkit {

using SelRecord = std::array<uint8_t, 16>;

// The fields of a system event record (record type 02h).
struct SelEvent {
    uint32_t timestamp = 0;
    uint16_t generatorId = 0x0020;  // 0020h: the BMC; 0001h: the BIOS
    uint8_t evmRev = 0x04;
    uint8_t sensorType = 0;
    uint8_t sensorNumber = 0;
    uint8_t eventDirType = 0x6F;  // bit 7 deassertion, bits 6:0 event/reading type
    uint8_t data1 = 0;
    uint8_t data2 = 0xFF;
    uint8_t data3 = 0xFF;
};

// A system event from the fields that vary; event data 2 and 3 default to "unspecified".
SelEvent selEvent(uint32_t when, uint16_t generator, uint8_t sensorType, uint8_t sensorNumber, uint8_t dirType,
                  uint8_t d1, uint8_t d2 = 0xFF, uint8_t d3 = 0xFF);

constexpr uint8_t selTypeSystemEvent = 0x02;
constexpr uint8_t deassertion = 0x80;

// Record builders; the record ID (bytes 0-1) is filled in when the record is added.
SelRecord systemEventRecord(const SelEvent& e);
// OEM record with time stamp (types C0h-DFh): manufacturer ID (3 bytes, LS first), 6 OEM bytes.
SelRecord oemTimestampedSelRecord(uint8_t recordType, uint32_t timestamp, uint32_t manufacturerId,
                               const std::array<uint8_t, 6>& oemData);
// OEM record without time stamp (types E0h-FFh): 13 OEM bytes.
SelRecord oemSelRecord(uint8_t recordType, const std::array<uint8_t, 13>& oemData);

struct SelModel {
    uint8_t version = 0x51;
    uint8_t operationSupport = 0x02;  // reserve supported
    size_t capacityEntries = 3000;
    uint32_t lastAddition = 0;  // time stamps of the summary (0: before initialisation)
    uint32_t lastErase = 0;
    uint32_t clock = 0;  // the BMC's SEL time, used for erase stamps and untimed records
    std::vector<SelRecord> entries;
    // When set, Get SEL Info reports this entry count instead of the real one.
    std::optional<uint16_t> reportedCount;

    // Adds a record at the end of the log; returns its record ID.
    uint16_t add(SelRecord record);
    uint16_t addEvent(const SelEvent& e) { return add(systemEventRecord(e)); }
    // Empties the log (as Clear SEL does); the erase stamp becomes `clock`.
    void clear();

    // The current reservation is lost now / after `entryReads` more successful reads of
    // an entry; requests that carry it then answer C5h.
    void cancelReservation();
    void cancelReservationAfter(int entryReads);

    uint16_t reservation = 0;  // 0: none
    int reservationsMade = 0;

    // Erase status queries during which a started erase stays in progress (0: an erase
    // completes as it starts). The log is emptied when the erase completes.
    int eraseStatusPolls = 0;
    bool erasing = false;
    int erasesStarted = 0;

    Bytes infoAnswer() const;
    void install(SimBmc& bmc);

private:
    uint16_t nextRecordId_ = 1;
    int cancelAfterReads_ = -1;
    int eraseStatusLeft_ = 0;
    std::optional<IpmiResponse> getEntry(const IpmiRequest& r);
    std::optional<IpmiResponse> clearCommand(const IpmiRequest& r);
};

}  // namespace testkit

#endif
