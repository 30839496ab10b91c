#include "viewer/CommandRun.h"

#include <ostream>

#include "control/StreamAddress.h"
#include "platform/Thread.h"
#include "protocol/http/IPCameraHttpCmdHandler.h"
#include "session/StreamPlayer.h"

namespace vexa::viewer {

namespace {

constexpr uint32_t kPollMs = 10;
constexpr int kAnswered = 0;
constexpr int kNotAnswered = 1;
constexpr int kCannotSend = 2;

bool successful(int32_t status) { return status >= 200 && status < 300; }

}  // namespace

int runCommand(const ViewerOptions& options, platform::Dialogs& dialogs, std::ostream& out,
               std::ostream& err, const std::atomic<bool>& quit) {
  StreamPlayer player(dialogs);
  StreamConfig camera;
  camera.httpPort = IPCamera_Http_Cmd_Handler::kDefaultPort;
  camera.userName = options.user;
  camera.password = options.password;
  // The channel looks the name up itself, on its own thread.
  applyStreamAddress(options.address, camera, [](const std::string& name) { return name; });
  IPCamera_Http_Cmd_Handler& channel = player.httpCommand();
  if (!channel.Request(camera.host, camera.httpPort, options.command, camera.userName,
                       camera.password, options.timeoutMs)) {
    err << "vexa-viewer: the command cannot go on a request line" << std::endl;
    return kCannotSend;
  }
  while (channel.GetStatus() == 0 && !quit.load()) platform::sleepMs(kPollMs);
  const int32_t status = channel.GetStatus();
  const std::string where = camera.host + ":" + std::to_string(camera.httpPort);
  if (status == IPCamera_Http_Cmd_Handler::kFailed || status == 0) {
    err << "vexa-viewer: " << where << ": no answer to the command" << std::endl;
    return kNotAnswered;
  }
  out << channel.GetResponse() << std::flush;
  if (successful(status)) return kAnswered;
  err << "vexa-viewer: " << where << ": the camera answered " << status << std::endl;
  return kNotAnswered;
}

}  // namespace vexa::viewer
