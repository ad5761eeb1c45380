// The one way into the library: every provider enumeration and every exported bmc_ routine
// runs under the process-wide lock and behind a catch-all.
//
// The transport and the tables are process-wide. A CIMOM calls providers from several
// threads and a tool may call bmc_ routines from others; one recursive lock keeps their
// exchanges and table updates apart (a routine that calls another exported routine takes
// it again without blocking). Nothing thrown may cross the C interface.
#ifndef VKT_ENTRY_BARRIER_H
#define VKT_ENTRY_BARRIER_H

#include <cstdio>
#include <exception>
#include <mutex>

namespace vkt {

std::recursive_mutex& apiMutex();

// Depth of nested barrier calls on the lock holder's side; the outermost call begins and
// ends a "call" for the transport's per-call state.
void enterCall();
void leaveCall();

// Starts a new step of the current call: per-call transport state starts afresh, as at the
// start of an outermost call. A wait that probes a BMC known to be restarting runs each
// probe as its own step, so that the silence it expects is no reason for the transport to
// give up on the rest of the call.
void beginCallStep();

class CallScope {
public:
    CallScope() : lock_(apiMutex()) { enterCall(); }
    ~CallScope() { leaveCall(); }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    std::lock_guard<std::recursive_mutex> lock_;
};

// Result of an exported routine whose body failed with an exception.
constexpr int entryFailedResult = 11;

// Runs the body of an exported bmc_ routine: its result, or 11 with a message on standard
// error when something escaped it.
template <typename Body>
int entryBarrier(const char* routine, Body&& body) noexcept {
    try {
        CallScope scope;
        return body();
    } catch (const std::exception& e) {
        fprintf(stderr, "%s: internal failure (%s)\n", routine, e.what());
    } catch (...) {
        fprintf(stderr, "%s: internal failure\n", routine);
    }
    return entryFailedResult;
}

// Runs a provider's enumeration body; nothing escapes.
template <typename Body>
void providerBarrier(Body&& body) noexcept {
    try {
        CallScope scope;
        body();
    } catch (...) {
    }
}

}  // namespace vkt

#endif
