#include "media/Mpeg4PlayThread.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "common/DebugTrace.h"
#include "common/StreamConfig.h"
#include "media/Mpeg4Configuration.h"
#include "media/Mpeg4Picture.h"
#include "media/VideoDecoderSet.h"

namespace vexa {

namespace {

// Speed over strict conformance, as a live viewer wants.
constexpr int kDecoderFlags2 = AV_CODEC_FLAG2_FAST;
constexpr int64_t kMaxDecodedPixels = int64_t(kMaxDisplayWidth) * kMaxDisplayHeight;
// Room in front of a picture taken for the stored configuration.
constexpr size_t kConfigurationRoom = kMaxMpeg4ConfigBytes;

bool fitsDisplay(uint32_t width, uint32_t height) {
  return width <= uint32_t(kMaxDisplayWidth) && height <= uint32_t(kMaxDisplayHeight);
}

}  // namespace

Mpeg4PlayThread::Mpeg4PlayThread(platform::Dialogs* dialogs)
    : dialogs_(dialogs),
      work_(new uint8_t[kConfigurationRoom + kMaxQueuedBytes]),
      decoder_(AV_CODEC_ID_MPEG4, kDecoderFlags2, kMaxDecodedPixels),
      converter_(SWS_BILINEAR) {}

Mpeg4PlayThread::~Mpeg4PlayThread() {
  Stop();
}

void Mpeg4PlayThread::configure(const StreamConfig& config) {
  const size_t length = std::min<size_t>(config.mpeg4ConfigLength, config.mpeg4Config.size());
  {
    std::lock_guard lock(playLock_);
    configuration_.assign(config.mpeg4Config.begin(), config.mpeg4Config.begin() + long(length));
  }
  // Taken up when the thread next wakes: at its start, or before the first picture at the latest.
  preparationWanted_ = true;
}

int Mpeg4PlayThread::Start() {
  if (thread_.running() || thread_.hasThread()) return platform::kAlreadyRunning;
  {
    std::lock_guard lock(playLock_);
    clearQueue();
    started_ = false;
  }
  // A new session's stream must not be decoded against the last one's pictures.
  if (decoder_.isOpen()) decoder_.close();
  openDecoder();
  preparationWanted_ = true;
  return thread_.start([this] { run(); });
}

bool Mpeg4PlayThread::openDecoder() {
  if (decoder_.open()) return true;
  if (!decoderReported_) {
    decoderReported_ = true;
    tell(VideoDecoderSet::kInitFailText);
  }
  return false;
}

void Mpeg4PlayThread::Stop() {
  // Set before and after the flag, so the thread sees the flag whichever wait it is in.
  event_.set();
  thread_.requestStop();
  event_.set();
  thread_.join();
}

void Mpeg4PlayThread::run() {
  thread_.runTurns(event_, [this] {
    if (preparationWanted_.exchange(false)) prepareConfiguredSize();
    return playNext();
  });
}

void Mpeg4PlayThread::prepareConfiguredSize() {
  std::optional<PictureSize> size;
  {
    std::lock_guard lock(playLock_);
    size = readMpeg4PictureSize(configuration_);
  }
  {
    std::lock_guard lock(pictureLock_);
    if (picture_) return;  // the picture is fixed already
  }
  if (!size || !fitsDisplay(size->width, size->height)) return;
  const auto width = int32_t(size->width);
  const auto height = int32_t(size->height);
  if (prepared_ && preparedHeader_.biWidth == width && preparedHeader_.biHeight == height) return;
  std::unique_ptr<AVFrame, void (*)(AVFrame*)> black(av_frame_alloc(),
                                                     [](AVFrame* f) { av_frame_free(&f); });
  if (!black) return;
  black->width = width;
  black->height = height;
  black->format = AV_PIX_FMT_YUV420P;  // what the decoder gives
  if (av_frame_get_buffer(black.get(), 0) < 0) return;
  constexpr uint8_t kBlackLuma = 16;
  constexpr uint8_t kNeutralChroma = 128;
  std::memset(black->data[0], kBlackLuma, size_t(black->linesize[0]) * size_t(height));
  for (const int plane : {1, 2}) {
    std::memset(black->data[plane], kNeutralChroma,
                size_t(black->linesize[plane]) * size_t((height + 1) / 2));
  }
  const BITMAPINFOHEADER header = makeBgrPictureHeader(width, height);
  std::unique_ptr<uint8_t[]> picture(new (std::nothrow) uint8_t[header.biSizeImage]);
  if (!picture) return;
  const int rowBytes = width * kBytesPerPixel;
  if (!converter_.convert(*black, picture.get() + size_t(height - 1) * size_t(rowBytes),
                          -rowBytes)) {
    return;
  }
  prepared_ = std::move(picture);
  preparedHeader_ = header;
}

bool Mpeg4PlayThread::handOff(std::span<const uint8_t> picture) {
  if (picture.empty() || picture.size() > kMaxQueuedBytes) return false;
  std::lock_guard lock(playLock_);
  if (queuedBytes_.size() + picture.size() > kMaxQueuedBytes ||
      queuedSizes_.size() >= kMaxQueuedPictures) {
    // The player has fallen behind: what waits is dropped, and what comes next would be decoded
    // against pictures it never saw, so the stream starts again at an intra picture.
    DebugTrace("MPEG-4: backlog of %zu pictures dropped", queuedSizes_.size());
    clearQueue();
    started_ = false;
  }
  queuedBytes_.insert(queuedBytes_.end(), picture.begin(), picture.end());
  queuedSizes_.push_back(uint32_t(picture.size()));
  event_.set();
  return true;
}

size_t Mpeg4PlayThread::queuedPictures() {
  std::lock_guard lock(playLock_);
  return queuedSizes_.size();
}

void Mpeg4PlayThread::clearQueue() {
  queuedBytes_.clear();
  queuedSizes_.clear();
  event_.reset();
}

bool Mpeg4PlayThread::playNext() {
  std::span<const uint8_t> picture;
  {
    std::lock_guard lock(playLock_);
    if (queuedSizes_.empty()) return false;
    picture = takeOldest();
  }
  if (!picture.empty()) decode(picture);
  return true;
}

std::span<const uint8_t> Mpeg4PlayThread::takeOldest() {
  const size_t length = queuedSizes_.front();
  std::memcpy(work_.get() + kConfigurationRoom, queuedBytes_.data(), length);
  queuedBytes_.erase(queuedBytes_.begin(), queuedBytes_.begin() + long(length));
  queuedSizes_.pop_front();
  if (queuedSizes_.empty()) event_.reset();
  return prepare(length);
}

std::span<const uint8_t> Mpeg4PlayThread::prepare(size_t length) {
  std::span<const uint8_t> picture(work_.get() + kConfigurationRoom, length);
  const std::optional<Mpeg4PictureLayout> layout = findMpeg4PictureLayout(picture);
  if (!layout) {
    DebugTrace("MPEG-4: %zu bytes are not one picture, dropped", length);
    return {};
  }
  picture = picture.subspan(layout->start);
  size_t headers = layout->vop - layout->start;
  if (!started_) {
    if (!layout->intra) return {};
    if (!layout->hasConfiguration && !configuration_.empty()) {
      // The camera sent its configuration only in the description.
      uint8_t* front = work_.get() + kConfigurationRoom + layout->start - configuration_.size();
      std::memcpy(front, configuration_.data(), configuration_.size());
      picture = {front, picture.size() + configuration_.size()};
      headers += configuration_.size();
    }
  }
  if (const std::optional<PictureSize> size = readMpeg4PictureSize(picture.first(headers))) {
    if (!fitsDisplay(size->width, size->height)) {
      // What follows would be decoded against a picture the decoder never saw.
      refuseSize(size->width, size->height);
      started_ = false;
      return {};
    }
  }
  started_ = true;
  return picture;
}

void Mpeg4PlayThread::decode(std::span<const uint8_t> picture) {
  if (!openDecoder()) return;
  if (decoder_.decode(picture.data(), int(picture.size())) != ffmpeg::DecodeResult::kPicture) {
    return;
  }
  const AVFrame& frame = decoder_.frame();
  // A damaged picture leaves the last good one on screen.
  if (frame.decode_error_flags != 0 || (frame.flags & AV_FRAME_FLAG_CORRUPT) != 0) return;
  std::lock_guard lock(pictureLock_);
  if (!keepPicture(frame)) return;
  const int rowBytes = frame.width * kBytesPerPixel;
  uint8_t* topRow = picture_.get() + size_t(frame.height - 1) * size_t(rowBytes);
  if (converter_.convert(frame, topRow, -rowBytes))
    decoded_.fetch_add(1, std::memory_order_relaxed);
}

// Under the picture lock. The one picture buffer is made for the first picture's size; pictures
// of another size later are not shown.
bool Mpeg4PlayThread::keepPicture(const AVFrame& frame) {
  if (frame.width <= 0 || frame.height <= 0) return false;
  if (picture_) return frame.width == header_.biWidth && frame.height == header_.biHeight;
  if (!fitsDisplay(uint32_t(frame.width), uint32_t(frame.height))) {
    refuseSize(uint32_t(frame.width), uint32_t(frame.height));
    return false;
  }
  const BITMAPINFOHEADER header = makeBgrPictureHeader(frame.width, frame.height);
  if (prepared_ && preparedHeader_.biWidth == header.biWidth &&
      preparedHeader_.biHeight == header.biHeight) {
    picture_ = std::move(prepared_);
  } else {
    picture_.reset(new (std::nothrow) uint8_t[header.biSizeImage]);
  }
  prepared_.reset();
  if (picture_) header_ = header;
  return picture_ != nullptr;
}

void Mpeg4PlayThread::refuseSize(uint32_t width, uint32_t height) {
  DebugTrace("MPEG-4: picture of %ux%u refused", width, height);
  if (sizeReported_) return;
  sizeReported_ = true;
  char text[96];
  std::snprintf(text, sizeof text, "MPEG-4 picture %u x %u is larger than %d x %d", width, height,
                kMaxDisplayWidth, kMaxDisplayHeight);
  tell(text);
}

void Mpeg4PlayThread::tell(const char* text) {
  if (platform::Dialogs* dialogs = dialogs_.load(std::memory_order_acquire)) {
    dialogs->showMessage(text, VideoDecoderSet::kInitFailCaption);
  }
}

int32_t Mpeg4PlayThread::GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  std::lock_guard lock(pictureLock_);
  if (!picture_) return -1;
  if (image != nullptr) {
    if (size == nullptr || *size < 0 || uint32_t(*size) < header_.biSizeImage) return -1;
    std::memcpy(image, picture_.get(), header_.biSizeImage);
    *size = int32_t(header_.biSizeImage);
  }
  if (info != nullptr) *info = header_;
  return int32_t(decoded_.load(std::memory_order_relaxed));
}

}  // namespace vexa
