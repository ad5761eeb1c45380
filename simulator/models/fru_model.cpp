#include "fru_model.h"

#include <algorithm>

namespace testkit {

namespace {
constexpr uint8_t netFnStorage = 0x0A;
constexpr uint8_t netFnOem = 0x30;
constexpr uint8_t ccWriteProtected = 0x80;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccOutOfRange = 0xC9;
constexpr uint8_t ccCannotReturnCount = 0xCA;
constexpr uint8_t ccNotPresent = 0xCB;
constexpr uint8_t ccInvalidField = 0xCC;
constexpr size_t maxReadCount = 32;
constexpr uint8_t endOfList = 0x80;
constexpr uint8_t endOfFields = 0xC1;
}  // namespace

namespace fru {

Field::Field(const char* text) : Field(std::string(text)) {}

Field::Field(const std::string& text) {
    encoded.push_back(static_cast<uint8_t>(0xC0 | (text.size() & 0x3F)));
    encoded.insert(encoded.end(), text.begin(), text.end());
}

Field Field::raw(uint8_t typeLength, Bytes bytes) {
    Field f("");
    f.encoded = {typeLength};
    f.encoded.insert(f.encoded.end(), bytes.begin(), bytes.end());
    return f;
}

void appendData(Bytes& area, const Bytes& data) { area.insert(area.end(), data.begin(), data.end()); }

void padData(Bytes& area) {
    while ((area.size() + 1) % 8 != 0) area.push_back(0);
}

uint8_t zeroChecksum(const uint8_t* data, size_t n) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += data[i];
    return static_cast<uint8_t>(-sum & 0xFF);
}

void appendDataChecksum(Bytes& area) {
    area[1] = static_cast<uint8_t>((area.size() + 1) / 8);
    area.push_back(zeroChecksum(area.data(), area.size()));
}

namespace {
Bytes finishArea(Bytes area, const std::vector<Field>& fields, const Bytes& custom) {
    for (const Field& f : fields) appendData(area, f.encoded);
    appendData(area, custom);
    area.push_back(endOfFields);
    padData(area);
    appendDataChecksum(area);
    return area;
}
}  // namespace

Bytes chassisInfoArea(uint8_t type, const std::vector<Field>& fields, const Bytes& custom) {
    return finishArea({0x01, 0x00, type}, fields, custom);
}

Bytes boardInfoArea(uint32_t mfgMinutes, const std::vector<Field>& fields, const Bytes& custom, uint8_t language) {
    return finishArea({0x01, 0x00, language, static_cast<uint8_t>(mfgMinutes & 0xFF),
                       static_cast<uint8_t>(mfgMinutes >> 8 & 0xFF), static_cast<uint8_t>(mfgMinutes >> 16 & 0xFF)},
                      fields, custom);
}

Bytes productInfoArea(const std::vector<Field>& fields, const Bytes& custom, uint8_t language) {
    return finishArea({0x01, 0x00, language}, fields, custom);
}

Bytes multiRecordArea(const std::vector<MultiRecord>& records) {
    Bytes area;
    for (size_t i = 0; i < records.size(); ++i) {
        const MultiRecord& r = records[i];
        const uint8_t flag = static_cast<uint8_t>((r.formatVersion & 0x0F) | (i + 1 == records.size() ? endOfList : 0));
        Bytes head = {r.type, flag, static_cast<uint8_t>(r.data.size()), zeroChecksum(r.data.data(), r.data.size())};
        head.push_back(zeroChecksum(head.data(), head.size()));
        appendData(area, head);
        appendData(area, r.data);
    }
    return area;
}

ImageBuilder& ImageBuilder::internalUse(Bytes data) {
    areas_[0] = std::move(data);
    present_[0] = true;
    return *this;
}

ImageBuilder& ImageBuilder::chassis(uint8_t type, std::vector<Field> fields, Bytes custom) {
    areas_[1] = chassisInfoArea(type, fields, custom);
    present_[1] = true;
    return *this;
}

ImageBuilder& ImageBuilder::board(uint32_t mfgMinutes, std::vector<Field> fields, Bytes custom, uint8_t language) {
    areas_[2] = boardInfoArea(mfgMinutes, fields, custom, language);
    present_[2] = true;
    return *this;
}

ImageBuilder& ImageBuilder::product(std::vector<Field> fields, Bytes custom, uint8_t language) {
    areas_[3] = productInfoArea(fields, custom, language);
    present_[3] = true;
    return *this;
}

ImageBuilder& ImageBuilder::multiRecords(std::vector<MultiRecord> records) {
    areas_[4] = multiRecordArea(records);
    present_[4] = true;
    return *this;
}

ImageBuilder& ImageBuilder::padTo(size_t size, uint8_t fill) {
    padTo_ = size;
    fill_ = fill;
    return *this;
}

Bytes ImageBuilder::build() const {
    Bytes image = {0x01, 0, 0, 0, 0, 0, 0};
    size_t offset = 1;
    for (int i = 0; i < 5; ++i) {
        if (!present_[i]) continue;
        image[1 + i] = static_cast<uint8_t>(offset);
        offset += (areas_[i].size() + 7) / 8;
    }
    image.push_back(zeroChecksum(image.data(), image.size()));
    for (int i = 0; i < 5; ++i) {
        if (!present_[i]) continue;
        Bytes area = areas_[i];
        // Areas start at multiples of 8; an internal-use area of another size is filled up.
        if (i < 4) area.resize((area.size() + 7) / 8 * 8, 0);
        appendData(image, area);
    }
    if (image.size() < padTo_) image.resize(padTo_, fill_);
    return image;
}

bool checksumsValid(const Bytes& image) {
    if (image.size() < 8 || zeroChecksum(image.data(), 8) != 0) return false;
    for (int i = 2; i <= 4; ++i) {
        if (image[i] == 0) continue;
        const size_t start = image[i] * 8u;
        if (start + 2 > image.size()) return false;
        const size_t len = image[start + 1] * 8u;
        if (len == 0 || start + len > image.size()) return false;
        if (zeroChecksum(image.data() + start, len) != 0) return false;
    }
    return true;
}

}  // namespace fru

size_t FruModel::area() const { return areaSize >= 0 ? static_cast<size_t>(areaSize) : image.size(); }

Bytes* FruModel::device(uint8_t id) {
    if (id == 0) return &image;
    if (id == 1 && !image1.empty()) return &image1;
    return nullptr;
}

IpmiResponse FruModel::areaInfo(const IpmiRequest& r) {
    if (r.data.empty()) return IpmiResponse::error(ccRequestLength);
    Bytes* dev = device(r.data[0]);
    if (dev == nullptr) return IpmiResponse::error(ccNotPresent);
    size_t size = r.data[0] == 0 ? area() : dev->size();
    if (accessType == 1) size /= 2;
    return IpmiResponse::ok({static_cast<uint8_t>(size & 0xFF), static_cast<uint8_t>(size >> 8 & 0xFF), accessType});
}

IpmiResponse FruModel::read(const IpmiRequest& r) {
    if (r.data.size() != 4) return IpmiResponse::error(ccRequestLength);
    Bytes* dev = device(r.data[0]);
    if (dev == nullptr) return IpmiResponse::error(ccNotPresent);
    const uint16_t offset = static_cast<uint16_t>(r.data[2] << 8 | r.data[1]);
    if (auto f = failReadAt.find(offset); f != failReadAt.end()) return IpmiResponse::error(f->second);
    size_t count = r.data[3];
    if (count > maxReadCount) return IpmiResponse::error(ccCannotReturnCount);
    const size_t size = r.data[0] == 0 ? area() : dev->size();
    if (offset >= size) return IpmiResponse::error(ccOutOfRange);
    count = std::min(count, size - offset);
    if (auto s = shortReadAt.find(offset); s != shortReadAt.end()) count = std::min<size_t>(count, s->second);
    Bytes answer = {static_cast<uint8_t>(count)};
    // An area larger than the stored image reads as erased EEPROM.
    for (size_t i = 0; i < count; ++i) answer.push_back(offset + i < dev->size() ? (*dev)[offset + i] : 0xFF);
    return IpmiResponse::ok(answer);
}

IpmiResponse FruModel::write(const IpmiRequest& r) {
    if (r.data.size() < 4) return IpmiResponse::error(ccRequestLength);
    Bytes* dev = device(r.data[0]);
    if (dev == nullptr) return IpmiResponse::error(ccNotPresent);
    if (writeProtected) return IpmiResponse::error(ccWriteProtected);
    const uint16_t offset = static_cast<uint16_t>(r.data[2] << 8 | r.data[1]);
    if (auto f = failWriteAt.find(offset); f != failWriteAt.end()) return IpmiResponse::error(f->second);
    const size_t count = r.data.size() - 3;
    const size_t size = r.data[0] == 0 ? area() : dev->size();
    if (offset + count > size) return IpmiResponse::error(ccOutOfRange);
    if (dev->size() < offset + count) dev->resize(offset + count, 0xFF);
    std::copy(r.data.begin() + 3, r.data.end(), dev->begin() + offset);
    return IpmiResponse::ok({static_cast<uint8_t>(count)});
}

void FruModel::install(SimBmc& bmc) {
    for (uint8_t netFn : {netFnStorage, netFnOem}) {
        const uint8_t base = netFn == netFnStorage ? 0x10 : 0x80;
        bmc.on(netFn, base, [this](const IpmiRequest& r) { return areaInfo(r); });
        bmc.on(netFn, static_cast<uint8_t>(base + 1), [this](const IpmiRequest& r) { return read(r); });
        bmc.on(netFn, static_cast<uint8_t>(base + 2), [this](const IpmiRequest& r) { return write(r); });
    }
    bmc.on(netFnOem, 0x06, [this](const IpmiRequest& r) {
        if (r.data.size() != 1) return IpmiResponse::error(ccRequestLength);
        if (r.data[0] > 1) return IpmiResponse::error(ccInvalidField);
        writeProtected = r.data[0] == 1;
        ++(writeProtected ? lockRequests : unlockRequests);
        return IpmiResponse::ok();
    });
}

}  // namespace testkit
