// Record a session with ipmi_sim, then play the recording back: every class must publish
// the same instances from the recording as from the live simulator, over the device and
// over the KCS ports. The recording kept in the tree (replay-fru.rec) came from such a run
// and must still match the live simulator.
#include "../recording_test_support.h"
#include "ipmisim_test.h"
#include "smipmi.h"

using ipmisim_test::Environment;
using ipmisim_test::IpmiSimTest;

namespace {

constexpr const char* fixture = VKT_SOURCE_DIR "/tests/ipmisim/replay-fru.rec";

class RecordReplay : public IpmiSimTest {
protected:
    void SetUp() override {
        IpmiSimTest::SetUp();
        if (HasFatalFailure()) return;
        // The simulator serves one VM client at a time: the tool gets the link.
        link().disconnect();
    }
    void TearDown() override {
        if (Environment::simulator() != nullptr) {
            EXPECT_EQ(vkt::ipmiRequest(0x06, 0x01).cc, 0x00) << "our link comes back";
        }
        IpmiSimTest::TearDown();
    }

    // Live without recording, live with recording, then the replay: same output each time.
    void recordAndReplay(const std::vector<std::string>& transport) {
        rectest::ScratchDir dir;
        const std::string rec = dir.file("session.rec");
        auto with = [&](std::vector<std::string> args) {
            args.insert(args.begin(), transport.begin(), transport.end());
            return rectest::vktCim(args);
        };
        auto plain = with({"--bmc-sim-vm", sim().vmAddress(), "enumerate", "--all"});
        auto recorded = with({"--bmc-sim-vm", sim().vmAddress(), "--record", rec, "enumerate", "--all"});
        auto replayed = with({"--simulate=replay:" + rec, "enumerate", "--all"});
        ASSERT_EQ(plain.status, 0) << plain.err;
        ASSERT_EQ(recorded.status, 0) << recorded.err;
        ASSERT_EQ(replayed.status, 0) << replayed.err;
        EXPECT_EQ(recorded.out, plain.out) << "recording changed what the library saw";
        EXPECT_EQ(replayed.err.find("is not in the recording"), std::string::npos) << replayed.err;

        const auto live = rectest::byClass(recorded.out);
        const auto replay = rectest::byClass(replayed.out);
        for (const cimhost::ProviderInfo& p : cimhost::providers()) {
            ASSERT_TRUE(live.count(p.className)) << p.className << " missing from\n" << recorded.out;
            EXPECT_EQ(replay.count(p.className) ? replay.at(p.className) : "", live.at(p.className)) << p.className;
        }
        // The data the simulator holds really went through the recording.
        for (const char* cls : {"VKT_Sensors", "VKT_SELList", "VKT_SELInfo", "VKT_FRU", "VKT_LAN", "VKT_UserList"})
            EXPECT_EQ(live.at(cls).find("no instances"), std::string::npos) << cls;
        EXPECT_EQ(replayed.out, recorded.out);
    }
};

TEST_F(RecordReplay, EveryClassPublishesTheSameInstancesFromTheRecording) { recordAndReplay({}); }

TEST_F(RecordReplay, TheSameOverTheKcsPorts) { recordAndReplay({"--kcs"}); }

TEST_F(RecordReplay, TheFixtureInTheTreeStillMatchesTheSimulator) {
    auto live = rectest::vktCim({"--bmc-sim-vm", sim().vmAddress(), "enumerate", "VKT_FRU"});
    auto replayed = rectest::vktCim({std::string("--simulate=replay:") + fixture, "enumerate", "VKT_FRU"});
    ASSERT_EQ(live.status, 0) << live.err;
    EXPECT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(replayed.out, live.out) << "re-record " << fixture << " with vkt-cim --bmc-sim-vm ... --record";
    EXPECT_EQ(replayed.err.find("is not in the recording"), std::string::npos) << replayed.err;
}

}  // namespace
