// VKT_FRU through the real library against ipmi_sim, compared with ipmitool's and
// FreeIPMI's reading of FRU device 0.
#include <time.h>

#include <cstdlib>

#include "ipmisim_test.h"

using cimhost::Instance;
using ipmisim_test::IpmiSimTest;
namespace peers = testkit::peers;

namespace {

// The block of one FRU device in `ipmitool fru print`.
std::map<std::string, std::string> fruBlock(const std::string& text, const std::string& device) {
    std::string block;
    bool inside = false;
    for (const std::string& l : peers::lines(text)) {
        if (l.rfind("FRU Device Description", 0) == 0) inside = l.find(device) != std::string::npos;
        if (inside) block += l + "\n";
    }
    return peers::parseColonList(block);
}

class Fru : public IpmiSimTest {
protected:
    void SetUp() override {
        IpmiSimTest::SetUp();
        if (HasFatalFailure() || loaded_) return;
        loaded_ = true;
        // The manufacturing date is shown in local time: make it UTC, as for the peers.
        setenv("TZ", "UTC", 1);
        tzset();
        result_ = so().enumerate("FRUProvider");
        std::string out = ipmitool({"fru", "print"}).out;
        ipmitool_ = fruBlock(out, "(ID 0)");
        allDevices_ = out;
        freeipmi_ = peers::parseColonList(freeipmi("ipmi-fru", {}).out);
    }
    const Instance& ours() const { return result_.instances.at(0); }

    static inline bool loaded_ = false;
    static inline cimhost::EnumResult result_;
    static inline std::map<std::string, std::string> ipmitool_;
    static inline std::map<std::string, std::string> freeipmi_;
    static inline std::string allDevices_;
};

TEST_F(Fru, OneInstanceForDeviceZeroOnly) {
    ASSERT_EQ(result_.rc, CMPI_RC_OK);
    ASSERT_EQ(result_.instances.size(), 1u);
    EXPECT_EQ(result_.doneCount, 1);
    EXPECT_EQ(ours().path(), "varkolt/cimv2:VKT_FRU.deviceID=\"FRU\"");
    // The peers also list the power supply's FRU behind its locator record; it is not ours.
    EXPECT_NE(allDevices_.find("PSU1 FRU (ID 1)"), std::string::npos);
    for (const auto& p : ours().properties) EXPECT_NE(p.second.value_or(""), "PS-800W") << p.first;
}

TEST_F(Fru, BoardFieldsMatchBothPeers) {
    const std::pair<const char*, const char*> fields[] = {
        {"VKT_BoardManufacturerName", "Board Mfg"},
        {"VKT_BoardProductName", "Board Product"},
        {"VKT_BoardSerialNumber", "Board Serial"},
        {"VKT_BoardPartNumber", "Board Part Number"},
    };
    for (auto [property, label] : fields) {
        ASSERT_FALSE(ipmitool_[label].empty()) << label;
        EXPECT_EQ(ours().get(property), ipmitool_[label]) << property;
    }
    EXPECT_EQ(ours().get("VKT_BoardManufacturerName"), freeipmi_["FRU Board Manufacturer"]);
    EXPECT_EQ(ours().get("VKT_BoardProductName"), freeipmi_["FRU Board Product Name"]);
    EXPECT_EQ(ours().get("VKT_BoardSerialNumber"), freeipmi_["FRU Board Serial Number"]);
    EXPECT_EQ(ours().get("VKT_BoardPartNumber"), freeipmi_["FRU Board Part Number"]);
}

TEST_F(Fru, ProductFieldsMatchBothPeers) {
    const std::pair<const char*, const char*> fields[] = {
        {"VKT_ProductManufacturerName", "Product Manufacturer"},
        {"VKT_ProductName", "Product Name"},
        {"VKT_ProductPartModelNumber", "Product Part Number"},
        {"VKT_ProductVersion", "Product Version"},
        {"VKT_ProductSerialNumber", "Product Serial"},
    };
    for (auto [property, label] : fields) {
        ASSERT_FALSE(ipmitool_[label].empty()) << label;
        EXPECT_EQ(ours().get(property), ipmitool_[label]) << property;
    }
    EXPECT_EQ(ours().get("VKT_ProductName"), freeipmi_["FRU Product Name"]);
    EXPECT_EQ(ours().get("VKT_ProductPartModelNumber"), freeipmi_["FRU Product Part/Model Number"]);
    EXPECT_EQ(ours().get("VKT_ProductVersion"), freeipmi_["FRU Product Version"]);
    EXPECT_EQ(ours().get("VKT_ProductSerialNumber"), freeipmi_["FRU Product Serial Number"]);
}

TEST_F(Fru, EmptyFieldsAndTheCustomerFieldAreNA) {
    // The asset tag is empty: the peers leave it out, we publish the placeholder.
    EXPECT_EQ(ipmitool_.count("Product Asset Tag"), 0u);
    EXPECT_EQ(ours().get("VKT_ProductAssetTag"), "NA");
    // The board's custom field is not read into the customer property (always "NA").
    EXPECT_EQ(ipmitool_["Board Extra"], "REV-B");
    EXPECT_EQ(ours().get("VKT_BoardCustomer"), "NA");
}

TEST_F(Fru, ManufacturingDateIsThePeersDateWithTheRawMinutes) {
    // ipmitool: "Wed Nov  1 12:00:00 2023 UTC"; ours "2023/11/01 12:00:00 (D0 60 DF)".
    std::string peer = ipmitool_["Board Mfg Date"];
    tm t{};
    ASSERT_NE(strptime(peer.c_str(), "%a %b %d %H:%M:%S %Y", &t), nullptr) << peer;
    char date[32];
    strftime(date, sizeof date, "%Y/%m/%d %H:%M:%S", &t);
    // The raw bytes are the board area's bytes 3 to 5, least significant first.
    testkit::Bytes image = sim().fruImage(0);
    ASSERT_GT(image.size(), 8u);
    size_t board = image[3] * 8u;
    ASSERT_LT(board + 5, image.size());
    char raw[16];
    snprintf(raw, sizeof raw, "%02X %02X %02X", image[board + 3], image[board + 4], image[board + 5]);
    EXPECT_EQ(ours().get("VKT_BoardMfgDataTime"), std::string(date) + " (" + raw + ")");
    EXPECT_EQ(freeipmi_["FRU Board Manufacturing Date/Time"], "11/01/23 - 12:00:00");
}

}  // namespace
