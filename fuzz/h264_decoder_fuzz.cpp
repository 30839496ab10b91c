// Camera H.264 the way the stream brings it to the decoder: access units into the decode thread's
// input, its turns taking them and decoding them with FFmpeg into BGR pictures, the display
// copying the newest out and borrowing it.
//
// Input: records of a 16-bit big-endian length and an access unit (Annex B).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "media/H264Decoder.h"
#include "media/IPCameraH264.h"

namespace {

constexpr size_t kMaxUnitBytes = 0xFFFF;
// Pictures up to VGA decode; larger ones take the refusal path (and keep the runs fast).
constexpr size_t kPictureBytes = 640 * 480 * vexa::kBytesPerPixel;

// A picture handed out has the size its header says and fits the buffers.
void checkPicture(int32_t bytes, const vexa::BITMAPINFOHEADER& info) {
  if (bytes < 0) return;
  if (info.biWidth <= 0 || info.biHeight <= 0 || size_t(bytes) != info.biSizeImage ||
      size_t(info.biWidth) * size_t(info.biHeight) * vexa::kBytesPerPixel != info.biSizeImage ||
      info.biSizeImage > kPictureBytes) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> image(kPictureBytes);
  vexa::H264Decoder decoder(kPictureBytes);
  if (!decoder.Open()) return 0;
  vexa::IPCameraH264 decodeThread;  // after the decoder: no turn outlives it
  decodeThread.setDecoder(&decoder);

  uint32_t pictures = 0;
  vexa::fuzz::forEachRecord({data, size}, kMaxUnitBytes, [&](vexa::fuzz::Bytes unit) {
    decodeThread.handOff(unit);
    while (decodeThread.decodeNext()) {
    }
    const uint32_t decoded = decodeThread.pictureCounter().load();
    if (decoded < pictures) __builtin_trap();
    pictures = decoded;
    vexa::BITMAPINFOHEADER info{};
    int32_t capacity = int32_t(image.size());
    if (decodeThread.GetH264Frame(image.data(), &capacity, &info) >= 0) {
      checkPicture(decoder.CopyFromAVFrame(image.data(), image.size(), &info), info);
    }
    vexa::PictureLease lease;
    if (decodeThread.LendH264Frame(&lease, &info) >= 0 && lease) {
      checkPicture(int32_t(lease.bytes()), info);
    }
  });
  return 0;
}
