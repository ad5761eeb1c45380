#include "entry_barrier.h"

namespace vkt {

namespace {
int callDepth = 0;  // only touched with apiMutex held
}  // namespace

std::recursive_mutex& apiMutex() {
    static std::recursive_mutex m;
    return m;
}

void enterCall() { ++callDepth; }

void leaveCall() {
    if (callDepth > 0) --callDepth;
}

void beginCallStep() {
    // Leaving every level ends the call as the outermost return would; entering them again
    // begins a fresh one. The lock stays held throughout.
    const int depth = callDepth;
    while (callDepth > 0) leaveCall();
    while (callDepth < depth) enterCall();
}

}  // namespace vkt
