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

// ---- the decoded value and the image built from it --------------------------------------------

using frutest::english;
using vkt::FruField;
using vkt::FruImage;
using vkt::FruInfoArea;

FruImage decoded(const Bytes& image, vkt::FruLayout layout = {}) {
    return vkt::decodeFruImage(vkt::ByteView(image.data(), image.size()), layout);
}

Bytes built(const FruImage& value) { return vkt::buildFruImage(value); }

Bytes slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

// Where the end-of-fields marker of an area decoded whole lies.
size_t markerOf(const FruInfoArea& area) {
    const FruField& last = area.fields.back();
    return last.at + 1 + last.length() + area.custom.size();
}

TEST(FruValue, FieldsKeepTheirTypeLengthBytesBytesAndPlaces) {
    const Field bcd = Field::raw(0x44, {0x12, 0x34, 0x00, 0x56});
    const Bytes image = ImageBuilder()
                            .board(0x0A0B0C, {"ABC", bcd, "", "P", ""}, Field("cust").encoded, english)
                            .product({"M", "N", "", "", "", "", ""})
                            .multiRecords({{0x01, {1, 2, 3}}, {0xC0, Bytes(70, 0x5A)}})
                            .build();
    const FruImage v = decoded(image);
    EXPECT_EQ(v.problems, 0u);
    EXPECT_EQ(v.version(), 1);
    const FruInfoArea& b = v.board;
    ASSERT_TRUE(b.present);
    EXPECT_FALSE(v.chassis.present);
    EXPECT_EQ(b.start, 8u);
    EXPECT_EQ(b.language, english);
    EXPECT_EQ(b.mfgDateTime, (std::array<BYTE, 3>{0x0C, 0x0B, 0x0A}));
    ASSERT_EQ(b.fields.size(), 5u);
    const size_t at[] = {14, 18, 23, 24, 26};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(b.fields[i].at, at[i]) << i;
    EXPECT_EQ(b.fields[1].typeLength, 0x44);
    EXPECT_EQ(Bytes(b.fields[1].data().data, b.fields[1].data().data + 4), (Bytes{0x12, 0x34, 0x00, 0x56}));
    EXPECT_TRUE(b.fields[1].whole());
    char text[8];
    EXPECT_EQ(vkt::copyFieldText(text, b.fields[1]), 2u);  // "\x12\x34", up to the 00h
    EXPECT_EQ(b.custom, Field("cust").encoded);
    EXPECT_EQ(markerOf(b), 32u);
    EXPECT_EQ(image[32], 0xC1);
    EXPECT_EQ(b.stored, slice(image, 8, image[9] * 8u));
    // Every record and all of its data, as many bytes as its header gives.
    const auto& records = v.multiRecords.records;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].at, image[5] * 8u);
    EXPECT_EQ(records[0].data, (Bytes{1, 2, 3}));
    EXPECT_EQ(records[1].flag & 0x80, 0x80);
    EXPECT_EQ(records[1].data, Bytes(70, 0x5A));
    EXPECT_EQ(v.multiRecords.end, image.size());
    EXPECT_EQ(built(v), image);
}

// A value made from texts, as an edit makes one: the bytes any FRU writer lays out, and the
// same value read back.
TEST(FruValue, ValueMadeFromTextsBuildsTheCommonLayout) {
    FruImage v;
    v.header[0] = 1;
    v.internalUse.present = true;
    v.internalUse.length = 8;
    v.internalUse.bytes.fill(0x11);
    v.chassis.present = true;
    v.chassis.type = 0x17;
    v.chassis.fields = {FruField::ofText("CP"), FruField::ofText("")};
    v.board.present = true;
    v.board.mfgDateTime = {0x01, 0x02, 0x03};
    for (const char* t : {"Maker", "Board", "SN-1", "Q", ""}) v.board.fields.push_back(FruField::ofText(t));
    v.board.custom = Field("bb").encoded;
    v.product.present = true;
    v.product.language = english;
    const std::string tooLong(70, 'L');  // cut to the 63 a type/length byte can give
    for (const char* t : {"PM", "PN", "", "", "", "", tooLong.c_str()})
        v.product.fields.push_back(FruField::ofText(t));
    v.multiRecords.present = true;
    const Bytes data = {7, 8, 9};
    const Bytes head = {0x00, 0x82, 0x03, testkit::fru::zeroChecksum(data.data(), data.size())};
    v.multiRecords.records.push_back({0, head[0], head[1], head[2], head[3],
                                      testkit::fru::zeroChecksum(head.data(), head.size()), data});

    const Bytes expected = ImageBuilder()
                               .internalUse(Bytes(8, 0x11))
                               .chassis(0x17, {"CP", ""})
                               .board(0x030201, {"Maker", "Board", "SN-1", "Q", ""}, Field("bb").encoded)
                               .product({"PM", "PN", "", "", "", "", std::string(63, 'L')}, {}, english)
                               .multiRecords({{0x00, data}})
                               .build();
    EXPECT_EQ(built(v), expected);
    EXPECT_EQ(slice(expected, 16, 16), (Bytes{0x01, 0x02, 0x17, 0xC2, 'C', 'P', 0xC0, 0xC1, 0, 0, 0, 0, 0, 0, 0, 0x10}));
    const FruImage back = decoded(built(v));
    EXPECT_EQ(back.problems, 0u);
    EXPECT_TRUE(back == v);
}

// Images of the simulated server, one with a wrong checksum, one with fields in BCD plus,
// 6-bit ASCII and binary, and generated ones: built back byte for byte from their value (the
// erased bytes after the last area are not part of it), and that value decoded again.
TEST(FruValue, ImagesReadWholeBuildBackByteForByte) {
    auto images = frutest::scenarioImages();
    images.emplace_back("wrong checksum", frutest::wrongChecksumImage());
    images.emplace_back("mixed encodings", frutest::mixedEncodingImage());
    std::vector<MultiRecord> many(40, MultiRecord{0x01, {1, 2, 3}});
    images.emplace_back("40 records", ImageBuilder().board(0, fiveBoardFields).multiRecords(many).build());
    images.emplace_back("long record and custom bytes",
                        ImageBuilder()
                            .product(sevenProductFields, Bytes(150, 0x20))
                            .multiRecords({{0xC0, Bytes(200, 0x42)}})
                            .build());
    for (const auto& named : images) {
        const Bytes& image = named.second;
        const FruImage v = decoded(image);
        ASSERT_EQ(v.problems, 0u) << named.first;
        const Bytes again = built(v);
        ASSERT_LE(again.size(), image.size()) << named.first;
        EXPECT_EQ(again, slice(image, 0, again.size())) << named.first;
        EXPECT_EQ(Bytes(image.begin() + static_cast<long>(again.size()), image.end()),
                  Bytes(image.size() - again.size(), 0xFF))
            << named.first;
        EXPECT_TRUE(decoded(again) == v) << named.first;
    }
    // The last two hold more than the records do: the records are cut and say so.
    for (size_t i = images.size() - 2; i < images.size(); ++i) {
        const FruRecordSet r = fruRecordsOf(decoded(images[i].second));
        EXPECT_EQ(r.incomplete, 1) << images[i].first;
    }
}

TEST(FruValue, CustomerLayoutReadsTheFirstCustomFieldAsAField) {
    const Bytes image = ImageBuilder().board(0, fiveBoardFields, Field("Customer A").encoded).build();
    const FruImage v = decoded(image, vkt::FruLayout{true});
    ASSERT_EQ(v.board.fields.size(), 6u);
    char customer[16];
    vkt::copyFieldText(customer, v.board.field(vkt::fruBoardCustomer));
    EXPECT_STREQ(customer, "Customer A");
    EXPECT_TRUE(v.board.custom.empty());
    EXPECT_EQ(v.problems, 0u);
    EXPECT_EQ(built(v), image);
    EXPECT_EQ(decoded(image).board.field(vkt::fruBoardCustomer).present, false);  // the common layout
}

TEST(FruValue, ExactShortAndLongImages) {
    const Bytes exact = ImageBuilder().board(0x10, fiveBoardFields).product(sevenProductFields).build();
    const FruImage whole = decoded(exact);
    ASSERT_EQ(whole.problems, 0u);

    Bytes longer = exact;
    longer.resize(exact.size() + 40, 0x5A);
    EXPECT_TRUE(decoded(longer) == whole);

    // Cut inside the product's serial number: that field holds what is there, the ones after
    // it are missing, the board area is as it was.
    const size_t serialAt = whole.product.fields[vkt::fruProductSerial].at;
    const FruImage cut = decoded(slice(exact, 0, serialAt + 3));
    EXPECT_EQ(cut.problems, vkt::fruFieldCut | vkt::fruFieldsUnended);
    const FruField& serial = cut.product.fields[vkt::fruProductSerial];
    EXPECT_TRUE(serial.present);
    EXPECT_EQ(serial.length(), 4u);
    EXPECT_EQ(serial.held, 2);
    EXPECT_EQ(Bytes(serial.bytes.begin(), serial.bytes.begin() + 2), (Bytes{'P', 'S'}));
    EXPECT_FALSE(cut.product.fields[vkt::fruProductAssetTag].present);
    EXPECT_TRUE(cut.product.stored.empty());
    EXPECT_TRUE(cut.board == whole.board);
    EXPECT_FALSE(cut == whole);

    // Every shorter image: read whole exactly when it still holds every field, custom byte and
    // end-of-fields marker (the padding and checksum after the last marker are not content).
    const size_t lastMarker = markerOf(whole.product);
    for (size_t n = 0; n < exact.size(); ++n) {
        const FruImage v = decoded(slice(exact, 0, n));
        EXPECT_EQ(v.problems == 0, n > lastMarker) << n;
        EXPECT_EQ((v.problems & vkt::fruHeaderCut) != 0, n < 8) << n;
    }
}

TEST(FruValue, WhatTheDecodeFindsWrong) {
    Bytes unended = ImageBuilder().board(0, fiveBoardFields).build();
    std::replace(unended.begin() + 8, unended.end(), BYTE{0xC1}, BYTE{0x20});
    const Bytes customWithC1 = Field::raw(0xC3, {'A', 0xC1, 'B'}).encoded;
    Bytes lastInternalUse = ImageBuilder().board(0, fiveBoardFields).build();
    const BYTE at = static_cast<BYTE>(lastInternalUse.size() / 8);
    lastInternalUse.insert(lastInternalUse.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9});
    lastInternalUse[1] = at;
    BYTE chain[fruModuleImageSize] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0xFE};
    Bytes cutRecord = ImageBuilder().multiRecords({{0x01, Bytes(30, 7)}}).build();
    cutRecord.resize(cutRecord.size() - 10);
    struct Case {
        const char* what;
        Bytes image;
        vkt::FruProblems problems;
    };
    const Case cases[] = {
        {"header cut", {0x01, 0x00, 0x01}, vkt::fruHeaderCut},
        {"no end of fields", unended, vkt::fruFieldsUnended},
        {"C1h inside a custom field", ImageBuilder().product(sevenProductFields, customWithC1).build(),
         vkt::fruBytesAfterFields},
        {"internal use of 24 bytes", ImageBuilder().internalUse(Bytes(24, 0x77)).product(sevenProductFields).build(),
         vkt::fruLongInternalUse},
        {"internal use last, data after it", lastInternalUse, vkt::fruLongInternalUse},
        {"chain without an end", Bytes(chain, chain + sizeof chain), vkt::fruRecordsUnended},
        {"record past the end", cutRecord, vkt::fruRecordsUnended},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decoded(c.image).problems, c.problems) << c.what;
        EXPECT_EQ(fruRecordsOf(decoded(c.image)).incomplete, 1) << c.what;
    }
    // The part of a record the image holds is kept.
    const auto& records = decoded(cutRecord).multiRecords.records;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].length, 30);
    EXPECT_EQ(records[0].data, Bytes(20, 7));
}

// The bytes of every process-wide FRU record, as they lie in memory.
template <typename... T>
Bytes rawBytes(const T&... records) {
    Bytes out;
    for (const auto& r : {std::make_pair(reinterpret_cast<const BYTE*>(&records), sizeof records)...})
        out.insert(out.end(), r.first, r.first + r.second);
    return out;
}

Bytes recordBytes() {
    return rawBytes(internal, chassis, board, product, multi, fru_area_multi_len, hasInternal, hasChassis, hasBoard,
                    hasProduct, hasMulti, boardInfo, productInfo, internalUseLength, fruParseIncomplete, storedChassis,
                    storedBoard, storedProduct, fruWriteBuffer, fruWriteBufferLength, fruData, fruDataLength);
}

// Decoding and building read nothing but their arguments and write nothing but their result.
TEST(FruValue, DecodingAndBuildingLeaveTheRecordsAlone) {
    frutest::resetFruState();
    const Bytes demo = testkit::makeScenario("demo")->fru.image;
    parseFRUData(demo.data(), demo.size(), 1);
    fruWriteBufferLength = 3;
    const Bytes before = recordBytes();

    const Bytes other = ImageBuilder().internalUse(Bytes(8, 1)).chassis(0x17, {"C", "S"}).build();
    const FruImage v = decoded(other, vkt::FruLayout{true});
    EXPECT_EQ(built(v), other);
    EXPECT_TRUE(v.has(vkt::FruAreaKind::chassis));

    EXPECT_TRUE(recordBytes() == before);
    frutest::resetFruState();
}

}  // namespace
