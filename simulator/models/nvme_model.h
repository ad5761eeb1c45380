// NVMe drives behind the BMC's two add-on cards (OEM command 70h, first byte 6Ch): per card
// the locate and presence bitmaps and the CPLD version, per drive its management data
// (identity, link capabilities, power, temperature), and the management requests received.
#ifndef TESTKIT_NVME_MODEL_H
#define TESTKIT_NVME_MODEL_H

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim_bmc.h"

namespace testkit {

struct NvmeDrive {
    std::array<uint8_t, 3> classCode = {0x01, 0x08, 0x02};  // mass storage, NVM, NVM Express
    uint16_t vendorId = 0x144D;
    std::string serial = "S3EWNX0J123456";      // space-padded to 20 characters
    std::string model = "NVMe SSD 960GB";       // space-padded to 40 characters
    uint8_t port0Speed = 3, port0Width = 4;     // speed codes: 1 2.5, 2 5.0, 3 8.0 GT/s
    uint8_t port1Speed = 0, port1Width = 0;
    uint8_t initialPower = 9, maxPower = 25;    // watts
    uint8_t temperature = 38;                   // degrees C
    std::optional<uint8_t> readCc;              // every data read of this drive fails

    // The drive's management data as the data reads address it.
    Bytes image() const;
};

struct NvmeCard {
    std::map<int, NvmeDrive> drives;          // by slot 0-15; presence follows from them
    std::optional<uint16_t> presenceOverride; // report this presence bitmap instead
    uint16_t locate = 0;                      // bit n: slot n's locate LED is on
    std::array<uint8_t, 2> cpld = {0x01, 0x05};
    std::optional<uint8_t> statusCc;          // the card's status query fails

    uint16_t presence() const;
};

struct NvmeModel {
    std::array<NvmeCard, 2> cards;
    // Management requests {6Ch, 01h, b, c, a} received: the three bytes after 01h (a record,
    // see sim_records.h).
    std::vector<Bytes> managementRequests;

    void install(SimBmc& bmc);

private:
    std::optional<IpmiResponse> handle(const IpmiRequest& r);
    std::optional<IpmiResponse> readDrive(const NvmeCard& card, const Bytes& d);
};

}  // namespace testkit

#endif
