#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/StreamConfig.h"
#include "media/PictureExchange.h"
#include "media/PictureFormat.h"
#include "audio/IPCameraAudioWaveIn.h"
#include "platform/AudioInput.h"
#include "platform/AudioOutput.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "session/StreamRecovery.h"
#include "session/StreamRoad.h"

namespace vexa {

class H264Decoder;
class RecordingSink;
class UdpStreamGroup;

// Client UDP ports of a player slot: blocks of ten from 6100.
struct ClientPorts {
  uint16_t videoRtp, videoRtcp, audioRtp, audioRtcp, fifth;
};
ClientPorts clientPortsForSlot(uint32_t slot);

// Why the stream is not playing, as the user is told it: where, and the cause.
struct SiteFailure {
  std::string address;  // "rtsp://127.0.0.1:1/h264"
  StreamFailure failure;
  std::string text() const { return address + ": " + failure.cause(); }
};

// One running camera stream: creates the road (the handlers) its model needs and offers the rest
// of the control a model-independent surface (picture behind a lock, counters, audio switch).
// While it plays, it keeps the stream playing: a road whose connection fails or goes silent is
// started again with a growing back-off until Stop, and a UDP road that gets nothing moves to
// the interleaved road of the same codec.
class IPCameraSite {
 public:
  // How often the site looks at its road.
  static constexpr uint32_t kSupervisionPeriodMs = 100;

  // audioOutput opens the sound device the stream's audio plays on; none: audio is received and
  // discarded. audioInput opens the microphone talk records from; none: there is no microphone.
  // recorder, when given, is the stream's recording tap (not owned).
  IPCameraSite(const StreamConfig& config, uint32_t slot, RecordingSink* recorder = nullptr,
               platform::AudioOutputFactory audioOutput = {},
               platform::AudioInputFactory audioInput = {},
               const platform::Clock& clock = platform::SystemClock::instance());
  IPCameraSite(const IPCameraSite&) = delete;
  IPCameraSite& operator=(const IPCameraSite&) = delete;
  virtual ~IPCameraSite();

  // The H.264 decoder of the player's decoder set (not owned); before Play.
  void setH264Decoder(H264Decoder* decoder) { h264Decoder_ = decoder; }
  // Where the decoders' and the microphone's failures are told (not owned); before Play.
  void setDialogs(platform::Dialogs* dialogs);

  // Starts the road's workers and the site's supervision; true if a worker was started.
  bool Play();
  // Stops the supervision and the workers and waits for them; the objects stay.
  void Stop();

  // Playback on unless text contains "OFF". Always true.
  bool SetAudio(std::string_view text);
  // Starts or stops talk on a change; the UDP models only, the ones with a talk channel.
  void SetTalk(bool on);
  // Where talk goes: the port and codec of the description the dialogue read. Any thread.
  TalkTarget talkTarget() const;
  // The talk thread; null for models without one.
  const IPCameraAudioWaveIn* talk() const { return talk_.get(); }
  IPCameraAudioWaveIn* talk() { return talk_.get(); }

  // The image lock of the road now playing; UnlockCurImage releases the one taken, even when
  // the road changed in between. Both on the display's thread.
  bool LockCurImage(bool tryOnly);
  void UnlockCurImage();
  uint32_t GetFrameNumber() const;

  // Kilobits received since the previous call.
  uint32_t GetVideoBitrate();
  uint32_t GetAudioBitrate();
  int32_t GetVideoDrop() const;
  int32_t GetAudioDrop() const;

  // The frame taps, read under the image lock.
  bool GetJpegFrame(const uint8_t** data, int32_t* length);
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);
  // GetH264Frame without the copy: the picture stays lent through lease.
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info);

  bool IsH264Model() const;
  bool IsMpeg4Model() const;

  // The site's configuration: the handlers write it while they run, so other threads read it only
  // after Stop.
  const StreamConfig& config() const { return config_; }
  // The audio codec the description named; none while no description with audio was read.
  std::optional<int32_t> audioCodec() const;
  bool audioOn() const { return audioOn_.load(std::memory_order_relaxed); }
  // The model whose transport plays now: the configured one, or its interleaved twin after a
  // UDP stream moved.
  uint32_t activeModel() const;
  // Why the stream last failed; none once media flows again. Any thread.
  std::optional<SiteFailure> failure() const;

 private:
  uint32_t model() const { return config_.model; }
  StreamRoad* road() const { return active_.load(std::memory_order_acquire); }
  // The road the display holds the lock of, else the one playing.
  StreamRoad* pictureRoad() const { return lockedRoad_ != nullptr ? lockedRoad_ : road(); }

  std::unique_ptr<StreamRoad> makeRoad(uint32_t model);
  void activate(std::unique_ptr<StreamRoad> road);
  void supervise();
  void superviseOnce();
  void fallBack();
  bool startAttempt(StreamRoad& road);
  void recordFailure(const StreamFailure& failure);
  std::string streamAddress() const;

  StreamConfig config_;
  const platform::AudioOutputFactory audioOutput_;
  const platform::Clock& clock_;
  H264Decoder* h264Decoder_ = nullptr;
  platform::Dialogs* dialogs_ = nullptr;
  RecordingSink* const recorder_;
  // Every road made, kept until the site goes: the display may still hold a replaced one. Play
  // makes the first; a fallback adds one on the supervisor's thread.
  std::vector<std::unique_ptr<StreamRoad>> roads_;
  // The road playing: none before Play, which the player's start thread runs while the display
  // may already be asking.
  std::atomic<StreamRoad*> active_{nullptr};
  StreamRoad* lockedRoad_ = nullptr;  // display thread only

  StreamRecovery recovery_;  // supervisor thread only
  platform::WorkerThread supervisor_;
  platform::Event supervisorWake_;
  mutable std::mutex failureLock_;
  std::optional<SiteFailure> failure_;  // under failureLock_

  std::atomic<const UdpStreamGroup*> udpGroup_{nullptr};  // the road talk reads its target from
  uint8_t talkOn_ = 0;
  // Declared after the roads it reads from: it ends first.
  std::unique_ptr<IPCameraAudioWaveIn> talk_;
  std::atomic<bool> audioOn_{true};
};

}  // namespace vexa
