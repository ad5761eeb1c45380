// vktool config: the BMC's configuration file, saved into a local file and loaded back.
#include "cli.h"

namespace vktool {

namespace {

const Option typeOption = {"--type", "TYPE", "file type 0-255 (default 0)"};
constexpr long maxFileType = 0xFF;

std::optional<long> fileType(const Invocation& inv) {
    if (!inv.has("--type")) return 0;
    return inv.number(inv.option("--type"), "TYPE", 0, maxFileType);
}

int save(Invocation& inv) {
    std::optional<long> type = fileType(inv);
    if (!type) return VKT_BMC_BAD_ARGUMENT;
    return bmc_ConfigurationDownload(inv.arguments[0].c_str(), static_cast<short>(*type));
}

int load(Invocation& inv) {
    std::optional<long> type = fileType(inv);
    if (!type) return VKT_BMC_BAD_ARGUMENT;
    const std::string& path = inv.arguments[0];
    if (!inv.readableFile(path)) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Load " + path + " into the BMC, which then restarts?")) return notConfirmed;
    return bmc_ConfigurationUpload(path.c_str(), static_cast<unsigned char>(*type));
}

}  // namespace

extern const Subject configSubject = {
    "config",
    "the BMC's configuration file",
    "Status 13 when the BMC has no configuration transfer.\n",
    {
        {"save", "FILE", "save the BMC's configuration into FILE",
         "FILE is replaced only once the whole configuration has arrived; after a failure an\n"
         "earlier FILE is left as it was.\n",
         1, 1, {typeOption}, save, showsProgress},
        {"load", "FILE", "load FILE (made by save) into the BMC, which then restarts",
         "FILE is read whole before the BMC is asked anything; nothing is sent when it is\n"
         "empty or does not read as the size its file system reports.\n",
         1, 1, {typeOption}, load, changesBmc | showsProgress},
    },
};

}  // namespace vktool
