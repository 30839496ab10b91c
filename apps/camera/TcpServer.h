#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "camera/TcpConnection.h"
#include "camera/TcpListener.h"

namespace vexa::camera {

// Accepts TCP connections and serves each on its own thread with a handler, so that one slow or
// silent peer holds up nobody else. Protocol servers (MJPEG now) are built on it.
class TcpServer {
 public:
  // Runs on the connection's thread; returns when done with the connection. stopping rises when
  // the server stops; the handler must then return within a wait slice or so.
  using Handler = std::function<void(TcpConnection& connection, const std::atomic<bool>& stopping)>;

  static constexpr size_t kDefaultMaxConnections = 32;
  static constexpr int kAcceptWaitMs = 100;

  explicit TcpServer(Handler handler, size_t maxConnections = kDefaultMaxConnections);
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;
  ~TcpServer();

  // 0, or an errno value when the address cannot be bound or a server already runs (EALREADY).
  int start(const std::string& address, uint16_t port);
  // Stops accepting, raises stopping, unblocks and joins every connection thread.
  void stop();

  uint16_t port() const { return port_.load(std::memory_order_relaxed); }
  size_t activeConnections() const { return active_.load(std::memory_order_relaxed); }
  bool isRunning() const { return acceptThread_.joinable(); }

 private:
  struct Connection {
    explicit Connection(int fd) : socket(fd) {}
    TcpConnection socket;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  void acceptLoop();
  void reapFinished();

  Handler handler_;
  const size_t maxConnections_;
  TcpListener listener_;
  std::thread acceptThread_;
  std::atomic<bool> stopping_{false};
  std::atomic<uint16_t> port_{0};
  std::atomic<size_t> active_{0};
  // Touched by the accept thread while it runs, and by stop() after it has ended.
  std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace vexa::camera
