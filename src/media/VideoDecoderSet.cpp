#include "media/VideoDecoderSet.h"

namespace vexa {

std::unique_ptr<MjpegDecoder> VideoDecoderSet::openMjpeg() {
  auto decoder = std::make_unique<MjpegDecoder>();
  if (!decoder->Open()) return nullptr;
  return decoder;
}

std::unique_ptr<H264Decoder> VideoDecoderSet::openH264() {
  auto decoder = std::make_unique<H264Decoder>();
  if (!decoder->Open()) return nullptr;
  return decoder;
}

VideoDecoderSet::VideoDecoderSet(platform::Dialogs& dialogs, const MjpegOpener& mjpeg,
                                 const H264Opener& h264)
    : mjpeg_(mjpeg()), h264_(h264()) {
  if (mjpeg_ == nullptr || h264_ == nullptr) dialogs.showMessage(kInitFailText, kInitFailCaption);
}

}  // namespace vexa
