#include "net/SocketWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include "platform/Thread.h"
#include "support/HungResolver.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using test::eventually;
using test::LoopbackServer;

// A handler in miniature: counts its write events and quiet periods, keeps the connect result.
struct Handler {
  explicit Handler(platform::NameResolver resolve = {})
      : worker({.read = [this] { worker.receive(); },
                .write = [this] { ++writes; },
                .quiet = [this] { ++quietPeriods; },
                .connected = [this](int error) { connectError = error; },
                .closed = [this] { closed = true; }},
               std::move(resolve)) {}

  std::atomic<int> writes{0};
  std::atomic<int> quietPeriods{0};
  std::atomic<int> connectError{-1};
  std::atomic<bool> closed{false};
  SocketWorker worker;
};

TEST(SocketWorker, AConnectionThatCannotBeMadeSaysWhyAndEndsTheThread) {
  uint16_t closedPort = 0;
  {
    LoopbackServer gone;
    closedPort = gone.port();
  }
  const struct {
    const char* host;
    uint16_t port;
    const char* cause;
    int connectError;
  } cases[] = {{"no-such-camera.invalid", 80, "name does not resolve", EHOSTUNREACH},
               {"127.0.0.1", closedPort, "connection refused", ECONNREFUSED}};
  for (const auto& c : cases) {
    Handler handler;
    EXPECT_FALSE(handler.worker.sendAll("x")) << "sends nothing before the run flag is set";
    EXPECT_TRUE(handler.worker.play({.host = c.host, .port = c.port})) << "the thread started";
    EXPECT_TRUE(eventually([&] { return handler.worker.finished(); })) << c.host;
    ASSERT_TRUE(handler.worker.status().failure()) << c.host;
    EXPECT_EQ(handler.worker.status().failure()->cause(), c.cause);
    handler.worker.stop();
    EXPECT_EQ(handler.writes, 0);
    EXPECT_EQ(handler.connectError, c.connectError);
  }
}

TEST(SocketWorker, QuietPeriodsAreCountedUntilThePeerClosesAndTheCloseIsReported) {
  LoopbackServer server;
  test::HungResolver hung;  // a numeric address never reaches it
  Handler handler(hung.resolver());
  ASSERT_TRUE(handler.worker.play({.host = "127.0.0.1", .port = server.port()}));
  ASSERT_TRUE(server.accept());
  EXPECT_FALSE(hung.entered());
  EXPECT_TRUE(eventually([&] { return handler.quietPeriods >= 2; }));
  EXPECT_EQ(handler.connectError, 0);
  server.peer.close();
  EXPECT_TRUE(eventually([&] { return handler.worker.finished(); }));
  EXPECT_TRUE(handler.closed);
}

TEST(SocketWorker, AHungLookUpCountsAsQuietPeriodsAndAStopAbandonsIt) {
  test::HungResolver hung;
  {
    Handler handler(hung.resolver());
    ASSERT_TRUE(handler.worker.play({.host = "camera.test", .port = 80}));
    ASSERT_TRUE(hung.waitEntered());
    EXPECT_TRUE(eventually([&] { return handler.quietPeriods >= 3; }));
    handler.worker.stop();
    EXPECT_TRUE(hung.entered()) << "stopped while the look-up still hangs";
    EXPECT_TRUE(handler.worker.finished());
    EXPECT_EQ(handler.connectError, -1) << "an abandoned look-up reports no connect";
  }
  hung.release();
  EXPECT_TRUE(hung.allLetGo());
}

TEST(SocketWorker, AStepCanMoveTheConnectionElsewhereAndThePeerClosingIsALoss) {
  LoopbackServer first, second;
  std::atomic<bool> moved{false};
  SocketWorker* self = nullptr;
  SocketWorker worker({.read =
                           [&] {
                             self->receive();
                             if (!moved.exchange(true))
                               self->reconnect({.host = "127.0.0.1", .port = second.port()});
                           },
                       .write = [&] { self->sendAll("hello"); }});
  self = &worker;
  ASSERT_TRUE(worker.play({.host = "127.0.0.1", .port = first.port()}));
  ASSERT_TRUE(first.accept());
  first.peer.send("go elsewhere");
  ASSERT_TRUE(second.accept());
  EXPECT_TRUE(second.peer.receiveUntil([](const std::string& text) { return text == "hello"; }));
  EXPECT_TRUE(first.peer.receiveUntilClosed()) << "the first connection was closed";
  second.peer.close();
  EXPECT_TRUE(eventually([&] { return worker.finished(); }));
  EXPECT_EQ(worker.status().failure()->fault, StreamFault::kConnectionLost);
}

}  // namespace
}  // namespace vexa
