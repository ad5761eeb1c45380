#include "fake_ipmi_device.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/ipmi.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "clock.h"

namespace testkit {

namespace {

using OpenFn = int (*)(const char*, int, ...);
using CloseFn = int (*)(int);

int realOpenDevNull() {
    static OpenFn realOpen = reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "open"));
    return realOpen != nullptr ? realOpen("/dev/null", O_RDWR | O_CLOEXEC) : -1;
}

int realClose(int fd) {
    static CloseFn fn = reinterpret_cast<CloseFn>(dlsym(RTLD_NEXT, "close"));
    return fn != nullptr ? fn(fd) : -1;
}


const char* const devicePaths[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};

}  // namespace

FakeIpmiDevice& FakeIpmiDevice::get() {
    static FakeIpmiDevice* device = new FakeIpmiDevice();  // never destroyed: libc calls may come late
    return *device;
}

void FakeIpmiDevice::reset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    paths_.clear();
    backend_ = nullptr;
    faults_ = FakeDeviceFaults{};
    openAttempts_.clear();
    for (int i = 0; i < fdCount_; ++i) realClose(fds_[i]);
    fdCount_ = 0;
    queue_.clear();
    maxPending_ = 0;
    getsEvents_ = -1;
    myAddress_ = 0;
    openHook_ = nullptr;
    ioports_.clear();
}

void FakeIpmiDevice::setPaths(std::vector<std::string> paths) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    paths_ = std::move(paths);
}

void FakeIpmiDevice::setBackend(Backend* backend) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    backend_ = backend;
}

Backend* FakeIpmiDevice::backend() const { return backend_; }

FakeDeviceFaults& FakeIpmiDevice::faults() { return faults_; }

int FakeIpmiDevice::openAttempts(const std::string& path) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (const auto& p : openAttempts_)
        if (p.first == path) return p.second;
    return 0;
}

int FakeIpmiDevice::totalOpenAttempts() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    int n = 0;
    for (const auto& p : openAttempts_) n += p.second;
    return n;
}

int FakeIpmiDevice::openDescriptors() const { return fdCount_; }

size_t FakeIpmiDevice::maxPendingAnswers() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return maxPending_;
}
int FakeIpmiDevice::lastGetsEvents() const { return getsEvents_; }
unsigned FakeIpmiDevice::lastMyAddress() const { return myAddress_; }

void FakeIpmiDevice::setOpenHook(std::function<void(const char*)> hook) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    openHook_ = std::move(hook);
}

bool FakeIpmiDevice::isDevicePath(const char* path) {
    if (path == nullptr) return false;
    for (const char* p : devicePaths)
        if (strcmp(p, path) == 0) return true;
    return false;
}

void FakeIpmiDevice::setIoports(std::string text) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ioports_ = std::move(text);
}

bool FakeIpmiDevice::isIoportsPath(const char* path) { return path != nullptr && strcmp(path, "/proc/ioports") == 0; }

int FakeIpmiDevice::openIoports() {
    std::string text;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        text = ioports_;
    }
    const int fd = memfd_create("ioports", MFD_CLOEXEC);
    if (fd < 0) return -1;
    if (!text.empty() && write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        realClose(fd);
        errno = EIO;
        return -1;
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

int FakeIpmiDevice::open(const char* path, int /*flags*/) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    bool counted = false;
    for (auto& p : openAttempts_)
        if (p.first == path) {
            ++p.second;
            counted = true;
        }
    if (!counted) openAttempts_.emplace_back(path, 1);
    if (openHook_) openHook_(path);

    bool exists = false;
    for (const std::string& p : paths_)
        if (p == path) exists = true;
    if (!exists) {
        errno = ENOENT;
        return -1;
    }
    if (fdCount_ >= maxFds) {
        errno = EMFILE;
        return -1;
    }
    // A real descriptor number keeps the fake one from colliding with the process's files.
    int fd = realOpenDevNull();
    if (fd < 0) return -1;
    fds_[fdCount_++] = fd;
    return fd;
}

bool FakeIpmiDevice::owns(int fd) const {
    if (fd < 0) return false;
    for (int i = 0; i < fdCount_; ++i)
        if (fds_[i] == fd) return true;
    return false;
}

int FakeIpmiDevice::close(int fd) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (int i = 0; i < fdCount_; ++i) {
        if (fds_[i] != fd) continue;
        fds_[i] = fds_[--fdCount_];
        if (fdCount_ == 0) queue_.clear();
        return realClose(fd);
    }
    errno = EBADF;
    return -1;
}

int FakeIpmiDevice::ioctl(int /*fd*/, unsigned long request, void* arg) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (faults_.eintrOnIoctl > 0) {
        --faults_.eintrOnIoctl;
        errno = EINTR;
        return -1;
    }
    if (arg == nullptr) {
        errno = EFAULT;
        return -1;
    }
    switch (request) {
        case IPMICTL_SET_GETS_EVENTS_CMD:
            if (faults_.refuseGetsEvents) {
                errno = EINVAL;
                return -1;
            }
            getsEvents_ = *static_cast<int*>(arg);
            return 0;
        case IPMICTL_SET_MY_ADDRESS_CMD:
            if (faults_.refuseMyAddress) {
                errno = EINVAL;
                return -1;
            }
            myAddress_ = *static_cast<unsigned*>(arg);
            return 0;
        case IPMICTL_SEND_COMMAND:
            return send(arg);
        case IPMICTL_RECEIVE_MSG_TRUNC:
            return receive(arg);
        default:
            errno = ENOTTY;
            return -1;
    }
}

int FakeIpmiDevice::send(void* arg) {
    if (faults_.refuseSend) {
        errno = EIO;
        return -1;
    }
    const ipmi_req* req = static_cast<const ipmi_req*>(arg);
    if (req->addr == nullptr || req->addr_len < static_cast<int>(sizeof(ipmi_system_interface_addr))) {
        errno = EINVAL;
        return -1;
    }
    IpmiRequest r;
    ipmi_addr addr{};
    memcpy(&addr, req->addr, std::min(static_cast<size_t>(req->addr_len), sizeof addr));
    if (addr.addr_type == IPMI_IPMB_ADDR_TYPE) {
        ipmi_ipmb_addr ipmb{};
        memcpy(&ipmb, &addr, sizeof ipmb);
        r.ipmb = true;
        r.channel = static_cast<uint8_t>(ipmb.channel);
        r.slaveAddr = ipmb.slave_addr;
        r.lun = ipmb.lun;
    } else if (addr.addr_type == IPMI_SYSTEM_INTERFACE_ADDR_TYPE) {
        ipmi_system_interface_addr si{};
        memcpy(&si, &addr, sizeof si);
        r.channel = static_cast<uint8_t>(si.channel);
        r.lun = si.lun;
    } else {
        errno = EINVAL;
        return -1;
    }
    r.netFn = req->msg.netfn;
    r.cmd = req->msg.cmd;
    if (req->msg.data_len > 0 && req->msg.data != nullptr) r.data.assign(req->msg.data, req->msg.data + req->msg.data_len);

    std::optional<IpmiResponse> answer;
    if (backend_ != nullptr) answer = backend_->handle(r);
    if (!answer) return 0;  // sent, but nobody answers
    if (faults_.staleAnswers > 0) {
        --faults_.staleAnswers;
        queue_.push_back(Queued{req->msgid ^ 0x5A5A, r, Bytes{0x00, 0xEE, 0xEE}});
    }
    queue_.push_back(Queued{req->msgid, r, answer->wire()});
    maxPending_ = std::max(maxPending_, queue_.size());
    return 0;
}

int FakeIpmiDevice::receive(void* arg) {
    if (faults_.refuseReceive) {
        errno = EIO;
        return -1;
    }
    if (queue_.empty()) {
        errno = EAGAIN;
        return -1;
    }
    Queued q = queue_.front();
    queue_.pop_front();

    ipmi_recv* recv = static_cast<ipmi_recv*>(arg);
    recv->recv_type = IPMI_RESPONSE_RECV_TYPE;
    recv->msgid = q.msgid;
    if (recv->addr != nullptr && recv->addr_len > 0) {
        if (q.request.ipmb) {
            ipmi_ipmb_addr a{};
            a.addr_type = IPMI_IPMB_ADDR_TYPE;
            a.channel = q.request.channel;
            a.slave_addr = q.request.slaveAddr;
            a.lun = q.request.lun;
            size_t n = std::min(static_cast<size_t>(recv->addr_len), sizeof a);
            memcpy(recv->addr, &a, n);
            recv->addr_len = static_cast<int>(n);
        } else {
            ipmi_system_interface_addr a{};
            a.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
            a.channel = IPMI_BMC_CHANNEL;
            a.lun = q.request.lun;
            size_t n = std::min(static_cast<size_t>(recv->addr_len), sizeof a);
            memcpy(recv->addr, &a, n);
            recv->addr_len = static_cast<int>(n);
        }
    }
    recv->msg.netfn = static_cast<unsigned char>(q.request.netFn | 1);
    recv->msg.cmd = q.request.cmd;
    size_t room = recv->msg.data != nullptr ? recv->msg.data_len : 0;
    size_t n = std::min(room, q.payload.size());
    if (n > 0) memcpy(recv->msg.data, q.payload.data(), n);
    recv->msg.data_len = static_cast<unsigned short>(n);
    if (n < q.payload.size()) {
        errno = EMSGSIZE;
        return -1;
    }
    return 0;
}

int FakeIpmiDevice::wait(int /*fd*/, int timeoutMs) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (faults_.eintrOnWait > 0) {
            --faults_.eintrOnWait;
            errno = EINTR;
            return -1;
        }
        if (!queue_.empty() && !faults_.neverReadable) return 1;
    }
    // Nothing will arrive: answers are queued synchronously by the send. Honour the wait
    // so time-outs take their real time (an endless wait is cut to a tenth of a second).
    pauseMs(timeoutMs < 0 ? 100 : timeoutMs);
    return 0;
}

}  // namespace testkit
