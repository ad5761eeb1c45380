// Field editing and the image builder: the rebuilt layout byte for byte, the date field,
// refusals before anything is unlocked, a backup -> edit -> restore cycle, and the round
// trip parse -> rebuild -> parse on the demo image and on generated images.
#include <algorithm>
#include <random>

#include "fru_test_support.h"
#include "varkolt/bmc.h"

using frutest::FruTest;
using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::fru::Field;
using testkit::fru::ImageBuilder;
using testkit::fru::MultiRecord;

namespace {

using testkit::Outcome;

template <typename Fn>
Outcome run(Fn fn) {
    return testkit::captureOutcome([&] { return static_cast<int>(fn()); });
}

Bytes sliceOf(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

class FruEdit : public FruTest {
protected:
    frutest::ScopedTimeZone utc_{"UTC0"};

    // The commands of the log, without the probe, as "netFn/cmd" with runs collapsed:
    // {"0A/10", "0A/11 x2", ...}.
    std::vector<std::string> flow() const {
        std::vector<std::string> out;
        std::string last;
        int run = 0;
        auto flush = [&] {
            if (run > 0) out.push_back(run == 1 ? last : last + " x" + std::to_string(run));
        };
        for (const IpmiRequest& r : commandsOnly()) {
            std::string name = r.toString().substr(0, 5);
            if (r.is(0x30, 0x06)) name = r.toString();
            if (name == last) {
                ++run;
                continue;
            }
            flush();
            last = name;
            run = 1;
        }
        flush();
        return out;
    }
};

const std::vector<Field> boardFields = {"ABCD", "Board", "SN-0001", "PN-01", ""};

// ---- the rebuilt layout ------------------------------------------------------------------

TEST_F(FruEdit, SerialOnABoardOnlyImage) {
    useImage(ImageBuilder().board(0x10, boardFields).padTo(256).build());
    Outcome o = run([] { return bmc_SetFRUField("bs", "SN-0002-NEW"); });
    ASSERT_EQ(o.rc, 0) << o.err;
    EXPECT_EQ(o.err, "");
    const Bytes& image = fruDevice().image;
    EXPECT_EQ(sliceOf(image, 0, 8), (Bytes{0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFE}));
    const Bytes expected = ImageBuilder().board(0x10, {"ABCD", "Board", "SN-0002-NEW", "PN-01", ""}).build();
    EXPECT_EQ(sliceOf(image, 0, expected.size()), expected);
    EXPECT_TRUE(testkit::fru::checksumsValid(image));
    EXPECT_EQ(image[9] * 8u, expected.size() - 8);
    EXPECT_EQ(image[expected.size()], 0xFF);  // past the new image nothing was written
    EXPECT_STREQ(boardInfo.boardSerialNumber, "SN-0002-NEW");  // read back at the end

    const size_t writes = (expected.size() + 7) / 8;
    EXPECT_EQ(flow(), (std::vector<std::string>{"0A/10", "0A/11 x16", "30/06 00", "0A/12 x" + std::to_string(writes),
                                                "30/06 01", "0A/10", "0A/11 x16"}));
    const auto w = sent(0x0A, 0x12);
    EXPECT_EQ(w[0].data, (Bytes{0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFE}));
    EXPECT_EQ(w[1].data[1], 0x08);
}

TEST_F(FruEdit, ChassisTypeAddsAChassisArea) {
    // After the internal-use area, before the board area.
    useImage(ImageBuilder().internalUse(Bytes(8, 0x11)).board(0, boardFields).padTo(256).build());
    ASSERT_EQ(run([] { return bmc_SetFRUField("ct", "17"); }).rc, 0);
    const Bytes& image = fruDevice().image;
    EXPECT_EQ(sliceOf(image, 0, 8), (Bytes{0x01, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0xF9}));
    EXPECT_EQ(sliceOf(image, 8, 8), Bytes(8, 0x11));
    EXPECT_EQ(sliceOf(image, 16, 8), (Bytes{0x01, 0x01, 0x17, 0xC0, 0xC0, 0xC1, 0x00, 0xA6}));
    EXPECT_EQ(image[24], 0x01);
    EXPECT_EQ(image[25], 0x05);
    EXPECT_TRUE(testkit::fru::checksumsValid(image));

    // Without an internal-use area the chassis area comes first.
    useImage(ImageBuilder().board(0, boardFields).padTo(256).build());
    ASSERT_EQ(run([] { return bmc_SetFRUField("CT", "0x17"); }).rc, 0);
    EXPECT_EQ(sliceOf(fruDevice().image, 0, 8), (Bytes{0x01, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0xFC}));
    // Leading zeros still make a hexadecimal number that fits the type byte.
    for (const char* type : {"017", "0x0017", " 00017 "}) {
        ASSERT_EQ(run([&] { return bmc_SetFRUField("ct", type); }).rc, 0) << type;
        EXPECT_EQ(fruDevice().image[fruDevice().image[2] * 8 + 2], 0x17) << type;
    }
}

TEST_F(FruEdit, BoardAreaOf51BytesIsPaddedTo56) {
    hasBoard = 1;
    vkt::copyText(board.mfg, "0123456789");
    vkt::copyText(board.prod, "ABCDEFGHIJKL");
    vkt::copyText(board.serial, "SERIAL01");
    vkt::copyText(board.part, "PART00001");
    toFRURaw();
    ASSERT_EQ(fruWriteBufferLength, 8 + 56);
    const Bytes image = frutest::writeBufferImage();
    EXPECT_EQ(image[9], 0x07);
    EXPECT_EQ(image[8 + 50], 0xC1);
    EXPECT_EQ(sliceOf(image, 8 + 51, 4), Bytes(4, 0x00));
    EXPECT_TRUE(testkit::fru::checksumsValid(image));
}

TEST_F(FruEdit, EveryAreaInOrderWithOffsetsAndChecksums) {
    useImage(ImageBuilder()
                 .internalUse(Bytes(16, 0x22))
                 .chassis(0x17, {"CP", "CS"}, Field("cc").encoded)
                 .board(0x123456, boardFields, Field("bb").encoded)
                 .product({"PM", "PN", "PP", "PV", "PS", "PA", "PF"}, Field("pp").encoded)
                 .multiRecords({{0x00, Bytes(24, 0x33)}, {0x01, Bytes(13, 0x44)}})
                 .build());
    const Bytes original = fruDevice().image;
    ASSERT_EQ(bmc_GetFRUField("pn"), 0);
    toFRURaw();
    // Built exactly as the test kit lays images out, the 16-byte internal-use area included.
    EXPECT_EQ(frutest::writeBufferImage(), original);
}

TEST_F(FruEdit, TextsAreCutTo63AndCustomTextIsOneField) {
    useImage(ImageBuilder().board(0, boardFields).product({"M", "N", "", "", "", "", ""}).padTo(1024).build());
    const std::string long70(70, 'L');
    ASSERT_EQ(run([&] { return bmc_SetFRUField("pn", long70.c_str()); }).rc, 0);
    EXPECT_EQ(std::string(productInfo.productName), std::string(63, 'L'));
    ASSERT_EQ(run([] { return bmc_SetFRUField("bv", "Cust"); }).rc, 0);
    EXPECT_EQ(Bytes(board.custom, board.custom + board.custom_len), (Bytes{0xC4, 'C', 'u', 's', 't'}));
    EXPECT_TRUE(testkit::fru::checksumsValid(fruDevice().image));
    const size_t product = fruDevice().image[4] * 8u;
    EXPECT_EQ(fruDevice().image[product + 3], 0xC1);  // "M"
    EXPECT_EQ(fruDevice().image[product + 5], 0xFF);  // 63 characters
}

// ---- the manufacturing date ----------------------------------------------------------------

TEST_F(FruEdit, DateTextToThreeBytes) {
    struct Case {
        const char* tz;
        const char* text;
        uint32_t minutes;
    };
    const uint32_t jan2023 = 0xD8B490;                // 2023-01-01 12:00 counted in UTC
    const uint32_t jul2023 = jan2023 + 181 * 1440;    // 2023-07-01 12:00 counted in UTC
    const Case cases[] = {
        {"UTC0", "202301011200", jan2023},
        {"EST5EDT,M3.2.0,M11.1.0", "202301011200", jan2023},
        {"UTC0", "202307011200", jul2023},
        {"EST5EDT,M3.2.0,M11.1.0", "202307011200", jul2023 - 60},  // one summer hour less
        {"UTC0", "199001011200", 0},                                // before 1996
        {"UTC0", "180001010000", 0},                                // before any 32-bit time
        {"UTC0", "199512312359", 0},
        {"UTC0", "199601010001", 1},
    };
    for (const Case& c : cases) {
        frutest::ScopedTimeZone zone(c.tz);
        struct tm t = {};
        ASSERT_TRUE(strTimeToStructTm(c.text, &t)) << c.text;
        BYTE bytes[3] = {0xAA, 0xAA, 0xAA};
        ASSERT_TRUE(userInputTimeToMfgDateTimeFormat(&t, bytes)) << c.text;
        EXPECT_EQ(bytes[0] | bytes[1] << 8 | bytes[2] << 16, static_cast<int>(c.minutes)) << c.tz << " " << c.text;
        if (c.minutes > 1) {
            // The date text of the stored bytes shows the same local time again.
            char shown[20];
            getMfgDateTime(shown, bytes);
            EXPECT_EQ(std::string(shown).substr(0, 16),
                      std::string(c.text, 4) + "/" + std::string(c.text + 4, 2) + "/" + std::string(c.text + 6, 2) + " " +
                          std::string(c.text + 8, 2) + ":" + std::string(c.text + 10, 2));
        }
    }
}

TEST_F(FruEdit, UnusableDatesAreRefused) {
    struct tm t = {};
    for (const char* bad : {"2023010112", "2023010112000", "20230A011200", "202313011200", "202302291200",
                            "202304311200", "202301012400", "202301011260", "", "２０２３"}) {
        EXPECT_FALSE(strTimeToStructTm(bad, &t)) << bad;
    }
    EXPECT_TRUE(strTimeToStructTm("202402291200", &t));  // a leap day
    // Three bytes of minutes end in November 2027.
    BYTE bytes[3] = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(strTimeToStructTm("202801010000", &t));
    EXPECT_FALSE(userInputTimeToMfgDateTimeFormat(&t, bytes));
    EXPECT_EQ(bytes[0], 0xAA);

    // Through the command: refused before anything is read or written, the date unchanged.
    useImage(ImageBuilder().board(0x0A0B0C, boardFields).padTo(256).build());
    for (const char* bad : {"2023010112", "202313011200", "202801010000", "20230101120a"}) {
        Outcome o = run([&] { return bmc_SetFRUField("bdt", bad); });
        EXPECT_EQ(o.rc, 12) << bad;
        EXPECT_EQ(o.err, std::string("Invalid value ") + bad + " for FRU field bdt.\n");
    }
    EXPECT_TRUE(commandsOnly().empty());
    EXPECT_EQ(sliceOf(fruDevice().image, 11, 3), (Bytes{0x0C, 0x0B, 0x0A}));
    ASSERT_EQ(run([] { return bmc_SetFRUField("bdt", "202301011200"); }).rc, 0);
    EXPECT_EQ(sliceOf(fruDevice().image, 11, 3), (Bytes{0x90, 0xB4, 0xD8}));
    EXPECT_STREQ(boardInfo.boardMfgDateTime, "2023/01/01 12:00:00 (90 B4 D8)");
}

// ---- refusals -----------------------------------------------------------------------------

TEST_F(FruEdit, UnknownCodesAndBadChassisTypesAreRefusedBeforeAnyCommand) {
    useImage(ImageBuilder().board(0, boardFields).padTo(256).build());
    Outcome o = run([] { return bmc_SetFRUField("bx", "value"); });
    EXPECT_EQ(o.rc, 12);
    EXPECT_EQ(o.err, "Unknown FRU field bx.\n");
    o = run([] { return bmc_SetFRUField("ct", "zz"); });
    EXPECT_EQ(o.rc, 12);
    EXPECT_EQ(o.err, "Invalid value zz for FRU field ct.\n");
    for (const char* bad : {"", "1FF", "0x", "17 18"}) EXPECT_EQ(run([&] { return bmc_SetFRUField("ct", bad); }).rc, 12);
    EXPECT_EQ(run([] { return bmc_SetFRUField(nullptr, "x"); }).rc, 12);
    EXPECT_EQ(run([] { return bmc_SetFRUField("bs", nullptr); }).rc, 12);
    EXPECT_TRUE(commandsOnly().empty());
}

TEST_F(FruEdit, ImagesThatWouldNotFitOrLoseDataAreNotWritten) {
    // 40 bytes of area: a product area does not fit after the board area.
    const Bytes small = ImageBuilder().board(0, {"A", "B", "C", "D", ""}).build();
    useImage(small, 40);
    Outcome o = run([] { return bmc_SetFRUField("pn", "A product name"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "The new FRU image (64 bytes) is larger than the FRU area (40 bytes); nothing was written.\n");
    EXPECT_EQ(bmc().count(0x30, 0x06), 0u);

    // A multi-record longer than its record holds would be cut by the rebuild.
    useImage(ImageBuilder().board(0, boardFields).multiRecords({{0xC0, Bytes(100, 0x55)}}).padTo(512).build());
    bmc().clearLog();
    o = run([] { return bmc_SetFRUField("bs", "X"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "The FRU image holds data that cannot be rebuilt; nothing was written.\n");
    EXPECT_EQ(bmc().count(0x30, 0x06), 0u);
}

// The header of an image whose areas were moved by hand: new offsets and checksum.
void setHeader(Bytes& image, std::initializer_list<uint8_t> offsets) {
    std::copy(offsets.begin(), offsets.end(), image.begin() + 1);
    image[7] = testkit::fru::zeroChecksum(image.data(), 7);
}

TEST_F(FruEdit, InternalUseAreaKeepsItsOwnExtent) {
    // An 8-byte area right before a chassis area made by "ct": later edits leave it 8 bytes
    // (the board area two units on does not make it 16).
    useImage(ImageBuilder().internalUse(Bytes(8, 0x11)).board(0, boardFields).padTo(256).build());
    ASSERT_EQ(run([] { return bmc_SetFRUField("ct", "17"); }).rc, 0);
    const Bytes afterType = fruDevice().image;
    ASSERT_EQ(run([] { return bmc_SetFRUField("bs", "SN-0009"); }).rc, 0);
    const Bytes& image = fruDevice().image;
    EXPECT_EQ(sliceOf(image, 0, 24), sliceOf(afterType, 0, 24));
    EXPECT_EQ(sliceOf(image, 8, 8), Bytes(8, 0x11));
    EXPECT_STREQ(boardInfo.boardSerialNumber, "SN-0009");
    EXPECT_TRUE(testkit::fru::checksumsValid(image));

    // As the last area it runs to the image end: more than 8 bytes of data there cannot be
    // rebuilt, wherever the area sits.
    Bytes last = ImageBuilder().board(0, boardFields).build();
    const uint8_t at = static_cast<uint8_t>(last.size() / 8);
    for (int i = 0; i < 24; ++i) last.push_back(static_cast<uint8_t>(0x30 + i));
    setHeader(last, {at, 0x00, 0x01, 0x00, 0x00});
    last.resize(256, 0xFF);
    useImage(last);
    bmc().clearLog();
    Outcome o = run([] { return bmc_SetFRUField("bs", "SN-0010"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "The FRU image holds data that cannot be rebuilt; nothing was written.\n");
    EXPECT_EQ(bmc().count(0x30, 0x06), 0u);
    EXPECT_EQ(fruDevice().image, last);

    // Eight bytes followed by erased storage are the whole area: kept, moved to the front.
    std::fill(last.begin() + at * 8 + 8, last.end(), 0xFF);
    useImage(last);
    ASSERT_EQ(run([] { return bmc_SetFRUField("bs", "SN-0010"); }).rc, 0);
    EXPECT_EQ(sliceOf(fruDevice().image, 0, 3), (Bytes{0x01, 0x01, 0x00}));
    EXPECT_EQ(sliceOf(fruDevice().image, 8, 8), sliceOf(last, at * 8u, 8));
}

TEST_F(FruEdit, EditsThatWouldChangeAnotherFieldAreRefused) {
    // A custom field whose data hold C1h would be cut where the parser stopped.
    const Bytes customWithC1 = Field::raw(0xC3, {'A', 0xC1, 'B'}).encoded;
    const Bytes image =
        ImageBuilder().board(0, boardFields).product({"M", "N", "", "", "", "", ""}, customWithC1).padTo(256).build();
    useImage(image);
    Outcome o = run([] { return bmc_SetFRUField("bm", "Maker"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "The FRU image holds data that cannot be rebuilt; nothing was written.\n");
    EXPECT_EQ(bmc().count(0x30, 0x06), 0u);
    EXPECT_EQ(bmc().count(0x0A, 0x12), 0u);
    EXPECT_EQ(fruDevice().image, image);

    // A BCD-plus serial number holding a 00h byte keeps its bytes when another field is set;
    // naming it replaces it with text.
    const Field bcdSerial = Field::raw(0x45, {0x12, 0x34, 0x00, 0x56, 0x78});
    useImage(ImageBuilder().board(0, {"ABCD", "Board", bcdSerial, "PN-01", ""}).padTo(256).build());
    ASSERT_EQ(run([] { return bmc_SetFRUField("bm", "Maker"); }).rc, 0);
    const Bytes edited = ImageBuilder().board(0, {"Maker", "Board", bcdSerial, "PN-01", ""}).build();
    EXPECT_EQ(sliceOf(fruDevice().image, 0, edited.size()), edited);
    ASSERT_EQ(run([] { return bmc_SetFRUField("bs", "SN-0003"); }).rc, 0);
    EXPECT_STREQ(boardInfo.boardSerialNumber, "SN-0003");
    const Bytes named = ImageBuilder().board(0, {"Maker", "Board", "SN-0003", "PN-01", ""}).build();
    EXPECT_EQ(sliceOf(fruDevice().image, 0, named.size()), named);
}

TEST_F(FruEdit, CustomTextThatWouldNotReadBackIsRefused) {
    useImage(ImageBuilder().board(0, boardFields).padTo(256).build());
    for (const char* bad : {"Z", "A\xC1" "B"}) {
        Outcome o = run([&] { return bmc_SetFRUField("bv", bad); });
        EXPECT_EQ(o.rc, 12) << bad;
        EXPECT_EQ(o.err, std::string("Invalid value ") + bad + " for FRU field bv.\n");
    }
    EXPECT_TRUE(commandsOnly().empty());
    ASSERT_EQ(run([] { return bmc_SetFRUField("bv", "ZZ"); }).rc, 0);
    EXPECT_EQ(Bytes(board.custom, board.custom + board.custom_len), (Bytes{0xC2, 'Z', 'Z'}));
    ASSERT_EQ(run([] { return bmc_SetFRUField("bv", ""); }).rc, 0);
    EXPECT_EQ(Bytes(board.custom, board.custom + board.custom_len), (Bytes{0xC0}));
}

TEST_F(FruEdit, FailuresOfTheWriteSteps) {
    useImage(ImageBuilder().board(0, boardFields).padTo(256).build());
    bmc().failNext(0x0A, 0x10, 0xC1);
    Outcome o = run([] { return bmc_SetFRUField("bs", "X1"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get FRU inventory area, Completion Code=C1h\n");

    bmc().failNext(0x30, 0x06, 0xD4);
    o = run([] { return bmc_SetFRUField("bs", "X1"); });
    EXPECT_EQ(o.err, "Unlock FRU error, Completion Code=D4h\n");
    EXPECT_EQ(o.rc, 11);

    fruDevice().failWriteAt[16] = 0x81;
    bmc().clearLog();
    o = run([] { return bmc_SetFRUField("bs", "X1"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Write FRU error, Completion Code=81h\n");
    EXPECT_EQ(bmc().count(0x0A, 0x12), 3u);
    EXPECT_FALSE(fruDevice().writeProtected);
    fruDevice().failWriteAt.clear();

    bmc().inject([](const IpmiRequest& r) { return r.is(0x30, 0x06) && r.data == Bytes{0x01}; },
                 IpmiResponse::error(0xC0));
    o = run([] { return bmc_SetFRUField("bs", "X1"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Lock FRU error, Completion Code=C0h\n");
}

TEST_F(FruEdit, GetFieldReadsQuietly) {
    useImage(ImageBuilder().board(0, boardFields).build());
    Outcome o = run([] { return bmc_GetFRUField("bs"); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_STREQ(board.serial, "SN-0001");
    bmc().failNext(0x0A, 0x10, 0xC1);
    o = run([] { return bmc_GetFRUField("bs"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err + o.out, "");
}

// ---- whole cycles -------------------------------------------------------------------------

TEST_F(FruEdit, BackupEditRestoreLeavesExactlyTheExpectedImages) {
    auto demo = testkit::makeScenario("demo");
    const Bytes original = demo->fru.image;
    useImage(original, 512);

    ASSERT_EQ(run([] { return bmc_BackupFRU("demo.bin"); }).rc, 0);
    ASSERT_EQ(run([] { return bmc_SetFRUField("pn", "VK1029-TR4-EXTENDED"); }).rc, 0);
    // The edited image: the same areas with the new name (its product area grew by 8 bytes,
    // the multi-record area moved), the erased tail untouched.
    Bytes edited = fruDevice().image;
    ASSERT_EQ(edited.size(), 512u);
    EXPECT_TRUE(testkit::fru::checksumsValid(edited));
    EXPECT_EQ(edited[5], original[5] + 1);
    EXPECT_STREQ(productInfo.productName, "VK1029-TR4-EXTENDED");
    EXPECT_STREQ(productInfo.productSerialNumber, "S412053X9A17721");
    const size_t oldMulti = original[5] * 8u, newMulti = edited[5] * 8u;
    const size_t multiLength = 5 + 24 + 5 + 13;
    EXPECT_EQ(sliceOf(edited, newMulti, multiLength), sliceOf(original, oldMulti, multiLength));
    const size_t productStart = original[4] * 8u;
    EXPECT_EQ(sliceOf(edited, 0, 5), sliceOf(original, 0, 5));
    EXPECT_EQ(sliceOf(edited, 8, productStart - 8), sliceOf(original, 8, productStart - 8)) << "areas before the product";
    // The bytes past the new image are the erased tail.
    EXPECT_EQ(sliceOf(edited, newMulti + multiLength, 512 - newMulti - multiLength),
              Bytes(512 - newMulti - multiLength, 0xFF));

    ASSERT_EQ(run([] { return bmc_RestoreFRU("demo.bin"); }).rc, 0);
    EXPECT_EQ(fruDevice().image, original);
    EXPECT_TRUE(fruDevice().writeProtected);

    // The same through a text listing edited by hand. A longer name, even with its
    // type/length byte in step, no longer fits the product area as listed: refused, nothing
    // unlocked or written.
    ASSERT_EQ(run([] { return bmc_BackupFRUToText("demo.txt"); }).rc, 0);
    const std::string backup = frutest::readText("demo.txt");
    std::string listing = backup;
    const size_t at = listing.find("\tCA\n\t'VK1029-TR4'\n");
    ASSERT_NE(at, std::string::npos);
    listing.replace(at, 19, "\tCB\n\t'VK1029-TR4X'\n");
    frutest::writeFile("demo.txt", listing);
    bmc().clearLog();
    Outcome refused = run([] { return bmc_RestoreFRUFromText("demo.txt"); });
    EXPECT_EQ(refused.rc, 11);
    EXPECT_EQ(refused.err, "The listing demo.txt does not describe a consistent FRU image; nothing was written.\n");
    EXPECT_TRUE(commandsOnly().empty());
    EXPECT_EQ(fruDevice().image, original);
    // A name of the same length keeps the shape; the listing is written as it stands, so the
    // product area's checksum is the old one (the listing cannot tell it from a FRU's own).
    listing = backup;
    listing.replace(at, 19, "\tCA\n\t'VK1029-TR5'\n");
    frutest::writeFile("demo.txt", listing);
    ASSERT_EQ(run([] { return bmc_RestoreFRUFromText("demo.txt"); }).rc, 0);
    EXPECT_FALSE(testkit::fru::checksumsValid(fruDevice().image));
    // With the checksum (the last byte line of the product area) brought in step, it is written.
    const size_t multiSection = listing.find("__Multi\n");
    ASSERT_NE(multiSection, std::string::npos);
    const size_t checksumLine = listing.rfind("\t", multiSection - 2);
    const unsigned checksum = std::stoul(listing.substr(checksumLine + 1, 2), nullptr, 16);
    char fixed[3];
    snprintf(fixed, sizeof fixed, "%02X", (checksum - 1) & 0xFF);
    listing.replace(checksumLine + 1, 2, fixed);
    frutest::writeFile("demo.txt", listing);
    ASSERT_EQ(run([] { return bmc_RestoreFRUFromText("demo.txt"); }).rc, 0);
    Bytes expected = original;
    Bytes needle = {0xCA};
    for (char c : std::string("VK1029-TR4")) needle.push_back(static_cast<uint8_t>(c));
    auto pos = std::search(expected.begin(), expected.end(), needle.begin(), needle.end());
    ASSERT_NE(pos, expected.end());
    pos[10] = '5';
    const size_t productArea = original[4] * 8u;
    --expected[productArea + original[productArea + 1] * 8u - 1];
    EXPECT_EQ(fruDevice().image, expected);
    EXPECT_TRUE(testkit::fru::checksumsValid(fruDevice().image));
}

// Where the areas of an image are: the header byte that gives each one's offset.
enum Slot { internalSlot = 1, chassisSlot, boardSlot, productSlot, multiSlot };

// One area's bytes: as many as its length byte gives for chassis, board and product areas,
// up to the next area for the internal-use area, through the record marked end of list for
// multi-records.
Bytes areaOf(const Bytes& image, int slot) {
    const size_t start = image[slot] * 8u;
    size_t end = image.size();
    if (slot == internalSlot) {
        for (int other = chassisSlot; other <= multiSlot; ++other)
            if (image[other] > image[slot]) end = std::min<size_t>(end, image[other] * 8u);
    } else if (slot == multiSlot) {
        for (end = start;;) {
            const bool last = (image[end + 1] & 0x80) != 0;
            end += 5 + image[end + 2];
            if (last) break;
        }
    } else {
        end = start + image[start + 1] * 8u;
    }
    return sliceOf(image, start, end - start);
}

// A chassis, board or product area taken apart: its fixed bytes, each field as stored
// (type/length byte and bytes), and the custom bytes through the end-of-fields marker.
struct AreaFields {
    Bytes head;
    std::vector<Bytes> fields;
    Bytes custom;
};

AreaFields fieldsOf(const Bytes& area, int slot) {
    AreaFields a;
    size_t p = slot == boardSlot ? 6 : 3;
    a.head = sliceOf(area, 0, p);
    a.head[1] = 0;  // the length byte follows the content
    for (int i = 0, n = slot == chassisSlot ? 2 : slot == boardSlot ? 5 : 7; i < n; ++i) {
        const size_t size = 1 + (area[p] & 0x3F);
        a.fields.push_back(sliceOf(area, p, size));
        p += size;
    }
    const size_t end = static_cast<size_t>(std::find(area.begin() + static_cast<long>(p), area.end(), 0xC1) - area.begin());
    a.custom = sliceOf(area, p, end + 1 - p);
    return a;
}

// The images the simulated server ships, one whose board checksum is wrong and one with
// fields in BCD plus, 6-bit ASCII and binary: setting one field leaves every other byte as it
// was. A value as long as the old one changes that field's bytes and its area's checksum,
// nothing else; a longer one moves what follows, but every other area, and every other field
// of its own, keep their bytes.
TEST_F(FruEdit, AnEditChangesOnlyTheFieldItNames) {
    struct Edit {
        const char* code;
        int slot;
        size_t field;
    };
    const Edit edits[] = {{"cp", chassisSlot, 0}, {"cs", chassisSlot, 1}, {"bm", boardSlot, 0},
                          {"bp", boardSlot, 3},   {"pn", productSlot, 1}, {"ps", productSlot, 4}};
    auto images = frutest::scenarioImages();
    ASSERT_FALSE(images.empty());
    images.emplace_back("wrong checksum", frutest::wrongChecksumImage());
    images.emplace_back("mixed encodings", frutest::mixedEncodingImage());
    for (const auto& named : images) {
        const Bytes& original = named.second;
        for (const Edit& e : edits) {
            if (original[e.slot] == 0) continue;
            const std::string what = named.first + ", " + e.code;
            const Bytes area = areaOf(original, e.slot);
            const AreaFields before = fieldsOf(area, e.slot);
            const size_t oldLength = before.fields[e.field].size() - 1;
            for (const size_t length : {oldLength, oldLength + 9}) {
                const std::string value(length, 'Q');
                const Bytes field = Field(value).encoded;
                useImage(original);
                ASSERT_EQ(run([&] { return bmc_SetFRUField(e.code, value.c_str()); }).rc, 0) << what;
                const Bytes& image = fruDevice().image;
                if (length == oldLength) {
                    Bytes expected = original;
                    size_t at = original[e.slot] * 8u + before.head.size();
                    for (size_t i = 0; i < e.field; ++i) at += before.fields[i].size();
                    std::copy(field.begin(), field.end(), expected.begin() + static_cast<long>(at));
                    const size_t checksum = original[e.slot] * 8u + area.size() - 1;
                    expected[checksum] = testkit::fru::zeroChecksum(&expected[original[e.slot] * 8u], area.size() - 1);
                    EXPECT_EQ(image, expected) << what;
                    continue;
                }
                for (int slot = internalSlot; slot <= multiSlot; ++slot) {
                    if (slot == e.slot || original[slot] == 0) continue;
                    EXPECT_EQ(areaOf(image, slot), areaOf(original, slot)) << what << ", area " << slot;
                }
                const Bytes newArea = areaOf(image, e.slot);
                const AreaFields after = fieldsOf(newArea, e.slot);
                EXPECT_EQ(after.head, before.head) << what;
                EXPECT_EQ(after.custom, before.custom) << what;
                for (size_t i = 0; i < before.fields.size(); ++i)
                    EXPECT_EQ(after.fields[i], i == e.field ? field : before.fields[i]) << what << ", field " << i;
                EXPECT_EQ(testkit::fru::zeroChecksum(newArea.data(), newArea.size()), 0) << what;
            }
        }
    }
}

TEST_F(FruEdit, DmiFieldsRewriteTheImageKeepingTheOtherAreas) {
    auto demo = testkit::makeScenario("demo");
    useImage(demo->fru.image, 512);
    Outcome o = run([] {
        return bmc_DMIToFRU("DMI Maker", "DMI Product", "DMI-PPM", "v2", "DMI-PS", nullptr, "202101020304", "DMI Board Maker",
                            "DMI Board", "DMI-BP", "DMI-BS", "03", "DMI-CP", "DMI-CS");
    });
    ASSERT_EQ(o.rc, 0) << o.err;
    ASSERT_EQ(bmc_GetFRUField(nullptr), 0);
    EXPECT_STREQ(product.mfg, "DMI Maker");
    EXPECT_STREQ(product.asset, "IT-004512");  // a null argument leaves the field
    EXPECT_STREQ(board.prod, "DMI Board");
    EXPECT_STREQ(board.part, "DMI-BP");
    EXPECT_STREQ(board.serial, "DMI-BS");
    EXPECT_EQ(chassis.type, 0x03);
    EXPECT_STREQ(chassis.serial, "DMI-CS");
    EXPECT_EQ(fru_area_multi_len, 2);      // read before it was rebuilt
    EXPECT_EQ(internal.useData[2], 0x4B);  // the internal-use area kept
    EXPECT_STREQ(boardInfo.boardMfgDateTime, "2021/01/02 03:04:00 (D8 AD C8)");
    EXPECT_EQ(run([] {
                  return bmc_DMIToFRU("a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "not hex", "m", "n");
              }).rc,
              12);
}

// ---- parse -> rebuild -> parse ---------------------------------------------------------------

void expectSameRecords(const FruRecordSet& a, const FruRecordSet& b, const std::string& what) {
    EXPECT_EQ(memcmp(&a.internalUse, &b.internalUse, sizeof a.internalUse), 0) << what;
    EXPECT_EQ(memcmp(&a.chassisArea, &b.chassisArea, sizeof a.chassisArea), 0) << what;
    EXPECT_EQ(memcmp(&a.boardArea, &b.boardArea, sizeof a.boardArea), 0) << what;
    EXPECT_EQ(memcmp(&a.productArea, &b.productArea, sizeof a.productArea), 0) << what;
    EXPECT_EQ(memcmp(a.records, b.records, sizeof a.records), 0) << what;
    EXPECT_EQ(a.recordCount, b.recordCount) << what;
    EXPECT_EQ(a.useLength, b.useLength) << what;
    EXPECT_EQ(memcmp(a.present, b.present, sizeof a.present), 0) << what;
}

// parse -> toFRURaw -> parse: the same records, and valid checksums in the rebuilt image.
void expectRoundTrip(const Bytes& image, const std::string& what) {
    static BYTE buffer[fruImageSize];
    memset(buffer, 0, sizeof buffer);
    memcpy(buffer, image.data(), std::min(image.size(), sizeof buffer));
    parseFRUData(buffer, image.size(), 0);
    ASSERT_EQ(fruParseIncomplete, 0) << what;
    const FruRecordSet first = FruRecordSet::take();
    toFRURaw();
    const Bytes rebuilt = frutest::writeBufferImage();
    EXPECT_TRUE(testkit::fru::checksumsValid(rebuilt)) << what;
    parseFRUData(rebuilt.data(), rebuilt.size(), 0);
    EXPECT_EQ(fruParseIncomplete, 0) << what;
    expectSameRecords(first, FruRecordSet::take(), what);
}

std::string randomText(std::mt19937& rng, size_t n) {
    std::uniform_int_distribution<int> ch(0x20, 0x7E);
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>(ch(rng));
    return s;
}

TEST(FruRoundTrip, DemoAndGeneratedImages) {
    frutest::resetFruState();
    expectRoundTrip(testkit::makeScenario("demo")->fru.image, "demo");

    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto fields = [&](int n) {
        std::vector<Field> f;
        for (int i = 0; i < n; ++i) f.emplace_back(randomText(rng, static_cast<size_t>(pick(0, 63))));
        return f;
    };
    // Custom fields of any length but 1, whose type/length byte would end the fields.
    auto custom = [&] {
        Bytes c;
        for (int k = pick(0, 3); k > 0; --k) {
            int n = pick(0, 30);
            if (n == 1) n = 2;
            const Bytes f = Field(randomText(rng, static_cast<size_t>(n))).encoded;
            if (c.size() + f.size() > fruCustomSize) break;
            c.insert(c.end(), f.begin(), f.end());
        }
        return c;
    };
    for (int i = 0; i < 60; ++i) {
        ImageBuilder b;
        const bool present[] = {pick(0, 1) == 1, pick(0, 1) == 1, pick(0, 1) == 1, pick(0, 1) == 1, pick(0, 1) == 1};
        // An internal-use area is taken as 16 bytes only when another area follows it.
        const bool followed = present[1] || present[2] || present[3] || present[4];
        if (present[0]) b.internalUse(Bytes(followed && pick(0, 1) ? 16 : 8, static_cast<uint8_t>(pick(0, 255))));
        if (present[1]) b.chassis(static_cast<uint8_t>(pick(1, 0x24)), fields(2), custom());
        if (present[2]) b.board(static_cast<uint32_t>(pick(0, 0xFFFFFF)), fields(5), custom());
        if (present[3]) b.product(fields(7), custom());
        if (present[4]) {
            std::vector<MultiRecord> records(static_cast<size_t>(pick(1, 6)));
            for (MultiRecord& r : records) {
                r.type = static_cast<uint8_t>(pick(0, 0xFF));
                r.data.resize(static_cast<size_t>(pick(0, 64)));
                for (uint8_t& d : r.data) d = static_cast<uint8_t>(pick(0, 255));
            }
            b.multiRecords(records);
        }
        const Bytes image = b.build();
        const std::string what = "generated image " + std::to_string(i);
        expectRoundTrip(image, what);
        // Laid out the same way, the rebuild gives back the very same bytes.
        EXPECT_EQ(frutest::writeBufferImage(), image) << what;
    }
    frutest::resetFruState();
}

}  // namespace
