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

}  // namespace vkt
