// FRU inventory: access to the BMC's FRU device, the parser of the IPMI FRU format with its
// process-wide area and report records, the image builder used by field editing, and the
// binary and text forms of a FRU backup.
#ifndef VKT_FRU_UTIL_H
#define VKT_FRU_UTIL_H

#include <ctime>

#include "fru_format.h"
#include "vkt_types.h"

// ---- sizes -------------------------------------------------------------------------------

constexpr size_t fruImageSize = 4096;        // the BMC's FRU image buffer
constexpr size_t fruModuleImageSize = 256;   // an EEPROM image of a power or battery module
constexpr size_t fruWriteBufferSize = 8192;  // an image (or a file) to be written to the FRU
constexpr size_t fruSegmentSize = 16;      // Read FRU Data and the binary restore
constexpr size_t fruTextSegmentSize = 8;   // the text restore and the rebuilt image

namespace vkt {
// Command codes of the two FRU command sets and the FRU write protection.
constexpr BYTE cmdGetFruInventoryAreaInfo = 0x10;
constexpr BYTE cmdReadFruData = 0x11;
constexpr BYTE cmdWriteFruData = 0x12;
constexpr BYTE oemGetFruInventoryAreaInfo = 0x80;
constexpr BYTE oemReadFruData = 0x81;
constexpr BYTE oemWriteFruData = 0x82;
constexpr BYTE oemFruWriteProtect = 0x06;
constexpr BYTE fruProtectUnlock = 0x00;
constexpr BYTE fruProtectLock = 0x01;

constexpr BYTE fruAccessByWords = 1;       // access type of Get FRU Inventory Area Info
}  // namespace vkt

// ---- access ------------------------------------------------------------------------------

extern BYTE fruNetFu;
extern BYTE fruGetInventoryCmd;
extern BYTE fruReadFRUCmd;
extern BYTE fruWriteFRUCmd;
extern BYTE fruInventoryAreaInfo[3];
extern BYTE fru1Flag;
extern BYTE fruData[fruImageSize];
extern int32_t fruDataLength;

// Chooses the FRU command set from the file "fru_source_index" in the working directory:
// 0 (also a missing or unreadable file) the standard Storage commands, 1 the OEM set.
void loadFRUSourceSetting();
// Get FRU Inventory Area Info of FRU device 0 into fruInventoryAreaInfo; the completion code.
BYTE getFRUInventoryAreaInfo();
// Size in bytes of the inventory area that the last Get FRU Inventory Area Info reported
// (doubled for word access; not cut to fruImageSize).
size_t fruInventoryAreaSize();
// Reads the inventory area (at most fruImageSize bytes) in 16-byte segments into `data`;
// `*length` receives the number of bytes covered. 0 or the first failing completion code.
BYTE readFRUbySegment(BYTE (&data)[fruImageSize], int32_t* length);

// Write FRU Data of `count` bytes at the offset; the completion code.
BYTE writeFRUbySegment(BYTE offsetLS, BYTE offsetMS, const BYTE* data, BYTE count);
BYTE lockFRU();
BYTE unlockFRU();

// Writes the first `length` bytes of fruWriteBuffer from FRU offset 0 in segments of
// `segmentSize` bytes; 0 or the first failing completion code.
BYTE writeFRUBufferInSegments(size_t length, size_t segmentSize);

// ---- records -----------------------------------------------------------------------------

struct fru_header {
    BYTE version, internal, chassis, board, product, multi, pad, checksum;
};

struct fru_area_internal {
    BYTE useData[8];
    BYTE useData2[8];
};

struct fru_area_chassis {
    BYTE area_ver, area_len, type;
    BYTE part_len;
    char part[fruTextSize];
    BYTE serial_len;
    char serial[fruTextSize];
    BYTE custom_len;
    BYTE custom[fruCustomSize];
};

struct fru_area_board {
    BYTE area_ver, area_len, lang;
    BYTE mfg_date_time[3];
    BYTE mfg_len;
    char mfg[fruTextSize];
    BYTE prod_len;
    char prod[fruTextSize];
    BYTE serial_len;
    char serial[fruTextSize];
    BYTE part_len;
    char part[fruTextSize];
    BYTE fru_len;
    char fru[fruTextSize];
    BYTE custom_len;
    BYTE custom[fruCustomSize];
};

struct fru_area_product {
    BYTE area_ver, area_len, lang;
    BYTE mfg_len;
    char mfg[fruTextSize];
    BYTE name_len;
    char name[fruTextSize];
    BYTE part_len;
    char part[fruTextSize];
    BYTE version_len;
    char version[fruTextSize];
    BYTE serial_len;
    char serial[fruTextSize];
    BYTE asset_len;
    char asset[fruTextSize];
    BYTE fru_len;
    char fru[fruTextSize];
    BYTE custom_len;
    BYTE custom[fruCustomSize];
};

struct fru_area_multi {
    BYTE rec_type_id, flag, rec_len, rec_checksum, head_checksum;
    BYTE data[fruMultiDataSize];
};

struct fru_board_info {
    char manufacturerName[fruTextSize];
    char productName[fruTextSize];
    char boardSerialNumber[fruTextSize];
    char boardPartNumber[fruTextSize];
    char boardCustomer[fruTextSize];
    char boardMfgDateTime[fruTextSize];
};

struct fru_product_info {
    char productManufacturerName[fruTextSize];
    char productName[fruTextSize];
    char productPartModelNumber[fruTextSize];
    char productVersion[fruTextSize];
    char productSerialNumber[fruTextSize];
    char productAssetTag[fruTextSize];
};

extern fru_area_internal internal;
extern fru_area_chassis chassis;
extern fru_area_board board;
extern fru_area_product product;
extern fru_area_multi multi[fruMultiRecordCount];
extern int32_t fru_area_multi_len;
extern BYTE hasInternal, hasChassis, hasBoard, hasProduct, hasMulti;
extern fru_board_info boardInfo;
extern fru_product_info productInfo;

// How many internal-use bytes the last parse took (0, 8 or 16); the rebuilt image keeps them.
extern int32_t internalUseLength;
// Set by a parse that had to cut something (a field, custom run or multi-record chain that
// runs past the image end or does not fit its record): the records then do not hold the
// whole image, and rebuilding from them would lose data.
extern BYTE fruParseIncomplete;

// How the chassis, board and product areas of the last parse were stored, beyond what the
// records keep: a record holds a field's length and its text up to the first 00h byte, not
// its type bits (BCD plus, 6-bit packed ASCII, binary) nor the bytes after a 00h. A rebuild
// writes every field an edit did not name from these bytes, and an area whose content it
// did not change as it was stored, padding and checksum included.
struct FruStoredField {
    BYTE kept;  // 1: the type/length byte and bytes below are the field as stored
    BYTE typeLength;
    BYTE bytes[fruMaxTextLength];
};
constexpr size_t fruAreaMaxSize = 255 * 8;  // the largest length an area's length byte gives
constexpr int fruStoredFieldCount = 7;       // the most fields an area has (product)
struct FruStoredArea {
    BYTE kept;  // 1: formatVersion and language are the area's own
    BYTE formatVersion;
    BYTE language;  // board and product areas only
    BYTE whole;     // 1: bytes/length hold the whole area: fields, custom bytes, end marker,
                    // zero padding and checksum, within its length and the image
    uint16_t length;
    BYTE bytes[fruAreaMaxSize];
    FruStoredField fields[fruStoredFieldCount];  // in the order the area holds them
};
extern FruStoredArea storedChassis, storedBoard, storedProduct;

// The area records, the stored areas and what the parser said about them, as one value.
struct FruRecordSet {
    fru_area_internal internalUse;
    fru_area_chassis chassisArea;
    fru_area_board boardArea;
    fru_area_product productArea;
    fru_area_multi records[fruMultiRecordCount];
    int32_t recordCount;
    BYTE present[5];  // internal use, chassis, board, product, multi-records
    int32_t useLength;
    BYTE incomplete;
    FruStoredArea stored[3];  // chassis, board, product

    // The process-wide records as they stand.
    static FruRecordSet take();
};

// The records a parse of a decoded image leaves: what they can hold of its areas (texts up
// to their first 00h, custom bytes, multi-records and their data cut to the records' sizes),
// `incomplete` set when that is not all of it. Pure.
FruRecordSet fruRecordsOf(const vkt::FruImage& image);

// The one place the area records, the stored areas and (with `printFRUData`) the board and
// product report records are filled from a decoded image; every parse goes through here.
void putFRURecords(const vkt::FruImage& image, BYTE printFRUData);
// The same for one area's records, leaving the others (and the presence flags) as they are.
void putFRUAreaRecords(vkt::FruAreaKind kind, const vkt::FruImage& image, BYTE printFRUData);

// How FRU images are laid out for the device fru1Flag selects.
vkt::FruLayout fruLayout();

// ---- parser ------------------------------------------------------------------------------

// Parses a FRU image of `imageLength` bytes into the area records; with `printFRUData` also
// fills boardInfo/productInfo (and then only when the header's format version is 1).
void parseFRUData(const BYTE* data, size_t imageLength, BYTE printFRUData);
// parseFRUData, handing back the decoded image it filled the records from (an empty one when
// it changed nothing): the module collectors take their texts from it.
vkt::FruImage parseFRUImage(vkt::ByteView image, BYTE printFRUData);
template <size_t N>
inline void parseFRUData(const BYTE (&data)[N], BYTE printFRUData) {
    parseFRUData(data, N, printFRUData);
}
void parseFRUInternalUse(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData);
void parseFRUChassisInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData);
void parseFRUBoardInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData);
void parseFRUProductInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData);
void parseFRUMultiRecord(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData);

// Writes "yyyy/mm/dd hh:mm:ss" (local time) of a three-byte manufacturing date into
// `formatedDateTime`, which holds at least 20 bytes.
void getMfgDateTime(char* formatedDateTime, const BYTE* mfgDateTime);

// ---- backup and restore ------------------------------------------------------------------

extern BYTE fruWriteBuffer[fruWriteBufferSize];
extern int32_t fruWriteBufferLength;

// Result codes of the file routines (besides completion codes of a failed write).
constexpr int fruFileOk = 0;
constexpr int fruFileOpenError = 1;   // the file cannot be opened or created
constexpr int fruFileReadError = 2;   // the file cannot be read whole, or is unusable
constexpr int fruFileVersionError = 3;  // the image's header is not format version 1
constexpr int fruFileInconsistent = 4;  // a listing that does not list whole areas as a backup does

// Reads a binary image file whole into fruWriteBuffer / fruWriteBufferLength; nothing is sent.
int loadFRUFile(const char* path);
// Reads a text listing back into fruWriteBuffer / fruWriteBufferLength; nothing is sent.
// fruFileInconsistent when a text does not have the length its type/length byte gives, or
// the listing is not laid out as the backup lists the bytes it holds (section lines where
// the areas begin, nothing after the last area). Checksums are not looked at: a listing
// reproduces the image it was written from, wrong checksums included.
int loadFRUTextFile(const char* path);
// True when the listing of these bytes stops only because they end: were they the start of
// a longer image, an area or field would be listed further. Such a listing is the backup of
// an image of exactly this length (one whose last area runs to the end of the FRU, or whose
// header names an area past it); as anything else it is a listing cut short.
bool fruListingEndsWithImage(const BYTE* image, size_t imageLength);
// Writes a binary image file to the FRU in 16-byte segments.
int writeFRUfromFile(const char* path);
// Writes the text listing of the `imageLength` bytes at `image` to `path`.
int parseFRUDataToText(const BYTE* image, size_t imageLength, const char* path);
// Reads a text listing back and writes its bytes to the FRU in 8-byte segments (an
// inconsistent listing gives fruFileReadError and writes nothing).
int writeFRUfromTextFile(const char* path);

// ---- field editing -----------------------------------------------------------------------

// Changes one field of the area records (the field is then rebuilt as 8-bit text). 0, or 12
// for an unknown code or a chassis type that is not a hexadecimal byte (nothing is changed
// then).
int setFRUField(const char* code, const char* value);
// True for a field code setFRUField knows.
bool isFRUFieldCode(const char* code);
// 0 when setFRUField would accept the code and value, else 12.
int checkFRUField(const char* code, const char* value);
// Builds the image of the area records into fruWriteBuffer / fruWriteBufferLength. A field
// setFRUField did not set (and whose record still reads as stored) is written as stored;
// an area whose content is unchanged goes back as it was stored.
void toFRURaw();
// toFRURaw, then reads the built image back: true when it yields the same records, and every
// field it took as stored comes back with the same type/length byte and bytes, i.e. no field
// (named in an edit or not) would change by writing it. The records are kept.
bool toFRURawKeepsRecords();
// toFRURaw, then writes the image in 8-byte segments; the first failing completion code.
BYTE writeFRU();

// "YYYYMMDDhhmm" into a broken-down local time; false unless it is exactly 12 digits of a
// valid date and time.
bool strTimeToStructTm(const char* text, struct tm* t);
// Minutes from 1996-01-01 00:00 local time to `t`, least significant byte first (00 00 00 for
// a time before 1996); false, with `minutes3` unchanged, when it does not fit three bytes.
bool userInputTimeToMfgDateTimeFormat(struct tm* t, BYTE* minutes3);

#endif
