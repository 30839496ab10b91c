#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "camera/TcpConnection.h"
#include "camera/TcpListener.h"

namespace vexa::camera {

// Accepts TCP connections and serves each on its own thread with a handler, so that one slow or
// silent peer holds up nobody else. Protocol servers (MJPEG and RTSP) are built on it. A
// connection can be dropped, as a camera that reboots drops them: its socket is shut down, and
// its handler sees the connection closed.
class TcpServer {
 public:
  // Runs on the connection's thread; returns when done with the connection. stopping rises when
  // the server stops; the handler must then return within a wait slice or so.
  using Handler = std::function<void(TcpConnection& connection, const std::atomic<bool>& stopping)>;

  static constexpr size_t kDefaultMaxConnections = 32;
  static constexpr int kAcceptWaitMs = 100;

  // dropAfter: every connection is dropped this long after it was accepted; 0: never.
  explicit TcpServer(Handler handler, std::chrono::milliseconds dropAfter = {},
                     size_t maxConnections = kDefaultMaxConnections);
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;
  ~TcpServer();

  // 0, or an errno value when the address cannot be bound or a server already runs (EALREADY).
  int start(const std::string& address, uint16_t port);
  // Stops accepting, raises stopping, unblocks and joins every connection thread.
  void stop();
  // Drops every open connection at once; from any thread.
  void dropAll();

  uint16_t port() const { return port_.load(std::memory_order_relaxed); }
  size_t activeConnections() const { return active_.load(std::memory_order_relaxed); }
  uint64_t droppedConnections() const { return dropped_.load(std::memory_order_relaxed); }
  bool isRunning() const { return acceptThread_.joinable(); }

 private:
  using SteadyClock = std::chrono::steady_clock;

  struct Connection {
    Connection(int fd, uint64_t number) : socket(fd, number) {}
    TcpConnection socket;
    std::thread thread;
    std::atomic<bool> finished{false};
    SteadyClock::time_point accepted = SteadyClock::now();
    bool dropped = false;
  };

  void acceptLoop();
  void serveAccepted(int fd);
  // Joins finished connections and drops those past their time.
  void tendConnections();
  void drop(Connection& connection);

  Handler handler_;
  const std::chrono::milliseconds dropAfter_;
  const size_t maxConnections_;
  TcpListener listener_;
  std::thread acceptThread_;
  std::atomic<bool> stopping_{false};
  std::atomic<uint16_t> port_{0};
  std::atomic<size_t> active_{0};
  std::atomic<uint64_t> dropped_{0};
  uint64_t accepted_ = 0;  // accept thread only
  std::mutex mutex_;       // guards connections_
  std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace vexa::camera
