#include "sdr_model.h"

#include <algorithm>
#include <cmath>

namespace testkit {

namespace {

constexpr uint8_t netFnSensorEvent = 0x04;
constexpr uint8_t netFnStorage = 0x0A;
constexpr uint8_t cmdGetSensorThresholds = 0x27;
constexpr uint8_t cmdGetSensorReading = 0x2D;
constexpr uint8_t cmdGetSdrRepositoryInfo = 0x20;
constexpr uint8_t cmdReserveSdrRepository = 0x22;
constexpr uint8_t cmdGetSdr = 0x23;
constexpr uint8_t cmdDeleteSdr = 0x26;

constexpr uint8_t ccReservationCancelled = 0xC5;
constexpr uint8_t ccRequestLengthInvalid = 0xC7;
constexpr uint8_t ccParameterOutOfRange = 0xC9;
constexpr uint8_t ccCannotReturnCount = 0xCA;
constexpr uint8_t ccNotPresent = 0xCB;
constexpr uint8_t ccIllegalForSensor = 0xCD;

constexpr uint8_t idTypeAscii8 = 0xC0;  // ID string type 11b: 8-bit ASCII + Latin 1
constexpr size_t maxIdLength = 31;
constexpr uint16_t lastRecordId = 0xFFFF;

uint8_t lo(unsigned v) { return static_cast<uint8_t>(v & 0xFF); }
uint8_t hi(unsigned v) { return static_cast<uint8_t>(v >> 8 & 0xFF); }

// Writes the common 5-byte header and the ID string (type/length byte at `idAt`).
Bytes recordWithName(uint8_t type, size_t idAt, const std::string& name) {
    const size_t n = std::min(name.size(), maxIdLength);
    Bytes r(idAt + 1 + n, 0);
    r[2] = 0x51;  // SDR version 1.5 format
    r[3] = type;
    r[4] = static_cast<uint8_t>(r.size() - 5);
    r[idAt] = static_cast<uint8_t>(idTypeAscii8 | n);
    for (size_t i = 0; i < n; ++i) r[idAt + 1 + i] = static_cast<uint8_t>(name[i]);
    return r;
}

bool isThresholdBased(const SensorFields& f) { return f.readingType == 0x01; }

uint8_t readableMask(const std::array<uint8_t, 6>& t) {
    uint8_t mask = 0;
    for (size_t k = 0; k < t.size(); ++k)
        if (t[k] != 0) mask = static_cast<uint8_t>(mask | 1U << k);
    return mask;
}

// Bytes 5 to 19, shared by full and compact records.
void writeSensorCommon(Bytes& r, const SensorFields& f) {
    r[5] = f.ownerId;
    r[6] = 0x00;  // owner LUN
    r[7] = f.number;
    r[8] = f.entityId;
    r[9] = f.entityInstance;
    r[10] = 0x7F;                                   // initialisation: scanning, events, thresholds...
    r[11] = isThresholdBased(f) ? 0x68 : 0x40;       // capabilities: readable/settable thresholds
    r[12] = f.sensorType;
    r[13] = f.readingType;
    if (isThresholdBased(f)) {
        const uint8_t mask = readableMask(f.thresholds);
        r[14] = 0x95;  // assertion and deassertion events of the critical thresholds
        r[15] = 0x0A;
        r[16] = 0x95;
        r[17] = 0x0A;
        r[18] = mask;  // readable thresholds
        r[19] = mask;  // settable thresholds
    } else {
        r[14] = 0xFF;
        r[15] = 0x7F;
        r[16] = 0xFF;
        r[17] = 0x7F;
        r[18] = 0xFF;
        r[19] = 0x7F;
    }
    r[20] = 0x00;  // unsigned analog data
    r[21] = f.unit;
    r[22] = 0x00;
}

double powerOfTen(int e) { return std::pow(10.0, e); }

}  // namespace

Bytes fullSensorRecord(const SensorFields& f) {
    Bytes r = recordWithName(0x01, 47, f.name);
    writeSensorCommon(r, f);
    const unsigned m = static_cast<unsigned>(f.m) & 0x3FF;
    const unsigned b = static_cast<unsigned>(f.b) & 0x3FF;
    r[23] = f.linearization;
    r[24] = lo(m);
    r[25] = static_cast<uint8_t>((m >> 8) << 6);
    r[26] = lo(b);
    r[27] = static_cast<uint8_t>((b >> 8) << 6);
    r[28] = 0x00;
    r[29] = static_cast<uint8_t>((f.rExp & 0x0F) << 4 | (f.bExp & 0x0F));
    r[30] = 0x00;  // no nominal / normal readings given
    r[34] = 0xFF;  // sensor maximum
    r[35] = 0x00;  // sensor minimum
    r[36] = f.thresholds[5];
    r[37] = f.thresholds[4];
    r[38] = f.thresholds[3];
    r[39] = f.thresholds[2];
    r[40] = f.thresholds[1];
    r[41] = f.thresholds[0];
    r[42] = 0x02;  // hysteresis
    r[43] = 0x02;
    return r;
}

Bytes compactSensorRecord(const SensorFields& f) {
    Bytes r = recordWithName(0x02, 31, f.name);
    writeSensorCommon(r, f);
    r[23] = 0x00;  // no record sharing
    r[24] = 0x00;
    return r;
}

Bytes eventOnlyRecord(const std::string& name, uint8_t number, uint8_t sensorType, uint8_t readingType) {
    Bytes r = recordWithName(0x03, 16, name);
    r[5] = 0x20;
    r[7] = number;
    r[8] = 0x07;
    r[9] = 0x01;
    r[10] = sensorType;
    r[11] = readingType;
    return r;
}

Bytes fruLocatorRecord(const std::string& name, uint8_t fruDeviceId) {
    Bytes r = recordWithName(0x11, 15, name);
    r[5] = 0x20;         // device access address
    r[6] = fruDeviceId;
    r[7] = 0x80;         // logical FRU device
    r[10] = 0x10;        // device type: FRU inventory
    r[12] = 0x07;        // entity: system board
    r[13] = 0x01;
    return r;
}

Bytes mcLocatorRecord(const std::string& name, uint8_t slaveAddr) {
    Bytes r = recordWithName(0x12, 15, name);
    r[5] = slaveAddr;
    r[8] = 0x29;  // capabilities: FRU inventory, SEL, sensors
    r[12] = 0x2E;  // entity: management controller
    r[13] = 0x01;
    return r;
}

Bytes oemRecord(uint32_t manufacturerId, const Bytes& data) {
    Bytes r = {0x00, 0x00, 0x51, 0xC0, 0x00, lo(manufacturerId), hi(manufacturerId),
               static_cast<uint8_t>(manufacturerId >> 16 & 0xFF)};
    r.insert(r.end(), data.begin(), data.end());
    r[4] = static_cast<uint8_t>(r.size() - 5);
    return r;
}

uint8_t rawFor(const SensorFields& f, double value) {
    if (f.m == 0) return 0;
    const double raw = (value / powerOfTen(f.rExp) - f.b * powerOfTen(f.bExp)) / f.m;
    return static_cast<uint8_t>(std::clamp(std::lround(raw), 0L, 255L));
}

SensorState& SensorState::value(const SensorFields& f, double v) {
    reading = rawFor(f, v);
    return *this;
}

uint16_t SdrModel::add(Bytes record) {
    if (record.size() < 5) record.resize(5, 0);
    const uint16_t id = nextRecordId_++;
    record[0] = lo(id);
    record[1] = hi(id);
    records.push_back(std::move(record));
    return id;
}

SensorState& SdrModel::addSensor(Bytes record, const SensorFields& f) {
    add(std::move(record));
    SensorState& s = sensors[f.number];
    s.thresholds = f.thresholds;
    s.thresholdMask = readableMask(f.thresholds);
    s.hasThresholds = isThresholdBased(f);
    return s;
}

SensorState& SdrModel::addFull(const SensorFields& f) { return addSensor(fullSensorRecord(f), f); }
SensorState& SdrModel::addCompact(const SensorFields& f) { return addSensor(compactSensorRecord(f), f); }

void SdrModel::clear() {
    records.clear();
    sensors.clear();
    nextRecordId_ = 1;
}

void SdrModel::supersedeReservation() {
    ++reservationsMade;
    reservation = static_cast<uint16_t>(reservationsMade & 0xFFFF);
    if (reservation == 0) reservation = 1;
}

Bytes SdrModel::repositoryInfo() const {
    const unsigned count = reportedCount ? *reportedCount : static_cast<unsigned>(records.size());
    size_t used = 0;
    for (const Bytes& r : records) used += r.size();
    const unsigned freeSpace = used < 0x2000 ? static_cast<unsigned>(0x2000 - used) : 0;
    return {sdrVersion, lo(count),  hi(count),  lo(freeSpace), hi(freeSpace),
            0x5C, 0x2A, 0x8F, 0x65,    // most recent addition
            0x00, 0x00, 0x00, 0x00,    // never erased
            0x2A};                     // non-modal update, delete and reserve supported
}

void SdrModel::install(SimBmc& bmc) {
    bmc.on(netFnStorage, cmdGetSdrRepositoryInfo, [this](const IpmiRequest&) { return IpmiResponse::ok(repositoryInfo()); });

    bmc.on(netFnStorage, cmdReserveSdrRepository, [this](const IpmiRequest&) {
        supersedeReservation();
        return IpmiResponse::ok({lo(reservation), hi(reservation)});
    });

    bmc.on(netFnStorage, cmdGetSdr, [this](const IpmiRequest& r) -> std::optional<IpmiResponse> {
        if (r.data.size() != 6) return IpmiResponse::error(ccRequestLengthInvalid);
        if (beforeGetSdr) beforeGetSdr(*this, r);
        const uint16_t resId = static_cast<uint16_t>(r.data[0] | r.data[1] << 8);
        const uint16_t id = static_cast<uint16_t>(r.data[2] | r.data[3] << 8);
        const uint8_t offset = r.data[4];
        const uint8_t count = r.data[5];
        // Reads from inside a record are only valid under the current reservation.
        if ((offset != 0 || resId != 0) && (reservation == 0 || resId != reservation))
            return IpmiResponse::error(ccReservationCancelled);
        if (records.empty()) return IpmiResponse::error(ccNotPresent);
        size_t index = 0;
        if (id == lastRecordId) {
            index = records.size() - 1;
        } else if (id != 0x0000) {
            auto it = std::find_if(records.begin(), records.end(),
                                   [id](const Bytes& rec) { return (rec[0] | rec[1] << 8) == id; });
            if (it == records.end()) return IpmiResponse::error(ccNotPresent);
            index = static_cast<size_t>(it - records.begin());
        }
        const Bytes& rec = records[index];
        if (offset > rec.size()) return IpmiResponse::error(ccParameterOutOfRange);
        const size_t available = rec.size() - offset;
        const size_t n = count == 0xFF ? available : std::min<size_t>(count, available);
        if (n > maxReadCount) return IpmiResponse::error(ccCannotReturnCount);
        const Bytes& next = index + 1 < records.size() ? records[index + 1] : Bytes{0xFF, 0xFF};
        Bytes out = {next[0], next[1]};
        out.insert(out.end(), rec.begin() + offset, rec.begin() + static_cast<long>(offset + n));
        return IpmiResponse::ok(out);
    });

    bmc.on(netFnStorage, cmdDeleteSdr, [this](const IpmiRequest& r) {
        if (r.data.size() != 4) return IpmiResponse::error(ccRequestLengthInvalid);
        const uint16_t resId = static_cast<uint16_t>(r.data[0] | r.data[1] << 8);
        const uint16_t id = static_cast<uint16_t>(r.data[2] | r.data[3] << 8);
        if (reservation == 0 || resId != reservation) return IpmiResponse::error(ccReservationCancelled);
        auto it = std::find_if(records.begin(), records.end(), [id](const Bytes& rec) { return (rec[0] | rec[1] << 8) == id; });
        if (it == records.end()) return IpmiResponse::error(ccNotPresent);
        records.erase(it);
        deleted.push_back(id);
        // A change to the repository cancels the reservation, as on a real BMC.
        reservation = 0;
        return IpmiResponse::ok({lo(id), hi(id)});
    });

    bmc.on(netFnSensorEvent, cmdGetSensorReading, [this](const IpmiRequest& r) {
        if (r.data.size() != 1) return IpmiResponse::error(ccRequestLengthInvalid);
        auto it = sensors.find(r.data[0]);
        if (it == sensors.end()) return IpmiResponse::error(ccNotPresent);
        const SensorState& s = it->second;
        if (s.readingCc) return IpmiResponse::error(*s.readingCc);
        if (s.readingAnswer) return IpmiResponse::ok(*s.readingAnswer);
        Bytes out = {s.reading, s.flags, lo(s.states)};
        if (!s.threeBytes) out.push_back(hi(s.states));
        return IpmiResponse::ok(out);
    });

    bmc.on(netFnSensorEvent, cmdGetSensorThresholds, [this](const IpmiRequest& r) {
        if (r.data.size() != 1) return IpmiResponse::error(ccRequestLengthInvalid);
        auto it = sensors.find(r.data[0]);
        if (it == sensors.end()) return IpmiResponse::error(ccNotPresent);
        const SensorState& s = it->second;
        if (s.thresholdsCc) return IpmiResponse::error(*s.thresholdsCc);
        if (!s.hasThresholds) return IpmiResponse::error(ccIllegalForSensor);
        Bytes out = {s.thresholdMask};
        out.insert(out.end(), s.thresholds.begin(), s.thresholds.end());
        return IpmiResponse::ok(out);
    });
}

}  // namespace testkit
