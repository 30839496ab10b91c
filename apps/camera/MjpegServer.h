#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "camera/FrameProducer.h"
#include "camera/HttpRequest.h"
#include "camera/TcpServer.h"

namespace vexa::camera {

struct MjpegServerOptions {
  std::string bindAddress = "127.0.0.1";
  uint16_t port = 0;  // 0: an ephemeral port, see MjpegServer::port()
  int width = 640;
  int height = 480;
  int fps = 10;
  int quality = 70;  // 1..100
  // When either is set, clients must send Basic authorisation with both.
  std::string user;
  std::string password;
  std::string boundary = "vexaframe";
};

// Serves the generated pictures as an HTTP multipart JPEG stream to any number of clients, each
// request answered with the same endless stream whatever its path.
class MjpegServer {
 public:
  static constexpr size_t kMaxRequestHeaderBytes = 8192;
  static constexpr int kRequestTimeoutMs = 10000;
  // A client that takes no bytes for this long is dropped.
  static constexpr int kSendStallLimitMs = 10000;
  static constexpr size_t kMaxBoundaryLength = 70;

  explicit MjpegServer(MjpegServerOptions options = {});
  MjpegServer(const MjpegServer&) = delete;
  MjpegServer& operator=(const MjpegServer&) = delete;
  ~MjpegServer();

  // False, with lastError() saying why, for bad options or an address that cannot be bound.
  bool start();
  void stop();

  uint16_t port() const { return tcp_.port(); }
  const MjpegServerOptions& options() const { return options_; }
  const std::string& lastError() const { return lastError_; }

  // JPEG parts sent, summed over all clients.
  uint64_t picturesServed() const { return picturesServed_.load(std::memory_order_relaxed); }
  uint64_t framesEncoded() const { return producer_.framesEncoded(); }
  uint64_t unauthorisedRequests() const { return unauthorised_.load(std::memory_order_relaxed); }
  // Connections open, whether streaming or still sending their request.
  size_t activeClients() const { return tcp_.activeConnections(); }

  // The answer header that opens a stream, and the head of one part.
  static std::string streamAnswerHeader(const std::string& boundary);
  static std::string partHeader(size_t jpegLength);

 private:
  std::string validateOptions() const;
  void serve(TcpConnection& connection, const std::atomic<bool>& stopping);
  void refuse(TcpConnection& connection, const std::string& answer,
              const std::atomic<bool>& stopping);
  void streamPictures(TcpConnection& connection, const std::atomic<bool>& stopping);

  const MjpegServerOptions options_;
  const Credentials credentials_;
  const std::string delimiter_;  // CR LF "--" boundary CR LF, sent after every picture
  FrameProducer producer_;
  TcpServer tcp_;
  std::string lastError_;
  std::atomic<uint64_t> picturesServed_{0};
  std::atomic<uint64_t> unauthorised_{0};
};

}  // namespace vexa::camera
