// The library's one entry barrier: every exported routine and every enumeration holds the
// process-wide lock while it talks to the BMC, nothing thrown escapes, callers on several
// threads get what serial callers get, and a BMC that stops answering costs one call two
// response bounds at most.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cimhost.h"
#include "entry_barrier.h"
#include "sdr_util.h"
#include "sel_util.h"
#include "smipmi.h"
#include "test_support.h"
#include "transport_state.h"
#include "varkolt/bmc.h"

using testkit::FakeIpmiDevice;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

// Forwards every request to the server and notes whether another thread could have taken
// the library's lock while the request was being handled.
class LockWitness : public testkit::Backend {
public:
    explicit LockWitness(testkit::Backend& inner) : inner_(inner) {}
    std::optional<IpmiResponse> handle(const IpmiRequest& request) override {
        const bool lockFree = std::async(std::launch::async, [] {
                                  if (!vkt::apiMutex().try_lock()) return false;
                                  vkt::apiMutex().unlock();
                                  return true;
                              }).get();
        ++requests;
        if (lockFree) ++unguarded;
        return inner_.handle(request);
    }
    int requests = 0;
    int unguarded = 0;

private:
    testkit::Backend& inner_;
};

class Barrier : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        useServer(testkit::makeScenario("demo"));
        host_ = cimhost::Host::inProcess();
    }
    std::unique_ptr<cimhost::Host> host_;
};

TEST_F(Barrier, EveryRoutineAndEnumerationHoldsTheLockWhileItTalksToTheBmc) {
    LockWitness witness(bmc());
    FakeIpmiDevice::get().setBackend(&witness);
    struct Entry {
        const char* name;
        std::function<void()> run;
    };
    const std::vector<Entry> entries = {
        {"bmc_GetSDR", [] { bmc_GetSDR(); }},
        {"bmc_GetSELList", [] { bmc_GetSELList(); }},
        {"bmc_GetFRUList", [] { bmc_GetFRUList(); }},
        {"bmc_GetIPandMac", [] { bmc_GetIPandMac(); }},
        {"bmc_GetUserList", [] { bmc_GetUserList(); }},
        {"VKT_Sensors", [this] { host_->enumerate("SensorsProvider"); }},
        {"VKT_SetFanModeToFull", [this] { host_->enumerate("SetFanModeToFull"); }},
    };
    testkit::CaptureOutput out(1);
    for (const Entry& e : entries) {
        witness.requests = witness.unguarded = 0;
        e.run();
        EXPECT_GT(witness.requests, 0) << e.name;
        EXPECT_EQ(witness.unguarded, 0) << e.name << " talked to the BMC without the lock";
    }
    FakeIpmiDevice::get().setBackend(&bmc());
}

TEST(EntryBarrier, AFailureThatEscapesIsResult11WithAMessageAndFreesTheLock) {
    testkit::CaptureOutput err(2);
    int rc = vkt::entryBarrier("bmc_Example", []() -> int { throw std::runtime_error("table full"); });
    EXPECT_EQ(rc, 11);
    rc = vkt::entryBarrier("bmc_Other", []() -> int { throw 42; });
    EXPECT_EQ(rc, 11);
    EXPECT_EQ(err.text(), "bmc_Example: internal failure (table full)\nbmc_Other: internal failure\n");
    bool lockable = std::async(std::launch::async, [] {
                        if (!vkt::apiMutex().try_lock()) return false;
                        vkt::apiMutex().unlock();
                        return true;
                    }).get();
    EXPECT_TRUE(lockable);
    // A routine that calls another exported routine takes the lock again without waiting.
    EXPECT_EQ(vkt::entryBarrier("outer", [] { return vkt::entryBarrier("inner", [] { return 7; }); }), 7);
}

// ---- several callers at once ---------------------------------------------------------------

std::string textOf(const cimhost::EnumResult& r) {
    std::string s = "rc=" + std::to_string(r.rc) + " done=" + std::to_string(r.doneCount) + "\n";
    for (const cimhost::Instance& i : r.instances) {
        s += i.path() + "\n";
        for (const auto& p : i.properties) s += "  " + p.first + "=" + p.second.value_or("<null>") + "\n";
    }
    return s;
}

TEST_F(Barrier, ThreadsMixingRoutinesAndEnumerationsGetTheSerialResults) {
    // Readers only, so that every run of an operation has the same answer.
    const std::vector<std::pair<const char*, std::function<std::string()>>> ops = {
        {"bmc_GetSELList", [] { return std::to_string(bmc_GetSELList()); }},
        {"VKT_SELList", [this] { return textOf(host_->enumerate("SELListProvider")); }},
        {"bmc_GetSDR", [] { return std::to_string(bmc_GetSDR()); }},
        {"VKT_Sensors", [this] { return textOf(host_->enumerate("SensorsProvider")); }},
        {"bmc_GetUserList", [] { return std::to_string(bmc_GetUserList()); }},
        {"VKT_UserList", [this] { return textOf(host_->enumerate("UserListProvider")); }},
        {"bmc_GetFRUList", [] { return std::to_string(bmc_GetFRUList()); }},
        {"VKT_FRU", [this] { return textOf(host_->enumerate("FRUProvider")); }},
        {"bmc_GetIPandMac", [] { return std::to_string(bmc_GetIPandMac()); }},
        {"VKT_LAN", [this] { return textOf(host_->enumerate("LANProvider")); }},
    };
    testkit::CaptureOutput out(1);
    testkit::CaptureOutput err(2);
    std::vector<std::string> serial;
    for (const auto& op : ops) serial.push_back(op.second());

    constexpr int threadCount = 4;
    constexpr int rounds = 2;
    std::vector<std::vector<std::pair<size_t, std::string>>> got(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < rounds; ++round)
                for (size_t k = 0; k < ops.size(); ++k) {
                    const size_t op = (k + static_cast<size_t>(t) * 3) % ops.size();  // each thread its own order
                    got[t].emplace_back(op, ops[op].second());
                }
        });
    }
    for (std::thread& th : threads) th.join();
    out.text();
    err.text();

    for (int t = 0; t < threadCount; ++t)
        for (const auto& [op, result] : got[t]) EXPECT_EQ(result, serial[op]) << ops[op].first << " in thread " << t;
    EXPECT_EQ(FakeIpmiDevice::get().maxPendingAnswers(), 1u) << "exchanges of two callers interleaved";
    // The serial run itself succeeded.
    for (size_t k = 0; k < ops.size(); ++k) {
        if (std::string(ops[k].first).rfind("bmc_", 0) == 0) {
            EXPECT_EQ(serial[k], "0") << ops[k].first;
        } else {
            EXPECT_EQ(serial[k].find("rc=0 done=1\nvarkolt/cimv2:"), 0u) << ops[k].first;
        }
    }
}

// ---- a BMC that stops answering ------------------------------------------------------------------

class FrozenBmc : public Barrier {
protected:
    void SetUp() override {
        Barrier::SetUp();
        testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 20; });
    }
};

TEST_F(FrozenBmc, EachCallStopsAskingAfterTwoTimeOuts) {
    auto freezes = [this](bool silent) {
        // Silent: no answer at all, the library's own bound runs out. Otherwise the kernel
        // driver's own time-out answer, C3h, comes back late (past half the bound).
        if (silent) {
            bmc().dropNext([](const IpmiRequest&) { return true; }, -1);
        } else {
            bmc().inject(
                [](const IpmiRequest&) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(15));
                    return true;
                },
                IpmiResponse::error(0xC3), -1);
        }
    };
    for (bool silent : {true, false}) {
        useServer(testkit::makeScenario("demo"));
        testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 20; });
        freezes(silent);
        for (const cimhost::ProviderInfo& p : cimhost::providers()) {
            cimhost::EnumResult r;
            const size_t asked = requestsDuring([&] { r = host_->enumerate(p.prefix); });
            EXPECT_LE(asked, 2u) << p.className << (silent ? " (silent)" : " (C3h)");
            EXPECT_EQ(r.rc, CMPI_RC_OK) << p.className;
            if (p.action) {
                ASSERT_EQ(r.instances.size(), 1u) << p.className;
                EXPECT_EQ(r.instances[0].get("VKT_Result"), "False") << p.className;
            }
        }
        const std::vector<std::pair<const char*, std::function<int()>>> routines = {
            {"bmc_GetSDR", bmc_GetSDR},         {"bmc_GetSELList", bmc_GetSELList},
            {"bmc_GetFRUList", bmc_GetFRUList}, {"bmc_GetIPandMac", bmc_GetIPandMac},
            {"bmc_GetUserList", bmc_GetUserList},
        };
        for (const auto& [name, routine] : routines) {
            int rc = -1;
            EXPECT_LE(requestsDuring([&, fn = routine] { rc = fn(); }), 2u) << name;
            EXPECT_EQ(rc, 11) << name;
        }
    }
}

TEST_F(FrozenBmc, TheNextCallStartsAfreshOnceTheBmcAnswersAgain) {
    bmc().dropNext([](const IpmiRequest&) { return true; }, 2);
    EXPECT_LE(requestsDuring([this] { host_->enumerate("FRUProvider"); }), 2u);
    cimhost::EnumResult fru;
    EXPECT_GT(requestsDuring([&] { fru = host_->enumerate("FRUProvider"); }), 2u);
    ASSERT_EQ(fru.instances.size(), 1u);
    EXPECT_EQ(fru.instances[0].get("VKT_ProductName"), "VK1029-TR4");
}

TEST_F(FrozenBmc, AnAnswerBetweenTimeOutsKeepsTheCallGoing) {
    int reads = 0;
    // Every other sensor reading times out: never two in a row.
    bmc().dropNext([&reads](const IpmiRequest& r) { return r.is(0x04, 0x2D) && ++reads % 2 == 0; }, -1);
    const size_t asked = requestsDuring([] { bmc_GetSDR(); });
    EXPECT_EQ(bmc().count(0x04, 0x2D), static_cast<size_t>(reads));
    EXPECT_GT(asked, 100u);
}

TEST_F(FrozenBmc, QuickTimeOutAnswersComeFromAWorkingBmcAndChangeNothing) {
    // A BMC answering C3h at once for every device it cannot reach on its private bus.
    bmc().inject([](const IpmiRequest& r) { return r.is(0x06, 0x52); }, IpmiResponse::error(0xC3), -1);
    const int rc = vkt::entryBarrier("quick", [] {
        for (int i = 0; i < 4; ++i) testkit::sendIpmi(0x06, 0x52, {0x07, static_cast<uint8_t>(0xB0 + 2 * i), 0x01, 0x00});
        return static_cast<int>(testkit::sendIpmi(0x30, 0x0C).cc);
    });
    EXPECT_EQ(rc, 0x00);
    EXPECT_EQ(bmc().count(0x06, 0x52), 4u);
}

TEST_F(FrozenBmc, AControllerBehindTheBmcThatDoesNotAnswerIsNoReasonToStop) {
    bmc().onIpmb(0x2C, [](const IpmiRequest&) { return std::nullopt; });
    const int rc = vkt::entryBarrier("bridged", [] {
        for (int i = 0; i < 3; ++i) {
            ipmb_target_addr = 0x2C;
            testkit::sendIpmi(0x2E, 0xC8, {0x57, 0x01, 0x00});
            ipmb_target_addr = 0;
        }
        return static_cast<int>(testkit::sendIpmi(0x30, 0x0C).cc);
    });
    EXPECT_EQ(rc, 0x00);
    EXPECT_EQ(bmc().count(0x30, 0x0C), 1u);
}

}  // namespace
