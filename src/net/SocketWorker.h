#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Socket.h"
#include "platform/Thread.h"
#include "common/ByteBuffer.h"

namespace vexa {

// The connection worker every TCP handler runs: a run flag, a thread, one socket, the 100 ms event
// wait, the handler's read and write steps, send-all and a receive buffer. A handler owns one and
// supplies only its steps and its state.
class SocketWorker {
 public:
  // Bytes one read step receives at most.
  static constexpr int32_t kReceiveChunk = 2048;

  struct Steps {
    std::function<void()> read;   // on each read event
    std::function<void()> write;  // when the connection is made, and after a send blocked
  };

  struct Target {
    std::string host;
    uint16_t port = 0;
    int receiveBufferSize = 0;  // SO_RCVBUF when not 0
  };

  explicit SocketWorker(Steps steps) : steps_(std::move(steps)) {}
  SocketWorker(const SocketWorker&) = delete;
  SocketWorker& operator=(const SocketWorker&) = delete;
  ~SocketWorker() { stop(); }

  // platform::StartResult: started, already running, or failed.
  int start(Target target);
  // Empties the receive buffer, then starts; true only when a new thread was started.
  bool play(Target target);
  // Clears the run flag and waits for the thread.
  void stop() { thread_.stop(); }
  // Clears the run flag only; the worker ends within one wait period.
  void requestStop() { thread_.requestStop(); }

  // Sends everything while the run flag is set; a failed send clears the flag and drops the rest.
  // True when every byte went out. Callable from any thread.
  bool sendAll(const void* data, size_t length);
  bool sendAll(std::string_view text) { return sendAll(text.data(), text.size()); }

  // One receive of at most maxBytes appended to the receive buffer; the count, 0 when nothing.
  int32_t receive(int32_t maxBytes = kReceiveChunk);

  ByteBuffer& recvBuffer() { return recvBuffer_; }
  bool running() const { return thread_.running(); }
  bool hasThread() const { return thread_.hasThread(); }

 private:
  void run(const Target& target);
  bool openConnection(const Target& target);
  void dispatch(uint32_t events);

  Steps steps_;
  platform::WorkerThread thread_;
  // Sends from other threads (a TEARDOWN from the owner's) against the worker opening and
  // closing the socket: a descriptor closed, and perhaps reused, under a send is never written.
  std::mutex socketLock_;
  platform::Socket socket_;
  ByteBuffer recvBuffer_;
};

}  // namespace vexa
