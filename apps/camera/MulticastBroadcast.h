#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camera/MediaPlayout.h"
#include "camera/RtspServerOptions.h"
#include "camera/RtspStreams.h"

namespace vexa::camera {

// The name under which a multicast camera describes its sound on its own.
constexpr std::string_view kMulticastAudioStream = "audio";

// Where each stream of a multicast camera is sent: stream i's video to basePort + 2 i (RTCP one
// above), the shared audio after the last video.
struct MulticastPorts {
  uint16_t basePort = 0;
  uint16_t videoPort(size_t streamIndex) const { return uint16_t(basePort + 2 * streamIndex); }
  uint16_t audioPort(size_t streamCount) const { return uint16_t(basePort + 2 * streamCount); }
};

// Rewrites the camera's descriptions for a group: each stream's own names its video port and the
// group (on a session-level or a media-level connection line) without its audio; the added
// "audio" stream describes the shared audio alone. In the common style the audio stays in each
// stream's description and no "audio" stream is added.
void describeForGroup(std::vector<StreamDefinition>& streams, const RtspServerOptions& options);

// Sends every stream to the group from start to stop, whether anyone listens or not, as cameras
// that only describe their multicast do.
class MulticastBroadcast {
 public:
  explicit MulticastBroadcast(const RtspServerOptions& options) : options_(options) {}
  MulticastBroadcast(const MulticastBroadcast&) = delete;
  MulticastBroadcast& operator=(const MulticastBroadcast&) = delete;
  ~MulticastBroadcast() { stop(); }

  // False, with why, when a stream cannot be sent.
  bool start(const std::vector<StreamDefinition>& streams, std::string& why);
  void stop();

  uint64_t packetsSent() const { return packets_.load(std::memory_order_relaxed); }

 private:
  void run();

  const RtspServerOptions& options_;
  std::vector<std::unique_ptr<MediaPlayout>> playouts_;
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> packets_{0};
  std::thread thread_;
};

}  // namespace vexa::camera
