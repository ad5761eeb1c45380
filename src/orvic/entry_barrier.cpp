#include "entry_barrier.h"

namespace vkt {

namespace {
int callDepth = 0;  // only touched with apiMutex held
unsigned long stepNumber = 0;
}  // namespace

std::recursive_mutex& apiMutex() {
    static std::recursive_mutex m;
    return m;
}

void enterCall() {
    if (callDepth++ == 0) beginCallStep();
}

void beginCallStep() { ++stepNumber; }

unsigned long callStep() { return stepNumber; }

void leaveCall() {
    if (callDepth > 0) --callDepth;
}

}  // namespace vkt
