#include "net/StreamFailure.h"

namespace vexa {

std::string StreamFailure::cause() const {
  switch (fault) {
    case StreamFault::kNameNotResolved:
      return "name does not resolve";
    case StreamFault::kConnectionRefused:
      return "connection refused";
    case StreamFault::kNoAnswer:
      return detail.empty() ? "no answer" : "no answer to " + detail;
    case StreamFault::kConnectFailed:
      return "cannot connect: " + detail;
    case StreamFault::kConnectionLost:
      return "connection closed by the camera";
    case StreamFault::kErrorAnswer:
    case StreamFault::kTransportRefused:
      return detail;
    case StreamFault::kAuthenticationRefused:
      return detail.empty() ? "authentication refused" : detail;
    case StreamFault::kAnswerUnreadable:
      return "answer too large or malformed";
    case StreamFault::kNoMedia:
      return detail.empty() ? "no media" : "no media " + detail;
  }
  return detail;
}

StreamFailure errorAnswer(std::string_view statusLine, std::string_view method, StreamFault fault) {
  return {fault, "\"" + std::string(statusLine) + "\" to " + std::string(method)};
}

void ConnectionStatus::beginAttempt() {
  std::lock_guard lock(mutex_);
  failure_.reset();
  playing_.store(false, std::memory_order_release);
}

void ConnectionStatus::fail(StreamFailure failure) {
  std::lock_guard lock(mutex_);
  if (failure_) return;
  failure_ = std::move(failure);
}

std::optional<StreamFailure> ConnectionStatus::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

}  // namespace vexa
