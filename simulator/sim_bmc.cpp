#include "sim_bmc.h"

#include <cstdio>

#include "sim_records.h"

namespace testkit {

namespace {
constexpr uint8_t ccInvalidCommand = 0xC1;
uint16_t key(uint8_t netFn, uint8_t cmd) { return static_cast<uint16_t>(netFn << 8 | cmd); }
uint32_t key(uint8_t netFn, uint8_t cmd, uint8_t selector) {
    return static_cast<uint32_t>(netFn) << 16 | static_cast<uint32_t>(cmd) << 8 | selector;
}
}  // namespace

std::string hexBytes(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += buf;
    }
    return out;
}

std::string IpmiRequest::toString() const {
    char head[32];
    snprintf(head, sizeof head, "%02X/%02X", netFn, cmd);
    std::string s = head;
    if (!data.empty()) s += " " + hexBytes(data);
    if (ipmb) {
        char addr[32];
        snprintf(addr, sizeof addr, " @ipmb(%u,%02X)", channel, slaveAddr);
        s += addr;
    }
    return s;
}

Bytes IpmiResponse::wire() const {
    if (raw) return data;
    Bytes out;
    out.reserve(data.size() + 1);
    out.push_back(cc);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

SimBmc::Predicate command(uint8_t netFn, uint8_t cmd) {
    return [netFn, cmd](const IpmiRequest& r) { return r.netFn == netFn && r.cmd == cmd; };
}

void SimBmc::on(uint8_t netFn, uint8_t cmd, Handler handler) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    handlers_[key(netFn, cmd)] = std::move(handler);
}

void SimBmc::onSelector(uint8_t netFn, uint8_t cmd, uint8_t selector, Handler handler) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    selectorHandlers_[key(netFn, cmd, selector)] = std::move(handler);
}

void SimBmc::setAbsence(std::function<bool()> away, std::optional<uint8_t> cc) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    away_ = std::move(away);
    awayCc_ = cc;
}

void SimBmc::onIpmb(uint8_t slaveAddr, Handler handler) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ipmbHandlers_[slaveAddr] = std::move(handler);
}

std::optional<IpmiResponse> SimBmc::handle(const IpmiRequest& request) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    noteRecord(log_, request);
    if (away_ && away_()) {
        if (!awayCc_) return std::nullopt;
        return IpmiResponse::error(*awayCc_);
    }
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->remaining == 0 || !it->when(request)) continue;
        std::optional<IpmiResponse> response = it->response;
        if (it->remaining > 0 && --it->remaining == 0) rules_.erase(it);
        return response;
    }
    if (request.ipmb) {
        auto h = ipmbHandlers_.find(request.slaveAddr);
        if (h == ipmbHandlers_.end()) return std::nullopt;  // nobody at that address
        return h->second(request);
    }
    if (!request.data.empty()) {
        auto s = selectorHandlers_.find(key(request.netFn, request.cmd, request.data[0]));
        if (s != selectorHandlers_.end()) return s->second(request);
    }
    auto h = handlers_.find(key(request.netFn, request.cmd));
    if (h == handlers_.end()) return IpmiResponse::error(ccInvalidCommand);
    return h->second(request);
}

void SimBmc::inject(Predicate when, IpmiResponse response, int count) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    rules_.push_back(Rule{std::move(when), std::move(response), count});
}

void SimBmc::failNext(uint8_t netFn, uint8_t cmd, uint8_t cc, int count) {
    inject(command(netFn, cmd), IpmiResponse::error(cc), count);
}

void SimBmc::failAlways(uint8_t netFn, uint8_t cmd, uint8_t cc) { failNext(netFn, cmd, cc, -1); }

void SimBmc::dropNext(Predicate when, int count) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    rules_.push_back(Rule{std::move(when), std::nullopt, count});
}

void SimBmc::clearFaults() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    rules_.clear();
}

std::vector<IpmiRequest> SimBmc::log() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return log_;
}

void SimBmc::clearLog() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log_.clear();
}

size_t SimBmc::count(uint8_t netFn, uint8_t cmd) const { return requests(netFn, cmd).size(); }

std::vector<IpmiRequest> SimBmc::requests(uint8_t netFn, uint8_t cmd) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<IpmiRequest> out;
    for (const IpmiRequest& r : log_)
        if (r.is(netFn, cmd)) out.push_back(r);
    return out;
}

std::vector<std::string> SimBmc::sequence() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<std::string> out;
    char buf[8];
    for (const IpmiRequest& r : log_) {
        snprintf(buf, sizeof buf, "%02X/%02X", r.netFn, r.cmd);
        out.push_back(buf);
    }
    return out;
}

}  // namespace testkit
