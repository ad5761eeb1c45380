// vktool fan: the BMC's fan mode.
#include <strings.h>

#include <cstdlib>

#include "console.h"
#include "report.h"

namespace vktool {

namespace {

struct FanMode {
    const char* word;  // as MODE is written
    int code;          // the BMC's code, as the library's bmc_SetFanMode takes it
};

// In the order of the BMC's codes (and of the class names VKT_SetFanModeTo*).
constexpr FanMode fanModes[] = {
    {"standard", 0}, {"full", 1}, {"optimal", 2}, {"pue2", 3}, {"heavyio", 4}, {"pue3", 5},
};

constexpr const char* modeWords = "standard full optimal pue2 heavyio pue3";

const char* wordOf(int code) {
    for (const FanMode& m : fanModes)
        if (m.code == code) return m.word;
    return nullptr;
}

// The current mode and the supported ones, as VKT_IPMDevice publishes them
// ("0:Standard,1:Full,...").
int show(Invocation& inv) {
    std::optional<cimhost::Instance> device =
        publishedInstance(inv, "IPMDeviceProvider", "the IPM device provider published nothing");
    if (!device) return VKT_BMC_COMMAND_FAILED;
    const std::string current = shownValue(*device, "VKT_CurrentFanMode");
    const std::string supported = shownValue(*device, "VKT_SupportedFanModes");
    Json modes = Json::array();
    std::string words;
    std::string currentWord;
    for (size_t start = 0; start < supported.size();) {
        size_t end = supported.find(',', start);
        if (end == std::string::npos) end = supported.size();
        const std::string item = supported.substr(start, end - start);
        start = end + 1;
        const size_t colon = item.find(':');
        if (colon == std::string::npos) continue;
        const char* word = wordOf(atoi(item.substr(0, colon).c_str()));
        const std::string name = item.substr(colon + 1);
        if (word == nullptr) continue;
        modes.push(Json::object().add("mode", Json::string(word)).add("text", Json::string(name)).compact());
        words += std::string(words.empty() ? "" : ", ") + word + " (" + name + ")";
        if (name == current) currentWord = word;
    }
    if (inv.json()) {
        printJson(Json::object()
                      .add("current", currentWord.empty() ? Json::null() : Json::string(currentWord))
                      .add("currentText", Json::text(current))
                      .add("supported", modes));
        return VKT_BMC_OK;
    }
    console::endLine();
    fprintf(console::data(), "Current fan mode : %s\n", current.empty() ? "unknown (the query failed)" : current.c_str());
    fprintf(console::data(), "Supported        : %s\n", words.empty() ? "unknown (the query failed)" : words.c_str());
    return VKT_BMC_OK;
}

int mode(Invocation& inv) {
    if (inv.arguments.empty()) return show(inv);
    const FanMode* chosen = nullptr;
    for (const FanMode& m : fanModes)
        if (strcasecmp(inv.arguments[0].c_str(), m.word) == 0) chosen = &m;
    if (chosen == nullptr) return inv.refuse(std::string("MODE must be one of ") + modeWords);
    if (!inv.confirm(std::string("Set the fan mode to ") + chosen->word + "?")) return notConfirmed;
    return bmc_SetFanMode(chosen->code);
}

}  // namespace

extern const Subject fanSubject = {
    "fan",
    "the BMC's fan mode",
    "",
    {
        {"mode", "[MODE]", "print the current and the supported fan modes, or set the mode",
         "MODE is standard, full, optimal, pue2 (PUE2 Optimal), heavyio (Heavy IO) or pue3\n"
         "(PUE3 Optimal). Setting it sends what the class VKT_SetFanModeTo<Mode> sends and\n"
         "asks for confirmation on a terminal unless --yes is given; the BMC may refuse a\n"
         "mode it does not support (status 11).\n",
         0, 1, {}, mode, dataAction, {{"1", modeWords}}},
    },
};

}  // namespace vktool
