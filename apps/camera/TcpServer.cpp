#include "camera/TcpServer.h"

#include <unistd.h>

#include <cerrno>

#include "common/DebugTrace.h"

namespace vexa::camera {

TcpServer::TcpServer(Handler handler, size_t maxConnections)
    : handler_(std::move(handler)), maxConnections_(maxConnections) {}

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
  for (auto& connection : connections_) connection->socket.shutdown();
  for (auto& connection : connections_) {
    if (connection->thread.joinable()) connection->thread.join();
  }
  connections_.clear();
  active_.store(0, std::memory_order_relaxed);
  listener_.close();
}

void TcpServer::acceptLoop() {
  while (!stopping_.load()) {
    reapFinished();
    const int fd = listener_.accept(kAcceptWaitMs);
    if (fd < 0) continue;
    if (connections_.size() >= maxConnections_) {
      DebugTrace("TcpServer: connection limit %zu reached, refusing one\n", maxConnections_);
      ::close(fd);
      continue;
    }
    auto connection = std::make_unique<Connection>(fd);
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
      continue;  // the connection closes with its object
    }
    connections_.push_back(std::move(connection));
  }
}

void TcpServer::reapFinished() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if ((*it)->finished.load()) {
      (*it)->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace vexa::camera
