// The VKT_FRU provider and its collector: properties in order, "NA" placeholders, values
// that stay after a failed read or a missing area, the property filter, and the demo
// server through the built library and the demo tool.
#include <cstdio>

#include "cimhost.h"
#include "fru_test_support.h"
#include "varkolt/bmc.h"

using cimhost::EnumResult;
using cimhost::Host;
using frutest::FruTest;
using testkit::Bytes;
using testkit::fru::Field;
using testkit::fru::ImageBuilder;

namespace {

const std::vector<std::string> propertyOrder = {
    "VKT_BoardMfgDataTime",        "VKT_BoardManufacturerName", "VKT_BoardProductName",
    "VKT_BoardSerialNumber",       "VKT_BoardPartNumber",       "VKT_BoardCustomer",
    "VKT_ProductManufacturerName", "VKT_ProductName",           "VKT_ProductPartModelNumber",
    "VKT_ProductVersion",          "VKT_ProductSerialNumber",   "VKT_ProductAssetTag",
};

class FruProvider : public FruTest {
protected:
    void SetUp() override {
        FruTest::SetUp();
        host_ = Host::inProcess();
    }
    EnumResult enumerate(const char** properties = nullptr) { return host_->enumerate("FRUProvider", properties); }
    std::unique_ptr<Host> host_;
    frutest::ScopedTimeZone utc_{"UTC0"};
};

const Bytes fullImage = ImageBuilder()
                            .board(0x000001, {"ABCD", "Board X", "BSN-1", "BPN-1", ""})
                            .product({"PMfg", "PName", "PPM", "1.0", "PSN", "PAT", ""})
                            .build();

TEST_F(FruProvider, FirstEnumerationWithoutFruGivesPlaceholders) {
    bmc().failAlways(0x0A, 0x10, 0xC0);
    testkit::CaptureOutput err(2);
    EnumResult r = enumerate();
    EXPECT_EQ(err.text(), "Failed to get FRU inventory area, Completion Code=C0h\n");
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 1u);
    const cimhost::Instance& inst = r.instances[0];
    EXPECT_EQ(inst.className, "VKT_FRU");
    EXPECT_EQ(inst.nameSpace, "varkolt/cimv2");
    EXPECT_EQ(inst.keys, (std::vector<std::pair<std::string, std::string>>{{"deviceID", "FRU"}}));
    std::vector<std::string> names = {"deviceID"};
    names.insert(names.end(), propertyOrder.begin(), propertyOrder.end());
    EXPECT_EQ(inst.propertyNames(), names);
    EXPECT_EQ(inst.get("deviceID"), "FRU");
    for (const std::string& p : propertyOrder) EXPECT_EQ(inst.get(p), "NA") << p;
    EXPECT_STREQ(boardInfo.manufacturerName, "NA");  // written into the shared record
}

TEST_F(FruProvider, PublishesTheInventoryTexts) {
    useImage(fullImage);
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 1u);
    const cimhost::Instance& inst = r.instances[0];
    const std::vector<std::string> expected = {
        "1996/01/01 00:01:00 (01 00 00)", "ABCD", "Board X", "BSN-1", "BPN-1", "NA",
        "PMfg", "PName", "PPM", "1.0", "PSN", "PAT",
    };
    for (size_t i = 0; i < propertyOrder.size(); ++i) EXPECT_EQ(inst.get(propertyOrder[i]), expected[i]);
    EXPECT_EQ(commandsOnly().front().toString(), "0A/10 00");
}

TEST_F(FruProvider, EmptyFieldsBecomeNaAndCustomerIsAlwaysNa) {
    fru1Flag = 0;
    useImage(ImageBuilder()
                 .board(0, {"M", "", "S", "P", ""}, Field("Customer").encoded)
                 .product({"PMfg", "PName", "PPM", "1.0", "PSN", "", ""})
                 .build());
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_ProductAssetTag"), "NA");
    EXPECT_EQ(r.instances[0].get("VKT_BoardProductName"), "NA");
    EXPECT_EQ(r.instances[0].get("VKT_BoardCustomer"), "NA");
    EXPECT_EQ(r.instances[0].get("VKT_ProductSerialNumber"), "PSN");
    EXPECT_EQ(r.instances[0].get("VKT_BoardManufacturerName"), "M");
}

TEST_F(FruProvider, LaterEnumerationsRepeatWhatTheyCannotRefresh) {
    useImage(fullImage);
    enumerate();

    // An image without a board area: the board properties stay.
    useImage(ImageBuilder().product({"New", "NewName", "", "", "", "", ""}).build());
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_BoardManufacturerName"), "ABCD");
    EXPECT_EQ(r.instances[0].get("VKT_BoardMfgDataTime"), "1996/01/01 00:01:00 (01 00 00)");
    EXPECT_EQ(r.instances[0].get("VKT_ProductName"), "NewName");
    EXPECT_EQ(r.instances[0].get("VKT_ProductVersion"), "NA");

    // A failed read: every property repeats the last values, placeholders included.
    fruDevice().failReadAt[0] = 0xC3;
    testkit::CaptureOutput err(2);
    r = enumerate();
    EXPECT_EQ(err.text(), "Failed to get FRU data, Completion Code=C3h\n");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_ProductName"), "NewName");
    EXPECT_EQ(r.instances[0].get("VKT_ProductVersion"), "NA");
    EXPECT_EQ(r.instances[0].get("VKT_BoardSerialNumber"), "BSN-1");

    // A header of another format version leaves the records as they are.
    Bytes v2 = fullImage;
    v2[0] = 2;
    fruDevice().failReadAt.clear();
    useImage(v2);
    r = enumerate();
    EXPECT_EQ(r.instances[0].get("VKT_ProductName"), "NewName");
}

TEST_F(FruProvider, PropertyFilterDecidesWhatReachesTheCaller) {
    useImage(fullImage);
    const char* wanted[] = {"VKT_ProductName", nullptr};
    EnumResult r = enumerate(wanted);
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].propertyNames(), std::vector<std::string>{"VKT_ProductName"});
    EXPECT_EQ(r.instances[0].get("VKT_ProductName"), "PName");
    EXPECT_EQ(r.instances[0].keys.size(), 1u);
}

TEST_F(FruProvider, CollectorResults) {
    useImage(fullImage);
    EXPECT_EQ(bmc_GetFRUList(), 0);
    EXPECT_EQ(fruDataLength, static_cast<int32_t>(fullImage.size()));
    bmc().failNext(0x0A, 0x10, 0xC1);
    testkit::CaptureOutput err(2);
    EXPECT_EQ(bmc_GetFRUList(), 11);
    fruDevice().failReadAt[16] = 0x81;
    EXPECT_EQ(bmc_GetFRUList(), 11);
    EXPECT_EQ(err.text(),
              "Failed to get FRU inventory area, Completion Code=C1h\n"
              "Failed to get FRU data, Completion Code=81h\n");
}

// ---- the demo server ---------------------------------------------------------------------------

const char* const demoListing =
    "varkolt/cimv2:VKT_FRU.deviceID=\"FRU\"\n"
    "    deviceID = \"FRU\"\n"
    "    VKT_BoardMfgDataTime = \"2021/03/15 09:30:00 (5A 44 CA)\"\n"
    "    VKT_BoardManufacturerName = \"Orvane Computing\"\n"
    "    VKT_BoardProductName = \"VKB-X12DPU\"\n"
    "    VKT_BoardSerialNumber = \"WM21AS004512\"\n"
    "    VKT_BoardPartNumber = \"BRD-X12DPU-R1.02\"\n"
    "    VKT_BoardCustomer = \"NA\"\n"
    "    VKT_ProductManufacturerName = \"Orvane Computing\"\n"
    "    VKT_ProductName = \"VK1029-TR4\"\n"
    "    VKT_ProductPartModelNumber = \"VK1029-TR4-01\"\n"
    "    VKT_ProductVersion = \"1.02\"\n"
    "    VKT_ProductSerialNumber = \"S412053X9A17721\"\n"
    "    VKT_ProductAssetTag = \"IT-004512\"\n";

TEST(FruDemo, DemoToolPrintsTheInventory) {
    const std::string cmd = std::string("TZ=UTC0 ") + VKT_CIM_TOOL + " --simulate enumerate VKT_FRU 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
    ASSERT_EQ(pclose(p), 0) << out;
    EXPECT_EQ(out.substr(0, strlen(demoListing)), demoListing);
}

TEST(FruDemo, BuiltLibraryReadsTheDemoImage) {
    frutest::ScopedTimeZone utc("UTC0");
    frutest::ScopedWorkDir dir;
    auto server = testkit::makeScenario("demo");
    testkit::FakeIpmiDevice::get().reset();
    testkit::attachServer(*server);
    std::string error;
    auto host = Host::load(VKT_PROVIDER_LIB, &error);
    ASSERT_NE(host, nullptr) << error;
    EnumResult r = host->enumerate("FRUProvider");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_ProductName"), "VK1029-TR4");
    EXPECT_EQ(server->bmc.count(0x0A, 0x11), 32u);  // 512 bytes in 16-byte segments
    testkit::FakeIpmiDevice::get().reset();
}

}  // namespace
