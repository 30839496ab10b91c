#include "protocol/rtcp/IPCameraRTCP.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t big32(const Bytes& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
         b[at + 3];
}

void putBig32(Bytes& b, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(value >> (24 - 8 * i));
}

// A sender report without report blocks (RFC 3550 section 6.4.1), 28 bytes.
Bytes senderReport(uint32_t ssrc, uint64_t ntp, uint32_t rtpTimestamp) {
  Bytes p = {
      0x80, 200, 0x00, 0x06,              // V=2, no blocks, SR, length 6
      0,    0,   0,    0,                 // SSRC of sender
      0,    0,   0,    0,    0, 0, 0, 0,  // NTP timestamp
      0,    0,   0,    0,                 // RTP timestamp
      0,    0,   0,    10,                // sender's packet count
      0,    0,   0,    99,                // sender's octet count
  };
  putBig32(p, 4, ssrc);
  putBig32(p, 8, uint32_t(ntp >> 32));
  putBig32(p, 12, uint32_t(ntp));
  putBig32(p, 16, rtpTimestamp);
  return p;
}

// A receiver report with one block, as a camera that also receives might send.
const Bytes kReceiverReport = {0x81, 201, 0x00, 0x07, 9, 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0,
                               0,    0,   0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

struct Datagram {
  Bytes bytes;
  uint16_t fromPort = 0;
};

// The camera's RTCP end: a plain UDP socket on a loopback address, port of the system's choice.
class FakeCamera {
 public:
  explicit FakeCamera(const char* address = "127.0.0.1", uint16_t port = 0)
      : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address, &local.sin_addr);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
  }
  FakeCamera(const FakeCamera&) = delete;
  FakeCamera& operator=(const FakeCamera&) = delete;
  ~FakeCamera() { ::close(fd_); }

  bool bound() const { return bound_; }
  uint16_t port() const { return port_; }

  bool send(uint16_t toPort, const Bytes& datagram) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(toPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                    sizeof to) == ssize_t(datagram.size());
  }

  std::optional<Datagram> receive() {
    pollfd waiting{fd_, POLLIN, 0};
    const int waitMs = int(std::chrono::milliseconds(test::kGenerousWait).count());
    if (::poll(&waiting, 1, waitMs) <= 0) return std::nullopt;
    Datagram d;
    d.bytes.resize(2048);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got = ::recvfrom(fd_, d.bytes.data(), d.bytes.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) return std::nullopt;
    d.bytes.resize(size_t(got));
    d.fromPort = ntohs(from.sin_port);
    return d;
  }

 private:
  int fd_;
  bool bound_ = false;
  uint16_t port_ = 0;
};

struct IPCameraRTCPTest : ::testing::Test {
  void SetUp() override { startAt("127.0.0.1"); }

  void startAt(const std::string& destination) {
    ASSERT_EQ(rtcp.start(destination, 0), platform::kStarted);
    ASSERT_TRUE(test::eventually([&] { return rtcp.listening(); }));
  }
  void setFigures(ReceptionFigures next) {
    std::lock_guard lock(mutex);
    figures = next;
  }
  // What the object answers to one datagram from the camera.
  Bytes answer(const Bytes& datagram, FakeCamera& from) {
    if (!from.send(rtcp.localPort(), datagram)) return {};
    const std::optional<Datagram> reply = from.receive();
    if (!reply) return {};
    // Sent from the socket the camera addressed, as RTCP peers expect.
    EXPECT_EQ(reply->fromPort, rtcp.localPort());
    return reply->bytes;
  }
  Bytes answer(const Bytes& datagram) { return answer(datagram, camera); }

  std::mutex mutex;
  ReceptionFigures figures;
  platform::ManualClock clock{5000};
  FakeCamera camera;
  IPCameraRTCP rtcp{[this] {
                      std::lock_guard lock(mutex);
                      return figures;
                    },
                    clock};
};

TEST_F(IPCameraRTCPTest, AnswersASenderReportWithTheReceiverReportAndCname) {
  setFigures({.lastSequence = 500, .wrapCount = 2, .lostPackets = 0x01020304});
  const Bytes report = answer(senderReport(0xCAFEBABE, 0x0102030405060708, 9000));
  ASSERT_EQ(report.size(), IPCameraRTCPPacket::kReportSize);
  EXPECT_EQ(big32(report, 0), 0x81C90007u);                  // V=2, one block, RR, length 7
  EXPECT_NE(big32(report, 4), 0xCAFEBABEu);                  // our SSRC differs from the camera's
  EXPECT_EQ(big32(report, 8), 0xCAFEBABEu);                  // SSRC of source, from the SR
  EXPECT_EQ(big32(report, 12) & 0xFFFFFF, 0x020304u);        // cumulative lost, 24 bits
  EXPECT_EQ(big32(report, 16), 2u * 65536u + 500u);          // extended highest sequence
  EXPECT_EQ(big32(report, 24), 0x03040506u);                 // LSR: middle 32 bits of the NTP time
  EXPECT_EQ(big32(report, 32) & ~0x20000000u, 0x81CA0004u);  // SDES, one chunk, length 4
  EXPECT_EQ(big32(report, 36), big32(report, 4));            // the same SSRC
  EXPECT_EQ(report[40], 1);                                  // CNAME item

  std::string name = platform::computerName();
  if (name.empty()) name = IPCameraRTCPPacket::kDefaultCname;
  name = name.substr(0, IPCameraRTCPPacket::kCnameCapacity);
  ASSERT_EQ(report[41], name.size());
  EXPECT_EQ(std::string(report.begin() + 42, report.begin() + 42 + long(name.size())), name);
  if (name.size() < IPCameraRTCPPacket::kCnameCapacity) {
    EXPECT_EQ(report[42 + name.size()], 0);  // the end of the item list
  }

  EXPECT_EQ(rtcp.start("127.0.0.1", 0), platform::kAlreadyRunning);
  EXPECT_TRUE(test::eventually([&] { return rtcp.reportsSent() == 1u; }));
}

TEST_F(IPCameraRTCPTest, FiguresFollowTheStreamFromReportToReport) {
  setFigures({.lastSequence = 100, .wrapCount = 0, .lostPackets = 0});
  Bytes report = answer(senderReport(0xCAFEBABE, 0x00000000AABBCCDDull << 16, 0));
  ASSERT_EQ(report.size(), 52u);
  const uint32_t before = big32(report, 16);

  // A whole cycle later, 256 of the 65,536 expected lost: fraction 1/256.
  setFigures({.lastSequence = 100, .wrapCount = 1, .lostPackets = 256});
  report = answer(kReceiverReport);
  ASSERT_EQ(report.size(), 52u);
  EXPECT_EQ(big32(report, 16), before + 65536u);
  EXPECT_EQ(report[12], 1);
  // A receiver report from the camera changes neither the source nor the LSR.
  EXPECT_EQ(big32(report, 8), 0xCAFEBABEu);
  EXPECT_EQ(big32(report, 24), 0xAABBCCDDu);

  // Nothing in between: fraction 0, the cumulative count stands.
  report = answer(kReceiverReport);
  ASSERT_EQ(report.size(), 52u);
  EXPECT_EQ(report[12], 0);
  EXPECT_EQ(big32(report, 12) & 0xFFFFFF, 256u);
}

// Each to the port it came from, an empty one too; what is no sender report changes nothing.
TEST_F(IPCameraRTCPTest, EveryDatagramIsAnsweredAtItsSourcePort) {
  FakeCamera other;
  ASSERT_EQ(answer(senderReport(0xCAFEBABE, 0x11111111ull << 16, 0), camera).size(), 52u);
  ASSERT_EQ(answer({}, other).size(), 52u);
  const Bytes last = answer(kReceiverReport, camera);
  ASSERT_EQ(last.size(), 52u);
  EXPECT_EQ(big32(last, 8), 0xCAFEBABEu);
  EXPECT_EQ(big32(last, 24), 0x11111111u);
  EXPECT_TRUE(test::eventually([&] { return rtcp.reportsSent() == 3u; }));
}

TEST_F(IPCameraRTCPTest, TheMediaClockScalesTheJitter) {
  rtcp.setMediaClock(MediaClock::kAudio);
  ASSERT_EQ(answer(senderReport(1, 0, 0)).size(), 52u);
  clock.advance(1000);
  // One second is 8,000 units of the audio clock; the timestamps moved 9,600: D = 1,600.
  const Bytes report = answer(senderReport(1, 0, 9600));
  ASSERT_EQ(report.size(), 52u);
  EXPECT_EQ(big32(report, 20), 1600u / 16);
}

// The reports go to the address given at start, at the port the camera sent from.
TEST(IPCameraRTCPDestination, ReportsGoToTheGivenAddressNotTheSenders) {
  FakeCamera sender("127.0.0.1");
  FakeCamera listener("127.0.0.2", sender.port());
  if (!listener.bound()) GTEST_SKIP() << "127.0.0.2 is not usable here";
  IPCameraRTCP rtcp([] { return ReceptionFigures{}; });
  ASSERT_EQ(rtcp.start("127.0.0.2", 0), platform::kStarted);
  ASSERT_TRUE(test::eventually([&] { return rtcp.listening(); }));
  ASSERT_TRUE(sender.send(rtcp.localPort(), kReceiverReport));
  const std::optional<Datagram> report = listener.receive();
  ASSERT_TRUE(report);
  EXPECT_EQ(report->bytes.size(), 52u);
  EXPECT_EQ(report->fromPort, rtcp.localPort());
}

TEST(IPCameraRTCPDestination, AHostNameIsLookedUp) {
  FakeCamera camera;
  IPCameraRTCP rtcp([] { return ReceptionFigures{}; });
  ASSERT_EQ(rtcp.start("localhost", 0), platform::kStarted);
  ASSERT_TRUE(test::eventually([&] { return rtcp.listening(); }));
  ASSERT_TRUE(camera.send(rtcp.localPort(), kReceiverReport));
  const std::optional<Datagram> report = camera.receive();
  ASSERT_TRUE(report);
  EXPECT_EQ(report->bytes.size(), 52u);
}

// A capture of one IPv4/UDP datagram (link type "raw IP"), for a dissector to read.
void writePcap(const std::string& path, const Bytes& payload, uint16_t sourcePort,
               uint16_t destinationPort) {
  auto little32 = [](Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
  };
  auto big16 = [](Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
  };
  constexpr uint32_t kRawIpLinkType = 101;
  const uint32_t udpLength = 8 + uint32_t(payload.size());
  const uint32_t ipLength = 20 + udpLength;
  Bytes file;
  little32(file, 0xA1B2C3D4);    // magic, microsecond stamps
  little32(file, 2 | 4u << 16);  // version 2.4
  little32(file, 0);             // time zone
  little32(file, 0);             // accuracy
  little32(file, 65535);         // snap length
  little32(file, kRawIpLinkType);
  little32(file, 0);         // record: seconds
  little32(file, 0);         // microseconds
  little32(file, ipLength);  // captured
  little32(file, ipLength);  // on the wire
  Bytes ip = {0x45, 0, 0, 0, 0, 0, 0, 0, 64, 17, 0, 0, 127, 0, 0, 1, 127, 0, 0, 1};
  ip[2] = uint8_t(ipLength >> 8);
  ip[3] = uint8_t(ipLength);
  uint32_t sum = 0;
  for (size_t i = 0; i < ip.size(); i += 2) sum += uint32_t(ip[i]) << 8 | ip[i + 1];
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  ip[10] = uint8_t(~sum >> 8);
  ip[11] = uint8_t(~sum);
  file.insert(file.end(), ip.begin(), ip.end());
  big16(file, sourcePort);
  big16(file, destinationPort);
  big16(file, udpLength);
  big16(file, 0);  // no checksum
  file.insert(file.end(), payload.begin(), payload.end());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
}

std::string runCommand(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char chunk[256];
    while (size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, got);
    ::pclose(pipe);
  }
  return output;
}

bool haveDissector() {
  return std::system("command -v tshark >/dev/null 2>&1") == 0;
}

// The fields a standard RTCP dissector reads from the report, "|"-separated: its complaints
// (expert messages, malformation) first, then packet types, CNAME, extended highest sequence
// and LSR.
std::string dissect(const Bytes& report, uint16_t from, uint16_t to) {
  test::TempFolder folder;
  const std::string capture = folder.file("report.pcap");
  writePcap(capture, report, from, to);
  return runCommand("tshark -r '" + capture + "' -d udp.port==" + std::to_string(to) +
                    ",rtcp -T fields -E separator='|' -e _ws.expert.message -e _ws.malformed"
                    " -e rtcp.pt -e rtcp.sdes.text -e rtcp.ssrc.ext_high -e rtcp.ssrc.lsr"
                    " 2>/dev/null");
}

TEST_F(IPCameraRTCPTest, TheReportOnTheWireReadsCleanInAStandardDissector) {
  if (!haveDissector()) GTEST_SKIP() << "tshark is not installed";
  setFigures({.lastSequence = 7, .wrapCount = 1, .lostPackets = 3});
  ASSERT_EQ(answer(senderReport(0xCAFEBABE, 0x0102030405060708, 0)).size(), 52u);
  const Bytes report = answer(kReceiverReport);
  ASSERT_EQ(report.size(), 52u);
  const std::string cname(report.begin() + 42, report.begin() + 42 + report[41]);
  EXPECT_EQ(dissect(report, rtcp.localPort(), camera.port()),
            "||201,202|" + cname + "|65543|" + std::to_string(0x03040506) + "\n");
}

TEST(ReceiverReportDissection, EveryNameLengthReadsClean) {
  if (!haveDissector()) GTEST_SKIP() << "tshark is not installed";
  platform::ManualClock clock;
  for (const std::string name :
       {"a", "pc", "abcde", "abcdef", "abcdefghi", "abcdefghij", "a-fifteen-chars"}) {
    IPCameraRTCPPacket rtcp(MediaClock::kVideo, clock, name, 7);
    const auto report = rtcp.process({}, {.lastSequence = 1});
    EXPECT_EQ(dissect(Bytes(report.begin(), report.end()), 5000, 5001),
              "||201,202|" + name.substr(0, 10) + "|1|0\n")
        << name;
  }
}

}  // namespace
}  // namespace vexa
