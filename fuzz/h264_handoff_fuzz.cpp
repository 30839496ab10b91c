// The H.264 hand-off from the receiving side to the decode thread: access units into its input,
// the decode thread's turns taking them (the decodable ones copied into its input area for the
// decoder, the others dropped) and the display taking the pictures. A decoder that records what
// it is given stands in for FFmpeg.
//
// Input: one byte saying after how many units the decode thread takes its turns (1 to 4) and
// which units yield a picture, then records of a 16-bit big-endian length and the unit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "FuzzSupport.h"
#include "media/H264Decoder.h"
#include "media/IPCameraH264.h"

namespace {

using vexa::IPCameraH264;

constexpr size_t kMaxUnitBytes = 0xFFFF;
constexpr uint8_t kTurnBits = 0x03;
constexpr uint8_t kFailEvenUnits = 0x04;
constexpr size_t kPictureBytes = 64;

// Each unit the decoder gets was handed over as it is, in order, is decodable, fits the input
// area and is followed by its zero padding.
class CheckingDecoder : public vexa::H264Decoder {
 public:
  CheckingDecoder(const std::deque<std::vector<uint8_t>>& handed, bool failEvenUnits)
      : H264Decoder(kPictureBytes), handed_(handed), failEvenUnits_(failEvenUnits) {}

  int Decode(int length, const uint8_t* data, uint8_t*, vexa::BITMAPINFOHEADER* info) override {
    const std::span<const uint8_t> unit(data, size_t(length));
    const uint8_t* padding = data + length;
    if (!vexa::isDecodableAccessUnit(unit) || unit.size() > IPCameraH264::kInputAreaBytes ||
        std::any_of(padding, padding + IPCameraH264::kInputPaddingBytes, [](uint8_t b) { return b != 0; })) {
      __builtin_trap();
    }
    while (next_ < handed_.size() && !std::ranges::equal(handed_[next_], unit)) ++next_;
    if (next_ == handed_.size()) __builtin_trap();
    ++next_;
    if (failEvenUnits_ && length % 2 == 0) return -1;
    *info = vexa::makeBgrPictureHeader(1, 1);
    return length;
  }

 private:
  const std::deque<std::vector<uint8_t>>& handed_;
  const bool failEvenUnits_;
  size_t next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t unitsPerTurn = 1 + (data[0] & kTurnBits);
  std::deque<std::vector<uint8_t>> handed;
  CheckingDecoder decoder(handed, (data[0] & kFailEvenUnits) != 0);
  IPCameraH264 decodeThread;  // after the decoder: no turn outlives it
  decodeThread.setDecoder(&decoder);

  uint32_t pictures = 0;
  size_t units = 0;
  vexa::fuzz::forEachRecord({data + 1, size - 1}, kMaxUnitBytes, [&](vexa::fuzz::Bytes unit) {
    handed.emplace_back(unit.begin(), unit.end());
    decodeThread.handOff(unit);
    if (++units % unitsPerTurn != 0) return;
    while (decodeThread.decodeNext()) {
    }
    // The display takes what waits; the count of waiting pictures stays within its bound.
    const uint32_t decoded = decodeThread.pictureCounter().load();
    vexa::BITMAPINFOHEADER info{};
    const int32_t waiting = decodeThread.GetH264Frame(nullptr, nullptr, &info);
    if (decoded < pictures || waiting >= int32_t(IPCameraH264::kMaxWaitingPictures) ||
        (waiting >= 0 && info.biWidth != 1)) {
      __builtin_trap();
    }
    pictures = decoded;
  });
  return 0;
}
