// How many exchanges the BMC should see when a class is enumerated, worked out from what the
// library is meant to send and the simulated server's content alone (records, entries,
// devices on the private bus), never from the library's code. The benchmark prints it beside
// the number it counted, and a test holds the two together.
#ifndef VKT_BENCH_EXCHANGE_MODEL_H
#define VKT_BENCH_EXCHANGE_MODEL_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim_server.h"

namespace vktbench {

enum class Transport { device, kcs };

// The private-bus addresses the library walks for power modules and battery backup modules.
inline constexpr uint8_t pmbusAddrs[] = {0x78, 0x7A, 0x7C, 0x7E, 0xB0, 0xB2, 0xB4, 0xB6};
inline constexpr uint8_t batteryAddrs[] = {0x70, 0x72, 0x74, 0x76};

// A full or compact sensor record (the records the sensor walk keeps).
bool isSensorRecord(const testkit::Bytes& record);

// What earlier requests of the same process leave behind for later ones.
struct ProcessState {
    bool deviceOpened = false;       // the device was opened (and asked for PICMG properties)
    bool probeFailed = false;        // an interface probe failed: no probe is made any more
    bool sensorNamesLoaded = false;  // the repository was read once to label SEL entries
    bool boardFamilyKnown = false;   // the board ID was read once for the DIMM locations
};

// Exchanges of one enumeration of the class with factory prefix `prefix` (e.g. "FRUProvider")
// on `server`, the requests and their interface probes, in a process whose earlier requests
// left `state`; updates `state`. Only reads the server's models.
size_t expectedExchanges(testkit::SimServer& server, const std::string& prefix, Transport transport,
                         ProcessState& state);

}  // namespace vktbench

#endif
