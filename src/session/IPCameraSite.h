#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "common/CriticalSection.h"
#include "media/PictureExchange.h"
#include "platform/AudioOutput.h"
#include "media/PictureFormat.h"
#include "protocol/rtsp/InterleavedHandlers.h"
#include "common/StreamConfig.h"

namespace vexa {

class IPCameraHTTP;
class H264Decoder;
class UdpStreamGroup;

// Client UDP ports of a player slot: blocks of ten from 6100.
struct ClientPorts {
  uint16_t videoRtp, videoRtcp, audioRtp, audioRtcp, fifth;
};
ClientPorts clientPortsForSlot(uint32_t slot);

// One running camera stream: creates the handlers its model needs and offers the rest of the
// control a model-independent surface (picture behind a lock, counters, audio switch).
class IPCameraSite {
 public:
  // audioOutput opens the sound device the stream's audio plays on; none: audio is received and
  // discarded.
  IPCameraSite(const StreamConfig& config, uint32_t slot,
               platform::AudioOutputFactory audioOutput = {});
  IPCameraSite(const IPCameraSite&) = delete;
  IPCameraSite& operator=(const IPCameraSite&) = delete;
  virtual ~IPCameraSite();

  // The H.264 decoder of the player's decoder set (not owned).
  void setH264Decoder(H264Decoder* decoder) { h264Decoder_ = decoder; }

  // Starts the handlers' workers; true if one was started.
  bool Play();
  // Stops the workers and waits for them; the objects stay.
  void Stop();

  // Playback on unless text contains "OFF". Always true.
  bool SetAudio(std::string_view text);
  void SetTalk(bool on);

  bool LockCurImage(bool tryOnly);
  void UnlockCurImage();
  uint32_t GetFrameNumber() const;

  // Kilobits received since the previous call.
  uint32_t GetVideoBitrate();
  uint32_t GetAudioBitrate();
  int32_t GetVideoDrop() const;
  int32_t GetAudioDrop() const;

  bool GetJpegFrame(const uint8_t** data, int32_t* length);
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);
  // GetH264Frame without the copy: the picture stays lent through lease.
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info);

  bool IsH264Model() const;
  bool IsMpeg4Model() const;

  // The site's configuration: the handlers write it while they run, so other threads read it only
  // after Stop. The audio codec is also published for them.
  const StreamConfig& config() const { return config_; }
  int32_t audioCodec() const;
  bool audioOn() const { return audioOn_.load(std::memory_order_relaxed); }

 private:
  uint32_t model() const { return config_.model; }

  void createInterleavedHandler();
  bool playInterleaved();
  bool playUdp();
  void publishPictureSource(CLFXCriticalSection& lock, const std::atomic<uint32_t>& counter);

  StreamConfig config_;
  const platform::AudioOutputFactory audioOutput_;
  std::unique_ptr<UdpStreamGroup> udp_;
  std::unique_ptr<IPCameraHTTP> http_;
  std::unique_ptr<IPCameraJPEG_RTP_over_RTSP> jpegOverRtsp_;
  std::unique_ptr<IPCameraMPEG4_RTP_over_RTSP> mpeg4OverRtsp_;
  std::unique_ptr<IPCameraH264_RTP_over_RTSP> h264OverRtsp_;
  // The session and video path of whichever interleaved handler exists, for what the family
  // members do alike.
  InterleavedRtspSession* interleaved_ = nullptr;
  InterleavedVideoPath* interleavedVideo_ = nullptr;
  H264Decoder* h264Decoder_ = nullptr;
  // Set by Play on the player's start thread while the display may already be asking.
  std::atomic<CLFXCriticalSection*> imageLock_{nullptr};
  std::atomic<const std::atomic<uint32_t>*> frameCountSlot_{nullptr};
  uint8_t talkOn_ = 0;
  std::atomic<bool> audioOn_{true};
};

}  // namespace vexa
