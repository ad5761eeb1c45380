// The BMC's configuration file transfer (OEM command A0h, first request byte = step): the
// configuration files it holds by file type, uploads (reservation, start with the size,
// pieces by offset, apply) and downloads (prepare, status polls until ready, pieces,
// done), with fault modes for the failures a transfer must survive.
#ifndef TESTKIT_CONFIG_TRANSFER_MODEL_H
#define TESTKIT_CONFIG_TRANSFER_MODEL_H

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "sim_bmc.h"

namespace testkit {

struct ConfigTransferModel {
    // Configuration files by file type; a download of a type not held is refused (CCh).
    std::map<uint8_t, Bytes> files;

    // ---- fault modes ------------------------------------------------------------------
    std::optional<uint8_t> probeCc;        // the feature probe (0Ch) answers this code
    int notReadyPolls = 0;                 // status polls answered "not ready" first
    bool neverReady = false;               // every status poll answers "not ready"
    std::optional<uint32_t> reportedSize;  // the ready answer reports this size instead
    std::optional<uint32_t> shortPieceAt;  // the download piece at this offset comes short
    size_t shortPieceMissing = 1;          // by this many bytes

    // ---- what happened ----------------------------------------------------------------
    int statusPolls = 0;
    int downloadsDone = 0;
    int applied = 0;
    // Called when an uploaded file is applied (the BMC restarts with it).
    std::function<void()> onApply;

    void install(SimBmc& bmc);

private:
    uint16_t reservation_ = 0;  // of the upload in progress (0: none)
    uint16_t issued_ = 0x2340;
    std::optional<uint32_t> uploadSize_;
    Bytes upload_;
    std::vector<bool> received_;
    uint16_t handle_ = 0;       // of the download in progress (0: none)
    Bytes download_;
    int pollsLeft_ = 0;

    std::optional<IpmiResponse> step(const IpmiRequest& r);
    std::optional<IpmiResponse> uploadStep(uint8_t step, const Bytes& d);
    std::optional<IpmiResponse> downloadStep(uint8_t step, const Bytes& d);
};

}  // namespace testkit

#endif
