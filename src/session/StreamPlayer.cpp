#include "session/StreamPlayer.h"

#include <mutex>

#include "media/VideoDecoderSet.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/Thread.h"
#include "session/IPCameraSite.h"
#include "session/PlayerSlot.h"

namespace vexa {

namespace {
constexpr const char* kTooManyPlayers = "Too many Stream Players !!!";
constexpr int kTalkSiteChecks = 30;
constexpr uint32_t kTalkSiteCheckMs = 100;
constexpr uint32_t kTalkSettleMs = 1000;
}  // namespace

StreamPlayer::StreamPlayer(platform::Dialogs& dialogs)
    : dialogs_(dialogs),
      decoders_(std::make_unique<VideoDecoderSet>(dialogs)),
      markerFolder_(platform::tempFolder()) {}

StreamPlayer::~StreamPlayer() { Release(); }

bool StreamPlayer::Start() {
  joinStartThread();
  startThread_ = std::thread([this] { runStartThread(); });
  return true;
}

void StreamPlayer::runStartThread() {
  if (site() != nullptr) return;
  claimSlot();
  IPCameraSite* created = nullptr;
  {
    std::lock_guard outer(lock_);
    config_.extraHeaderLine.clear();
    std::lock_guard inner(lock_);
    created = new IPCameraSite(config_, slot(), audioOutput_);
    created->setH264Decoder(decoders_->h264());
    site_.store(created, std::memory_order_release);
  }
  applyMute(*created);
  created->Play();
}

void StreamPlayer::claimSlot() {
  const uint32_t claimed = PlayerSlot::claim(markerFolder_);
  ownsMarker_ = claimed != 0;
  if (!ownsMarker_) dialogs_.showMessage(kTooManyPlayers, kTooManyPlayers);
  slot_ = ownsMarker_ ? claimed : PlayerSlot::kSlotCount;
}

void StreamPlayer::applyMute(IPCameraSite& site) { site.SetAudio(muted() ? "OFF" : "ON"); }

void StreamPlayer::joinStartThread() {
  if (startThread_.joinable()) startThread_.join();
}

void StreamPlayer::Stop() {
  // A site still being built is stopped once it exists.
  joinStartThread();
  if (IPCameraSite* current = site()) current->Stop();
}

void StreamPlayer::Release() {
  Stop();
  delete site_.exchange(nullptr, std::memory_order_acq_rel);
  // Only the marker this player created is deleted: with every number taken it runs on the
  // last slot without owning that slot's file.
  if (ownsMarker_) PlayerSlot::release(markerFolder_, slot());
  ownsMarker_ = false;
}

void StreamPlayer::SetMute(bool muted) {
  muted_ = muted;
  if (IPCameraSite* current = site()) applyMute(*current);
}

void StreamPlayer::SetTalk(bool on) {
  for (int check = 0; check < kTalkSiteChecks && site() == nullptr; ++check) {
    platform::sleepMs(kTalkSiteCheckMs);
  }
  platform::sleepMs(kTalkSettleMs);
  if (IPCameraSite* current = site()) current->SetTalk(on);
}

bool StreamPlayer::LockCurImage(bool tryOnly) {
  IPCameraSite* current = site();
  return current != nullptr && current->LockCurImage(tryOnly);
}

void StreamPlayer::UnlockCurImage() {
  if (IPCameraSite* current = site()) current->UnlockCurImage();
}

uint32_t StreamPlayer::GetFrameNumber() {
  IPCameraSite* current = site();
  return current != nullptr ? current->GetFrameNumber() : 0;
}

bool StreamPlayer::GetJpegFrame(const uint8_t** data, int32_t* length) {
  IPCameraSite* current = site();
  if (current != nullptr) return current->GetJpegFrame(data, length);
  *data = nullptr;
  *length = 0;
  return true;
}

int32_t StreamPlayer::GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  IPCameraSite* current = site();
  return current != nullptr ? current->GetMpeg4Frame(image, size, info) : 1;
}

int32_t StreamPlayer::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  IPCameraSite* current = site();
  return current != nullptr ? current->GetH264Frame(image, size, info) : -1;
}

int32_t StreamPlayer::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  IPCameraSite* current = site();
  return current != nullptr ? current->LendH264Frame(lease, info) : -1;
}

bool StreamPlayer::IsH264Model() {
  IPCameraSite* current = site();
  return current != nullptr ? current->IsH264Model() : true;
}

bool StreamPlayer::IsMpeg4Model() {
  IPCameraSite* current = site();
  return current != nullptr ? current->IsMpeg4Model() : true;
}

}  // namespace vexa
