// The simulated BMC's FRU inventory device, and a small builder of FRU images in the IPMI
// FRU format for tests and demo content.
#ifndef TESTKIT_FRU_MODEL_H
#define TESTKIT_FRU_MODEL_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim_bmc.h"

namespace testkit {

// ---- FRU images --------------------------------------------------------------------------

namespace fru {

// One type/length field as it is stored: 8-bit text by default (C0h | n, then the bytes),
// or any type/length byte with raw bytes.
struct Field {
    Bytes encoded;
    Field(const char* text);         // NOLINT(google-explicit-constructor): fields read as texts
    Field(const std::string& text);  // NOLINT(google-explicit-constructor)
    static Field raw(uint8_t typeLength, Bytes bytes);
};

struct MultiRecord {
    uint8_t type = 0;
    Bytes data;
    uint8_t formatVersion = 0x02;
};

// Steps of an area: bytes appended, zeros up to the size that leaves room for the checksum
// at a multiple of 8, then the length byte and the checksum that make the area sum 0.
void appendData(Bytes& area, const Bytes& data);
void padData(Bytes& area);
void appendDataChecksum(Bytes& area);
uint8_t zeroChecksum(const uint8_t* data, size_t n);

// Areas in the common layout (format version 1, fields, C1h, padding, checksum).
Bytes chassisInfoArea(uint8_t type, const std::vector<Field>& fields, const Bytes& custom = {});
Bytes boardInfoArea(uint32_t mfgMinutes, const std::vector<Field>& fields, const Bytes& custom = {},
                    uint8_t language = 0);
Bytes productInfoArea(const std::vector<Field>& fields, const Bytes& custom = {}, uint8_t language = 0);
// Records with their header and data checksums; the last one carries the end-of-list flag.
Bytes multiRecordArea(const std::vector<MultiRecord>& records);

// A whole image: the common header, then the areas given, in the order internal use,
// chassis, board, product, multi-record, each right after the previous one.
class ImageBuilder {
public:
    ImageBuilder& internalUse(Bytes data);
    ImageBuilder& chassis(uint8_t type, std::vector<Field> fields, Bytes custom = {});
    ImageBuilder& board(uint32_t mfgMinutes, std::vector<Field> fields, Bytes custom = {}, uint8_t language = 0);
    ImageBuilder& product(std::vector<Field> fields, Bytes custom = {}, uint8_t language = 0);
    ImageBuilder& multiRecords(std::vector<MultiRecord> records);
    // The built image is filled up to `size` bytes with `fill`.
    ImageBuilder& padTo(size_t size, uint8_t fill = 0xFF);
    Bytes build() const;

private:
    Bytes areas_[5];
    bool present_[5] = {};
    size_t padTo_ = 0;
    uint8_t fill_ = 0xFF;
};

// True when the header and every chassis, board and product area named in it sum to 0.
bool checksumsValid(const Bytes& image);

}  // namespace fru

// ---- the FRU device ----------------------------------------------------------------------

struct FruModel {
    Bytes image;   // FRU device 0, from offset 0
    Bytes image1;  // FRU device 1 (absent when empty)
    // Size of the inventory area in bytes (< 0: the size of the image).
    int32_t areaSize = -1;
    // 1: Get FRU Inventory Area Info reports the size in words. Reads and writes are
    // addressed by byte offsets either way.
    uint8_t accessType = 0;
    // The OEM write protection (30h/06h); Write FRU Data answers 80h while it is on.
    bool writeProtected = true;
    int lockRequests = 0;
    int unlockRequests = 0;

    // Faults on demand: Read FRU Data at these offsets answers this completion code, or
    // only this many bytes.
    std::map<uint16_t, uint8_t> failReadAt;
    std::map<uint16_t, uint8_t> shortReadAt;
    // Write FRU Data at these offsets answers this completion code.
    std::map<uint16_t, uint8_t> failWriteAt;

    size_t area() const;
    void install(SimBmc& bmc);

private:
    IpmiResponse areaInfo(const IpmiRequest& r);
    IpmiResponse read(const IpmiRequest& r);
    IpmiResponse write(const IpmiRequest& r);
    Bytes* device(uint8_t id);
};

}  // namespace testkit

#endif
