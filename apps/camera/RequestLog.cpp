#include "camera/RequestLog.h"

#include <cstdio>

namespace vexa::camera {

void RequestLog::record(LoggedRequest request) {
  if (echo_) std::fprintf(stderr, "%s\n", line(request).c_str());
  std::lock_guard lock(mutex_);
  if (entries_.size() == kMaxEntries) entries_.pop_front();
  entries_.push_back(std::move(request));
}

std::vector<LoggedRequest> RequestLog::entries() const {
  std::lock_guard lock(mutex_);
  return {entries_.begin(), entries_.end()};
}

std::string RequestLog::line(const LoggedRequest& request) {
  std::string text = "vexa-camera: #" + std::to_string(request.connection) + " " + request.method +
                     " " + request.url;
  if (!request.cseq.empty()) text += " CSeq " + request.cseq;
  if (!request.session.empty()) text += " Session " + request.session;
  if (request.authorization) text += " with Authorization";
  return text;
}

}  // namespace vexa::camera
