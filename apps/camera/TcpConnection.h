#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "camera/ConnectionEnds.h"

namespace vexa::camera {

enum class IoResult { Done, Stopped, Closed, TimedOut, TooLarge, Failed };

// One accepted, non-blocking connection. Every wait is sliced so that a raised stop flag ends it
// within one slice.
class TcpConnection {
 public:
  static constexpr int kWaitSliceMs = 100;

  // number: the server's count of connections accepted, this one included.
  explicit TcpConnection(int fd, uint64_t number = 0) : fd_(fd), number_(number) {}
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;
  ~TcpConnection();

  // Reads up to and including the first empty line into header. TooLarge when maxBytes arrive
  // without one; TimedOut after timeoutMs.
  IoResult readHeader(std::string& header, size_t maxBytes, const std::atomic<bool>& stop,
                      int timeoutMs);

  // Waits at most waitMs for bytes and appends what one read gives, at most maxBytes, to buffer
  // (bytes left over from readHeader first). Done also when nothing came in time.
  IoResult receiveSome(std::string& buffer, size_t maxBytes, int waitMs);

  // Sends every piece in order. TimedOut when the peer accepts nothing for stallLimitMs.
  IoResult sendAll(std::initializer_list<std::span<const uint8_t>> pieces,
                   const std::atomic<bool>& stop, int stallLimitMs);
  IoResult sendText(std::string_view text, const std::atomic<bool>& stop, int stallLimitMs);

  // Discards whatever the peer sent meanwhile; false once it has closed or failed.
  bool peerStillOpen();

  // Ends the sending side and waits briefly for the peer to close, so that an answer sent just
  // before is read rather than cut off by a reset.
  void finish(const std::atomic<bool>& stop, int lingerMs);

  // This end's address and the peer's; nullopt when the socket cannot tell.
  std::optional<ConnectionEnds> ends() const;

  // Unblocks the peer at once (used when the server stops or drops the connection).
  void shutdown();

  uint64_t number() const { return number_; }

 private:
  int fd_;
  const uint64_t number_;
  std::string pending_;  // bytes read past a header
};

}  // namespace vexa::camera
