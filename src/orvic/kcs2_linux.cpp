// The Linux OpenIPMI device channel: the preferred way to the BMC.
#include "kcs2_linux.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/ipmi.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ipmi_defs.h"
#include "transport_state.h"

namespace {

// The kernel driver answers a request its BMC never answered with C3h of its own, after its
// retries (seconds). A BMC may answer C3h itself as well (a device behind it timed out),
// and does so quickly; only a slow C3h says the BMC itself has gone silent.
constexpr long long slowAnswerMs = 1000;

int responseTimeoutMs() {
    const int ms = vkt::transport().config.openIpmiResponseTimeoutMs;
    return ms > 0 ? ms : 1;
}

bool isBmcTimeout(const ipmi_rs* answer, bool ownBoundRanOut, long long elapsedMs) {
    if (ownBoundRanOut) return true;
    const long long slow = std::min(slowAnswerMs, static_cast<long long>(responseTimeoutMs()) / 2);
    return answer->ccode == vkt::ccTimeout && elapsedMs >= slow;
}

constexpr uint8_t picmgIdentifier = 0x00;

int ioctlRetry(int fd, unsigned long request, void* arg) {
    int rc;
    do {
        rc = ioctl(fd, request, arg);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

long long monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits until `fd` is readable or `timeoutMs` passed: 1 readable, 0 timed out, -1 failed.
int waitReadable(int fd, int timeoutMs) {
    if (fd < FD_SETSIZE) {
        fd_set rfds;
        FD_ZERO(&rfds);
        FD_SET(fd, &rfds);
        timeval tv{};
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        int rc = select(fd + 1, &rfds, nullptr, nullptr, &tv);
        if (rc < 0) return errno == EINTR ? 0 : -1;
        if (rc == 0) return 0;
        return FD_ISSET(fd, &rfds) ? 1 : -1;
    }
    // A descriptor beyond what select can watch (a host with many open files).
    pollfd pfd{fd, POLLIN, 0};
    int rc = poll(&pfd, 1, timeoutMs);
    if (rc < 0) return errno == EINTR ? 0 : -1;
    if (rc == 0) return 0;
    return (pfd.revents & POLLIN) != 0 ? 1 : -1;
}

// Starts the answer record afresh. Its 1 KiB data area is not cleared: only the first
// data_len bytes are ever read (and the byte behind them is set where the data is moved).
void clearAnswer() {
    ipmi_rs& rsp = vkt::transport().deviceAnswer;
    rsp.ccode = 0;
    rsp.data_len = 0;
    rsp.msg = {};
}

ipmi_rs* timedOut() {
    clearAnswer();
    ipmi_rs& rsp = vkt::transport().deviceAnswer;
    rsp.ccode = vkt::ccTimeout;
    return &rsp;
}

// Waits for the answer to request `msgid` within the response bound; anything else that
// arrives meanwhile (a late answer to an earlier request that timed out) is read and
// dropped.
ipmi_rs* awaitResponse(int fd, long msgid, bool* ownBoundRanOut) {
    ipmi_rs& rsp = vkt::transport().deviceAnswer;
    const long long deadline = monotonicMs() + responseTimeoutMs();
    for (;;) {
        long long remaining = deadline - monotonicMs();
        if (remaining <= 0) {
            *ownBoundRanOut = true;
            return timedOut();
        }
        int ready = waitReadable(fd, static_cast<int>(remaining));
        if (ready < 0) return nullptr;
        if (ready == 0) continue;  // interrupted or not yet: the deadline decides

        ipmi_addr addr{};
        ipmi_recv recv{};
        clearAnswer();
        recv.addr = reinterpret_cast<unsigned char*>(&addr);
        recv.addr_len = sizeof addr;
        recv.msg.data = rsp.data;
        recv.msg.data_len = sizeof rsp.data;
        if (ioctlRetry(fd, IPMICTL_RECEIVE_MSG_TRUNC, &recv) < 0 && errno != EMSGSIZE) return nullptr;
        if (recv.msgid != msgid) continue;

        int received = recv.msg.data_len;
        if (received > static_cast<int>(sizeof rsp.data)) received = sizeof rsp.data;
        if (received < 0) received = 0;
        rsp.ccode = received > 0 ? rsp.data[0] : 0;
        rsp.data_len = received - 1;
        if (rsp.ccode == 0 && rsp.data_len > 0) {
            memmove(rsp.data, rsp.data + 1, static_cast<size_t>(rsp.data_len));
            rsp.data[rsp.data_len] = 0;
        }
        return &rsp;
    }
}

}  // namespace

namespace vkt {

bool openIpmiDeviceOwnsInterface() { return ipmi_open_intf.opened != 0; }

}  // namespace vkt

int ipmiCmd(unsigned char* RequestCmdArg, unsigned char* ResponseBufArg, int kcs_ReqLength, int* kcs_CurLength) {
    int length = 0;
    if (ipmi_send(&ipmi_open_intf, RequestCmdArg, kcs_ReqLength, ResponseBufArg, &length) == -1) return -1;
    *kcs_CurLength = length;
    open_ipmi_drv = 1;
    return 0;
}

int ipmi_send(ipmi_intf* intf, const unsigned char* request, int requestLength, unsigned char* response,
              int* responseLength) {
    if (intf == nullptr || request == nullptr || response == nullptr || responseLength == nullptr ||
        requestLength < 2)
        return -1;
    ipmi_rq req{};
    req.msg.netfn = static_cast<uint8_t>(request[0] >> 2);
    req.msg.lun = 0;
    req.msg.cmd = request[1];
    if (requestLength > 2) {
        int n = requestLength - 2;
        if (n > vkt::ipmiMaxRequestData) n = vkt::ipmiMaxRequestData;
        // The data go to the driver straight from the image; the driver's structures are
        // not const-correct, but nothing on the way writes to them.
        req.msg.data = const_cast<uint8_t*>(request + 2);
        req.msg.data_len = static_cast<uint16_t>(n);
    }

    ipmi_rs* r = intf->sendrecv(intf, &req);
    if (r == nullptr) return -1;

    // The image is written as far as the answer goes; nobody reads past its length.
    response[0] = r->msg.netfn;
    response[1] = r->msg.cmd;
    response[2] = r->ccode;
    if (r->data_len < 0) {
        // Nothing arrived, not even a completion code.
        *responseLength = 2;
        return 0;
    }
    int n = r->data_len;
    if (n > vkt::ipmiMaxResponseData) n = vkt::ipmiMaxResponseData;
    memcpy(response + 3, r->data, static_cast<size_t>(n));
    *responseLength = n + 3;
    return 0;
}

int ipmi_openipmi_open(ipmi_intf* intf) {
    const char* formats[] = {"/dev/ipmi%d", "/dev/ipmi/%d", "/dev/ipmidev/%d"};
    int fd = -1;
    for (const char* fmt : formats) {
        char path[16];
        snprintf(path, sizeof path, fmt, intf->devnum);
        fd = open(path, O_RDWR);
        if (fd >= 0) break;
    }
    if (fd < 0) return -1;
    intf->fd = fd;

    int receiveEvents = 0;
    if (ioctlRetry(fd, IPMICTL_SET_GETS_EVENTS_CMD, &receiveEvents) < 0) {
        ipmi_openipmi_close(intf);
        return -1;
    }
    if (intf->my_addr != 0) {
        unsigned int addr = intf->my_addr;
        if (ioctlRetry(fd, IPMICTL_SET_MY_ADDRESS_CMD, &addr) < 0) {
            ipmi_openipmi_close(intf);
            return -1;
        }
    }
    intf->opened = 1;

    // An AdvancedTCA shelf controller tells us our own IPMB address.
    if (intf->my_addr == vkt::bmcSlaveAddr) {
        uint8_t msgData = picmgIdentifier;
        ipmi_rq req{};
        req.msg.netfn = vkt::netFnPicmg;
        req.msg.cmd = vkt::cmdGetPicmgProperties;
        req.msg.data = &msgData;
        req.msg.data_len = 1;
        ipmi_rs* r = intf->sendrecv(intf, &req);
        if (r != nullptr && r->ccode == 0 && r->data_len >= 2 && r->data[0] == picmgIdentifier) {
            uint8_t ext = r->data[1];
            if (ext == 0x12 || ext == 0x02 || ext == 0x22 || ext == 0x32) {
                ipmi_rq info{};
                msgData = picmgIdentifier;
                info.msg.netfn = vkt::netFnPicmg;
                info.msg.cmd = vkt::cmdGetAddressInfo;
                info.msg.data = &msgData;
                info.msg.data_len = 1;
                r = intf->sendrecv(intf, &info);
                if (r != nullptr && r->ccode == 0 && r->data_len >= 3) {
                    intf->my_addr = r->data[2];
                    intf->target_addr = r->data[2];
                }
            }
        }
    }
    return fd;
}

void ipmi_openipmi_close(ipmi_intf* intf) {
    if (intf->fd >= 0) close(intf->fd);
    intf->fd = -1;
    intf->opened = 0;
}

ipmi_rs* ipmi_openipmi_send_cmd(ipmi_intf* intf, ipmi_rq* req) {
    uint32_t& curr_seq = vkt::transport().deviceSequence;
    if (req == nullptr) return nullptr;

    ipmi_system_interface_addr bmc_addr{};
    bmc_addr.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
    bmc_addr.channel = IPMI_BMC_CHANNEL;
    bmc_addr.lun = req->msg.lun;
    ipmi_ipmb_addr ipmb_addr{};
    ipmb_addr.addr_type = IPMI_IPMB_ADDR_TYPE;
    ipmb_addr.channel = static_cast<short>(intf->target_channel & 0x0F);

    if (intf->opened == 0 && intf->open != nullptr) {
        if (intf->open(intf) < 0) return nullptr;
    }

    ipmi_req _req{};
    intf->target_addr = ipmb_target_addr;
    const bool bridged = intf->target_addr != 0 && intf->target_addr != intf->my_addr;
    if (bridged) {
        ipmb_addr.slave_addr = static_cast<unsigned char>(intf->target_addr);
        ipmb_addr.lun = req->msg.lun;
        _req.addr = reinterpret_cast<unsigned char*>(&ipmb_addr);
        _req.addr_len = sizeof ipmb_addr;
    } else {
        _req.addr = reinterpret_cast<unsigned char*>(&bmc_addr);
        _req.addr_len = sizeof bmc_addr;
    }
    const long msgid = static_cast<long>(curr_seq++);
    _req.msgid = msgid;
    _req.msg.netfn = req->msg.netfn;
    _req.msg.cmd = req->msg.cmd;
    _req.msg.data = req->msg.data;
    _req.msg.data_len = req->msg.data_len;

    const long long sent = monotonicMs();
    if (ioctlRetry(intf->fd, IPMICTL_SEND_COMMAND, &_req) < 0) return nullptr;
    if (intf->noanswer) return nullptr;

    bool ownBoundRanOut = false;
    ipmi_rs* answer = awaitResponse(intf->fd, msgid, &ownBoundRanOut);
    // Only the BMC's own silence counts toward giving up on it; a controller behind it
    // that does not answer a bridged request says nothing about the BMC.
    if (answer != nullptr && !bridged)
        vkt::noteBmcResponse(isBmcTimeout(answer, ownBoundRanOut, monotonicMs() - sent));
    return answer;
}
