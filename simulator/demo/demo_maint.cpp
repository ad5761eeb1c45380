// The demo server's configuration file and NVMe drives.
#include "sim_server.h"

namespace testkit {

void addDemoMaintenance(SimServer& server) {
    const std::string config = "[network]\nipsrc=static\nip=192.0.2.10\n[users]\nadmin=2\n";
    server.transfer.files[0x00] = Bytes(config.begin(), config.end());

    NvmeCard& card = server.nvme.cards[0];
    card.drives[0].serial = "S3EWNX0J100001";
    NvmeDrive& second = card.drives[2];
    second.serial = "PHLF7302004T1P0FGN";
    second.model = "NVMe DC SSD 1.0TB";
    second.vendorId = 0x8086;
    second.temperature = 41;
    card.locate = 0x0004;
}

}  // namespace testkit
