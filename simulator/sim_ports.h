// The simulated I/O port space behind the library's KCS channel.
//
// Test programs hand it to the library through the transport's configuration. A
// library reached only through its real port instructions (loaded with dlopen, or the
// installed .so under the LD_PRELOAD build) gets it too: the simulator's ioperm never grants
// real access, so every in/out instruction traps, and the trap carries the access out here.
// Either way no test ever touches the machine's I/O ports.
#ifndef TESTKIT_SIM_PORTS_H
#define TESTKIT_SIM_PORTS_H

#include <cstdint>

namespace testkit {

class PortSpace {
public:
    virtual ~PortSpace() = default;
    virtual uint8_t in(uint16_t port) = 0;
    virtual void out(uint16_t port, uint8_t value) = 0;
};

// What the library's port accesses reach (nullptr: nothing decodes any port, reads give
// FFh and writes vanish, as on a machine without the device).
void attachPortSpace(PortSpace* space);
PortSpace* attachedPortSpace();
uint8_t portIn(uint16_t port);
void portOut(uint16_t port, uint8_t value);

// Port access requests: granted unless refused here or by the check; counted either way.
void refusePortAccess(bool refuse);
// Asked on every request that is not refused outright (nullptr: none), e.g. whether the
// host's ports behind the space can be reached at all.
void setPortAccessCheck(bool (*check)());
int portAccessRequests();
void resetPortAccess();  // granted, count 0
bool requestPortAccess();

// The simulator's ioperm and iopl (the interposers forward here). ioperm grants simulated
// access to the range and emulates the trapped port instructions of that range from then
// on; it never asks the kernel. iopl is always refused.
int simulatedIoperm(unsigned long from, unsigned long num, int turnOn);
int simulatedIopl(int level);

}  // namespace testkit

#endif
