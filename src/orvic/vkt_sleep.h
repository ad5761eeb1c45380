// The library's one pause. Every wait of the library (settle times, polls) goes through it,
// so the transport may use it as well as the subsystems, and tests can shorten it.
#ifndef VKT_SLEEP_H
#define VKT_SLEEP_H

// Pauses for `ms` milliseconds, then flushes standard output.
void vkt_sleep(int ms);

namespace vkt {
// Replaces the pause of vkt_sleep (nullptr restores the real one); used to keep the
// settle waits of configuration routines short where nothing real has to settle.
using SleepFunction = void (*)(int ms);
void setSleepFunction(SleepFunction fn);
}  // namespace vkt

#endif
