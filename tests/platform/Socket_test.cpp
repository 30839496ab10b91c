#include "platform/Socket.h"

#include <gtest/gtest.h>

#include "support/Loopback.h"

namespace vexa::platform {
namespace {

using test::LoopbackServer;

// Waits until an event in mask shows up, collecting everything reported on the way.
uint32_t waitFor(Socket& socket, uint32_t mask, int turns = 50) {
  uint32_t seen = 0;
  for (int i = 0; i < turns && (seen & mask) == 0; ++i) seen |= socket.waitEvents(kNetEventWaitMs);
  return seen;
}

struct ConnectedSocket : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(socket.create(Socket::Type::Stream), 0);
    ASSERT_EQ(socket.selectEvents(kAllNetEvents), 0);
    const int result = socket.connect("127.0.0.1", server.port());
    ASSERT_TRUE(result == 0 || result == kWouldBlock);
    ASSERT_TRUE(server.accept());
  }
  LoopbackServer server;
  Socket socket;
};

TEST_F(ConnectedSocket, ReportsConnectAndOneWriteThenReadWhileDataWaitsThenThePeerClosing) {
  EXPECT_EQ(waitFor(socket, kFdConnect), kFdConnect | kFdWrite);
  // No further write event while nothing blocked.
  EXPECT_EQ(socket.waitEvents(50), 0u);
  server.peer.send("hello");
  EXPECT_EQ(waitFor(socket, kFdRead), kFdRead);
  // Still readable: reported again until it is read.
  EXPECT_EQ(socket.waitEvents(kNetEventWaitMs), kFdRead);
  char buffer[16];
  EXPECT_EQ(socket.receive(buffer, sizeof buffer), 5);
  server.peer.close();
  EXPECT_EQ(waitFor(socket, kFdClose), kFdClose);
}

TEST_F(ConnectedSocket, DataBeforeCloseIsReadBeforeTheCloseIsReported) {
  waitFor(socket, kFdConnect);
  server.peer.send("last words");
  server.peer.close();
  EXPECT_EQ(waitFor(socket, kFdRead | kFdClose), kFdRead);
}

TEST(Socket, SendToAClosedPeerFailsWithoutKillingTheProcess) {
  LoopbackServer server;
  Socket socket;
  ASSERT_EQ(socket.create(Socket::Type::Stream), 0);
  ASSERT_TRUE(socket.connect("127.0.0.1", server.port()) == 0);
  ASSERT_TRUE(server.accept());
  server.peer.close();
  const std::string block(65536, 'x');
  ssize_t result = 0;
  // The first sends may still be accepted locally; a later one reports the reset.
  for (int i = 0; i < 100 && result >= 0; ++i) result = socket.send(block.data(), block.size());
  EXPECT_LT(result, 0);
}

}  // namespace
}  // namespace vexa::platform
