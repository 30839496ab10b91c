#pragma once

#include <functional>
#include <memory>

#include "media/H264Decoder.h"
#include "media/MjpegDecoder.h"
#include "platform/Dialogs.h"

namespace vexa {

// The FFmpeg decoders of one stream player. A decoder that cannot be found or opened is reported
// once and left out; the set, and the player, keep running without it.
class VideoDecoderSet {
 public:
  static constexpr const char* kInitFailText = "VIDEO DECODER INIT FAIL!!";
  static constexpr const char* kInitFailCaption = "ERROR";

  // Each returns an opened decoder, or nullptr when its codec is missing or does not open.
  using MjpegOpener = std::function<std::unique_ptr<MjpegDecoder>()>;
  using H264Opener = std::function<std::unique_ptr<H264Decoder>()>;
  static std::unique_ptr<MjpegDecoder> openMjpeg();
  static std::unique_ptr<H264Decoder> openH264();

  explicit VideoDecoderSet(platform::Dialogs& dialogs, const MjpegOpener& mjpeg = openMjpeg,
                           const H264Opener& h264 = openH264);
  VideoDecoderSet(const VideoDecoderSet&) = delete;
  VideoDecoderSet& operator=(const VideoDecoderSet&) = delete;

  // nullptr when that decoder is missing.
  MjpegDecoder* mjpeg() const { return mjpeg_.get(); }
  H264Decoder* h264() const { return h264_.get(); }

 private:
  std::unique_ptr<MjpegDecoder> mjpeg_;
  std::unique_ptr<H264Decoder> h264_;
};

}  // namespace vexa
