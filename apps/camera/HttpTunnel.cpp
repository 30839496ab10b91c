#include "camera/HttpTunnel.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "common/Base64.h"

namespace vexa::camera {
namespace {

constexpr std::string_view kGetPrefix = "GET ";
constexpr std::string_view kPostPrefix = "POST ";
constexpr char kPadding = '=';
constexpr size_t kGroupSize = 4;
constexpr size_t kShortestPaddedGroup = 2;  // two characters carry one byte

bool inAlphabet(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

}  // namespace

Opening classifyOpening(std::string_view bytes) {
  const std::pair<std::string_view, Opening> prefixes[] = {{kGetPrefix, Opening::TunnelGet},
                                                           {kPostPrefix, Opening::TunnelPost}};
  bool undecided = false;
  for (const auto& [prefix, kind] : prefixes) {
    if (bytes.starts_with(prefix)) return kind;
    undecided = undecided || prefix.starts_with(bytes);
  }
  return undecided ? Opening::Undecided : Opening::Rtsp;
}

std::string tunnelAnswer(std::string_view status, std::string_view extraHeaders) {
  std::string answer = "HTTP/1.0 ";
  answer.append(status).append("\r\n").append(extraHeaders);
  return answer.append("\r\n");
}

std::string tunnelOpenAnswer() {
  return tunnelAnswer("200 OK", "Content-Type: " + std::string(kTunnelContentType) +
                                    "\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n");
}

void Base64Stream::append(std::string_view text, std::string& out) {
  for (char c : text) {
    if (c == kPadding) {
      // A group with too little in it to carry a byte is noise; drop it.
      if (filled_ >= kShortestPaddedGroup) flush(out);
      filled_ = 0;
      continue;
    }
    if (!inAlphabet(c)) continue;
    group_[filled_++] = c;
    if (filled_ == kGroupSize) {
      flush(out);
      filled_ = 0;
    }
  }
}

void Base64Stream::flush(std::string& out) {
  const std::vector<uint8_t> bytes = base64::decode(std::string_view(group_, filled_));
  out.append(bytes.begin(), bytes.end());
}

bool Tunnel::post(std::string_view bytes, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  while (!bytes.empty()) {
    if (closed_ || stop.load(std::memory_order_relaxed)) return false;
    const size_t room = kMaxPendingBytes - inbox_.size();
    if (room == 0) {
      changed_.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs));
      continue;
    }
    const size_t taken = std::min(room, bytes.size());
    inbox_.append(bytes.substr(0, taken));
    bytes.remove_prefix(taken);
    changed_.notify_all();
  }
  return !closed_;
}

void Tunnel::take(std::string& into, size_t maxBytes, int waitMs) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(std::max(waitMs, 0)),
                    [&] { return !inbox_.empty() || closed_; });
  const size_t taken = std::min(maxBytes, inbox_.size());
  into.append(inbox_, 0, taken);
  inbox_.erase(0, taken);
  if (taken > 0) changed_.notify_all();
}

void Tunnel::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

bool Tunnel::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

std::shared_ptr<Tunnel> TunnelRegistry::open(const std::string& cookie) {
  std::lock_guard lock(mutex_);
  auto [entry, added] = tunnels_.try_emplace(cookie, nullptr);
  if (!added) return nullptr;
  entry->second = std::make_shared<Tunnel>();
  return entry->second;
}

std::shared_ptr<Tunnel> TunnelRegistry::find(const std::string& cookie) const {
  std::lock_guard lock(mutex_);
  const auto entry = tunnels_.find(cookie);
  return entry == tunnels_.end() ? nullptr : entry->second;
}

void TunnelRegistry::close(const std::string& cookie) {
  std::shared_ptr<Tunnel> tunnel;
  {
    std::lock_guard lock(mutex_);
    const auto entry = tunnels_.find(cookie);
    if (entry == tunnels_.end()) return;
    tunnel = std::move(entry->second);
    tunnels_.erase(entry);
  }
  tunnel->close();
}

}  // namespace vexa::camera
