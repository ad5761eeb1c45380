// FRU access: the command set chosen by "fru_source_index", Get FRU Inventory Area Info and
// the segment reads, with the BMC answering short, long, failing or oversized areas.
#include <numeric>

#include "fru_test_support.h"

using frutest::FruTest;
using frutest::writeFile;
using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

class FruAccess : public FruTest {
protected:
    // An image whose byte i is i (mod 251), so shifted or stale bytes show.
    static Bytes counting(size_t n) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i % 251 + 1);
        return b;
    }
    BYTE readArea() {
        BYTE cc = getFRUInventoryAreaInfo();
        if (cc != 0) return cc;
        return readFRUbySegment(fruData, &fruDataLength);
    }
    // (offset, count) of every Read FRU Data request of the given command set.
    std::vector<std::pair<int, int>> reads(uint8_t netFn = 0x0A, uint8_t cmd = 0x11) const {
        std::vector<std::pair<int, int>> out;
        for (const IpmiRequest& r : server_->bmc.requests(netFn, cmd)) {
            EXPECT_EQ(r.data.size(), 4u);
            EXPECT_EQ(r.data[0], 0x00);  // FRU device 0
            out.emplace_back(r.data[1] | r.data[2] << 8, r.data[3]);
        }
        return out;
    }
};

// ---- the command set ---------------------------------------------------------------------

TEST_F(FruAccess, SourceIndexChoosesTheCommandSet) {
    useImage(counting(20));
    struct Case {
        const char* content;  // nullptr: no file
        std::vector<std::string> sequence;
    };
    const Case cases[] = {
        {nullptr, {"0A/10", "0A/11", "0A/11"}},
        {"0\n", {"0A/10", "0A/11", "0A/11"}},
        {"1\n", {"30/80", "30/81", "30/81"}},
        {"  1", {"30/80", "30/81", "30/81"}},
        {"\n\n  1\n", {"30/80", "30/81", "30/81"}},  // blank lines before the number
        {"1abc", {"30/80", "30/81", "30/81"}},
        {"\n\n", {"0A/10", "0A/11", "0A/11"}},
        {"garbage", {"0A/10", "0A/11", "0A/11"}},
        {"", {"0A/10", "0A/11", "0A/11"}},
    };
    for (const Case& c : cases) {
        frutest::resetFruState();
        if (c.content != nullptr) {
            writeFile("fru_source_index", c.content);
        } else {
            unlink("fru_source_index");
        }
        bmc().clearLog();
        ASSERT_EQ(readArea(), 0) << (c.content ? c.content : "(absent)");
        std::vector<std::string> seq;
        for (const IpmiRequest& r : commandsOnly()) seq.push_back(r.toString().substr(0, 5));
        EXPECT_EQ(seq, c.sequence) << (c.content ? c.content : "(absent)");
        EXPECT_EQ(frutest::bufferBytes(fruData, 20), counting(20));
    }
}

TEST_F(FruAccess, OtherIndexKeepsTheEarlierChoiceAndStartsWithTheStandardSet) {
    writeFile("fru_source_index", "2");
    loadFRUSourceSetting();
    EXPECT_EQ(fruNetFu, 0x0A);  // not netFn 00h: nothing chosen yet
    EXPECT_EQ(fruGetInventoryCmd, 0x10);
    EXPECT_EQ(fruReadFRUCmd, 0x11);
    EXPECT_EQ(fruWriteFRUCmd, 0x12);

    writeFile("fru_source_index", "1");
    loadFRUSourceSetting();
    writeFile("fru_source_index", "2");
    loadFRUSourceSetting();
    EXPECT_EQ(fruNetFu, 0x30);
    EXPECT_EQ(fruGetInventoryCmd, 0x80);
    EXPECT_EQ(fruReadFRUCmd, 0x81);
    EXPECT_EQ(fruWriteFRUCmd, 0x82);
    writeFile("fru_source_index", "99999999999999999999");  // does not fit an int
    loadFRUSourceSetting();
    EXPECT_EQ(fruNetFu, 0x30);
    writeFile("fru_source_index", "0");
    loadFRUSourceSetting();
    EXPECT_EQ(fruNetFu, 0x0A);
}

TEST_F(FruAccess, TheFileIsReadOnEveryCall) {
    useImage(counting(16));
    ASSERT_EQ(readArea(), 0);
    writeFile("fru_source_index", "1");
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(bmc().count(0x0A, 0x10), 1u);
    EXPECT_EQ(bmc().count(0x30, 0x80), 1u);
    EXPECT_EQ(bmc().count(0x30, 0x81), 1u);
}

// ---- area size and segments --------------------------------------------------------------

TEST_F(FruAccess, AreaInfoRequestAndAnswer) {
    useImage(counting(300));
    EXPECT_EQ(getFRUInventoryAreaInfo(), 0);
    const auto info = sent(0x0A, 0x10);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].data, Bytes{0x00});
    EXPECT_EQ(fruInventoryAreaInfo[0], 0x2C);
    EXPECT_EQ(fruInventoryAreaInfo[1], 0x01);
    EXPECT_EQ(fruInventoryAreaInfo[2], 0x00);

    // A short answer changes only the bytes it carries; a failure changes nothing.
    bmc().inject(testkit::command(0x0A, 0x10), IpmiResponse::ok({0x40}));
    EXPECT_EQ(getFRUInventoryAreaInfo(), 0);
    EXPECT_EQ(fruInventoryAreaInfo[0], 0x40);
    EXPECT_EQ(fruInventoryAreaInfo[1], 0x01);
    bmc().failNext(0x0A, 0x10, 0xCB);
    EXPECT_EQ(getFRUInventoryAreaInfo(), 0xCB);
    EXPECT_EQ(fruInventoryAreaInfo[0], 0x40);
}

TEST_F(FruAccess, TwentyByteAreaIsReadAsSixteenAndFour) {
    useImage(counting(20));
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(fruDataLength, 20);
    EXPECT_EQ(reads(), (std::vector<std::pair<int, int>>{{0, 16}, {16, 4}}));
    EXPECT_EQ(frutest::bufferBytes(fruData, 20), counting(20));
}

TEST_F(FruAccess, WordAccessDoublesTheSizeOnly) {
    useImage(counting(20));
    fruDevice().accessType = 1;  // reports 10 (words)
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(fruInventoryAreaInfo[0], 10);
    EXPECT_EQ(fruDataLength, 20);
    EXPECT_EQ(reads(), (std::vector<std::pair<int, int>>{{0, 16}, {16, 4}}));
}

TEST_F(FruAccess, EmptyAreaSendsNoRead) {
    useImage({}, 0);
    fruDataLength = 77;
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(fruDataLength, 0);
    EXPECT_EQ(bmc().count(0x0A, 0x11), 0u);
}

TEST_F(FruAccess, AreaLargerThanTheBufferIsReadOnlySoFar) {
    useImage(counting(4096), 0xFFFF);
    fruDevice().accessType = 1;  // 65535 words
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(fruDataLength, 4096);
    const auto r = reads();
    ASSERT_EQ(r.size(), 256u);
    EXPECT_EQ(r.back(), std::make_pair(4080, 16));
    EXPECT_EQ(frutest::bufferBytes(fruData, 4096), counting(4096));
}

TEST_F(FruAccess, FailureOnTheThirdSegmentStopsAtOnce) {
    useImage(counting(64));
    fruDevice().failReadAt[32] = 0x81;
    memset(fruData, 0xEE, sizeof fruData);
    EXPECT_EQ(readArea(), 0x81);
    EXPECT_EQ(reads(), (std::vector<std::pair<int, int>>{{0, 16}, {16, 16}, {32, 16}}));
    EXPECT_EQ(frutest::bufferBytes(fruData, 32), counting(32));
    EXPECT_EQ(fruData[32], 0xEE);
}

TEST_F(FruAccess, ShortAnswerIsAskedAgainForTheRest) {
    useImage(counting(40));
    fruDevice().shortReadAt[16] = 5;
    memset(fruData, 0xEE, sizeof fruData);
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(reads(), (std::vector<std::pair<int, int>>{{0, 16}, {16, 16}, {21, 16}, {37, 3}}));
    EXPECT_EQ(frutest::bufferBytes(fruData, 40), counting(40));
}

TEST_F(FruAccess, AnswerWithoutDataLeavesZerosNotOldBytes) {
    useImage(counting(32));
    memset(fruData, 0xEE, sizeof fruData);
    // Count byte 0, and an answer with no data at all (not even the count byte).
    bmc().inject([](const IpmiRequest& r) { return r.is(0x0A, 0x11) && r.data[1] == 0; }, IpmiResponse::ok({0x00}));
    bmc().inject([](const IpmiRequest& r) { return r.is(0x0A, 0x11) && r.data[1] == 16; }, IpmiResponse::ok({}));
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(reads().size(), 2u);
    EXPECT_EQ(frutest::bufferBytes(fruData, 32), Bytes(32, 0x00));
    EXPECT_EQ(fruData[32], 0x00) << "bytes past the area keep no earlier image";
}

TEST_F(FruAccess, OverlongAnswerIsCutToWhatWasAsked) {
    useImage(counting(4096));
    memset(fruData, 0xEE, sizeof fruData);
    // The last segment answers a count of 120 with 120 bytes: nothing may land past the buffer.
    Bytes big = {120};
    for (int i = 0; i < 120; ++i) big.push_back(0x77);
    bmc().inject([](const IpmiRequest& r) { return r.is(0x0A, 0x11) && r.data[1] == 0xF0 && r.data[2] == 0x0F; },
                 IpmiResponse::ok(big));
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(reads().size(), 256u);
    EXPECT_EQ(frutest::bufferBytes(fruData, 4080), counting(4080));
    EXPECT_EQ(frutest::bufferBytes(fruData + 4080, 16), Bytes(16, 0x77));
}

TEST_F(FruAccess, CountByteBeyondTheBytesSentTakesOnlyTheBytesSent) {
    useImage(counting(32));
    memset(fruData, 0xEE, sizeof fruData);
    bmc().inject([](const IpmiRequest& r) { return r.is(0x0A, 0x11) && r.data[1] == 0x00; },
                 IpmiResponse::ok({16, 0xA1, 0xA2}));
    ASSERT_EQ(readArea(), 0);
    EXPECT_EQ(reads(), (std::vector<std::pair<int, int>>{{0, 16}, {2, 16}, {18, 14}}));
    Bytes expected = counting(32);
    expected[0] = 0xA1;
    expected[1] = 0xA2;
    EXPECT_EQ(frutest::bufferBytes(fruData, 32), expected);
}

TEST_F(FruAccess, DeviceOneIsReadWhenTheFlagIsSet) {
    useImage(counting(16));
    fruDevice().image1 = Bytes(16, 0x5A);
    fru1Flag = 1;
    ASSERT_EQ(readArea(), 0);
    const auto r = sent(0x0A, 0x11);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].data, (Bytes{0x01, 0x00, 0x00, 0x10}));
    EXPECT_EQ(sent(0x0A, 0x10)[0].data, Bytes{0x00});  // the area info always asks device 0
    EXPECT_EQ(frutest::bufferBytes(fruData, 16), Bytes(16, 0x5A));
}

TEST_F(FruAccess, LockAndUnlockRequests) {
    EXPECT_EQ(unlockFRU(), 0);
    EXPECT_FALSE(fruDevice().writeProtected);
    EXPECT_EQ(lockFRU(), 0);
    EXPECT_TRUE(fruDevice().writeProtected);
    const auto r = sent(0x30, 0x06);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].data, Bytes{0x00});
    EXPECT_EQ(r[1].data, Bytes{0x01});
    bmc().failNext(0x30, 0x06, 0xD4);
    EXPECT_EQ(lockFRU(), 0xD4);
}

TEST_F(FruAccess, WriteSegmentRequestBytes) {
    useImage(Bytes(64, 0xFF));
    fruDevice().writeProtected = false;
    loadFRUSourceSetting();
    const BYTE data[] = {1, 2, 3};
    EXPECT_EQ(writeFRUbySegment(0x20, 0x00, data, 3), 0);
    EXPECT_EQ(sent(0x0A, 0x12)[0].data, (Bytes{0x00, 0x20, 0x00, 1, 2, 3}));
    EXPECT_EQ(fruDevice().image[0x20], 1);
    fruDevice().writeProtected = true;
    EXPECT_EQ(writeFRUbySegment(0, 0, data, 3), 0x80);
}

// ---- the two replies, decoded from their data ---------------------------------------------

TEST(FruReplies, InventoryInfoTakesThreeBytesAndSaysHowManyCame) {
    using Info = vkt::FruInventoryInfoReply;
    const BYTE exact[] = {0x00, 0x02, 0x01};
    Info i = Info::decode(exact);
    EXPECT_EQ(i.received, 3u);
    EXPECT_EQ(i.bytes, (std::array<BYTE, 3>{0x00, 0x02, 0x01}));
    const BYTE longer[] = {0x34, 0x12, 0x00, 0xEE, 0xFF};
    i = Info::decode(longer);
    EXPECT_EQ(i.received, 3u);
    EXPECT_EQ(i.bytes, (std::array<BYTE, 3>{0x34, 0x12, 0x00}));
    const BYTE shorter[] = {0x80};
    i = Info::decode(shorter);
    EXPECT_EQ(i.received, 1u);
    EXPECT_EQ(i.bytes, (std::array<BYTE, 3>{0x80, 0x00, 0x00}));
    EXPECT_EQ(Info::decode(vkt::ByteView()).received, 0u);
}

TEST(FruReplies, ReadDataIsCutToTheCountAndToWhatWasSent) {
    using Read = vkt::FruReadReply;
    auto bytesOf = [](vkt::ByteView v) { return Bytes(v.data, v.data + v.size()); };
    const BYTE exact[] = {0x03, 0xAA, 0xBB, 0xCC};
    Read r = Read::decode(exact);
    EXPECT_EQ(r.countReturned, 3);
    EXPECT_EQ(bytesOf(r.data), (Bytes{0xAA, 0xBB, 0xCC}));
    const BYTE longer[] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD};
    r = Read::decode(longer);
    EXPECT_EQ(bytesOf(r.data), (Bytes{0xAA, 0xBB}));
    const BYTE shorter[] = {0x10, 0xAA};
    r = Read::decode(shorter);
    EXPECT_EQ(r.countReturned, 0x10);
    EXPECT_EQ(bytesOf(r.data), (Bytes{0xAA}));
    r = Read::decode(vkt::ByteView());
    EXPECT_EQ(r.countReturned, 0);
    EXPECT_TRUE(r.data.empty());
}

}  // namespace
