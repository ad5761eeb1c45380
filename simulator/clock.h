// Monotonic milliseconds (and microseconds) and a pause that survives signals, for the simulation's waits.
#ifndef TESTKIT_CLOCK_H
#define TESTKIT_CLOCK_H

#include <errno.h>
#include <time.h>

#include <atomic>

namespace testkit {

inline long long nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

inline long long nowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

inline void pauseMs(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// The simulated server's own time. It moves only when the library pauses (the simulator's
// pause function advances it), so a BMC that needs a minute to restart costs no real time.
class SimClock {
public:
    long long nowMs() const { return now_.load(); }
    void advance(long long ms) {
        if (ms > 0) now_ += ms;
    }

private:
    std::atomic<long long> now_{0};
};

}  // namespace testkit

#endif
