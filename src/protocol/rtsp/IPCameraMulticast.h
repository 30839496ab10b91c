#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>

#include "common/StreamConfig.h"
#include "net/SocketWorker.h"
#include "protocol/rtsp/MulticastDescribe.h"
#include "protocol/rtsp/MulticastDescription.h"

namespace vexa {

// Where the multicast stream is received: the group (empty: the ports are bound without joining)
// and the dotted address of the interface it is joined on.
struct MulticastJoin {
  std::string group;
  std::string interfaceAddress;
};

// The multicast models only ask: DESCRIBE the video, DESCRIBE "/audio", then the connection ends
// and the stream is received from the group, whatever becomes of the connection. No SETUP, PLAY,
// keep-alive or TEARDOWN is ever sent.
class IPCamera_Multicast_Handler {
 public:
  // Runs on the worker once both descriptions are read, with the configuration they filled: the
  // owner starts its receivers there.
  using StartMedia = std::function<void(const StreamConfig&, const MulticastJoin&)>;

  explicit IPCamera_Multicast_Handler(StartMedia startMedia);
  IPCamera_Multicast_Handler(const IPCamera_Multicast_Handler&) = delete;
  IPCamera_Multicast_Handler& operator=(const IPCamera_Multicast_Handler&) = delete;
  ~IPCamera_Multicast_Handler();

  // The site's configuration: the worker reads and writes it while it runs.
  void setConfig(StreamConfig* config) { config_ = config; }
  // Asks again on a new connection (also after Stop); true when a thread was started.
  bool Play();
  // Ends the connection if it is still up; the receivers are the owner's to stop.
  void Stop();

  rtsp::MulticastDescribeStep step() const { return step_.load(std::memory_order_acquire); }
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
  void finish();

  StartMedia startMedia_;
  StreamConfig* config_ = nullptr;
  SocketWorker worker_;
  std::mutex readingLock_;  // the reading against a new Play
  rtsp::MulticastDescribeReading reading_{0};
  bool videoAsked_ = false;
  std::atomic<rtsp::MulticastDescribeStep> step_{rtsp::MulticastDescribeStep::kVideo};
  MulticastDescription description_;
};

}  // namespace vexa
