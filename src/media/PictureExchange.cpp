#include "media/PictureExchange.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace vexa {

namespace detail {

struct ExchangeSlot {
  std::unique_ptr<uint8_t[]> pixels;
  int width = 0;
  int height = 0;
  int readers = 0;
};

struct ExchangeState {
  static constexpr size_t kNoSlot = SIZE_MAX;

  std::mutex lock;
  std::vector<std::unique_ptr<ExchangeSlot>> slots;  // stable addresses for leases
  size_t writing = 0;
  size_t newest = kNoSlot;
  size_t pictureBytes = 0;

  ExchangeSlot& addSlot() {
    auto slot = std::make_unique<ExchangeSlot>();
    // Left uninitialised: untouched pages cost no memory.
    slot->pixels.reset(new (std::nothrow) uint8_t[pictureBytes]);
    slots.push_back(std::move(slot));
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

  void release(size_t slot) {
    std::lock_guard guard(lock);
    --slots[slot]->readers;
  }
};

}  // namespace detail

namespace {
// One being written, one newest, one held by the display.
constexpr size_t kInitialSlots = 3;
}  // namespace

PictureLease::PictureLease(std::shared_ptr<detail::ExchangeState> state, size_t slot,
                           const uint8_t* bits, int width, int height)
    : state_(std::move(state)), slot_(slot), bits_(bits), width_(width), height_(height) {}

PictureLease::PictureLease(const PictureLease& other)
    : state_(other.state_), slot_(other.slot_), bits_(other.bits_), width_(other.width_),
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
    : state_(std::move(other.state_)), slot_(other.slot_), bits_(std::exchange(other.bits_, nullptr)),
      width_(std::exchange(other.width_, 0)), height_(std::exchange(other.height_, 0)) {}

PictureLease& PictureLease::operator=(PictureLease&& other) noexcept {
  if (this != &other) {
    reset();
    state_ = std::move(other.state_);
    slot_ = other.slot_;
    bits_ = std::exchange(other.bits_, nullptr);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
  }
  return *this;
}

PictureLease::~PictureLease() { reset(); }

void PictureLease::reset() {
  if (state_) state_->release(slot_);
  state_.reset();
  bits_ = nullptr;
  width_ = height_ = 0;
}

PictureExchange::PictureExchange(size_t pictureBytes)
    : pictureBytes_(pictureBytes), state_(std::make_shared<detail::ExchangeState>()) {
  state_->pictureBytes = pictureBytes;
  for (size_t i = 0; i < kInitialSlots; ++i) state_->addSlot();
}

PictureExchange::~PictureExchange() = default;

uint8_t* PictureExchange::writable() {
  std::lock_guard guard(state_->lock);
  return state_->slots[state_->writing]->pixels.get();
}

void PictureExchange::publish(int width, int height) {
  std::lock_guard guard(state_->lock);
  detail::ExchangeSlot& written = *state_->slots[state_->writing];
  written.width = width;
  written.height = height;
  state_->newest = state_->writing;
  state_->writing = state_->freeSlot();
}

PictureLease PictureExchange::leaseNewest() const {
  std::lock_guard guard(state_->lock);
  if (state_->newest == detail::ExchangeState::kNoSlot) return {};
  detail::ExchangeSlot& slot = *state_->slots[state_->newest];
  if (!slot.pixels) return {};
  ++slot.readers;
  return PictureLease(state_, state_->newest, slot.pixels.get(), slot.width, slot.height);
}

}  // namespace vexa
