#include "sim_kcs.h"

#include <cstdio>

#include "sim_records.h"

namespace testkit {

namespace {

constexpr uint8_t flagOBF = 0x01;
constexpr uint8_t flagIBF = 0x02;
constexpr uint8_t flagCommand = 0x08;

constexpr uint8_t codeGetStatusAbort = 0x60;
constexpr uint8_t codeWriteStart = 0x61;
constexpr uint8_t codeWriteEnd = 0x62;
constexpr uint8_t codeRead = 0x68;

// Status codes the BMC reports after GET_STATUS/ABORT.
constexpr uint8_t errAborted = 0x01;
constexpr uint8_t errIllegalControlCode = 0x02;
constexpr uint8_t errLengthError = 0x06;

constexpr uint8_t ccRequestLengthInvalid = 0xC7;
constexpr uint8_t systemInterfaceChannel = 0x0F;

std::string entry(const char* what, uint8_t value) {
    char buf[16];
    snprintf(buf, sizeof buf, "%s %02X", what, value);
    return buf;
}

}  // namespace

SimKcsBmc::SimKcsBmc(Backend* backend, uint16_t dataPort, uint16_t statusPort)
    : backend_(backend), data_(dataPort), status_(statusPort) {}

void SimKcsBmc::placeAt(uint16_t dataPort, uint16_t statusPort) {
    data_ = dataPort;
    status_ = statusPort;
    onBus_ = true;
}

void SimKcsBmc::clearLog() {
    log_.clear();
    exchangeCount_ = 0;
}

bool SimKcsBmc::logging() const { return logging_ ? *logging_ : keepingRecords(); }

bool SimKcsBmc::faultsApply() const { return faults_.onExchange < 0 || faults_.onExchange == exchange_; }

uint8_t SimKcsBmc::statusByte() const {
    return static_cast<uint8_t>(static_cast<uint8_t>(state_) | (commandFlag_ ? flagCommand : 0) | (ibf_ ? flagIBF : 0) |
                                (obf_ ? flagOBF : 0));
}

uint8_t SimKcsBmc::in(uint16_t port) {
    uint8_t value = 0xFF;
    if (onBus_ && port == status_) {
        // The BMC works between the host's polls: a pending write or answer byte is taken
        // up after the configured number of looks.
        if (ibf_ && !ibfStuck_) {
            if (ibfWait_ > 0)
                --ibfWait_;
            else if (!byteStillBusy(writeAt_))
                takeWrite();
        }
        if (obfPending_ && !obfStuck_) {
            if (obfWait_ > 0) {
                --obfWait_;
            } else if (!byteStillBusy(offerAt_)) {
                obfPending_ = false;
                obf_ = true;
            }
        }
        value = statusByte();
    } else if (onBus_ && port == data_) {
        value = output_;
        obf_ = false;
    }
    if (logging()) log_.push_back(Access{false, port, value});
    return value;
}

void SimKcsBmc::out(uint16_t port, uint8_t value) {
    if (logging()) log_.push_back(Access{true, port, value});
    if (!onBus_ || (port != status_ && port != data_)) return;
    commandFlag_ = port == status_;
    if (commandFlag_ && value == codeWriteStart) {
        exchange_ = exchangeCount_++;
        writeIndex_ = 0;
        recovering_ = false;
    } else {
        ++writeIndex_;
    }
    input_ = value;
    ibf_ = true;
    if (faultsApply() && !recovering_ && writeIndex_ == faults_.ibfStuckAtWrite) {
        ibfStuck_ = true;
        return;
    }
    ibfWait_ = faults_.ibfDelayReads;
    writeAt_ = std::chrono::steady_clock::now();
    if (ibfWait_ == 0 && byteDelay_.count() == 0) takeWrite();
}

bool SimKcsBmc::byteStillBusy(std::chrono::steady_clock::time_point since) const {
    return byteDelay_.count() > 0 && std::chrono::steady_clock::now() - since < byteDelay_;
}

void SimKcsBmc::takeWrite() {
    ibf_ = false;
    if (faultsApply() && !recovering_ && writeIndex_ == faults_.errorAtWrite) {
        state_ = State::Error;
        errorCode_ = errLengthError;
        return;
    }
    if (commandFlag_)
        command(input_);
    else
        data(input_);
}

void SimKcsBmc::command(uint8_t code) {
    switch (code) {
        case codeWriteStart:
            state_ = State::Write;
            request_.clear();
            response_.clear();
            respPos_ = 0;
            lastByteNext_ = false;
            aborting_ = false;
            obfPending_ = false;
            obfStuck_ = false;
            break;
        case codeWriteEnd:
            if (state_ == State::Write) {
                lastByteNext_ = true;
            } else {
                state_ = State::Error;
                errorCode_ = errIllegalControlCode;
            }
            break;
        case codeGetStatusAbort:
            state_ = State::Write;
            aborting_ = true;
            recovering_ = true;
            request_.clear();
            response_.clear();
            respPos_ = 0;
            obfPending_ = false;
            obfStuck_ = false;
            if (errorCode_ == 0) errorCode_ = errAborted;
            break;
        default:
            state_ = State::Error;
            errorCode_ = errIllegalControlCode;
            break;
    }
}

void SimKcsBmc::data(uint8_t value) {
    switch (state_) {
        case State::Write:
            if (aborting_) {
                // The status phase of GET_STATUS/ABORT: one byte (the error code), then IDLE.
                aborting_ = false;
                state_ = State::Read;
                offer(errorCode_);
                errorCode_ = 0;
                return;
            }
            request_.push_back(value);
            if (lastByteNext_) {
                state_ = State::Read;
                answer();
            }
            return;
        case State::Read:
            if (value != codeRead) {
                state_ = State::Error;
                errorCode_ = errIllegalControlCode;
                return;
            }
            if (respPos_ < response_.size()) {
                offer(response_[respPos_++]);
            } else {
                state_ = State::Idle;
                offer(0x00);  // the dummy byte that ends the transfer
            }
            return;
        case State::Idle:
        case State::Error:
            state_ = State::Error;
            return;
    }
}

void SimKcsBmc::answer() {
    if (request_.size() < 2) {
        response_ = {0x00, 0x00, ccRequestLengthInvalid};
    } else {
        IpmiRequest request;
        request.netFn = static_cast<uint8_t>(request_[0] >> 2);
        request.lun = static_cast<uint8_t>(request_[0] & 0x03);
        request.cmd = request_[1];
        request.data.assign(request_.begin() + 2, request_.end());
        request.channel = systemInterfaceChannel;
        std::optional<IpmiResponse> reply;
        if (backend_ != nullptr) reply = backend_->handle(request);
        // A request the BMC never answers leaves the interface in READ with nothing to read.
        if (!reply) return;
        response_ = {static_cast<uint8_t>(((request.netFn | 1) << 2) | request.lun), request.cmd};
        Bytes wire = reply->wire();
        response_.insert(response_.end(), wire.begin(), wire.end());
    }
    if (faultsApply() && faults_.obfNeverSet) obfStuck_ = true;
    respPos_ = 0;
    offer(response_[respPos_++]);
}

void SimKcsBmc::offer(uint8_t value) {
    output_ = value;
    obf_ = false;
    obfWait_ = faults_.obfDelayReads;
    obfPending_ = true;
    offerAt_ = std::chrono::steady_clock::now();
    if (obfWait_ == 0 && !obfStuck_ && byteDelay_.count() == 0) {
        obfPending_ = false;
        obf_ = true;
    }
}

std::vector<std::string> SimKcsBmc::transcript() const {
    std::vector<std::string> out;
    for (const Access& a : log_) {
        if (a.port == status_ && a.write)
            out.push_back(entry("cmd", a.value));
        else if (a.port == data_)
            out.push_back(entry(a.write ? "out" : "in", a.value));
    }
    return out;
}

std::vector<std::vector<std::string>> SimKcsBmc::exchanges() const {
    std::vector<std::vector<std::string>> out;
    for (const std::string& e : transcript()) {
        if (e == "cmd 61" || out.empty()) out.emplace_back();
        out.back().push_back(e);
    }
    return out;
}

size_t SimKcsBmc::writesElsewhere() const {
    size_t n = 0;
    for (const Access& a : log_)
        if (a.write && a.port != data_ && a.port != status_) ++n;
    return n;
}

}  // namespace testkit
