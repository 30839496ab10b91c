#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ByteBuffer.h"
#include "net/StreamFailure.h"
#include "platform/Endpoint.h"
#include "platform/NameLookUp.h"
#include "platform/Socket.h"
#include "platform/Thread.h"

namespace vexa {

// The connection worker every TCP handler runs: a run flag, a thread, one socket, the 100 ms event
// wait, the handler's read and write steps, send-all and a receive buffer. A handler owns one and
// supplies only its steps and its state.
class SocketWorker {
 public:
  // Bytes one read step receives at most.
  static constexpr int32_t kReceiveChunk = 2048;
  // A camera that does not take the connection within this long does not answer at all.
  static constexpr int kConnectTimeoutMs = 10000;

  struct Steps {
    std::function<void()> read;   // on each read event
    std::function<void()> write;  // when the connection is made, and after a send blocked
    std::function<void()> tick;   // after every turn of the event wait, busy or quiet
    // After each wait period without any event, those spent waiting for a look-up or a connect
    // included: a
    // handler's idle count moves only while nothing happens.
    std::function<void()> quiet;
    // How a connection attempt ended: 0 once made, else the connect's errno value
    // (EHOSTUNREACH for a name without addresses). Not called when a stop cut it short.
    std::function<void(int error)> connected;
    // The peer closed; called before the worker ends the connection, after the last read.
    std::function<void()> closed;
  };

  struct Target {
    std::string host;  // a name, or an IPv4 or IPv6 address (brackets allowed)
    uint16_t port = 0;
    int receiveBufferSize = 0;  // SO_RCVBUF when not 0
  };

  // resolve looks host names up (the system's resolver when empty); it runs off the worker's
  // thread, so a stop never waits for it.
  explicit SocketWorker(Steps steps, platform::NameResolver resolve = {})
      : steps_(std::move(steps)), resolve_(std::move(resolve)) {}
  SocketWorker(const SocketWorker&) = delete;
  SocketWorker& operator=(const SocketWorker&) = delete;
  ~SocketWorker() { stop(); }

  // platform::StartResult: started, already running, or failed. A new start begins a new attempt
  // of the connection status.
  int start(Target target);
  // Empties the receive buffer, then starts; true only when a new thread was started.
  bool play(Target target);
  // Clears the run flag and waits for the thread.
  void stop() { thread_.stop(); }
  // Clears the run flag only; the worker ends within one wait period.
  void requestStop() { thread_.requestStop(); }
  // Once finished(): frees the slot for a new start without waiting for the ended thread to exit.
  void setAsideFinished() {
    if (finished()) thread_.setAsideEnded();
  }
  // From a step: records why the connection is given up, then ends it.
  void endConnection(StreamFailure failure);
  // From a step: closes this connection and opens one to target in its place (a redirect, or a
  // server that closes before it takes credentials). The receive buffer is emptied.
  void reconnect(Target target);

  // Sends everything while the run flag is set; a failed send clears the flag and drops the rest.
  // True when every byte went out. Callable from any thread.
  bool sendAll(const void* data, size_t length);
  bool sendAll(std::string_view text) { return sendAll(text.data(), text.size()); }

  // One receive of at most maxBytes appended to the receive buffer; the count, 0 when nothing.
  int32_t receive(int32_t maxBytes = kReceiveChunk);

  ByteBuffer& recvBuffer() { return recvBuffer_; }
  // The connection's own address and the camera's, as numbers; empty while not connected.
  std::string localAddress();
  std::string peerAddress();
  bool running() const { return thread_.running(); }
  bool hasThread() const { return thread_.hasThread(); }
  // The thread has run its course (by itself or by stop); false again after a new start.
  bool finished() const { return finished_.load(std::memory_order_acquire); }
  // Whether the dialogue played and why the connection ended; the handler writes it too.
  ConnectionStatus& status() { return status_; }
  const ConnectionStatus& status() const { return status_; }

 private:
  void run(Target target);
  bool openConnection(const Target& target);
  // The host's addresses, waited for in wait periods that count as quiet ones; none when the
  // worker was stopped first (the look-up is then abandoned and finishes on its own).
  std::optional<std::vector<platform::Endpoint>> lookUp(const Target& target);
  // 0 once connected to address, else the connect's errno value (ETIMEDOUT: no answer).
  int connectTo(const platform::Endpoint& address, const Target& target);
  void closeConnection();
  void reportConnect(int error);
  void reportQuiet();
  void dispatch(uint32_t events);
  bool connectionGoesOn() const;

  Steps steps_;
  platform::NameResolver resolve_;
  platform::WorkerThread thread_;
  // Sends from other threads (a TEARDOWN from the owner's) against the worker opening and
  // closing the socket: a descriptor closed, and perhaps reused, under a send is never written.
  std::mutex socketLock_;
  platform::Socket socket_;
  ByteBuffer recvBuffer_;
  ConnectionStatus status_;
  std::optional<Target> reconnectTarget_;  // worker only
  std::atomic<bool> finished_{false};
};

}  // namespace vexa
