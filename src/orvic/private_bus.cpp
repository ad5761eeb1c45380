#include "private_bus.h"

#include <cstring>

namespace vkt {

IpmiReply masterWriteRead(BYTE slaveAddr, BYTE readCount, const BYTE* write, size_t writeLength) {
    if (writeLength > privateBusMaxWrite || (writeLength > 0 && write == nullptr)) {
        IpmiReply refused;
        refused.cc = ccRequestLengthInvalid;
        return refused;
    }
    BYTE request[3 + privateBusMaxWrite];  // sent only as far as it is filled
    request[0] = privateBusId;
    request[1] = slaveAddr;
    request[2] = readCount;
    if (writeLength > 0) memcpy(request + 3, write, writeLength);
    return ipmiRequest(netFnApp, cmdMasterWriteRead, request, static_cast<int>(3 + writeLength));
}

BYTE masterWriteRead(BYTE slaveAddr, BYTE readCount, const BYTE* write, size_t writeLength, BYTE* readBuf) {
    const IpmiReply reply = masterWriteRead(slaveAddr, readCount, write, writeLength);
    if (readBuf != nullptr) reply.view().copyTo(readBuf, 0, readCount);
    return reply.cc;
}

}  // namespace vkt
