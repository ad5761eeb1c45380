// Backup and restore of the FRU image, as a binary file and as a text listing: files,
// request sequences, messages and results, and the listing's round trip for awkward fields.
#include <sys/stat.h>

#include "fru_test_support.h"
#include "progress_recorder.h"
#include "varkolt/bmc.h"

using frutest::FruTest;
using frutest::readBytes;
using frutest::readText;
using frutest::writeFile;
using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::fru::Field;
using testkit::fru::ImageBuilder;

namespace {

using testkit::Outcome;

template <typename Fn>
Outcome run(Fn fn) {
    return testkit::captureOutcome([&] { return static_cast<int>(fn()); });
}

Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

class FruBackup : public FruTest {
protected:
    // (offset, data length) of every Write FRU Data request of a command set.
    std::vector<std::pair<int, size_t>> writes(uint8_t netFn = 0x0A, uint8_t cmd = 0x12) const {
        std::vector<std::pair<int, size_t>> out;
        for (const IpmiRequest& r : server_->bmc.requests(netFn, cmd))
            out.emplace_back(r.data[1] | r.data[2] << 8, r.data.size() - 3);
        return out;
    }
    std::vector<std::string> protectRequests() const {
        std::vector<std::string> out;
        for (const IpmiRequest& r : server_->bmc.requests(0x30, 0x06)) out.push_back(r.toString());
        return out;
    }
};

// ---- binary backup -----------------------------------------------------------------------

TEST_F(FruBackup, BinaryBackupWritesTheWholeArea) {
    const Bytes image = ImageBuilder().board(5, {"ABCD", "B", "S", "P", ""}).padTo(512).build();
    useImage(image);
    Outcome o = run([] { return bmc_BackupFRU("fru.bin"); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Backup FRU successfully.");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(readBytes("fru.bin"), image);
    EXPECT_EQ(bmc().count(0x0A, 0x11), 32u);
}

TEST_F(FruBackup, BinaryBackupFailures) {
    useImage(pattern(64, 1));
    bmc().failNext(0x0A, 0x10, 0xC1);
    Outcome o = run([] { return bmc_BackupFRU("a.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get FRU inventory area, Completion Code=C1h\n");
    EXPECT_FALSE(frutest::fileExists("a.bin"));

    fruDevice().failReadAt[16] = 0x81;
    o = run([] { return bmc_BackupFRU("a.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get FRU data, Completion Code=81h\n");
    EXPECT_FALSE(frutest::fileExists("a.bin"));
    fruDevice().failReadAt.clear();

    o = run([] { return bmc_BackupFRU("no/such/dir/a.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "new no/such/dir/a.bin file error\n");
    EXPECT_EQ(o.out, "");

    // A device that takes no data: the failure shows when the file is written out.
    if (frutest::fileExists("/dev/full")) {
        o = run([] { return bmc_BackupFRU("/dev/full"); });
        EXPECT_EQ(o.rc, 11);
        EXPECT_EQ(o.err, "new /dev/full file error\n");
        EXPECT_EQ(o.out, "");
    }
}

// ---- binary restore ----------------------------------------------------------------------

TEST_F(FruBackup, RestoreWrites512BytesAs32Segments) {
    const Bytes file = pattern(512, 3);
    writeFile("fru.bin", file);
    useImage(Bytes(512, 0xFF));
    Outcome o = run([] { return bmc_RestoreFRU("fru.bin"); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Restore FRU successfully.");
    EXPECT_EQ(o.err, "");
    std::vector<std::pair<int, size_t>> expected;
    for (int off = 0; off < 512; off += 16) expected.emplace_back(off, 16);
    EXPECT_EQ(writes(), expected);
    EXPECT_EQ(fruDevice().image, file);
    EXPECT_TRUE(fruDevice().writeProtected);
    EXPECT_EQ(protectRequests(), (std::vector<std::string>{"30/06 00", "30/06 01"}));
    // The area size is asked for first, then the FRU is unlocked; it is locked last.
    const auto cmds = commandsOnly();
    ASSERT_GE(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].toString(), "0A/10 00");
    EXPECT_EQ(cmds[1].toString(), "30/06 00");
    EXPECT_EQ(cmds.back().toString(), "30/06 01");
    EXPECT_EQ(sent(0x0A, 0x12)[1].data[0], 0x00);  // FRU device 0
}

TEST_F(FruBackup, RestoreUsesTheOemSetWhenChosen) {
    writeFile("fru_source_index", "1");
    writeFile("fru.bin", pattern(32, 9));
    useImage(Bytes(32, 0xFF));
    EXPECT_EQ(run([] { return bmc_RestoreFRU("fru.bin"); }).rc, 0);
    EXPECT_EQ(writes(0x30, 0x82).size(), 2u);
    EXPECT_EQ(bmc().count(0x0A, 0x12), 0u);
    EXPECT_EQ(fruDevice().image, pattern(32, 9));
}

TEST_F(FruBackup, LastSegmentCarriesOnlyTheRemainingBytes) {
    writeFile("fru.bin", pattern(20, 4));
    useImage(Bytes(20, 0xFF));  // an area of exactly 20 bytes: a 16-byte tail would be refused
    EXPECT_EQ(run([] { return bmc_RestoreFRU("fru.bin"); }).rc, 0);
    EXPECT_EQ(writes(), (std::vector<std::pair<int, size_t>>{{0, 16}, {16, 4}}));
    EXPECT_EQ(fruDevice().image, pattern(20, 4));
}

TEST_F(FruBackup, MissingFileLeavesTheFruUnlocked) {
    Outcome o = run([] { return bmc_RestoreFRU("missing.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Load missing.bin file error.\n");
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(fruDevice().writeProtected);
    EXPECT_EQ(protectRequests(), std::vector<std::string>{"30/06 00"});
    EXPECT_EQ(bmc().count(0x0A, 0x12), 0u);
}

TEST_F(FruBackup, FailedLockAfterAFullRestore) {
    writeFile("fru.bin", pattern(48, 5));
    useImage(Bytes(48, 0xFF));
    bmc().inject([](const IpmiRequest& r) { return r.is(0x30, 0x06) && r.data == Bytes{0x01}; },
                 IpmiResponse::error(0xC0));
    Outcome o = run([] { return bmc_RestoreFRU("fru.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.out, "Restore FRU successfully.");
    EXPECT_EQ(o.err, "Lock FRU error, Completion Code=C0h\n");
    EXPECT_EQ(fruDevice().image, pattern(48, 5));
}

TEST_F(FruBackup, UnlockAndWriteFailures) {
    writeFile("fru.bin", pattern(64, 6));
    useImage(Bytes(64, 0xFF));
    bmc().failNext(0x30, 0x06, 0xD4);
    Outcome o = run([] { return bmc_RestoreFRU("fru.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Unlock FRU error, Completion Code=D4h\n");
    EXPECT_EQ(bmc().count(0x0A, 0x12), 0u);

    fruDevice().failWriteAt[32] = 0x81;
    o = run([] { return bmc_RestoreFRU("fru.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Write FRU error, Completion Code=81h\n");
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(writes(), (std::vector<std::pair<int, size_t>>{{0, 16}, {16, 16}, {32, 16}}));
    EXPECT_FALSE(fruDevice().writeProtected);  // left unlocked, as after any failed write
}

// A caller that asked for progress hears of every segment read and written, in bytes of
// the whole; a write the FRU refuses is the end of what is reported.
TEST_F(FruBackup, ProgressCountsTheBytesOfEachSegment) {
    writeFile("fru.bin", pattern(40, 7));
    useImage(Bytes(40, 0xFF));
    ProgressRecorder progress;
    ASSERT_EQ(run([] { return bmc_BackupFRU("copy.bin"); }).rc, 0);
    EXPECT_EQ(progress.all(), (std::vector<std::string>{"3:16/40", "3:32/40", "3:40/40"}));

    progress.clear();
    ASSERT_EQ(run([] { return bmc_RestoreFRU("fru.bin"); }).rc, 0);
    EXPECT_EQ(progress.all(), (std::vector<std::string>{"4:16/40", "4:32/40", "4:40/40"}));

    progress.clear();
    fruDevice().failWriteAt[16] = 0x81;
    EXPECT_EQ(run([] { return bmc_RestoreFRU("fru.bin"); }).rc, 11);
    EXPECT_EQ(progress.all(), (std::vector<std::string>{"4:16/40"}));
}

TEST_F(FruBackup, FilesThatCannotBeWrittenWholeAreRefusedBeforeAnyWrite) {
    useImage(Bytes(512, 0xFF));
    for (size_t size : {size_t{8193}, size_t{0}}) {
        writeFile("fru.bin", pattern(size, 7));
        bmc().clearLog();
        Outcome o = run([] { return bmc_RestoreFRU("fru.bin"); });
        EXPECT_EQ(o.rc, 11) << size;
        EXPECT_EQ(o.err, "Reading errorReading error.\n") << size;
        EXPECT_TRUE(bmc().log().empty()) << size;  // not even unlocked
    }
    // The largest file the write buffer holds is still taken.
    writeFile("big.bin", pattern(8192, 7));
    fruDevice().areaSize = 8192;
    fruDevice().writeProtected = true;
    EXPECT_EQ(writeFRUfromFile("big.bin"), 0x80);  // read whole; the BMC then refuses (locked)
    EXPECT_EQ(fruWriteBufferLength, 8192);
}

TEST_F(FruBackup, FileLargerThanTheAreaIsRefusedBeforeTheUnlock) {
    const Bytes erased(256, 0xFF);
    useImage(erased);
    writeFile("fru.bin", pattern(272, 8));
    Outcome o = run([] { return bmc_RestoreFRU("fru.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "The file fru.bin (272 bytes) is larger than the FRU area (256 bytes); nothing was written.\n");
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(commandTexts(), std::vector<std::string>{"0A/10 00"});
    EXPECT_EQ(fruDevice().image, erased);
    EXPECT_TRUE(fruDevice().writeProtected);

    // The same for a listing; the area size is not known: nothing is unlocked either.
    writeFile("fru.txt", "__Common\n\t01\n\t00\n\t00\n\t00\n\t00\n\t00\n\t00\n\tFF\n");
    useImage(erased, 4);
    o = run([] { return bmc_RestoreFRUFromText("fru.txt"); });
    EXPECT_EQ(o.err, "The file fru.txt (8 bytes) is larger than the FRU area (4 bytes); nothing was written.\n");
    bmc().failNext(0x0A, 0x10, 0xC1);
    o = run([] { return bmc_RestoreFRU("fru.bin"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get FRU inventory area, Completion Code=C1h\n");
    EXPECT_EQ(fruDevice().unlockRequests, 0);

    // A shorter file is written as before; an area given in words counts twice.
    useImage(erased);
    fruDevice().accessType = 1;
    writeFile("fru.bin", pattern(256, 8));
    EXPECT_EQ(run([] { return bmc_RestoreFRU("fru.bin"); }).rc, 0);
    EXPECT_EQ(fruDevice().image, pattern(256, 8));
    writeFile("fru.bin", pattern(100, 9));
    EXPECT_EQ(run([] { return bmc_RestoreFRU("fru.bin"); }).rc, 0);
    Bytes expected = pattern(100, 9);
    expected.insert(expected.end(), fruDevice().image.begin() + 100, fruDevice().image.end());
    EXPECT_EQ(fruDevice().image, expected);
}

// ---- the text listing ----------------------------------------------------------------------

const char* const abcdListing =
    "__Common\n\t01\n\t00\n\t00\n\t01\n\t00\n\t00\n\t00\n\tFE\n"
    "__Board\n\t01\n\t03\n\t00\n\t00\n\t00\n\t00\n"
    "\tC4\n\t'ABCD'\n\tC0\n\tC0\n\tC0\n\tC0\n"
    "\tC1\n\t00\n\t00\n\t00\n\t00\n\t00\n\t00\n\t00\n\t6D\n";

TEST_F(FruBackup, InconsistentListingsAreRefusedBeforeTheUnlock) {
    const std::string good = abcdListing;
    auto edited = [&good](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const std::string refusal = "The listing fru.txt does not describe a consistent FRU image; nothing was written.\n";
    const Bytes erased(64, 0xFF);
    auto expectRefused = [&](const std::string& listing, bool beforeAnyCommand) {
        useImage(erased);
        writeFile("fru.txt", listing);
        bmc().clearLog();
        Outcome o = run([] { return bmc_RestoreFRUFromText("fru.txt"); });
        EXPECT_EQ(o.rc, 11) << listing;
        EXPECT_EQ(o.err, refusal) << listing;
        EXPECT_EQ(o.out, "");
        if (beforeAnyCommand) {
            EXPECT_TRUE(commandsOnly().empty()) << listing;
        }
        EXPECT_EQ(fruDevice().unlockRequests, 0) << listing;
        EXPECT_EQ(fruDevice().image, erased) << listing;
    };

    // What the listing itself gives away.
    const std::string handEdits[] = {
        edited("\t'ABCD'", "\t'ABCDE'"),                // a text longer than its type/length byte
        edited("\tC4\n\t'ABCD'", "\tC4\n\t'ABC'"),      // shorter
        edited("\tC4\n", ""),                           // a text without its type/length byte
        edited("\tC4\n\t'ABCD'", "\tC5\n\t'ABCDE'"),    // a longer field in an area that did not grow
        edited("\tC0\n\tC1\n", "\tC0\n\tC0\n\tC1\n"),  // a byte line added inside the area
        good + "\t00\n",                                // a byte after the last area
        edited("\t01\n\t00\n\t00\n\t00\n\tFE\n", "\t01\n\t00\n\t05\n\t00\n\tF9\n"),  // multi-records, no section
        edited("__Board\n", ""),                        // no section line where the board area begins
        edited("__Board\n", "__Product\n"),             // the section of another area
        edited("__Common\n\t01", "__Common\n\t02"),     // a format version the backup does not list
    };
    for (const std::string& listing : handEdits) expectRefused(listing, true);

    // A listing that stops inside its last area (a length byte raised, lines lost at the end)
    // is the backup of a FRU that ends there; this one holds 64 bytes.
    const std::string stopsShort[] = {
        edited("__Board\n\t01\n\t03", "__Board\n\t01\n\t04"),
        good.substr(0, good.size() - 8),
    };
    for (const std::string& listing : stopsShort) expectRefused(listing, false);
    EXPECT_EQ(commandTexts(), std::vector<std::string>{"0A/10 00"});
    // On a FRU of 32 bytes the first one is what a backup lists.
    useImage(Bytes(32, 0xFF));
    writeFile("fru.txt", stopsShort[0]);
    EXPECT_EQ(run([] { return bmc_RestoreFRUFromText("fru.txt"); }).rc, 0);
    EXPECT_EQ(fruDevice().image[9], 0x04);
}

// The backup writes a listing of whatever the FRU holds; checksums that do not add up are
// part of it, and a checksum byte changed by hand cannot be told from one the FRU held.
TEST_F(FruBackup, ListingsWithWrongChecksumsAreWrittenAsListed) {
    const std::string good = abcdListing;
    std::vector<std::string> listings;
    for (const auto& change : {std::make_pair("\t6D\n", "\t6C\n"), std::make_pair("\tFE\n", "\tFD\n")}) {
        std::string s = good;
        s.replace(s.find(change.first), 4, change.second);
        listings.push_back(s);
    }
    // A multi-record whose data no longer match their checksum.
    useImage(ImageBuilder().board(0, {"A", "B", "C", "D", ""}).multiRecords({{0x00, pattern(8, 1)}}).build());
    ASSERT_EQ(run([] { return bmc_BackupFRUToText("fru.txt"); }).rc, 0);
    std::string multi = readText("fru.txt");
    multi.replace(multi.size() - 3, 2, "EE");
    listings.push_back(multi);

    for (const std::string& listing : listings) {
        useImage(Bytes(256, 0xFF));
        writeFile("fru.txt", listing);
        Outcome o = run([] { return bmc_RestoreFRUFromText("fru.txt"); });
        ASSERT_EQ(o.rc, 0) << o.err << listing;
        // Listed again, the FRU gives back the very same listing.
        ASSERT_EQ(run([] { return bmc_BackupFRUToText("again.txt"); }).rc, 0);
        EXPECT_EQ(readText("again.txt"), listing);
    }
}

TEST_F(FruBackup, ListingOfABoardOnlyImageAndItsRestore) {
    const Bytes image = ImageBuilder().board(0, {"ABCD", "", "", "", ""}).build();
    ASSERT_EQ(image.size(), 32u);
    useImage(image);
    Outcome o = run([] { return bmc_BackupFRUToText("fru.txt"); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Backup FRU successfully.");
    EXPECT_EQ(readText("fru.txt"), abcdListing);

    useImage(Bytes(64, 0xFF));
    bmc().clearLog();
    o = run([] { return bmc_RestoreFRUFromText("fru.txt"); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Restore FRU successfully.");
    EXPECT_EQ(writes(), (std::vector<std::pair<int, size_t>>{{0, 8}, {8, 8}, {16, 8}, {24, 8}}));
    Bytes expected = image;
    expected.resize(64, 0xFF);
    EXPECT_EQ(fruDevice().image, expected);
    EXPECT_EQ(protectRequests(), (std::vector<std::string>{"30/06 00", "30/06 01"}));
}

TEST_F(FruBackup, ListingShowsTheFieldsOfAnAreaWhoseLengthByteIsTooSmall) {
    Bytes image = ImageBuilder().board(0, {"ABCD", "", "", "", ""}).build();
    image[9] = 0;  // the board area claims no length at all
    useImage(image);
    ASSERT_EQ(run([] { return bmc_BackupFRUToText("fru.txt"); }).rc, 0);
    EXPECT_EQ(readText("fru.txt"),
              "__Common\n\t01\n\t00\n\t00\n\t01\n\t00\n\t00\n\t00\n\tFE\n"
              "__Board\n\t01\n\t00\n\t00\n\t00\n\t00\n\t00\n"
              "\tC4\n\t'ABCD'\n\tC0\n\tC0\n\tC0\n\tC0\n");

    image[9] = 1;  // 8 bytes: the fields still follow whole, then nothing more
    useImage(image);
    ASSERT_EQ(run([] { return bmc_BackupFRUToText("fru.txt"); }).rc, 0);
    EXPECT_NE(readText("fru.txt").find("\tC4\n\t'ABCD'\n\tC0\n\tC0\n\tC0\n\tC0\n"), std::string::npos);
}

// Backs the device's image up as a listing, restores it onto an erased device of the same
// size and returns what the device holds then.
class FruListingRoundTrip : public FruBackup {
protected:
    Bytes roundTrip(const Bytes& image, bool crlf = false) {
        useImage(image);
        Outcome o = run([] { return bmc_BackupFRUToText("fru.txt"); });
        EXPECT_EQ(o.rc, 0) << o.err;
        if (crlf) {
            std::string text = readText("fru.txt"), converted;
            for (char c : text) converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
            writeFile("fru.txt", converted);
        }
        useImage(Bytes(image.size(), 0xFF));
        o = run([] { return bmc_RestoreFRUFromText("fru.txt"); });
        EXPECT_EQ(o.rc, 0) << o.err;
        return fruDevice().image;
    }
};

TEST_F(FruListingRoundTrip, FieldsThatDoNotFitOneTextLine) {
    const std::string s60(60, 'x'), s63 = std::string(62, 'y') + "z";
    const Bytes image =
        ImageBuilder()
            .internalUse(pattern(8, 0x30))
            .chassis(0x17, {s60, "C__hassis"}, Field("x'y'").encoded)
            .board(0x123456,
                   {Field::raw(0xC4, {'A', 0x00, 'B', 'C'}), Field::raw(0xC3, {'L', '\n', 'F'}),
                    Field::raw(0xC3, {'C', '\r', 'R'}), s63, Field::raw(0xC2, {0x00, 0x00})},
                   Field("__Custom__").encoded)
            .product({std::string(61, 'p'), std::string(62, 'q'), "'quoted'", "__", "\t tab", "'", ""})
            .multiRecords({{0x00, pattern(24, 0x0A)}, {0x01, {0x0D, 0x0A, 0x00}}})
            .build();
    EXPECT_EQ(roundTrip(image), image);
    EXPECT_EQ(roundTrip(image, true), image);
    const std::string listing = readText("fru.txt");
    EXPECT_NE(listing.find("\t'" + s60 + "'\r\n"), std::string::npos);
    EXPECT_NE(listing.find("\t'C__hassis'"), std::string::npos);
    // A field holding 00h, or a line end, goes as bytes.
    EXPECT_NE(listing.find("\tC4\r\n\t41\r\n\t00\r\n\t42\r\n\t43\r\n"), std::string::npos);
    EXPECT_NE(listing.find("\tC3\r\n\t4C\r\n\t0A\r\n\t46\r\n"), std::string::npos);
}

TEST_F(FruListingRoundTrip, AreasOutOfOrderOrWithGaps) {
    // The product area first, a gap of 8 bytes, then the board area.
    const Bytes product = testkit::fru::productInfoArea({"M", "N", "P", "V", "S", "A", ""});
    const Bytes boardArea = testkit::fru::boardInfoArea(7, {"ABCD", "B", "S", "P", ""});
    ASSERT_EQ(product.size() % 8, 0u);
    const uint8_t productOffset = 1;
    const uint8_t boardOffset = static_cast<uint8_t>(1 + product.size() / 8 + 1);
    Bytes image = {0x01, 0x00, 0x00, boardOffset, productOffset, 0x00, 0x00, 0x00};
    image[7] = testkit::fru::zeroChecksum(image.data(), 7);
    image.insert(image.end(), product.begin(), product.end());
    image.insert(image.end(), 8, 0xEE);
    image.insert(image.end(), boardArea.begin(), boardArea.end());
    EXPECT_EQ(roundTrip(image), image);
    const std::string listing = readText("fru.txt");
    EXPECT_LT(listing.find("__Product"), listing.find("__Board"));

    // A 16-byte internal-use area before the chassis area.
    const Bytes withLongInternal = ImageBuilder().internalUse(pattern(16, 0x40)).chassis(1, {"P", "S"}).build();
    EXPECT_EQ(roundTrip(withLongInternal), withLongInternal);
}

TEST_F(FruListingRoundTrip, DemoImage) {
    auto demo = testkit::makeScenario("demo");
    const Bytes image = demo->fru.image;
    Bytes restored = roundTrip(image);
    // The listing ends with the multi-record area; the erased tail stays erased.
    ASSERT_EQ(restored.size(), image.size());
    EXPECT_EQ(restored, image);
    for (const auto& scenario : frutest::scenarioImages())
        EXPECT_EQ(roundTrip(scenario.second), scenario.second) << scenario.first;
}

// Images as real FRUs hold them, defects included: the listing gives back every byte.
TEST_F(FruListingRoundTrip, ImagesWithWrongChecksumsOrAreasPastTheEnd) {
    const ImageBuilder boardAndProduct = ImageBuilder()
                                             .board(7, {"ABCD", "Board", "SN-1", "PN-1", ""})
                                             .product({"M", "Name", "PN", "V", "SN", "A", ""})
                                             .padTo(256);
    auto withByte = [](Bytes image, size_t at, uint8_t value) {
        image[at] = value;
        return image;
    };
    const Bytes plain = boardAndProduct.build();
    const size_t product = plain[4] * 8u;
    const Bytes multi =
        ImageBuilder().board(0, {"A", "B", "C", "D", ""}).multiRecords({{0x00, pattern(8, 1)}, {0x01, pattern(5, 2)}}).build();
    const size_t records = multi[5] * 8u;
    // A chain with no record marked end of list runs to the end of the FRU, here 3 bytes past
    // its last record.
    Bytes unending = withByte(multi, records + 14, multi[records + 14] & 0x7F);
    unending.insert(unending.end(), {0x11, 0x22, 0x33});
    const std::pair<const char*, Bytes> images[] = {
        {"board checksum", frutest::wrongChecksumImage()},
        {"header checksum", withByte(plain, 7, 0x5A)},
        {"multi-record checksums", withByte(withByte(multi, records + 3, 0x00), records + 13 + 4, 0x00)},
        // The product area's offset beyond the FRU, and its length byte past its end.
        {"area past the end", withByte(withByte(plain, 4, 0x30), 7, static_cast<uint8_t>(plain[7] + plain[4] - 0x30))},
        {"area running past the end", withByte(plain, product + 1, 0xFF)},
        {"mixed encodings", frutest::mixedEncodingImage()},
        {"multi-records without an end", unending},
    };
    for (const auto& image : images) EXPECT_EQ(roundTrip(image.second), image.second) << image.first;

    // A listing that runs to the end of its FRU is of that FRU's size: on a larger one its
    // end is missing.
    useImage(withByte(plain, product + 1, 0xFF));
    ASSERT_EQ(run([] { return bmc_BackupFRUToText("fru.txt"); }).rc, 0);
    useImage(Bytes(512, 0xFF));
    const int unlocks = fruDevice().unlockRequests;
    Outcome o = run([] { return bmc_RestoreFRUFromText("fru.txt"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "The listing fru.txt does not describe a consistent FRU image; nothing was written.\n");
    EXPECT_EQ(fruDevice().unlockRequests, unlocks);
    EXPECT_EQ(fruDevice().image, Bytes(512, 0xFF));
}

TEST_F(FruBackup, ListingFailures) {
    Bytes v2 = ImageBuilder().board(0, {"A", "B", "C", "D", ""}).build();
    v2[0] = 2;
    useImage(v2);
    writeFile("old.txt", "keep me");
    Outcome o = run([] { return bmc_BackupFRUToText("old.txt"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Unsupported FRU format version 02h; nothing was written.\n");
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(readText("old.txt"), "keep me");

    useImage(ImageBuilder().board(0, {"A", "B", "C", "D", ""}).build());
    o = run([] { return bmc_BackupFRUToText("no/dir/fru.txt"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "new no/dir/fru.txt file error\n");

    bmc().failNext(0x0A, 0x10, 0xC3);
    o = run([] { return bmc_BackupFRUToText("fru.txt"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get FRU inventory area, Completion Code=C3h\n");
}

// The routines run as root, often with a name in /tmp. A link or hard link another user
// planted at that name must not make them overwrite the file it leads to.
TEST_F(FruBackup, BackupsNeverWriteThroughLinksPlantedInASharedDirectory) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    const Bytes image = ImageBuilder().board(5, {"ABCD", "B", "S", "P", ""}).padTo(512).build();
    useImage(image);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string here = cwd;
    ASSERT_EQ(chmod(here.c_str(), 0755), 0);
    ASSERT_EQ(mkdir("shared", 01777), 0);
    ASSERT_EQ(chmod("shared", 01777), 0);
    writeFile("victim", "root's own file");
    const std::string victim = here + "/victim";
    const std::string shared = here + "/shared/";
    testkit::ChildResult planted = testkit::runInChild(
        [&] {
            if (symlink(victim.c_str(), (shared + "fru.bin").c_str()) != 0 ||
                symlink(victim.c_str(), (shared + "fru.txt").c_str()) != 0 || mkfifo((shared + "fifo.bin").c_str(), 0666) != 0)
                _exit(3);
        },
        /*dropRoot=*/true);
    ASSERT_EQ(planted.status, 0);
    // Hosts that let users hard-link files they do not own: the shape such a user leaves.
    ASSERT_EQ(link("victim", "shared/hard.bin"), 0);

    const auto refused = [](const std::string& path, const char* why) {
        return path + " " + why + " in a directory other users can write to; nothing was written to it.\nnew " + path +
               " file error\n";
    };
    const std::pair<const char*, const char*> cases[] = {
        {"fru.bin", "is a symbolic link"}, {"hard.bin", "has other hard links"}, {"fifo.bin", "is not a regular file"}};
    for (const auto& [name, why] : cases) {
        const std::string path = shared + name;
        Outcome o = run([&] { return bmc_BackupFRU(path.c_str()); });  // (a FIFO nobody reads: no wait)
        EXPECT_EQ(o.rc, 11) << name;
        EXPECT_EQ(o.out, "") << name;
        EXPECT_EQ(o.err, refused(path, why)) << name;
    }
    const std::string text = shared + "fru.txt";
    Outcome o = run([&] { return bmc_BackupFRUToText(text.c_str()); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, refused(text, "is a symbolic link"));
    EXPECT_EQ(readText("victim"), "root's own file");

    // A new name in the shared directory is written as before.
    const std::string fresh = shared + "new.bin";
    EXPECT_EQ(run([&] { return bmc_BackupFRU(fresh.c_str()); }).rc, 0);
    EXPECT_EQ(readBytes(fresh), image);

    // Where nobody else can change the names, a link is the operator's own and is followed
    // (as /dev/stdout is).
    ASSERT_EQ(mkdir("private", 0700), 0);
    ASSERT_EQ(symlink(victim.c_str(), "private/fru.bin"), 0);
    EXPECT_EQ(run([] { return bmc_BackupFRU("private/fru.bin"); }).rc, 0);
    EXPECT_EQ(readBytes("victim"), image);
}

TEST_F(FruBackup, ListingsThatCannotBeReadAreRefusedBeforeAnyWrite) {
    useImage(Bytes(64, 0xFF));
    const std::string longLine(5000, 'A');
    const char* const bad[] = {
        "__Common\n\t01\n\tZZ\n",     // not a byte
        "__Common\n\t01\n\t123\n",    // not one byte
        "__Common\n\t01\n\t0x\n",     // no digits
        "__Common\n\t01\n\t'open\n",  // a text without its closing quote
        "__Common\n",                 // no bytes at all
        "",
    };
    std::vector<std::string> cases(std::begin(bad), std::end(bad));
    cases.push_back("\t'" + longLine + "'\n");
    std::string tooMany;
    for (int i = 0; i < 8193; ++i) tooMany += "\t00\n";
    cases.push_back(tooMany);
    for (const std::string& content : cases) {
        writeFile("fru.txt", content);
        bmc().clearLog();
        Outcome o = run([] { return bmc_RestoreFRUFromText("fru.txt"); });
        EXPECT_EQ(o.rc, 11) << content.substr(0, 40);
        EXPECT_EQ(o.err, "Reading error.\n") << content.substr(0, 40);
        EXPECT_TRUE(bmc().log().empty()) << content.substr(0, 40);
    }
    Outcome o = run([] { return bmc_RestoreFRUFromText("missing.txt"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Load missing.txt file error.\n");
    EXPECT_FALSE(fruDevice().writeProtected);
}

TEST_F(FruBackup, ListingReaderTakesBlankLinesSectionsAndLooseSpacing) {
    useImage(Bytes(16, 0xFF));
    // A header naming a product area, and that area: 01 01 00 C2 'x' 'y' C1 8A.
    writeFile("fru.txt",
              "__Common\n\n  1 \n\t00\n\t00\n00\n\t01\n\t00\n\t00\n\tfe\n__Anything\n\t01\n\t01\n\t0\n"
              "\tC2\n\t'xy'  \r\n\t0xC1\n\t8a\n");
    EXPECT_EQ(run([] { return bmc_RestoreFRUFromText("fru.txt"); }).rc, 0);
    EXPECT_EQ(Bytes(fruDevice().image.begin() + 8, fruDevice().image.end()),
              (Bytes{0x01, 0x01, 0x00, 0xC2, 'x', 'y', 0xC1, 0x8A}));
    EXPECT_EQ(writes(), (std::vector<std::pair<int, size_t>>{{0, 8}, {8, 8}}));
}

}  // namespace
