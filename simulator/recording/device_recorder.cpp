#include "device_recorder.h"

#include <dlfcn.h>
#include <errno.h>
#include <linux/ipmi.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstring>

#include "clock.h"
#include "fake_ipmi_device.h"

namespace testkit {

namespace {

DeviceRecorder* installed = nullptr;

double elapsedMs(long long fromUs, long long toUs) { return static_cast<double>(toUs - fromUs) / 1000.0; }

class FakeCalls final : public DeviceCalls {
public:
    int open(const char* path, int flags, mode_t) override { return FakeIpmiDevice::get().open(path, flags); }
    int ioctl(int fd, unsigned long request, void* arg) override { return FakeIpmiDevice::get().ioctl(fd, request, arg); }
    int close(int fd) override { return FakeIpmiDevice::get().close(fd); }
};

class HostCalls final : public DeviceCalls {
public:
    int open(const char* path, int flags, mode_t mode) override {
        static auto real = reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"));
        return real(path, flags, mode);
    }
    int ioctl(int fd, unsigned long request, void* arg) override {
        static auto real = reinterpret_cast<int (*)(int, unsigned long, ...)>(dlsym(RTLD_NEXT, "ioctl"));
        return real(fd, request, arg);
    }
    int close(int fd) override {
        static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
        return real(fd);
    }
};

// The request of IPMICTL_SEND_COMMAND as the recording names it; false for an address
// type the library never uses.
bool requestOf(const ipmi_req& req, IpmiRequest* r) {
    if (req.addr == nullptr || req.addr_len < static_cast<int>(sizeof(ipmi_system_interface_addr))) return false;
    ipmi_addr addr{};
    memcpy(&addr, req.addr, std::min(static_cast<size_t>(req.addr_len), sizeof addr));
    if (addr.addr_type == IPMI_IPMB_ADDR_TYPE) {
        ipmi_ipmb_addr ipmb{};
        memcpy(&ipmb, &addr, sizeof ipmb);
        r->ipmb = true;
        r->channel = static_cast<uint8_t>(ipmb.channel);
        r->slaveAddr = ipmb.slave_addr;
        r->lun = ipmb.lun;
    } else if (addr.addr_type == IPMI_SYSTEM_INTERFACE_ADDR_TYPE) {
        ipmi_system_interface_addr si{};
        memcpy(&si, &addr, sizeof si);
        r->channel = static_cast<uint8_t>(si.channel);
        r->lun = si.lun;
    } else {
        return false;
    }
    r->netFn = req.msg.netfn;
    r->cmd = req.msg.cmd;
    size_t n = std::min(static_cast<size_t>(req.msg.data_len), recording::maxFieldBytes);
    if (n > 0 && req.msg.data != nullptr) r->data.assign(req.msg.data, req.msg.data + n);
    return true;
}

}  // namespace

DeviceCalls& fakeDeviceCalls() {
    static FakeCalls calls;
    return calls;
}

DeviceCalls& hostDeviceCalls() {
    static HostCalls calls;
    return calls;
}

void installDeviceRecorder(DeviceRecorder* recorder) { installed = recorder; }
DeviceRecorder* deviceRecorder() { return installed; }

int DeviceRecorder::open(const char* path, int flags, mode_t mode) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    int fd = lower_.open(path, flags, mode);
    if (fd >= 0) {
        int saved = errno;
        fds_.insert(fd);
        writer_.comment(std::string("OpenIPMI device ") + path + " opened");
        errno = saved;
    }
    return fd;
}

bool DeviceRecorder::owns(int fd) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return fds_.count(fd) != 0;
}

int DeviceRecorder::close(int fd) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    fds_.erase(fd);
    if (fds_.empty()) giveUpPending(nowUs());
    return lower_.close(fd);
}

int DeviceRecorder::ioctl(int fd, unsigned long request, void* arg) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const long long start = nowUs();
    int rc = lower_.ioctl(fd, request, arg);
    int saved = errno;
    if (arg != nullptr) {
        if (request == IPMICTL_SEND_COMMAND && rc == 0)
            sent(arg, start);
        else if ((request == IPMICTL_RECEIVE_MSG_TRUNC || request == IPMICTL_RECEIVE_MSG) &&
                 (rc == 0 || (request == IPMICTL_RECEIVE_MSG_TRUNC && saved == EMSGSIZE)))
            received(arg);
    }
    errno = saved;
    return rc;
}

// The library carries one request at a time: one still waiting when the next is sent was
// given up on (its time-out passed).
void DeviceRecorder::giveUpPending(long long now) {
    for (auto& [msgid, p] : pending_) {
        writer_.append(recording::Exchange{p.request, std::nullopt, elapsedMs(p.startUs, now), 0});
        abandoned_.insert(msgid);
    }
    pending_.clear();
}

void DeviceRecorder::sent(const void* arg, long long startUs) {
    const ipmi_req& req = *static_cast<const ipmi_req*>(arg);
    giveUpPending(startUs);
    IpmiRequest r;
    if (!requestOf(req, &r)) return;
    abandoned_.erase(req.msgid);
    pending_[req.msgid] = Pending{r, startUs};
}

void DeviceRecorder::received(const void* arg) {
    const ipmi_recv& recv = *static_cast<const ipmi_recv*>(arg);
    if (recv.recv_type != IPMI_RESPONSE_RECV_TYPE) return;
    auto it = pending_.find(recv.msgid);
    if (it == pending_.end()) {
        if (abandoned_.erase(recv.msgid) != 0)
            writer_.comment("a late answer to an earlier request arrived and was dropped by the library");
        return;
    }
    Bytes answer;
    size_t n = std::min(static_cast<size_t>(recv.msg.data_len), recording::maxFieldBytes);
    if (n > 0 && recv.msg.data != nullptr) answer.assign(recv.msg.data, recv.msg.data + n);
    writer_.append(recording::Exchange{it->second.request, answer, elapsedMs(it->second.startUs, nowUs()), 0});
    pending_.erase(it);
}

void DeviceRecorder::finish() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    giveUpPending(nowUs());
}

}  // namespace testkit
