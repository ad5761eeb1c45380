// vktool sdr: records of the SDR repository and the version tag the BMC keeps for it.
#include <cstdio>

#include "cli.h"

namespace vktool {

namespace {

constexpr long maxRecordId = 0xFFFF;

int remove(Invocation& inv) {
    std::optional<long> id = inv.number(inv.arguments[0], "RECORD-ID", 0, maxRecordId);
    if (!id) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Delete SDR record " + std::to_string(*id) + "?")) return notConfirmed;
    return bmc_DeleteSDRRecord(static_cast<int>(*id));
}

int version(Invocation&) { return bmc_GetSDRVer(); }

int setVersion(Invocation& inv) {
    std::optional<unsigned char> major = inv.hexByte(inv.arguments[0], "MAJOR");
    if (!major) return VKT_BMC_BAD_ARGUMENT;
    std::optional<unsigned char> minor = inv.hexByte(inv.arguments[1], "MINOR");
    if (!minor) return VKT_BMC_BAD_ARGUMENT;
    char tag[8];
    snprintf(tag, sizeof tag, "%02X.%02X", *major, *minor);
    if (!inv.confirm(std::string("Write the SDR version tag ") + tag + "?")) return notConfirmed;
    return bmc_SetSDRVer(*major, *minor);
}

}  // namespace

extern const Subject sdrSubject = {
    "sdr",
    "SDR repository records and version tag",
    "",
    {
        {"delete", "RECORD-ID", "delete one record (ID 0-65535, decimal or 0x-hexadecimal)",
         "", 1, 1, {}, remove, changesBmc},
        {"version", "", "print the SDR version tag", "", 0, 0, {}, version},
        {"set-version", "MAJOR MINOR", "write the SDR version tag (two bytes in hexadecimal) and read it back", "", 2,
         2, {}, setVersion, changesBmc},
    },
};

}  // namespace vktool
