#include "session/DatagramWorker.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "support/Datagrams.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using test::eventually;

std::span<const uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// A receiver in miniature: keeps every datagram; "bye" makes it end its own worker.
struct Collector {
  std::mutex mutex;
  std::vector<std::string> datagrams;
  DatagramWorker worker{[this](std::span<const uint8_t> datagram) { onDatagram(datagram); }};

  void onDatagram(std::span<const uint8_t> datagram) {
    std::string text(datagram.begin(), datagram.end());
    if (text == "bye") worker.requestStop();
    std::lock_guard lock(mutex);
    datagrams.push_back(std::move(text));
  }
  std::vector<std::string> received() {
    std::lock_guard lock(mutex);
    return datagrams;
  }
};

struct DatagramWorkerTest : ::testing::Test {
  DatagramWorker::Target target(std::string group = {}, std::string interfaceAddress = {}) {
    return {.port = port,
            .multicastGroup = std::move(group),
            .interfaceAddress = std::move(interfaceAddress),
            .receiveBufferSize = 0x40000};
  }
  void startListening(DatagramWorker::Target where) {
    ASSERT_EQ(collector.worker.start(std::move(where)), platform::kStarted);
    ASSERT_TRUE(eventually([&] { return collector.worker.listening(); }));
  }

  uint16_t port = test::freeUdpPort();
  test::DatagramSender sender{port};
  Collector collector;
};

TEST_F(DatagramWorkerTest, HandsEachDatagramToTheStepWholeAndInOrder) {
  startListening(target());
  for (const char* text : {"first", "", "third"}) ASSERT_TRUE(sender.send(bytesOf(text)));
  ASSERT_TRUE(eventually([&] { return collector.received().size() == 3; }));
  EXPECT_EQ(collector.received(), (std::vector<std::string>{"first", "", "third"}));
  EXPECT_TRUE(collector.worker.running());
}

TEST_F(DatagramWorkerTest, ReadsAtMostOneChunkOfALongDatagram) {
  startListening(target());
  const std::string longOne(3000, 'x');
  ASSERT_TRUE(sender.send(bytesOf(longOne)));
  ASSERT_TRUE(sender.send(bytesOf("next")));
  ASSERT_TRUE(eventually([&] { return collector.received().size() == 2; }));
  EXPECT_EQ(collector.received()[0], longOne.substr(0, DatagramWorker::kReceiveChunk));
  EXPECT_EQ(collector.received()[1], "next");
}

TEST_F(DatagramWorkerTest, StartReportsAlreadyRunningAndStopJoins) {
  startListening(target());
  EXPECT_EQ(collector.worker.start(target()), platform::kAlreadyRunning);
  collector.worker.stop();
  EXPECT_FALSE(collector.worker.hasThread());
  EXPECT_FALSE(collector.worker.listening());
}

TEST_F(DatagramWorkerTest, TheStepCanEndTheWorker) {
  startListening(target());
  ASSERT_TRUE(sender.send(bytesOf("bye")));
  EXPECT_TRUE(eventually([&] { return !collector.worker.running(); }));
  EXPECT_TRUE(eventually([&] { return !collector.worker.listening(); }));
  collector.worker.stop();
  EXPECT_FALSE(collector.worker.hasThread());
}

TEST_F(DatagramWorkerTest, AGroupMemberStillReceivesDatagramsSentToItsPort) {
  startListening(target("239.255.77.1", "127.0.0.1"));
  ASSERT_TRUE(sender.send(bytesOf("to the port")));
  EXPECT_TRUE(eventually([&] { return collector.received().size() == 1; }));
  collector.worker.stop();  // leaves the group on the way out
}

TEST_F(DatagramWorkerTest, AUnicastAddressGivenAsGroupBindsWithoutJoining) {
  startListening(target("127.0.0.1", "127.0.0.1"));
  ASSERT_TRUE(sender.send(bytesOf("unicast")));
  EXPECT_TRUE(eventually([&] { return collector.received().size() == 1; }));
}

TEST_F(DatagramWorkerTest, AMembershipThatCannotBeMadeEndsTheWorker) {
  // 192.0.2.1 (TEST-NET-1) is no address of this machine: there is no interface to join on.
  ASSERT_EQ(collector.worker.start(target("239.255.77.1", "192.0.2.1")), platform::kStarted);
  EXPECT_TRUE(eventually([&] { return !collector.worker.running(); }));
  EXPECT_FALSE(collector.worker.listening());
  collector.worker.stop();
}

TEST_F(DatagramWorkerTest, APortHeldByAnotherSocketEndsTheWorker) {
  const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(collector.worker.start(target()), platform::kStarted);
  EXPECT_TRUE(eventually([&] { return !collector.worker.running(); }));
  EXPECT_FALSE(collector.worker.listening());
  collector.worker.stop();
  ::close(holder);
}

// An echo in miniature: the step answers every datagram from the worker's own socket to the
// address and port it came from.
TEST(DatagramWorkerReply, TheStepLearnsTheSenderAndAnswersFromTheBoundPort) {
  DatagramWorker* self = nullptr;
  DatagramWorker echo([&self](std::span<const uint8_t> datagram) {
    if (const auto from = self->sender()) self->sendTo(datagram, *from);
  });
  self = &echo;
  ASSERT_EQ(echo.start({.port = 0}), platform::kStarted);
  ASSERT_TRUE(eventually([&] { return echo.listening(); }));
  ASSERT_NE(echo.localPort(), 0);

  const int peer = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(echo.localPort());
  for (const std::string text : {"ping", ""}) {
    ASSERT_EQ(::sendto(peer, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&address),
                       sizeof address),
              ssize_t(text.size()));
    pollfd waiting{peer, POLLIN, 0};
    ASSERT_GT(::poll(&waiting, 1, int(std::chrono::milliseconds(test::kGenerousWait).count())), 0);
    char reply[16];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got =
        ::recvfrom(peer, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &length);
    EXPECT_EQ(std::string(reply, size_t(std::max<ssize_t>(got, 0))), text);
    EXPECT_EQ(ntohs(from.sin_port), echo.localPort());
  }
  ::close(peer);
  echo.stop();
  EXPECT_EQ(echo.localPort(), 0);
}

}  // namespace
}  // namespace vexa
