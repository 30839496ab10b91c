#include "script/ScriptRunner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Thread.h"
#include "support/RecordingControl.h"

namespace vexa {
namespace {

class ScriptRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(pipe2(ends_, O_CLOEXEC), 0); }
  void TearDown() override {
    closeWriteEnd();
    close(ends_[0]);
  }

  void send(const std::string& bytes) {
    ASSERT_EQ(write(ends_[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  void closeWriteEnd() {
    if (ends_[1] >= 0) close(ends_[1]);
    ends_[1] = -1;
  }

  // Polls as the host's loop does until done holds; false if it never does.
  bool pollUntil(ScriptRunner& runner, const std::function<bool()>& done) {
    constexpr int kTurns = 5000;
    for (int turn = 0; turn < kTurns; ++turn) {
      runner.poll();
      if (done()) return true;
      platform::sleepMs(1);
    }
    return false;
  }

  std::vector<std::string> answerLines() const {
    std::vector<std::string> lines;
    std::istringstream text(answers_.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  size_t answerCount() const { return answerLines().size(); }

  int ends_[2] = {-1, -1};
  test::RecordingControl control_;
  platform::ManualClock clock_;
  std::ostringstream answers_, calls_;
};

TEST_F(ScriptRunnerTest, AnswersInOrderHoldingBackWaitsUntilInputEnds) {
  ScriptRunner runner(control_, clock_, ends_[0], answers_, &calls_);
  send("{\"call\":\"Stop\",\"id\":1}\n{\"wait\":100}\n");
  send(std::string(kScriptLineMaxBytes + 1, 'x') + "\n");
  send(R"({"call":"Sync"})");  // the last line needs no newline
  closeWriteEnd();

  // The wait was taken once its line was printed.
  ASSERT_TRUE(pollUntil(runner, [&] { return calls_.str().find("wait") != std::string::npos; }));
  clock_.advance(99);
  for (int turn = 0; turn < 20; ++turn) {
    runner.poll();
    platform::sleepMs(1);
  }
  EXPECT_EQ(answerCount(), 1u);
  EXPECT_FALSE(runner.finished());

  clock_.advance(1);
  ASSERT_TRUE(pollUntil(runner, [&] { return runner.finished(); }));
  const std::vector<std::string> answers = answerLines();
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[0], R"({"result":0,"id":1})");
  EXPECT_EQ(answers[1], R"({"result":null})");
  EXPECT_NE(answers[2].find(R"("code":"line-too-long")"), std::string::npos) << answers[2];
  EXPECT_EQ(answers[3], R"({"result":0})");
  EXPECT_EQ(control_.calls, (std::vector<std::string>{"Stop()", "GetSync()"}));
  EXPECT_EQ(calls_.str(),
            "{\"call\":\"Stop\",\"id\":1}\n{\"wait\":100}\n(a line over the length limit)\n"
            "{\"call\":\"Sync\"}\n");
}

TEST_F(ScriptRunnerTest, EndsItsReaderWhenDestroyedBeforeInputEnds) {
  {
    ScriptRunner runner(control_, clock_, ends_[0], answers_);
    send("{\"call\":\"Stop\"}\n");
    ASSERT_TRUE(pollUntil(runner, [&] { return answerCount() == 1; }));
    EXPECT_FALSE(runner.finished());
  }
  EXPECT_EQ(control_.calls, std::vector<std::string>{"Stop()"});
}

}  // namespace
}  // namespace vexa
