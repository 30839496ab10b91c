#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/Socket.h"
#include "platform/Thread.h"
#include "common/ByteBuffer.h"

namespace vexa {

// The receive worker of a UDP receiver (video media, audio, RTCP): a datagram socket bound to a
// local port, optionally a member of a multicast group, turning on the same event wait as the
// TCP worker. Each read event receives one datagram and hands it to the receiver's packet step.
class DatagramWorker {
 public:
  // Bytes one datagram is read with at most; the rest of a longer one is lost.
  static constexpr int32_t kReceiveChunk = 2048;

  // One datagram as received (possibly empty), valid during the call; runs on the worker.
  using PacketStep = std::function<void(std::span<const uint8_t> datagram)>;

  struct Target {
    uint16_t port = 0;
    // Joined when it is a multicast address. A unicast address (an owner that passes the
    // camera's address for unicast streams) binds the port without joining anything.
    std::string multicastGroup;
    // Dotted local address of the interface the group is joined on; empty for any.
    std::string interfaceAddress;
    int receiveBufferSize = 0;   // SO_RCVBUF when not 0
    bool raisePriority = false;  // for receivers that must keep up with live media
  };

  explicit DatagramWorker(PacketStep step) : step_(std::move(step)) {}
  DatagramWorker(const DatagramWorker&) = delete;
  DatagramWorker& operator=(const DatagramWorker&) = delete;
  ~DatagramWorker() { stop(); }

  // platform::StartResult: started, already running, or failed.
  int start(Target target);
  // Clears the run flag and waits for the thread.
  void stop() { thread_.stop(); }
  // Clears the run flag only; the worker ends within one wait period. Callable from the step.
  void requestStop() { thread_.requestStop(); }

  bool running() const { return thread_.running(); }
  bool hasThread() const { return thread_.hasThread(); }
  // The socket is bound (and the group joined) and datagrams are being received.
  bool listening() const { return listening_.load(std::memory_order_acquire); }
  // The port bound, once listening(): the one asked for, or the system's pick for port 0.
  uint16_t localPort() const { return localPort_.load(std::memory_order_acquire); }

  // For the packet step only (they touch the worker's socket): where the datagram in hand came
  // from (none when its receive failed), and one datagram sent back from the same socket, so
  // that the peer sees it come from the port it sends to. sendTo gives the sendto result.
  std::optional<platform::Endpoint> sender() const { return socket_.lastSender(); }
  ssize_t sendTo(std::span<const uint8_t> datagram, const platform::Endpoint& to);

 private:
  void run(const Target& target);
  bool createSocket(const Target& target);
  bool openSocket(const Target& target);
  void closeSocket(const Target& target);
  void receiveOne();

  PacketStep step_;
  platform::WorkerThread thread_;
  platform::Socket socket_;
  ByteBuffer recvBuffer_;
  bool joined_ = false;
  std::atomic<bool> listening_{false};
  std::atomic<uint16_t> localPort_{0};
};

}  // namespace vexa
