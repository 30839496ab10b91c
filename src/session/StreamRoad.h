#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "common/CriticalSection.h"
#include "media/PictureExchange.h"
#include "media/PictureFormat.h"
#include "session/StreamRecovery.h"

namespace vexa {

// One way a site reaches its camera: the handlers of one transport (HTTP, RTSP interleaved, RTSP
// with RTP over UDP) and what the site asks of them alike, so that the site can start, watch,
// restart or replace a road without asking which one it is.
class StreamRoad {
 public:
  virtual ~StreamRoad() = default;

  // The stream model whose transport this road is (for the statistics).
  virtual uint32_t model() const = 0;
  // Starts the road, or starts it again after stop(); true when a worker was started.
  // (observe() may be asked before the first start.)
  virtual bool play() = 0;
  // Stops every worker of the road and waits for them; the road can play again.
  virtual void stop() = 0;
  // How the road fares now, for the recovery.
  virtual StreamRecovery::Observation observe() const = 0;

  // The picture source: the lock the display takes, the counter of completed pictures; none for
  // a codec whose pictures are not shown yet.
  virtual CLFXCriticalSection* imageLock() = 0;
  virtual const std::atomic<uint32_t>* pictureCounter() const = 0;
  // The frame taps the display reads under the image lock; 0 / false for a codec the road does
  // not carry.
  virtual bool GetJpegFrame(const uint8_t**, int32_t*) { return false; }
  virtual int32_t GetH264Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) { return 0; }
  virtual int32_t LendH264Frame(PictureLease*, BITMAPINFOHEADER*) { return 0; }
  virtual int32_t GetMpeg4Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) { return -1; }

  // Bytes received since the previous call.
  virtual uint32_t takeVideoBytes() = 0;
  virtual uint32_t takeAudioBytes() { return 0; }
  virtual int32_t videoDrop() const = 0;
  virtual int32_t audioDrop() const { return 0; }
  virtual void setAudioOn(bool) {}
  // The audio codec the description named; none without audio.
  virtual std::optional<int32_t> audioCodec() const { return std::nullopt; }
};

}  // namespace vexa
