#include "control/ModuleStartUp.h"

#include <csignal>
#include <mutex>

#include "platform/Dialogs.h"
#include "platform/Socket.h"

namespace vexa {

namespace {

void ignoreSigpipeUnlessHandled() {
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) != 0) return;
  if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL) {
    std::signal(SIGPIPE, SIG_IGN);
  }
}

}  // namespace

bool networkUsable() {
  platform::Socket probe;
  return probe.create(platform::Socket::Type::Datagram) == 0;
}

void startModule(platform::Dialogs& dialogs, bool (*probe)()) {
  static std::once_flag started;
  std::call_once(started, [&dialogs, probe] {
    ignoreSigpipeUnlessHandled();
    if (!probe()) dialogs.showMessage(kWinSockError, kWinSockError);
  });
}

}  // namespace vexa
