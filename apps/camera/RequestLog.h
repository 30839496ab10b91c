#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vexa::camera {

// One request as a server received it.
struct LoggedRequest {
  uint64_t connection = 0;  // the server's count of connections accepted, from 1
  std::string method;
  std::string url;
  std::string cseq;            // empty when absent (HTTP)
  std::string session;         // the Session header as sent; empty when absent
  bool authorization = false;  // whether it carried an Authorization header

  bool operator==(const LoggedRequest&) const = default;
};

// The requests a server received, newest last, for tests to see keep-alive requests, retries
// and the URLs clients send; optionally echoed on stderr as they come.
class RequestLog {
 public:
  static constexpr size_t kMaxEntries = 1024;  // the oldest go first

  explicit RequestLog(bool echo = false) : echo_(echo) {}

  void record(LoggedRequest request);
  std::vector<LoggedRequest> entries() const;

  // "vexa-camera: #3 GET_PARAMETER rtsp://127.0.0.1:8554/h264/ CSeq 7", then the session and
  // whether credentials came, when they did.
  static std::string line(const LoggedRequest& request);

 private:
  const bool echo_;
  mutable std::mutex mutex_;
  std::deque<LoggedRequest> entries_;
};

}  // namespace vexa::camera
