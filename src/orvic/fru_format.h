// The FRU format as a value: an image decoded from a ByteView into its areas, fields and
// multi-records (with where each lies and what the decode found wrong), and an image built
// back from such a value. Nothing here reads or writes process-wide state; the FRU records
// are filled from a decoded image in one place (putFRURecords, fru_util.h), and the image
// builder of field editing starts from a value made of those records.
//
// Also the two replies of FRU access, decoded from their response data.
#ifndef VKT_FRU_FORMAT_H
#define VKT_FRU_FORMAT_H

#include <array>
#include <cstddef>
#include <vector>

#include "byte_view.h"
#include "vkt_types.h"

// What the process-wide area records hold of an image (the value itself holds all of it).
constexpr size_t fruTextSize = 64;                    // a record text field, terminator included
constexpr size_t fruMaxTextLength = fruTextSize - 1;  // also the 6-bit limit of a type/length byte
constexpr size_t fruCustomSize = 128;
constexpr size_t fruMultiDataSize = 64;
constexpr int fruMultiRecordCount = 32;

namespace vkt {

constexpr BYTE fruEndOfFields = 0xC1;     // type/length byte that ends an area's fields
constexpr BYTE fruTypeAscii8 = 0xC0;      // type bits of 8-bit ASCII text
constexpr BYTE fruLengthMask = 0x3F;
constexpr BYTE fruMultiEndOfList = 0x80;  // flag bit of the last multi-record
constexpr BYTE fruChassisTypeUnknown = 2;
constexpr BYTE fruFormatVersion = 1;

constexpr size_t fruAreaUnit = 8;  // area offsets and lengths count in these
constexpr size_t fruHeaderSize = 8;
constexpr size_t fruMultiHeaderSize = 5;
constexpr size_t fruInternalUseChunk = 8;  // an internal-use area is read as 8 or 16 bytes

// The areas in the order the common header names them (header bytes 1 to 5).
enum class FruAreaKind { internalUse, chassis, board, product, multiRecord };
constexpr int fruAreaCount = 5;
constexpr FruAreaKind fruAreaKinds[fruAreaCount] = {FruAreaKind::internalUse, FruAreaKind::chassis,
                                                    FruAreaKind::board, FruAreaKind::product,
                                                    FruAreaKind::multiRecord};

// The fields of each area, in the order the area holds them.
enum FruChassisField : size_t { fruChassisPart, fruChassisSerial, fruChassisFieldCount };
enum FruBoardField : size_t {
    fruBoardManufacturer,
    fruBoardProductName,
    fruBoardSerial,
    fruBoardPart,
    fruBoardFruFile,
    fruBoardFieldCount,
    fruBoardCustomer = fruBoardFieldCount,  // read as a field in the customer layout only
};
enum FruProductField : size_t {
    fruProductManufacturer,
    fruProductName,
    fruProductPartModel,
    fruProductVersion,
    fruProductSerial,
    fruProductAssetTag,
    fruProductFruFile,
    fruProductFieldCount,
};

// What a decode found wrong with an image: where one of these is set, the value does not
// hold every byte of the image's areas (an image built from it would lose or invent bytes).
enum FruProblem : unsigned {
    fruHeaderCut = 1u << 0,          // the image is shorter than the common header
    fruFieldCut = 1u << 1,           // a field (or its type/length byte) runs past the image end
    fruFieldsUnended = 1u << 2,      // an area's fields run to the image end without C1h
    fruBytesAfterFields = 1u << 3,   // other than zeros between the end of fields and the checksum
    fruLongInternalUse = 1u << 4,    // an internal-use area longer than the 8 or 16 bytes read
    fruRecordsUnended = 1u << 5,     // a multi-record chain runs out of image before its last record
};
using FruProblems = unsigned;

// One type/length field as stored.
struct FruField {
    size_t at = 0;         // where its type/length byte lies in the image
    bool present = false;  // the image holds the type/length byte
    BYTE typeLength = 0;
    BYTE held = 0;  // bytes of the field in the image: its length, fewer where the image ends
    std::array<BYTE, 63> bytes{};

    size_t length() const { return typeLength & fruLengthMask; }
    bool whole() const { return present && held == length(); }
    ByteView data() const { return ByteView(bytes.data(), held); }
    // 8-bit ASCII: C0h | n and the text's first n bytes (n at most 63).
    static FruField ofText(const char* text);
};

// A field's bytes as text: up to the first 00h, cut to the `cap` - 1 bytes `dst` holds and
// terminated. The length of the text.
size_t copyFieldText(char* dst, size_t cap, const FruField& field);
template <size_t N>
size_t copyFieldText(char (&dst)[N], const FruField& field) {
    return copyFieldText(dst, N, field);
}

// A chassis, board or product info area.
struct FruInfoArea {
    bool present = false;
    size_t start = 0;        // where it begins in the image
    bool headHeld = false;   // the image holds its first three bytes
    BYTE formatVersion = fruFormatVersion;
    BYTE lengthUnits = 0;    // its length byte as stored
    BYTE type = 0;           // chassis: the chassis type
    BYTE language = 0;       // board and product
    std::array<BYTE, 3> mfgDateTime{};  // board: minutes since 1996, least significant first
    std::vector<FruField> fields;
    // The bytes after the fields up to the end-of-fields marker (the type/length bytes of
    // custom fields included); none in the board's customer layout.
    std::vector<BYTE> custom;
    // The whole area as stored (fields, custom bytes, marker, zero padding and checksum),
    // when its length byte covers exactly that within the image; else empty. An area whose
    // content is unchanged is built back from these bytes, its checksum right or wrong.
    std::vector<BYTE> stored;

    // Field `i` (an empty one where the area has no such field).
    const FruField& field(size_t i) const;
};

struct FruInternalUseArea {
    bool present = false;
    size_t start = 0;
    size_t length = 0;  // 8 or 16 (bytes past the image end read as 00h)
    std::array<BYTE, 2 * fruInternalUseChunk> bytes{};
};

struct FruMultiRecord {
    size_t at = 0;
    BYTE typeId = 0;
    BYTE flag = 0;
    BYTE length = 0;  // data bytes, as the record header gives it
    BYTE recordChecksum = 0;
    BYTE headerChecksum = 0;
    std::vector<BYTE> data;  // as many as the image holds, at most `length`
};

struct FruMultiRecordArea {
    bool present = false;
    size_t start = 0;
    size_t end = 0;  // after the record marked end of list; the image end for a chain without one
    std::vector<FruMultiRecord> records;
};

// The layout choices a decode cannot tell from the bytes.
struct FruLayout {
    // The board area's first custom field is read as one more field (FRU device 1).
    bool boardCustomerField = false;
};

struct FruImage {
    FruLayout layout;
    std::array<BYTE, fruHeaderSize> header{};  // as stored (zeros when the image is shorter)
    FruInternalUseArea internalUse;
    FruInfoArea chassis, board, product;
    FruMultiRecordArea multiRecords;
    FruProblems problems = 0;

    BYTE version() const { return header[0]; }
    bool readWhole() const { return problems == 0; }
    bool has(FruAreaKind kind) const;
};

// Equal values hold the same areas, fields, bytes and problems, wherever these lie in their
// images and however the areas were stored (padding and checksums).
bool operator==(const FruField& a, const FruField& b);
bool operator==(const FruInfoArea& a, const FruInfoArea& b);
bool operator==(const FruInternalUseArea& a, const FruInternalUseArea& b);
bool operator==(const FruMultiRecord& a, const FruMultiRecord& b);
bool operator==(const FruMultiRecordArea& a, const FruMultiRecordArea& b);
bool operator==(const FruImage& a, const FruImage& b);

// ---- decoding ----------------------------------------------------------------------------
//
// The decode trusts the content (no checksum, version or encoding check) but not the extent:
// every area, field and chain stops at the image end, and what that cut is in `problems`.

// The type/length field at `at`; a field running past the image end holds what is there.
FruField readFruField(ByteView image, size_t at);
// The whole image: the header, then every area it names.
FruImage decodeFruImage(ByteView image, FruLayout layout = {});
// One area at `offset` (in 8-byte units) into `into`, as decodeFruImage reads it; the
// internal-use area takes its extent from the header of `image`.
void decodeFruArea(ByteView image, FruAreaKind kind, BYTE offset, FruImage& into);

// ---- building ----------------------------------------------------------------------------

// The common header and the areas the value holds, each right after the previous one in the
// order internal use, chassis, board, product, multi-record. Info areas get a fresh length
// byte, end-of-fields marker, zero padding and checksum, unless the value holds one as it
// was stored with the same content: that one is written as stored. Multi-records are
// written as they are, checksums included; missing bytes of a field or record as zeros.
std::vector<BYTE> buildFruImage(const FruImage& image);

// ---- replies of FRU access ---------------------------------------------------------------

// Get FRU Inventory Area Info: the area size, least significant byte first, and the access
// type. A shorter answer holds fewer of the three bytes.
struct FruInventoryInfoReply {
    static constexpr size_t fullLength = 3;
    std::array<BYTE, fullLength> bytes{};
    size_t received = 0;  // how many of the three bytes the BMC sent

    static FruInventoryInfoReply decode(ByteView data);
};

// Read FRU Data: the count the BMC says it returned, and the data bytes that follow it, cut
// to that count and to what was sent.
struct FruReadReply {
    BYTE countReturned = 0;
    ByteView data;

    static FruReadReply decode(ByteView reply);
};

}  // namespace vkt

#endif
