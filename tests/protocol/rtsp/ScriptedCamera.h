#pragma once

// A scripted camera on loopback for the RTSP dialogues: it takes their requests whole and sends
// the answers a test writes.

#include <string>

#include "net/StreamFailure.h"
#include "support/Loopback.h"

namespace vexa::test {

inline const std::string kUserAgentLine = "User-Agent: Halvorin V.2008-02-25\r\n";

inline std::string answer(int cseq, const std::string& headers) {
  return "RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) + "\r\n" + headers + "\r\n";
}

inline std::string describeAnswer(const std::string& sdp, int cseq = 0,
                                  const std::string& headers = "Content-Base: rtsp://cam/h264/\r\n") {
  return answer(cseq, headers + "Content-Type: application/sdp\r\nContent-Length: " +
                          std::to_string(sdp.size()) + "\r\n") + sdp;
}

struct ScriptedCamera {
  std::string request() { return server.peer.nextRequest(); }
  void send(const std::string& bytes) { server.peer.send(bytes); }
  // The URL the dialogues ask for: the camera's port is never RTSP's own.
  std::string url() const { return "rtsp://127.0.0.1:" + std::to_string(server.port()) + "/h264"; }
  static std::string causeOf(const ConnectionStatus& status) {
    const auto failure = status.failure();
    return failure ? failure->cause() : std::string();
  }

  LoopbackServer server;
};

}  // namespace vexa::test
