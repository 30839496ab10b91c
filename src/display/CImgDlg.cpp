#include "display/CImgDlg.h"

#include <cstdlib>
#include <cstring>

#include "display/CMotionStateDlg.h"
#include "display/MotionState.h"
#include "media/MjpegDecoder.h"
#include "platform/UiLoop.h"
#include "record/Snapshot.h"

namespace vexa {
namespace {

// Room behind each picture buffer for vector code that reads a little past a row's end.
constexpr size_t kBufferSlackBytes = 64;

std::unique_ptr<uint8_t[]> allocatePicture(size_t bytes) {
  return std::unique_ptr<uint8_t[]>(new uint8_t[bytes + kBufferSlackBytes]);
}

// A header the draw path can use for a buffer of the given capacity.
bool fitsBuffer(const BITMAPINFOHEADER& header, size_t capacity) {
  return header.biBitCount == 24 && header.biWidth > 0 && header.biHeight > 0 &&
         size_t(header.biWidth) * size_t(header.biHeight) * kBytesPerPixel <= capacity;
}

uint32_t tickDistance(uint32_t a, uint32_t b) {
  return uint32_t(std::abs(int64_t(int32_t(a - b))));
}

}  // namespace

CImgDlg::CImgDlg(StreamView* view, JpegDecode decodeJpeg, platform::UiLoop& loop, int clientWidth,
                 int clientHeight)
    : view_(view),
      decodeJpeg_(std::move(decodeJpeg)),
      loop_(loop),
      viewFrame_(clientWidth, clientHeight),
      picture_(allocatePicture(kDisplayPictureBytes)),
      sparePicture_(allocatePicture(kDisplayPictureBytes)) {
  jpegCopy_.reserve(size_t(MjpegDecoder::kMaxJpegBytes));
}

CImgDlg::~CImgDlg() {
  destroy();
}

void CImgDlg::create() {
  loop_.setTimer(kDrawTimer, kDrawPeriodMs, [this] {
    drawCycle();
    ptzSender_.step();
  });
  loop_.setTimer(kTickTimer, kTickPeriodMs, [this] { onTick(); });
  created_ = true;
}

void CImgDlg::destroy() {
  if (!created_) return;
  loop_.killTimer(kTickTimer);
  loop_.killTimer(kDrawTimer);
  created_ = false;
}

// ---- draw cycle ----

void CImgDlg::drawCycle() {
  if (!hasPlayer()) return;
  const uint32_t now = loop_.clock().tickCount();
  const uint32_t frameNumber = view_->GetFrameNumber();
  if (frameNumber == 0) {
    shownRgbPicture_ = -1;  // a new stream counts its decodes from the start
    paintBackground();
    return;
  }
  countArrivals(frameNumber);
  bool fetched = false;
  if (frameNumber != lastDrawnFrame_) {
    ++framesDrawn_;
    fetched = fetchPicture(frameNumber);
  } else if (rgbPictureAwaited_) {
    fetched = fetchPicture(frameNumber);
  }
  const bool prepared = preparePicture(fetched);
  serveCalibration();
  if (prepared || tickDistance(now, lastDrawTick_) >= kRedrawIntervalMs) {
    lastDrawTick_ = now;
    draw();
  }
  serveCapture();
  housekeeping(now);
}

void CImgDlg::housekeeping(uint32_t now) {
  if (tickDistance(now, lastHousekeepingTick_) < kHousekeepingPeriodMs) return;
  lastHousekeepingTick_ = now;
  ptz_.housekeeping();
  if (motionWindow_ && motionWindow_->isShown()) motionWindow_->refresh();
}

void CImgDlg::paintBackground() {
  if (backgroundShown_ || hidden_) return;  // nothing drew over it since, or nobody sees it
  Rect area = viewFrame_.videoRect();
  ++area.width;
  ++area.height;
  viewFrame_.canvas().fillRect(area, kBackgroundColour);
  backgroundShown_ = true;
  ++presentSerial_;
}

void CImgDlg::countArrivals(uint32_t frameNumber) {
  // The picture counter of the stream; a new stream starting low again wraps the difference to a
  // huge count, which the one-second tick discards as implausible.
  if (frameNumber == lastSeenFrame_) return;
  framesArrived_ += frameNumber - lastSeenFrame_;
  lastSeenFrame_ = frameNumber;
}

bool CImgDlg::fetchPicture(uint32_t frameNumber) {
  if (view_->IsH264Model()) return fetchDecodedFrame(frameNumber);
  if (view_->IsMpeg4Model()) return fetchRgbPicture(frameNumber);
  return fetchJpegPicture(frameNumber);
}

bool CImgDlg::fetchDecodedFrame(uint32_t frameNumber) {
  if (!view_->LockCurImage(false)) {
    lastDrawnFrame_ = frameNumber;
    return false;
  }
  // Borrowed, not copied: a copy of a large picture costs about as much as drawing it.
  BITMAPINFOHEADER header{};
  PictureLease lease;
  const int32_t index = view_->LendH264Frame(&lease, &header);
  view_->UnlockCurImage();
  // The decode path numbers its own frames; behind it, catch up one frame per cycle.
  lastDrawnFrame_ = index < 1 ? frameNumber : lastDrawnFrame_ + 1;
  if (index < 0 || !lease || !fitsBuffer(header, lease.bytes())) return false;
  acceptPicture(header, nullptr, std::move(lease));
  return true;
}

// The frame number counts pictures as they arrive and the decode lands a little later: until it
// does, each cycle looks again (without copying), so that a picture shows as soon as it is
// decoded rather than when the next one arrives.
bool CImgDlg::fetchRgbPicture(uint32_t frameNumber) {
  lastDrawnFrame_ = frameNumber;
  rgbPictureAwaited_ = false;
  if (!view_->LockCurImage(false)) return false;
  BITMAPINFOHEADER header{};
  const int32_t decoded = view_->GetMpeg4Frame(nullptr, nullptr, &header);
  if (decoded == -1 || decoded == shownRgbPicture_) {
    view_->UnlockCurImage();
    rgbPictureAwaited_ = true;
    return false;
  }
  int32_t size = int32_t(kDisplayPictureBytes);
  const int32_t result = view_->GetMpeg4Frame(sparePicture_.get(), &size, &header);
  view_->UnlockCurImage();
  if (result == -1 || !fitsBuffer(header, kDisplayPictureBytes)) return false;
  shownRgbPicture_ = result;
  std::swap(picture_, sparePicture_);
  acceptPicture(header, picture_.get());
  return true;
}

void CImgDlg::recordJpeg(const BITMAPINFOHEADER& header, std::span<const uint8_t> picture) {
  RecordingSink* recorder = view_->recordingSink();
  if (recorder == nullptr || !recorder->IsRecording()) return;
  recorder->SetSize(header.biWidth, std::abs(header.biHeight));
  recorder->AddFrame(picture);
}

bool CImgDlg::fetchJpegPicture(uint32_t frameNumber) {
  lastDrawnFrame_ = frameNumber;
  if (!view_->LockCurImage(false)) return false;
  // A picture may have landed since the number was read: the one taken is the one numbered under
  // the lock, and taking it again next cycle would show and record it twice.
  lastDrawnFrame_ = view_->GetFrameNumber();
  const uint8_t* data = nullptr;
  int32_t length = -1;
  const bool available = view_->GetJpegFrame(&data, &length);
  const bool decodable = available && data != nullptr && length >= MjpegDecoder::kMinJpegBytes &&
                         length <= MjpegDecoder::kMaxJpegBytes;
  if (decodable) jpegCopy_.assign(data, data + length);
  view_->UnlockCurImage();
  if (!decodable || !decodeJpeg_) return false;

  const std::span<const uint8_t> jpeg = std::span(jpegCopy_).first(size_t(length));
  PictureLease picture = decodeJpeg_(jpeg);
  const BITMAPINFOHEADER header = makeBgrPictureHeader(picture.width(), picture.height());
  if (!picture || !fitsBuffer(header, kDisplayPictureBytes)) return false;
  acceptPicture(header, nullptr, std::move(picture));
  recordJpeg(header, jpeg);
  return true;
}

void CImgDlg::acceptPicture(const BITMAPINFOHEADER& header, const uint8_t* bits,
                            PictureLease lease) {
  fetched_ = ShownPicture{header, lease ? nullptr : bits, std::move(lease)};
  havePicture_ = true;
  ++pictureId_;
  info_.SetVideoSize(header.biWidth, header.biHeight);
}

bool CImgDlg::preparePicture(bool fetched) {
  if (!havePicture_ || !(fetched || redrawForced_)) return false;
  drawn_ = fetched_;
  drawPictureId_ = pictureId_;
  redrawForced_ = false;
  dewarpedShown_ = dewarpPicture();
  return true;
}

void CImgDlg::draw() {
  if (hidden_) return;
  if (fullScreen_) {
    CImgFullscrDlg& window = ensureFullScreenWindow();
    window.draw(drawn_, drawPictureId_, clientMaskTint());
    stepFisheye(window.viewFrame().canvas(), window.viewFrame().videoRect());
  } else {
    drawIntoWindow();
  }
  ++presentSerial_;
}

void CImgDlg::drawIntoWindow() {
  // A dewarped picture is laid out as the picture it was made from.
  const BITMAPINFOHEADER& layoutHeader = dewarpedShown_ ? fetched_.header : drawn_.header;
  if (viewFrame_.update(displayMode_, layoutHeader.biWidth, layoutHeader.biHeight)) {
    viewFrame_.paintBars();
    backgroundShown_ = false;
  }
  if (drawn_.empty()) return;
  viewFrame_.canvas().drawPicture(drawn_, drawPictureId_,
                                  {0, 0, drawn_.header.biWidth, drawn_.header.biHeight},
                                  viewFrame_.videoRect(), clientMaskTint());
  drawOverlayOutlines();
  drawPtz();
  stepFisheye(viewFrame_.canvas(), viewFrame_.videoRect());
  backgroundShown_ = false;
}

// ---- snapshots ----

bool CImgDlg::RequestCapture(const std::string& folder, const std::string& fileName) {
  if (capturePending_) return false;
  captureFolder_ = folder;
  if (captureFolder_.empty() || captureFolder_.back() != '/') captureFolder_ += '/';
  captureFileName_ = fileName;
  capturePending_ = true;
  return true;
}

void CImgDlg::serveCapture() {
  if (!capturePending_) return;
  if (!view_->LockCurImage(false)) return;  // no stream to hold still: try again later
  capturePending_ = false;
  // Failures are not reported: the folder is shown all the same.
  const uint8_t* bgr = drawn_.bgr();
  const uint8_t* bits = clientMaskTint() != nullptr ? maskedCopy(drawn_.header, bgr) : bgr;
  SaveSnapshot(captureFolder_, captureFileName_, drawn_.header, bits);
  view_->UnlockCurImage();
  if (folderOpener_) folderOpener_(captureFolder_);
}

// ---- one-second tick ----

void CImgDlg::onTick() {
  const uint32_t arrived = framesArrived_ > kMaxArrivedPerSecond ? 0 : framesArrived_;
  frameRate_ = arrived * 100 + framesDrawn_;
  framesArrived_ = 0;
  framesDrawn_ = 0;
  if (info_.isShown()) refreshInfo();
  runWatchdog();
}

void CImgDlg::refreshInfo() {
  if (!hasPlayer()) {
    info_.Refresh(frameRate_);
    return;
  }
  const StreamFigures figures = view_->readFigures();
  if (figures.siteExists) {
    info_.SetFormat(figures.model, figures.audioCodec);
    info_.SetVideoDrop(figures.videoDrop);
    info_.SetAudioDrop(figures.audioDrop);
    info_.SetVideoBitrate(int32_t(figures.videoKbits));
    info_.SetAudioBitrate(int32_t(figures.audioKbits));
  }
  info_.Refresh(frameRate_);
  // Set after the refresh: the window shows these a second later.
  info_.SetUrl(figures.host, figures.model, figures.port);
  info_.SetConnection(figures.model);
  info_.SetFailure(figures.failure);
}

void CImgDlg::runWatchdog() {
  if (!hasPlayer() || frameRate_ >= 1) {
    secondsWithoutFrames_ = 0;
    if (wheelRoutingWanted()) wheelRouted_ = true;
    return;
  }
  if (++secondsWithoutFrames_ <= kWatchdogSeconds) return;
  secondsWithoutFrames_ = 0;
  if (wheelRoutingWanted()) wheelRouted_ = false;
  view_->stopPlayer();
  view_->restartPlayer();
}

// ---- window operations ----

int CImgDlg::SetDisplayMode(const std::string& mode) {
  if (mode == "STRETCH") {
    displayMode_ = ViewFrame::kStretch;
  } else if (mode == "REALSIZE") {
    displayMode_ = ViewFrame::kRealSize;
  } else {
    return 1;
  }
  return 0;
}

void CImgDlg::stopPainting() {
  backgroundShown_ = false;
  paintBackground();
}

void CImgDlg::setHidden(bool hidden) {
  if (hidden == hidden_) return;
  hidden_ = hidden;
  if (hidden_) return;
  viewFrame_.paintBars();
  backgroundShown_ = false;
  redrawForced_ = true;
  ++presentSerial_;
}

void CImgDlg::resize(int clientWidth, int clientHeight) {
  viewFrame_.resize(clientWidth, clientHeight);
  viewFrame_.paintBars();
  backgroundShown_ = false;
  redrawForced_ = true;
  ++presentSerial_;
}

void CImgDlg::setDesktopSize(int width, int height) {
  desktopWidth_ = width;
  desktopHeight_ = height;
  if (fullScreenWindow_) {
    fullScreenWindow_->resize(width, height);
    redrawForced_ = true;
  }
}

CImgFullscrDlg& CImgDlg::ensureFullScreenWindow() {
  if (!fullScreenWindow_) {
    fullScreenWindow_ = std::make_unique<CImgFullscrDlg>(desktopWidth_, desktopHeight_);
    fullScreenWindow_->attachPtz(&ptz_);
    if (fisheye_)
      fullScreenWindow_->attachFisheyeZoom(
          [this](int sign) { return fisheyeZoomStep(sign); });
  }
  return *fullScreenWindow_;
}

void CImgDlg::FullScreen() {
  fullScreen_ = true;
  redrawForced_ = true;
  ensureFullScreenWindow().open();
  if (fisheye_) fisheye_->setFullScreen(true);
  if (info_.isShown()) info_.setTopMost(true);
  ++presentSerial_;
}

void CImgDlg::closeFullScreen() {
  fullScreen_ = false;
  releaseInfoTopMost_ = true;
  if (fullScreenWindow_) fullScreenWindow_->hide();
  if (fisheye_) fisheye_->setFullScreen(false);
  redrawForced_ = true;
  ++presentSerial_;
}

void CImgDlg::OnCommand(int id) {
  if (id == kCommandFullScreen && !fullScreen_) FullScreen();
  if (id == kCommandNormalView && fullScreen_) closeFullScreen();
  ptz_.onCommand(id);
}

void CImgDlg::OnDoubleClick(int x, int y) {
  if (fisheyeActive()) fisheyeControl_->doubleClick();
  if (fullScreen_) {
    closeFullScreen();
    return;
  }
  if (!hasPlayer()) return;
  info_.show();
}

bool CImgDlg::wheelRoutingWanted() const {
  return (ptz_.isTq330() && ptz_.enZoom()) || fisheye_ != nullptr;
}

void CImgDlg::onMouseWheel(int delta) {
  if (fullScreen_) {
    ensureFullScreenWindow().onMouseWheel(delta);
  } else if (wheelRouted_) {
    ptzWheel(delta);
    fisheyeWheel(delta);
  }
}

// A press that takes an overlay is the overlay's alone: it neither steers the camera nor a view.
void CImgDlg::onLeftButtonDown(int x, int y) {
  if (!fullScreen_ && overlayButtonDown(x, y)) return;
  fisheyeButtonDown(x, y);
  if (fullScreen_) {
    ensureFullScreenWindow().onLeftButtonDown(x, y);
  } else {
    ptzLeftButtonDown(x, y);
  }
}

void CImgDlg::onMouseMove(int x, int y) {
  if (!fullScreen_ && overlayMove(x, y)) return;
  fisheyeMove(x, y);
  if (fullScreen_) {
    ensureFullScreenWindow().onMouseMove(x, y);
  } else {
    joystick_.move(x, y);
  }
}

void CImgDlg::onLeftButtonUp(int x, int y) {
  if (overlayEditor_.dragging()) {
    overlayEditor_.buttonUp();
    redrawForced_ = true;
    return;
  }
  if (fisheyeActive()) fisheyeControl_->buttonUp();
  if (fullScreen_) {
    ensureFullScreenWindow().onLeftButtonUp(x, y);
  } else {
    ptzLeftButtonUp();
  }
}

void CImgDlg::paint() {
  viewFrame_.paintBars();
  ++presentSerial_;
  if (releaseInfoTopMost_) {
    info_.setTopMost(false);
    releaseInfoTopMost_ = false;
  }
}

const Canvas& CImgDlg::presentCanvas() const {
  if (fullScreen_ && fullScreenWindow_) return fullScreenWindow_->canvas();
  return viewFrame_.canvas();
}

// ---- motion-state window ----

CMotionStateDlg& CImgDlg::ensureMotionWindow() {
  if (!motionWindow_) {
    motionWindow_ = std::make_unique<CMotionStateDlg>();
    // A brand told before the window existed counts as well.
    motionWindow_->setBrand(brand_);
    placeMotionWindow();
  }
  return *motionWindow_;
}

void CImgDlg::placeMotionWindow() {
  if (!motionWindow_->hasUpdatingBrand()) return;
  const Rect& client = viewFrame_.clientRect();
  motionWindow_->setPlacement(
      Canvas::Point{client.x, client.bottom() + CMotionStateDlg::kGapBelowVideo});
}

void CImgDlg::StartMotion(const std::string& url) {
  StartMotion(url, MotionState::kMotionPort);
}

void CImgDlg::StartMotion(const std::string& url, uint16_t port) {
  ensureMotionWindow().restartPolling(url, port);
}

void CImgDlg::ShowMotionState() {
  ensureMotionWindow();
  placeMotionWindow();
  motionWindow_->show();
}

void CImgDlg::CloseMotionState() {
  if (motionWindow_) motionWindow_->hide();
}

void CImgDlg::SetBrand(const std::string& brand) {
  brand_ = brand;
  if (motionWindow_) motionWindow_->setBrand(brand_);
  describeCamera();
}

}  // namespace vexa
