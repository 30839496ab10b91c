#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vexa {

namespace detail {
struct ExchangeState;
}

// One picture of a PictureExchange held for reading: the writer leaves it alone until every
// lease on it is gone, even after the exchange itself is destroyed. Rows are bottom-up,
// width x 3 bytes each.
class PictureLease {
 public:
  PictureLease() = default;
  PictureLease(const PictureLease& other);
  PictureLease& operator=(const PictureLease& other);
  PictureLease(PictureLease&& other) noexcept;
  PictureLease& operator=(PictureLease&& other) noexcept;
  ~PictureLease();

  explicit operator bool() const { return bits_ != nullptr; }
  const uint8_t* bits() const { return bits_; }
  int width() const { return width_; }
  int height() const { return height_; }
  size_t bytes() const { return size_t(width_) * size_t(height_) * 3; }
  void reset();

 private:
  friend class PictureExchange;
  PictureLease(std::shared_ptr<detail::ExchangeState> state, size_t slot, const uint8_t* bits,
               int width, int height);

  std::shared_ptr<detail::ExchangeState> state_;
  size_t slot_ = 0;
  const uint8_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Decoded pictures handed from one writing thread to readers without a copy. The writer fills a
// picture no reader holds and publishes it as the newest; readers lease the newest. Three
// pictures suffice for one reader; a picture is added only while readers hold two at once.
class PictureExchange {
 public:
  // Each picture holds up to pictureBytes; its pages are touched only when written.
  explicit PictureExchange(size_t pictureBytes);
  ~PictureExchange();
  PictureExchange(const PictureExchange&) = delete;
  PictureExchange& operator=(const PictureExchange&) = delete;

  size_t pictureBytes() const { return pictureBytes_; }
  // Writer only: the picture to fill; nullptr when its memory could not be had.
  uint8_t* writable();
  // Writer only: what writable() holds becomes the newest picture, of this size.
  void publish(int width, int height);

  // Any thread: the newest published picture, or an empty lease before the first.
  PictureLease leaseNewest() const;

 private:
  const size_t pictureBytes_;
  std::shared_ptr<detail::ExchangeState> state_;
};

}  // namespace vexa
