#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Endpoint.h"

namespace vexa::platform {

// Network events, reported with the meaning and bit values of WinSock's event select.
enum NetEventBits : uint32_t {
  kFdRead = 1,
  kFdWrite = 2,
  kFdConnect = 16,
  kFdClose = 32,
};
constexpr uint32_t kAllNetEvents = kFdRead | kFdWrite | kFdConnect | kFdClose;  // 51

// Result of a non-blocking connect that is still under way.
constexpr int kWouldBlock = 10035;

// The event wait of every worker.
constexpr int kNetEventWaitMs = 100;

// Thin holder of one socket. After selectEvents() the socket is non-blocking and waitEvents()
// reports: connect and write once when a connect completes, write again only after a send would
// have blocked, read while data is readable, close when the peer closed or reset.
// Sends never raise SIGPIPE.
class Socket {
 public:
  enum class Type { Stream, Datagram };

  Socket() = default;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket();

  // 0 or an errno value. Closes a previously open socket first.
  int create(Type type, int protocol = 0, int family = AF_INET);
  // 0, kWouldBlock while a non-blocking connect is under way, or an errno value. A host name is
  // looked up and its first address taken (EHOSTUNREACH when it has none).
  int connect(const std::string& host, uint16_t port);
  int connect(const Endpoint& to);
  // Waits at most timeoutMs for a connect under way: 0 once it is made (the event wait still
  // reports it), the connect's errno value when it failed, kWouldBlock while it goes on.
  int finishConnect(int timeoutMs);
  int bindAny(uint16_t port);
  int setReuseAddress(bool on);
  int setReceiveBufferSize(int bytes);
  // IP_ADD_MEMBERSHIP / IP_DROP_MEMBERSHIP of a dotted group on the interface with the dotted
  // local address interfaceAddress (empty: the system's choice). 0 or an errno value.
  int joinMulticastGroup(const std::string& group, const std::string& interfaceAddress);
  int leaveMulticastGroup(const std::string& group, const std::string& interfaceAddress);
  int shutdown(int how);
  int close();

  // One send; -1 with errno EAGAIN when the send buffer is full.
  ssize_t send(const void* data, size_t length, int flags = 0);
  bool waitWritable(int timeoutMs);
  ssize_t receive(void* buffer, size_t length, int flags = 0);
  // Also records the sender of the datagram (see lastSender()).
  ssize_t receiveFrom(void* buffer, size_t length, int flags = 0);
  // The sender of the datagram the latest receiveFrom() gave; none when that call gave none.
  std::optional<Endpoint> lastSender() const { return lastSender_; }
  // One datagram to an address of its own; -1 with errno on failure.
  ssize_t sendTo(const void* data, size_t length, const Endpoint& to, int flags = 0);
  // The local port the socket is bound to; 0 when it is not.
  uint16_t localPort() const;
  // The addresses of this end and of the peer as numbers ("127.0.0.1"); empty when unknown.
  std::string localAddressText() const;
  std::string peerAddressText() const;

  // Selects the events to report and makes the socket non-blocking. 0 or an errno value.
  int selectEvents(uint32_t mask);
  // Waits at most timeoutMs; the events that happened (0 on a time-out).
  uint32_t waitEvents(int timeoutMs);

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  Type type_ = Type::Stream;
  uint32_t eventMask_ = 0;
  bool connecting_ = false;
  bool closeReported_ = false;
  std::atomic<bool> writeArmed_{false};
  int family_ = AF_INET;
  std::optional<Endpoint> lastSender_;
};

// Dotted IPv4 text of the first address of a host name or dotted text; empty when it resolves to
// nothing.
std::string resolveIpv4(const std::string& host);


// Whether text is a dotted IPv4 address in 224.0.0.0/4.
bool isMulticastAddress(const std::string& text);

}  // namespace vexa::platform
