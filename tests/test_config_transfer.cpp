// Saving the BMC's configuration into a file and loading it back: the steps on the wire,
// the round trip, and the failures that must neither report success nor damage a file.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "progress_recorder.h"
#include "test_support.h"
#include "varkolt/bmc.h"

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::Outcome;
using testkit::readBytes;
using testkit::writeFile;

namespace {

class ConfigTransfer : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_FALSE(dir_.path().empty());
        for (int i = 0; i < 70; ++i) original_.push_back(static_cast<uint8_t>(i * 7 + 1));
        sim().transfer.files[0x03] = original_;
    }
    std::string path(const char* name) const { return dir_.file(name); }
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        if (DIR* d = opendir(dir_.path().c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') out.push_back(e->d_name);
            closedir(d);
        }
        return out;
    }
    std::vector<std::string> transferSteps() const {
        std::vector<std::string> out;
        for (const IpmiRequest& r : server_->bmc.requests(0x30, 0xA0)) out.push_back(r.toString());
        return out;
    }
    Outcome download(const std::string& p, short type = 0x03) {
        return testkit::captureOutcome([&] { return bmc_ConfigurationDownload(p.c_str(), type); });
    }
    Outcome upload(const std::string& p, uint8_t type = 0x03) {
        return testkit::captureOutcome([&] { return bmc_ConfigurationUpload(p.c_str(), type); });
    }

    testkit::ScratchDir dir_{"vkt-config"};
    Bytes original_;
};

TEST_F(ConfigTransfer, RoundTripGivesTheSameBytes) {
    sim().transfer.notReadyPolls = 2;
    Outcome o = download(path("saved.cfg"));
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Download file successfully\n");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(readBytes(path("saved.cfg")), original_);
    EXPECT_EQ(sim().clock.nowMs(), 2000);  // a second between polls
    EXPECT_EQ(transferSteps(),
              (std::vector<std::string>{"30/A0 0C", "30/A0 05 03", "30/A0 06 41 23", "30/A0 06 41 23", "30/A0 06 41 23",
                                        "30/A0 07 41 23 00 00 00 00 20 00", "30/A0 07 41 23 20 00 00 00 20 00",
                                        "30/A0 07 41 23 40 00 00 00 06 00", "30/A0 08 41 23"}));

    sim().transfer.files[0x03] = Bytes(5, 0xEE);
    bmc().clearLog();
    o = upload(path("saved.cfg"));
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Upload file successfully\nPlease wait for 1 minute to reboot BMC.\n");
    const std::vector<IpmiRequest> steps = bmc().requests(0x30, 0xA0);
    ASSERT_EQ(steps.size(), 7u);
    EXPECT_EQ(steps[2].toString(), "30/A0 02 42 23 46 00 00 00");
    const size_t pieceHeader = 7;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(steps[3 + i].data[3], i * 32);  // offsets 0, 32, 64
        EXPECT_EQ(steps[3 + i].data.size() - pieceHeader, i < 2 ? 32u : 6u);
    }
    EXPECT_EQ(steps[6].toString(), "30/A0 04 42 23 03");
    EXPECT_EQ(sim().transfer.files[0x03], original_);

    EXPECT_EQ(download(path("again.cfg")).rc, 0);
    EXPECT_EQ(readBytes(path("again.cfg")), readBytes(path("saved.cfg")));
}

TEST_F(ConfigTransfer, FailedDownloadKeepsTheEarlierFile) {
    const Bytes good = {'G', 'O', 'O', 'D'};
    writeFile(path("saved.cfg"), good);
    struct Case {
        const char* name;
        std::function<void(testkit::SimServer&)> fault;
        const char* err;
    };
    const auto pieceAt32 = [](const IpmiRequest& r) { return r.is(0x30, 0xA0) && r.data[0] == 0x07 && r.data[3] == 0x20; };
    const Case cases[] = {
        {"short piece", [](testkit::SimServer& s) { s.transfer.shortPieceAt = 32; },
         "Download file failed, the BMC sent 31 of 32 bytes at offset 32.\n"},
        {"failed piece", [&](testkit::SimServer& s) { s.bmc.inject(pieceAt32, IpmiResponse::error(0xC9)); },
         "Download file failed, Completion Code=C9h\n"},
        {"failed end", [](testkit::SimServer& s) {
             s.bmc.inject([](const IpmiRequest& r) { return r.is(0x30, 0xA0) && r.data[0] == 0x08; }, IpmiResponse::error(0xD5));
         },
         "Failed to apply file, Completion Code=D5h\n"},
        {"no size", [](testkit::SimServer& s) {
             s.bmc.inject([](const IpmiRequest& r) { return r.is(0x30, 0xA0) && r.data[0] == 0x06; }, IpmiResponse::ok({0x00}));
         },
         "Prepare download file failed: the BMC did not report the file size.\n"},
        {"never ready", [](testkit::SimServer& s) { s.transfer.neverReady = true; }, "Prepare download file timeout\n"},
    };
    for (const Case& c : cases) {
        sim().bmc.clearFaults();
        sim().transfer = testkit::ConfigTransferModel{};
        sim().transfer.files[0x03] = original_;
        c.fault(sim());
        Outcome o = download(path("saved.cfg"));
        EXPECT_EQ(o.rc, 11) << c.name;
        EXPECT_EQ(o.out, "") << c.name;
        EXPECT_EQ(o.err, c.err) << c.name;
        EXPECT_EQ(readBytes(path("saved.cfg")), good) << c.name;
        EXPECT_EQ(files(), std::vector<std::string>{"saved.cfg"}) << c.name;  // no piece left behind
    }
    EXPECT_EQ(sim().transfer.statusPolls, 29);
    EXPECT_EQ(sim().clock.nowMs(), 28000);
}

// The download replaces the name it is given: a link or a file another user planted there
// is replaced, never written through, and lends the new file nothing.
TEST_F(ConfigTransfer, DownloadReplacesWhatAnotherUserPlantedAtTheName) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
    const std::string shared = path("shared");
    ASSERT_EQ(mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    writeFile(path("victim"), Bytes{'K', 'E', 'E', 'P'});
    const std::string victim = path("victim");
    const std::string linked = shared + "/linked.cfg";
    const std::string open = shared + "/open.cfg";
    testkit::ChildResult planted = testkit::runInChild(
        [&] {
            const int fd = ::open(open.c_str(), O_WRONLY | O_CREAT, 0666);
            if (symlink(victim.c_str(), linked.c_str()) != 0 || fd < 0 || fchmod(fd, 0666) != 0) _exit(3);
        },
        /*dropRoot=*/true);
    ASSERT_EQ(planted.status, 0);
    const mode_t umaskBefore = umask(022);
    for (const std::string& name : {linked, open}) {
        Outcome o = download(name);
        EXPECT_EQ(o.rc, 0) << name << o.err;
        EXPECT_EQ(readBytes(name), original_) << name;
        struct stat st {};
        ASSERT_EQ(lstat(name.c_str(), &st), 0) << name;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
        EXPECT_EQ(st.st_uid, 0u) << name;
        EXPECT_EQ(st.st_mode & 0002, 0u) << name << ": readable and writable by all";
    }
    umask(umaskBefore);
    EXPECT_EQ(readBytes(victim), (Bytes{'K', 'E', 'E', 'P'}));
}

TEST_F(ConfigTransfer, RefusedRequestsSendNothingFurther) {
    sim().transfer.probeCc = 0xC1;
    Outcome o = download(path("a.cfg"));
    EXPECT_EQ(o.rc, 13);
    EXPECT_EQ(o.err, "Firmware doesn't support IPMI configuration download feature, Completion Code=C1h\n");
    writeFile(path("up.cfg"), original_);
    o = upload(path("up.cfg"));
    unlink(path("up.cfg").c_str());
    EXPECT_EQ(o.rc, 13);
    EXPECT_EQ(o.err, "Firmware doesn't support IPMI configuration upload feature, Completion Code=C1h\n");
    EXPECT_EQ(transferSteps(), (std::vector<std::string>{"30/A0 0C", "30/A0 0C"}));

    bmc().clearLog();
    for (short type : {-1, 256}) EXPECT_EQ(download(path("a.cfg"), type).rc, 12);
    EXPECT_EQ(testkit::captureOutcome([] { return bmc_ConfigurationDownload(nullptr, 0); }).err, "Failed to open new file.\n");
    EXPECT_TRUE(transferSteps().empty());
    EXPECT_TRUE(files().empty());
    sim().transfer.probeCc.reset();
    EXPECT_EQ(download(path("no-such-dir/a.cfg")).err, "Failed to open new file.\n");
}

TEST_F(ConfigTransfer, EmptyFileIsDownloadedButNeverUploaded) {
    sim().transfer.files[0x03] = {};
    EXPECT_EQ(download(path("empty.cfg")).rc, 0);
    EXPECT_TRUE(readBytes(path("empty.cfg")).empty());
    EXPECT_EQ(bmc().requests(0x30, 0xA0).back().data[0], 0x08);
    // The BMC would restart with an empty configuration.
    bmc().clearLog();
    Outcome o = upload(path("empty.cfg"));
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "The IPMI configuration file is empty; nothing was sent.\n");
    EXPECT_TRUE(bmc().log().empty());
    EXPECT_EQ(sim().transfer.applied, 0);
}

TEST_F(ConfigTransfer, UploadReadsTheFileWholeBeforeTheBmcIsAsked) {
    Outcome o = upload(path("missing.cfg"));
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Couldn't find IPMI configuration file.\n");
    EXPECT_EQ(upload(dir_.path()).err, "Couldn't find IPMI configuration file.\n");
    EXPECT_TRUE(bmc().log().empty());

    // The file shrinks while it is being sent: what was read whole at the start goes.
    const std::string p = path("shrinking.cfg");
    writeFile(p, original_);
    bmc().inject([&](const IpmiRequest& r) {
        if (r.is(0x30, 0xA0) && r.data[0] == 0x03) {
            EXPECT_EQ(truncate(p.c_str(), 40), 0);
        }
        return false;
    }, IpmiResponse::ok(), 1);
    sim().transfer.files.clear();
    o = upload(p);
    EXPECT_EQ(o.rc, 0) << o.err;
    EXPECT_EQ(sim().transfer.files[0x03], original_);
    EXPECT_EQ(sim().transfer.applied, 1);
    sim().transfer.applied = 0;

    writeFile(p, original_);
    bmc().inject([](const IpmiRequest& r) { return r.is(0x30, 0xA0) && r.data[0] == 0x03; }, IpmiResponse::error(0xC5));
    o = upload(p);
    EXPECT_EQ(o.err, "Upload file failed, Completion Code=C5h\n");

    bmc().inject([](const IpmiRequest& r) { return r.is(0x30, 0xA0) && r.data[0] == 0x02; }, IpmiResponse::error(0xC1));
    EXPECT_EQ(upload(p).err, "Failed to start configuration file upload, Completion Code=C1h\n");
    EXPECT_EQ(sim().transfer.applied, 0);
}

// A caller that asked for progress hears of each second the BMC prepares and of each piece,
// up to the whole file; a transfer that stops reports nothing past the last piece that went.
TEST_F(ConfigTransfer, ProgressCountsPreparationSecondsAndPieces) {
    sim().transfer.notReadyPolls = 2;
    ProgressRecorder progress;
    ASSERT_EQ(download(path("saved.cfg")).rc, 0);
    EXPECT_EQ(progress.all(), (std::vector<std::string>{"5:1/28", "5:2/28", "6:32/70", "6:64/70", "6:70/70"}));

    progress.clear();
    ASSERT_EQ(upload(path("saved.cfg")).rc, 0);
    EXPECT_EQ(progress.all(), (std::vector<std::string>{"7:32/70", "7:64/70", "7:70/70"}));

    progress.clear();
    bmc().inject([](const IpmiRequest& r) { return r.is(0x30, 0xA0) && r.data[0] == 0x03 && r.data[3] == 0x40; },
                 IpmiResponse::error(0xC5));
    EXPECT_EQ(upload(path("saved.cfg")).rc, 11);
    EXPECT_EQ(progress.of(VKT_PROGRESS_CONFIG_UPLOAD), (std::vector<std::string>{"32/70", "64/70"}));
    EXPECT_EQ(sim().transfer.applied, 1);  // the round trip's upload only
}

}  // namespace
