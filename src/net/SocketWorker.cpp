#include "net/SocketWorker.h"

#include <sys/socket.h>

#include <cerrno>

#include "common/DebugTrace.h"
#include "net/WorkerLoop.h"

namespace vexa {

using platform::Socket;

int SocketWorker::start(Target target) {
  return thread_.start([this, target = std::move(target)] { run(target); });
}

bool SocketWorker::play(Target target) {
  recvBuffer_.clear();
  return start(std::move(target)) == platform::kStarted;
}

bool SocketWorker::openConnection(const Target& target) {
  std::lock_guard lock(socketLock_);
  if (socket_.create(Socket::Type::Stream) != 0) return false;
  if (target.receiveBufferSize > 0 && socket_.setReceiveBufferSize(target.receiveBufferSize) != 0)
    return false;
  if (socket_.selectEvents(platform::kAllNetEvents) != 0) return false;
  const int result = socket_.connect(target.host, target.port);
  if (result != 0 && result != platform::kWouldBlock) {
    DebugTrace("worker: connect to %s:%u failed (%d)", target.host.c_str(), target.port, result);
    return false;
  }
  return true;
}

void SocketWorker::run(const Target& target) {
  // An early end leaves the run flag set and the socket open until the owner stops the worker.
  if (!openConnection(target)) return;
  runEventLoop(thread_, socket_, [this](uint32_t events) { dispatch(events); });
  std::lock_guard lock(socketLock_);
  shutDownAndClose(socket_);
}

void SocketWorker::dispatch(uint32_t events) {
  if ((events & platform::kFdRead) && steps_.read) steps_.read();
  if ((events & platform::kFdWrite) && steps_.write) steps_.write();
  if (events & platform::kFdClose) thread_.requestStop();
}

bool SocketWorker::sendAll(const void* data, size_t length) {
  std::lock_guard lock(socketLock_);
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (thread_.running() && length > 0) {
    const ssize_t sent = socket_.send(bytes, length);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        socket_.waitWritable(platform::kNetEventWaitMs);
        continue;
      }
      thread_.requestStop();
      return false;
    }
    bytes += sent;
    length -= size_t(sent);
  }
  return length == 0;
}

int32_t SocketWorker::receive(int32_t maxBytes) {
  return recvBuffer_.receiveAppend(
      maxBytes, [this](uint8_t* at, size_t n) { return socket_.receive(at, n); });
}

}  // namespace vexa
