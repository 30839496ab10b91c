#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "camera/AudioCodec.h"
#include "camera/ConnectionEnds.h"
#include "camera/TalkDecoder.h"
#include "camera/TalkWavWriter.h"

namespace vexa::camera {

// One talk packet taken in.
struct TalkArrival {
  uint16_t sequence = 0;
  int64_t arrivalUs = 0;    // monotonic clock
  size_t sampleOffset = 0;  // where its samples begin in TalkReceiver::pcm()
};

struct TalkCounts {
  uint64_t packets = 0;           // taken in and decoded
  uint64_t gaps = 0;              // packets missing from the sequence, each played as silence
  uint64_t foreignDatagrams = 0;  // from an address that holds no RTSP session
  // Not RTP, no payload, another payload type than the one served, or a payload that decodes
  // to nothing.
  uint64_t runts = 0;
  uint64_t late = 0;  // behind the sequence already played: late or repeated
};

// The camera's loudspeaker: RTP audio a client sends to the port its description's audio line
// names, from the address it holds an RTSP session from, in the codec the camera serves. The
// sound is decoded in sequence order, missing packets played as silence, and kept for tests (and
// written to a WAV file when one is given). A receiving thread writes; anyone reads.
class TalkReceiver {
 public:
  // Whether a datagram's source address holds an RTSP session.
  using SenderCheck = std::function<bool(const Endpoint& sender)>;

  static constexpr size_t kMaxDatagramBytes = 2048;
  // A jump ahead by more than this many packets, or back by more, is a sender that started over
  // rather than loss or lateness: no silence for it, and it is not dropped.
  static constexpr uint16_t kMaxGapPackets = 64;
  static constexpr int kWaitSliceMs = 100;

  // wav: where the sound goes as it arrives besides pcm(); may be null.
  TalkReceiver(AudioCodec codec, SenderCheck sessionHeldBy,
               std::unique_ptr<TalkWavWriter> wav = nullptr);
  TalkReceiver(const TalkReceiver&) = delete;
  TalkReceiver& operator=(const TalkReceiver&) = delete;
  ~TalkReceiver();

  // Binds local (its port 0: one the system picks) and starts receiving; false with error set
  // when the port cannot be bound or the codec cannot be decoded.
  bool start(const Endpoint& local, std::string& error);
  // Stops receiving and completes the WAV file; what arrived stays readable.
  void stop();
  uint16_t port() const { return port_.load(std::memory_order_relaxed); }

  // One datagram as it came from sender; the receiving thread's step, callable without a socket.
  void onDatagram(std::span<const uint8_t> bytes, const Endpoint& sender);

  uint8_t payloadType() const { return payloadType_; }
  std::vector<int16_t> pcm() const;
  std::vector<TalkArrival> arrivals() const;
  TalkCounts counts() const;
  // The address and port the latest packet taken in came from.
  std::optional<Endpoint> sender() const;
  // True once at least count packets were taken in; false when limit passed first.
  bool waitForPackets(uint64_t count, std::chrono::milliseconds limit) const;
  // "talk: N packets from HOST:PORT, G gaps", or empty when no packet was taken in.
  std::string summary() const;

 private:
  void receiveLoop();
  // The packets missing before sequence, or nullopt for one to drop as late; a sender that
  // started over has none missing.
  std::optional<uint16_t> missingBefore(uint16_t sequence, const Endpoint& sender) const;
  // arrival's sample offset is filled in here.
  void take(TalkArrival arrival, uint16_t missing, std::span<const int16_t> samples,
            const Endpoint& sender);

  const uint8_t payloadType_;
  const SenderCheck sessionHeldBy_;
  std::unique_ptr<TalkWavWriter> wav_;
  TalkDecoder decoder_;
  bool decoderOpen_ = false;
  int socket_ = -1;
  std::atomic<uint16_t> port_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;

  mutable std::mutex mutex_;  // guards what follows
  mutable std::condition_variable arrived_;
  std::vector<int16_t> pcm_;
  std::vector<TalkArrival> arrivals_;
  TalkCounts counts_;
  std::optional<Endpoint> sender_;
  std::optional<uint16_t> expected_;  // the sequence number due next
};

}  // namespace vexa::camera
