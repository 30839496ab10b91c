#include "platform/UiLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/Thread.h"

namespace vexa::platform {
namespace {

TEST(UiLoop, RunsTimersWhenTheirPeriodHasPassed) {
  ManualClock clock(1000);
  UiLoop loop(clock);
  int fast = 0, slow = 0;
  loop.setTimer(0, 5, [&] { ++fast; });
  loop.setTimer(1, 1000, [&] { ++slow; });
  loop.runDue();
  EXPECT_EQ(fast, 0);
  clock.advance(5);
  EXPECT_EQ(loop.runDue(), 5u);  // next due in one fast period
  EXPECT_EQ(fast, 1);
  clock.advance(995);
  loop.runDue();
  // A late timer runs once, not once per missed period.
  EXPECT_EQ(std::pair(fast, slow), std::pair(2, 1));
}

TEST(UiLoop, RunsPostedCallsOnItsOwnThreadAndTimersMayBeKilledFromCallbacks) {
  ManualClock clock;
  UiLoop loop(clock);
  std::vector<int> order;
  std::thread([&] { loop.post([&] { order.push_back(1); }); }).join();
  loop.setTimer(3, 10, [&] {
    order.push_back(3);
    loop.killTimer(3);
  });
  clock.advance(10);
  loop.runDue();
  clock.advance(10);
  loop.runDue();
  EXPECT_EQ(order, (std::vector<int>{1, 3}));
}

TEST(UiLoop, TimersSurviveTheTickCountWrapping) {
  ManualClock clock(0xFFFFFFF0u);
  UiLoop loop(clock);
  int runs = 0;
  loop.setTimer(0, 50, [&] { ++runs; });
  clock.advance(60);  // wraps past zero
  loop.runDue();
  EXPECT_EQ(runs, 1);
}

TEST(WorkerThread, ReportsTheStartConvention) {
  WorkerThread worker;
  Event release;
  EXPECT_EQ(worker.start([&] { release.wait(-1); }), kStarted);
  EXPECT_TRUE(worker.running());
  EXPECT_EQ(worker.start([] {}), kAlreadyRunning);
  release.set();
  worker.stop();
  EXPECT_FALSE(worker.running() || worker.hasThread());
}

TEST(Event, AutoResetWakesOneWaitAndManualResetStays) {
  Event automatic(Event::Reset::Auto);
  automatic.set();
  EXPECT_TRUE(automatic.wait(0));
  EXPECT_FALSE(automatic.wait(0));
  Event manual(Event::Reset::Manual);
  manual.set();
  EXPECT_TRUE(manual.wait(0));
  EXPECT_TRUE(manual.wait(0));
  manual.reset();
  EXPECT_FALSE(manual.wait(0));
}

}  // namespace
}  // namespace vexa::platform
