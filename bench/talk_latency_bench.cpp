// Talk's delay, in process: from the moment a packet's first sample was due at a live-paced
// microphone to the moment the camera's receiver has the packet, for each codec the camera serves.
// The floor sends the same buffers the shortest way: FFmpeg's pcm_mulaw and one sendto from the
// microphone's own callback. Prints median, p99 and max per codec and the ratio of p99s.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FfmpegTalkEncoder.h"
#include "audio/TalkPackets.h"
#include "camera/RtspServer.h"
#include "camera/TalkReceiver.h"
#include "media/rtp/RtpPacket.h"
#include "platform/AudioInput.h"
#include "platform/Socket.h"
#include "platform/Thread.h"
#include "session/IPCameraSite.h"
#include "support/ToneAnalysis.h"

namespace {

using namespace vexa;
using Clock = std::chrono::steady_clock;

constexpr auto kRunLength = std::chrono::seconds(10);
constexpr auto kBufferDuration = std::chrono::milliseconds(64);
constexpr uint32_t kSlot = 71;
constexpr double kP99TargetMs = 200;
constexpr double kFloorRatioTarget = 1.1;

int64_t microseconds(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

// A microphone handing over one talk buffer each time one is recorded, against the clock the
// camera stamps arrivals with; it remembers when recording began.
class PacedMicrophone final : public platform::AudioInput {
 public:
  PacedMicrophone(platform::AudioInputCallback callback, Clock::time_point* began)
      : callback_(std::move(callback)), began_(began) {}
  ~PacedMicrophone() override {
    closing_ = true;
    if (thread_.joinable()) thread_.join();
  }
  void resume() override {
    *began_ = Clock::now();
    thread_ = std::thread([this] { record(); });
  }

 private:
  void record() {
    const std::vector<uint8_t> buffer =
        test::littleEndianBytes(test::talkTone(audio::kTalkBufferSamples));
    for (int k = 1; !closing_; ++k) {
      std::this_thread::sleep_until(*began_ + k * kBufferDuration);
      if (!closing_) callback_(buffer);
    }
  }

  const platform::AudioInputCallback callback_;
  Clock::time_point* const began_;
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

struct Figures {
  double medianMs = 0, p99Ms = 0, maxMs = 0;
  size_t packets = 0;
};

// Packet k's first sample was due k buffers after recording began.
Figures delaysOf(const camera::TalkReceiver& heard, Clock::time_point began) {
  std::vector<double> delays;
  for (const camera::TalkArrival& arrival : heard.arrivals()) {
    const int64_t dueUs = microseconds(began + arrival.sequence * kBufferDuration);
    delays.push_back(double(arrival.arrivalUs - dueUs) / 1000.0);
  }
  if (delays.empty()) return {};
  std::sort(delays.begin(), delays.end());
  const auto at = [&](double share) { return delays[size_t(share * double(delays.size() - 1))]; };
  return {at(0.5), at(0.99), delays.back(), delays.size()};
}

struct Camera {
  explicit Camera(camera::AudioCodec codec) {
    camera::RtspServerOptions options;
    options.width = 160;
    options.height = 120;
    options.fps = 5;
    options.audio = codec;
    server = std::make_unique<camera::RtspServer>(options);
    if (!server->start()) std::fprintf(stderr, "camera: %s\n", server->lastError().c_str());
  }
  // A site holding a session, its talk recording from the factory given.
  std::unique_ptr<IPCameraSite> site(platform::AudioInputFactory microphone) const {
    StreamConfig config;
    config.model = IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264;
    config.host = "127.0.0.1";
    config.path = "/h264";
    config.rtspPort = server->port();
    auto made = std::make_unique<IPCameraSite>(config, kSlot, nullptr,
                                               platform::AudioOutputFactory{}, microphone);
    made->Play();
    while (made->talkTarget().port == 0) platform::sleepMs(10);
    return made;
  }
  std::unique_ptr<camera::RtspServer> server;
};

platform::AudioInputFactory pacedMicrophone(Clock::time_point* began) {
  return [began](platform::AudioInputCallback callback) {
    return platform::AudioInputOpening{std::make_unique<PacedMicrophone>(std::move(callback), began),
                                       {}};
  };
}

Figures viaTalk(camera::AudioCodec codec) {
  const Camera camera(codec);
  Clock::time_point began;
  std::unique_ptr<IPCameraSite> site = camera.site(pacedMicrophone(&began));
  site->SetTalk(true);
  std::this_thread::sleep_for(kRunLength);
  site.reset();
  return delaysOf(*camera.server->talk(), began);
}

// The same buffers encoded by FFmpeg and sent from the microphone's callback: no thread, queue or
// chunking between them.
Figures viaFloor() {
  const Camera camera(camera::AudioCodec::Pcmu);
  const std::unique_ptr<IPCameraSite> session = camera.site({});
  platform::Socket socket;
  socket.create(platform::Socket::Type::Datagram);
  socket.connect("127.0.0.1", camera.server->talk()->port());
  bench::FfmpegTalkEncoder encoder(kAudioCodecPcmu);
  uint16_t sequence = 0;
  uint32_t timestamp = 0;
  std::vector<uint8_t> packet;
  Clock::time_point began;
  platform::AudioInputOpening microphone = pacedMicrophone(&began)(
      [&](std::span<const uint8_t> pcm) {
        std::vector<int16_t> samples(pcm.size() / 2);
        std::memcpy(samples.data(), pcm.data(), pcm.size());
        packet.assign(rtp::kRtpHeaderSize, 0);
        encoder.load(samples, &packet);
        timestamp += uint32_t(samples.size());
        rtp::writeRtpHeader({.payloadType = 0, .sequence = sequence++, .timestamp = timestamp},
                            std::span(packet).first<rtp::kRtpHeaderSize>());
        socket.send(packet.data(), packet.size());
      });
  microphone.input->resume();
  std::this_thread::sleep_for(kRunLength);
  microphone.input.reset();
  return delaysOf(*camera.server->talk(), began);
}

void print(const char* name, const Figures& f) {
  std::printf("  %-8s %4zu packets  median %6.1f ms  p99 %6.1f ms  max %6.1f ms\n", name, f.packets,
              f.medianMs, f.p99Ms, f.maxMs);
}

}  // namespace

int main() {
  (void)test::kQuietFfmpegAudio;
  std::printf("Talk latency, first sample due to packet at the camera (%lld s a codec):\n",
              static_cast<long long>(kRunLength.count()));
  const Figures floor = viaFloor();
  print("floor", floor);
  const struct {
    camera::AudioCodec codec;
    const char* name;
  } codecs[] = {{camera::AudioCodec::Pcma, "PCMA"},       {camera::AudioCodec::Pcmu, "PCMU"},
                {camera::AudioCodec::G726_16, "G726-16"}, {camera::AudioCodec::G726_24, "G726-24"},
                {camera::AudioCodec::G726_32, "G726-32"}, {camera::AudioCodec::G726_40, "G726-40"}};
  for (const auto& c : codecs) {
    const Figures talk = viaTalk(c.codec);
    print(c.name, talk);
    std::printf("           p99 / floor p99 %.2f (target <= %.1f), p99 target <= %.0f ms\n",
                talk.p99Ms / floor.p99Ms, kFloorRatioTarget, kP99TargetMs);
  }
  return 0;
}
