#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/StreamView.h"
#include "support/Picture.h"
#include "support/RecordingTap.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace vexa::test {

// The stream the video window polls, under the test's control.
class FakeStreamView final : public StreamView {
 public:
  bool player = true, lockAvailable = true, locked = false, landsBeforeLock = false;
  bool h264 = false, mpeg4 = false;  // neither: JPEG pictures
  uint32_t frameNumber = 0;
  int lockCalls = 0, fetchCalls = 0, stops = 0, restarts = 0;
  Picture picture;            // what the H.264 and MPEG-4 paths deliver
  int32_t fetchResult = 0;    // their frame index, -1 for no picture
  bool mpeg4DecodeBehind = false;  // the MPEG-4 decode has not caught up with the last arrival
  std::vector<uint8_t> jpeg;  // what the JPEG path delivers
  PictureExchange decoded{size_t(1) << 16, SWS_BILINEAR};
  const AVFrame* planes = nullptr;  // when set, what the H.264 path lends instead of `picture`
  StreamFigures figures;
  test::RecordingTap tap;

  bool hasPlayer() const override { return player; }
  uint32_t GetFrameNumber() override { return frameNumber; }
  bool LockCurImage(bool) override {
    ++lockCalls;
    if (landsBeforeLock) {  // a picture lands between the window's reading and its locking
      ++frameNumber;
      landsBeforeLock = false;
    }
    return locked = lockAvailable;
  }
  void UnlockCurImage() override { locked = false; }
  bool IsH264Model() override { return h264; }
  bool IsMpeg4Model() override { return mpeg4; }
  bool GetJpegFrame(const uint8_t** data, int32_t* length) override {
    ++fetchCalls;
    *data = jpeg.data();
    *length = int32_t(jpeg.size());
    return true;
  }
  // The window borrows H.264 pictures (LendH264Frame) rather than copying them.
  int32_t GetH264Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) override { return -1; }
  // Counts decodes as the frame number counts arrivals; a null image only asks for the count.
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override {
    const int32_t decoded = int32_t(frameNumber) - (mpeg4DecodeBehind ? 1 : 0);
    if (image == nullptr) return fetchResult == -1 || decoded == 0 ? -1 : decoded;
    ++fetchCalls;
    if (fetchResult == -1) {
      // A failing source may still have scribbled over the buffer.
      std::memset(image, 0x5A, std::min<size_t>(size_t(*size), 64));
      return -1;
    }
    *info = picture.header;
    std::memcpy(image, picture.bits.data(), picture.bits.size());
    return decoded;
  }
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) override {
    ++fetchCalls;
    if (fetchResult == -1) return -1;
    if (planes != nullptr) {
      av_frame_unref(decoded.writableFrame());
      av_frame_ref(decoded.writableFrame(), planes);
      decoded.publishFrame();
      *info = makeBgrPictureHeader(planes->width, planes->height);
    } else {
      decode(picture);
      *info = picture.header;
    }
    *lease = decoded.leaseNewest();
    return fetchResult;
  }
  // The decode thread completing a picture, whether the window fetches it or not.
  void decode(const Picture& completed) {
    std::memcpy(decoded.writable(), completed.bits.data(), completed.bits.size());
    decoded.publish(completed.header.biWidth, completed.header.biHeight);
  }
  StreamFigures readFigures() override { return figures; }
  RecordingSink* recordingSink() override { return &tap; }
  void stopPlayer() override { ++stops; }
  void restartPlayer() override { ++restarts; }
};

}  // namespace vexa::test
