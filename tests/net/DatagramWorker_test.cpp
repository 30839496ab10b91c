#include "net/DatagramWorker.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "support/Datagrams.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using test::eventually;

// A receiver in miniature: keeps every datagram.
struct Collector {
  std::mutex mutex;
  std::vector<std::string> datagrams;
  DatagramWorker worker{[this](std::span<const uint8_t> datagram) { onDatagram(datagram); }};

  void onDatagram(std::span<const uint8_t> datagram) {
    std::lock_guard lock(mutex);
    datagrams.emplace_back(datagram.begin(), datagram.end());
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
  // Sends the texts and waits for as many datagrams to arrive.
  std::vector<std::string> exchange(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) EXPECT_TRUE(sender.sendTo(port, text));
    EXPECT_TRUE(eventually([&] { return collector.received().size() >= texts.size(); }));
    return collector.received();
  }

  uint16_t port = test::freeUdpPort();
  test::UdpEnd sender;
  Collector collector;
};

// A long datagram is read up to one chunk; stop() joins the thread.
TEST_F(DatagramWorkerTest, HandsEachDatagramToTheStepWholeAndInOrder) {
  startListening(target());
  EXPECT_EQ(collector.worker.start(target()), platform::kAlreadyRunning);
  const std::string longOne(3000, 'x');
  EXPECT_EQ(exchange({"first", "", longOne, "next"}),
            (std::vector<std::string>{"first", "", longOne.substr(0, DatagramWorker::kReceiveChunk),
                                      "next"}));
  EXPECT_TRUE(collector.worker.running());
  collector.worker.stop();
  EXPECT_FALSE(collector.worker.hasThread());
  EXPECT_FALSE(collector.worker.listening());
}

// A group member still receives datagrams sent to its port; a unicast address given as group
// binds without joining.
TEST_F(DatagramWorkerTest, AGroupMemberStillReceivesDatagramsSentToItsPort) {
  startListening(target("239.255.77.1", "127.0.0.1"));
  EXPECT_EQ(exchange({"to the port"}).size(), 1u);
  collector.worker.stop();  // leaves the group on the way out
  Collector unicast;
  ASSERT_EQ(unicast.worker.start(target("127.0.0.1", "127.0.0.1")), platform::kStarted);
  ASSERT_TRUE(eventually([&] { return unicast.worker.listening(); }));
  ASSERT_TRUE(sender.sendTo(port, "unicast"));
  EXPECT_TRUE(eventually([&] { return unicast.received().size() == 1; }));
}

// 192.0.2.1 (TEST-NET-1) is no address of this machine: there is no interface to join on.
TEST_F(DatagramWorkerTest, AMembershipOrPortThatCannotBeHadEndsTheWorker) {
  const test::UdpEnd holder("0.0.0.0", test::freeUdpPort());
  ASSERT_TRUE(holder.bound());
  for (const DatagramWorker::Target& where :
       {target("239.255.77.1", "192.0.2.1"), DatagramWorker::Target{.port = holder.port()}}) {
    Collector failing;
    ASSERT_EQ(failing.worker.start(where), platform::kStarted);
    EXPECT_TRUE(eventually([&] { return !failing.worker.running(); })) << where.port;
    EXPECT_FALSE(failing.worker.listening());
    failing.worker.stop();
  }
}

}  // namespace
}  // namespace vexa
