#pragma once

#include <cstdint>
#include <string>

namespace vexa {

// The control's scriptable members, in dispatch order (the first is dispatch id 1). Results:
// -1 refused or failed, 0 done, 1 nothing to do; nothing throws. Properties are get/set pairs.
class DVexaActiveX {
 public:
  virtual ~DVexaActiveX() = default;

  virtual int32_t Start(const std::string& url) = 0;
  virtual int32_t Stop() = 0;
  virtual int32_t Play(const std::string& url, int32_t commType) = 0;
  virtual int32_t Mic(bool state) = 0;
  virtual int32_t Mute(bool state) = 0;
  virtual int32_t JpegCapture(const std::string& path, const std::string& filename) = 0;
  virtual int32_t FullScreen() = 0;
  virtual int32_t FishEyeCalibrate() = 0;
  virtual int32_t SendHttpRequest(const std::string& url, const std::string& ip,
                                  const std::string& user, const std::string& pass,
                                  int32_t timeoutInMilliSec) = 0;
  virtual int32_t GetHttpReqStatus() = 0;
  virtual int32_t GetHTTPResponse(std::string& rtn) = 0;
  virtual int32_t Record(bool state, const std::string& path, const std::string& filename) = 0;
  virtual std::string GetAttrStr(const std::string& key) = 0;
  virtual int32_t GetMulticast() = 0;
  virtual void SetMulticast(int32_t value) = 0;
  virtual int32_t GetSync() = 0;
  virtual void SetSync(int32_t value) = 0;
  virtual int32_t GetVideoFormat() = 0;
  virtual void SetVideoFormat(int32_t value) = 0;
  virtual int32_t GetAudioFormat() = 0;
  virtual void SetAudioFormat(int32_t value) = 0;
  virtual int32_t GetRecodingSize() = 0;
  virtual void SetRecodingSize(int32_t value) = 0;
  virtual int32_t GetProtocol() = 0;
  virtual void SetProtocol(int32_t value) = 0;
  virtual int32_t SetAttrStr(const std::string& key, const std::string& value) = 0;
  virtual int32_t SetAttrInt(const std::string& key, int32_t value) = 0;
  virtual void AddClientMask(const std::string& name, int32_t x, int32_t y, int32_t width,
                             int32_t height) = 0;
  virtual int32_t RemoveClientMask(const std::string& name) = 0;
  virtual void SetClientMaskColor(int32_t red, int32_t green, int32_t blue, double alpha) = 0;
  virtual void AddMotionByName(const std::string& name, int32_t left, int32_t top, int32_t right,
                               int32_t bottom) = 0;
  virtual void RemoveMotionByName(const std::string& name) = 0;
  virtual int32_t GetMotionPointByName(const std::string& name, int32_t index) = 0;
  virtual void AddRoi(const std::string& name, int32_t x, int32_t y, int32_t width,
                      int32_t height, int32_t aspectX, int32_t aspectY, int32_t minWidth,
                      int32_t minHeight) = 0;
  virtual void RemoveRoi(const std::string& name) = 0;
  virtual int32_t GetRoiPoint(const std::string& name, int32_t index) = 0;
  virtual int32_t AddMotion(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual int32_t RemoveMotion() = 0;
  virtual int32_t GetMotionPoint(int32_t index1, int32_t index2) = 0;
  virtual void AdjustMotion() = 0;
  virtual void ShowMotionState() = 0;
  virtual void CloseMotionState() = 0;
  virtual void StartMotion(const std::string& url) = 0;
  virtual void AddMask(const std::string& name, int32_t x, int32_t y, int32_t width,
                       int32_t height) = 0;
  virtual void RemoveMask(const std::string& name) = 0;
  virtual int32_t GetMaskPoint(const std::string& name, int32_t index) = 0;
  virtual std::string SelectFolder() = 0;
  virtual void SetDeinterlace(bool enable) = 0;
};

}  // namespace vexa
