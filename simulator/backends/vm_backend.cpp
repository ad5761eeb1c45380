#include "vm_backend.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "clock.h"
#include "sim_records.h"

namespace testkit {

namespace vm {

uint8_t checksum(const Bytes& bytes, size_t from, size_t to) {
    unsigned sum = 0;
    for (size_t i = from; i < bytes.size() && i < to; ++i) sum += bytes[i];
    return static_cast<uint8_t>(-sum);
}

Bytes encodeFrame(const Bytes& body, uint8_t terminator) {
    Bytes out;
    out.reserve(body.size() + 8);
    for (uint8_t b : body) {
        if (b == msgEnd || b == cmdEnd || b == escape) {
            out.push_back(escape);
            out.push_back(static_cast<uint8_t>(b | escapeBit));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(terminator);
    return out;
}

Bytes encodeRequest(uint8_t seq, const IpmiRequest& request) {
    Bytes body;
    body.reserve(request.data.size() + 4);
    body.push_back(seq);
    body.push_back(static_cast<uint8_t>((request.netFn & 0x3F) << 2 | (request.lun & 0x03)));
    body.push_back(request.cmd);
    body.insert(body.end(), request.data.begin(), request.data.end());
    body.push_back(checksum(body));
    return encodeFrame(body, msgEnd);
}

void FrameDecoder::feed(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = bytes[i];
        if (b == msgEnd || b == cmdEnd) {
            if (overflow_)
                ++discarded_;
            else if (!current_.empty())
                ready_.push_back(Frame{current_, b == cmdEnd});
            current_.clear();
            escaped_ = false;
            overflow_ = false;
            continue;
        }
        if (b == escape) {
            escaped_ = true;
            continue;
        }
        if (escaped_) {
            b = static_cast<uint8_t>(b & ~escapeBit);
            escaped_ = false;
        }
        if (overflow_) continue;
        if (current_.size() >= maxFrame_) {
            overflow_ = true;
            current_.clear();
            continue;
        }
        current_.push_back(b);
    }
}

bool FrameDecoder::next(Frame* frame) {
    if (ready_.empty()) return false;
    *frame = std::move(ready_.front());
    ready_.erase(ready_.begin());
    return true;
}

std::optional<IpmiResponse> decodeResponse(const Bytes& body, uint8_t seq, uint8_t netFn, uint8_t cmd) {
    // seq, netFn/LUN, cmd, completion code, checksum at the least.
    if (body.size() < 5) return std::nullopt;
    if (checksum(body) != 0) return std::nullopt;
    if (body[0] != seq || (body[1] >> 2) != (netFn | 1) || body[2] != cmd) return std::nullopt;
    IpmiResponse r;
    r.cc = body[3];
    r.data.assign(body.begin() + 4, body.end() - 1);
    return r;
}

}  // namespace vm

namespace {

constexpr uint8_t netFnApp = 0x06;
constexpr uint8_t cmdSendMessage = 0x34;
constexpr uint8_t cmdGetMessageFlags = 0x31;
constexpr uint8_t cmdGetMessage = 0x33;
constexpr uint8_t flagReceiveMessage = 0x01;
constexpr uint8_t ccTimeout = 0xC3;
constexpr uint8_t ccNoMessage = 0x80;
// The address and LUN the kernel driver uses as the requester of bridged messages.
constexpr uint8_t requesterAddr = 0x20;
constexpr uint8_t requesterLun = 0x02;



}  // namespace

VmBackend::VmBackend(std::string host, uint16_t port, int timeoutMs)
    : host_(std::move(host)), port_(port), timeoutMs_(timeoutMs > 0 ? timeoutMs : 1) {}

VmBackend::~VmBackend() { disconnect(); }

bool VmBackend::parseAddress(const std::string& text, std::string* host, uint16_t* port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    std::string portText = text.substr(colon + 1);
    if (portText.size() > 5) return false;
    unsigned long value = 0;
    for (char c : portText) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    if (host != nullptr) *host = text.substr(0, colon);
    if (port != nullptr) *port = static_cast<uint16_t>(value);
    return true;
}

bool VmBackend::connected() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return fd_ >= 0;
}

std::string VmBackend::lastError() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return lastError_;
}

std::vector<uint8_t> VmBackend::controlCommands() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return control_;
}

bool VmBackend::connect(std::string* error) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    disconnect();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string port = std::to_string(port_);
    int rc = getaddrinfo(host_.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
        lastError_ = "cannot resolve " + host_ + ": " + gai_strerror(rc);
        if (error != nullptr) *error = lastError_;
        return false;
    }
    lastError_ = "cannot connect to " + host_ + ":" + port;
    for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            lastError_ += std::string(": ") + strerror(errno);
            ::close(fd);
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        int soerr = 0;
        socklen_t len = sizeof soerr;
        if (poll(&p, 1, timeoutMs_) != 1 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len) != 0 || soerr != 0) {
            lastError_ += std::string(": ") + strerror(soerr != 0 ? soerr : ETIMEDOUT);
            ::close(fd);
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fd_ = fd;
    }
    freeaddrinfo(found);
    if (fd_ < 0) {
        if (error != nullptr) *error = lastError_;
        return false;
    }
    lastError_.clear();
    decoder_ = vm::FrameDecoder();
    // No interrupt, no power control: a plain system interface.
    if (!sendAll(vm::encodeFrame(Bytes{vm::ctlCapabilities, 0x00}, vm::cmdEnd))) {
        if (error != nullptr) *error = lastError_;
        return false;
    }
    return true;
}

void VmBackend::disconnect() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool VmBackend::ensureConnected() {
    if (fd_ >= 0) return true;
    return connect(nullptr);
}

bool VmBackend::sendAll(const Bytes& bytes) {
    size_t done = 0;
    const long long deadline = nowMs() + timeoutMs_;
    while (done < bytes.size()) {
        ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            long long left = deadline - nowMs();
            pollfd p{fd_, POLLOUT, 0};
            if (left > 0 && poll(&p, 1, static_cast<int>(left)) >= 0) continue;
        }
        lastError_ = std::string("send failed: ") + strerror(n < 0 ? errno : EPIPE);
        disconnect();
        return false;
    }
    return true;
}

void VmBackend::noteControl(const vm::Frame& frame) {
    if (frame.body.empty()) return;
    noteRecord(control_, frame.body[0]);
    if (frame.body[0] == vm::ctlVersion && frame.body.size() >= 2) version_ = frame.body[1];
}

std::optional<IpmiResponse> VmBackend::await(uint8_t seq, uint8_t netFn, uint8_t cmd, int timeoutMs) {
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        vm::Frame frame;
        while (decoder_.next(&frame)) {
            if (frame.control) {
                noteControl(frame);
                continue;
            }
            // A late answer to an earlier request, or a damaged frame: not ours.
            if (auto r = vm::decodeResponse(frame.body, seq, netFn, cmd)) return r;
        }
        long long left = deadline - nowMs();
        if (left <= 0 || fd_ < 0) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;  // the deadline decides
        uint8_t buf[512];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) {
            lastError_ = n == 0 ? "the simulator closed the link" : std::string("recv failed: ") + strerror(errno);
            disconnect();
            return std::nullopt;
        }
        decoder_.feed(buf, static_cast<size_t>(n));
    }
}

std::optional<IpmiResponse> VmBackend::exchange(uint8_t netFn, uint8_t cmd, const Bytes& data, uint8_t lun) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    IpmiRequest r;
    r.netFn = netFn;
    r.cmd = cmd;
    r.data = data;
    r.lun = lun;
    ++exchanges_;
    // The simulator takes one client at a time and resets a connection made while it
    // still holds the previous client's: a request that meets a dropped link is sent
    // again on a new one. A request left unanswered on a live link is not repeated.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) pauseMs(20 * attempt);
        if (!ensureConnected()) continue;
        const uint8_t seq = seq_++;
        if (!sendAll(vm::encodeRequest(seq, r))) continue;
        auto answer = await(seq, netFn, cmd, timeoutMs_);
        if (answer || fd_ >= 0) {
            if (!answer) ++timeouts_;
            return answer;
        }
    }
    ++timeouts_;
    return std::nullopt;
}

std::optional<IpmiResponse> VmBackend::bridge(const IpmiRequest& request) {
    const uint8_t seq = static_cast<uint8_t>(ipmbSeq_++ & 0x3F);
    Bytes msg;
    msg.push_back(static_cast<uint8_t>(request.channel & 0x0F));  // no tracking bits
    msg.push_back(request.slaveAddr);
    msg.push_back(static_cast<uint8_t>((request.netFn & 0x3F) << 2 | (request.lun & 0x03)));
    msg.push_back(vm::checksum(msg, 1, 3));
    const size_t body = msg.size();
    msg.push_back(requesterAddr);
    msg.push_back(static_cast<uint8_t>(seq << 2 | requesterLun));
    msg.push_back(request.cmd);
    msg.insert(msg.end(), request.data.begin(), request.data.end());
    msg.push_back(vm::checksum(msg, body));

    auto sent = exchange(netFnApp, cmdSendMessage, msg);
    if (!sent) return IpmiResponse::error(ccTimeout);
    if (sent->cc != 0) return IpmiResponse::error(sent->cc);

    const long long deadline = nowMs() + bridgeTimeoutMs_;
    while (nowMs() < deadline) {
        auto flags = exchange(netFnApp, cmdGetMessageFlags, {});
        if (!flags) return IpmiResponse::error(ccTimeout);
        if (flags->cc != 0 || flags->data.empty() || (flags->data[0] & flagReceiveMessage) == 0) {
            pauseMs(2);
            continue;
        }
        auto got = exchange(netFnApp, cmdGetMessage, {});
        if (!got) return IpmiResponse::error(ccTimeout);
        if (got->cc == ccNoMessage || got->cc != 0) continue;
        // channel, netFn/LUN, checksum, responder address, seq/LUN, cmd, completion code,
        // data, checksum; the requester's own address is not repeated.
        const Bytes& d = got->data;
        if (d.size() < 8) continue;
        if (d[3] != request.slaveAddr || (d[4] >> 2) != seq || d[5] != request.cmd ||
            (d[1] >> 2) != (request.netFn | 1))
            continue;  // someone else's message, or a stale answer
        IpmiResponse r;
        r.cc = d[6];
        r.data.assign(d.begin() + 7, d.end() - 1);
        return r;
    }
    ++timeouts_;
    return IpmiResponse::error(ccTimeout);
}

std::optional<IpmiResponse> VmBackend::handle(const IpmiRequest& request) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::optional<IpmiResponse> answer;
    if (request.ipmb && request.slaveAddr != requesterAddr)
        answer = bridge(request);
    else
        answer = exchange(request.netFn, request.cmd, request.data, request.lun);
    if (!answer) answer = IpmiResponse::error(ccTimeout);
    noteRecord(log_, Exchange{request, *answer});
    return answer;
}

std::vector<VmBackend::Exchange> VmBackend::log() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return log_;
}

void VmBackend::clearLog() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log_.clear();
}

}  // namespace testkit
