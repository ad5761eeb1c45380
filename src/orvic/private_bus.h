// Master Write-Read on the BMC's private I2C bus: the one way to the devices behind the
// BMC (power modules and their status EEPROMs, battery modules, the chassis controller).
// It knows nothing of what those devices are.
#ifndef VKT_PRIVATE_BUS_H
#define VKT_PRIVATE_BUS_H

#include <cstddef>

#include "smipmi.h"

namespace vkt {

constexpr BYTE cmdMasterWriteRead = 0x52;
// Bus byte of the request: channel 0, bus ID 3, private bus.
constexpr BYTE privateBusId = 0x07;
// What fits one request after the bus, address and read-count bytes.
constexpr size_t privateBusMaxWrite = ipmiMaxRequestData - 3;

// Writes `writeLength` bytes to the device at the 8-bit slave address `slaveAddr` and reads
// `readCount` bytes back. The reply holds the completion code and exactly the bytes the BMC
// returned (fewer than asked when it sent fewer; `at` reads a missing byte as 00h). A write
// that does not fit one request is refused unsent (C7h).
IpmiReply masterWriteRead(BYTE slaveAddr, BYTE readCount, const BYTE* write, size_t writeLength);

// The common case: write one byte (a register, command code or offset), read `readCount`.
inline IpmiReply masterWriteRead(BYTE slaveAddr, BYTE readCount, BYTE writeByte) {
    return masterWriteRead(slaveAddr, readCount, &writeByte, 1);
}

// The same, with the first `readCount` answer bytes copied into `readBuf` (when not null):
// bytes the BMC did not send read 00h. They are copied whatever the completion code says;
// the caller decides whether an error answer's bytes mean anything.
BYTE masterWriteRead(BYTE slaveAddr, BYTE readCount, const BYTE* write, size_t writeLength, BYTE* readBuf);

}  // namespace vkt

#endif
