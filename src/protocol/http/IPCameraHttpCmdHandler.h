#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "net/SocketWorker.h"
#include "protocol/auth/Authenticator.h"
#include "protocol/http/HttpAnswerReader.h"

namespace vexa {

// Wait periods a request may stay silent before it is given up.
class IdleCountdown {
 public:
  IdleCountdown() = default;
  explicit IdleCountdown(int32_t timeoutMs) : left_(timeoutMs / platform::kNetEventWaitMs) {}
  // One period passed without any network event; true when the request is out of time.
  bool expiresAfterQuietPeriod() { return --left_ < 1; }
  int32_t left() const { return left_; }

 private:
  int32_t left_ = 0;
};

// One HTTP GET at a time to a camera (a CGI command, typically), its answer read later. Request,
// GetStatus and GetResponse belong to the user-interface thread and never wait on the camera;
// the worker alone touches the connection.
class IPCamera_Http_Cmd_Handler {
 public:
  static constexpr uint16_t kDefaultPort = 80;
  // A target this long or with line breaks could only smuggle a second request onto the wire.
  static constexpr size_t kMaxTargetBytes = 8 * 1024;
  static constexpr int32_t kFailed = -1;

  // cnonce source for Digest answers and the host name resolver (the system's when empty);
  // injectable for tests.
  explicit IPCamera_Http_Cmd_Handler(std::function<std::string()> cnonce = {},
                                     platform::NameResolver resolve = {});
  IPCamera_Http_Cmd_Handler(const IPCamera_Http_Cmd_Handler&) = delete;
  IPCamera_Http_Cmd_Handler& operator=(const IPCamera_Http_Cmd_Handler&) = delete;
  virtual ~IPCamera_Http_Cmd_Handler();

  // Starts "GET target" to host:port; false, changing nothing, while a request runs or for a
  // target that cannot go on a request line. Empty user and pass keep the last credentials.
  bool Request(const std::string& host, uint16_t port, const std::string& target,
               const std::string& user, const std::string& pass, int32_t timeoutMs);
  // 0 while a request runs (and before the first), -1 when the last one failed, else the HTTP
  // status code of the last complete answer.
  int32_t GetStatus() const;
  // The last complete answer, bytes as received (a chunked body de-chunked); a failed request
  // leaves it as it was.
  std::string GetResponse() const;

 private:
  void onConnected(int error);
  void onSend();
  void onRecv();
  bool takeReceived();
  void onQuiet();
  void onClosed();
  void onReaderState(HttpAnswerReader::State state);
  void onAnswer();
  void end(int32_t status);
  std::string requestText();
  std::string hostHeaderValue() const;

  // Set by Request while no worker runs, read by the worker.
  std::string host_;
  uint16_t port_ = kDefaultPort;
  std::string target_;
  std::string credentials_;  // Base64 of user ":" pass, as the Basic line carries it
  auth::Authenticator authenticator_;
  // Worker only while it runs.
  IdleCountdown idle_;
  HttpAnswerReader reader_;
  bool requestSent_ = false;
  // Read by the user-interface thread.
  std::atomic<int32_t> status_{0};
  mutable std::mutex answerLock_;
  std::string answer_;  // under answerLock_
  // Last: its thread ends before the state its steps use goes away.
  SocketWorker worker_;
};

}  // namespace vexa
