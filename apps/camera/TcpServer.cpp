#include "camera/TcpServer.h"

#include <unistd.h>

#include <cerrno>

#include "common/DebugTrace.h"

namespace vexa::camera {

TcpServer::TcpServer(Handler handler, std::chrono::milliseconds dropAfter, size_t maxConnections)
    : handler_(std::move(handler)), dropAfter_(dropAfter), maxConnections_(maxConnections) {}

TcpServer::~TcpServer() {
  stop();
}

int TcpServer::start(const std::string& address, uint16_t port) {
  if (isRunning()) return EALREADY;
  const int error = listener_.listen(address, port);
  if (error != 0) return error;
  port_.store(listener_.port(), std::memory_order_relaxed);
  stopping_.store(false);
  try {
    acceptThread_ = std::thread([this] { acceptLoop(); });
  } catch (const std::system_error& failure) {
    listener_.close();
    return failure.code().value();
  }
  return 0;
}

void TcpServer::stop() {
  stopping_.store(true);
  if (acceptThread_.joinable()) acceptThread_.join();
  std::lock_guard lock(mutex_);
  for (auto& connection : connections_) connection->socket.shutdown();
  for (auto& connection : connections_) {
    if (connection->thread.joinable()) connection->thread.join();
  }
  connections_.clear();
  active_.store(0, std::memory_order_relaxed);
  listener_.close();
}

void TcpServer::dropAll() {
  std::lock_guard lock(mutex_);
  for (auto& connection : connections_) drop(*connection);
}

void TcpServer::drop(Connection& connection) {
  if (connection.dropped || connection.finished.load()) return;
  connection.dropped = true;
  dropped_.fetch_add(1, std::memory_order_relaxed);
  connection.socket.shutdown();
  DebugTrace("TcpServer: dropped connection #%llu\n",
             static_cast<unsigned long long>(connection.socket.number()));
}

void TcpServer::acceptLoop() {
  while (!stopping_.load()) {
    tendConnections();
    const int fd = listener_.accept(kAcceptWaitMs);
    if (fd >= 0) serveAccepted(fd);
  }
}

void TcpServer::serveAccepted(int fd) {
  std::lock_guard lock(mutex_);
  if (connections_.size() >= maxConnections_) {
    DebugTrace("TcpServer: connection limit %zu reached, refusing one\n", maxConnections_);
    ::close(fd);
    return;
  }
  auto connection = std::make_unique<Connection>(fd, ++accepted_);
  Connection* served = connection.get();
  active_.fetch_add(1, std::memory_order_relaxed);
  try {
    served->thread = std::thread([this, served] {
      handler_(served->socket, stopping_);
      served->socket.shutdown();
      active_.fetch_sub(1, std::memory_order_relaxed);
      served->finished.store(true);
    });
  } catch (const std::system_error&) {
    active_.fetch_sub(1, std::memory_order_relaxed);
    return;  // the connection closes with its object
  }
  connections_.push_back(std::move(connection));
}

void TcpServer::tendConnections() {
  const auto now = SteadyClock::now();
  std::lock_guard lock(mutex_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    Connection& connection = **it;
    if (connection.finished.load()) {
      connection.thread.join();
      it = connections_.erase(it);
      continue;
    }
    if (dropAfter_.count() > 0 && now - connection.accepted >= dropAfter_) drop(connection);
    ++it;
  }
}

}  // namespace vexa::camera
