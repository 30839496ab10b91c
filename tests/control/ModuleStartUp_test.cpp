#include "control/ModuleStartUp.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "platform/Dialogs.h"

namespace vexa {
namespace {

using Handler = void (*)(int);

void hostHandler(int) {}

// Start-up happens once per process: each case runs in a child of its own and exits 0 when the
// handler left after start-up is the one expected and no message was shown.
int sigpipeAfterStartUp(Handler before, Handler expected) {
  std::signal(SIGPIPE, before);
  platform::RecordingDialogs dialogs;
  startModule(dialogs);
  return std::signal(SIGPIPE, SIG_DFL) == expected && dialogs.messages().empty() ? 0 : 1;
}

// The probe under a limit that leaves no room for a socket; the sanitizers' own checks need
// descriptors, so the message is shown with the limit lifted again.
bool probeWithThreeDescriptors() {
  rlimit normal{};
  getrlimit(RLIMIT_NOFILE, &normal);
  const rlimit three{3, normal.rlim_max};  // standard input, output and error
  setrlimit(RLIMIT_NOFILE, &three);
  const bool usable = networkUsable();
  setrlimit(RLIMIT_NOFILE, &normal);
  return usable;
}

int startTwiceWithoutSockets() {
  platform::RecordingDialogs dialogs;
  startModule(dialogs, probeWithThreeDescriptors);
  startModule(dialogs, probeWithThreeDescriptors);
  const auto messages = dialogs.messages();
  const bool toldOnce = messages.size() == 1 && messages[0].text == kWinSockError &&
                        messages[0].caption == kWinSockError;
  return toldOnce ? 0 : 1;
}

// Other tests of this program start controls: each child runs this program afresh, so its start-up
// is still to come.
class ModuleStartUp : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ModuleStartUp, KeepsTheHostsSigpipeHandlerAndIgnoresItOtherwise) {
  EXPECT_EXIT(_exit(sigpipeAfterStartUp(hostHandler, hostHandler)), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(_exit(sigpipeAfterStartUp(SIG_DFL, SIG_IGN)), ::testing::ExitedWithCode(0), "");
}

TEST_F(ModuleStartUp, WithoutSocketsSaysSoOnceHoweverManyControlsStart) {
  EXPECT_EXIT(_exit(startTwiceWithoutSockets()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vexa
