// The two file forms of a FRU image: a binary copy, and an annotated text listing of every
// byte (fields shown as text where that survives the trip), plus writing either back.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bounded.h"
#include "fru_util.h"
#include "whole_file.h"

namespace {

constexpr size_t areaUnit = 8;
constexpr size_t headerSize = sizeof(fru_header);
constexpr size_t multiHeaderSize = 5;
constexpr size_t maxLineLength = 4096;
// Far beyond the listing of the largest image the write buffer holds.
constexpr size_t maxListingSize = 1u << 20;

// ---- the listing writer -----------------------------------------------------------------

enum class AreaKind { Internal, Chassis, Board, Product, Multi };

struct ListedArea {
    AreaKind kind;
    size_t start;
};

class Listing {
public:
    Listing(FILE* out, const BYTE* image, size_t length) : out_(out), image_(image), length_(length) {}

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }

    void section(const char* name) { put(name); }

    // Byte lines up to `end` (never past the image).
    void bytesTo(size_t end) {
        end = std::min(end, length_);
        char line[8];
        for (; pos_ < end; ++pos_) {
            snprintf(line, sizeof line, "\t%02X\n", image_[pos_]);
            put(line);
        }
    }

    // One type/length field, when it lies wholly before `limit`: its type/length byte, then
    // its bytes as one text line when they survive a line-based trip, else as byte lines.
    bool field(size_t limit) {
        if (pos_ >= limit) return false;
        const size_t n = image_[pos_] & vkt::fruLengthMask;
        if (pos_ + 1 + n > limit) return false;
        bytesTo(pos_ + 1);
        const BYTE* text = image_ + pos_;
        const bool asText = std::none_of(text, text + n, [](BYTE b) { return b == 0x00 || b == '\n' || b == '\r'; });
        if (n == 0) return true;
        if (!asText) {
            bytesTo(pos_ + n);
            return true;
        }
        put("\t'");
        if (fwrite(text, 1, n, out_) != n) ok_ = false;
        put("'\n");
        pos_ += n;
        return true;
    }

private:
    void put(const char* s) {
        if (fputs(s, out_) < 0) ok_ = false;
    }

    FILE* out_;
    const BYTE* image_;
    size_t length_;
    size_t pos_ = 0;
    bool ok_ = true;
};

const char* sectionName(AreaKind kind) {
    switch (kind) {
        case AreaKind::Internal:
            return "__Internal\n";
        case AreaKind::Chassis:
            return "__Chassis\n";
        case AreaKind::Board:
            return "__Board\n";
        case AreaKind::Product:
            return "__Product\n";
        case AreaKind::Multi:
            return "__Multi\n";
    }
    return "";
}

// Where an area's bytes end, as far as the listing shows them.
size_t areaEnd(AreaKind kind, size_t start, const BYTE* image, size_t limit) {
    if (start >= limit) return start;
    switch (kind) {
        case AreaKind::Internal:
            return std::min(start + areaUnit, limit);
        case AreaKind::Chassis:
        case AreaKind::Board:
        case AreaKind::Product: {
            const size_t declared = start + (start + 1 < limit ? image[start + 1] : 0) * areaUnit;
            return std::min(std::max(declared, start), limit);
        }
        case AreaKind::Multi: {
            // Through the record marked end of list.
            size_t p = start;
            while (p + multiHeaderSize <= limit) {
                const BYTE flag = image[p + 1];
                p = std::min(p + multiHeaderSize + image[p + 2], limit);
                if ((flag & vkt::fruMultiEndOfList) != 0) break;
            }
            return p;
        }
    }
    return start;
}

void listArea(Listing& out, const ListedArea& area, const BYTE* image, size_t limit) {
    out.section(sectionName(area.kind));
    const size_t end = areaEnd(area.kind, area.start, image, limit);
    if (out.pos() > area.start) {
        // Overlaps what is already listed: its bytes can only follow on as they are.
        out.bytesTo(end);
        return;
    }
    out.bytesTo(area.start);
    size_t fixedBytes = 0;
    int fields = 0;
    switch (area.kind) {
        case AreaKind::Chassis:
            fixedBytes = 3;  // format version, length, chassis type
            fields = 2;
            break;
        case AreaKind::Board:
            fixedBytes = 6;  // format version, length, language, date
            fields = fru1Flag == 1 ? 6 : 5;
            break;
        case AreaKind::Product:
            fixedBytes = 3;  // format version, length, language
            fields = 7;
            break;
        case AreaKind::Internal:
        case AreaKind::Multi:
            break;
    }
    // The fixed bytes and the fields are listed even when the area's length byte claims
    // less: a corrupt length must not drop them from the backup.
    out.bytesTo(std::min(area.start + fixedBytes, limit));
    for (int i = 0; i < fields; ++i)
        if (!out.field(limit)) break;
    out.bytesTo(end);
}

// ---- the listing reader -----------------------------------------------------------------

// Mismatched: a text that does not have the length its type/length byte gives.
enum class LineResult { Ok, Bad, Mismatched };

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// What the listing said so far: a text line stands right after the type/length byte of its
// field, and must be as long as that byte says.
struct ListingState {
    bool lastWasByte = false;
    BYTE lastByte = 0;
};

// Appends the bytes one listing line stands for to `bytes`.
LineResult takeLine(const std::string& line, std::vector<BYTE>& bytes, ListingState& state) {
    size_t first = 0;
    while (first < line.size() && isBlank(line[first])) ++first;
    if (first == line.size()) return LineResult::Ok;                   // blank
    if (line.compare(first, 2, "__") == 0) return LineResult::Ok;      // section name
    const size_t open = line.find('\'');
    if (open != std::string::npos) {
        const size_t close = line.rfind('\'');
        if (close == open) return LineResult::Bad;
        const size_t length = close - open - 1;
        const bool matches = state.lastWasByte && (state.lastByte & vkt::fruLengthMask) == length;
        bytes.insert(bytes.end(), line.begin() + static_cast<long>(open) + 1, line.begin() + static_cast<long>(close));
        state.lastWasByte = false;
        return matches ? LineResult::Ok : LineResult::Mismatched;
    }
    size_t last = line.size();
    while (last > first && isBlank(line[last - 1])) --last;
    if (last - first > 2 && line[first] == '0' && (line[first + 1] == 'x' || line[first + 1] == 'X')) first += 2;
    if (last - first > 2 || last == first) return LineResult::Bad;
    unsigned value = 0;
    for (size_t i = first; i < last; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (!isxdigit(c)) return LineResult::Bad;
        value = value * 16 + static_cast<unsigned>(isdigit(c) ? c - '0' : tolower(c) - 'a' + 10);
    }
    bytes.push_back(static_cast<BYTE>(value));
    state.lastWasByte = true;
    state.lastByte = static_cast<BYTE>(value);
    return LineResult::Ok;
}

enum class ListingResult { Ok, Unreadable, Inconsistent };

// Reads a whole listing. Unreadable: a line that is neither a byte nor a text, a line that
// is unreasonably long, a file that cannot be read or that holds more than the write
// buffer. Inconsistent: a text whose length is not the one its type/length byte gives.
ListingResult readListing(FILE* in, std::vector<BYTE>& bytes) {
    std::string line;
    ListingState state;
    bool consistent = true;
    int c;
    bool more = true;
    while (more) {
        line.clear();
        while ((c = getc(in)) != EOF && c != '\n') {
            if (line.size() >= maxLineLength) return ListingResult::Unreadable;
            line.push_back(static_cast<char>(c));
        }
        more = c != EOF;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const LineResult taken = takeLine(line, bytes, state);
        if (taken == LineResult::Bad) return ListingResult::Unreadable;
        if (taken == LineResult::Mismatched) consistent = false;
        if (bytes.size() > fruWriteBufferSize) return ListingResult::Unreadable;
    }
    if (ferror(in) != 0) return ListingResult::Unreadable;
    return consistent ? ListingResult::Ok : ListingResult::Inconsistent;
}

// The multi-record chain from `start`: every record inside the image, its header and data
// matching their checksums, the last one marked end of list.
bool multiRecordsConsistent(const BYTE* image, size_t length, size_t start) {
    size_t p = start;
    for (int n = 0; n < fruMultiRecordCount; ++n) {
        if (p + multiHeaderSize > length || vkt::byteSum(image + p, multiHeaderSize) != 0) return false;
        const BYTE flag = image[p + 1];
        const size_t dataLength = image[p + 2];
        const BYTE dataChecksum = image[p + 3];
        p += multiHeaderSize;
        if (p + dataLength > length) return false;
        if (static_cast<BYTE>(vkt::byteSum(image + p, dataLength) + dataChecksum) != 0) return false;
        p += dataLength;
        if ((flag & vkt::fruMultiEndOfList) != 0) return true;
    }
    return false;
}

// True when the bytes describe an image whose header and areas agree with the lengths and
// checksums they carry: what a listing written by parseFRUDataToText reads back as, unless
// it was edited without keeping them in step.
bool imageConsistent(const BYTE* image, size_t length) {
    if (length < headerSize || vkt::byteSum(image, headerSize) != 0) return false;
    fru_header h;
    memcpy(&h, image, sizeof h);
    const BYTE offsets[] = {h.internal, h.chassis, h.board, h.product, h.multi};
    for (BYTE offset : offsets)
        if (offset != 0 && offset * areaUnit >= length) return false;
    for (BYTE offset : {h.chassis, h.board, h.product}) {
        if (offset == 0) continue;
        const size_t start = offset * areaUnit;
        const size_t size = (start + 1 < length ? image[start + 1] : 0) * areaUnit;
        if (size == 0 || start + size > length || vkt::byteSum(image + start, size) != 0) return false;
    }
    return h.multi == 0 || multiRecordsConsistent(image, length, h.multi * areaUnit);
}

}  // namespace

int loadFRUFile(const char* path) {
    loadFRUSourceSetting();
    std::vector<BYTE> image;
    const vkt::FileLoad load = vkt::readWholeFile(path, fruWriteBufferSize, image);
    if (load == vkt::FileLoad::cannotOpen) return fruFileOpenError;
    // A file that does not read as its size, an empty one or one larger than the write
    // buffer is not an image this routine can write whole; refuse it before anything
    // reaches the FRU.
    if (load != vkt::FileLoad::ok || image.empty()) {
        fputs("Reading error", stderr);
        return fruFileReadError;
    }
    memcpy(fruWriteBuffer, image.data(), image.size());
    fruWriteBufferLength = static_cast<int32_t>(image.size());
    return fruFileOk;
}

int writeFRUfromFile(const char* path) {
    const int loaded = loadFRUFile(path);
    if (loaded != fruFileOk) return loaded;
    return writeFRUBufferInSegments(static_cast<size_t>(fruWriteBufferLength), fruSegmentSize);
}

int parseFRUDataToText(const BYTE* image, size_t imageLength, const char* path) {
    if (image == nullptr || imageLength < headerSize || image[0] != vkt::fruFormatVersion) return fruFileVersionError;
    FILE* out = path != nullptr ? fopen(path, "w") : nullptr;
    if (out == nullptr) return fruFileOpenError;

    Listing listing(out, image, imageLength);
    listing.section("__Common\n");
    listing.bytesTo(headerSize);

    // Areas in the order they lie in the image, so that the bytes of the listing, read one
    // after the other, are the image again; gaps between areas are listed as bytes.
    std::vector<ListedArea> areas;
    const AreaKind kinds[] = {AreaKind::Internal, AreaKind::Chassis, AreaKind::Board, AreaKind::Product, AreaKind::Multi};
    for (size_t i = 0; i < 5; ++i)
        if (image[1 + i] != 0) areas.push_back(ListedArea{kinds[i], image[1 + i] * areaUnit});
    std::stable_sort(areas.begin(), areas.end(),
                     [](const ListedArea& a, const ListedArea& b) { return a.start < b.start; });
    for (size_t i = 0; i < areas.size(); ++i) {
        // An area never runs into the next one.
        size_t limit = imageLength;
        if (i + 1 < areas.size() && areas[i + 1].start > areas[i].start) limit = std::min(limit, areas[i + 1].start);
        listArea(listing, areas[i], image, limit);
        if (i + 1 < areas.size()) listing.bytesTo(areas[i + 1].start);
    }

    const bool written = listing.ok();
    const bool closed = fclose(out) == 0;
    return written && closed ? fruFileOk : fruFileOpenError;
}

int loadFRUTextFile(const char* path) {
    loadFRUSourceSetting();
    memset(fruWriteBuffer, 0, sizeof fruWriteBuffer);
    fruWriteBufferLength = 0;
    vkt::WholeFileStream in(path, maxListingSize);
    if (in.status() == vkt::FileLoad::cannotOpen) return fruFileOpenError;
    if (in.file() == nullptr) return fruFileReadError;
    std::vector<BYTE> bytes;
    const ListingResult read = readListing(in.file(), bytes);
    // Nothing is written from a listing that could not be read whole, or that holds nothing.
    if (read == ListingResult::Unreadable || bytes.empty()) return fruFileReadError;
    if (read == ListingResult::Inconsistent || !imageConsistent(bytes.data(), bytes.size())) return fruFileInconsistent;
    memcpy(fruWriteBuffer, bytes.data(), bytes.size());
    fruWriteBufferLength = static_cast<int32_t>(bytes.size());
    return fruFileOk;
}

int writeFRUfromTextFile(const char* path) {
    const int loaded = loadFRUTextFile(path);
    if (loaded == fruFileInconsistent) return fruFileReadError;
    if (loaded != fruFileOk) return loaded;
    return writeFRUBufferInSegments(static_cast<size_t>(fruWriteBufferLength), fruTextSegmentSize);
}
