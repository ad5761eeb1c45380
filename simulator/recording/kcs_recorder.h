// Records the conversation on a KCS system interface from the host's side of the ports:
// it watches every access to the two KCS port pairs (CA2h/CA3h and CA8h/CACh) on its way
// to the real or simulated interface and rebuilds whole messages from them. The request
// is what the host writes between WRITE_START and the byte after WRITE_END; the answer is
// what it reads from the data port while the status register shows the READ state (the
// dummy byte read in IDLE ends it).
#ifndef TESTKIT_KCS_RECORDER_H
#define TESTKIT_KCS_RECORDER_H

#include <array>

#include "recording/recording_file.h"
#include "sim_ports.h"

namespace testkit {

class KcsRecorder : public PortSpace {
public:
    KcsRecorder(PortSpace& lower, recording::Writer& writer);

    uint8_t in(uint16_t port) override;
    void out(uint16_t port, uint8_t value) override;
    // Writes an exchange that was cut short (the process ends in the middle) as unanswered.
    void finish();

private:
    enum class Phase { idle, write, read };
    struct Interface {
        Interface(uint16_t dataPort, uint16_t statusPort) : data(dataPort), status(statusPort) {}
        uint16_t data;
        uint16_t status;
        Phase phase = Phase::idle;
        bool lastByteNext = false;
        uint8_t lastStatus = 0;
        Bytes request;
        Bytes response;
        long long startUs = 0;
        bool announced = false;
    };

    Interface* interfaceOf(uint16_t port);
    void command(Interface& k, uint8_t code);
    void commit(Interface& k, bool answered);

    PortSpace& lower_;
    recording::Writer& writer_;
    std::array<Interface, 2> interfaces_;
};

}  // namespace testkit

#endif
