#include "entry_barrier.h"

#include "transport_state.h"

namespace vkt {

namespace {
int callDepth = 0;  // only touched with apiMutex held
}  // namespace

std::recursive_mutex& apiMutex() {
    static std::recursive_mutex m;
    return m;
}

// The transport's per-call state (giving up on a silent BMC) spans the outermost call: a
// routine that calls another exported routine is still one call.
void enterCall() {
    if (callDepth++ == 0) beginTransportCall();
}

void leaveCall() {
    if (callDepth > 0 && --callDepth == 0) endTransportCall();
}

}  // namespace vkt
