#include "camera/TcpConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

namespace vexa::camera {
namespace {

constexpr std::string_view kEndOfHeader = "\r\n\r\n";
constexpr size_t kReadChunk = 1024;
constexpr size_t kMaxPieces = 8;
constexpr int kMaxDiscardRounds = 64;

using SteadyClock = std::chrono::steady_clock;

int64_t elapsedMs(SteadyClock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - since).count();
}

// True when the wanted events came within one slice.
bool waitFor(int fd, short events) {
  pollfd waiting{fd, events, 0};
  return ::poll(&waiting, 1, TcpConnection::kWaitSliceMs) > 0;
}

bool wouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

TcpConnection::~TcpConnection() {
  if (fd_ >= 0) ::close(fd_);
}

IoResult TcpConnection::readHeader(std::string& header, size_t maxBytes,
                                   const std::atomic<bool>& stop, int timeoutMs) {
  const auto started = SteadyClock::now();
  std::string buffer = std::move(pending_);
  pending_.clear();
  char chunk[kReadChunk];
  while (true) {
    const size_t end = buffer.find(kEndOfHeader);
    if (end != std::string::npos && end + kEndOfHeader.size() <= maxBytes) {
      header = buffer.substr(0, end + kEndOfHeader.size());
      pending_ = buffer.substr(end + kEndOfHeader.size());
      return IoResult::Done;
    }
    if (buffer.size() >= maxBytes) return IoResult::TooLarge;
    if (stop.load(std::memory_order_relaxed)) return IoResult::Stopped;
    if (elapsedMs(started) >= timeoutMs) return IoResult::TimedOut;
    if (!waitFor(fd_, POLLIN)) continue;
    const ssize_t got = ::recv(fd_, chunk, std::min(sizeof chunk, maxBytes - buffer.size()), 0);
    if (got == 0) return IoResult::Closed;
    if (got < 0) {
      if (wouldBlock(errno)) continue;
      return IoResult::Failed;
    }
    buffer.append(chunk, size_t(got));
  }
}

IoResult TcpConnection::receiveSome(std::string& buffer, size_t maxBytes, int waitMs) {
  if (!pending_.empty()) {
    const size_t taken = std::min(pending_.size(), maxBytes);
    buffer.append(pending_, 0, taken);
    pending_.erase(0, taken);
    return IoResult::Done;
  }
  if (maxBytes == 0) return IoResult::Done;
  pollfd waiting{fd_, POLLIN, 0};
  if (::poll(&waiting, 1, std::max(waitMs, 0)) <= 0) return IoResult::Done;
  char chunk[kReadChunk * 4];
  const ssize_t got = ::recv(fd_, chunk, std::min(sizeof chunk, maxBytes), 0);
  if (got == 0) return IoResult::Closed;
  if (got < 0) return wouldBlock(errno) ? IoResult::Done : IoResult::Failed;
  buffer.append(chunk, size_t(got));
  return IoResult::Done;
}

IoResult TcpConnection::sendAll(std::initializer_list<std::span<const uint8_t>> pieces,
                                const std::atomic<bool>& stop, int stallLimitMs) {
  if (pieces.size() > kMaxPieces) return IoResult::Failed;
  iovec vectors[kMaxPieces];
  size_t count = 0;
  for (const auto& piece : pieces) {
    if (piece.empty()) continue;
    vectors[count++] = {const_cast<uint8_t*>(piece.data()), piece.size()};
  }
  size_t first = 0;
  auto lastProgress = SteadyClock::now();
  while (first < count) {
    if (stop.load(std::memory_order_relaxed)) return IoResult::Stopped;
    msghdr message{};
    message.msg_iov = vectors + first;
    message.msg_iovlen = count - first;
    ssize_t sent = ::sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (sent < 0) {
      if (!wouldBlock(errno))
        return errno == EPIPE || errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
      if (elapsedMs(lastProgress) >= stallLimitMs) return IoResult::TimedOut;
      waitFor(fd_, POLLOUT);
      continue;
    }
    lastProgress = SteadyClock::now();
    while (first < count && size_t(sent) >= vectors[first].iov_len) {
      sent -= ssize_t(vectors[first].iov_len);
      ++first;
    }
    if (first < count) {
      vectors[first].iov_base = static_cast<uint8_t*>(vectors[first].iov_base) + sent;
      vectors[first].iov_len -= size_t(sent);
    }
  }
  return IoResult::Done;
}

IoResult TcpConnection::sendText(std::string_view text, const std::atomic<bool>& stop,
                                 int stallLimitMs) {
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return sendAll({bytes}, stop, stallLimitMs);
}

bool TcpConnection::peerStillOpen() {
  char chunk[kReadChunk];
  // Bounded, so that a peer that never stops talking cannot hold the caller here.
  for (int round = 0; round < kMaxDiscardRounds; ++round) {
    const ssize_t got = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got > 0) continue;
    if (got == 0) return false;
    return wouldBlock(errno);
  }
  return true;
}

void TcpConnection::finish(const std::atomic<bool>& stop, int lingerMs) {
  ::shutdown(fd_, SHUT_WR);
  const auto started = SteadyClock::now();
  while (!stop.load(std::memory_order_relaxed) && elapsedMs(started) < lingerMs) {
    if (waitFor(fd_, POLLIN) && !peerStillOpen()) return;
  }
}

std::optional<ConnectionEnds> TcpConnection::ends() const {
  sockaddr_storage local{}, peer{};
  socklen_t localLength = sizeof local, peerLength = sizeof peer;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
      ::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
    return std::nullopt;
  }
  ConnectionEnds ends{Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&local), localLength),
                      Endpoint::fromSocketAddress(reinterpret_cast<sockaddr*>(&peer), peerLength)};
  if (!ends.local.valid() || !ends.peer.valid()) return std::nullopt;
  return ends;
}

void TcpConnection::shutdown() {
  ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace vexa::camera
