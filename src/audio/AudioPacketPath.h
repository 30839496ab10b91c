#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "audio/AudioJitterBuffer.h"
#include "audio/AudioPlayer.h"
#include "media/rtp/ReceptionFigures.h"
#include "platform/AudioOutput.h"

namespace vexa::audio {

// The audio end of a stream handler: RTP packets of its audio channel in, 160 ms blocks out to
// the sound device while audio is on. onPacket() and setCodec() run on the handler's worker;
// the flag, the counters and the figures may be used from any thread.
class AudioPacketPath {
 public:
  explicit AudioPacketPath(const platform::AudioOutputFactory& openOutput,
                           uint8_t codec = kCodecPcmu);

  // One RTP packet: counted, pushed, then every whole block held is played (when audio is on
  // and there is a device) and removed either way, so that muted audio never builds a backlog.
  void onPacket(std::span<const uint8_t> packet);

  void setCodec(uint8_t codec) { buffer_.setCodec(codec); }
  // A new session begins; called while no packet is being handed over.
  void beginSession() {
    buffer_.beginSession();
    published_.publish(buffer_.tracker().figures());
  }
  uint8_t codec() const { return buffer_.codec(); }

  // The page's mute: audio on is the default.
  void setAudioOn(bool on) { audioOn_.store(on, std::memory_order_relaxed); }
  bool audioOn() const { return audioOn_.load(std::memory_order_relaxed); }

  // Packets received since creation (a count that only grows, for watching the stream flow).
  uint64_t packetsReceived() const { return packets_.load(std::memory_order_relaxed); }
  // Bytes of every packet received since the last call (the statistics read and reset it).
  uint32_t takeReceivedBytes() { return receivedBytes_.exchange(0, std::memory_order_relaxed); }
  // The sequence accounting as receiver reports state it, as of the latest packet.
  ReceptionFigures figures() const { return published_.load(); }
  int32_t lostPackets() const { return int32_t(published_.lostPackets()); }

  bool playerUsable() const { return player_.usable(); }
  // Blocks queued to the device and blocks removed without being queued, since creation.
  uint32_t blocksPlayed() const { return blocksPlayed_.load(std::memory_order_relaxed); }
  uint32_t blocksDiscarded() const { return blocksDiscarded_.load(std::memory_order_relaxed); }

 private:
  AudioJitterBuffer buffer_;
  AudioPlayer player_;
  std::atomic<bool> audioOn_{true};
  std::atomic<uint32_t> receivedBytes_{0};
  std::atomic<uint64_t> packets_{0};
  PublishedReceptionFigures published_;
  std::atomic<uint32_t> blocksPlayed_{0};
  std::atomic<uint32_t> blocksDiscarded_{0};
};

}  // namespace vexa::audio
