// The FRU format parser: fields, custom bytes, internal-use and multi-record areas, the
// manufacturing date, the report records, and images that lie about their extent.
#include "fru_test_support.h"

using testkit::Bytes;
using testkit::fru::Field;
using testkit::fru::ImageBuilder;
using testkit::fru::MultiRecord;

namespace {

class FruFormat : public ::testing::Test {
protected:
    void SetUp() override { frutest::resetFruState(); }
    void TearDown() override { frutest::resetFruState(); }

    // Parses `image` as the BMC's image (copied into a 4096-byte buffer, as fruData is).
    static void parse(const Bytes& image, BYTE print = 1) {
        static BYTE buffer[fruImageSize];
        memset(buffer, 0, sizeof buffer);
        memcpy(buffer, image.data(), std::min(image.size(), sizeof buffer));
        parseFRUData(buffer, print);
    }
    static std::string text(const char* field) { return field; }
};

const std::vector<Field> fiveBoardFields = {"ABCD", "Board", "SN1", "PN1", ""};
const std::vector<Field> sevenProductFields = {"PMfg", "PName", "PPart", "PVer", "PSer", "PAsset", ""};

// ---- fields --------------------------------------------------------------------------------

TEST_F(FruFormat, TypeBitsAreIgnoredAndC1IsAOneByteField) {
    // C5h, a binary (00b) type and C1h in fixed field positions.
    const Bytes image = ImageBuilder()
                            .board(0, {Field::raw(0xC5, {'A', 'B', 'C', 'D', 'E'}), Field::raw(0x03, {'x', 'y', 'z'}),
                                       Field::raw(0xC1, {'Q'}), "PN", ""})
                            .build();
    parse(image);
    EXPECT_EQ(text(board.mfg), "ABCDE");
    EXPECT_EQ(board.mfg_len, 5);
    EXPECT_EQ(text(board.prod), "xyz");
    EXPECT_EQ(text(board.serial), "Q");
    EXPECT_EQ(board.serial_len, 1);
    EXPECT_EQ(text(board.part), "PN");
    EXPECT_EQ(text(boardInfo.manufacturerName), "ABCDE");
    EXPECT_EQ(text(boardInfo.boardSerialNumber), "Q");
    EXPECT_EQ(text(boardInfo.boardPartNumber), "PN");
}

TEST_F(FruFormat, NulInsideAFieldEndsTheTextButNotTheField) {
    const Bytes image =
        ImageBuilder().board(0, {Field::raw(0xC6, {'A', 'B', 0x00, 'C', 'D', '!'}), "Next", "S", "P", ""}).build();
    parse(image);
    EXPECT_EQ(text(boardInfo.manufacturerName), "AB");
    EXPECT_EQ(board.mfg_len, 6);
    EXPECT_EQ(text(boardInfo.productName), "Next");
}

TEST_F(FruFormat, BoardAndProductReports) {
    const Bytes image = ImageBuilder()
                            .board(1, fiveBoardFields, Field("custom").encoded)
                            .product(sevenProductFields, Field("pc").encoded)
                            .build();
    {
        frutest::ScopedTimeZone tz("UTC0");
        parse(image);
    }
    EXPECT_EQ(text(boardInfo.boardMfgDateTime), "1996/01/01 00:01:00 (01 00 00)");
    EXPECT_EQ(text(boardInfo.manufacturerName), "ABCD");
    EXPECT_EQ(text(boardInfo.productName), "Board");
    EXPECT_EQ(text(boardInfo.boardSerialNumber), "SN1");
    EXPECT_EQ(text(boardInfo.boardPartNumber), "PN1");
    EXPECT_EQ(text(boardInfo.boardCustomer), "");
    EXPECT_EQ(text(productInfo.productManufacturerName), "PMfg");
    EXPECT_EQ(text(productInfo.productName), "PName");
    EXPECT_EQ(text(productInfo.productPartModelNumber), "PPart");
    EXPECT_EQ(text(productInfo.productVersion), "PVer");
    EXPECT_EQ(text(productInfo.productSerialNumber), "PSer");
    EXPECT_EQ(text(productInfo.productAssetTag), "PAsset");
    EXPECT_EQ(Bytes(board.custom, board.custom + board.custom_len), (Bytes{0xC6, 'c', 'u', 's', 't', 'o', 'm'}));
    EXPECT_EQ(Bytes(product.custom, product.custom + product.custom_len), (Bytes{0xC2, 'p', 'c'}));
    EXPECT_EQ(hasBoard, 1);
    EXPECT_EQ(hasProduct, 1);
    EXPECT_EQ(hasChassis, 0);
    EXPECT_EQ(board.area_ver, 0);  // not taken from the image
    EXPECT_EQ(board.lang, 0);
}

TEST_F(FruFormat, CustomerFieldOfDeviceOne) {
    fru1Flag = 1;
    parse(ImageBuilder().board(0, fiveBoardFields, Field("Customer A").encoded).build());
    EXPECT_EQ(text(boardInfo.boardCustomer), "Customer A");
    EXPECT_EQ(board.custom_len, 10);
}

TEST_F(FruFormat, ChassisArea) {
    parse(ImageBuilder().chassis(0x17, {"CPart", "CSerial"}, Field("x1").encoded).build());
    EXPECT_EQ(hasChassis, 1);
    EXPECT_EQ(chassis.type, 0x17);
    EXPECT_EQ(text(chassis.part), "CPart");
    EXPECT_EQ(text(chassis.serial), "CSerial");
    EXPECT_EQ(chassis.custom_len, 3);
    parse(ImageBuilder().board(0, fiveBoardFields).build());
    EXPECT_EQ(chassis.type, 2);  // no chassis area: type unknown
    EXPECT_EQ(text(chassis.part), "");
}

TEST_F(FruFormat, ProductOnlyImageLeavesTheBoardReport) {
    vkt::copyText(boardInfo.manufacturerName, "Earlier");
    parse(ImageBuilder().product(sevenProductFields).build());
    EXPECT_EQ(hasProduct, 1);
    EXPECT_EQ(hasInternal + hasChassis + hasBoard + hasMulti, 0);
    EXPECT_EQ(text(boardInfo.manufacturerName), "Earlier");
    EXPECT_EQ(text(productInfo.productName), "PName");
}

// ---- the header version ---------------------------------------------------------------

TEST_F(FruFormat, VersionTwoIsParsedOnlyWithoutTheReport) {
    Bytes image = ImageBuilder().board(0, fiveBoardFields).product(sevenProductFields).build();
    image[0] = 2;
    vkt::copyText(boardInfo.manufacturerName, "Earlier");
    vkt::copyText(productInfo.productName, "EarlierP");
    vkt::copyText(board.mfg, "Record");
    parse(image, 1);
    EXPECT_EQ(text(boardInfo.manufacturerName), "Earlier");
    EXPECT_EQ(text(productInfo.productName), "EarlierP");
    EXPECT_EQ(text(board.mfg), "Record");  // nothing changed at all
    EXPECT_EQ(hasBoard, 0);

    parse(image, 0);
    EXPECT_EQ(text(board.mfg), "ABCD");
    EXPECT_EQ(text(product.name), "PName");
    EXPECT_EQ(text(boardInfo.manufacturerName), "Earlier");
}

// ---- the manufacturing date -----------------------------------------------------------

TEST_F(FruFormat, DateTextInTwoTimeZones) {
    for (const char* tz : {"UTC0", "EST5EDT,M3.2.0,M11.1.0"}) {
        frutest::ScopedTimeZone zone(tz);
        parse(ImageBuilder().board(0x000000, fiveBoardFields).build());
        EXPECT_EQ(text(boardInfo.boardMfgDateTime), "1996/01/01 00:00:00 (00 00 00)") << tz;
        parse(ImageBuilder().board(0x000001, fiveBoardFields).build());
        EXPECT_EQ(text(boardInfo.boardMfgDateTime), "1996/01/01 00:01:00 (01 00 00)") << tz;
    }
}

TEST_F(FruFormat, DateAcrossDaylightSavingShowsTheShiftedClock) {
    const uint32_t july1 = 182 * 1440;  // 1996-07-01 00:00 counted without a clock change
    char when[20];
    const BYTE bytes[] = {static_cast<BYTE>(july1 & 0xFF), static_cast<BYTE>(july1 >> 8 & 0xFF),
                          static_cast<BYTE>(july1 >> 16)};
    {
        frutest::ScopedTimeZone zone("UTC0");
        getMfgDateTime(when, bytes);
        EXPECT_STREQ(when, "1996/07/01 00:00:00");
    }
    {
        frutest::ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
        getMfgDateTime(when, bytes);
        EXPECT_STREQ(when, "1996/07/01 01:00:00");
    }
    frutest::ScopedTimeZone zone("UTC0");
    const BYTE last[] = {0xFF, 0xFF, 0xFF};
    getMfgDateTime(when, last);
    EXPECT_STREQ(when, "2027/11/24 20:15:00");
}

// ---- internal use and multi-records ---------------------------------------------------------

TEST_F(FruFormat, InternalUseIsSixteenBytesOnlyWhenTheNextAreaIsTwoUnitsOn) {
    Bytes use16;
    for (int i = 0; i < 16; ++i) use16.push_back(static_cast<uint8_t>(0x10 + i));
    const Bytes image = ImageBuilder().internalUse(use16).chassis(0x17, {"P", "S"}).build();
    ASSERT_EQ(image[1], 1);
    ASSERT_EQ(image[2], 3);
    parse(image);
    EXPECT_EQ(Bytes(internal.useData, internal.useData + 8), Bytes(image.begin() + 8, image.begin() + 16));
    EXPECT_EQ(Bytes(internal.useData2, internal.useData2 + 8), Bytes(image.begin() + 16, image.begin() + 24));
    EXPECT_EQ(internalUseLength, 16);

    EXPECT_EQ(fruParseIncomplete, 0);

    const Bytes image8 = ImageBuilder().internalUse(Bytes(use16.begin(), use16.begin() + 8)).product(sevenProductFields).build();
    parse(image8);
    EXPECT_EQ(Bytes(internal.useData2, internal.useData2 + 8), Bytes(8, 0));
    EXPECT_EQ(internalUseLength, 8);
    EXPECT_EQ(fruParseIncomplete, 0);

    // 24 bytes: the record keeps the first 8, and a rebuild would lose the rest.
    const Bytes image24 = ImageBuilder().internalUse(Bytes(24, 0x77)).product(sevenProductFields).build();
    ASSERT_EQ(image24[4], 4);
    parse(image24);
    EXPECT_EQ(internalUseLength, 8);
    EXPECT_EQ(fruParseIncomplete, 1);
}

TEST_F(FruFormat, MultiRecordsUpToTheEndOfList) {
    Bytes image = ImageBuilder()
                      .board(0, fiveBoardFields)
                      .multiRecords({{0x00, {1, 2, 3}}, {0x01, {4, 5}}, {0xC0, Bytes(64, 0xAB)}})
                      .build();
    // Bytes after the record marked end of list are not a record.
    image.insert(image.end(), {0x02, 0x02, 0x01, 0x00, 0x00, 0x99});
    parse(image);
    EXPECT_EQ(hasMulti, 1);
    ASSERT_EQ(fru_area_multi_len, 3);
    EXPECT_EQ(multi[0].rec_type_id, 0x00);
    EXPECT_EQ(multi[0].rec_len, 3);
    EXPECT_EQ(multi[1].data[1], 5);
    EXPECT_EQ(multi[2].rec_type_id, 0xC0);
    EXPECT_EQ(multi[2].flag & 0x80, 0x80);
    EXPECT_EQ(Bytes(multi[2].data, multi[2].data + 64), Bytes(64, 0xAB));
    EXPECT_EQ(fruParseIncomplete, 0);
}

// ---- state between parses -----------------------------------------------------------------

TEST_F(FruFormat, EveryParseStartsFromEmptyRecords) {
    const Bytes withAll = ImageBuilder()
                              .internalUse(Bytes(8, 0x42))
                              .chassis(0x17, {"P", "S"}, Field("cc").encoded)
                              .board(0x123456, fiveBoardFields, Field("custom").encoded)
                              .product(sevenProductFields, Field("pc").encoded)
                              .multiRecords({{0x01, {1, 2}}})
                              .build();
    for (int i = 0; i < 3; ++i) parse(withAll, 0);
    EXPECT_EQ(board.custom_len, 7);  // not 21
    EXPECT_EQ(chassis.custom_len, 3);

    parse(ImageBuilder().board(0, {"A", "B", "C", "D", ""}).build(), 0);
    EXPECT_EQ(board.custom_len, 0);
    EXPECT_EQ(board.mfg_date_time[0], 0);
    EXPECT_EQ(internal.useData[0], 0);
    EXPECT_EQ(chassis.custom_len, 0);
    EXPECT_EQ(product.custom_len, 0);
    EXPECT_EQ(fru_area_multi_len, 0);
    EXPECT_EQ(multi[0].rec_len, 0);
}

// ---- images that lie about their extent -----------------------------------------------------

TEST_F(FruFormat, AreaOffsetsPastTheModuleImageReadNothingOutside) {
    // A module image of 256 bytes whose header points far beyond it.
    BYTE module[fruModuleImageSize];
    memset(module, 0xC5, sizeof module);
    const BYTE header[] = {0x01, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF, 0x00, 0x00};
    memcpy(module, header, sizeof header);
    parseFRUData(module, 0);
    EXPECT_EQ(hasInternal + hasChassis + hasBoard + hasProduct + hasMulti, 5);
    EXPECT_EQ(text(product.name), "");
    EXPECT_EQ(fru_area_multi_len, 0);
    EXPECT_EQ(fruParseIncomplete, 1);
}

TEST_F(FruFormat, FieldsRunningPastTheImageEndStopThere) {
    // A product area at A0h of a module image, its later fields claiming 63 bytes each.
    BYTE module[fruModuleImageSize];
    memset(module, 0xFF, sizeof module);
    const BYTE header[] = {0x01, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0xEA};
    memcpy(module, header, sizeof header);
    const BYTE fields[] = {0xC3, 'a', 'b', 'c'};
    memcpy(module + 0xA3, fields, sizeof fields);
    parseFRUData(module, 0);
    EXPECT_EQ(text(product.mfg), "abc");
    EXPECT_EQ(product.name_len, 63);
    EXPECT_EQ(strlen(product.name), 63u);
    EXPECT_EQ(product.part_len, 63);
    EXPECT_EQ(strlen(product.part), 24u);  // the bytes left before the end
    EXPECT_EQ(text(product.version), "");
    EXPECT_EQ(fruParseIncomplete, 1);
}

TEST_F(FruFormat, CustomRunIsCutAtTheRecord) {
    // No end-of-fields marker: the run would cover the rest of the image.
    Bytes image = ImageBuilder().board(0, fiveBoardFields).build();
    image.resize(600, 0x20);
    for (size_t i = 8; i < image.size(); ++i)
        if (image[i] == 0xC1) image[i] = 0x20;
    parse(image, 0);
    EXPECT_EQ(board.custom_len, 128);
    EXPECT_EQ(text(board.part), "PN1");
    EXPECT_EQ(fruParseIncomplete, 1);
}

TEST_F(FruFormat, LongRecordsAreCutButTheChainFollowsTheirLength) {
    Bytes data100(100);
    for (size_t i = 0; i < data100.size(); ++i) data100[i] = static_cast<uint8_t>(i);
    parse(ImageBuilder().multiRecords({{0xC0, data100}, {0x01, {7, 8, 9}}}).build(), 0);
    ASSERT_EQ(fru_area_multi_len, 2);
    EXPECT_EQ(multi[0].rec_len, 100);
    EXPECT_EQ(multi[0].data[63], 63);
    EXPECT_EQ(multi[1].rec_type_id, 0x01);
    EXPECT_EQ(multi[1].data[2], 9);
    EXPECT_EQ(fruParseIncomplete, 1);
}

TEST_F(FruFormat, ChainsStopAfterThirtyTwoRecordsOrAtTheImageEnd) {
    std::vector<MultiRecord> many(40, MultiRecord{0x01, {1, 2, 3}});
    parse(ImageBuilder().multiRecords(many).build(), 0);
    EXPECT_EQ(fru_area_multi_len, 32);
    EXPECT_EQ(fruParseIncomplete, 1);

    // A chain that never sets the end flag, filling a module image to its last byte.
    BYTE module[fruModuleImageSize];
    memset(module, 0x00, sizeof module);  // records of type 0, flag 0, length 0
    const BYTE header[] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0xFE};
    memcpy(module, header, sizeof header);
    parseFRUData(module, 0);
    EXPECT_EQ(fru_area_multi_len, 32);
    EXPECT_EQ(fruParseIncomplete, 1);

    module[5] = 0x1F;  // 248: room for one record only
    module[7] = 0xE0;
    parseFRUData(module, 0);
    EXPECT_EQ(fru_area_multi_len, 1);
}

TEST_F(FruFormat, ImagesShorterThanAHeader) {
    const BYTE tiny[] = {0x01, 0x01, 0x01};
    parseFRUData(tiny, sizeof tiny, 1);
    EXPECT_EQ(hasInternal, 0);
    parseFRUData(tiny, 0, 0);
    EXPECT_EQ(hasInternal, 0);
}

}  // namespace
