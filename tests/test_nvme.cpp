// NVMe drives behind the add-on cards: the list, the drive report with its exact format,
// out-of-range arguments and failed queries, and the management request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dmifru_util.h"
#include "test_support.h"
#include "varkolt/bmc.h"

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::Outcome;

namespace {

class Nvme : public testkit::SimTest {
protected:
    static Outcome run(const std::function<int()>& body) { return testkit::captureOutcome(body); }
};

const char* const listHeader = "Following list shows the presenting NVME SSD HD(s):\n";

TEST_F(Nvme, ListShowsPresentSlotsOfBothCards) {
    sim().nvme.cards[0].presenceOverride = 0x8005;  // presence bytes 05h 80h
    sim().nvme.cards[1].drives[3];
    Outcome o = run(bmc_nvmeList);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, std::string(listHeader) +
                         "aoc 0 slot 0 is presenting\naoc 0 slot 2 is presenting\naoc 0 slot 15 is presenting\n"
                         "aoc 1 slot 3 is presenting\n");
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"30/70 6C 00 00 00 00", "30/70 6C 00 01 00 00"}));

    // A card whose status cannot be read lists nothing.
    sim().nvme.cards[0].statusCc = 0xC1;
    EXPECT_EQ(run(bmc_nvmeList).out, std::string(listHeader) + "aoc 1 slot 3 is presenting\n");
}

TEST_F(Nvme, DriveReportWithBoundedTextsAndLinkSpeeds) {
    testkit::NvmeDrive& d = sim().nvme.cards[1].drives[9];
    d.serial = "ABCDEFGHIJKLMNOPQRST";                      // fills its field: no terminator
    d.model = "0123456789012345678901234567890123456789";  // likewise
    d.port0Speed = 3;
    d.port1Speed = 0;
    sim().nvme.cards[1].locate = 0x0200;
    Outcome o = run([] { return bmc_nvmeInfo(1, 9); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out,
              "\nCPLD version              : 01 05\n"
              "locate status             : Yes\n"
              "Class Code                : 01 08 02\n"
              "Vendor ID                 : 14 4D\n"
              "Serial Number             : ABCDEFGHIJKLMNOPQRST\n"
              "Model Number              : 0123456789012345678901234567890123456789\n"
              "Port 0 Max Link Speed     : 8.00 GT/s\n"
              "Port 0 Max Link Width     : 4\n"
              "Port 1 Max Link Speed     : 0.00 GT/s\n"
              "Port 1 Max Link Width     : 0\n"
              "Initial Power Requirement : 9 Watts\n"
              "Max Power Requirement     : 25 Watts\n"
              "Temperature               : 38 degrees C\n");
    const std::vector<std::string> s = commandTexts();
    EXPECT_EQ(s.at(1), "30/70 6C 00 01 09 01 00 19");
    EXPECT_EQ(s.back(), "30/70 6C 00 01 09 01 5C 0C");
    EXPECT_FLOAT_EQ(nvmeSpeedMapping(1), 2.5f);
    EXPECT_FLOAT_EQ(nvmeSpeedMapping(2), 5.0f);
    EXPECT_FLOAT_EQ(nvmeSpeedMapping(7), 0.0f);
}

TEST_F(Nvme, AbsentSlotsAndArgumentsOutOfRange) {
    // Slot 9 is bit 1 of the second presence byte, not of the first.
    sim().nvme.cards[1].presenceOverride = 0x0002;
    Outcome o = run([] { return bmc_nvmeInfo(1, 9); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "aoc 1 slot 9 is not presenting\n");

    bmc().clearLog();
    for (auto cardSlot : {std::pair<int, int>{0, 16}, {0, -1}, {2, 0}, {-1, 3}}) {
        o = run([&] { return bmc_nvmeInfo(cardSlot.first, cardSlot.second); });
        EXPECT_EQ(o.rc, 0);
        EXPECT_EQ(o.out, "slot out of range\n");
    }
    EXPECT_TRUE(commandTexts().empty());
    EXPECT_EQ(nvmeDetect(5, 4), 0);
    EXPECT_EQ(nvmeDetect(0, -1), 0);
}

TEST_F(Nvme, FailedDriveReadEndsTheReport) {
    sim().nvme.cards[0].drives[4].readCc = 0xD5;
    Outcome o = run([] { return bmc_nvmeInfo(0, 4); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "Failed to get NVMe drive information, Completion Code=D5h\n");
}

TEST_F(Nvme, ManagementRequestBytes) {
    Outcome o = run([] { return bmc_nvme(0x01, 0x00, 0x09); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Done.\n");
    EXPECT_EQ(commandTexts(), std::vector<std::string>{"30/70 6C 01 00 09 01"});

    bmc().clearLog();
    EXPECT_EQ(run([] { return bmc_nvme(256, 0, 0); }).rc, 12);
    EXPECT_EQ(run([] { return bmc_nvme(0, -1, 0); }).rc, 12);
    EXPECT_TRUE(commandTexts().empty());

    bmc().failNext(0x30, 0x70, 0xCC);
    o = run([] { return bmc_nvme(2, 1, 0); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to send NVMe management request, Completion Code=CCh\n");
    EXPECT_EQ(sim().nvme.managementRequests, std::vector<Bytes>{(Bytes{0x00, 0x09, 0x01})});
}

}  // namespace
