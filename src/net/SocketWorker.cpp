#include "net/SocketWorker.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "common/DebugTrace.h"
#include "net/WorkerLoop.h"

namespace vexa {

using platform::Socket;

namespace {

StreamFailure connectFailure(int error) {
  switch (error) {
    case ECONNREFUSED:
      return {StreamFault::kConnectionRefused, {}};
    case ETIMEDOUT:
      return {StreamFault::kNoAnswer, {}};
    default:
      return {StreamFault::kConnectFailed, std::strerror(error)};
  }
}

}  // namespace

int SocketWorker::start(Target target) {
  if (running() || hasThread()) return platform::kAlreadyRunning;
  status_.beginAttempt();
  finished_.store(false, std::memory_order_release);
  return thread_.start([this, target = std::move(target)]() mutable { run(std::move(target)); });
}

bool SocketWorker::play(Target target) {
  recvBuffer_.clear();
  return start(std::move(target)) == platform::kStarted;
}

// Every address the host has is tried in turn until one takes the connection (a name with an
// IPv6 and an IPv4 address, on a camera that listens on one of them).
bool SocketWorker::openConnection(const Target& target) {
  const std::optional<std::vector<platform::Endpoint>> found = lookUp(target);
  if (!found) return false;
  const std::vector<platform::Endpoint>& addresses = *found;
  if (addresses.empty()) {
    DebugTrace("worker: '%s' does not resolve", target.host.c_str());
    status_.fail({StreamFault::kNameNotResolved, {}});
    reportConnect(EHOSTUNREACH);
    return false;
  }
  int error = 0;
  for (const platform::Endpoint& address : addresses) {
    if (!thread_.running()) return false;
    error = connectTo(address, target);
    if (error == 0) {
      reportConnect(0);
      return true;
    }
    DebugTrace("worker: connect to %s failed (%d)", address.text().c_str(), error);
  }
  if (thread_.running()) {
    status_.fail(connectFailure(error));
    reportConnect(error);
  }
  return false;
}

std::optional<std::vector<platform::Endpoint>> SocketWorker::lookUp(const Target& target) {
  platform::NameLookUp lookUp(target.host, target.port, resolve_);
  while (thread_.running()) {
    if (auto addresses = lookUp.waitFor(platform::kNetEventWaitMs)) return addresses;
    reportQuiet();
  }
  DebugTrace("worker: look-up of '%s' abandoned", target.host.c_str());
  return std::nullopt;
}

void SocketWorker::reportConnect(int error) {
  if (steps_.connected) steps_.connected(error);
}

void SocketWorker::reportQuiet() {
  if (steps_.quiet) steps_.quiet();
}

int SocketWorker::connectTo(const platform::Endpoint& address, const Target& target) {
  int result = 0;
  {
    std::lock_guard lock(socketLock_);
    if (const int error = socket_.create(Socket::Type::Stream, 0, address.family()); error != 0)
      return error;
    if (target.receiveBufferSize > 0) {
      if (const int error = socket_.setReceiveBufferSize(target.receiveBufferSize); error != 0)
        return error;
    }
    if (const int error = socket_.selectEvents(platform::kAllNetEvents); error != 0) return error;
    result = socket_.connect(address);
  }
  for (int waited = 0; result == platform::kWouldBlock; waited += platform::kNetEventWaitMs) {
    if (!thread_.running()) return EINTR;
    if (waited >= kConnectTimeoutMs) return ETIMEDOUT;
    result = socket_.finishConnect(platform::kNetEventWaitMs);
    if (result == platform::kWouldBlock) reportQuiet();
  }
  return result;
}

void SocketWorker::closeConnection() {
  std::lock_guard lock(socketLock_);
  shutDownAndClose(socket_);
}

bool SocketWorker::connectionGoesOn() const {
  return thread_.running() && !reconnectTarget_;
}

void SocketWorker::run(Target target) {
  // An early end leaves the run flag set until the owner stops the worker.
  while (openConnection(target)) {
    runEventLoop(
        socket_, [this] { return connectionGoesOn(); },
        [this](uint32_t events) { dispatch(events); });
    closeConnection();
    if (!reconnectTarget_ || !thread_.running()) break;
    target = std::move(*reconnectTarget_);
    reconnectTarget_.reset();
    recvBuffer_.clear();
  }
  // A connect that failed leaves its socket open; an idle worker holds no descriptor.
  closeConnection();
  finished_.store(true, std::memory_order_release);
}

void SocketWorker::dispatch(uint32_t events) {
  if (events == 0) reportQuiet();
  if ((events & platform::kFdRead) && steps_.read) steps_.read();
  if ((events & platform::kFdWrite) && steps_.write && connectionGoesOn()) steps_.write();
  // A peer that closes once a step moved the connection elsewhere (after a 401) loses nothing.
  if ((events & platform::kFdClose) && !reconnectTarget_) {
    if (steps_.closed && thread_.running()) steps_.closed();
    status_.fail({StreamFault::kConnectionLost, {}});
    thread_.requestStop();
  }
  if (steps_.tick && connectionGoesOn()) steps_.tick();
}

void SocketWorker::endConnection(StreamFailure failure) {
  DebugTrace("worker: connection given up: %s", failure.cause().c_str());
  status_.fail(std::move(failure));
  thread_.requestStop();
}

void SocketWorker::reconnect(Target target) {
  reconnectTarget_ = std::move(target);
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
      status_.fail({StreamFault::kConnectionLost, {}});
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

std::string SocketWorker::localAddress() {
  std::lock_guard lock(socketLock_);
  return socket_.localAddressText();
}

std::string SocketWorker::peerAddress() {
  std::lock_guard lock(socketLock_);
  return socket_.peerAddressText();
}

}  // namespace vexa
