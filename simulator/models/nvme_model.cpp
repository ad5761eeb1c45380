#include "nvme_model.h"

#include "sim_records.h"

namespace testkit {

namespace {

constexpr uint8_t netFnOem = 0x30;
constexpr uint8_t cmdTagsAndDrives = 0x70;
constexpr uint8_t nvmeSelector = 0x6C;
constexpr uint8_t query = 0x00, manage = 0x01, dataRead = 0x01;

constexpr size_t imageSize = 128;
constexpr size_t serialAt = 5, serialWidth = 20;
constexpr size_t modelAt = 25, modelWidth = 40;
constexpr size_t linkAt = 65;
constexpr size_t powerAt = 69, maxPowerAt = 72;
constexpr size_t temperatureAt = 102;

constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccOutOfRange = 0xC9;
constexpr uint8_t ccNotPresent = 0xCB;
constexpr uint8_t ccInvalidField = 0xCC;

void putText(Bytes& image, size_t at, size_t width, const std::string& text) {
    for (size_t i = 0; i < width; ++i) image[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

uint8_t lo(uint16_t v) { return static_cast<uint8_t>(v); }
uint8_t hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }

}  // namespace

Bytes NvmeDrive::image() const {
    Bytes image(imageSize, 0x00);
    for (size_t i = 0; i < classCode.size(); ++i) image[i] = classCode[i];
    image[3] = lo(vendorId);
    image[4] = hi(vendorId);
    putText(image, serialAt, serialWidth, serial);
    putText(image, modelAt, modelWidth, model);
    image[linkAt] = port0Speed;
    image[linkAt + 1] = port0Width;
    image[linkAt + 2] = port1Speed;
    image[linkAt + 3] = port1Width;
    image[powerAt] = initialPower;
    image[maxPowerAt] = maxPower;
    image[temperatureAt] = temperature;
    return image;
}

uint16_t NvmeCard::presence() const {
    if (presenceOverride) return *presenceOverride;
    uint16_t bits = 0;
    for (const auto& d : drives)
        if (d.first >= 0 && d.first < 16) bits = static_cast<uint16_t>(bits | 1u << d.first);
    return bits;
}

// {6Ch, 00h, card, slot, 01h, offset, length}: status byte 00h, then the data.
std::optional<IpmiResponse> NvmeModel::readDrive(const NvmeCard& card, const Bytes& d) {
    if (d[4] != dataRead) return IpmiResponse::error(ccInvalidField);
    auto it = card.drives.find(d[3]);
    if (it == card.drives.end()) return IpmiResponse::error(ccNotPresent);
    if (it->second.readCc) return IpmiResponse::error(*it->second.readCc);
    const size_t offset = d[5], length = d[6];
    if (offset + length > imageSize) return IpmiResponse::error(ccOutOfRange);
    const Bytes image = it->second.image();
    Bytes out = {0x00};
    out.insert(out.end(), image.begin() + static_cast<long>(offset), image.begin() + static_cast<long>(offset + length));
    return IpmiResponse::ok(out);
}

std::optional<IpmiResponse> NvmeModel::handle(const IpmiRequest& r) {
    const Bytes& d = r.data;
    if (d.size() < 5) return IpmiResponse::error(ccRequestLength);
    if (d[1] == manage) {
        if (d.size() != 5) return IpmiResponse::error(ccRequestLength);
        noteRecord(managementRequests, Bytes(d.begin() + 2, d.end()));
        return IpmiResponse::ok();
    }
    if (d[1] != query) return IpmiResponse::error(ccInvalidField);
    if (d[2] >= cards.size()) return IpmiResponse::error(ccInvalidField);
    const NvmeCard& card = cards[d[2]];
    if (d.size() == 7) return readDrive(card, d);
    if (d.size() != 5) return IpmiResponse::error(ccRequestLength);
    if (card.statusCc) return IpmiResponse::error(*card.statusCc);
    const uint16_t present = card.presence();
    return IpmiResponse::ok({0x00, 0x00, lo(card.locate), hi(card.locate), lo(present), hi(present), card.cpld[0], card.cpld[1]});
}

void NvmeModel::install(SimBmc& bmc) {
    bmc.onSelector(netFnOem, cmdTagsAndDrives, nvmeSelector, [this](const IpmiRequest& r) { return handle(r); });
}

}  // namespace testkit
