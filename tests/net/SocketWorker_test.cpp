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

TEST(SocketWorker, AnUnresolvableHostEndsTheWorkerButPlayReportsTheStartedThread) {
  EchoHandler handler;
  EXPECT_FALSE(handler.worker.sendAll("x")) << "sends nothing before the run flag is set";
  EXPECT_TRUE(handler.worker.play({.host = "no-such-camera.invalid", .port = 80}));
  handler.worker.stop();
  EXPECT_EQ(handler.writes, 0);
}

}  // namespace
}  // namespace vexa
