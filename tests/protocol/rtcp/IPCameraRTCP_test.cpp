#include "protocol/rtcp/IPCameraRTCP.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "support/Datagrams.h"
#include "support/Loopback.h"
#include "support/RtcpPackets.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;
using test::big32;
using test::kReceiverReport;
using test::senderReport;
using test::UdpEnd;

struct IPCameraRTCPTest : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(rtcp.start("127.0.0.1", 0), platform::kStarted);
    ASSERT_TRUE(test::eventually([&] { return rtcp.listening(); }));
  }
  void setFigures(ReceptionFigures next) {
    std::lock_guard lock(mutex);
    figures = next;
  }
  // What the object answers to one datagram from the camera.
  Bytes answer(const Bytes& datagram, UdpEnd& from) {
    if (!from.sendTo(rtcp.localPort(), datagram)) return {};
    const auto reply = from.receive();
    if (!reply) return {};
    // Sent from the socket the camera addressed, as RTCP peers expect.
    EXPECT_EQ(reply->fromPort, rtcp.localPort());
    return reply->bytes;
  }
  Bytes answer(const Bytes& datagram) { return answer(datagram, camera); }

  std::mutex mutex;
  ReceptionFigures figures;
  platform::ManualClock clock{5000};
  UdpEnd camera;
  IPCameraRTCP rtcp{[this] {
                      std::lock_guard lock(mutex);
                      return figures;
                    },
                    clock};
};

// The figures come from the source given, the CNAME is the computer's name, the jitter is
// measured on the media clock set. Each datagram is answered at the port it came from, an empty
// one too. (What a report holds is in IPCameraRTCPPacket_test.cpp.)
TEST_F(IPCameraRTCPTest, AnswersEveryDatagramAtItsSourcePort) {
  setFigures({.lastSequence = 500, .wrapCount = 2, .lostPackets = 0x01020304});
  rtcp.setMediaClock(MediaClock::kAudio);
  Bytes report = answer(senderReport(0xCAFEBABE, 0, 0));
  ASSERT_EQ(report.size(), IPCameraRTCPPacket::kReportSize);
  EXPECT_EQ(big32(report, 12) & 0xFFFFFF, 0x020304u);  // cumulative lost, 24 bits
  EXPECT_EQ(big32(report, 16), 2u * 65536u + 500u);    // extended highest sequence
  IPCameraRTCPPacket named(MediaClock::kAudio, clock, platform::computerName(), 7);
  const auto cname = named.process({}, {}).subspan(40);  // the CNAME item and what pads it
  EXPECT_EQ(Bytes(report.begin() + 40, report.end()), Bytes(cname.begin(), cname.end()));

  UdpEnd other;
  ASSERT_EQ(answer({}, other).size(), 52u);
  // One second is 8,000 units of the audio clock; the timestamps moved 9,600: D = 1,600.
  clock.advance(1000);
  report = answer(senderReport(0xCAFEBABE, 0x03040506, 9600));
  ASSERT_EQ(report.size(), 52u);
  EXPECT_EQ(big32(report, 20), 1600u / 16);
  EXPECT_EQ(rtcp.start("127.0.0.1", 0), platform::kAlreadyRunning);
  EXPECT_TRUE(test::eventually([&] { return rtcp.reportsSent() == 3u; }));
}

// The reports go to the address given at start (a host name is looked up), at the port the
// camera sent from.
TEST(IPCameraRTCPDestination, ReportsGoToTheGivenAddressNotTheSenders) {
  for (const char* destination : {"localhost", "127.0.0.2"}) {
    SCOPED_TRACE(destination);
    UdpEnd sender;
    UdpEnd elsewhere("127.0.0.2", sender.port());
    if (destination[0] == '1' && !elsewhere.bound()) GTEST_SKIP() << "127.0.0.2 is not usable";
    UdpEnd& listener = destination[0] == '1' ? elsewhere : sender;
    IPCameraRTCP rtcp([] { return ReceptionFigures{}; });
    ASSERT_EQ(rtcp.start(destination, 0), platform::kStarted);
    ASSERT_TRUE(test::eventually([&] { return rtcp.listening(); }));
    ASSERT_TRUE(sender.sendTo(rtcp.localPort(), kReceiverReport));
    const auto report = listener.receive();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->bytes.size(), 52u);
    EXPECT_EQ(report->fromPort, rtcp.localPort());
  }
}

// The fields a standard RTCP dissector reads from the report sent as one UDP datagram,
// "|"-separated: its complaints (expert messages, malformation) first, then packet types,
// CNAME, extended highest sequence and LSR.
std::string dissect(const Bytes& report) {
  test::TempFolder folder;
  const std::string dump = folder.file("report.txt"), capture = folder.file("report.pcap");
  {
    std::ofstream out(dump);  // a hex dump: offset 0, then every byte
    out << "000000" << std::hex << std::setfill('0');
    for (uint8_t byte : report) out << ' ' << std::setw(2) << int(byte);
  }
  const std::string command =
      "text2pcap -q -u 5000,5001 '" + dump + "' '" + capture + "' >/dev/null 2>&1 && tshark -r '" +
      capture +
      "' -d udp.port==5001,rtcp -T fields -E separator='|' -e _ws.expert.message"
      " -e _ws.malformed -e rtcp.pt -e rtcp.sdes.text -e rtcp.ssrc.ext_high -e rtcp.ssrc.lsr"
      " 2>/dev/null";
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char chunk[256];
    while (size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, got);
    ::pclose(pipe);
  }
  return output;
}

// Padded, unpadded and cut names.
TEST(ReceiverReportDissection, EveryNameLengthReadsClean) {
  if (std::system("command -v tshark text2pcap >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "tshark or text2pcap is not installed";
  platform::ManualClock clock;
  for (const std::string name : {"a", "pc", "abcdef", "a-fifteen-chars"}) {
    IPCameraRTCPPacket rtcp(MediaClock::kVideo, clock, name, 7);
    rtcp.process(senderReport(0xCAFEBABE, 0x03040506, 0), {});
    const auto report = rtcp.process(kReceiverReport, {.lastSequence = 7, .wrapCount = 1});
    EXPECT_EQ(dissect(Bytes(report.begin(), report.end())),
              "||201,202|" + name.substr(0, 10) + "|65543|" + std::to_string(0x03040506) + "\n")
        << name;
  }
}

}  // namespace
}  // namespace vexa
