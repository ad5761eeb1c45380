// Decoding a FRU image into a value: the header, the areas it names, their fields and
// multi-records, and what keeps the image from being read whole. Pure: the image is read
// through a ByteView, nothing else is touched.
#include <algorithm>

#include "bounded.h"
#include "fru_format.h"

namespace vkt {

namespace {

// Bytes of erased storage: what may follow an internal-use area that ends the image.
constexpr BYTE erasedZero = 0x00;
constexpr BYTE erasedOne = 0xFF;

constexpr size_t chassisFieldsAt = 3;  // format version, length, chassis type
constexpr size_t boardFieldsAt = 6;    // format version, length, language, three date bytes
constexpr size_t productFieldsAt = 3;  // format version, length, language
constexpr size_t boardDateAt = 3;

size_t areaStart(BYTE offset) { return offset * fruAreaUnit; }

// The header as the area decoders see it: all zeros in an image shorter than a header.
std::array<BYTE, fruHeaderSize> headerOf(ByteView image) {
    std::array<BYTE, fruHeaderSize> h{};
    if (image.size() >= fruHeaderSize) image.copyTo(h.data(), 0, fruHeaderSize);
    return h;
}

// The area's format version and its byte 2 (chassis type, or language), where held.
void readHead(ByteView image, FruAreaKind kind, FruInfoArea& area) {
    area.lengthUnits = image[area.start + 1];
    if (kind == FruAreaKind::chassis) area.type = image[area.start + 2];
    if (!image.has(area.start + 2)) return;
    area.headHeld = true;
    area.formatVersion = image[area.start];
    if (kind != FruAreaKind::chassis) area.language = image[area.start + 2];
}

// `count` fields from `pos` on; `pos` ends after the last byte read.
void readFields(ByteView image, size_t count, size_t& pos, FruInfoArea& area, FruProblems& problems) {
    for (size_t i = 0; i < count; ++i) {
        FruField f = readFruField(image, pos);
        if (!f.whole()) problems |= fruFieldCut;
        if (f.present) pos += 1 + f.held;
        area.fields.push_back(f);
    }
}

// The custom bytes up to the end-of-fields marker; the marker's position (the image end
// when there is none).
size_t readCustom(ByteView image, size_t pos, FruInfoArea& area, FruProblems& problems) {
    while (image.has(pos) && image[pos] != fruEndOfFields) area.custom.push_back(image[pos++]);
    if (!image.has(pos)) problems |= fruFieldsUnended;
    return pos;
}

// After the end-of-fields marker an area holds only zero padding and its checksum. Anything
// else (the rest of a custom field whose data held a C1h byte, where the custom bytes
// stopped) is not in the value.
void checkAreaTail(ByteView image, size_t marker, const FruInfoArea& area, FruProblems& problems) {
    const size_t end = std::min(area.start + area.lengthUnits * fruAreaUnit, image.size());
    for (size_t p = marker + 1; p + 1 < end; ++p)
        if (image[p] != 0) problems |= fruBytesAfterFields;
}

// The whole area as stored, when its length byte covers all that was read (up to the
// marker) and the checksum byte, within the image, with only zeros in between.
void keepWholeArea(ByteView image, size_t marker, FruInfoArea& area) {
    const size_t end = area.start + area.lengthUnits * fruAreaUnit;
    const size_t fieldsEnd = marker + 1;
    if (!image.has(marker) || end > image.size() || fieldsEnd + 1 > end) return;
    for (size_t p = fieldsEnd; p + 1 < end; ++p)
        if (image[p] != 0) return;
    area.stored.assign(image.data + area.start, image.data + end);
}

// The custom bytes, and the rest of the area after them.
void readAreaEnd(ByteView image, size_t pos, FruInfoArea& area, FruProblems& problems) {
    const size_t marker = readCustom(image, pos, area, problems);
    checkAreaTail(image, marker, area, problems);
    keepWholeArea(image, marker, area);
}

void decodeInternalUse(ByteView image, BYTE offset, FruInternalUseArea& area, FruProblems& problems) {
    area.present = true;
    area.start = areaStart(offset);
    image.copyTo(area.bytes.data(), area.start, fruInternalUseChunk);
    area.length = fruInternalUseChunk;
    // Nothing in the format says how long this area is: it runs up to the area that follows
    // it. When that one starts two units later the area is 16 bytes, as much as is read of
    // it; another area merely starting at +2 (behind one at +1) says nothing about it.
    const std::array<BYTE, fruHeaderSize> h = headerOf(image);
    int next = 0;  // the nearest area after this one
    for (size_t i = 2; i <= 5; ++i)
        if (h[i] > offset && (next == 0 || h[i] < next)) next = h[i];
    if (next == offset + 2) {
        image.copyTo(area.bytes.data() + fruInternalUseChunk, area.start + fruInternalUseChunk, fruInternalUseChunk);
        area.length = 2 * fruInternalUseChunk;
    }
    // A longer area holds bytes the value does not. As the last area it runs to the image
    // end, where only erased bytes (all 00h or all FFh) may follow its first 8.
    if (next > offset + 2) problems |= fruLongInternalUse;
    size_t p = area.start + fruInternalUseChunk;
    if (next == 0 && image.has(p)) {
        const BYTE blank = image[p];
        if (blank != erasedZero && blank != erasedOne) problems |= fruLongInternalUse;
        for (; image.has(p) && (problems & fruLongInternalUse) == 0; ++p)
            if (image[p] != blank) problems |= fruLongInternalUse;
    }
}

void decodeInfoArea(ByteView image, FruAreaKind kind, BYTE offset, const FruLayout& layout, FruInfoArea& area,
                    FruProblems& problems) {
    area.present = true;
    area.start = areaStart(offset);
    readHead(image, kind, area);
    size_t pos = area.start;
    switch (kind) {
        case FruAreaKind::chassis:
            pos += chassisFieldsAt;
            readFields(image, fruChassisFieldCount, pos, area, problems);
            readAreaEnd(image, pos, area, problems);
            break;
        case FruAreaKind::board:
            image.copyTo(area.mfgDateTime.data(), area.start + boardDateAt, area.mfgDateTime.size());
            pos += boardFieldsAt;
            readFields(image, fruBoardFieldCount, pos, area, problems);
            if (layout.boardCustomerField) {
                readFields(image, 1, pos, area, problems);
            } else {
                readAreaEnd(image, pos, area, problems);
            }
            break;
        case FruAreaKind::product:
            pos += productFieldsAt;
            readFields(image, fruProductFieldCount, pos, area, problems);
            readAreaEnd(image, pos, area, problems);
            break;
        case FruAreaKind::internalUse:
        case FruAreaKind::multiRecord:
            break;
    }
}

// Record by record up to the one marked end of list. A chain that runs out of image first
// keeps the records (and the part of a record) the image holds.
void decodeMultiRecords(ByteView image, BYTE offset, FruMultiRecordArea& area, FruProblems& problems) {
    area.present = true;
    area.start = areaStart(offset);
    size_t p = area.start;
    for (;;) {
        if (!image.has(p) || image.size() - p < fruMultiHeaderSize) break;
        FruMultiRecord r;
        r.at = p;
        r.typeId = image[p];
        r.flag = image[p + 1];
        r.length = image[p + 2];
        r.recordChecksum = image[p + 3];
        r.headerChecksum = image[p + 4];
        p += fruMultiHeaderSize;
        const size_t held = std::min<size_t>(r.length, image.size() - p);
        r.data.assign(image.data + p, image.data + p + held);
        p += held;
        const bool cut = held < r.length;
        const bool last = (r.flag & fruMultiEndOfList) != 0;
        area.records.push_back(std::move(r));
        if (cut) break;
        if (last) {
            area.end = p;
            return;
        }
    }
    problems |= fruRecordsUnended;
    area.end = std::max(image.size(), area.start);
}

bool sameFields(const std::vector<FruField>& a, const std::vector<FruField>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

FruField FruField::ofText(const char* text) {
    FruField f;
    f.present = true;
    size_t n = 0;
    while (text != nullptr && n < f.bytes.size() && text[n] != '\0') {
        f.bytes[n] = static_cast<BYTE>(text[n]);
        ++n;
    }
    f.typeLength = static_cast<BYTE>(fruTypeAscii8 | n);
    f.held = static_cast<BYTE>(n);
    return f;
}

size_t copyFieldText(char* dst, size_t cap, const FruField& field) {
    return copyText(dst, cap, reinterpret_cast<const char*>(field.bytes.data()), field.held);
}

const FruField& FruInfoArea::field(size_t i) const {
    static const FruField none;
    return i < fields.size() ? fields[i] : none;
}

FruField readFruField(ByteView image, size_t at) {
    FruField f;
    f.at = at;
    if (!image.has(at)) return f;
    f.present = true;
    f.typeLength = image[at];
    const size_t held = std::min(f.length(), image.size() - at - 1);
    image.copyTo(f.bytes.data(), at + 1, held);
    f.held = static_cast<BYTE>(held);
    return f;
}

void decodeFruArea(ByteView image, FruAreaKind kind, BYTE offset, FruImage& into) {
    switch (kind) {
        case FruAreaKind::internalUse:
            into.internalUse = FruInternalUseArea{};
            decodeInternalUse(image, offset, into.internalUse, into.problems);
            break;
        case FruAreaKind::chassis:
            into.chassis = FruInfoArea{};
            decodeInfoArea(image, kind, offset, into.layout, into.chassis, into.problems);
            break;
        case FruAreaKind::board:
            into.board = FruInfoArea{};
            decodeInfoArea(image, kind, offset, into.layout, into.board, into.problems);
            break;
        case FruAreaKind::product:
            into.product = FruInfoArea{};
            decodeInfoArea(image, kind, offset, into.layout, into.product, into.problems);
            break;
        case FruAreaKind::multiRecord:
            into.multiRecords = FruMultiRecordArea{};
            decodeMultiRecords(image, offset, into.multiRecords, into.problems);
            break;
    }
}

FruImage decodeFruImage(ByteView image, FruLayout layout) {
    FruImage v;
    v.layout = layout;
    image.copyTo(v.header.data(), 0, fruHeaderSize);
    if (image.size() < fruHeaderSize) {
        v.problems |= fruHeaderCut;
        return v;
    }
    for (int i = 0; i < fruAreaCount; ++i) {
        const BYTE offset = v.header[1 + i];
        if (offset != 0) decodeFruArea(image, fruAreaKinds[i], offset, v);
    }
    return v;
}

bool FruImage::has(FruAreaKind kind) const {
    switch (kind) {
        case FruAreaKind::internalUse:
            return internalUse.present;
        case FruAreaKind::chassis:
            return chassis.present;
        case FruAreaKind::board:
            return board.present;
        case FruAreaKind::product:
            return product.present;
        case FruAreaKind::multiRecord:
            return multiRecords.present;
    }
    return false;
}

bool operator==(const FruField& a, const FruField& b) {
    return a.present == b.present && a.typeLength == b.typeLength && a.held == b.held &&
           std::equal(a.bytes.begin(), a.bytes.begin() + a.held, b.bytes.begin());
}

bool operator==(const FruInfoArea& a, const FruInfoArea& b) {
    if (a.present != b.present) return false;
    if (!a.present) return true;
    return a.formatVersion == b.formatVersion && a.type == b.type && a.language == b.language &&
           a.mfgDateTime == b.mfgDateTime && sameFields(a.fields, b.fields) && a.custom == b.custom;
}

bool operator==(const FruInternalUseArea& a, const FruInternalUseArea& b) {
    if (a.present != b.present) return false;
    if (!a.present) return true;
    const size_t n = std::min(a.length, a.bytes.size());
    return a.length == b.length && std::equal(a.bytes.begin(), a.bytes.begin() + static_cast<long>(n), b.bytes.begin());
}

bool operator==(const FruMultiRecord& a, const FruMultiRecord& b) {
    return a.typeId == b.typeId && a.flag == b.flag && a.length == b.length && a.recordChecksum == b.recordChecksum &&
           a.headerChecksum == b.headerChecksum && a.data == b.data;
}

bool operator==(const FruMultiRecordArea& a, const FruMultiRecordArea& b) {
    if (a.present != b.present) return false;
    return !a.present || (a.records.size() == b.records.size() &&
                          std::equal(a.records.begin(), a.records.end(), b.records.begin()));
}

bool operator==(const FruImage& a, const FruImage& b) {
    return a.layout.boardCustomerField == b.layout.boardCustomerField && a.version() == b.version() &&
           a.internalUse == b.internalUse && a.chassis == b.chassis && a.board == b.board && a.product == b.product &&
           a.multiRecords == b.multiRecords && a.problems == b.problems;
}

FruInventoryInfoReply FruInventoryInfoReply::decode(ByteView data) {
    FruInventoryInfoReply r;
    r.received = std::min(data.size(), fullLength);
    data.copyTo(r.bytes.data(), 0, r.received);
    return r;
}

FruReadReply FruReadReply::decode(ByteView reply) {
    FruReadReply r;
    r.countReturned = reply[0];
    r.data = reply.sub(1, r.countReturned);
    return r;
}

}  // namespace vkt
