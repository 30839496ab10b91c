#include "media/PictureExchange.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "media/BgrConverter.h"
#include "media/PictureFormat.h"

namespace vexa {

namespace detail {

struct ExchangeSlot {
  ExchangeSlot() : frame(av_frame_alloc()) {}
  ~ExchangeSlot() { av_frame_free(&frame); }
  ExchangeSlot(const ExchangeSlot&) = delete;
  ExchangeSlot& operator=(const ExchangeSlot&) = delete;

  AVFrame* frame;
  std::unique_ptr<uint8_t[]> bgr;  // taken on first use: untouched pages cost no memory
  bool planes = false;
  bool bgrMade = false;  // always for BGR written; under ExchangeState::conversionLock once published
  int width = 0;
  int height = 0;
  int readers = 0;
};

struct ExchangeState {
  static constexpr size_t kNoSlot = SIZE_MAX;

  ExchangeState(size_t bytes, int conversionFlags)
      : pictureBytes(bytes), converter(conversionFlags) {}

  std::mutex lock;
  std::vector<std::unique_ptr<ExchangeSlot>> slots;  // stable addresses for leases
  size_t writing = 0;
  size_t newest = kNoSlot;
  const size_t pictureBytes;

  // Readers convert on their own threads, one at a time through the one scaler context.
  std::mutex conversionLock;
  BgrConverter converter;

  ExchangeSlot& addSlot() {
    slots.push_back(std::make_unique<ExchangeSlot>());
    return *slots.back();
  }

  // Under lock: a slot that is neither the newest nor read by anyone.
  size_t freeSlot() {
    for (size_t i = 0; i < slots.size(); ++i) {
      if (i != newest && slots[i]->readers == 0) return i;
    }
    addSlot();
    return slots.size() - 1;
  }

  ExchangeSlot& slotAt(size_t index) {
    std::lock_guard guard(lock);
    return *slots[index];
  }

  uint8_t* bgrOf(ExchangeSlot& slot) {
    if (!slot.bgr) slot.bgr.reset(new (std::nothrow) uint8_t[pictureBytes]);
    return slot.bgr.get();
  }

  // A leased slot: its planes no longer change, so converting them needs only the scaler.
  const uint8_t* bgrFor(size_t index) {
    ExchangeSlot& slot = slotAt(index);
    std::lock_guard guard(conversionLock);
    if (slot.bgrMade) return slot.bgr.get();
    uint8_t* bgr = bgrOf(slot);
    if (bgr == nullptr) return nullptr;
    // Bottom row first in the conversion pass itself, so no reader has to flip.
    const int rowBytes = slot.width * kBytesPerPixel;
    uint8_t* topRow = bgr + size_t(slot.height - 1) * size_t(rowBytes);
    if (!converter.convert(*slot.frame, topRow, -rowBytes)) return nullptr;
    slot.bgrMade = true;
    return bgr;
  }

  void release(size_t slot) {
    std::lock_guard guard(lock);
    --slots[slot]->readers;
  }

  // Under lock: what the writer filled becomes the newest.
  void publishWritten(bool asPlanes, int width, int height) {
    ExchangeSlot& written = *slots[writing];
    written.planes = asPlanes;
    written.bgrMade = !asPlanes;
    written.width = width;
    written.height = height;
    newest = writing;
    writing = freeSlot();
  }
};

}  // namespace detail

namespace {
// One being written, one newest, one held by the display.
constexpr size_t kInitialSlots = 3;
}  // namespace

PictureLease::PictureLease(std::shared_ptr<detail::ExchangeState> state, size_t slot,
                           const AVFrame* frame, int width, int height)
    : state_(std::move(state)), slot_(slot), frame_(frame), width_(width), height_(height) {}

PictureLease::PictureLease(const PictureLease& other)
    : state_(other.state_), slot_(other.slot_), frame_(other.frame_), width_(other.width_),
      height_(other.height_) {
  if (state_) {
    std::lock_guard guard(state_->lock);
    ++state_->slots[slot_]->readers;
  }
}

PictureLease& PictureLease::operator=(const PictureLease& other) {
  if (this != &other) *this = PictureLease(other);
  return *this;
}

PictureLease::PictureLease(PictureLease&& other) noexcept
    : state_(std::move(other.state_)), slot_(other.slot_),
      frame_(std::exchange(other.frame_, nullptr)), width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)) {}

PictureLease& PictureLease::operator=(PictureLease&& other) noexcept {
  if (this != &other) {
    reset();
    state_ = std::move(other.state_);
    slot_ = other.slot_;
    frame_ = std::exchange(other.frame_, nullptr);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
  }
  return *this;
}

PictureLease::~PictureLease() { reset(); }

const uint8_t* PictureLease::bits() const {
  return state_ ? state_->bgrFor(slot_) : nullptr;
}

void PictureLease::reset() {
  if (state_) state_->release(slot_);
  state_.reset();
  frame_ = nullptr;
  width_ = height_ = 0;
}

PictureExchange::PictureExchange(size_t pictureBytes, int conversionFlags)
    : pictureBytes_(pictureBytes),
      state_(std::make_shared<detail::ExchangeState>(pictureBytes, conversionFlags)) {
  for (size_t i = 0; i < kInitialSlots; ++i) state_->addSlot();
}

PictureExchange::~PictureExchange() = default;

AVFrame* PictureExchange::writableFrame() {
  std::lock_guard guard(state_->lock);
  return state_->slots[state_->writing]->frame;
}

bool PictureExchange::publishFrame() {
  std::lock_guard guard(state_->lock);
  const AVFrame& frame = *state_->slots[state_->writing]->frame;
  if (frame.data[0] == nullptr || frame.width <= 0 || frame.height <= 0 ||
      size_t(frame.width) * size_t(frame.height) * kBytesPerPixel > pictureBytes_) {
    return false;
  }
  state_->publishWritten(true, frame.width, frame.height);
  return true;
}

uint8_t* PictureExchange::writable() {
  std::lock_guard guard(state_->lock);
  return state_->bgrOf(*state_->slots[state_->writing]);
}

void PictureExchange::publish(int width, int height) {
  std::lock_guard guard(state_->lock);
  state_->publishWritten(false, width, height);
}

PictureLease PictureExchange::leaseNewest() const {
  std::lock_guard guard(state_->lock);
  if (state_->newest == detail::ExchangeState::kNoSlot) return {};
  detail::ExchangeSlot& slot = *state_->slots[state_->newest];
  if (!slot.planes && !slot.bgr) return {};
  ++slot.readers;
  return PictureLease(state_, state_->newest, slot.planes ? slot.frame : nullptr,
                      slot.width, slot.height);
}

}  // namespace vexa
