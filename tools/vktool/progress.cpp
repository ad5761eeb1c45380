#include "progress.h"

#include <cstdio>
#include <map>

#include "console.h"
#include "varkolt/bmc.h"

namespace vktool::progress {

namespace {

constexpr long plainSteps = 10;  // without a terminal: a line per tenth of the total

struct State {
    bool active = false;
    bool quiet = false;
    std::map<int, Count> counts;
    std::map<int, long> shownStep;  // plain lines: the last tenth shown per kind
    std::string shown;
};

State state;

std::string describe(int what, long done, long total) {
    const std::string of = grouped(done) + (total > 0 ? " of " + grouped(total) : "");
    switch (what) {
        case VKT_PROGRESS_FIRMWARE_RECORDS: return "Loading the controller firmware: record " + of;
        case VKT_PROGRESS_FIRMWARE_FINISH: return "Waiting for the controller's loader to finish: " + of + " s";
        case VKT_PROGRESS_FRU_READ: return "Reading the FRU: " + of + " bytes";
        case VKT_PROGRESS_FRU_WRITE: return "Writing the FRU: " + of + " bytes";
        case VKT_PROGRESS_CONFIG_PREPARE: return "Waiting for the BMC to prepare the configuration: " + grouped(done) + " s";
        case VKT_PROGRESS_CONFIG_DOWNLOAD: return "Saving the configuration: " + of + " bytes";
        case VKT_PROGRESS_CONFIG_UPLOAD: return "Loading the configuration: " + of + " bytes";
        case VKT_PROGRESS_LAN_SETTLE: return "Waiting for the BMC to apply the change: " + of + " s";
        case VKT_PROGRESS_BMC_WAKEUP: return "Waiting for the BMC to restart: " + of + " s";
        default: return "Working: " + of;
    }
}

// Without a terminal every report would be a line: the first, each tenth and the last.
bool worthALine(int what, long done, long total) {
    const long step = total > 0 ? done * plainSteps / total : done;
    auto it = state.shownStep.find(what);
    if (it != state.shownStep.end() && it->second == step && done != total) return false;
    state.shownStep[what] = step;
    return true;
}

void onProgress(void*, int what, long done, long total) {
    state.counts[what] = {done, total, true};
    if (state.quiet) return;
    const std::string text = describe(what, done, total);
    if (text == state.shown) return;
    if (!console::statusInPlace() && !worthALine(what, done, total)) return;
    state.shown = text;
    console::showStatus(text);
}

bool completed(int what) {
    const Count c = last(what);
    return c.reported && c.total > 0 && c.done == c.total;
}

void summarize() {
    auto say = [](const std::string& line) { fprintf(stderr, "%s\n", line.c_str()); };
    if (completed(VKT_PROGRESS_FIRMWARE_RECORDS))
        say("Firmware loaded: " + grouped(last(VKT_PROGRESS_FIRMWARE_RECORDS).total) + " records");
    // A field change reads the image before it writes it: the write is what was done.
    if (completed(VKT_PROGRESS_FRU_WRITE))
        say("FRU written: " + grouped(last(VKT_PROGRESS_FRU_WRITE).total) + " bytes");
    else if (completed(VKT_PROGRESS_FRU_READ))
        say("FRU read: " + grouped(last(VKT_PROGRESS_FRU_READ).total) + " bytes");
    if (completed(VKT_PROGRESS_CONFIG_DOWNLOAD))
        say("Configuration saved: " + grouped(last(VKT_PROGRESS_CONFIG_DOWNLOAD).total) + " bytes");
    if (completed(VKT_PROGRESS_CONFIG_UPLOAD))
        say("Configuration loaded: " + grouped(last(VKT_PROGRESS_CONFIG_UPLOAD).total) + " bytes");
    if (last(VKT_PROGRESS_BMC_WAKEUP).reported)
        say("The BMC answered after " + grouped(last(VKT_PROGRESS_BMC_WAKEUP).done) + " s");
}

}  // namespace

std::string grouped(long n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, " ");
    return (n < 0 ? "-" : "") + digits;
}

void start(bool quiet) {
    state = State{};
    state.active = true;
    state.quiet = quiet;
    bmc_SetProgressHandler(onProgress, nullptr);
}

void finish(int rc) {
    if (!state.active) return;
    bmc_SetProgressHandler(nullptr, nullptr);
    console::clearStatus();
    state.active = false;
    if (rc == VKT_BMC_OK && !state.quiet) summarize();
}

Count last(int what) {
    auto it = state.counts.find(what);
    return it != state.counts.end() ? it->second : Count{};
}

}  // namespace vktool::progress
