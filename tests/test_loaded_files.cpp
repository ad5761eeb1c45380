// Files loaded into the BMC or the chassis controller (configuration, FRU image and
// listing, controller firmware): each loading routine takes only a regular file that reads
// whole at the size its file system reports, and refuses anything else before a single
// request reaches the BMC.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "chassis_fixture.h"
#include "varkolt/bmc.h"

namespace {

using testkit::Outcome;

struct Loader {
    const char* name;
    int (*load)(const char*);
    const char* out;
    const char* err;                // for a file that does not read as its size
    const char* errNotRegular;      // for a directory, FIFO or device
};

int uploadConfiguration(const char* path) { return bmc_ConfigurationUpload(path, 0x03); }

const char* const notWhole =
    "Couldn't read the IPMI configuration file whole at the size its file system reports; nothing was sent.\n";

const Loader loaders[] = {
    {"bmc_ConfigurationUpload", uploadConfiguration, "", notWhole, "Couldn't find IPMI configuration file.\n"},
    {"bmc_RestoreFRU", bmc_RestoreFRU, "", "Reading errorReading error.\n", "Reading errorReading error.\n"},
    {"bmc_RestoreFRUFromText", bmc_RestoreFRUFromText, "", "Reading error.\n", "Reading error.\n"},
    {"bmc_MCUUpdate", bmc_MCUUpdate, "", "", ""},
};

// A file under /sys that reports a page and holds less, when the machine has one.
std::string shortSysFile() {
    for (const char* p : {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/devices/system/cpu/online",
                          "/sys/kernel/uevent_seqnum"}) {
        struct stat st {};
        if (stat(p, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            testkit::readText(p).size() != static_cast<size_t>(st.st_size))
            return p;
    }
    return "";
}

class LoadedFiles : public chassistest::ChassisTest {
protected:
    void SetUp() override {
        ChassisTest::SetUp();
        ASSERT_FALSE(dir_.path().empty());
        // A chassis whose controller would take a firmware load, and a FRU that would take
        // any image: a refusal can come only from the file.
        chassis(testkit::McuModel::Family::pairex, 4, 1);
        ASSERT_EQ(mkfifo(fifo().c_str(), 0600), 0);
    }
    std::string fifo() const { return dir_.file("fifo"); }

    testkit::ScratchDir dir_{"vkt-loaded"};
};

TEST_F(LoadedFiles, FilesThatDoNotReadAsTheirSizeAreRefusedWithNothingSent) {
    // Reported size 0, yet text to read; the complaint was "size 0 sent, applied, success".
    std::vector<std::string> unknownSize = {"/proc/self/status", "/proc/cpuinfo"};
    if (!shortSysFile().empty()) unknownSize.push_back(shortSysFile());
    // Never opened: a FIFO without a writer would block the open for good, a device can act.
    const std::vector<std::string> notRegular = {fifo(), "/dev/null", dir_.path()};
    for (const Loader& l : loaders) {
        for (const std::string& p : unknownSize) {
            bmc().clearLog();
            const Outcome o = testkit::captureOutcome([&] { return l.load(p.c_str()); });
            EXPECT_EQ(o.rc, 11) << l.name << " " << p;
            EXPECT_EQ(o.out, l.out) << l.name << " " << p;
            EXPECT_EQ(o.err, l.err) << l.name << " " << p;
            EXPECT_TRUE(bmc().log().empty()) << l.name << " " << p << " sent " << bmc().log().front().toString();
        }
        for (const std::string& p : notRegular) {
            bmc().clearLog();
            const Outcome o = testkit::captureOutcome([&] { return l.load(p.c_str()); });
            EXPECT_EQ(o.rc, 11) << l.name << " " << p;
            EXPECT_EQ(o.err, l.errNotRegular) << l.name << " " << p;
            EXPECT_TRUE(bmc().log().empty()) << l.name << " " << p << " sent " << bmc().log().front().toString();
        }
    }
    EXPECT_EQ(sim().transfer.applied, 0);
    EXPECT_EQ(sim().fru.unlockRequests, 0);
    EXPECT_TRUE(sim().mcu.loader.records.empty());
}

TEST_F(LoadedFiles, TheSameContentInARegularFileIsLoaded) {
    // What /proc/self/status holds, copied into a regular file, is a configuration like any
    // other: the refusal above is about how the file reads, not about what it holds.
    const std::string copy = dir_.file("status.cfg");
    testkit::writeFile(copy, testkit::readText("/proc/self/status"));
    const Outcome o = testkit::captureOutcome([&] { return uploadConfiguration(copy.c_str()); });
    EXPECT_EQ(o.rc, 0) << o.err;
    EXPECT_EQ(o.out, "Upload file successfully\nPlease wait for 1 minute to reboot BMC.\n");
    EXPECT_EQ(sim().transfer.files[0x03], testkit::readBytes(copy));
}

}  // namespace
