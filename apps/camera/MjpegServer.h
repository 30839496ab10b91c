#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/FisheyeLens.h"
#include "camera/FrameProducer.h"
#include "camera/HttpRequest.h"
#include "camera/PtzControl.h"
#include "camera/Redirect.h"
#include "camera/RequestLog.h"
#include "camera/ServerAuthenticator.h"
#include "camera/TcpServer.h"
#include "platform/Clock.h"

namespace vexa::camera {

// How command answers are framed, for clients to be tried against each.
enum class CgiFraming {
  Length,       // Content-Length
  LengthLower,  // "content-length" in lower case
  Chunked,
  Close,   // no length: the body ends where the connection does
  LfOnly,  // Content-Length, every line ended by LF alone
};

struct MjpegServerOptions {
  std::string bindAddress = "127.0.0.1";  // IPv4 or IPv6
  uint16_t port = 0;                      // 0: an ephemeral port, see MjpegServer::port()
  int width = 640;
  int height = 480;
  int fps = 10;
  int quality = 70;  // 1..100
  // When either is set, clients must send both, by auth's scheme.
  std::string user;
  std::string password;
  AuthScheme auth = AuthScheme::Basic;
  int nonceLifetimeSeconds = 60;
  const platform::Clock* clock = nullptr;  // measures nonce ages; the system's when null
  std::string boundary = "vexaframe";
  std::vector<Redirect> redirects;
  // Every connection is dropped this long after it was accepted; 0: never.
  int dropAfterMs = 0;
  bool logRequests = false;        // echo each request on stderr besides MjpegServer::requestLog()
  VideoDump* videoDump = nullptr;  // receives the pictures sent; outlives the server
  // The pan/tilt/zoom head the pictures show and commands move; outlives the server. When null
  // the server has one of its own.
  PtzControl* ptz = nullptr;
  std::optional<FisheyeSettings> fisheye;  // the pictures lie on a room's floor, seen through it
  CgiFraming cgiFraming = CgiFraming::Length;
};

// Serves the generated pictures as an HTTP multipart JPEG stream to any number of clients, each
// request answered with the same endless stream whatever its path, but for pan/tilt/zoom commands
// to PtzControl::kPath, which get a short answer.
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
  uint64_t unauthorisedRequests() const { return auth_.counts().unauthorised; }
  AuthCounts authCounts() const { return auth_.counts(); }
  // Connections open, whether streaming or still sending their request.
  size_t activeClients() const { return tcp_.activeConnections(); }
  // Every request received, oldest first (the newest RequestLog::kMaxEntries).
  std::vector<LoggedRequest> requestLog() const { return log_.entries(); }

  // Closes every open connection at once.
  void dropAllConnections() { tcp_.dropAll(); }
  uint64_t droppedConnections() const { return tcp_.droppedConnections(); }

  // The answer header that opens a stream, and the head of one part.
  static std::string streamAnswerHeader(const std::string& boundary);
  static std::string partHeader(size_t jpegLength);
  // A command's whole answer, connection closing after it.
  static std::string commandAnswer(const PtzAnswer& answer, CgiFraming framing);

 private:
  std::string validateOptions() const;
  void serve(TcpConnection& connection, const std::atomic<bool>& stopping);
  // The answer that turns the request away; empty when it gets the stream.
  std::string refusalOf(const std::optional<HttpRequest>& request);
  void refuse(TcpConnection& connection, const std::string& answer,
              const std::atomic<bool>& stopping);
  void streamPictures(TcpConnection& connection, const std::atomic<bool>& stopping);
  void answerCommand(TcpConnection& connection, const HttpRequest& request,
                     const std::atomic<bool>& stopping);

  const MjpegServerOptions options_;
  const std::string delimiter_;  // CR LF "--" boundary CR LF, sent after every picture
  std::unique_ptr<PtzControl> ownPtz_;
  PtzControl& ptz_;
  ServerAuthenticator auth_;
  RequestLog log_;
  FrameProducer producer_;
  TcpServer tcp_;
  std::string lastError_;
  std::atomic<uint64_t> picturesServed_{0};
};

}  // namespace vexa::camera
