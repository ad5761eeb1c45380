// Servers of a chosen size, for reading cost as a function of content: the demo server with
// some of its areas replaced by generated content of the size asked for. An area that is
// not named keeps the demo's content.
#ifndef TESTKIT_SIM_SYNTHETIC_H
#define TESTKIT_SIM_SYNTHETIC_H

#include <optional>
#include <string>

#include "sim_server.h"

namespace testkit {

struct SyntheticSizes {
    // Sensors in the SDR repository (1 to 250): a mix of threshold sensors (temperatures,
    // voltages, fans, power) as full records and discrete sensors as compact records, between
    // the BMC's locator record and the Management Engine's record.
    std::optional<int> sensors;
    // System event log entries (0 to 3000), a few days of a server's ordinary events.
    std::optional<int> selEntries;
    // PMBus power modules (0 to 8): up to four of the vendor's own line at 78h..7Eh with
    // status EEPROMs at 70h..76h, then third-party B0-family modules at B0h..B6h with their
    // EEPROMs at A0h..A6h. The battery backup module stays at 74h while that address is free
    // (fewer than three vendor modules).
    std::optional<int> psus;
    // Nodes of a multi-node chassis around the server: 0 (none), 1, 2 or 4 (Pairex family)
    // or 12 (Nimbet family); every node present and powered.
    std::optional<int> nodes;

    bool any() const { return sensors || selEntries || psus || nodes; }
};

// The reason the sizes cannot be built ("" when they can).
std::string checkSyntheticSizes(const SyntheticSizes& sizes);

// Replaces the areas named in `sizes` (which must pass checkSyntheticSizes) with generated
// content. The same sizes always give the same content.
void applySyntheticSizes(SimServer& server, const SyntheticSizes& sizes);

}  // namespace testkit

#endif
