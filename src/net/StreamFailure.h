#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace vexa {

// Why a stream's connection or dialogue ended without being told to.
enum class StreamFault : uint8_t {
  kNameNotResolved,
  kConnectionRefused,
  kNoAnswer,          // the connect or a request went unanswered; detail: the request's method
  kConnectFailed,     // any other connect error; detail: the system's text
  kConnectionLost,    // the camera closed or reset the connection, or a send failed
  kErrorAnswer,       // detail: the status line and the method, as the user is told them
  kTransportRefused,  // UDP was refused (RTSP 461); detail as for kErrorAnswer
  kAuthenticationRefused,  // detail: the authenticator's reason
  kAnswerUnreadable,  // larger than any answer, or announcing a body no answer has
  kNoMedia,  // the stream played, then nothing came
};

struct StreamFailure {
  StreamFault fault = StreamFault::kConnectionLost;
  std::string detail;

  // The cause in a few words, for a line on the console and the statistics:
  // "connection refused", "\"RTSP/1.0 404 Not Found\" to DESCRIBE".
  std::string cause() const;
  bool operator==(const StreamFailure&) const = default;
};

// An error answer as the user is told it: the status line in quotes and the request it answered.
StreamFailure errorAnswer(std::string_view statusLine, std::string_view method,
                          StreamFault fault = StreamFault::kErrorAnswer);

// What a connection's worker and its dialogue tell their owner: whether the dialogue reached
// playing, and why the attempt failed when it did. Any thread.
class ConnectionStatus {
 public:
  // A new attempt: forgets the last one.
  void beginAttempt();
  // The first failure of an attempt is the one kept: what follows it is its consequence.
  void fail(StreamFailure failure);
  std::optional<StreamFailure> failure() const;

  void markPlaying() { playing_.store(true, std::memory_order_release); }
  bool playing() const { return playing_.load(std::memory_order_acquire); }

 private:
  mutable std::mutex mutex_;
  std::optional<StreamFailure> failure_;  // under mutex_
  std::atomic<bool> playing_{false};
};

}  // namespace vexa
