#include "control/PlayerStreamView.h"

#include "media/VideoDecoderSet.h"
#include "platform/UiLoop.h"
#include "session/IPCameraSite.h"
#include "session/StreamPlayer.h"

namespace vexa {

uint32_t PlayerStreamView::GetFrameNumber() { return player_.GetFrameNumber(); }

bool PlayerStreamView::LockCurImage(bool tryOnly) { return player_.LockCurImage(tryOnly); }

void PlayerStreamView::UnlockCurImage() { player_.UnlockCurImage(); }

bool PlayerStreamView::IsH264Model() { return player_.IsH264Model(); }

bool PlayerStreamView::IsMpeg4Model() { return player_.IsMpeg4Model(); }

bool PlayerStreamView::GetJpegFrame(const uint8_t** data, int32_t* length) {
  return player_.GetJpegFrame(data, length);
}

RecordingSink* PlayerStreamView::recordingSink() {
  return player_.recorder();
}

int32_t PlayerStreamView::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return player_.GetH264Frame(image, size, info);
}

int32_t PlayerStreamView::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  return player_.LendH264Frame(lease, info);
}

int32_t PlayerStreamView::GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return player_.GetMpeg4Frame(image, size, info);
}

StreamFigures PlayerStreamView::readFigures() {
  const StreamConfig& config = player_.config();
  StreamFigures figures;
  figures.model = config.model;
  figures.host = config.host;
  figures.port =
      config.model == IPCAMERA_VIDEO_MODEL_HTTP_MJPEG ? config.httpPort : config.rtspPort;
  if (IPCameraSite* site = player_.site()) {
    figures.siteExists = true;
    figures.model = site->activeModel();
    figures.audioCodec = site->audioCodec().value_or(kNoAudioCodec);
    if (const std::optional<SiteFailure> failure = site->failure()) {
      figures.failure = failure->failure.cause();
    }
    figures.videoKbits = site->GetVideoBitrate();
    figures.audioKbits = site->GetAudioBitrate();
    figures.videoDrop = site->GetVideoDrop();
    figures.audioDrop = site->GetAudioDrop();
  }
  return figures;
}

void PlayerStreamView::stopPlayer() { player_.Stop(); }

void PlayerStreamView::restartPlayer() {
  loop_.post([&player = player_] {
    player.Release();
    player.Start();
  });
}

CImgDlg::JpegDecode playerJpegDecode(StreamPlayer& player) {
  return [&player](std::span<const uint8_t> jpeg) {
    MjpegDecoder* decoder = player.decoders().mjpeg();
    return decoder != nullptr ? decoder->decode(jpeg) : PictureLease{};
  };
}

}  // namespace vexa
