#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "display/CImgFullscrDlg.h"
#include "display/ContextMenu.h"
#include "display/DlgInfo.h"
#include "display/PtzMouse.h"
#include "display/PtzSender.h"
#include "display/ShownPicture.h"
#include "display/StreamView.h"
#include "display/ViewFrame.h"
#include "display/fisheye/FisheyeEngine.h"
#include "display/fisheye/FisheyeViewControl.h"
#include "display/overlay/ClientMasks.h"
#include "display/overlay/OverlayEditor.h"
#include "display/overlay/OverlayList.h"
#include "media/PictureFormat.h"

namespace vexa {

class CMotionStateDlg;

namespace platform {
class UiLoop;
}

// The video window: polls the stream for its newest picture on a fast timer, draws it into its
// back buffer (or the full-screen window's), keeps the statistics window and restarts a stream
// that has gone silent.
class CImgDlg {
 public:
  // Decodes one JPEG and lends its picture; empty when it does not decode.
  using JpegDecode = std::function<PictureLease(std::span<const uint8_t> jpeg)>;
  // Shows a folder to the user after a snapshot was saved into it.
  using FolderOpener = std::function<void(const std::string& folder)>;

  static constexpr int kDrawTimer = 0;
  static constexpr int kTickTimer = 1;
  static constexpr uint32_t kDrawPeriodMs = 5;
  static constexpr uint32_t kTickPeriodMs = 1000;
  static constexpr uint32_t kRedrawIntervalMs = 50;
  static constexpr uint32_t kBackgroundColour = 0x282828;
  static constexpr uint32_t kWatchdogSeconds = 80;
  static constexpr uint32_t kMaxArrivedPerSecond = 100;
  static constexpr int kCommandFullScreen = vexa::kCommandFullScreen;
  static constexpr int kCommandNormalView = vexa::kCommandNormalView;
  static constexpr uint32_t kHousekeepingPeriodMs = 100;
  static constexpr int kDefaultDesktopWidth = 1920;
  static constexpr int kDefaultDesktopHeight = 1080;

  // view may be null (no stream player). The view and the loop stay the caller's and must outlive
  // the window.
  CImgDlg(StreamView* view, JpegDecode decodeJpeg, platform::UiLoop& loop, int clientWidth,
          int clientHeight);
  CImgDlg(const CImgDlg&) = delete;
  CImgDlg& operator=(const CImgDlg&) = delete;
  virtual ~CImgDlg();

  // Starts the draw timer (5 ms) and the one-second tick; destroy stops them.
  void create();
  void destroy();

  // Timer 0 and timer 1; public so that hosts and tests may run them directly.
  void drawCycle();
  void onTick();

  // "STRETCH" -> 0, "REALSIZE" -> 1, result 0; any other text: result 1, mode unchanged.
  int SetDisplayMode(const std::string& mode);
  int displayMode() const { return displayMode_; }

  // A snapshot of the picture on screen, written in a later draw cycle; false while one is
  // pending.
  bool RequestCapture(const std::string& folder, const std::string& fileName);
  bool capturePending() const { return capturePending_; }
  void setFolderOpener(FolderOpener opener) { folderOpener_ = std::move(opener); }

  // The stream was stopped: the video rectangle shows the background again.
  void stopPainting();
  void resize(int clientWidth, int clientHeight);
  // A hidden (minimised, or headless) window takes and counts pictures as ever but paints
  // nothing, since nobody would see it; shown again, it repaints in full.
  void setHidden(bool hidden);
  bool isHidden() const { return hidden_; }
  // The desktop the full-screen window covers (1920 x 1080 until told).
  void setDesktopSize(int width, int height);

  // Mouse and commands, in the coordinates of the window now shown (the full-screen window's
  // while full screen is active).
  void OnDoubleClick(int x, int y);
  void OnCommand(int id);
  void FullScreen();
  void onMouseWheel(int delta);
  // The window's own wheel events stop reaching it until the watchdog sees frames again; for a
  // stream being stopped or replaced.
  void removeWheelRouting() { wheelRouted_ = false; }
  bool wheelRouted() const { return wheelRouted_; }
  void onLeftButtonDown(int x, int y);
  void onMouseMove(int x, int y);
  void onLeftButtonUp(int x, int y);
  // The window's paint: the border bars, and releasing the statistics window from top-most.
  void paint();

  // ---- pan/tilt/zoom: the camera's head steered with the mouse (CImgDlgPtz.cpp) ----
  // The model, the switches and the command channel's port and credentials are set through these;
  // the sender's host and stream name at every stream start.
  PtzMouse& ptz() { return ptz_; }
  PtzSender& ptzSender() { return ptzSender_; }
  // A window of this control has the keyboard focus: only then does the wheel zoom the camera.
  void setFocused(bool focused) { focused_ = focused; }
  void onRightButtonDown(int x, int y);
  void onRightButtonUp(int x, int y);
  // The menu the last right button asked for, for the presenter to show and answer with
  // OnCommand; taking it clears it.
  ContextMenu takeContextMenu() { return std::exchange(contextMenu_, {}); }
  CursorState cursorState() const;

  bool isFullScreen() const { return fullScreen_; }
  // The canvas a presenter shows now, and a number that changes whenever it was drawn into.
  const Canvas& presentCanvas() const;
  uint64_t presentSerial() const { return presentSerial_; }
  // Pictures taken from the stream for showing, painted or not.
  uint64_t picturesTaken() const { return pictureId_; }

  DlgInfo& info() { return info_; }
  const ViewFrame& viewFrame() const { return viewFrame_; }
  // Null until full screen was first opened.
  const CImgFullscrDlg* fullScreenWindow() const { return fullScreenWindow_.get(); }
  // Network frames x 100 + drawn frames, of the last full second.
  uint32_t frameRateValue() const { return frameRate_; }
  uint32_t secondsWithoutFrames() const { return secondsWithoutFrames_; }
  // The picture last prepared for drawing (width 0 before the first); its BGR is made on asking.
  const BITMAPINFOHEADER& pictureHeader() const { return drawn_.header; }
  const uint8_t* pictureBits() const { return drawn_.bgr(); }

  // ---- fisheye views (CImgDlgFisheye.cpp; the engine is created on first need) ----
  // "NONE", "PTZ", "360", "4PTZ", "PANORAMA", "PANOPTZ"; other text changes nothing. 1 when
  // there is no engine afterwards ("NONE" creates none), else 0.
  int SetFisheyeMode(const std::string& mode);
  void SetFisheyeRotateBias(int32_t degrees);
  void SetFisheyeCentreX(int32_t x);
  void SetFisheyeCentreY(int32_t y);
  void SetFisheyeDiameter(int32_t diameter);
  // Finds the lens circle in the next drawn picture; the result is read back afterwards.
  void FishEyeCalibrate();
  bool fisheyeCalibrationPending() const { return calibrationRequested_; }
  FisheyeCircle fisheyeCalibration() const;
  // A zoom step of the current perspective view (+1 in, -1 out), as a wheel notch gives; false
  // when no fisheye view is shown.
  bool fisheyeZoomStep(int sign);
  // "normal" 0, "flip" 1, "mirror" 2, "rotate" 3, "counterclockwise" 4, "clockwise" 5 (either
  // all lower or all upper case); other text leaves the value. Always 0.
  int SetRotation(const std::string& rotation);
  int rotation() const { return rotation_; }
  // The stream's resolution text, choosing the fisheye sensor class.
  void SetSensorMode(const std::string& resolution);
  // Null until first needed.
  FisheyeEngine* fisheyeEngine() { return fisheye_.get(); }

  // ---- overlays (CImgDlgOverlays.cpp): the camera's motion windows, privacy masks and regions
  // of interest in its own coordinates, drawn over the picture ----
  void AddMask(const std::string& name, int32_t x, int32_t y, int32_t width, int32_t height);
  void AddMotionByName(const std::string& name, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Unnamed; with the default camera the values are window pixels. Always 1.
  int AddMotion(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void AddRoi(const std::string& name, int32_t x, int32_t y, int32_t width, int32_t height,
              int32_t aspectX, int32_t aspectY, int32_t minWidth, int32_t minHeight);
  // Each removes the first element of that name from the front.
  void RemoveMask(const std::string& name);
  void RemoveMotionByName(const std::string& name);
  void RemoveRoi(const std::string& name);
  // The front element. Always 1.
  int RemoveMotion();
  // Coordinates by which (read by the kind of the last add); -1 for anything unknown.
  int GetMotionPoint(int32_t index, int32_t which) const;
  int GetMaskPoint(const std::string& name, int32_t which) const;
  int GetMotionPointByName(const std::string& name, int32_t which) const;
  int GetRoiPoint(const std::string& name, int32_t which) const;
  void AdjustMotion();
  const OverlayList& overlays() const { return overlays_; }
  // The camera's description, choosing the overlays' grid (the resolution also chooses the
  // fisheye sensor class, SetSensorMode).
  void SetModel(const std::string& model);
  const std::string& model() const { return model_; }
  void SetSensor(const std::string& sensor);
  void SetWebVersion(const std::string& version);

  // ---- client masks (CImgDlgOverlays.cpp): painted over every new picture ----
  void AddClientMask(const std::string& name, int32_t x, int32_t y, int32_t width, int32_t height);
  int RemoveClientMask(const std::string& name);
  void SetClientMaskColor(int32_t red, int32_t green, int32_t blue, double alpha);
  const ClientMasks& clientMasks() const { return clientMasks_; }

  // ---- motion-state window (created on first use, lives as long as this window) ----
  // Restarts the motion poller for the host of url, on the camera's motion port unless told.
  void StartMotion(const std::string& url);
  void StartMotion(const std::string& url, uint16_t port);
  void ShowMotionState();
  // Hides the window; its poller keeps collecting.
  void CloseMotionState();
  void SetBrand(const std::string& brand);
  // Null until StartMotion or ShowMotionState.
  CMotionStateDlg* motionStateWindow() const { return motionWindow_.get(); }

 private:
  void paintBackground();
  void countArrivals(uint32_t frameNumber);
  bool fetchPicture(uint32_t frameNumber);
  bool fetchDecodedFrame(uint32_t frameNumber);
  bool fetchRgbPicture(uint32_t frameNumber);
  bool fetchJpegPicture(uint32_t frameNumber);
  void acceptPicture(const BITMAPINFOHEADER& header, const uint8_t* bits, PictureLease lease = {});
  bool preparePicture(bool fetched);
  void draw();
  void drawIntoWindow();
  void recordJpeg(const BITMAPINFOHEADER& header, std::span<const uint8_t> picture);
  void serveCapture();
  void refreshInfo();
  void runWatchdog();
  bool wheelRoutingWanted() const;
  void closeFullScreen();
  CImgFullscrDlg& ensureFullScreenWindow();
  bool hasPlayer() const { return view_ != nullptr && view_->hasPlayer(); }
  void housekeeping(uint32_t now);
  void ptzLeftButtonDown(int x, int y);
  void ptzLeftButtonUp();
  void ptzWheel(int delta);
  void drawPtz();

  StreamView* view_;
  JpegDecode decodeJpeg_;
  platform::UiLoop& loop_;
  bool created_ = false;

  ViewFrame viewFrame_;
  DlgInfo info_;
  std::unique_ptr<CImgFullscrDlg> fullScreenWindow_;
  int desktopWidth_ = kDefaultDesktopWidth;
  int desktopHeight_ = kDefaultDesktopHeight;

  // Path B fetches into the spare picture and swaps on success, so a failed fetch leaves the
  // shown picture whole; paths A and C hold the decoder's lent picture instead.
  std::unique_ptr<uint8_t[]> picture_;
  std::unique_ptr<uint8_t[]> sparePicture_;
  std::vector<uint8_t> jpegCopy_;

  ShownPicture fetched_;  // the newest fetched picture
  bool havePicture_ = false;
  ShownPicture drawn_;  // the working copy: what is drawn next
  uint64_t pictureId_ = 0;

  uint32_t lastDrawnFrame_ = 0;
  // The MPEG-4 path: the decoded count of the picture shown, and whether an arrival still waits
  // for its decode.
  int32_t shownRgbPicture_ = -1;
  bool rgbPictureAwaited_ = false;
  uint32_t lastSeenFrame_ = 0;
  uint32_t framesDrawn_ = 0;
  uint32_t framesArrived_ = 0;
  uint32_t frameRate_ = 0;
  uint32_t secondsWithoutFrames_ = 0;
  uint32_t lastDrawTick_ = 0;

  int displayMode_ = ViewFrame::kStretch;
  bool fullScreen_ = false;
  bool hidden_ = false;
  bool redrawForced_ = false;
  bool releaseInfoTopMost_ = false;
  bool backgroundShown_ = false;
  uint64_t presentSerial_ = 0;

  bool capturePending_ = false;
  std::string captureFolder_;
  std::string captureFileName_;
  FolderOpener folderOpener_;

  uint32_t lastHousekeepingTick_ = 0;
  PtzSender ptzSender_;
  PtzMouse ptz_{ptzSender_};
  PtzJoystick joystick_;
  bool focused_ = false;
  ContextMenu contextMenu_;

  FisheyeEngine& ensureFisheye();
  bool fisheyeActive() const;
  bool dewarpPicture();
  void serveCalibration();
  void stepFisheye(Canvas& canvas, const Rect& video);
  const Rect& shownVideoRect() const;
  void fisheyeButtonDown(int x, int y);
  void fisheyeMove(int x, int y);
  void fisheyeWheel(int delta);
  CursorState fisheyeCursor() const;
  std::unique_ptr<FisheyeEngine> fisheye_;
  std::unique_ptr<FisheyeViewControl> fisheyeControl_;
  std::unique_ptr<uint8_t[]> dewarped_;
  uint64_t drawPictureId_ = 0;  // the canvas's cache key of what is drawn next
  uint64_t dewarpSerial_ = 0;
  bool dewarpedShown_ = false;
  bool calibrationRequested_ = false;
  int rotation_ = 0;
  int sensorClass_ = kDefaultSensorClass;

  CMotionStateDlg& ensureMotionWindow();
  // The brand's windows sit under the video window; others where the desktop puts them.
  void placeMotionWindow();
  std::unique_ptr<CMotionStateDlg> motionWindow_;
  std::string brand_;

  // The client masks over the picture drawn next, blended as it is drawn: the decoder's picture
  // is lent and read by others too. Null when none show.
  const PictureTint* clientMaskTint();
  // A copy of a picture with the masks painted in, for snapshots and dewarping.
  const uint8_t* maskedCopy(const BITMAPINFOHEADER& header, const uint8_t* bits);
  ClientMasks clientMasks_;
  std::unique_ptr<uint8_t[]> maskedPicture_;

  void describeCamera();
  void drawOverlayOutlines();
  OverlayList overlays_;
  OverlayEditor overlayEditor_{overlays_};
  // Editing overlays with the left button: true when the press took an overlay.
  bool overlayButtonDown(int x, int y);
  bool overlayMove(int x, int y);
  CursorShape overlayCursor() const;
  std::string model_;
  bool wheelRouted_ = true;
  std::string sensor_;
  std::string resolution_;
  std::string webVersion_;
};

}  // namespace vexa
