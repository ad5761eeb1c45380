#include "progress.h"

#include "entry_barrier.h"
#include "varkolt/bmc.h"
#include "vkt_sleep.h"

namespace {

constexpr int secondMs = 1000;

// Set and read with the library's lock held: reports come from routines inside the barrier.
bmc_ProgressHandler progressHandler = nullptr;
void* progressContext = nullptr;

}  // namespace

namespace vkt {

void reportProgress(int what, long done, long total) {
    if (progressHandler == nullptr) return;
    try {
        progressHandler(progressContext, what, done, total);
    } catch (...) {
    }
}

void pauseWithProgress(int what, int ms) {
    if (progressHandler == nullptr || ms < secondMs) {
        vkt_sleep(ms);
        return;
    }
    const long seconds = ms / secondMs;
    for (long s = 1; s <= seconds; ++s) {
        // The rest of a second that does not divide evenly goes with the last step.
        vkt_sleep(s < seconds ? secondMs : ms - static_cast<int>(seconds - 1) * secondMs);
        reportProgress(what, s, seconds);
    }
}

}  // namespace vkt

int bmc_SetProgressHandler(bmc_ProgressHandler handler, void* context) {
    return vkt::entryBarrier(__func__, [&] {
        progressHandler = handler;
        progressContext = handler != nullptr ? context : nullptr;
        return VKT_BMC_OK;
    });
}
