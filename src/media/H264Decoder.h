#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "media/BaseDecoder.h"
#include "media/FfmpegDecoding.h"
#include "media/PictureExchange.h"
#include "media/H264SequenceParameters.h"
#include "media/PictureFormat.h"


namespace vexa {

// H.264 access units to pictures that stay inside the decoder. Decode keeps the decoder's planes
// in a picture no reader holds; the caller publishes it after each successful Decode, and from
// then on it is the completed picture that CopyFromAVFrame copies out and LendPicture lends
// without a copy, while the next one is being decoded. Its bottom-up BGR is made only when a
// reader first asks for it, so a stream nobody looks at costs no conversion.
//
// Threads: Decode, reinitFfmpeg and publishPicture belong to the decode thread; CopyFromAVFrame
// and LendPicture may run on any thread at any time.
class H264Decoder : public BaseDecoder {
 public:
  // pictureBytes bounds width x height x 3.
  explicit H264Decoder(size_t pictureBytes = kDecodedFrameBytes);
  ~H264Decoder() override;

  // Finds the H.264 codec and opens a decoder context; false when either is missing.
  bool Open() override;
  // Decodes one whole access unit (Annex B, start codes included) into the selected picture and
  // fills info (of the BGR picture the readers see). Returns the bytes consumed, or -1 when no picture came out (parameter sets
  // alone, broken data, a picture too large), in which case neither picture is touched.
  // image is not used.
  int Decode(int length, const uint8_t* data, uint8_t* image, BITMAPINFOHEADER* info) override;
  // A fresh decoder context, for each start of the decode thread. False when none could be
  // opened (Decode then fails until the next success).
  bool reinitFfmpeg();

  // Copies the last completed picture into buffer bottom row first (rows of width x 3 bytes) and
  // fills info. Returns the bytes copied, or -1 with nothing written when no picture is
  // completed yet or it does not fit into capacity.
  int CopyFromAVFrame(uint8_t* buffer, size_t capacity, BITMAPINFOHEADER* info) const;
  // The last completed picture, held for the caller without a copy; empty before the first.
  PictureLease LendPicture() const { return pictures_.leaseNewest(); }

  // The picture of the last successful Decode becomes the completed one.
  void publishPicture() { pictures_.publishFrame(); }

  // Size of the pictures the decoder currently produces; 0 x 0 before the first one. Decode
  // thread only: other threads learn the size from CopyFromAVFrame's header.
  int width() const { return width_; }
  int height() const { return height_; }
  bool isOpen() const { return decoder_.isOpen(); }

 private:
  bool keepPicture();
  bool acceptSequenceParameters(std::span<const uint8_t> unit);

  const size_t pictureBytes_;
  ffmpeg::Decoder decoder_;
  PictureExchange pictures_;
  int height_ = 0;
  int width_ = 0;
  std::optional<SpsPictureSize> sequenceSize_;  // of the last SPS taken
};

}  // namespace vexa
