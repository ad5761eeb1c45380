// The two file forms of a FRU image: a binary copy, and an annotated text listing of every
// byte (fields shown as text where that survives the trip), plus writing either back.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bounded.h"
#include "fru_util.h"
#include "output_file.h"
#include "whole_file.h"

namespace {

constexpr size_t areaUnit = 8;
constexpr size_t headerSize = sizeof(fru_header);
constexpr size_t maxLineLength = 4096;
// Far beyond the listing of the largest image the write buffer holds.
constexpr size_t maxListingSize = 1u << 20;

// One section line of a listing: its name and how many bytes the listing holds before it.
struct Section {
    std::string name;
    size_t position;
};

// ---- the listing writer -----------------------------------------------------------------

enum class AreaKind { Internal, Chassis, Board, Product, Multi };

struct ListedArea {
    AreaKind kind;
    size_t start;
};

const char* const commonSection = "__Common";

class Listing {
public:
    Listing(const BYTE* image, size_t length) : image_(image), length_(length) {}

    const std::string& text() const { return text_; }
    const std::vector<Section>& sections() const { return sections_; }
    size_t pos() const { return pos_; }

    void section(const char* name) {
        sections_.push_back(Section{name, pos_});
        text_ += name;
        text_ += '\n';
    }

    // Byte lines up to `end` (never past the image).
    void bytesTo(size_t end) {
        end = std::min(end, length_);
        char line[8];
        for (; pos_ < end; ++pos_) {
            snprintf(line, sizeof line, "\t%02X\n", image_[pos_]);
            text_ += line;
        }
    }

    // One type/length field, when it lies wholly before `limit`: its type/length byte, then
    // its bytes as one text line when they survive a line-based trip, else as byte lines.
    bool field(size_t limit) {
        const vkt::FruField f = vkt::readFruField(vkt::ByteView(image_, std::min(limit, length_)), pos_);
        if (!f.whole()) return false;
        bytesTo(pos_ + 1);
        const size_t n = f.length();
        const BYTE* text = f.bytes.data();
        const bool asText = std::none_of(text, text + n, [](BYTE b) { return b == 0x00 || b == '\n' || b == '\r'; });
        if (n == 0) return true;
        if (!asText) {
            bytesTo(pos_ + n);
            return true;
        }
        text_ += "\t'";
        text_.append(reinterpret_cast<const char*>(text), n);
        text_ += "'\n";
        pos_ += n;
        return true;
    }

private:
    const BYTE* image_;
    size_t length_;
    size_t pos_ = 0;
    std::string text_;
    std::vector<Section> sections_;
};

const char* sectionName(AreaKind kind) {
    switch (kind) {
        case AreaKind::Internal:
            return "__Internal";
        case AreaKind::Chassis:
            return "__Chassis";
        case AreaKind::Board:
            return "__Board";
        case AreaKind::Product:
            return "__Product";
        case AreaKind::Multi:
            return "__Multi";
    }
    return "";
}

bool isSectionName(const std::string& name) {
    if (name == commonSection) return true;
    for (AreaKind kind : {AreaKind::Internal, AreaKind::Chassis, AreaKind::Board, AreaKind::Product, AreaKind::Multi})
        if (name == sectionName(kind)) return true;
    return false;
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
            // Through the record marked end of list; a chain without one runs on to the
            // limit, the bytes too few for another record header included.
            vkt::FruImage chain;
            vkt::decodeFruArea(vkt::ByteView(image, limit), vkt::FruAreaKind::multiRecord,
                               static_cast<BYTE>(start / areaUnit), chain);
            return chain.multiRecords.end;
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

// Only an image of the one format version the listing knows is listed.
bool listable(const BYTE* image, size_t imageLength) {
    return image != nullptr && imageLength >= headerSize && image[0] == vkt::fruFormatVersion;
}

// The header, then the areas in the order they lie in the image, so that the bytes of the
// listing, read one after the other, are the image again; gaps between areas are listed as
// bytes.
void listImage(Listing& listing, const BYTE* image, size_t imageLength) {
    listing.section(commonSection);
    listing.bytesTo(headerSize);
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
}

// ---- the listing reader -----------------------------------------------------------------

// Mismatched: a text that does not have the length its type/length byte gives.
enum class LineResult { Ok, Bad, Mismatched };

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// What a listing holds: its bytes in order and where its section lines stand. A text line
// stands right after the type/length byte of its field, and must be as long as that byte says.
struct ListingContent {
    std::vector<BYTE> bytes;
    std::vector<Section> sections;
    bool lastWasByte = false;
    BYTE lastByte = 0;
};

// Appends the bytes one listing line stands for.
LineResult takeLine(const std::string& line, ListingContent& content) {
    size_t first = 0;
    while (first < line.size() && isBlank(line[first])) ++first;
    if (first == line.size()) return LineResult::Ok;  // blank
    size_t last = line.size();
    while (last > first && isBlank(line[last - 1])) --last;
    if (line.compare(first, 2, "__") == 0) {
        content.sections.push_back(Section{line.substr(first, last - first), content.bytes.size()});
        return LineResult::Ok;
    }
    std::vector<BYTE>& bytes = content.bytes;
    const size_t open = line.find('\'');
    if (open != std::string::npos) {
        const size_t close = line.rfind('\'');
        if (close == open) return LineResult::Bad;
        const size_t length = close - open - 1;
        const bool matches = content.lastWasByte && (content.lastByte & vkt::fruLengthMask) == length;
        bytes.insert(bytes.end(), line.begin() + static_cast<long>(open) + 1, line.begin() + static_cast<long>(close));
        content.lastWasByte = false;
        return matches ? LineResult::Ok : LineResult::Mismatched;
    }
    if (last - first > 2 && line[first] == '0' && (line[first + 1] == 'x' || line[first + 1] == 'X')) first += 2;
    if (last - first > 2 || last == first) return LineResult::Bad;
    unsigned value = 0;
    for (size_t i = first; i < last; ++i) {
        const int digit = vkt::hexDigit(line[i]);
        if (digit < 0) return LineResult::Bad;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    bytes.push_back(static_cast<BYTE>(value));
    content.lastWasByte = true;
    content.lastByte = static_cast<BYTE>(value);
    return LineResult::Ok;
}

enum class ListingResult { Ok, Unreadable, Inconsistent };

// Reads a whole listing. Unreadable: a line that is neither a byte nor a text, a line that
// is unreasonably long, a file that cannot be read or that holds more than the write
// buffer. Inconsistent: a text whose length is not the one its type/length byte gives.
ListingResult readListing(FILE* in, ListingContent& content) {
    std::string line;
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
        const LineResult taken = takeLine(line, content);
        if (taken == LineResult::Bad) return ListingResult::Unreadable;
        if (taken == LineResult::Mismatched) consistent = false;
        if (content.bytes.size() > fruWriteBufferSize) return ListingResult::Unreadable;
    }
    if (ferror(in) != 0) return ListingResult::Unreadable;
    return consistent ? ListingResult::Ok : ListingResult::Inconsistent;
}

// Checksums cannot tell a hand edit from a device's own bytes (a wrong area checksum is a
// common defect of real images, and its backup must restore as it was), but the listing's
// shape can: the backup lists the header and every area in order, a section line where each
// area begins, and nothing after the last one. Listed again from the bytes it holds, a
// listing the backup wrote comes out with its section lines at the same places and not one
// byte more; a line added or dropped inside an area moves every section line after it, and
// one added after the last area is a byte no area holds. (A listing that stops early, inside
// or before an area, is told by the FRU it goes to: see fruListingEndsWithImage.) A section
// line whose name the backup does not write is taken as a note wherever the backup writes one.
bool describesWholeAreas(const ListingContent& listing) {
    const std::vector<BYTE>& bytes = listing.bytes;
    if (!listable(bytes.data(), bytes.size())) return false;
    Listing expected(bytes.data(), bytes.size());
    listImage(expected, bytes.data(), bytes.size());
    if (expected.pos() != bytes.size()) return false;
    const std::vector<Section>& want = expected.sections();
    if (want.size() != listing.sections.size()) return false;
    for (size_t i = 0; i < want.size(); ++i) {
        const Section& got = listing.sections[i];
        if (got.position != want[i].position) return false;
        if (isSectionName(got.name) && got.name != want[i].name) return false;
    }
    return true;
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
    if (!listable(image, imageLength)) return fruFileVersionError;
    FILE* out = vkt::openOutputFile(path);
    if (out == nullptr) return fruFileOpenError;
    Listing listing(image, imageLength);
    listImage(listing, image, imageLength);
    const std::string& text = listing.text();
    const bool written = fwrite(text.data(), 1, text.size(), out) == text.size();
    const bool closed = fclose(out) == 0;
    return written && closed ? fruFileOk : fruFileOpenError;
}

bool fruListingEndsWithImage(const BYTE* image, size_t imageLength) {
    if (!listable(image, imageLength)) return false;
    // One byte more, FFh: as a type/length byte it starts the longest field, which that one
    // byte can never hold, so the byte is listed only when every longer image would be.
    std::vector<BYTE> longer(image, image + imageLength);
    longer.push_back(0xFF);
    Listing listing(longer.data(), longer.size());
    listImage(listing, longer.data(), longer.size());
    return listing.pos() > imageLength;
}

int loadFRUTextFile(const char* path) {
    loadFRUSourceSetting();
    memset(fruWriteBuffer, 0, sizeof fruWriteBuffer);
    fruWriteBufferLength = 0;
    vkt::WholeFileStream in(path, maxListingSize);
    if (in.status() == vkt::FileLoad::cannotOpen) return fruFileOpenError;
    if (in.file() == nullptr) return fruFileReadError;
    ListingContent listing;
    const ListingResult read = readListing(in.file(), listing);
    const std::vector<BYTE>& bytes = listing.bytes;
    // Nothing is written from a listing that could not be read whole, or that holds nothing.
    if (read == ListingResult::Unreadable || bytes.empty()) return fruFileReadError;
    if (read == ListingResult::Inconsistent || !describesWholeAreas(listing)) return fruFileInconsistent;
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
