#include "display/MotionState.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "display/MotionValues.h"
#include "support/HungResolver.h"
#include "support/Loopback.h"

namespace vexa {
namespace {

using Levels = std::vector<int8_t>;

MotionValues::Taken parsed(std::string_view text, size_t splitAt = std::string_view::npos) {
  MotionValues values;
  values.feed(text.substr(0, splitAt));
  if (splitAt < text.size()) values.feed(text.substr(splitAt));
  return values.take();
}

TEST(MotionValues, ValuesAreTheLastTwoDigitsBeforeEachDelimiterWhereverTheReadsSplit) {
  const struct {
    const char* text;
    Levels levels;
    int32_t threshold;
    bool active;
  } cases[] = {
      {"32$64$", {50, 100}, 80, true},
      {"96$", {}, 50, false},
      {"32$C9$", {50}, 80, false},
      {"$$32$", {50}, 80, true},
      {"123$", {0x23}, 80, true},
      {"5$", {5}, 80, true},
      {"3x2$", {2}, 80, true},
      {"0000000000000000000032$", {50}, 80, true},
      {"32", {}, 80, false},
  };
  for (const auto& c : cases) {
    const std::string_view text = c.text;
    for (size_t split = 0; split <= text.size(); ++split) {
      const MotionValues::Taken taken = parsed(text, split);
      EXPECT_EQ(std::tuple(taken.levels, taken.threshold, taken.active),
                std::tuple(c.levels, c.threshold, c.active))
          << text << " split at " << split;
    }
  }
}

TEST(MotionValues, QueueKeepsTheNewestLevelsAndTakeEmptiesIt) {
  MotionValues values;
  for (int level = 0; level <= 100; ++level) {
    char text[8];
    snprintf(text, sizeof text, "%02x$", level);
    values.feed(text);
  }
  const MotionValues::Taken taken = values.take();
  ASSERT_EQ(taken.levels.size(), MotionValues::kMaxQueuedLevels);
  EXPECT_EQ(taken.levels.front(), 1);
  EXPECT_EQ(taken.levels.back(), 100);
  EXPECT_TRUE(values.take().levels.empty());
}

TEST(MotionState, HostIsTheAddressPartWithoutItsPort) {
  const struct {
    const char* url;
    const char* host;
  } cases[] = {
      {"http://cam.local/axis-cgi/x", "cam.local"}, {"10.0.0.5", "10.0.0.5"},
      {"http://127.0.0.1:8008/", "127.0.0.1"},     {"127.0.0.1:8008", "127.0.0.1"},
      {"http://[::1]:8008/x", "[::1]"},            {"::1", "::1"},
  };
  for (const auto& c : cases) EXPECT_EQ(motionHostOf(c.url), c.host) << c.url;
}

TEST(MotionState, ReadsValuesSplitAcrossReadsUntilTheCameraCloses) {
  test::LoopbackServer camera;
  MotionState poller("http://127.0.0.1/", camera.port());
  ASSERT_EQ(poller.start(), 2);
  EXPECT_EQ(poller.start(), 1);
  ASSERT_TRUE(camera.accept());

  Levels levels;
  MotionValues::Taken last;
  const auto collect = [&] {
    last = poller.take();
    levels.insert(levels.end(), last.levels.begin(), last.levels.end());
  };
  ASSERT_TRUE(camera.peer.send("32$6"));
  EXPECT_TRUE(test::eventually([&] { return collect(), !levels.empty(); }));
  EXPECT_TRUE(last.active);
  ASSERT_TRUE(camera.peer.send("4$C9$"));
  camera.peer.close();
  EXPECT_TRUE(test::eventually([&] { return poller.finished(); }));
  collect();
  EXPECT_EQ(levels, (Levels{50, 100}));
  EXPECT_FALSE(last.active);
  EXPECT_FALSE(poller.running());
}

TEST(MotionState, GoesAwayWithoutWaitingForAHungLookUp) {
  test::HungResolver hung;
  {
    MotionState poller("http://camera.test/", MotionState::kMotionPort, hung.resolver());
    ASSERT_EQ(poller.start(), 2);
    ASSERT_TRUE(hung.waitEntered());
  }
  EXPECT_TRUE(hung.entered()) << "destroyed while the look-up still hangs";
  hung.release();
  EXPECT_TRUE(hung.allLetGo());
}

TEST(MotionState, HostWithAPortConnectsToTheMotionPort) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  const int reuse = 1;  // a run just before may leave the port waiting
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(MotionState::kMotionPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 1) != 0) {
    ::close(listener);
    GTEST_SKIP() << "the motion port is taken on this machine";
  }
  MotionState poller("127.0.0.1:8008");
  ASSERT_EQ(poller.start(), 2);
  pollfd waiting{listener, POLLIN, 0};
  EXPECT_EQ(::poll(&waiting, 1, int(std::chrono::milliseconds(test::kGenerousWait).count())), 1);
  test::LoopbackConnection peer;
  peer.adopt(::accept(listener, nullptr, nullptr));
  EXPECT_TRUE(peer.connected());
  ::close(listener);
}

}  // namespace
}  // namespace vexa
