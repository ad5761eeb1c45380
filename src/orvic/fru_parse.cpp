// The FRU format parser's process-wide side: the area and report records, and the one place
// they are filled from an image decoded by decodeFruImage (fru_decode.cpp).
//
// The decode trusts the content (no checksum, version or encoding check) but not the extent;
// the records hold what fits them, and fruParseIncomplete tells when that is not the whole
// image.
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

using vkt::FruAreaKind;
using vkt::FruField;
using vkt::FruInfoArea;

constexpr int storedChassisIndex = 0, storedBoardIndex = 1, storedProductIndex = 2;

// ---- records of a decoded image (pure) ------------------------------------------------------

// A field's record: its full length, and its text up to the first 00h of the bytes held; the
// stored copy when the image holds all of it.
void fieldRecord(const FruField& f, BYTE& len, char (&text)[fruTextSize], FruStoredField& stored) {
    len = static_cast<BYTE>(f.length());
    vkt::copyFieldText(text, f);
    stored = FruStoredField{};
    if (!f.whole()) return;
    stored.kept = 1;
    stored.typeLength = f.typeLength;
    memcpy(stored.bytes, f.bytes.data(), f.length());
}

// The custom bytes a record holds; false when there are more.
bool customRecord(const std::vector<BYTE>& custom, BYTE& customLen, BYTE (&out)[fruCustomSize]) {
    const size_t n = std::min(custom.size(), fruCustomSize);
    std::copy(custom.begin(), custom.begin() + static_cast<long>(n), out);
    customLen = static_cast<BYTE>(n);
    return n == custom.size();
}

void storedAreaRecord(const FruInfoArea& area, FruAreaKind kind, FruStoredArea& stored) {
    if (area.headHeld) {
        stored.kept = 1;
        stored.formatVersion = area.formatVersion;
        stored.language = kind == FruAreaKind::chassis ? area.type : area.language;
    }
    if (!area.stored.empty() && area.stored.size() <= sizeof stored.bytes) {
        stored.whole = 1;
        stored.length = static_cast<uint16_t>(area.stored.size());
        std::copy(area.stored.begin(), area.stored.end(), stored.bytes);
    }
}

// The fields of an area into their records, in the order the area holds them.
struct FieldSlot {
    BYTE* len;
    char (*text)[fruTextSize];
};

template <size_t N>
void fieldRecords(const FruInfoArea& area, const FieldSlot (&slots)[N], FruStoredArea& stored) {
    for (size_t i = 0; i < N && i < area.fields.size(); ++i)
        fieldRecord(area.fields[i], *slots[i].len, *slots[i].text, stored.fields[i]);
}

bool chassisRecord(const FruInfoArea& area, fru_area_chassis& r, FruStoredArea& stored) {
    storedAreaRecord(area, FruAreaKind::chassis, stored);
    r.type = area.type;
    const FieldSlot slots[] = {{&r.part_len, &r.part}, {&r.serial_len, &r.serial}};
    fieldRecords(area, slots, stored);
    return customRecord(area.custom, r.custom_len, r.custom);
}

bool boardRecord(const FruInfoArea& area, fru_area_board& r, FruStoredArea& stored) {
    storedAreaRecord(area, FruAreaKind::board, stored);
    std::copy(area.mfgDateTime.begin(), area.mfgDateTime.end(), r.mfg_date_time);
    const FieldSlot slots[] = {{&r.mfg_len, &r.mfg},
                               {&r.prod_len, &r.prod},
                               {&r.serial_len, &r.serial},
                               {&r.part_len, &r.part},
                               {&r.fru_len, &r.fru}};
    fieldRecords(area, slots, stored);
    if (area.fields.size() <= vkt::fruBoardCustomer) return customRecord(area.custom, r.custom_len, r.custom);
    // The customer layout: the first custom field is a text like the others.
    char customer[fruTextSize] = {};
    fieldRecord(area.fields[vkt::fruBoardCustomer], r.custom_len, customer, stored.fields[vkt::fruBoardCustomer]);
    vkt::copyText(reinterpret_cast<char*>(r.custom), sizeof r.custom, customer);
    return true;
}

bool productRecord(const FruInfoArea& area, fru_area_product& r, FruStoredArea& stored) {
    storedAreaRecord(area, FruAreaKind::product, stored);
    const FieldSlot slots[] = {{&r.mfg_len, &r.mfg},         {&r.name_len, &r.name},     {&r.part_len, &r.part},
                               {&r.version_len, &r.version}, {&r.serial_len, &r.serial}, {&r.asset_len, &r.asset},
                               {&r.fru_len, &r.fru}};
    fieldRecords(area, slots, stored);
    return customRecord(area.custom, r.custom_len, r.custom);
}

// The records of a chain: at most fruMultiRecordCount, each with at most fruMultiDataSize
// data bytes (its length as stored); false when that is not all of it.
bool chainRecords(const vkt::FruMultiRecordArea& area, FruRecordSet& r) {
    bool all = area.records.size() <= static_cast<size_t>(fruMultiRecordCount);
    r.recordCount = static_cast<int32_t>(std::min(area.records.size(), static_cast<size_t>(fruMultiRecordCount)));
    for (int32_t i = 0; i < r.recordCount; ++i) {
        const vkt::FruMultiRecord& m = area.records[static_cast<size_t>(i)];
        fru_area_multi& out = r.records[i];
        out.rec_type_id = m.typeId;
        out.flag = m.flag;
        out.rec_len = m.length;
        out.rec_checksum = m.recordChecksum;
        out.head_checksum = m.headerChecksum;
        const size_t n = std::min(m.data.size(), fruMultiDataSize);
        std::copy(m.data.begin(), m.data.begin() + static_cast<long>(n), out.data);
        all = all && n == m.data.size();
    }
    return all;
}

// ---- filling the process-wide records ---------------------------------------------------------

void putBoardReport(const fru_area_board& b, bool customerLayout) {
    char when[20];
    getMfgDateTime(when, b.mfg_date_time);
    VKT_FORMAT(boardInfo.boardMfgDateTime, "%s (%02X %02X %02X)", when, b.mfg_date_time[0], b.mfg_date_time[1],
               b.mfg_date_time[2]);
    vkt::copyText(boardInfo.manufacturerName, b.mfg);
    vkt::copyText(boardInfo.productName, b.prod);
    vkt::copyText(boardInfo.boardSerialNumber, b.serial);
    vkt::copyText(boardInfo.boardPartNumber, b.part);
    if (customerLayout) vkt::copyText(boardInfo.boardCustomer, reinterpret_cast<const char*>(b.custom));
}

void putProductReport(const fru_area_product& p) {
    vkt::copyText(productInfo.productManufacturerName, p.mfg);
    vkt::copyText(productInfo.productName, p.name);
    vkt::copyText(productInfo.productPartModelNumber, p.part);
    vkt::copyText(productInfo.productVersion, p.version);
    vkt::copyText(productInfo.productSerialNumber, p.serial);
    vkt::copyText(productInfo.productAssetTag, p.asset);
}

// One area's records from `r`.
void putArea(FruAreaKind kind, const FruRecordSet& r) {
    switch (kind) {
        case FruAreaKind::internalUse:
            internal = r.internalUse;
            internalUseLength = r.useLength;
            break;
        case FruAreaKind::chassis:
            chassis = r.chassisArea;
            storedChassis = r.stored[storedChassisIndex];
            break;
        case FruAreaKind::board:
            board = r.boardArea;
            storedBoard = r.stored[storedBoardIndex];
            break;
        case FruAreaKind::product:
            product = r.productArea;
            storedProduct = r.stored[storedProductIndex];
            break;
        case FruAreaKind::multiRecord:
            memcpy(multi, r.records, sizeof multi);
            fru_area_multi_len = r.recordCount;
            break;
    }
}

// The report of a board or product area the image holds.
void putReport(FruAreaKind kind, const vkt::FruImage& image, const FruRecordSet& r) {
    if (kind == FruAreaKind::board && image.board.present)
        putBoardReport(r.boardArea, image.layout.boardCustomerField);
    if (kind == FruAreaKind::product && image.product.present) putProductReport(r.productArea);
}

vkt::ByteView imageView(const BYTE* data, size_t imageLength) { return vkt::ByteView(data, imageLength); }

// One area of the image in `data`, decoded and put into its records.
void parseArea(FruAreaKind kind, BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData) {
    vkt::FruImage image;
    image.layout = fruLayout();
    vkt::decodeFruArea(imageView(data, imageLength), kind, offset, image);
    putFRUAreaRecords(kind, image, printFRUData);
}

}  // namespace

FruRecordSet fruRecordsOf(const vkt::FruImage& image) {
    FruRecordSet r{};
    r.chassisArea.type = vkt::fruChassisTypeUnknown;
    bool all = image.readWhole();
    if (image.internalUse.present) {
        const vkt::FruInternalUseArea& use = image.internalUse;
        memcpy(r.internalUse.useData, use.bytes.data(), sizeof r.internalUse.useData);
        if (use.length > vkt::fruInternalUseChunk)
            memcpy(r.internalUse.useData2, use.bytes.data() + vkt::fruInternalUseChunk, sizeof r.internalUse.useData2);
        r.useLength = static_cast<int32_t>(use.length);
    }
    if (image.chassis.present)
        all = chassisRecord(image.chassis, r.chassisArea, r.stored[storedChassisIndex]) && all;
    if (image.board.present) all = boardRecord(image.board, r.boardArea, r.stored[storedBoardIndex]) && all;
    if (image.product.present)
        all = productRecord(image.product, r.productArea, r.stored[storedProductIndex]) && all;
    if (image.multiRecords.present) all = chainRecords(image.multiRecords, r) && all;
    for (int i = 0; i < vkt::fruAreaCount; ++i) r.present[i] = image.has(vkt::fruAreaKinds[i]) ? 1 : 0;
    r.incomplete = all ? 0 : 1;
    return r;
}

FruRecordSet FruRecordSet::take() {
    FruRecordSet r;
    r.internalUse = internal;
    r.chassisArea = chassis;
    r.boardArea = board;
    r.productArea = product;
    memcpy(r.records, multi, sizeof multi);
    r.recordCount = fru_area_multi_len;
    const BYTE flags[] = {hasInternal, hasChassis, hasBoard, hasProduct, hasMulti};
    memcpy(r.present, flags, sizeof flags);
    r.useLength = internalUseLength;
    r.incomplete = fruParseIncomplete;
    r.stored[storedChassisIndex] = storedChassis;
    r.stored[storedBoardIndex] = storedBoard;
    r.stored[storedProductIndex] = storedProduct;
    return r;
}

void putFRURecords(const vkt::FruImage& image, BYTE printFRUData) {
    const FruRecordSet r = fruRecordsOf(image);
    for (FruAreaKind kind : vkt::fruAreaKinds) putArea(kind, r);
    hasInternal = r.present[0];
    hasChassis = r.present[1];
    hasBoard = r.present[2];
    hasProduct = r.present[3];
    hasMulti = r.present[4];
    fruParseIncomplete = r.incomplete;
    if (printFRUData == 0) return;
    for (FruAreaKind kind : vkt::fruAreaKinds) putReport(kind, image, r);
}

void putFRUAreaRecords(FruAreaKind kind, const vkt::FruImage& image, BYTE printFRUData) {
    const FruRecordSet r = fruRecordsOf(image);
    putArea(kind, r);
    if (r.incomplete != 0) fruParseIncomplete = 1;
    if (printFRUData != 0) putReport(kind, image, r);
}

vkt::FruLayout fruLayout() {
    vkt::FruLayout layout;
    layout.boardCustomerField = fru1Flag == 1;
    return layout;
}

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

void parseFRUInternalUse(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData) {
    parseArea(FruAreaKind::internalUse, offset, data, imageLength, printFRUData);
}

void parseFRUChassisInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData) {
    parseArea(FruAreaKind::chassis, offset, data, imageLength, printFRUData);
}

void parseFRUBoardInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData) {
    parseArea(FruAreaKind::board, offset, data, imageLength, printFRUData);
}

void parseFRUProductInfo(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData) {
    parseArea(FruAreaKind::product, offset, data, imageLength, printFRUData);
}

void parseFRUMultiRecord(BYTE offset, const BYTE* data, size_t imageLength, BYTE printFRUData) {
    parseArea(FruAreaKind::multiRecord, offset, data, imageLength, printFRUData);
}

vkt::FruImage parseFRUImage(vkt::ByteView image, BYTE printFRUData) {
    // The report records are only filled from an image of the one format version known.
    if (printFRUData != 0 && image[0] != vkt::fruFormatVersion) return vkt::FruImage{};
    vkt::FruImage decoded = vkt::decodeFruImage(image, fruLayout());
    putFRURecords(decoded, printFRUData);
    return decoded;
}

void parseFRUData(const BYTE* data, size_t imageLength, BYTE printFRUData) {
    if (data == nullptr) return;
    parseFRUImage(imageView(data, imageLength), printFRUData);
}
