#include "camera/MotionServer.h"

#include <gtest/gtest.h>

namespace vexa::camera {
namespace {

// The values of steps steps, in sending order.
std::vector<std::string> values(MotionFeed& feed, int steps) {
  std::vector<std::string> sent;
  for (int i = 0; i < steps; ++i) {
    const std::string text = feed.step();
    for (size_t at = 0; at < text.size(); at += 3) sent.push_back(text.substr(at, 3));
  }
  return sent;
}

TEST(MotionFeed, SendsLevelsAndEachSecondTheThreshold) {
  const struct {
    std::optional<int> threshold;
    int second;
    std::string sent;
  } cases[] = {
      {std::nullopt, 1, "A0$"},  {std::nullopt, 2, "A1$"}, {std::nullopt, 31, "BE$"},
      {std::nullopt, 32, "A0$"}, {75, 1, "AF$"},           {75, 3, "AF$"},
  };
  for (const auto& c : cases) {
    MotionFeed feed({.threshold = c.threshold});
    const auto sent = values(feed, c.second * MotionFeed::kStepsPerSecond);
    ASSERT_EQ(sent.size(), size_t(c.second * (MotionFeed::kStepsPerSecond + 1)));
    EXPECT_EQ(sent.back(), c.sent) << c.second;
    EXPECT_EQ(sent.front(), "00$");  // nothing to compare the first picture with
  }
  MotionFeed off({.inactive = true});
  EXPECT_EQ(values(off, 11), std::vector<std::string>(11, "C9$"));
}

TEST(MotionFeed, LevelFollowsWhatChanges) {
  platform::ManualClock clock;
  PtzControl ptz(640, 480, &clock);
  MotionFeed feed({.fps = 10, .ptz = &ptz});
  const auto level = [&] { return std::stoi(feed.step().substr(0, 2), nullptr, 16); };
  level();
  const int boxOnly = level();
  EXPECT_GT(boxOnly, 0);
  EXPECT_LT(boxOnly, 5);
  ptz.handle("continuouspantiltmove=100,0");
  clock.advance(MotionFeed::kStepMs);
  EXPECT_GT(level(), 20);  // the bars slide past
}

}  // namespace
}  // namespace vexa::camera
