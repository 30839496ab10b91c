#pragma once

#include "display/CImgDlg.h"
#include "display/StreamView.h"

namespace vexa {

class StreamPlayer;
namespace platform {
class UiLoop;
}

// Shows a stream player to the video window.
class PlayerStreamView final : public StreamView {
 public:
  // Restarts are posted to loop, so the player is only ever released on the host's thread.
  PlayerStreamView(StreamPlayer& player, platform::UiLoop& loop) : player_(player), loop_(loop) {}

  bool hasPlayer() const override { return true; }
  uint32_t GetFrameNumber() override;
  bool LockCurImage(bool tryOnly) override;
  void UnlockCurImage() override;
  bool IsH264Model() override;
  bool IsMpeg4Model() override;
  bool GetJpegFrame(const uint8_t** data, int32_t* length) override;
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override;
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) override;
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override;
  StreamFigures readFigures() override;
  RecordingSink* recordingSink() override;
  void stopPlayer() override;
  void restartPlayer() override;

 private:
  StreamPlayer& player_;
  platform::UiLoop& loop_;
};

// The video window's JPEG decoding through the player's decoder (none: no picture).
CImgDlg::JpegDecode playerJpegDecode(StreamPlayer& player);

}  // namespace vexa
