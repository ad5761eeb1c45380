// Field editing and rebuilding: the area records are changed field by field, and a complete
// FRU image is built (buildFruImage, fru_build.cpp) from the image they describe.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <vector>

#include "bounded.h"
#include "fru_util.h"

BYTE fruWriteBuffer[fruWriteBufferSize];
int32_t fruWriteBufferLength = 0;

namespace {

using vkt::FruField;
using vkt::FruInfoArea;

// ---- the image the records describe ---------------------------------------------------------

// A field as the parse stored it, unless it was set since: then its text as 8-bit ASCII.
FruField fieldOf(const char* text, const FruStoredField& stored) {
    if (stored.kept == 0) return FruField::ofText(text);
    FruField f;
    f.present = true;
    f.typeLength = stored.typeLength;
    f.held = static_cast<BYTE>(f.length());
    std::copy(stored.bytes, stored.bytes + f.length(), f.bytes.begin());
    return f;
}

// What the parse read of an area beyond its records: its format version and language byte
// (those of a new area otherwise) and, when it held the whole area, the area as stored.
FruInfoArea infoAreaOf(const FruStoredArea& stored) {
    FruInfoArea area;
    area.present = true;
    area.formatVersion = stored.kept ? stored.formatVersion : vkt::fruFormatVersion;
    area.language = stored.kept ? stored.language : 0;
    if (stored.whole) area.stored.assign(stored.bytes, stored.bytes + stored.length);
    return area;
}

void customOf(FruInfoArea& area, const BYTE* custom, BYTE customLen) {
    area.custom.assign(custom, custom + std::min<size_t>(customLen, fruCustomSize));
}

vkt::FruInternalUseArea internalUseOf() {
    vkt::FruInternalUseArea use;
    use.present = true;
    // An area the parser took as 16 bytes is written back whole.
    use.length = internalUseLength > static_cast<int32_t>(sizeof internal.useData) ? 2 * vkt::fruInternalUseChunk
                                                                                    : vkt::fruInternalUseChunk;
    std::copy(internal.useData, internal.useData + sizeof internal.useData, use.bytes.begin());
    std::copy(internal.useData2, internal.useData2 + sizeof internal.useData2,
              use.bytes.begin() + vkt::fruInternalUseChunk);
    return use;
}

FruInfoArea chassisOf() {
    FruInfoArea area = infoAreaOf(storedChassis);
    area.language = 0;
    area.type = chassis.type;
    area.fields = {fieldOf(chassis.part, storedChassis.fields[0]), fieldOf(chassis.serial, storedChassis.fields[1])};
    customOf(area, chassis.custom, chassis.custom_len);
    return area;
}

FruInfoArea boardOf() {
    const FruStoredField* stored = storedBoard.fields;
    FruInfoArea area = infoAreaOf(storedBoard);
    std::copy(board.mfg_date_time, board.mfg_date_time + sizeof board.mfg_date_time, area.mfgDateTime.begin());
    area.fields = {fieldOf(board.mfg, stored[0]), fieldOf(board.prod, stored[1]), fieldOf(board.serial, stored[2]),
                   fieldOf(board.part, stored[3]), fieldOf(board.fru, stored[4])};
    if (fru1Flag == 1) {
        char customer[fruTextSize];
        vkt::copyText(customer, reinterpret_cast<const char*>(board.custom), sizeof board.custom);
        area.fields.push_back(fieldOf(customer, stored[vkt::fruBoardCustomer]));
    } else {
        customOf(area, board.custom, board.custom_len);
    }
    return area;
}

FruInfoArea productOf() {
    const FruStoredField* stored = storedProduct.fields;
    FruInfoArea area = infoAreaOf(storedProduct);
    area.fields = {fieldOf(product.mfg, stored[0]),     fieldOf(product.name, stored[1]),
                   fieldOf(product.part, stored[2]),    fieldOf(product.version, stored[3]),
                   fieldOf(product.serial, stored[4]),  fieldOf(product.asset, stored[5]),
                   fieldOf(product.fru, stored[6])};
    customOf(area, product.custom, product.custom_len);
    return area;
}

// The records as parsed; a record whose data the parser had to cut keeps its length.
vkt::FruMultiRecordArea multiRecordsOf() {
    vkt::FruMultiRecordArea area;
    area.present = true;
    const int32_t count = std::min(fru_area_multi_len, fruMultiRecordCount);
    for (int32_t i = 0; i < count; ++i) {
        const fru_area_multi& m = multi[i];
        vkt::FruMultiRecord r;
        r.typeId = m.rec_type_id;
        r.flag = m.flag;
        r.length = m.rec_len;
        r.recordChecksum = m.rec_checksum;
        r.headerChecksum = m.head_checksum;
        r.data.assign(m.data, m.data + std::min<size_t>(m.rec_len, fruMultiDataSize));
        area.records.push_back(std::move(r));
    }
    return area;
}

// The image the area records describe, the only place the image builder reads them: every
// field that setFRUField did not set (and whose record still reads as stored) as it was
// stored, the others as text; areas as they were stored where nothing in them changed.
vkt::FruImage imageOfRecords() {
    vkt::FruImage image;
    image.layout = fruLayout();
    image.header[0] = vkt::fruFormatVersion;
    if (hasInternal) image.internalUse = internalUseOf();
    if (hasChassis) image.chassis = chassisOf();
    if (hasBoard) image.board = boardOf();
    if (hasProduct) image.product = productOf();
    if (hasMulti) image.multiRecords = multiRecordsOf();
    return image;
}

// ---- field codes ------------------------------------------------------------------------

enum class FieldKind { Text, ChassisType, BoardDate, BoardCustom };

struct FieldCode {
    const char* code;
    FieldKind kind;
    char* text;              // Text fields
    BYTE* length;            // their length byte
    BYTE* presence;          // the area the field belongs to
    FruStoredField* stored;  // the field as the parse stored it (Text fields and bv)
};

FruStoredField* const chassisStored = storedChassis.fields;
FruStoredField* const boardStored = storedBoard.fields;
FruStoredField* const productStored = storedProduct.fields;
constexpr int boardCustomerField = 5;  // the first custom field, read as a field with fru1Flag 1

const FieldCode fieldCodes[] = {
    {"ct", FieldKind::ChassisType, nullptr, nullptr, &hasChassis, nullptr},
    {"cp", FieldKind::Text, chassis.part, &chassis.part_len, &hasChassis, &chassisStored[0]},
    {"cs", FieldKind::Text, chassis.serial, &chassis.serial_len, &hasChassis, &chassisStored[1]},
    {"bdt", FieldKind::BoardDate, nullptr, nullptr, &hasBoard, nullptr},
    {"bm", FieldKind::Text, board.mfg, &board.mfg_len, &hasBoard, &boardStored[0]},
    {"bpn", FieldKind::Text, board.prod, &board.prod_len, &hasBoard, &boardStored[1]},
    {"bs", FieldKind::Text, board.serial, &board.serial_len, &hasBoard, &boardStored[2]},
    {"bp", FieldKind::Text, board.part, &board.part_len, &hasBoard, &boardStored[3]},
    {"bv", FieldKind::BoardCustom, nullptr, nullptr, &hasBoard, &boardStored[boardCustomerField]},
    {"pm", FieldKind::Text, product.mfg, &product.mfg_len, &hasProduct, &productStored[0]},
    {"pn", FieldKind::Text, product.name, &product.name_len, &hasProduct, &productStored[1]},
    {"ppm", FieldKind::Text, product.part, &product.part_len, &hasProduct, &productStored[2]},
    {"pv", FieldKind::Text, product.version, &product.version_len, &hasProduct, &productStored[3]},
    {"ps", FieldKind::Text, product.serial, &product.serial_len, &hasProduct, &productStored[4]},
    {"pat", FieldKind::Text, product.asset, &product.asset_len, &hasProduct, &productStored[5]},
};

// Every text field of the records beside the field its stored bytes came from.
struct StoredText {
    const char* text;
    const BYTE* length;
    FruStoredField* stored;
};

const StoredText storedTexts[] = {
    {chassis.part, &chassis.part_len, &chassisStored[0]},
    {chassis.serial, &chassis.serial_len, &chassisStored[1]},
    {board.mfg, &board.mfg_len, &boardStored[0]},
    {board.prod, &board.prod_len, &boardStored[1]},
    {board.serial, &board.serial_len, &boardStored[2]},
    {board.part, &board.part_len, &boardStored[3]},
    {board.fru, &board.fru_len, &boardStored[4]},
    {reinterpret_cast<const char*>(board.custom), &board.custom_len, &boardStored[boardCustomerField]},
    {product.mfg, &product.mfg_len, &productStored[0]},
    {product.name, &product.name_len, &productStored[1]},
    {product.part, &product.part_len, &productStored[2]},
    {product.version, &product.version_len, &productStored[3]},
    {product.serial, &product.serial_len, &productStored[4]},
    {product.asset, &product.asset_len, &productStored[5]},
    {product.fru, &product.fru_len, &productStored[6]},
};

// True while the record still reads as the stored bytes do: the length of the type/length
// byte and the text up to the first 00h.
bool storedStillHolds(const FruStoredField& f, const char* text, BYTE length) {
    const size_t n = f.typeLength & vkt::fruLengthMask;
    const size_t textLength = strnlen(reinterpret_cast<const char*>(f.bytes), n);
    return n == length && strnlen(text, fruTextSize) == textLength && memcmp(text, f.bytes, textLength) == 0;
}

// A field whose record was changed some other way than through setFRUField is written as
// its record says.
void forgetChangedStoredFields() {
    for (const StoredText& t : storedTexts)
        if (t.stored->kept && !storedStillHolds(*t.stored, t.text, *t.length)) *t.stored = FruStoredField{};
}

const FieldCode* findFieldCode(const char* code) {
    if (code == nullptr) return nullptr;
    for (const FieldCode& f : fieldCodes)
        if (strcasecmp(f.code, code) == 0) return &f;
    return nullptr;
}

// A chassis type: a hexadecimal number up to FFh (an optional 0x and blanks around allowed).
bool parseHexByte(const char* text, BYTE* value) {
    if (text == nullptr) return false;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && isxdigit(static_cast<unsigned char>(p[2]))) p += 2;
    unsigned v = 0;
    int digits = 0;
    for (; isxdigit(static_cast<unsigned char>(*p)); ++p, ++digits) {
        const char c = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
        v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
        if (v > 0xFF) return false;  // leading zeros are fine, a larger number is not
    }
    while (*p == ' ' || *p == '\t') ++p;
    if (digits == 0 || *p != '\0') return false;
    *value = static_cast<BYTE>(v);
    return true;
}

void setBoardCustom(const char* value) {
    char text[fruTextSize];
    const size_t n = vkt::copyText(text, value);
    memset(board.custom, 0, sizeof board.custom);
    if (fru1Flag == 1) {
        memcpy(board.custom, text, n);
        board.custom_len = static_cast<BYTE>(n);
        return;
    }
    // Without the customer field layout the custom bytes are raw area content, so the text
    // goes in as one encoded field; bare text would be read back as type/length bytes.
    board.custom[0] = static_cast<BYTE>(vkt::fruTypeAscii8 | n);
    memcpy(board.custom + 1, text, n);
    board.custom_len = static_cast<BYTE>(n + 1);
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

bool isFRUFieldCode(const char* code) { return findFieldCode(code) != nullptr; }

int checkFRUField(const char* code, const char* value) {
    constexpr int malformed = 12;
    const FieldCode* f = findFieldCode(code);
    if (f == nullptr) return malformed;
    switch (f->kind) {
        case FieldKind::Text:
            break;
        case FieldKind::ChassisType: {
            BYTE type = 0;
            if (!parseHexByte(value, &type)) return malformed;
            break;
        }
        case FieldKind::BoardDate: {
            // A date that cannot be stored is refused rather than written back unchanged.
            struct tm t = {};
            BYTE minutes[3] = {};
            if (!strTimeToStructTm(value, &t) || !userInputTimeToMfgDateTimeFormat(&t, minutes)) return malformed;
            break;
        }
        case FieldKind::BoardCustom:
            // As a custom field one character would be written as C1h, the end-of-fields
            // marker, and a C1h byte in the text would end the fields there: the text would
            // not read back.
            if (fru1Flag == 0 && value != nullptr &&
                (strnlen(value, 2) == 1 ||
                 memchr(value, vkt::fruEndOfFields, strnlen(value, fruMaxTextLength)) != nullptr))
                return malformed;
            break;
    }
    return 0;
}

int setFRUField(const char* code, const char* value) {
    if (int r = checkFRUField(code, value)) return r;
    const FieldCode* f = findFieldCode(code);
    const char* text = value != nullptr ? value : "";
    switch (f->kind) {
        case FieldKind::Text:
            *f->length = static_cast<BYTE>(vkt::copyText(f->text, fruTextSize, text));
            break;
        case FieldKind::ChassisType: {
            parseHexByte(text, &chassis.type);
            break;
        }
        case FieldKind::BoardDate: {
            // A text that is not a usable date leaves the stored date as it is.
            struct tm t = {};
            if (strTimeToStructTm(text, &t)) userInputTimeToMfgDateTimeFormat(&t, board.mfg_date_time);
            break;
        }
        case FieldKind::BoardCustom:
            setBoardCustom(text);
            break;
    }
    // A field that was set is written as text, even when it reads the same as its stored
    // bytes (a BCD-plus or 6-bit field whose raw bytes happen to be the new text).
    if (f->stored != nullptr) *f->stored = FruStoredField{};
    *f->presence = 1;
    return 0;
}

namespace {

// A text field as the parser leaves it: its length byte and the text up to the first NUL.
bool sameField(BYTE lenA, const char* a, BYTE lenB, const char* b) {
    return lenA == lenB && strncmp(a, b, fruTextSize) == 0;
}

bool sameBytes(BYTE lenA, const BYTE* a, BYTE lenB, const BYTE* b, size_t cap) {
    return lenA == lenB && memcmp(a, b, std::min<size_t>(lenA, cap)) == 0;
}

bool sameChassis(const fru_area_chassis& a, const fru_area_chassis& b) {
    return a.type == b.type && sameField(a.part_len, a.part, b.part_len, b.part) &&
           sameField(a.serial_len, a.serial, b.serial_len, b.serial) &&
           sameBytes(a.custom_len, a.custom, b.custom_len, b.custom, fruCustomSize);
}

bool sameBoard(const fru_area_board& a, const fru_area_board& b) {
    return memcmp(a.mfg_date_time, b.mfg_date_time, sizeof a.mfg_date_time) == 0 &&
           sameField(a.mfg_len, a.mfg, b.mfg_len, b.mfg) && sameField(a.prod_len, a.prod, b.prod_len, b.prod) &&
           sameField(a.serial_len, a.serial, b.serial_len, b.serial) &&
           sameField(a.part_len, a.part, b.part_len, b.part) && sameField(a.fru_len, a.fru, b.fru_len, b.fru) &&
           sameBytes(a.custom_len, a.custom, b.custom_len, b.custom, fruCustomSize);
}

bool sameProduct(const fru_area_product& a, const fru_area_product& b) {
    return sameField(a.mfg_len, a.mfg, b.mfg_len, b.mfg) && sameField(a.name_len, a.name, b.name_len, b.name) &&
           sameField(a.part_len, a.part, b.part_len, b.part) &&
           sameField(a.version_len, a.version, b.version_len, b.version) &&
           sameField(a.serial_len, a.serial, b.serial_len, b.serial) &&
           sameField(a.asset_len, a.asset, b.asset_len, b.asset) && sameField(a.fru_len, a.fru, b.fru_len, b.fru) &&
           sameBytes(a.custom_len, a.custom, b.custom_len, b.custom, fruCustomSize);
}

bool sameMulti(const FruRecordSet& a, const FruRecordSet& b) {
    if (a.recordCount != b.recordCount) return false;
    for (int32_t i = 0; i < a.recordCount && i < fruMultiRecordCount; ++i) {
        const fru_area_multi& x = a.records[i];
        const fru_area_multi& y = b.records[i];
        if (x.rec_type_id != y.rec_type_id || x.flag != y.flag || x.rec_checksum != y.rec_checksum ||
            x.head_checksum != y.head_checksum || !sameBytes(x.rec_len, x.data, y.rec_len, y.data, fruMultiDataSize))
            return false;
    }
    return true;
}

// Every field `a` holds as stored, `b` holds with the same type/length byte and bytes; and
// the format version and language byte of an area are kept.
bool sameStored(const FruStoredArea& a, const FruStoredArea& b, bool hasLanguage) {
    if (a.kept && (!b.kept || a.formatVersion != b.formatVersion || (hasLanguage && a.language != b.language)))
        return false;
    for (int i = 0; i < fruStoredFieldCount; ++i) {
        const FruStoredField& x = a.fields[i];
        const FruStoredField& y = b.fields[i];
        if (x.kept && (!y.kept || x.typeLength != y.typeLength ||
                       memcmp(x.bytes, y.bytes, x.typeLength & vkt::fruLengthMask) != 0))
            return false;
    }
    return true;
}

bool sameRecords(const FruRecordSet& a, const FruRecordSet& b) {
    if (memcmp(a.present, b.present, sizeof a.present) != 0 || a.useLength != b.useLength) return false;
    if (!sameStored(a.stored[0], b.stored[0], false) || !sameStored(a.stored[1], b.stored[1], true) ||
        !sameStored(a.stored[2], b.stored[2], true))
        return false;
    if (memcmp(a.internalUse.useData, b.internalUse.useData, sizeof a.internalUse.useData) != 0) return false;
    if (a.useLength > static_cast<int32_t>(sizeof a.internalUse.useData) &&
        memcmp(a.internalUse.useData2, b.internalUse.useData2, sizeof a.internalUse.useData2) != 0)
        return false;
    return sameChassis(a.chassisArea, b.chassisArea) && sameBoard(a.boardArea, b.boardArea) &&
           sameProduct(a.productArea, b.productArea) && sameMulti(a, b);
}

}  // namespace

bool toFRURawKeepsRecords() {
    forgetChangedStoredFields();
    const FruRecordSet edited = FruRecordSet::take();
    toFRURaw();
    const vkt::ByteView built(fruWriteBuffer, static_cast<size_t>(fruWriteBufferLength));
    const FruRecordSet readBack = fruRecordsOf(vkt::decodeFruImage(built, fruLayout()));
    return readBack.incomplete == 0 && sameRecords(edited, readBack);
}

void toFRURaw() {
    forgetChangedStoredFields();
    const std::vector<BYTE> image = vkt::buildFruImage(imageOfRecords());
    memset(fruWriteBuffer, 0, sizeof fruWriteBuffer);
    const size_t n = std::min(image.size(), sizeof fruWriteBuffer);
    memcpy(fruWriteBuffer, image.data(), n);
    fruWriteBufferLength = static_cast<int32_t>(n);
}

BYTE writeFRU() {
    toFRURaw();
    return writeFRUBufferInSegments(static_cast<size_t>(fruWriteBufferLength), fruTextSegmentSize);
}

bool strTimeToStructTm(const char* text, struct tm* t) {
    constexpr size_t digitsWanted = 12;
    if (text == nullptr || t == nullptr || strnlen(text, digitsWanted + 1) != digitsWanted) return false;
    for (size_t i = 0; i < digitsWanted; ++i)
        if (!isdigit(static_cast<unsigned char>(text[i]))) return false;
    auto number = [text](size_t from, size_t n) {
        int v = 0;
        for (size_t i = from; i < from + n; ++i) v = v * 10 + (text[i] - '0');
        return v;
    };
    const int year = number(0, 4), month = number(4, 2), day = number(6, 2);
    const int hour = number(8, 2), minute = number(10, 2);
    // mktime would quietly turn month 13 or 31 April into another date.
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59) return false;
    *t = tm{};
    t->tm_year = year - 1900;
    t->tm_mon = month - 1;
    t->tm_mday = day;
    t->tm_hour = hour;
    t->tm_min = minute;
    t->tm_sec = 0;
    t->tm_isdst = -1;
    return true;
}

bool userInputTimeToMfgDateTimeFormat(struct tm* t, BYTE* minutes3) {
    constexpr double maxMinutes = 0xFFFFFF;
    if (t == nullptr || minutes3 == nullptr) return false;
    if (t->tm_year < 96) {
        // Before 1996 in any time zone; also where a 32-bit time cannot hold the date.
        memset(minutes3, 0, 3);
        return true;
    }
    struct tm base = {};
    base.tm_mday = 1;
    base.tm_mon = 0;
    base.tm_year = 96;
    base.tm_isdst = -1;
    struct tm when = *t;
    when.tm_isdst = -1;
    const time_t baseTime = mktime(&base);
    const time_t whenTime = mktime(&when);
    if (baseTime == static_cast<time_t>(-1) || whenTime == static_cast<time_t>(-1)) return false;
    const double seconds = difftime(whenTime, baseTime);
    unsigned long minutes = 0;
    if (seconds > 0) {
        // Three bytes of minutes end late in 2027; a later date would wrap to a 1996 one.
        if (seconds / 60 > maxMinutes) return false;
        minutes = static_cast<unsigned long>(seconds / 60);
    }
    minutes3[0] = static_cast<BYTE>(minutes & 0xFF);
    minutes3[1] = static_cast<BYTE>(minutes >> 8 & 0xFF);
    minutes3[2] = static_cast<BYTE>(minutes >> 16 & 0xFF);
    return true;
}
