// The host behind the BMC as the chassis commands see it: its power, what it was asked to
// do, and the boot flags (system boot options parameter 5) that pick the device of the next
// boot. A boot consumes boot flags that are valid for one boot only.
#ifndef TESTKIT_HOST_MODEL_H
#define TESTKIT_HOST_MODEL_H

#include <vector>

#include "sim_bmc.h"

namespace testkit {

struct HostModel {
    bool poweredOn = true;
    // Parameter 5 as last set: flags (bit 7 valid, bit 6 persistent, bit 5 EFI), device
    // selector, three more bytes.
    Bytes bootFlags = Bytes(5, 0x00);

    // One chassis control the host carried out, with the boot flags it booted with (all
    // zero when it did not boot or booted without an override).
    struct Event {
        uint8_t control;     // 00h off, 01h on, 02h cycle, 03h hard reset, 05h soft shutdown
        uint8_t bootFlags;   // byte 1 of the flags used, 00h: no override
        uint8_t bootDevice;  // byte 2 of the flags used
    };
    std::vector<Event> events;

    void install(SimBmc& bmc);

private:
    Event boot(uint8_t control);
};

}  // namespace testkit

#endif
