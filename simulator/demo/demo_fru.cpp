// The demo server's FRU inventory: a 512-byte EEPROM image with internal-use, chassis,
// board and product areas and a multi-record area (power supply and DC output records).
#include "sim_server.h"

namespace testkit {

namespace {

// 2021-03-15 09:30 in UTC, as minutes since 1996-01-01 00:00.
constexpr uint32_t demoBoardMinutes = 0xCA445A;

Bytes demoFruImage() {
    using fru::MultiRecord;
    // Power supply information: capacity 800 W, peak VA, inrush, input ranges, flags.
    const MultiRecord powerSupply{0x00,
                                  {0x20, 0x03, 0xB0, 0x04, 0x19, 0x05, 0x28, 0x23, 0x5A, 0x00, 0xB0, 0x36,
                                   0x32, 0x30, 0x2F, 0x3F, 0x3F, 0x00, 0x00, 0x03, 0x00, 0x28, 0x00, 0x00}};
    // DC output: 12 V rail, 11.4 V to 12.6 V, 0.1 A to 66 A.
    const MultiRecord dcOutput{0x01, {0x01, 0xB0, 0x04, 0x74, 0x04, 0xEC, 0x04, 0x32, 0x00, 0x0A, 0x00, 0xC8, 0x19}};
    return fru::ImageBuilder()
        .internalUse({0x01, 0x00, 0x4B, 0x56, 0x31, 0x30, 0x00, 0x00})
        .chassis(0x17, {"CH-1U-819-R03", "C819K1A47N30042"}, fru::Field("Rack 12 / U23").encoded)
        .board(demoBoardMinutes, {"Orvane Computing", "VKB-X12DPU", "WM21AS004512", "BRD-X12DPU-R1.02", ""})
        .product({"Orvane Computing", "VK1029-TR4", "VK1029-TR4-01", "1.02", "S412053X9A17721", "IT-004512", ""},
                 fru::Field("Built to order").encoded)
        .multiRecords({powerSupply, dcOutput})
        .padTo(512)
        .build();
}

}  // namespace

void addDemoFru(SimServer& server) {
    server.fru.image = demoFruImage();
    server.fru.areaSize = 512;
}

}  // namespace testkit
