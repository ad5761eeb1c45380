// The fake device's second backend: the VM serial protocol spoken to an external BMC
// simulator, checked against a scripted peer on loopback (no simulator needed).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "backends/vm_backend.h"
#include "smipmi.h"
#include "test_support.h"

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::VmBackend;
namespace vm = testkit::vm;

namespace {

// ---- frames -------------------------------------------------------------------------------

TEST(VmFrames, SpecialBytesAreEscapedAndTheFrameTerminated) {
    EXPECT_EQ(vm::encodeFrame({0x01, 0xA0, 0x02, 0xA1, 0xAA, 0x03}, vm::msgEnd),
              (Bytes{0x01, 0xAA, 0xB0, 0x02, 0xAA, 0xB1, 0xAA, 0xBA, 0x03, 0xA0}));
    EXPECT_EQ(vm::encodeFrame({0x08, 0x00}, vm::cmdEnd), (Bytes{0x08, 0x00, 0xA1}));
}

TEST(VmFrames, RequestCarriesSeqNetFnLunCommandDataAndChecksum) {
    IpmiRequest r;
    r.netFn = 0x0A;
    r.cmd = 0x23;
    r.lun = 1;
    r.data = {0x01, 0x0E};
    // 05 29 23 01 0E sum to 60h: the checksum A0h itself travels escaped.
    EXPECT_EQ(vm::encodeRequest(0x05, r), (Bytes{0x05, 0x29, 0x23, 0x01, 0x0E, 0xAA, 0xB0, 0xA0}));
    r.data = {0x01, 0x02};
    EXPECT_EQ(vm::encodeRequest(0x05, r), (Bytes{0x05, 0x29, 0x23, 0x01, 0x02, 0xAC, 0xA0}));
}

TEST(VmFrames, DecoderSplitsMessagesAndControlCommands) {
    vm::FrameDecoder d;
    const Bytes stream = {0xFF, 0x01, 0xA1, 0x00, 0xA1, 0xA0, 0xA0, 0x01, 0xAA, 0xB0, 0x02, 0xA0};
    d.feed(stream.data(), stream.size());
    vm::Frame f;
    ASSERT_TRUE(d.next(&f));
    EXPECT_TRUE(f.control);
    EXPECT_EQ(f.body, (Bytes{0xFF, 0x01}));
    ASSERT_TRUE(d.next(&f));
    EXPECT_TRUE(f.control);
    EXPECT_EQ(f.body, Bytes{0x00});
    ASSERT_TRUE(d.next(&f)) << "the two empty message frames are dropped";
    EXPECT_FALSE(f.control);
    EXPECT_EQ(f.body, (Bytes{0x01, 0xA0, 0x02}));
    EXPECT_FALSE(d.next(&f));
}

TEST(VmFrames, DecoderKeepsStateAcrossFeedsAndDiscardsRunawayFrames) {
    vm::FrameDecoder d(8);
    const Bytes part1 = {0x01, 0xAA};
    const Bytes part2 = {0xB1, 0xA0};
    d.feed(part1.data(), part1.size());
    vm::Frame f;
    EXPECT_FALSE(d.next(&f));
    d.feed(part2.data(), part2.size());
    ASSERT_TRUE(d.next(&f));
    EXPECT_EQ(f.body, (Bytes{0x01, 0xA1}));

    Bytes runaway(20, 0x11);
    runaway.push_back(0xA0);
    runaway.insert(runaway.end(), {0x22, 0xA0});
    d.feed(runaway.data(), runaway.size());
    ASSERT_TRUE(d.next(&f));
    EXPECT_EQ(f.body, Bytes{0x22}) << "the frame after a discarded one is intact";
    EXPECT_EQ(d.discarded(), 1u);
}

Bytes answerBody(uint8_t seq, uint8_t netFn, uint8_t cmd, uint8_t cc, const Bytes& data) {
    Bytes b;
    b.reserve(data.size() + 5);
    b.push_back(seq);
    b.push_back(static_cast<uint8_t>((netFn | 1) << 2));
    b.push_back(cmd);
    b.push_back(cc);
    for (uint8_t x : data) b.push_back(x);
    b.push_back(vm::checksum(b));
    return b;
}

TEST(VmFrames, ResponseMustMatchTheRequestAndItsChecksum) {
    Bytes good = answerBody(7, 0x06, 0x01, 0x00, {0x23, 0x01});
    auto r = vm::decodeResponse(good, 7, 0x06, 0x01);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->cc, 0x00);
    EXPECT_EQ(r->data, (Bytes{0x23, 0x01}));

    EXPECT_FALSE(vm::decodeResponse(good, 8, 0x06, 0x01)) << "other seq";
    EXPECT_FALSE(vm::decodeResponse(good, 7, 0x0A, 0x01)) << "other netFn";
    EXPECT_FALSE(vm::decodeResponse(good, 7, 0x06, 0x02)) << "other command";
    Bytes bad = good;
    bad[4] ^= 0x01;
    EXPECT_FALSE(vm::decodeResponse(bad, 7, 0x06, 0x01)) << "checksum";
    EXPECT_FALSE(vm::decodeResponse({7, 0x1C, 0x01, 0xDC}, 7, 0x06, 0x01)) << "no completion code";
    auto noData = vm::decodeResponse(answerBody(1, 0x30, 0x45, 0xC1, {}), 1, 0x30, 0x45);
    ASSERT_TRUE(noData.has_value());
    EXPECT_EQ(noData->cc, 0xC1);
    EXPECT_TRUE(noData->data.empty());
}

TEST(VmFrames, AddressIsHostColonPort) {
    std::string host;
    uint16_t port = 0;
    EXPECT_TRUE(VmBackend::parseAddress("127.0.0.1:9002", &host, &port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 9002);
    EXPECT_TRUE(VmBackend::parseAddress("localhost:1", &host, &port));
    for (const char* bad : {"127.0.0.1", "127.0.0.1:", ":9002", "h:0", "h:65536", "h:12a", "h:-1", "h:123456"})
        EXPECT_FALSE(VmBackend::parseAddress(bad, &host, &port)) << bad;
}

// ---- a scripted peer ----------------------------------------------------------------------

// Listens on a loopback port; each accepted connection is handed to the script in turn.
class ScriptedPeer {
public:
    using Script = std::function<void(ScriptedPeer&, int fd)>;

    explicit ScriptedPeer(std::vector<Script> scripts) : scripts_(std::move(scripts)) {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listen_, 4);
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            for (Script& s : scripts_) {
                int fd = accept(listen_, nullptr, nullptr);
                if (fd < 0) return;
                s(*this, fd);
                ::close(fd);
            }
        });
    }
    ~ScriptedPeer() {
        finish();
        ::close(listen_);
    }
    // Waits for the scripts to end; what the peer recorded is safe to read afterwards.
    void finish() {
        shutdown(listen_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
    }
    uint16_t port() const { return port_; }

    // The next IPMI message frame from the client (control frames are noted); empty
    // when the client went away or nothing came within a second.
    Bytes nextMessage(int fd) {
        for (;;) {
            vm::Frame f;
            while (decoder_.next(&f)) {
                if (f.control) {
                    controlFromClient.push_back(f.body);
                    continue;
                }
                requests.push_back(f.body);
                return f.body;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0) return {};
            uint8_t buf[256];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return {};
            decoder_.feed(buf, static_cast<size_t>(n));
        }
    }
    static void put(int fd, const Bytes& bytes) { send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    static void reply(int fd, const Bytes& request, uint8_t cc, const Bytes& data) {
        put(fd, vm::encodeFrame(answerBody(request[0], request[1] >> 2, request[2], cc, data), vm::msgEnd));
    }
    static void greet(int fd) { put(fd, {0xFF, 0x01, 0xA1, 0x00, 0xA1}); }

    std::vector<Bytes> requests;
    std::vector<Bytes> controlFromClient;

private:
    int listen_ = -1;
    uint16_t port_ = 0;
    std::vector<Script> scripts_;
    std::thread thread_;
    vm::FrameDecoder decoder_;
};

TEST(VmBackendLink, GreetingIsReadAndCapabilitiesAreSent) {
    ScriptedPeer peer({[](ScriptedPeer& p, int fd) {
        ScriptedPeer::greet(fd);
        Bytes r = p.nextMessage(fd);
        ScriptedPeer::reply(fd, r, 0x00, {0x23});
    }});
    VmBackend link("127.0.0.1", peer.port(), 1000);
    ASSERT_TRUE(link.connect());
    auto a = link.exchange(0x06, 0x01, {});
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->data, Bytes{0x23});
    EXPECT_EQ(link.peerVersion(), 1);
    EXPECT_EQ(link.controlCommands(), (std::vector<uint8_t>{0xFF, 0x00}));
    peer.finish();
    ASSERT_EQ(peer.controlFromClient.size(), 1u);
    EXPECT_EQ(peer.controlFromClient[0], (Bytes{0x08, 0x00}));
}

TEST(VmBackendLink, DamagedStaleAndSplitFramesAreSortedOut) {
    ScriptedPeer peer({[](ScriptedPeer& p, int fd) {
        Bytes r = p.nextMessage(fd);
        Bytes bad = answerBody(r[0], 0x0A, 0x40, 0x00, {0x51});
        bad[4] ^= 0xFF;
        ScriptedPeer::put(fd, vm::encodeFrame(bad, vm::msgEnd));  // bad checksum
        ScriptedPeer::put(fd, vm::encodeFrame(answerBody(r[0] - 1, 0x0A, 0x40, 0x00, {0x99}), vm::msgEnd));  // stale
        ScriptedPeer::put(fd, {0x01, 0xA1});  // attention, mid-stream
        Bytes good = vm::encodeFrame(answerBody(r[0], 0x0A, 0x40, 0x00, {0xA0, 0xA1, 0xAA, 0x51}), vm::msgEnd);
        for (uint8_t b : good) ScriptedPeer::put(fd, {b});  // one byte at a time
    }});
    VmBackend link("127.0.0.1", peer.port(), 1000);
    ASSERT_TRUE(link.connect());
    IpmiRequest req;
    req.netFn = 0x0A;
    req.cmd = 0x40;
    auto a = link.handle(req);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->cc, 0x00);
    EXPECT_EQ(a->data, (Bytes{0xA0, 0xA1, 0xAA, 0x51}));
    EXPECT_EQ(link.timeouts(), 0);
}

TEST(VmBackendLink, UnansweredRequestTimesOutAndTheLateAnswerIsIgnored) {
    ScriptedPeer peer({[](ScriptedPeer& p, int fd) {
        Bytes first = p.nextMessage(fd);  // dropped, as the simulator drops bad frames
        Bytes second = p.nextMessage(fd);
        ScriptedPeer::reply(fd, first, 0x00, {0x01});  // too late
        ScriptedPeer::reply(fd, second, 0x00, {0x02});
    }});
    VmBackend link("127.0.0.1", peer.port(), 150);
    ASSERT_TRUE(link.connect());
    IpmiRequest req;
    req.netFn = 0x06;
    req.cmd = 0x01;
    auto lost = link.handle(req);
    ASSERT_TRUE(lost.has_value());
    EXPECT_EQ(lost->cc, 0xC3);
    EXPECT_EQ(link.timeouts(), 1);
    auto next = link.handle(req);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->cc, 0x00);
    EXPECT_EQ(next->data, Bytes{0x02});
    peer.finish();
    ASSERT_EQ(peer.requests.size(), 2u);
    EXPECT_NE(peer.requests[0][0], peer.requests[1][0]) << "each request has its own seq";
}

TEST(VmBackendLink, ResetConnectionIsReopenedAndTheRequestSentAgain) {
    ScriptedPeer peer({[](ScriptedPeer&, int) {},  // still busy with an earlier client: closed at once
                       [](ScriptedPeer& p, int fd) {
                           Bytes r = p.nextMessage(fd);
                           ScriptedPeer::reply(fd, r, 0x00, {0x23});
                       }});
    VmBackend link("127.0.0.1", peer.port(), 1000);
    ASSERT_TRUE(link.connect());
    auto a = link.exchange(0x06, 0x01, {});
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->data, Bytes{0x23});
    EXPECT_EQ(link.timeouts(), 0);
}

TEST(VmBackendLink, NoSimulatorMeansTimeOutAnswers) {
    uint16_t port = 0;
    { ScriptedPeer gone({}); port = gone.port(); }  // a port nobody listens on any more
    VmBackend link("127.0.0.1", port, 100);
    EXPECT_FALSE(link.connect());
    EXPECT_NE(link.lastError().find("cannot connect"), std::string::npos);
    IpmiRequest req;
    req.netFn = 0x06;
    req.cmd = 0x01;
    auto a = link.handle(req);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->cc, 0xC3);
}

// IPMB bridging as the kernel driver does it: Send Message without tracking, then Get
// Message Flags and Get Message; the answer comes out of the received IPMB response.
TEST(VmBackendLink, IpmbRequestIsBridgedThroughSendAndGetMessage) {
    ScriptedPeer peer({[](ScriptedPeer& p, int fd) {
        Bytes send = p.nextMessage(fd);
        ScriptedPeer::reply(fd, send, 0x00, {});
        const uint8_t seqLun = send[3 + 5];
        Bytes flags = p.nextMessage(fd);
        ScriptedPeer::reply(fd, flags, 0x00, {0x00});  // nothing yet
        flags = p.nextMessage(fd);
        ScriptedPeer::reply(fd, flags, 0x00, {0x01});
        Bytes get = p.nextMessage(fd);
        // A stale answer of another exchange comes out first...
        ScriptedPeer::reply(fd, get, 0x00, {0x00, 0x1E, 0x00, 0x2C, static_cast<uint8_t>(seqLun + 4), 0x01, 0x00, 0x77, 0x00});
        flags = p.nextMessage(fd);
        ScriptedPeer::reply(fd, flags, 0x00, {0x01});
        get = p.nextMessage(fd);
        // ...then ours: channel, netFn/LUN, checksum, responder, seq/LUN, cmd, cc, data, checksum.
        ScriptedPeer::reply(fd, get, 0x00, {0x06, 0x1E, 0xC2, 0x2C, seqLun, 0x01, 0x00, 0x50, 0x02, 0x8E});
    }});
    VmBackend link("127.0.0.1", peer.port(), 1000);
    ASSERT_TRUE(link.connect());
    IpmiRequest req;
    req.netFn = 0x06;
    req.cmd = 0x01;
    req.ipmb = true;
    req.channel = 0x06;
    req.slaveAddr = 0x2C;
    auto a = link.handle(req);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->cc, 0x00);
    EXPECT_EQ(a->data, (Bytes{0x50, 0x02}));
    peer.finish();
    ASSERT_EQ(peer.requests.size(), 6u);
    const Bytes& send = peer.requests[0];
    EXPECT_EQ(send[1], 0x06 << 2);
    EXPECT_EQ(send[2], 0x34);
    // channel without tracking bits, rsSA, netFn/LUN, checksum, rqSA, seq/LUN 2, cmd, checksum
    const Bytes body(send.begin() + 3, send.end() - 1);
    ASSERT_EQ(body.size(), 8u);
    EXPECT_EQ(body[0], 0x06);
    EXPECT_EQ(body[1], 0x2C);
    EXPECT_EQ(body[2], 0x06 << 2);
    EXPECT_EQ(static_cast<uint8_t>(body[1] + body[2] + body[3]), 0);
    EXPECT_EQ(body[4], 0x20);
    EXPECT_EQ(body[5] & 0x03, 0x02);
    EXPECT_EQ(body[6], 0x01);
    EXPECT_EQ(static_cast<uint8_t>(body[4] + body[5] + body[6] + body[7]), 0);
    for (size_t i : {1u, 2u, 4u}) EXPECT_EQ(peer.requests[i][2], 0x31) << i;
    for (size_t i : {3u, 5u}) EXPECT_EQ(peer.requests[i][2], 0x33) << i;
}

TEST(VmBackendLink, RejectedSendMessageIsTheAnswer) {
    ScriptedPeer peer({[](ScriptedPeer& p, int fd) {
        Bytes send = p.nextMessage(fd);
        ScriptedPeer::reply(fd, send, 0x83, {});  // NAK on write
    }});
    VmBackend link("127.0.0.1", peer.port(), 1000);
    ASSERT_TRUE(link.connect());
    IpmiRequest req;
    req.netFn = 0x2E;
    req.cmd = 0xC8;
    req.ipmb = true;
    req.slaveAddr = 0x2C;
    auto a = link.handle(req);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->cc, 0x83);
    peer.finish();
    EXPECT_EQ(peer.requests.size(), 1u) << "no polling after a failed send";
}

// The library's transport through the fake device and this backend.
class VmBackendDevice : public testkit::SimTest {};

TEST_F(VmBackendDevice, RunIpmiCmdTravelsOverTheLink) {
    ScriptedPeer peer({[](ScriptedPeer& p, int fd) {
        ScriptedPeer::greet(fd);
        for (Bytes r = p.nextMessage(fd); !r.empty(); r = p.nextMessage(fd)) {
            if (r[1] >> 2 == 0x06 && r[2] == 0x01)
                ScriptedPeer::reply(fd, r, 0x00, {0x23, 0x01, 0x03, 0x41, 0x02, 0xBF, 0xB2, 0xA1, 0x00, 0x31, 0x0C});
            else if (r[1] >> 2 == 0x0A && r[2] == 0x40)
                ScriptedPeer::reply(fd, r, 0x00, {0x51, 0x03, 0x00});
            else
                ScriptedPeer::reply(fd, r, 0xC1, {});
        }
    }});
    VmBackend link("127.0.0.1", peer.port(), 1000);
    ASSERT_TRUE(link.connect());
    testkit::FakeIpmiDevice::get().setBackend(&link);
    BYTE resp[128] = {};
    DWORD len = 0;
    EXPECT_EQ(runIpmiCmd(0x20, 0x0A, 0x40, nullptr, 0, resp, &len), 0x00);
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(resp[1], 0x03);
    EXPECT_EQ(runIpmiCmd(0x20, 0x30, 0x45, nullptr, 0, resp, &len), 0xC1);
    EXPECT_EQ(len, 0u);
    testkit::FakeIpmiDevice::get().setBackend(nullptr);
    link.disconnect();
}

}  // namespace
