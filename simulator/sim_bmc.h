// The simulated BMC: a registry of command handlers (filled by the models), fault
// injection, and a log of every request in order (kept only while records are on, see
// sim_records.h).
#ifndef TESTKIT_SIM_BMC_H
#define TESTKIT_SIM_BMC_H

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "ipmi_message.h"

namespace testkit {

class SimBmc : public Backend {
public:
    using Handler = std::function<std::optional<IpmiResponse>(const IpmiRequest&)>;
    using Predicate = std::function<bool(const IpmiRequest&)>;

    // Registers (or replaces) the handler of one command. Commands without a handler
    // answer C1h (invalid command), as a real BMC does.
    void on(uint8_t netFn, uint8_t cmd, Handler handler);
    // Handler for requests of netFn/cmd whose first data byte is `selector` (commands that
    // several models share, told apart by that byte); tried before the command's handler.
    void onSelector(uint8_t netFn, uint8_t cmd, uint8_t selector, Handler handler);
    // Handler for requests bridged over IPMB to `slaveAddr` (any command).
    void onIpmb(uint8_t slaveAddr, Handler handler);
    // While `away` returns true the BMC is not there (restarting): every request is logged
    // and answered `cc` at once, as the OpenIPMI driver answers for a BMC that does not
    // respond, or (no cc) never answered.
    void setAbsence(std::function<bool()> away, std::optional<uint8_t> cc = 0xC3);

    std::optional<IpmiResponse> handle(const IpmiRequest& request) override;

    // ---- fault injection ------------------------------------------------------------
    // The next `count` requests matching `when` get `response` instead of the model's
    // answer (count < 0: every matching request). Rules are tried in the order added.
    void inject(Predicate when, IpmiResponse response, int count = 1);
    // The next `count` requests for netFn/cmd answer completion code `cc` without data.
    void failNext(uint8_t netFn, uint8_t cmd, uint8_t cc, int count = 1);
    // Every request for netFn/cmd answers `cc` from now on.
    void failAlways(uint8_t netFn, uint8_t cmd, uint8_t cc);
    // The next `count` requests matching `when` are never answered.
    void dropNext(Predicate when, int count = 1);
    void clearFaults();

    // ---- observation ----------------------------------------------------------------
    // Every request since the last clearLog, while records are kept (sim_records.h);
    // empty otherwise.
    std::vector<IpmiRequest> log() const;
    void clearLog();
    size_t count(uint8_t netFn, uint8_t cmd) const;
    // Requests for netFn/cmd in order.
    std::vector<IpmiRequest> requests(uint8_t netFn, uint8_t cmd) const;
    // "netFn/cmd" pairs of the log, e.g. {"06/01", "30/45"}, for sequence assertions.
    std::vector<std::string> sequence() const;

private:
    struct Rule {
        Predicate when;
        std::optional<IpmiResponse> response;  // empty: never answered
        int remaining;
    };
    mutable std::recursive_mutex mutex_;
    std::map<uint16_t, Handler> handlers_;
    std::map<uint32_t, Handler> selectorHandlers_;
    std::function<bool()> away_;
    std::optional<uint8_t> awayCc_ = 0xC3;
    std::map<uint8_t, Handler> ipmbHandlers_;
    std::vector<Rule> rules_;
    std::vector<IpmiRequest> log_;
};

// Matches one command.
SimBmc::Predicate command(uint8_t netFn, uint8_t cmd);

}  // namespace testkit

#endif
