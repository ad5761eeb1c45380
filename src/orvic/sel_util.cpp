// SEL reader and the time stamp texts of SEL entries.
#include "sel_util.h"

#include <algorithm>

#include "bounded.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "smipmi.h"

BYTE selInfo[selInfoSize];
BYTE selReserveID[2];
int selRecordCount = 0;
BYTE selRecords[selMaxRecords][selRecordSize];

namespace {

constexpr BYTE cmdGetSelInfo = 0x40;
constexpr BYTE cmdReserveSel = 0x42;
constexpr BYTE cmdGetSelEntry = 0x43;

constexpr BYTE readWholeRecord = 0xFF;
// Next-record ID the BMC gives with the log's last entry.
constexpr WORD lastRecordId = 0xFFFF;

}  // namespace

BYTE getSELInfo() {
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnStorage, cmdGetSelInfo);
    if (reply.ok()) {
        // A short answer leaves no bytes of an earlier one behind.
        reply.view().copyTo(selInfo, 0, sizeof selInfo);
    }
    return reply.cc;
}

BYTE getReserveSELID() {
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnStorage, cmdReserveSel);
    if (reply.ok()) {
        const vkt::ReservationReply reservation = vkt::ReservationReply::decode(reply.view());
        selReserveID[0] = reservation.id[0];
        selReserveID[1] = reservation.id[1];
    }
    return reply.cc;
}

int getSELRecordCount() { return vkt::SelInfoReply::decode(vkt::ByteView(selInfo)).entries; }

BYTE getSELs() {
    BYTE request[6] = {selReserveID[0], selReserveID[1], 0x00, 0x00, 0x00, readWholeRecord};
    // The count may exceed what selRecords holds (the BMC counts up to 65535); the
    // surplus entries are not read.
    selRecordCount = std::min(getSELRecordCount(), selMaxRecords);
    for (int i = 0; i < selRecordCount; ++i) {
        vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnStorage, cmdGetSelEntry, request);
        if (!reply.ok()) return reply.cc;
        const vkt::RecordReply entry = vkt::RecordReply::decode(reply.view());
        entry.record.copyTo(selRecords[i], 0, selRecordSize);
        request[2] = static_cast<BYTE>(entry.nextRecordId & 0xFF);
        request[3] = static_cast<BYTE>(entry.nextRecordId >> 8);
        // The log ended before the count said so (entries were deleted meanwhile). Asking
        // for record FFFFh would fetch the last entry again and list it twice.
        if (entry.nextRecordId == lastRecordId) {
            selRecordCount = i + 1;
            break;
        }
    }
    return vkt::ccSuccess;
}

// ---- time stamps ------------------------------------------------------------------------

namespace vkt {

namespace {

constexpr int64_t secondsPerDay = 86400;
// 0001-01-01T00:00:00 and 9999-12-31T23:59:59 in seconds since 1970.
constexpr int64_t earliestTime = -62135596800LL;
constexpr int64_t latestTime = 253402300799LL;

const char* const weekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const monthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

}  // namespace

bool utcFromEpoch(int64_t seconds, UtcTime* out) {
    if (out == nullptr || seconds < earliestTime || seconds > latestTime) return false;
    const int64_t days = floorDiv(seconds, secondsPerDay);
    const int64_t secondOfDay = seconds - days * secondsPerDay;

    // Proleptic Gregorian calendar from a day count, in 400-year eras starting 0000-03-01.
    const int64_t z = days + 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);

    out->year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    out->month = month;
    out->day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    out->hour = static_cast<int>(secondOfDay / 3600);
    out->minute = static_cast<int>(secondOfDay / 60 % 60);
    out->second = static_cast<int>(secondOfDay % 60);
    out->weekday = static_cast<int>(days + 4 - floorDiv(days + 4, 7) * 7);  // 1970-01-01 was a Thursday
    return true;
}

namespace {

// Writes `value` as exactly `width` decimal digits ending before `end`.
void putDigits(char* end, int width, int64_t value) {
    for (int i = 0; i < width; ++i, value /= 10) *--end = static_cast<char>('0' + value % 10);
}

}  // namespace

size_t formatSelTime(char* dst, size_t cap, int64_t seconds) {
    UtcTime t{};
    if (!utcFromEpoch(seconds, &t)) return copyText(dst, cap, "");
    // Written out field by field rather than with strftime's %X, whose form depends on
    // the locale the host process chose, and without a formatted print: the list formats
    // one stamp per entry. The year stays within 0000-9999 (see utcFromEpoch).
    char text[] = "YYYY/MM/DD hh:mm:ss";
    putDigits(text + 4, 4, t.year);
    putDigits(text + 7, 2, t.month);
    putDigits(text + 10, 2, t.day);
    putDigits(text + 13, 2, t.hour);
    putDigits(text + 16, 2, t.minute);
    putDigits(text + 19, 2, t.second);
    return copyText(dst, cap, text);
}

size_t formatAscTime(char* dst, size_t cap, int64_t seconds) {
    UtcTime t{};
    if (!utcFromEpoch(seconds, &t)) return copyText(dst, cap, "");
    return formatText(dst, cap, "%.3s %.3s%3d %.2d:%.2d:%.2d %lld\n", weekdayNames[t.weekday],
                      monthNames[t.month - 1], t.day, t.hour, t.minute, t.second, static_cast<long long>(t.year));
}

}  // namespace vkt
