#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct AVFrame;

namespace vexa {

namespace detail {
struct ExchangeState;
}

// One picture of a PictureExchange held for reading: the writer leaves it alone until every
// lease on it is gone, even after the exchange itself is destroyed.
class PictureLease {
 public:
  PictureLease() = default;
  PictureLease(const PictureLease& other);
  PictureLease& operator=(const PictureLease& other);
  PictureLease(PictureLease&& other) noexcept;
  PictureLease& operator=(PictureLease&& other) noexcept;
  ~PictureLease();

  explicit operator bool() const { return state_ != nullptr; }
  // Bottom-up BGR, rows of width x 3 bytes. A picture published as planes is converted on the
  // first call and the result kept for every holder; nullptr when that fails.
  const uint8_t* bits() const;
  // The decoder's own planes, for painting without the conversion; null for a picture written
  // as BGR.
  const AVFrame* frame() const { return frame_; }
  int width() const { return width_; }
  int height() const { return height_; }
  size_t bytes() const { return size_t(width_) * size_t(height_) * 3; }
  void reset();

 private:
  friend class PictureExchange;
  PictureLease(std::shared_ptr<detail::ExchangeState> state, size_t slot, const AVFrame* frame,
               int width, int height);

  std::shared_ptr<detail::ExchangeState> state_;
  size_t slot_ = 0;
  const AVFrame* frame_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Decoded pictures handed from one writing thread to readers without a copy. The writer fills a
// picture no reader holds and publishes it as the newest; readers lease the newest. A picture is
// written either as the decoder's planes (an AVFrame: a reference to the decoder's buffers, or
// decoded into the frame's own), whose BGR is made only when a reader asks for it, or as BGR
// straight away. Three pictures suffice for one reader; one is added only while readers hold two
// at once.
class PictureExchange {
 public:
  // Each picture's BGR holds up to pictureBytes; its memory is taken on first use. Planes are
  // converted to BGR with these swscale flags.
  PictureExchange(size_t pictureBytes, int conversionFlags);
  ~PictureExchange();
  PictureExchange(const PictureExchange&) = delete;
  PictureExchange& operator=(const PictureExchange&) = delete;

  size_t pictureBytes() const { return pictureBytes_; }

  // Writer only: the frame to fill with the next picture's planes, still holding whatever was
  // published in it before (so its buffers can be decoded into again when nobody else holds
  // them). Then publishFrame().
  AVFrame* writableFrame();
  // Writer only: the frame's picture becomes the newest; false (nothing published) when it
  // holds no picture of a size the BGR could take.
  bool publishFrame();

  // Writer only: BGR to fill, bottom-up; nullptr when its memory could not be had. Then
  // publish() with its size.
  uint8_t* writable();
  void publish(int width, int height);

  // Any thread: the newest published picture, or an empty lease before the first.
  PictureLease leaseNewest() const;

 private:
  const size_t pictureBytes_;
  std::shared_ptr<detail::ExchangeState> state_;
};

}  // namespace vexa
