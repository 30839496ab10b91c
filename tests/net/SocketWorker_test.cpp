#include "net/SocketWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "platform/Thread.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using test::eventually;
using test::LoopbackServer;

// A handler in miniature: sends a greeting on the first write event, collects what it reads.
struct EchoHandler {
  std::atomic<int> writes{0};
  std::mutex mutex;
  std::string received;
  SocketWorker worker{{.read = [this] { onRead(); }, .write = [this] { onWrite(); }}};

  void onRead() {
    worker.receive();
    std::lock_guard lock(mutex);
    received.assign(worker.recvBuffer().text());
  }
  void onWrite() {
    ++writes;
    worker.sendAll("hello camera\r\n");
  }
  std::string text() {
    std::lock_guard lock(mutex);
    return received;
  }
};

TEST(SocketWorker, SendsOnTheFirstWriteEventReadsWhatArrivesAndEndsWhenThePeerCloses) {
  LoopbackServer server;
  EchoHandler handler;
  ASSERT_TRUE(handler.worker.play({.host = "127.0.0.1", .port = server.port()}));
  ASSERT_TRUE(server.accept());
  ASSERT_TRUE(server.peer.receiveUntil([](const std::string& text) { return text.size() >= 14; }));
  EXPECT_EQ(server.peer.received(), "hello camera\r\n");
  server.peer.send("answer");
  EXPECT_TRUE(eventually([&] { return handler.text() == "answer"; }));
  EXPECT_EQ(handler.writes, 1);
  server.peer.close();
  EXPECT_TRUE(eventually([&] { return !handler.worker.running(); }));
  handler.worker.stop();
  EXPECT_FALSE(handler.worker.hasThread());
}

TEST(SocketWorker, StartReportsAlreadyRunningAndStartsNothing) {
  LoopbackServer server;
  EchoHandler handler;
  EXPECT_EQ(handler.worker.start({.host = "127.0.0.1", .port = server.port()}), platform::kStarted);
  EXPECT_EQ(handler.worker.start({.host = "127.0.0.1", .port = server.port()}),
            platform::kAlreadyRunning);
  EXPECT_FALSE(handler.worker.play({.host = "127.0.0.1", .port = server.port()}));
  handler.worker.stop();  // while the thread waits for events
  EXPECT_FALSE(handler.worker.hasThread());
}

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
  } cases[] = {{"no-such-camera.invalid", 80, "name does not resolve"},
               {"127.0.0.1", closedPort, "connection refused"}};
  for (const auto& c : cases) {
    EchoHandler handler;
    EXPECT_FALSE(handler.worker.sendAll("x")) << "sends nothing before the run flag is set";
    EXPECT_TRUE(handler.worker.play({.host = c.host, .port = c.port})) << "the thread started";
    EXPECT_TRUE(eventually([&] { return handler.worker.finished(); })) << c.host;
    ASSERT_TRUE(handler.worker.status().failure()) << c.host;
    EXPECT_EQ(handler.worker.status().failure()->cause(), c.cause);
    handler.worker.stop();
    EXPECT_EQ(handler.writes, 0);
  }
}

TEST(SocketWorker, AStepCanMoveTheConnectionElsewhereAndThePeerClosingIsALoss) {
  LoopbackServer first, second;
  std::atomic<bool> moved{false};
  SocketWorker* self = nullptr;
  SocketWorker worker({.read = [&] {
                         self->receive();
                         if (!moved.exchange(true)) self->reconnect({.host = "127.0.0.1", .port = second.port()});
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
