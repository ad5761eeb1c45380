// A simulated BMC behind a KCS system interface: it plays the BMC side of the KCS state
// machine on one pair of I/O ports (data, status/command), follows the host through
// WRITE_START, the request bytes, WRITE_END and the READ acknowledgements, hands each
// complete request to a backend (normally the simulated BMC) and plays the answer back one
// byte at a time. It answers GET_STATUS/ABORT as a KCS BMC does, can misbehave in the ways
// real interfaces do, and logs every register access (while records are kept, see
// sim_records.h).
#ifndef TESTKIT_SIM_KCS_H
#define TESTKIT_SIM_KCS_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ipmi_message.h"
#include "sim_ports.h"

namespace testkit {

constexpr uint16_t kcsPrimaryData = 0xCA2;
constexpr uint16_t kcsPrimaryStatus = 0xCA3;
constexpr uint16_t kcsSecondaryData = 0xCA8;
constexpr uint16_t kcsSecondaryStatus = 0xCAC;

struct KcsFaults {
    // Exchange (counted from 0 at each WRITE_START since the BMC was made or its log
    // cleared) that the per-exchange faults below apply to; -1: every exchange.
    int onExchange = -1;
    // Host writes of an exchange are numbered from WRITE_START = 0.
    int ibfStuckAtWrite = -1;  // IBF never clears after this write
    int errorAtWrite = -1;     // the BMC enters the ERROR state on this write
    bool obfNeverSet = false;  // READ state is entered but the first answer byte never arrives

    // Every exchange:
    int ibfDelayReads = 0;  // status reads that still show IBF after each host write
    int obfDelayReads = 0;  // status reads that still show OBF clear before each answer byte
};

class SimKcsBmc : public PortSpace {
public:
    struct Access {
        bool write;
        uint16_t port;
        uint8_t value;
    };

    explicit SimKcsBmc(Backend* backend = nullptr, uint16_t dataPort = kcsPrimaryData,
                       uint16_t statusPort = kcsPrimaryStatus);

    void setBackend(Backend* backend) { backend_ = backend; }
    // Moves the interface to another port pair, or takes it off the bus (nothing answers).
    void placeAt(uint16_t dataPort, uint16_t statusPort);
    void removeFromBus() { onBus_ = false; }
    uint16_t dataPort() const { return data_; }
    uint16_t statusPort() const { return status_; }

    KcsFaults& faults() { return faults_; }
    // The time the BMC takes per byte, as a real controller's firmware does: a host write
    // stays in the input buffer (IBF set) and each answer byte stays out of the output
    // buffer (OBF clear) for this long. 0: at once (the default).
    void setByteDelay(std::chrono::microseconds delay) { byteDelay_ = delay; }

    uint8_t in(uint16_t port) override;
    void out(uint16_t port, uint8_t value) override;

    // ---- observation ----------------------------------------------------------------
    // Logging follows the simulator's record switch (sim_records.h) unless set here.
    void keepLog(bool on) { logging_ = on; }
    // Every access to any port, in order.
    const std::vector<Access>& log() const { return log_; }
    // Forgets the log and restarts the exchange count.
    void clearLog();
    // The conversation on this interface's ports without the status polls:
    // "cmd 61" (command port write), "out 18" (data port write), "in 1C" (data port read).
    std::vector<std::string> transcript() const;
    // The same, cut into exchanges at each WRITE_START.
    std::vector<std::vector<std::string>> exchanges() const;
    // Writes to any port outside this interface's pair.
    size_t writesElsewhere() const;
    int exchangeCount() const { return exchangeCount_; }
    // Bytes the host acknowledged with READ in the last read phase.
    size_t bytesSent() const { return respPos_; }

private:
    enum class State : uint8_t { Idle = 0x00, Read = 0x40, Write = 0x80, Error = 0xC0 };

    bool faultsApply() const;
    void takeWrite();
    void command(uint8_t code);
    void data(uint8_t value);
    void answer();
    void offer(uint8_t value);
    uint8_t statusByte() const;
    bool byteStillBusy(std::chrono::steady_clock::time_point since) const;

    Backend* backend_;
    uint16_t data_;
    uint16_t status_;
    bool onBus_ = true;
    KcsFaults faults_;
    std::vector<Access> log_;
    std::optional<bool> logging_;
    bool logging() const;

    State state_ = State::Idle;
    bool ibf_ = false;
    bool obf_ = false;
    bool commandFlag_ = false;  // C/D: the last write went to the command port
    uint8_t input_ = 0;
    uint8_t output_ = 0;
    bool ibfStuck_ = false;
    int ibfWait_ = 0;
    bool obfPending_ = false;
    bool obfStuck_ = false;
    int obfWait_ = 0;
    std::chrono::microseconds byteDelay_{0};
    std::chrono::steady_clock::time_point writeAt_{};
    std::chrono::steady_clock::time_point offerAt_{};

    int exchangeCount_ = 0;
    int exchange_ = -1;
    int writeIndex_ = 0;
    bool lastByteNext_ = false;
    bool aborting_ = false;
    bool recovering_ = false;
    uint8_t errorCode_ = 0;
    Bytes request_;
    Bytes response_;
    size_t respPos_ = 0;
};

}  // namespace testkit

#endif
