#include "control/CVexaActiveXCtrl.h"

#include <string_view>

#include "control/AttributeStore.h"
#include "control/CVexaActiveXDlg.h"
#include "control/ModuleStartUp.h"
#include "control/StreamAddress.h"
#include "media/Deinterlace.h"
#include "platform/Socket.h"
#include "protocol/http/IPCameraHttpCmdHandler.h"

namespace vexa {

namespace {

constexpr int32_t kRefused = -1;
constexpr int32_t kDone = 0;
constexpr int32_t kNothingToDo = 1;
// The command channel's requests go to the camera's web port.
constexpr uint16_t kHttpCommandPort = 80;

// The motion poller's host: the url without its scheme and without anything from its path on.
std::string motionHost(std::string_view url) {
  constexpr std::string_view kSchemeEnd = "://";
  if (const size_t scheme = url.find(kSchemeEnd); scheme != std::string_view::npos) {
    url.remove_prefix(scheme + kSchemeEnd.size());
  }
  return std::string(url.substr(0, url.find('/')));
}

// Models below 2 and above 9 may talk; the talk switch itself leaves the others alone.
bool mayTalk(uint32_t model) { return model < 2 || model > 9; }

}  // namespace

CVexaActiveXCtrl::CVexaActiveXCtrl(ControlHost host) : host_(std::move(host)) {
  if (!host_.resolve) host_.resolve = platform::resolveIpv4;
  startModule(host_.dialogs);
}

CVexaActiveXCtrl::~CVexaActiveXCtrl() { destroyWindow(); }

void CVexaActiveXCtrl::createWindow(int width, int height) {
  if (!dialog_) dialog_ = std::make_unique<CVexaActiveXDlg>(host_, width, height);
}

void CVexaActiveXCtrl::destroyWindow() {
  Stop();
  dialog_.reset();
}

void CVexaActiveXCtrl::resize(int width, int height) {
  if (dialog_) dialog_->window().resize(width, height);
}

CImgDlg* CVexaActiveXCtrl::videoWindow() { return dialog_ ? &dialog_->window() : nullptr; }

StreamPlayer* CVexaActiveXCtrl::player() { return dialog_ ? &dialog_->player() : nullptr; }

// ---- stream start and stop ----

void CVexaActiveXCtrl::tellPtzStream() {
  const StreamConfig& config = dialog_->player().config();
  dialog_->window().ptzSender().setStream(config.host, streamNameFor(config.model, config.path));
}

void CVexaActiveXCtrl::startPlayer() {
  dialog_->player().Start();
  if (mayTalk(dialog_->player().config().model)) applyTalkState();
}

void CVexaActiveXCtrl::applyTalkState() { dialog_->talk().request(talkState_); }

void CVexaActiveXCtrl::stopPlayer() {
  CImgDlg& window = dialog_->window();
  // The dome's wheel zoom has nothing to steer until the next stream shows frames.
  if (window.ptz().isTq330() && window.ptz().enZoom()) window.removeWheelRouting();
  dialog_->talk().cancel();
  dialog_->player().Release();
}

int32_t CVexaActiveXCtrl::Start(const std::string& url) {
  if (!dialog_ || started_) return kRefused;
  started_ = true;
  applyStreamAddress(url, dialog_->player().config(), host_.resolve);
  tellPtzStream();
  startPlayer();
  return kDone;
}

int32_t CVexaActiveXCtrl::Stop() {
  if (!dialog_ || !started_) return kDone;
  started_ = false;
  stopPlayer();
  dialog_->window().stopPainting();
  return kDone;
}

int32_t CVexaActiveXCtrl::Play(const std::string& url, int32_t commType) {
  if (!dialog_ || !playAccepts(commType)) return kRefused;
  SetProtocol(commType);
  Start(url);  // refused while started: the switch above already restarted the stream
  return kDone;
}

int32_t CVexaActiveXCtrl::GetProtocol() {
  return int32_t(dialog_ ? dialog_->player().config().model : kDefaultVideoModel);
}

void CVexaActiveXCtrl::SetProtocol(int32_t value) {
  if (!dialog_) return;
  StreamConfig& config = dialog_->player().config();
  const auto model = uint32_t(value);
  if (model == config.model) return;
  config.model = model;
  if (!started_) return;
  stopPlayer();
  config.path = defaultStreamPath(model);
  tellPtzStream();
  startPlayer();
}

// ---- sound ----

int32_t CVexaActiveXCtrl::Mic(bool state) {
  if (!dialog_ || !isUdpGroupModel(dialog_->player().config().model)) return kRefused;
  talkState_ = state;
  applyTalkState();  // waits for the site on the loop's timers, never here
  return kDone;
}

int32_t CVexaActiveXCtrl::Mute(bool state) {
  if (!dialog_ || !hasSoundSwitch(dialog_->player().config().model)) return kRefused;
  dialog_->player().SetMute(state);
  return kDone;
}

// ---- capture, recording, folders ----

int32_t CVexaActiveXCtrl::JpegCapture(const std::string& path, const std::string& filename) {
  return dialog_ ? dialog_->capture().JpegCapture(path, filename) : kNothingToDo;
}

int32_t CVexaActiveXCtrl::Record(bool state, const std::string& path,
                                 const std::string& filename) {
  return dialog_ ? dialog_->capture().Record(state, path, filename) : kRefused;
}

std::string CVexaActiveXCtrl::SelectFolder() {
  return dialog_ ? dialog_->capture().SelectFolder() : std::string();
}

// ---- display ----

int32_t CVexaActiveXCtrl::FullScreen() {
  if (dialog_) dialog_->window().FullScreen();
  return kDone;
}

int32_t CVexaActiveXCtrl::FishEyeCalibrate() {
  if (dialog_) dialog_->window().FishEyeCalibrate();
  return kDone;
}

void CVexaActiveXCtrl::SetDeinterlace(bool enable) {
  if (dialog_) vexa::SetDeinterlace(enable);
}

// ---- the camera's command channel ----

int32_t CVexaActiveXCtrl::SendHttpRequest(const std::string& url, const std::string& ip,
                                          const std::string& user, const std::string& pass,
                                          int32_t timeoutInMilliSec) {
  if (!dialog_) return 0;
  return dialog_->player().httpCommand().Request(url, kHttpCommandPort, ip, user, pass,
                                                 timeoutInMilliSec)
             ? 1
             : 0;
}

int32_t CVexaActiveXCtrl::GetHttpReqStatus() {
  return dialog_ ? dialog_->player().httpCommand().GetStatus() : kRefused;
}

int32_t CVexaActiveXCtrl::GetHTTPResponse(std::string& rtn) {
  rtn = dialog_ ? dialog_->player().httpCommand().GetResponse() : std::string();
  return kNothingToDo;
}

// ---- attributes ----

std::string CVexaActiveXCtrl::GetAttrStr(const std::string& key) {
  return dialog_ ? attributes::getString(dialog_->window(), key) : std::string();
}

int32_t CVexaActiveXCtrl::SetAttrStr(const std::string& key, const std::string& value) {
  if (!dialog_) return kNothingToDo;
  return attributes::setString(dialog_->window(), dialog_->player().config(), key, value);
}

int32_t CVexaActiveXCtrl::SetAttrInt(const std::string& key, int32_t value) {
  if (dialog_) attributes::setInteger(dialog_->window(), key, value);
  return kNothingToDo;
}

// ---- overlays and motion state ----

void CVexaActiveXCtrl::AddClientMask(const std::string& name, int32_t x, int32_t y,
                                     int32_t width, int32_t height) {
  if (dialog_) dialog_->window().AddClientMask(name, x, y, width, height);
}

int32_t CVexaActiveXCtrl::RemoveClientMask(const std::string& name) {
  return dialog_ ? dialog_->window().RemoveClientMask(name) : kRefused;
}

void CVexaActiveXCtrl::SetClientMaskColor(int32_t red, int32_t green, int32_t blue,
                                          double alpha) {
  if (dialog_) dialog_->window().SetClientMaskColor(red, green, blue, alpha);
}

void CVexaActiveXCtrl::AddMotionByName(const std::string& name, int32_t left, int32_t top,
                                       int32_t right, int32_t bottom) {
  if (dialog_) dialog_->window().AddMotionByName(name, left, top, right, bottom);
}

void CVexaActiveXCtrl::RemoveMotionByName(const std::string& name) {
  if (dialog_) dialog_->window().RemoveMotionByName(name);
}

int32_t CVexaActiveXCtrl::GetMotionPointByName(const std::string& name, int32_t index) {
  return dialog_ ? dialog_->window().GetMotionPointByName(name, index) : kRefused;
}

void CVexaActiveXCtrl::AddRoi(const std::string& name, int32_t x, int32_t y, int32_t width,
                              int32_t height, int32_t aspectX, int32_t aspectY, int32_t minWidth,
                              int32_t minHeight) {
  if (dialog_) {
    dialog_->window().AddRoi(name, x, y, width, height, aspectX, aspectY, minWidth, minHeight);
  }
}

void CVexaActiveXCtrl::RemoveRoi(const std::string& name) {
  if (dialog_) dialog_->window().RemoveRoi(name);
}

int32_t CVexaActiveXCtrl::GetRoiPoint(const std::string& name, int32_t index) {
  return dialog_ ? dialog_->window().GetRoiPoint(name, index) : kRefused;
}

int32_t CVexaActiveXCtrl::AddMotion(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return dialog_ ? dialog_->window().AddMotion(left, top, right, bottom) : kRefused;
}

int32_t CVexaActiveXCtrl::RemoveMotion() {
  return dialog_ ? dialog_->window().RemoveMotion() : kRefused;
}

int32_t CVexaActiveXCtrl::GetMotionPoint(int32_t index1, int32_t index2) {
  return dialog_ ? dialog_->window().GetMotionPoint(index1, index2) : kRefused;
}

void CVexaActiveXCtrl::AdjustMotion() {
  if (dialog_) dialog_->window().AdjustMotion();
}

void CVexaActiveXCtrl::ShowMotionState() {
  if (dialog_) dialog_->window().ShowMotionState();
}

void CVexaActiveXCtrl::CloseMotionState() {
  if (dialog_) dialog_->window().CloseMotionState();
}

void CVexaActiveXCtrl::StartMotion(const std::string& url) {
  if (dialog_) dialog_->window().StartMotion(motionHost(url));
}

void CVexaActiveXCtrl::AddMask(const std::string& name, int32_t x, int32_t y, int32_t width,
                               int32_t height) {
  if (dialog_) dialog_->window().AddMask(name, x, y, width, height);
}

void CVexaActiveXCtrl::RemoveMask(const std::string& name) {
  if (dialog_) dialog_->window().RemoveMask(name);
}

int32_t CVexaActiveXCtrl::GetMaskPoint(const std::string& name, int32_t index) {
  return dialog_ ? dialog_->window().GetMaskPoint(name, index) : kRefused;
}

}  // namespace vexa
