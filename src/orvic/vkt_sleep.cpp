#include "vkt_sleep.h"

#include <time.h>

#include <cerrno>
#include <cstdio>

namespace {

void realSleep(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

vkt::SleepFunction sleepFunction = realSleep;

}  // namespace

void vkt_sleep(int ms) {
    sleepFunction(ms);
    fflush(stdout);
}

namespace vkt {
void setSleepFunction(SleepFunction fn) { sleepFunction = fn != nullptr ? fn : realSleep; }
}  // namespace vkt
