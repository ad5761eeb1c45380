// Monotonic milliseconds and a pause that survives signals, for the test kit's waits.
#ifndef TESTKIT_CLOCK_H
#define TESTKIT_CLOCK_H

#include <errno.h>
#include <time.h>

namespace testkit {

inline long long nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

inline void pauseMs(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace testkit

#endif
