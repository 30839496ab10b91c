#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "common/StreamConfig.h"
#include "net/SocketWorker.h"
#include "platform/Clock.h"
#include "protocol/auth/Authenticator.h"
#include "protocol/rtsp/MulticastDescribe.h"
#include "protocol/rtsp/MulticastDescription.h"
#include "protocol/rtsp/MulticastSetup.h"

namespace vexa {

// Where the multicast stream is received: the group (empty: the ports are bound without joining)
// and the dotted address of the interface it is joined on.
struct MulticastJoin {
  std::string group;
  std::string interfaceAddress;
  std::string audioGroup;  // a server that places the audio apart names it; empty: group
};

// The multicast models ask: DESCRIBE the video, DESCRIBE "/audio". When the descriptions name the
// group and ports, the connection ends there and the stream is received from the group, whatever
// becomes of the connection. When they leave them to the server (a group that is none, such as
// 0.0.0.0, or port 0), the stream is set up, played and kept alive on the connection, and torn
// down at Stop (rtsp::MulticastSetup).
class IPCamera_Multicast_Handler {
 public:
  // Runs on the worker once both descriptions are read, with the configuration they filled: the
  // owner starts its receivers there.
  using StartMedia = std::function<void(const StreamConfig&, const MulticastJoin&)>;

  explicit IPCamera_Multicast_Handler(
      StartMedia startMedia, const platform::Clock& clock = platform::SystemClock::instance());
  IPCamera_Multicast_Handler(const IPCamera_Multicast_Handler&) = delete;
  IPCamera_Multicast_Handler& operator=(const IPCamera_Multicast_Handler&) = delete;
  ~IPCamera_Multicast_Handler();

  // The site's configuration: the worker reads and writes it while it runs.
  void setConfig(StreamConfig* config) { config_ = config; }
  // Asks again on a new connection (also after Stop); true when a thread was started.
  bool Play();
  // Tears a set-up session down, then ends the connection if it is still up; the receivers are
  // the owner's to stop.
  void Stop();

  rtsp::MulticastDescribeStep step() const { return step_.load(std::memory_order_acquire); }
  rtsp::MulticastSetup::State setupState() const { return setup_.state(); }
  // The description as last read, for the owner's statistics and tests; valid once step() is
  // kDone.
  const MulticastDescription& description() const { return description_; }
  const ConnectionStatus& status() const { return worker_.status(); }
  bool finished() const { return worker_.finished(); }

  // The worker's steps, public so that a test can drive them without a thread: bytes the
  // connection delivered, and the connection ready to take the first request.
  void onReceived(std::span<const uint8_t> bytes);
  void onWrite();

 private:
  void onRead();
  void onTick();
  void takeReceived();
  void readDescriptions();
  void take(rtsp::MulticastReadAction action);
  void authenticate();
  std::string describeRequest(rtsp::MulticastDescribeStep step);
  void finish();
  void beginSetup(const MulticastVideoSlot& video);
  void joinSetUp(const rtsp::MulticastTransport& video,
                 const std::optional<rtsp::MulticastTransport>& audio);
  MulticastJoin joinOn(std::string group);

  StartMedia startMedia_;
  StreamConfig* config_ = nullptr;
  SocketWorker worker_;
  // The reading and the set-up dialogue against a new Play and Stop's TEARDOWN.
  std::mutex readingLock_;
  rtsp::MulticastDescribeReading reading_{0};
  // Answers a 401 to a DESCRIBE; until one comes, the requests carry Basic credentials up front.
  auth::Authenticator describeAuth_;
  bool describeChallenged_ = false;
  rtsp::MulticastSetup setup_;
  bool videoAsked_ = false;
  std::atomic<rtsp::MulticastDescribeStep> step_{rtsp::MulticastDescribeStep::kVideo};
  MulticastDescription description_;
};

}  // namespace vexa
