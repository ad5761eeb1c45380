// The answer decoders: each one against an answer of exactly its length, a short one (what
// did not arrive reads as 00h, or the answer counts as none) and a long one (what follows is
// not read). Every answer lives in a vector of its exact size, so a decoder that reads past
// it trips the address sanitizer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipmi_replies.h"

namespace {

using Bytes = std::vector<BYTE>;
using namespace vkt;

ByteView view(const Bytes& b) { return ByteView(b.data(), b.size()); }

template <size_t N>
std::string text(const std::array<char, N>& field) {
    return std::string(field.data(), N);
}

TEST(Replies, DeviceId) {
    // The ME of the firmware text 4.0.1.51: revisions 04h 01h, aux 00h 05h 10h 03h.
    const Bytes exact = {0x50, 0x01, 0x04, 0x01, 0x02, 0x21, 0x57, 0x01, 0x00, 0x0B, 0x00, 0x00, 0x05, 0x10, 0x03};
    DeviceIdReply r = DeviceIdReply::decode(view(exact));
    EXPECT_EQ(r.firmware1, 0x04);
    EXPECT_EQ(r.firmware2, 0x01);
    EXPECT_EQ(r.productId, 0x000B);
    EXPECT_EQ(r.auxFirmware, (std::array<BYTE, 4>{0x00, 0x05, 0x10, 0x03}));

    // A BMC that sends no auxiliary revision: the revisions are there, the rest is 00h.
    r = DeviceIdReply::decode(view(Bytes(exact.begin(), exact.begin() + 11)));
    EXPECT_EQ(r.firmware2, 0x01);
    EXPECT_EQ(r.productId, 0x000B);
    EXPECT_EQ(r.auxFirmware, (std::array<BYTE, 4>{}));
    r = DeviceIdReply::decode(view(Bytes{0x20, 0x01, 0x81}));
    EXPECT_EQ(r.firmware1, 0x81);
    EXPECT_EQ(r.firmware2, 0x00);

    Bytes longer = exact;
    longer.push_back(0xEE);
    EXPECT_EQ(DeviceIdReply::decode(view(longer)).auxFirmware[3], 0x03);
}

TEST(Replies, GuidCapabilitiesAndSelfTest) {
    Bytes guid = {'7', '0', '0', '1', 'M', 'S'};
    EXPECT_EQ(SystemGuidReply::decode(view(guid)).guid,
              (std::array<BYTE, 16>{'7', '0', '0', '1', 'M', 'S', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    guid.resize(17, 0xAB);
    EXPECT_EQ(SystemGuidReply::decode(view(guid)).guid[15], 0xAB);

    // IPMI 2.0 needs both the extended-capabilities bit and the 2.0-connections bit.
    EXPECT_TRUE(ChannelAuthCapsReply::decode(view(Bytes{0x01, 0x80, 0x00, 0x02, 0, 0, 0, 0})).ipmi20());
    EXPECT_FALSE(ChannelAuthCapsReply::decode(view(Bytes{0x01, 0x80, 0x00, 0x01, 0, 0, 0, 0})).ipmi20());
    EXPECT_FALSE(ChannelAuthCapsReply::decode(view(Bytes{0x01, 0x17, 0x00, 0x02, 0, 0, 0, 0})).ipmi20());
    EXPECT_FALSE(ChannelAuthCapsReply::decode(view(Bytes{0x01, 0x80, 0x00})).ipmi20());

    SelfTestReply t = SelfTestReply::decode(view(Bytes{0x57, 0x81}));
    EXPECT_EQ(t.result, 0x57);
    EXPECT_EQ(t.detail, 0x81);
    t = SelfTestReply::decode(view(Bytes{0x55}));
    EXPECT_EQ(t.result, 0x55);
    EXPECT_EQ(t.detail, 0x00);
    t = SelfTestReply::decode(view(Bytes{}));
    EXPECT_EQ(t.result, 0x00);
    EXPECT_EQ(SelfTestReply::decode(view(Bytes{0x58, 0x02, 0xFF})).detail, 0x02);
}

TEST(Replies, UserAccessAndName) {
    // Counts keep five bits; the status and access bytes stay as sent.
    UserAccessReply a = UserAccessReply::decode(view(Bytes{0x2A, 0x43, 0x01, 0x54}));
    EXPECT_EQ(a.maxUsers, 0x0A);
    EXPECT_EQ(a.enabledUsers, 0x03);
    EXPECT_EQ(a.status, 0x43);
    EXPECT_EQ(a.access, 0x54);
    a = UserAccessReply::decode(view(Bytes{0x0A, 0x43}));
    EXPECT_EQ(a.status, 0x43);
    EXPECT_EQ(a.access, 0x00);
    EXPECT_EQ(UserAccessReply::decode(view(Bytes{0x0A, 0x43, 0x01, 0x54, 0x99})).access, 0x54);

    const UserNameReply root = UserNameReply::decode(view(Bytes{'r', 'o', 'o', 't'}));
    EXPECT_EQ(text(root.name), std::string("root") + std::string(12, '\0'));
    Bytes full(20, 'x');
    EXPECT_EQ(text(UserNameReply::decode(view(full)).name), std::string(16, 'x'));
}

TEST(Replies, RepositoryAndLogSummaries) {
    const Bytes info = {0x51, 0x34, 0x12, 0xFF, 0x0F, 1, 2, 3, 4, 5, 6, 7, 8, 0x0F};
    EXPECT_EQ(SdrRepositoryInfoReply::decode(view(info)).version, 0x51);
    EXPECT_EQ(SdrRepositoryInfoReply::decode(view(info)).recordCount, 0x1234);
    EXPECT_EQ(SdrRepositoryInfoReply::decode(view(Bytes{0x51, 0x34})).recordCount, 0x0034);

    const Bytes sel = {0x51, 0x03, 0x00, 0x00, 0x10, 0x78, 0x56, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0x02};
    SelInfoReply s = SelInfoReply::decode(view(sel));
    EXPECT_EQ(s.entries, 3);
    EXPECT_EQ(s.freeSpace, 0x1000);
    EXPECT_EQ(s.lastAddition, 0x12345678u);
    EXPECT_EQ(s.lastErase, 0xDEADBEEFu);
    // Cut inside the addition stamp: its missing high bytes are 00h, no erase stamp.
    s = SelInfoReply::decode(view(Bytes(sel.begin(), sel.begin() + 7)));
    EXPECT_EQ(s.lastAddition, 0x5678u);
    EXPECT_EQ(s.lastErase, 0u);
    Bytes longer = sel;
    longer.push_back(0xFF);
    EXPECT_EQ(SelInfoReply::decode(view(longer)).lastErase, 0xDEADBEEFu);
}

TEST(Replies, ReservationsAndRecords) {
    EXPECT_EQ(ReservationReply::decode(view(Bytes{0x34, 0x12})).id, (std::array<BYTE, 2>{0x34, 0x12}));
    EXPECT_EQ(ReservationReply::decode(view(Bytes{0x34})).id, (std::array<BYTE, 2>{0x34, 0x00}));
    EXPECT_EQ(ReservationReply::decode(view(Bytes{0x34, 0x12, 0x56})).id, (std::array<BYTE, 2>{0x34, 0x12}));

    // Next record ID, then the record bytes: the record is the answer's own bytes.
    const Bytes sdr = {0x02, 0x00, 0x01, 0x00, 0x51, 0x01, 0x2B};
    RecordReply r = RecordReply::decode(view(sdr));
    EXPECT_EQ(r.nextRecordId, 0x0002);
    EXPECT_EQ(r.record.size(), 5u);
    EXPECT_EQ(r.record.data, sdr.data() + 2);
    EXPECT_EQ(r.record[3], 0x01);
    EXPECT_EQ(r.record[5], 0x00);  // past the answer
    r = RecordReply::decode(view(Bytes{0xFF}));
    EXPECT_EQ(r.nextRecordId, 0x00FF);
    EXPECT_TRUE(r.record.empty());
    EXPECT_TRUE(RecordReply::decode(view(Bytes{})).record.empty());
}

TEST(Replies, SensorReadingAndThresholds) {
    SensorReadingReply r = SensorReadingReply::decode(view(Bytes{0x2F, 0xC0, 0x81, 0x40}));
    EXPECT_EQ(r.raw, 0x2F);
    EXPECT_EQ(r.flags, 0xC0);
    EXPECT_EQ(r.states, 0x4081);
    // A threshold sensor may send only the reading and its flags.
    r = SensorReadingReply::decode(view(Bytes{0x2F, 0xC0}));
    EXPECT_EQ(r.states, 0x0000);
    r = SensorReadingReply::decode(view(Bytes{0x2F, 0xC0, 0x01}));
    EXPECT_EQ(r.states, 0x0001);
    EXPECT_EQ(SensorReadingReply::decode(view(Bytes{1, 2, 3, 4, 5})).states, 0x0403);

    const Bytes limits = {0x3F, 10, 20, 30, 40, 50, 60};
    SensorThresholdsReply t = SensorThresholdsReply::decode(view(limits));
    EXPECT_EQ(t.readable, 0x3F);
    EXPECT_EQ(t.raw, (std::array<BYTE, 6>{10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(SensorThresholdsReply::decode(view(Bytes{0x12, 10, 20})).raw, (std::array<BYTE, 6>{10, 20, 0, 0, 0, 0}));
    EXPECT_EQ(SensorThresholdsReply::decode(view(Bytes{0x3F, 10, 20, 30, 40, 50, 60, 70})).raw[5], 60);
}

TEST(Replies, LanParameters) {
    LanParamReply r = LanParamReply::decode(view(Bytes{0x11, 0x00, 0x25, 0x90, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(r.revision, 0x11);
    EXPECT_EQ(r.value, (std::array<BYTE, 6>{0x00, 0x25, 0x90, 0xAB, 0xCD, 0xEF}));
    r = LanParamReply::decode(view(Bytes{0x11, 192, 168, 1, 20}));
    EXPECT_EQ(r.value, (std::array<BYTE, 6>{192, 168, 1, 20, 0, 0}));
    EXPECT_EQ(LanParamReply::decode(view(Bytes{0x11, 1, 2, 3, 4, 5, 6, 7})).value[5], 6);

    // VLAN 0F64h enabled; the bits between the enable bit and the ID are not the ID's.
    r = LanParamReply::decode(view(Bytes{0x11, 0x64, 0xFF}));
    EXPECT_TRUE(r.vlanEnabled());
    EXPECT_EQ(r.vlanId(), 0x0F64);
    r = LanParamReply::decode(view(Bytes{0x11, 0x64}));
    EXPECT_FALSE(r.vlanEnabled());
    EXPECT_EQ(r.vlanId(), 0x0064);
}

TEST(Replies, SystemInformationAndMacList) {
    const Bytes info = {0x09, 0x3A, 0x00, 0x02, 0x0C, 0xC4, 0x7A, 0x00, 0x00, 0x01};
    SystemInfoReply s = SystemInfoReply::decode(view(info));
    EXPECT_EQ(s.boardId, 0x3A09);
    EXPECT_EQ(s.nicLayout, 0x02);
    EXPECT_EQ(s.firstMac, (std::array<BYTE, 6>{0x0C, 0xC4, 0x7A, 0x00, 0x00, 0x01}));
    s = SystemInfoReply::decode(view(Bytes{0x09}));
    EXPECT_EQ(s.boardId, 0x0009);
    EXPECT_EQ(s.firstMac, (std::array<BYTE, 6>{}));

    // Two whole addresses and a cut third: only the whole ones count, whatever the count says.
    Bytes list = {3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    MacListReply m = MacListReply::decode(view(list));
    EXPECT_EQ(m.count, 2u);
    BYTE mac[6] = {};
    m.address(1, mac);
    EXPECT_EQ(Bytes(mac, mac + 6), (Bytes{7, 8, 9, 10, 11, 12}));
    list[0] = 1;
    EXPECT_EQ(MacListReply::decode(view(list)).count, 1u);
    EXPECT_EQ(MacListReply::decode(view(Bytes{5})).count, 0u);
    EXPECT_EQ(MacListReply::decode(view(Bytes{})).count, 0u);
}

TEST(Replies, AnswersThatMeanNothingUnlessWhole) {
    EXPECT_FALSE(LedStateReply::decode(view(Bytes{})));
    EXPECT_FALSE(LedStateReply::decode(view(Bytes{0x00}))->on);
    EXPECT_TRUE(LedStateReply::decode(view(Bytes{0x01, 0x00}))->on);

    EXPECT_FALSE(FanModeReply::decode(view(Bytes{})));
    EXPECT_EQ(FanModeReply::decode(view(Bytes{0x04}))->mode, 0x04);
    EXPECT_EQ(FanModeReply::decode(view(Bytes{0x04, 0x01}))->mode, 0x04);

    // Only a single byte is a mask of modes.
    EXPECT_FALSE(FanModeMaskReply::decode(view(Bytes{})));
    EXPECT_EQ(FanModeMaskReply::decode(view(Bytes{0x1D}))->mask, 0x1D);
    EXPECT_FALSE(FanModeMaskReply::decode(view(Bytes{0x1D, 0x00})));
}

TEST(Replies, OemIdentityAndTransfer) {
    Bytes build(20, 0xEE);
    for (char c : std::string("2017071402")) build.push_back(static_cast<BYTE>(c));
    EXPECT_EQ(text(BuildTimeReply::decode(view(build)).text), "2017071402");
    build.resize(24);
    EXPECT_EQ(text(BuildTimeReply::decode(view(build)).text), std::string("2017") + std::string(6, '\0'));
    build.resize(40, 'z');
    EXPECT_EQ(text(BuildTimeReply::decode(view(build)).text), "2017zzzzzz");

    VersionTagReply v = VersionTagReply::decode(view(Bytes{0x03, 0x15, 0x00}));
    EXPECT_EQ(v.major, 0x03);
    EXPECT_EQ(v.minor, 0x15);
    EXPECT_EQ(VersionTagReply::decode(view(Bytes{0x03})).minor, 0x00);

    DownloadStatusReply d = DownloadStatusReply::decode(view(Bytes{0x00, 0x10, 0x27, 0x00, 0x00}));
    EXPECT_TRUE(d.ready);
    EXPECT_EQ(d.size, 10000u);
    EXPECT_TRUE(d.sizeKnown);
    d = DownloadStatusReply::decode(view(Bytes{0x01, 0x10, 0x27, 0x00, 0x00, 0x99}));
    EXPECT_FALSE(d.ready);
    EXPECT_TRUE(d.sizeKnown);
    // A size cut short is read as far as it came, but it is not known.
    d = DownloadStatusReply::decode(view(Bytes{0x00, 0x10, 0x27}));
    EXPECT_TRUE(d.ready);
    EXPECT_EQ(d.size, 0x2710u);
    EXPECT_FALSE(d.sizeKnown);
    d = DownloadStatusReply::decode(view(Bytes{}));
    EXPECT_FALSE(d.ready);
    EXPECT_FALSE(d.sizeKnown);
}

TEST(Replies, NvmeCardsAndDrives) {
    const Bytes status = {0x6C, 0x00, 0x04, 0x80, 0x05, 0x01, 0x12, 0x34};
    NvmeCardStatusReply s = NvmeCardStatusReply::decode(view(status));
    EXPECT_TRUE(s.locating(2));
    EXPECT_TRUE(s.locating(15));
    EXPECT_FALSE(s.locating(0));
    EXPECT_TRUE(s.presenting(0));
    EXPECT_TRUE(s.presenting(2));
    EXPECT_TRUE(s.presenting(8));
    EXPECT_FALSE(s.presenting(16));
    EXPECT_FALSE(s.presenting(-1));
    EXPECT_EQ(s.cpld, (std::array<BYTE, 2>{0x12, 0x34}));
    // Cut inside the presence bitmap: its high byte (slots 8-15) reads as 00h.
    s = NvmeCardStatusReply::decode(view(Bytes(status.begin(), status.begin() + 5)));
    EXPECT_TRUE(s.presenting(2));
    EXPECT_FALSE(s.presenting(8));
    EXPECT_EQ(s.cpld, (std::array<BYTE, 2>{}));

    // Drive data answers: a leading byte, then the bytes asked for (25, 60 and 12).
    Bytes id(26, 0);
    id[1] = 0x01, id[2] = 0x08, id[3] = 0x02, id[4] = 0x4D, id[5] = 0x14;
    for (size_t i = 0; i < 20; ++i) id[6 + i] = static_cast<BYTE>(i < 8 ? "S3EWNX0M"[i] : ' ');
    NvmeIdentityReply n = NvmeIdentityReply::decode(view(id));
    EXPECT_EQ(n.classCode, (std::array<BYTE, 3>{0x01, 0x08, 0x02}));
    EXPECT_EQ(n.vendorId, 0x144D);
    EXPECT_EQ(text(n.serial), "S3EWNX0M            ");
    id.resize(10);
    EXPECT_EQ(text(NvmeIdentityReply::decode(view(id)).serial), std::string("S3EW") + std::string(16, '\0'));

    Bytes link(61, 'M');
    link[0] = 0;
    link[41] = 3, link[42] = 4, link[43] = 2, link[44] = 2, link[45] = 25, link[48] = 30;
    NvmeLinkReply l = NvmeLinkReply::decode(view(link));
    EXPECT_EQ(text(l.model), std::string(40, 'M'));
    EXPECT_EQ(l.port0Speed, 3);
    EXPECT_EQ(l.port1Width, 2);
    EXPECT_EQ(l.initialPower, 25);
    EXPECT_EQ(l.maxPower, 30);
    link.resize(46);
    EXPECT_EQ(NvmeLinkReply::decode(view(link)).initialPower, 25);
    EXPECT_EQ(NvmeLinkReply::decode(view(link)).maxPower, 0);

    Bytes health(13, 0);
    health[11] = 38;
    EXPECT_EQ(NvmeHealthReply::decode(view(health)).temperature, 38);
    health.resize(11);
    EXPECT_EQ(NvmeHealthReply::decode(view(health)).temperature, 0);
}

TEST(Replies, NodeManagerAnswersAfterTheManufacturerId) {
    EXPECT_EQ(NmHostCpuDataReply::decode(view(Bytes{0x57, 0x01, 0x00, 0x11, 0x22, 0x33, 0x02, 0x44})).socketCount, 2);
    EXPECT_EQ(NmHostCpuDataReply::decode(view(Bytes{0x57, 0x01, 0x00, 0x11})).socketCount, 0);
    NmCpuStateReply s = NmCpuStateReply::decode(view(Bytes{0x57, 0x01, 0x00, 0x0F, 0x07}));
    EXPECT_EQ(s.pState, 0x0F);
    EXPECT_EQ(s.tState, 0x07);
    s = NmCpuStateReply::decode(view(Bytes{0x57, 0x01, 0x00, 0x0F}));
    EXPECT_EQ(s.pState, 0x0F);
    EXPECT_EQ(s.tState, 0x00);
}

}  // namespace
