#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "control/ControlHost.h"
#include "control/DVexaActiveX.h"

namespace vexa {

class CImgDlg;
class CVexaActiveXDlg;
class StreamPlayer;

// The scriptable control a camera's web page drives: its members reach the stream, the video
// window and the commands through the host dialog made with its window. Until createWindow, each
// member answers as with no video window (-1 where a number is due) and does nothing.
class CVexaActiveXCtrl final : public DVexaActiveX {
 public:
  explicit CVexaActiveXCtrl(ControlHost host);
  CVexaActiveXCtrl(const CVexaActiveXCtrl&) = delete;
  CVexaActiveXCtrl& operator=(const CVexaActiveXCtrl&) = delete;
  ~CVexaActiveXCtrl() override;

  // Makes the host dialog with the video window of that client size; once only.
  void createWindow(int width, int height);
  // Stops the stream and destroys the host dialog and its windows.
  void destroyWindow();
  void resize(int width, int height);

  // Null before createWindow.
  CImgDlg* videoWindow();
  StreamPlayer* player();
  bool started() const { return started_; }

  int32_t Start(const std::string& url) override;
  int32_t Stop() override;
  int32_t Play(const std::string& url, int32_t commType) override;
  int32_t Mic(bool state) override;
  int32_t Mute(bool state) override;
  int32_t JpegCapture(const std::string& path, const std::string& filename) override;
  int32_t FullScreen() override;
  int32_t FishEyeCalibrate() override;
  int32_t SendHttpRequest(const std::string& url, const std::string& ip, const std::string& user,
                          const std::string& pass, int32_t timeoutInMilliSec) override;
  int32_t GetHttpReqStatus() override;
  int32_t GetHTTPResponse(std::string& rtn) override;
  int32_t Record(bool state, const std::string& path, const std::string& filename) override;
  std::string GetAttrStr(const std::string& key) override;
  int32_t GetMulticast() override { return multicast_; }
  void SetMulticast(int32_t value) override { multicast_ = value; }
  int32_t GetSync() override { return kFixedFormatValue; }
  void SetSync(int32_t) override {}
  int32_t GetVideoFormat() override { return GetProtocol(); }
  void SetVideoFormat(int32_t) override {}
  int32_t GetAudioFormat() override { return kFixedFormatValue; }
  void SetAudioFormat(int32_t) override {}
  int32_t GetRecodingSize() override { return kFixedFormatValue; }
  void SetRecodingSize(int32_t) override {}
  int32_t GetProtocol() override;
  void SetProtocol(int32_t value) override;
  int32_t SetAttrStr(const std::string& key, const std::string& value) override;
  int32_t SetAttrInt(const std::string& key, int32_t value) override;
  void AddClientMask(const std::string& name, int32_t x, int32_t y, int32_t width,
                     int32_t height) override;
  int32_t RemoveClientMask(const std::string& name) override;
  void SetClientMaskColor(int32_t red, int32_t green, int32_t blue, double alpha) override;
  void AddMotionByName(const std::string& name, int32_t left, int32_t top, int32_t right,
                       int32_t bottom) override;
  void RemoveMotionByName(const std::string& name) override;
  int32_t GetMotionPointByName(const std::string& name, int32_t index) override;
  void AddRoi(const std::string& name, int32_t x, int32_t y, int32_t width, int32_t height,
              int32_t aspectX, int32_t aspectY, int32_t minWidth, int32_t minHeight) override;
  void RemoveRoi(const std::string& name) override;
  int32_t GetRoiPoint(const std::string& name, int32_t index) override;
  int32_t AddMotion(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  int32_t RemoveMotion() override;
  int32_t GetMotionPoint(int32_t index1, int32_t index2) override;
  void AdjustMotion() override;
  void ShowMotionState() override;
  void CloseMotionState() override;
  void StartMotion(const std::string& url) override;
  void AddMask(const std::string& name, int32_t x, int32_t y, int32_t width,
               int32_t height) override;
  void RemoveMask(const std::string& name) override;
  int32_t GetMaskPoint(const std::string& name, int32_t index) override;
  std::string SelectFolder() override;
  void SetDeinterlace(bool enable) override;

 private:
  // What Sync, AudioFormat and RecodingSize read, whatever was written.
  static constexpr int32_t kFixedFormatValue = 11;

  // Stream start, stop and the model switch, on a dialog that exists.
  void startPlayer();
  void stopPlayer();
  void applyTalkState();
  void tellPtzStream();

  ControlHost host_;
  std::unique_ptr<CVexaActiveXDlg> dialog_;
  int32_t multicast_ = 0;
  bool started_ = false;
  bool talkState_ = false;
};

}  // namespace vexa
