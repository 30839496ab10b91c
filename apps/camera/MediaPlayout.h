#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/RtpStream.h"
#include "camera/ToneEncoder.h"
#include "camera/VideoSource.h"

namespace vexa::camera {

// The tracks of one session and their timing once it plays: a picture every 1/fps seconds, an
// audio packet every 20 ms, sender reports on every stream at a steady interval. Media times
// follow the clock from the start of play, so a session that falls behind skips pictures rather
// than bursting.
class MediaPlayout {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kAudioPacketSamples = 160;  // 20 ms

  struct Produced {
    uint64_t rtpPackets = 0;
    uint64_t senderReports = 0;
  };

  MediaPlayout(int fps, std::chrono::milliseconds senderReportInterval, std::string cname);

  void setVideo(std::unique_ptr<VideoSource> source, RtpStream stream);
  void setAudio(std::unique_ptr<ToneEncoder> encoder, RtpStream stream);
  const RtpStream* video() const { return video_ ? &video_->stream : nullptr; }
  const RtpStream* audio() const { return audio_ ? &audio_->stream : nullptr; }
  // The stream whose RTP or RTCP goes on interleaved channel; nullptr when none does.
  const RtpStream* streamOnChannel(uint8_t channel) const;
  // Hands over the RTCP packets that clients sent to the streams' own sockets.
  void receiveRtcp(const std::function<void(const RtpStream&, std::span<const uint8_t>)>& handler);

  void start(Clock::time_point now);
  bool playing() const { return started_.has_value(); }

  // Sends every packet and report due by now, each on its stream's transport.
  Produced produceDue(Clock::time_point now, std::chrono::system_clock::time_point wallClock);
  // When the next packet or report falls due; nullopt while not playing.
  std::optional<Clock::time_point> nextDue() const;

 private:
  struct VideoTrack {
    std::unique_ptr<VideoSource> source;
    RtpStream stream;
    uint32_t nextPicture = 0;
  };
  struct AudioTrack {
    std::unique_ptr<ToneEncoder> encoder;
    RtpStream stream;
    uint64_t nextPacket = 0;
  };

  Clock::time_point pictureDue(uint32_t index) const;
  Clock::time_point audioDue(uint64_t index) const;
  uint64_t produceVideo(Clock::time_point now);
  uint64_t produceAudio(Clock::time_point now);
  uint64_t produceReports(Clock::time_point now, std::chrono::system_clock::time_point wallClock);

  const int fps_;
  const std::chrono::milliseconds reportInterval_;
  const std::string cname_;
  std::optional<VideoTrack> video_;
  std::optional<AudioTrack> audio_;
  std::optional<Clock::time_point> started_;
  Clock::time_point nextReport_;
};

}  // namespace vexa::camera
