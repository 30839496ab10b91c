#pragma once

// A control that writes down each member call as text, "Play(rtsp://x,12)", and answers what the
// test sets.

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "control/DVexaActiveX.h"

namespace vexa::test {

class RecordingControl final : public DVexaActiveX {
 public:
  std::vector<std::string> calls;
  int32_t number = 0;  // every member's number result and every property read
  std::string text;    // GetAttrStr, SelectFolder
  std::string rtn;     // GetHTTPResponse's out-string

  int32_t Start(const std::string& url) override { return answer("Start", url); }
  int32_t Stop() override { return answer("Stop"); }
  int32_t Play(const std::string& url, int32_t commType) override {
    return answer("Play", url, commType);
  }
  int32_t Mic(bool state) override { return answer("Mic", state); }
  int32_t Mute(bool state) override { return answer("Mute", state); }
  int32_t JpegCapture(const std::string& path, const std::string& filename) override {
    return answer("JpegCapture", path, filename);
  }
  int32_t FullScreen() override { return answer("FullScreen"); }
  int32_t FishEyeCalibrate() override { return answer("FishEyeCalibrate"); }
  int32_t SendHttpRequest(const std::string& url, const std::string& ip, const std::string& user,
                          const std::string& pass, int32_t timeoutInMilliSec) override {
    return answer("SendHttpRequest", url, ip, user, pass, timeoutInMilliSec);
  }
  int32_t GetHttpReqStatus() override { return answer("GetHttpReqStatus"); }
  int32_t GetHTTPResponse(std::string& out) override {
    out = rtn;
    return answer("GetHTTPResponse");
  }
  int32_t Record(bool state, const std::string& path, const std::string& filename) override {
    return answer("Record", state, path, filename);
  }
  std::string GetAttrStr(const std::string& key) override {
    record("GetAttrStr", key);
    return text;
  }
  int32_t GetMulticast() override { return answer("GetMulticast"); }
  void SetMulticast(int32_t value) override { record("SetMulticast", value); }
  int32_t GetSync() override { return answer("GetSync"); }
  void SetSync(int32_t value) override { record("SetSync", value); }
  int32_t GetVideoFormat() override { return answer("GetVideoFormat"); }
  void SetVideoFormat(int32_t value) override { record("SetVideoFormat", value); }
  int32_t GetAudioFormat() override { return answer("GetAudioFormat"); }
  void SetAudioFormat(int32_t value) override { record("SetAudioFormat", value); }
  int32_t GetRecodingSize() override { return answer("GetRecodingSize"); }
  void SetRecodingSize(int32_t value) override { record("SetRecodingSize", value); }
  int32_t GetProtocol() override { return answer("GetProtocol"); }
  void SetProtocol(int32_t value) override { record("SetProtocol", value); }
  int32_t SetAttrStr(const std::string& key, const std::string& value) override {
    return answer("SetAttrStr", key, value);
  }
  int32_t SetAttrInt(const std::string& key, int32_t value) override {
    return answer("SetAttrInt", key, value);
  }
  void AddClientMask(const std::string& name, int32_t x, int32_t y, int32_t width,
                     int32_t height) override {
    record("AddClientMask", name, x, y, width, height);
  }
  int32_t RemoveClientMask(const std::string& name) override {
    return answer("RemoveClientMask", name);
  }
  void SetClientMaskColor(int32_t red, int32_t green, int32_t blue, double alpha) override {
    record("SetClientMaskColor", red, green, blue, alpha);
  }
  void AddMotionByName(const std::string& name, int32_t left, int32_t top, int32_t right,
                       int32_t bottom) override {
    record("AddMotionByName", name, left, top, right, bottom);
  }
  void RemoveMotionByName(const std::string& name) override { record("RemoveMotionByName", name); }
  int32_t GetMotionPointByName(const std::string& name, int32_t index) override {
    return answer("GetMotionPointByName", name, index);
  }
  void AddRoi(const std::string& name, int32_t x, int32_t y, int32_t width, int32_t height,
              int32_t aspectX, int32_t aspectY, int32_t minWidth, int32_t minHeight) override {
    record("AddRoi", name, x, y, width, height, aspectX, aspectY, minWidth, minHeight);
  }
  void RemoveRoi(const std::string& name) override { record("RemoveRoi", name); }
  int32_t GetRoiPoint(const std::string& name, int32_t index) override {
    return answer("GetRoiPoint", name, index);
  }
  int32_t AddMotion(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    return answer("AddMotion", left, top, right, bottom);
  }
  int32_t RemoveMotion() override { return answer("RemoveMotion"); }
  int32_t GetMotionPoint(int32_t index1, int32_t index2) override {
    return answer("GetMotionPoint", index1, index2);
  }
  void AdjustMotion() override { record("AdjustMotion"); }
  void ShowMotionState() override { record("ShowMotionState"); }
  void CloseMotionState() override { record("CloseMotionState"); }
  void StartMotion(const std::string& url) override { record("StartMotion", url); }
  void AddMask(const std::string& name, int32_t x, int32_t y, int32_t width,
               int32_t height) override {
    record("AddMask", name, x, y, width, height);
  }
  void RemoveMask(const std::string& name) override { record("RemoveMask", name); }
  int32_t GetMaskPoint(const std::string& name, int32_t index) override {
    return answer("GetMaskPoint", name, index);
  }
  std::string SelectFolder() override {
    record("SelectFolder");
    return text;
  }
  void SetDeinterlace(bool enable) override { record("SetDeinterlace", enable); }

 private:
  template <typename... Args>
  void record(const char* name, const Args&... args) {
    std::ostringstream call;
    call << std::boolalpha << name << '(';
    const char* separator = "";
    ((call << separator << args, separator = ","), ...);
    call << ')';
    calls.push_back(call.str());
  }

  template <typename... Args>
  int32_t answer(const char* name, const Args&... args) {
    record(name, args...);
    return number;
  }
};

}  // namespace vexa::test
