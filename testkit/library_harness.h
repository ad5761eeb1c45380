// What every program that runs the library's own code against the test kit needs, with or
// without a test framework: the library's port accesses routed to the simulated port space,
// and the library's transport put back to its load-time state.
#ifndef TESTKIT_LIBRARY_HARNESS_H
#define TESTKIT_LIBRARY_HARNESS_H

#include <functional>
#include <string>

namespace vkt {
struct TransportConfig;
}

namespace testkit {

// Routes the library's KCS port accesses to the simulated port space (sim_ports.h), never
// to the machine's ports; its port-owner check reads `noIoportsClaims` (no driver holds a
// port) and its KCS lock is a file of this process (testKcsLockPath), removed at exit.
void simulateLibraryPorts();

// Puts the library's transport back to its load-time state: device closed, no failed
// probe, no IPMB target, no KCS port pair chosen, root not yet checked; the ports simulated
// as above, a KCS lock wait of `kcsLockWaitMs` and a device response time-out of
// `deviceResponseTimeoutMs`.
void resetLibraryTransport();
extern const char* const noIoportsClaims;
constexpr int kcsLockWaitMs = 200;
constexpr int deviceResponseTimeoutMs = 2000;
std::string testKcsLockPath();

// Changes some of the transport's settings (transport_state.h) and keeps the others:
//   testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 50; });
void adjustTransport(const std::function<void(vkt::TransportConfig&)>& change);

}  // namespace testkit

#endif
