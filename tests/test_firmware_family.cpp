// The firmware family test: GUID signatures, the family code of getIPMIVersion with its
// fallbacks through channel authentication and Get Device ID, and the family flag of the
// sensor evaluation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generic_util.h"
#include "test_support.h"

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

// A 16-byte GUID starting with `prefix`, the rest filled with bytes no signature uses.
std::vector<BYTE> guid(const std::string& prefix) {
    std::vector<BYTE> g(16, 0xEE);
    for (size_t i = 0; i < prefix.size() && i < g.size(); ++i) g[i] = static_cast<BYTE>(prefix[i]);
    return g;
}

std::vector<BYTE> guidBytes(std::initializer_list<BYTE> prefix) {
    std::vector<BYTE> g(16, 0xEE);
    std::copy(prefix.begin(), prefix.end(), g.begin());
    return g;
}

// ---- signatures ------------------------------------------------------------------------------

TEST(GuidSignatures, AtenRows) {
    const std::pair<const char*, int> rows[] = {{"7001MS", 13}, {"C001MS", 14}, {"E001MS", 16},
                                                {"F001MS", 17}, {"0101MS", 18}, {"1101MS", 19},
                                                {"2101MS", 20}, {"3101MS", 21}, {"4101MS", 22}};
    for (const auto& row : rows) EXPECT_EQ(isATENGUID(guid(row.first).data()), row.second) << row.first;
    for (const char* other : {"3101MX", "3101ms", "3101M", "5101MS", "D001MS", "9001MS", "x101MS", ""})
        EXPECT_EQ(isATENGUID(guid(other).data()), 121) << other;
}

TEST(GuidSignatures, AmiRows) {
    const std::pair<const char*, int> rows[] = {{"4001MS", 10}, {"5001MS", 10}, {"6001MS", 11},
                                                {"9001MS", 12}, {"D001MS", 15}};
    for (const auto& row : rows) EXPECT_EQ(isAMIGUID(guid(row.first).data()), row.second) << row.first;
    for (const char* other : {"3101MS", "9001MX", "d001MS", "7001MS"})
        EXPECT_EQ(isAMIGUID(guid(other).data()), 121) << other;
}

TEST(GuidSignatures, PepperconRows) {
    const std::pair<const char*, int> rows[] = {{"0001MS", 5}, {"1001MS", 6}, {"3001MS", 7}, {"8001MS", 8},
                                                {"2001MS", 9}};
    for (const auto& row : rows) EXPECT_EQ(isPepperconGUID(guid(row.first).data()), row.second) << row.first;
    EXPECT_EQ(isPepperconGUID(guidBytes({0x02, 0x00, 0x00, 0xFF, 0xFE, 0x00}).data()), 4);
    EXPECT_EQ(isPepperconGUID(guidBytes({0x02, 0x00, 0x00, 0xFF, 0xFE, 0x01}).data()), 121);
    EXPECT_EQ(isPepperconGUID(guid("3101MS").data()), 121);
}

TEST(GuidSignatures, OsaComparesEightBytes) {
    EXPECT_EQ(isOSAGUID(guidBytes({0x20, 0x00, 0x0E, 0x40, 0x02, 0x7F, 0x78, 0x08}).data()), 3);
    EXPECT_EQ(isOSAGUID(guidBytes({0x20, 0x00, 0x0E, 0x40, 0x02, 0x7F, 0x78, 0x09}).data()), 121);
    EXPECT_EQ(isOSAGUID(guid("3101MS").data()), 121);
}

TEST(GuidSignatures, OnlyTheFirstBytesAreLookedAt) {
    std::vector<BYTE> g = guid("3101MS");
    for (size_t i = 8; i < g.size(); ++i) g[i] = static_cast<BYTE>(i * 37);
    EXPECT_EQ(isATENGUID(g.data()), 21);
    std::vector<BYTE> osa = guidBytes({0x20, 0x00, 0x0E, 0x40, 0x02, 0x7F, 0x78, 0x08, 0x99});
    EXPECT_EQ(isOSAGUID(osa.data()), 3);
    EXPECT_EQ(isATENGUID(nullptr), 121);
}

TEST(GuidSignatures, NoOtherTestClaimsAnotherFamilysCode) {
    // 15 only comes from the AMI table; the ATEN table has no row for D0h.
    EXPECT_EQ(isATENGUID(guid("D001MS").data()), 121);
    for (const char* g : {"4001MS", "6001MS", "9001MS", "D001MS"}) {
        EXPECT_EQ(isATENGUID(guid(g).data()), 121) << g;
        EXPECT_EQ(isPepperconGUID(guid(g).data()), 121) << g;
    }
}

// ---- getIPMIVersion --------------------------------------------------------------------------

class FirmwareFamily : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        version = 0;
    }
};

TEST_F(FirmwareFamily, GuidSignatureDecidesAndEndsTheTest) {
    sim().device.systemGuid = testkit::guidWithSignature("9001MS");
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 12);
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"06/37"}));

    sim().device.systemGuid = testkit::guidWithSignature("3101MS");
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 21);
    sim().device.systemGuid = guidBytes({0x02, 0x00, 0x00, 0xFF, 0xFE, 0x00});
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 4);
    sim().device.systemGuid = guidBytes({0x20, 0x00, 0x0E, 0x40, 0x02, 0x7F, 0x78, 0x08});
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 3);
}

TEST_F(FirmwareFamily, RejectedGuidFallsBackToChannelAuthentication) {
    // No GUID command; the {81h, 01h} answer has bit 7 of byte 1 and bit 1 of byte 3.
    sim().device.channelAuthPlus = {0x01, 0x80, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"06/37", "06/38 81 01"}));
}

TEST_F(FirmwareFamily, UnknownGuidAndNoIpmi20CapabilityEndAsUnknown) {
    sim().device.systemGuid = testkit::guidWithSignature("ABCDEF");
    for (Bytes caps : {Bytes{0x01, 0x80, 0x00, 0x00}, Bytes{0x01, 0x00, 0x00, 0x02}, Bytes{0x01}}) {
        bmc().clearLog();
        sim().device.channelAuthPlus = caps;
        EXPECT_EQ(getIPMIVersion(), 0x00);
        EXPECT_EQ(version, 121) << testkit::hexBytes(caps);
        EXPECT_EQ(commandTexts(), (std::vector<std::string>{"06/37", "06/38 81 01", "06/38 01 01"}));
    }
    // The result is the completion code of the last command sent.
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x38) && r.data[0] == 0x01; },
                 IpmiResponse::error(0xCC));
    EXPECT_EQ(getIPMIVersion(), 0x00) << "the Get Device ID after the refusal succeeded";
    EXPECT_EQ(version, 121);
}

TEST_F(FirmwareFamily, RefusedCapabilityQueryAsksTheDeviceId) {
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x38) && r.data[0] == 0x81; },
                 IpmiResponse::error(0xCC), -1);
    sim().device.firmwareMajor = 0x02;  // Get Device ID byte 2
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(bmc().count(0x06, 0x38), 1u);

    sim().device.firmwareMajor = 0x01;
    bmc().clearLog();
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 121);
    std::vector<std::string> caps;
    for (const IpmiRequest& r : bmc().requests(0x06, 0x38)) caps.push_back(testkit::hexBytes(r.data));
    EXPECT_EQ(caps, (std::vector<std::string>{"81 01", "01 01"}));
}

TEST_F(FirmwareFamily, EverythingRefusedGivesTheLastCompletionCode) {
    bmc().failAlways(0x06, 0x37, 0xC1);
    bmc().failAlways(0x06, 0x38, 0xCC);
    bmc().failAlways(0x06, 0x01, 0xC0);
    EXPECT_EQ(getIPMIVersion(), 0xC0);
    EXPECT_EQ(version, 121);
    // The failed probe of the first command ends the probing; then the commands alone:
    // GUID, capabilities {81h, 01h}, Device ID, capabilities {01h, 01h}, Device ID.
    std::vector<std::string> seq = bmc().sequence();
    ASSERT_GE(seq.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(seq.end() - 5, seq.end()),
              (std::vector<std::string>{"06/37", "06/38", "06/01", "06/38", "06/01"}));
}

TEST_F(FirmwareFamily, ShortGuidAnswerIsNotReadPastItsEnd) {
    sim().device.systemGuid = Bytes{'3', '1', '0'};
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 2) << "no signature in 3 bytes; the capability query decides";
    sim().device.systemGuid = Bytes{'3', '1', '0', '1', 'M', 'S'};  // the signature and nothing more
    EXPECT_EQ(getIPMIVersion(), 0x00);
    EXPECT_EQ(version, 21);
}

TEST_F(FirmwareFamily, RequestsOfTheQueries) {
    BYTE resp[125] = {};
    DWORD len = 0;
    sim().device.systemGuid = testkit::guidWithSignature("3101MS");
    EXPECT_EQ(getSystemGUIDCommand(resp, &len), 0x00);
    EXPECT_EQ(len, 16u);
    EXPECT_EQ(Bytes(resp, resp + 16), *sim().device.systemGuid);
    EXPECT_EQ(getIPMIRMCPPlus(resp, &len), 0x00);
    EXPECT_EQ(getIPMIRMCP(resp, &len), 0x00);
    EXPECT_EQ(getIPMIDeviceId(resp, &len), 0x00);
    EXPECT_EQ(len, sim().device.deviceIdAnswer().size());
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"06/37", "06/38 81 01", "06/38 01 01"}));
}

// ---- the family flag of the sensor evaluation -----------------------------------------------

TEST_F(FirmwareFamily, FamilyFlagNeedsASuccessfulGuidWithTheSignature) {
    sim().device.systemGuid = testkit::guidWithSignature("3101MS");
    EXPECT_TRUE(isAtenFamily());
    sim().device.systemGuid = testkit::guidWithSignature("7001MS");
    EXPECT_TRUE(isAtenFamily());
    sim().device.systemGuid = testkit::guidWithSignature("9001MS");
    EXPECT_FALSE(isAtenFamily());
    sim().device.systemGuid = testkit::guidWithSignature("3101MS");
    bmc().failNext(0x06, 0x37, 0xC1);
    EXPECT_FALSE(isAtenFamily());
    // A completion code with the GUID bytes still attached is a failure all the same.
    Bytes withCode = {0xC1};
    for (char c : std::string("3101MS")) withCode.push_back(static_cast<uint8_t>(c));
    bmc().inject(testkit::command(0x06, 0x37), IpmiResponse::rawBytes(withCode));
    EXPECT_FALSE(isAtenFamily());
    EXPECT_EQ(bmc().count(0x06, 0x38), 0u) << "the flag is the GUID test alone";
}

}  // namespace
