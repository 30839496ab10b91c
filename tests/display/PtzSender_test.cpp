#include "display/PtzSender.h"

#include <gtest/gtest.h>

#include "support/FakePtzChannel.h"

namespace vexa {
namespace {

using Targets = std::vector<std::string>;

class PtzSenderTest : public testing::Test {
 protected:
  PtzSenderTest() {
    log.autoFinish = false;
    sender.setStream("10.0.0.9", "h264");
    sender.setZoomPositionSink([this](int position) { zoomPosition = position; });
  }
  void finish(int32_t status, const std::string& response = "") {
    log.finish(status, response);
    sender.step();
  }

  test::PtzChannelLog log;
  PtzSender sender{test::FakePtzChannel::into(log)};
  int zoomPosition = -1;
};

TEST_F(PtzSenderTest, OneRequestInFlightThenPendingOnesInOrderWithTheLatestValues) {
  sender.setPort(8080);
  sender.setPort(-1);
  sender.setUser("admin");
  sender.setPassword("secret");
  sender.zoom(30);
  sender.centre(98, 48, 476, 636);
  sender.queryPosition();
  sender.zoom(-20);  // a zoom start gives way to a pan
  sender.panTilt(150, -3);
  sender.panTilt(7, 0);
  EXPECT_EQ(log.targets, Targets{"continuouszoommove=30"});
  EXPECT_EQ(std::tuple(log.host, log.port, log.user, log.pass, log.timeoutMs),
            std::tuple("10.0.0.9", 8080, "admin", "secret", 2000));
  for (int i = 0; i < 4; ++i) finish(200);
  EXPECT_EQ(log.targets,
            (Targets{"continuouszoommove=30", "continuouspantiltmove=7,0", "query=position",
                     "center=98,48&imageheight=476&imagewidth=636&stream=h264"}));
  // Only changes are sent, clamped to -100..100.
  sender.panTilt(7, 0);
  sender.panTilt(-500, 101);
  sender.panTilt(-100, 100);
  finish(200);
  EXPECT_EQ(log.targets.back(), "continuouspantiltmove=-100,100");
  EXPECT_EQ(log.targets.size(), 5u);
}

TEST_F(PtzSenderTest, APanNeverDropsAPendingZoomStop) {
  sender.panTilt(50, 0);
  sender.zoom(0);
  sender.panTilt(60, 0);
  finish(200);
  finish(200);
  EXPECT_EQ(log.targets, (Targets{"continuouspantiltmove=50,0", "continuouspantiltmove=60,0",
                                  "continuouszoommove=0"}));
}

TEST_F(PtzSenderTest, AFailedStopIsResentOnceAndAnyLaterStopGoesOutAgain) {
  sender.panTilt(50, 0);
  finish(200);
  sender.panTilt(0, 0);
  finish(-1);
  finish(404);  // the resent stop fails too: no third try
  finish(200);
  sender.zoom(0);
  finish(503);
  finish(200);
  sender.panTilt(0, 0);  // the stop's outcome is unknown: it goes out again
  finish(200);
  sender.panTilt(0, 0);
  EXPECT_EQ(log.targets, (Targets{"continuouspantiltmove=50,0", "continuouspantiltmove=0,0",
                                  "continuouspantiltmove=0,0", "continuouszoommove=0",
                                  "continuouszoommove=0", "continuouspantiltmove=0,0"}));
  // A failed move is not resent.
  sender.panTilt(20, 0);
  finish(-1);
  finish(200);
  EXPECT_EQ(log.targets.size(), 7u);
}

TEST_F(PtzSenderTest, ZoomPositionIsReadOnlyFromAGoodAnswerWithADigit) {
  const struct {
    int32_t status;
    const char* response;
    int position;
  } answers[] = {
      {200, "HTTP/1.1 200 OK\r\n\r\npan=0\nzoomposition=350\ntilt=1", 350},
      {401, "zoomposition=12", 350},
      {-1, "", 350},  // the channel still holds the answer before
      {200, "zoomposition=\n", 350},
      {200, "zoomposition=796", 796},
  };
  for (const auto& answer : answers) {
    sender.queryPosition();
    finish(answer.status, answer.response);
    EXPECT_EQ(zoomPosition, answer.position) << answer.response;
  }
}

TEST_F(PtzSenderTest, NothingGoesOutBeforeTheStreamNamesTheCamera) {
  PtzSender idle{test::FakePtzChannel::into(log)};
  idle.panTilt(10, 0);
  EXPECT_TRUE(log.targets.empty());
  idle.setStream("127.0.0.1", "jpeg");
  idle.step();
  EXPECT_EQ(log.targets, Targets{"continuouspantiltmove=10,0"});
}

}  // namespace
}  // namespace vexa
