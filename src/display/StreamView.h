#pragma once

#include <cstdint>
#include <string>

#include "media/PictureExchange.h"
#include "media/PictureFormat.h"
#include "media/RecordingSink.h"

namespace vexa {

// The audio codec of a stream whose description names no audio: the format shows none.
constexpr int32_t kNoAudioCodec = -2;

// The figures the statistics window shows, read once a second.
struct StreamFigures {
  bool siteExists = false;  // the counters below are read only from a running site
  uint32_t model = 0;       // the model whose transport plays
  int32_t audioCodec = kNoAudioCodec;
  std::string failure;      // why the stream is not playing; empty while it plays
  std::string host;
  uint16_t port = 0;  // the HTTP port for the MJPEG model, else the RTSP port
  uint32_t videoKbits = 0;
  uint32_t audioKbits = 0;
  int32_t videoDrop = 0;
  int32_t audioDrop = 0;
};

// What the video window asks of the stream it shows: the stream player's forwarders to its site.
// The control adapts its stream player to this; tests give a fake.
class StreamView {
 public:
  virtual ~StreamView() = default;

  virtual bool hasPlayer() const = 0;
  virtual uint32_t GetFrameNumber() = 0;
  virtual bool LockCurImage(bool tryOnly) = 0;
  virtual void UnlockCurImage() = 0;
  virtual bool IsH264Model() = 0;
  virtual bool IsMpeg4Model() = 0;

  // Path C: the newest JPEG picture, valid while the image lock is held.
  virtual bool GetJpegFrame(const uint8_t** data, int32_t* length) = 0;
  // Path A: copies the newest decoded picture into image (capacity *size bytes) and fills info;
  // the frame index, -1 when there is no new picture.
  virtual int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) = 0;
  // Path A without the copy, as the window draws it: the newest decoded picture stays lent to
  // the window through lease until it takes the next.
  virtual int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) = 0;
  // Path B: the same for the MPEG-4 family; -1 when there is no picture.
  virtual int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) = 0;

  // Reads (and so resets) the bit-rate counters.
  virtual StreamFigures readFigures() = 0;

  // Where path C hands each JPEG picture it decodes while a recording runs; none: no recording.
  virtual RecordingSink* recordingSink() { return nullptr; }
  // The watchdog's stop, and its restart on a thread of its own.
  virtual void stopPlayer() = 0;
  virtual void restartPlayer() = 0;
};

}  // namespace vexa
