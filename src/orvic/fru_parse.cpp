// The FRU format parser: walks a FRU image into the process-wide area records and, on
// request, the board and product report records.
//
// The parser trusts the content (no checksum, version or encoding check) but not the
// extent: every area, field, custom run and multi-record chain stops at the image end and
// at the size of its record, and fruParseIncomplete tells when something had to be cut.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "bounded.h"
#include "fru_util.h"

fru_area_internal internal;
fru_area_chassis chassis;
fru_area_board board;
fru_area_product product;
fru_area_multi multi[fruMultiRecordCount];
int32_t fru_area_multi_len = 0;
BYTE hasInternal = 0, hasChassis = 0, hasBoard = 0, hasProduct = 0, hasMulti = 0;
fru_board_info boardInfo;
fru_product_info productInfo;
int32_t internalUseLength = 0;
BYTE fruParseIncomplete = 0;
FruStoredArea storedChassis, storedBoard, storedProduct;

namespace {

constexpr size_t areaUnit = 8;
constexpr size_t internalUseChunk = 8;
constexpr size_t multiHeaderSize = 5;
// Bytes of erased storage: what may follow an internal-use area that ends the image.
constexpr BYTE erasedZero = 0x00;
constexpr BYTE erasedOne = 0xFF;

using FruCursor = vkt::ByteCursor;

FruCursor areaCursor(BYTE offset, const BYTE* data, size_t imageLength, size_t skip) {
    return FruCursor(vkt::ByteView(data, imageLength), offset * areaUnit + skip);
}

// One type/length field: the low six bits are its length, the type bits are not decoded.
// The record keeps the full length, the text ends at the first NUL of the bytes; `stored`
// keeps the field as it is stored.
void readField(FruCursor& c, BYTE& len, char (&text)[fruTextSize], FruStoredField& stored) {
    stored = FruStoredField{};
    if (c.atEnd()) {
        fruParseIncomplete = 1;
        len = 0;
        text[0] = '\0';
        return;
    }
    const BYTE typeLength = c.next();
    const BYTE n = typeLength & vkt::fruLengthMask;
    char raw[fruTextSize] = {};
    size_t got = 0;
    for (; got < n && !c.atEnd(); ++got) raw[got] = static_cast<char>(c.next());
    if (got < n) {
        fruParseIncomplete = 1;
    } else {
        stored.kept = 1;
        stored.typeLength = typeLength;
        memcpy(stored.bytes, raw, n);
    }
    len = n;
    vkt::copyText(text, raw, got);
}

// The bytes after the fixed fields, up to the end-of-fields marker.
void readCustom(FruCursor& c, BYTE& customLen, BYTE (&custom)[fruCustomSize]) {
    customLen = 0;
    while (!c.atEnd() && c.peek() != vkt::fruEndOfFields) {
        const BYTE b = c.next();
        if (customLen < fruCustomSize) {
            custom[customLen++] = b;
        } else {
            fruParseIncomplete = 1;
        }
    }
    if (c.atEnd()) fruParseIncomplete = 1;
}

// After the end-of-fields marker an area holds only zero padding and its checksum, which is
// what the rebuild writes there. Anything else (the rest of a custom field whose data held a
// C1h byte, where the custom run stopped) would be lost by rebuilding from the records.
void checkAreaTail(const FruCursor& c, BYTE offset, vkt::ByteView image) {
    const size_t start = offset * areaUnit;
    const size_t end = std::min(start + image[start + 1] * areaUnit, image.size());
    for (size_t p = c.position() + 1; p + 1 < end; ++p)
        if (image[p] != 0) fruParseIncomplete = 1;
}

// The area's format version and its language byte (byte 2, where the area has one).
void keepAreaHead(FruStoredArea& stored, BYTE offset, vkt::ByteView image) {
    const size_t start = offset * areaUnit;
    if (!image.has(start + 2)) return;
    stored.kept = 1;
    stored.formatVersion = image[start];
    stored.language = image[start + 2];
}

// The whole area as stored, when its length byte covers all that was parsed (up to the
// end-of-fields marker at the cursor) and the checksum byte, within the image, with only
// zeros in between.
void keepWholeArea(FruStoredArea& stored, const FruCursor& c, BYTE offset, vkt::ByteView image) {
    const size_t start = offset * areaUnit;
    const size_t end = start + image[start + 1] * areaUnit;
    const size_t fieldsEnd = c.position() + 1;
    if (c.atEnd() || end > image.size() || fieldsEnd + 1 > end) return;
    for (size_t p = fieldsEnd; p + 1 < end; ++p)
        if (image[p] != 0) return;
    stored.whole = 1;
    stored.length = static_cast<uint16_t>(end - start);
    image.copyTo(stored.bytes, start, end - start);
}

fru_header readHeader(const BYTE* data, size_t imageLength) {
    fru_header h = {};
    const vkt::ByteView image(data, imageLength);
    if (image.size() >= sizeof h) memcpy(&h, image.data, sizeof h);
    return h;
}

void resetAreaRecords() {
    internal = fru_area_internal{};
    chassis = fru_area_chassis{};
    chassis.type = vkt::fruChassisTypeUnknown;
    board = fru_area_board{};
    product = fru_area_product{};
    for (fru_area_multi& m : multi) m = fru_area_multi{};
    fru_area_multi_len = 0;
    hasInternal = hasChassis = hasBoard = hasProduct = hasMulti = 0;
    internalUseLength = 0;
    fruParseIncomplete = 0;
    storedChassis = storedBoard = storedProduct = FruStoredArea{};
}

}  // namespace

void getMfgDateTime(char* formatedDateTime, const BYTE* mfgDateTime) {
    constexpr size_t textSize = 20;
    if (formatedDateTime == nullptr) return;
    formatedDateTime[0] = '\0';
    if (mfgDateTime == nullptr) return;
    const long minutes = static_cast<long>(mfgDateTime[0]) | static_cast<long>(mfgDateTime[1]) << 8 |
                         static_cast<long>(mfgDateTime[2]) << 16;
    struct tm base = {};
    base.tm_mday = 1;
    base.tm_mon = 0;
    base.tm_year = 96;
    base.tm_isdst = -1;
    // Seconds are added to a local base and broken down again in local time, so a date on the
    // other side of a daylight-saving change shows the clock shifted by that change.
    const time_t t = mktime(&base) + static_cast<time_t>(minutes) * 60;
    struct tm local = {};
    if (localtime_r(&t, &local) == nullptr) return;
    vkt::formatText(formatedDateTime, textSize, "%4d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900,
                    local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

void parseFRUInternalUse(BYTE offset, const BYTE* data, size_t imageLength, BYTE /*printFRUData*/) {
    FruCursor c = areaCursor(offset, data, imageLength, 0);
    for (size_t i = 0; i < internalUseChunk; ++i) internal.useData[i] = c.next();
    internalUseLength = static_cast<int32_t>(internalUseChunk);
    // Nothing in the format says how long this area is: it runs up to the area that follows
    // it. When that one starts two units later the area is 16 bytes, as much as the record
    // keeps; another area merely starting at +2 (behind one at +1) says nothing about it.
    const fru_header h = readHeader(data, imageLength);
    const BYTE following[] = {h.chassis, h.board, h.product, h.multi};
    int next = 0;  // the nearest area after this one
    for (BYTE f : following)
        if (f > offset && (next == 0 || f < next)) next = f;
    if (next == offset + 2) {
        for (size_t i = 0; i < internalUseChunk; ++i) internal.useData2[i] = c.next();
        internalUseLength = static_cast<int32_t>(2 * internalUseChunk);
    }
    // A longer area keeps bytes the record cannot hold. As the last area it runs to the
    // image end, where only erased bytes (all 00h or all FFh) may follow its first 8.
    if (next > offset + 2) fruParseIncomplete = 1;
    if (next == 0 && !c.atEnd()) {
        const BYTE blank = c.peek();
        if (blank != erasedZero && blank != erasedOne) fruParseIncomplete = 1;
        while (!c.atEnd() && fruParseIncomplete == 0)
            if (c.next() != blank) fruParseIncomplete = 1;
    }
}

void parseFRUChassisInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE /*printFRUData*/) {
    const vkt::ByteView image(data, imageLength);
    FruCursor c = areaCursor(offset, data, imageLength, 2);
    keepAreaHead(storedChassis, offset, image);
    chassis.type = c.next();
    readField(c, chassis.part_len, chassis.part, storedChassis.fields[0]);
    readField(c, chassis.serial_len, chassis.serial, storedChassis.fields[1]);
    readCustom(c, chassis.custom_len, chassis.custom);
    checkAreaTail(c, offset, image);
    keepWholeArea(storedChassis, c, offset, image);
}

void parseFRUBoardInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData) {
    const vkt::ByteView image(data, imageLength);
    FruCursor c = areaCursor(offset, data, imageLength, 3);
    keepAreaHead(storedBoard, offset, image);
    for (BYTE& b : board.mfg_date_time) b = c.next();
    FruStoredField* stored = storedBoard.fields;
    readField(c, board.mfg_len, board.mfg, stored[0]);
    readField(c, board.prod_len, board.prod, stored[1]);
    readField(c, board.serial_len, board.serial, stored[2]);
    readField(c, board.part_len, board.part, stored[3]);
    readField(c, board.fru_len, board.fru, stored[4]);
    if (fru1Flag == 0) {
        readCustom(c, board.custom_len, board.custom);
        checkAreaTail(c, offset, image);
        keepWholeArea(storedBoard, c, offset, image);
    } else {
        char customer[fruTextSize] = {};
        readField(c, board.custom_len, customer, stored[5]);
        memset(board.custom, 0, sizeof board.custom);
        vkt::copyText(reinterpret_cast<char*>(board.custom), sizeof board.custom, customer);
    }
    if (printFRUData == 0) return;

    char when[20];
    getMfgDateTime(when, board.mfg_date_time);
    VKT_FORMAT(boardInfo.boardMfgDateTime, "%s (%02X %02X %02X)", when, board.mfg_date_time[0],
               board.mfg_date_time[1], board.mfg_date_time[2]);
    vkt::copyText(boardInfo.manufacturerName, board.mfg);
    vkt::copyText(boardInfo.productName, board.prod);
    vkt::copyText(boardInfo.boardSerialNumber, board.serial);
    vkt::copyText(boardInfo.boardPartNumber, board.part);
    if (fru1Flag == 1) vkt::copyText(boardInfo.boardCustomer, reinterpret_cast<const char*>(board.custom));
}

void parseFRUProductInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData) {
    const vkt::ByteView image(data, imageLength);
    FruCursor c = areaCursor(offset, data, imageLength, 3);
    keepAreaHead(storedProduct, offset, image);
    FruStoredField* stored = storedProduct.fields;
    readField(c, product.mfg_len, product.mfg, stored[0]);
    readField(c, product.name_len, product.name, stored[1]);
    readField(c, product.part_len, product.part, stored[2]);
    readField(c, product.version_len, product.version, stored[3]);
    readField(c, product.serial_len, product.serial, stored[4]);
    readField(c, product.asset_len, product.asset, stored[5]);
    readField(c, product.fru_len, product.fru, stored[6]);
    readCustom(c, product.custom_len, product.custom);
    checkAreaTail(c, offset, image);
    keepWholeArea(storedProduct, c, offset, image);
    if (printFRUData == 0) return;

    vkt::copyText(productInfo.productManufacturerName, product.mfg);
    vkt::copyText(productInfo.productName, product.name);
    vkt::copyText(productInfo.productPartModelNumber, product.part);
    vkt::copyText(productInfo.productVersion, product.version);
    vkt::copyText(productInfo.productSerialNumber, product.serial);
    vkt::copyText(productInfo.productAssetTag, product.asset);
}

void parseFRUMultiRecord(BYTE offset, const BYTE* data, size_t imageLength, BYTE /*printFRUData*/) {
    FruCursor c = areaCursor(offset, data, imageLength, 0);
    fru_area_multi_len = 0;
    for (;;) {
        if (fru_area_multi_len >= fruMultiRecordCount || c.remaining() < multiHeaderSize) {
            // Out of records or out of image before the record marked end of list.
            fruParseIncomplete = 1;
            return;
        }
        fru_area_multi& m = multi[fru_area_multi_len++];
        m.rec_type_id = c.next();
        m.flag = c.next();
        m.rec_len = c.next();
        m.rec_checksum = c.next();
        m.head_checksum = c.next();
        for (size_t i = 0; i < m.rec_len; ++i) {
            if (c.atEnd()) {
                fruParseIncomplete = 1;
                return;
            }
            const BYTE b = c.next();
            if (i < fruMultiDataSize) {
                m.data[i] = b;
            } else {
                fruParseIncomplete = 1;
            }
        }
        if ((m.flag & vkt::fruMultiEndOfList) != 0) return;
    }
}

void parseFRUData(const BYTE* data, size_t imageLength, BYTE printFRUData) {
    if (data == nullptr) return;
    const BYTE version = vkt::ByteView(data, imageLength)[0];
    if (printFRUData != 0 && version != vkt::fruFormatVersion) return;

    resetAreaRecords();
    constexpr size_t headerSize = sizeof(fru_header);
    if (imageLength < headerSize) {
        fruParseIncomplete = 1;
        return;
    }
    const fru_header h = readHeader(data, imageLength);
    struct Area {
        BYTE offset;
        BYTE* present;
        void (*parse)(BYTE, const BYTE*, size_t, BYTE);
    };
    const Area areas[] = {
        {h.internal, &hasInternal, parseFRUInternalUse}, {h.chassis, &hasChassis, parseFRUChassisInfo},
        {h.board, &hasBoard, parseFRUBoardInfo},         {h.product, &hasProduct, parseFRUProductInfo},
        {h.multi, &hasMulti, parseFRUMultiRecord},
    };
    for (const Area& a : areas) {
        if (a.offset == 0) continue;
        *a.present = 1;
        a.parse(a.offset, data, imageLength, printFRUData);
    }
}
