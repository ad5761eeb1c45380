// vktool fru: the BMC's FRU inventory (FRU device 0): show, back up, restore, edit.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "console.h"
#include "report.h"

namespace vktool {

namespace {

enum class Kind { text, chassisType, date };

struct FieldCode {
    const char* code;
    const char* label;
    const char* property;  // what the FRU provider publishes it as; nullptr when it does not
    int editSlot;          // argument position in bmc_DMIToFRU; -1 when it takes no part
    Kind kind;
};

constexpr FieldCode fieldCodes[] = {
    {"ct", "Chassis Type (hexadecimal)", nullptr, 11, Kind::chassisType},
    {"cp", "Chassis Part Number", nullptr, 12, Kind::text},
    {"cs", "Chassis Serial Number", nullptr, 13, Kind::text},
    {"bdt", "Board Mfg Date/Time", "VKT_BoardMfgDataTime", 6, Kind::date},
    {"bm", "Board Manufacturer", "VKT_BoardManufacturerName", 7, Kind::text},
    {"bpn", "Board Product Name", "VKT_BoardProductName", 8, Kind::text},
    {"bs", "Board Serial Number", "VKT_BoardSerialNumber", 10, Kind::text},
    {"bp", "Board Part Number", "VKT_BoardPartNumber", 9, Kind::text},
    {"bv", "Board Custom", nullptr, -1, Kind::text},
    {"pm", "Product Manufacturer", "VKT_ProductManufacturerName", 0, Kind::text},
    {"pn", "Product Name", "VKT_ProductName", 1, Kind::text},
    {"ppm", "Product Part/Model Number", "VKT_ProductPartModelNumber", 2, Kind::text},
    {"pv", "Product Version", "VKT_ProductVersion", 3, Kind::text},
    {"ps", "Product Serial Number", "VKT_ProductSerialNumber", 4, Kind::text},
    {"pat", "Product Asset Tag", "VKT_ProductAssetTag", 5, Kind::text},
};
constexpr size_t editSlots = 14;
// A field's type/length byte has six bits of length.
constexpr size_t maxTextLength = 63;
// The manufacturing date counts minutes since 1996 in three bytes.
constexpr double maxDateMinutes = 0xFFFFFF;

// YYYYMMDDhhmm of a local time the FRU's date can hold. The library refuses a malformed
// date itself; the tool also refuses one before 1996, which the library would store as
// "unspecified", and names the field in its own message.
bool storableDate(const std::string& text) {
    if (text.size() != 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    auto number = [&](size_t from, size_t n) { return std::stoi(text.substr(from, n)); };
    struct tm when = {};
    when.tm_year = number(0, 4) - 1900;
    when.tm_mon = number(4, 2) - 1;
    when.tm_mday = number(6, 2);
    when.tm_hour = number(8, 2);
    when.tm_min = number(10, 2);
    when.tm_isdst = -1;
    struct tm asked = when;
    struct tm base = {};
    base.tm_year = 96;
    base.tm_mday = 1;
    base.tm_isdst = -1;
    const time_t whenTime = mktime(&when);
    const time_t baseTime = mktime(&base);
    if (whenTime == static_cast<time_t>(-1) || baseTime == static_cast<time_t>(-1)) return false;
    // mktime moves 31 April to 1 May; such a date is not the one asked for.
    if (when.tm_mon != asked.tm_mon || when.tm_mday != asked.tm_mday || asked.tm_hour > 23 || asked.tm_min > 59)
        return false;
    const double minutes = difftime(whenTime, baseTime) / 60;
    return minutes >= 0 && minutes <= maxDateMinutes;
}

// Refuses, before anything is read or written, a value the image could not hold as given.
bool acceptableValue(const Invocation& inv, const FieldCode& f, const std::string& value) {
    if (f.kind == Kind::text && value.size() > maxTextLength) {
        inv.refuse(std::string("the value of ") + f.code + " is longer than " + std::to_string(maxTextLength) +
                   " characters");
        return false;
    }
    if (f.kind == Kind::date && !storableDate(value)) {
        inv.refuse("bdt takes a local date and time YYYYMMDDhhmm from 199601010000 to late 2027");
        return false;
    }
    return true;  // the library checks the chassis type itself
}

const FieldCode* findCode(const std::string& text) {
    for (const FieldCode& f : fieldCodes)
        if (strcasecmp(text.c_str(), f.code) == 0) return &f;
    return nullptr;
}

// The FRU provider's instance, after its collector has read the image.
std::optional<cimhost::Instance> published(const Invocation& inv, int* rc) {
    *rc = bmc_GetFRUList();
    if (*rc != VKT_BMC_OK) return std::nullopt;
    std::optional<cimhost::Instance> record =
        publishedInstance(inv, "FRUProvider", "the FRU provider published no inventory");
    if (!record) *rc = VKT_BMC_COMMAND_FAILED;
    return record;
}

int show(Invocation& inv) {
    int rc = VKT_BMC_OK;
    std::optional<cimhost::Instance> fru = published(inv, &rc);
    if (!fru) return rc;
    // In the provider's order, which puts its one property without a field code (the
    // customer text) after the board's part number.
    std::vector<Column> columns;
    for (const FieldCode& f : fieldCodes) {
        if (f.property != nullptr) columns.push_back({f.property, f.code, f.label});
        if (strcmp(f.code, "bp") == 0) columns.push_back({"VKT_BoardCustomer", "boardCustomer", "Board Customer"});
    }
    printRecord(inv, *fru, columns);
    return VKT_BMC_OK;
}

int get(Invocation& inv) {
    const FieldCode* f = findCode(inv.arguments[0]);
    if (f == nullptr) return inv.refuse("unknown field code " + inv.arguments[0] + " (see vktool fru --help)");
    if (f->property == nullptr)
        return inv.refuse(std::string("the field ") + f->code +
                          " is not part of the published inventory; fru backup --text lists every byte");
    int rc = VKT_BMC_OK;
    std::optional<cimhost::Instance> fru = published(inv, &rc);
    if (!fru) return rc;
    const std::string value = shownValue(*fru, f->property);
    if (inv.json())
        printJson(Json::object().add("code", Json::string(f->code)).add("value", Json::text(value)));
    else
        fprintf(console::data(), "%s\n", value.c_str());
    return VKT_BMC_OK;
}

int set(Invocation& inv) {
    // Unknown codes are the library's to refuse (with its own message).
    const FieldCode* f = findCode(inv.arguments[0]);
    if (f != nullptr && !acceptableValue(inv, *f, inv.arguments[1])) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Write " + inv.arguments[0] + "=" + inv.arguments[1] + " into the BMC's FRU inventory?"))
        return notConfirmed;
    return bmc_SetFRUField(inv.arguments[0].c_str(), inv.arguments[1].c_str());
}

int edit(Invocation& inv) {
    std::array<std::string, editSlots> values;
    std::array<bool, editSlots> given{};
    for (const std::string& word : inv.arguments) {
        const size_t eq = word.find('=');
        const FieldCode* f = eq == std::string::npos ? nullptr : findCode(word.substr(0, eq));
        if (f == nullptr) return inv.refuse("arguments are CODE=VALUE with a field code of fru --help");
        if (f->editSlot < 0) return inv.refuse(std::string("the field ") + f->code + " is changed with fru set only");
        if (given[f->editSlot]) return inv.refuse(std::string("the field ") + f->code + " is given twice");
        if (!acceptableValue(inv, *f, word.substr(eq + 1))) return VKT_BMC_BAD_ARGUMENT;
        given[f->editSlot] = true;
        values[f->editSlot] = word.substr(eq + 1);
    }
    const std::string count = std::to_string(inv.arguments.size());
    if (!inv.confirm("Write " + count + (inv.arguments.size() == 1 ? " field" : " fields") +
                     " into the BMC's FRU inventory?"))
        return notConfirmed;
    const char* v[editSlots];
    for (size_t i = 0; i < editSlots; ++i) v[i] = given[i] ? values[i].c_str() : nullptr;
    return bmc_DMIToFRU(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13]);
}

int backup(Invocation& inv) {
    const char* path = inv.arguments[0].c_str();
    return inv.has("--text") ? bmc_BackupFRUToText(path) : bmc_BackupFRU(path);
}

int restore(Invocation& inv) {
    const std::string& path = inv.arguments[0];
    // The restore unlocks the FRU before it opens the file; a file that cannot be read
    // is refused before that, so the FRU is not left unlocked for nothing.
    if (!inv.readableFile(path)) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Overwrite the BMC's FRU inventory with " + path + "?")) return notConfirmed;
    return inv.has("--text") ? bmc_RestoreFRUFromText(path.c_str()) : bmc_RestoreFRU(path.c_str());
}

int check(Invocation&) { return bmc_GetFRUField(""); }

int version(Invocation&) { return bmc_GetFRUVer(); }

int setVersion(Invocation& inv) {
    std::optional<unsigned char> major = inv.hexByte(inv.arguments[0], "MAJOR");
    if (!major) return VKT_BMC_BAD_ARGUMENT;
    std::optional<unsigned char> minor = inv.hexByte(inv.arguments[1], "MINOR");
    if (!minor) return VKT_BMC_BAD_ARGUMENT;
    char tag[8];
    snprintf(tag, sizeof tag, "%02X.%02X", *major, *minor);
    if (!inv.confirm(std::string("Write the FRU version tag ") + tag + "?")) return notConfirmed;
    return bmc_SetFRUVer(*major, *minor);
}

std::string codeHelp() {
    std::string s = "Field codes (any case):\n";
    for (const FieldCode& f : fieldCodes) {
        char line[80];
        snprintf(line, sizeof line, "  %-5s %s\n", f.code, f.label);
        s += line;
    }
    return s +
           "\nbdt takes YYYYMMDDhhmm (local time, 1996 to late 2027), ct a hexadecimal chassis\n"
           "type, the others text of up to 63 characters.\n";
}

constexpr const char* allCodes = "ct cp cs bdt bm bpn bs bp bv pm pn ppm pv ps pat";
constexpr const char* publishedCodes = "bdt bm bpn bs bp pm pn ppm pv ps pat";

constexpr Option textOption = {"--text", nullptr, "an annotated text listing of the bytes instead of a binary image"};

}  // namespace

extern const Subject fruSubject = {
    "fru",
    "FRU inventory: show, back up, restore, edit",
    "The FRU inventory of FRU device 0. A change rebuilds the whole image and writes it\n"
    "between an unlock and a lock of the FRU.\n\n" +
        codeHelp(),
    {
        {"show", "", "print the board and product inventory (\"NA\" for empty fields)", "", 0, 0, {}, show,
         dataAction},
        {"get", "CODE", "print one field of the published inventory",
         "The chassis fields and bv are not published; fru backup --text lists them.\n\n" + codeHelp(), 1, 1, {},
         get, dataAction, {{"1", publishedCodes}}},
        {"set", "CODE VALUE", "change one field and rewrite the image", codeHelp(), 2, 2, {}, set,
         changesBmc | showsProgress, {{"1", allCodes}}},
        {"edit", "CODE=VALUE...", "change several fields in one rewrite of the image",
         "Takes every code but bv.\n\n" + codeHelp(), 1, static_cast<int>(editSlots), {}, edit,
         changesBmc | showsProgress},
        {"backup", "FILE", "copy the FRU image into FILE", "", 1, 1, {textOption}, backup, showsProgress},
        {"restore", "FILE", "write FILE (made by backup) into the FRU", "", 1, 1, {textOption}, restore,
         changesBmc | showsProgress},
        {"check", "", "read and parse the FRU image; only the exit status tells", "", 0, 0, {}, check},
        {"version", "", "print the FRU version tag", "", 0, 0, {}, version},
        {"set-version", "MAJOR MINOR", "write the FRU version tag (two bytes in hexadecimal) and read it back", "", 2,
         2, {}, setVersion, changesBmc},
    },
};

}  // namespace vktool
