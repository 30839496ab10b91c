#include "camera/MediaPlayout.h"

#include <algorithm>

#include "camera/SessionDescription.h"

namespace vexa::camera {
namespace {

using std::chrono::duration_cast;
using Microseconds = std::chrono::microseconds;

constexpr auto kMaxLag = std::chrono::seconds(1);
constexpr Microseconds kAudioPacketDuration{1000000LL * MediaPlayout::kAudioPacketSamples /
                                            kAudioClockRate};
constexpr int kMaxAudioBurst = 10;

// Clock ticks of rate in an elapsed time.
uint32_t ticks(MediaPlayout::Clock::duration elapsed, uint32_t rate) {
  const int64_t micro = std::max<int64_t>(0, duration_cast<Microseconds>(elapsed).count());
  return uint32_t(uint64_t(micro) * rate / 1000000ULL);
}

}  // namespace

MediaPlayout::MediaPlayout(int fps, std::chrono::milliseconds senderReportInterval,
                           std::string cname)
    : fps_(std::max(fps, 1)), reportInterval_(senderReportInterval), cname_(std::move(cname)) {}

void MediaPlayout::setVideo(std::unique_ptr<VideoSource> source, RtpStream stream) {
  video_.emplace(VideoTrack{std::move(source), std::move(stream)});
}

void MediaPlayout::setAudio(std::unique_ptr<ToneEncoder> encoder, RtpStream stream) {
  audio_.emplace(AudioTrack{std::move(encoder), std::move(stream)});
}

const RtpStream* MediaPlayout::streamOnChannel(uint8_t channel) const {
  for (const RtpStream* stream : {video(), audio()}) {
    const auto channels = stream ? stream->transport().channels() : std::nullopt;
    if (channels && (channels->rtp == channel || channels->rtcp == channel)) return stream;
  }
  return nullptr;
}

void MediaPlayout::receiveRtcp(
    const std::function<void(const RtpStream&, std::span<const uint8_t>)>& handler) {
  for (RtpStream* stream :
       {video_ ? &video_->stream : nullptr, audio_ ? &audio_->stream : nullptr}) {
    if (!stream) continue;
    stream->transport().receiveRtcp(
        [&](std::span<const uint8_t> packet) { handler(*stream, packet); });
  }
}

void MediaPlayout::start(Clock::time_point now) {
  started_ = now;
  nextReport_ = now;  // the first report goes out with the first packets
}

MediaPlayout::Clock::time_point MediaPlayout::pictureDue(uint32_t index) const {
  return *started_ + Microseconds(1000000LL * index / fps_);
}

MediaPlayout::Clock::time_point MediaPlayout::audioDue(uint64_t index) const {
  return *started_ + kAudioPacketDuration * int64_t(index);
}

std::optional<MediaPlayout::Clock::time_point> MediaPlayout::nextDue() const {
  if (!started_) return std::nullopt;
  Clock::time_point due = nextReport_;
  if (video_) due = std::min(due, pictureDue(video_->nextPicture));
  if (audio_) due = std::min(due, audioDue(audio_->nextPacket));
  return due;
}

uint64_t MediaPlayout::produceVideo(Clock::time_point now) {
  if (!video_ || pictureDue(video_->nextPicture) > now) return 0;
  if (now - pictureDue(video_->nextPicture) > kMaxLag) {
    video_->nextPicture = uint32_t(ticks(now - *started_, uint32_t(fps_)));
  }
  const uint32_t index = video_->nextPicture++;
  const uint32_t mediaTime = uint32_t(uint64_t(index) * kVideoClockRate / uint64_t(fps_));
  const auto payloads = video_->source->payloadsOf(index);
  for (size_t i = 0; i < payloads.size(); ++i) {
    video_->stream.sendPacket(payloads[i], i + 1 == payloads.size(), mediaTime);
  }
  return payloads.size();
}

uint64_t MediaPlayout::produceAudio(Clock::time_point now) {
  if (!audio_) return 0;
  if (now - audioDue(audio_->nextPacket) > kMaxLag) {
    audio_->nextPacket = uint64_t((now - *started_) / kAudioPacketDuration);
  }
  uint64_t sent = 0;
  for (int burst = 0; burst < kMaxAudioBurst && audioDue(audio_->nextPacket) <= now; ++burst) {
    const uint64_t index = audio_->nextPacket++;
    const std::vector<uint8_t> payload = audio_->encoder->encodeNext(kAudioPacketSamples);
    if (payload.empty()) continue;
    // RFC 3551 section 4.1: the marker opens a talkspurt, here the start of the session.
    audio_->stream.sendPacket(payload, index == 0, uint32_t(index * kAudioPacketSamples));
    ++sent;
  }
  return sent;
}

uint64_t MediaPlayout::produceReports(Clock::time_point now,
                                      std::chrono::system_clock::time_point wallClock) {
  if (nextReport_ > now) return 0;
  nextReport_ += reportInterval_;
  if (nextReport_ <= now) nextReport_ = now + reportInterval_;
  uint64_t sent = 0;
  for (auto* stream : {video_ ? &video_->stream : nullptr, audio_ ? &audio_->stream : nullptr}) {
    if (!stream) continue;
    stream->sendSenderReport(wallClock, ticks(now - *started_, stream->clockRate()), cname_);
    ++sent;
  }
  return sent;
}

MediaPlayout::Produced MediaPlayout::produceDue(Clock::time_point now,
                                                std::chrono::system_clock::time_point wallClock) {
  Produced produced;
  if (!started_) return produced;
  produced.rtpPackets += produceVideo(now);
  produced.rtpPackets += produceAudio(now);
  produced.senderReports += produceReports(now, wallClock);
  return produced;
}

}  // namespace vexa::camera
