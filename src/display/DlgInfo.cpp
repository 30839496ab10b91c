#include "display/DlgInfo.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "common/UrlParts.h"
#include "display/Canvas.h"

namespace vexa {
namespace {

struct ControlTemplate {
  int id;
  const char* text;
  int x, y;  // dialog units
};

constexpr ControlTemplate kTemplate[] = {
    {DlgInfo::kCloseButton, "CLOSE", 150, 7},
    {DlgInfo::kCancelButton, "Cancel", 150, 24},
    {DlgInfo::kUrl, "Url: ", 12, 6},
    {DlgInfo::kConnection, "Connection:", 12, 18},
    {DlgInfo::kFrameRate, "Frame rate:", 12, 30},
    {DlgInfo::kVideoSize, "Video size:", 12, 42},
    {DlgInfo::kFormat, "Video format:", 12, 54},
    {DlgInfo::kVideoBitrate, "Video bitrate:", 12, 66},
    {DlgInfo::kVideoDrop, "Video drop:", 12, 78},
    {DlgInfo::kAudioBitrate, "Audio bitrate:", 12, 90},
    {DlgInfo::kAudioDrop, "Audio drop:", 12, 102},
    {DlgInfo::kVersion, "V1.03", 159, 107},
};

constexpr const char* kAudioFormats[] = {"PCMA/8000/1",    "PCMU/8000/1",    "G726-16/8000/1",
                                         "G726-24/8000/1", "G726-32/8000/1", "G726-40/8000/1"};

constexpr uint32_t kModelHttpMjpeg = 2;
constexpr uint32_t kDefaultRtspPort = 554;

// Dialog units of "MS Shell Dlg" 8 point to pixels.
constexpr double kPixelsPerUnitX = 1.5;
constexpr double kPixelsPerUnitY = 1.625;
constexpr uint32_t kWindowColour = 0xF0F0F0;
constexpr uint32_t kLabelColour = 0x000000;

struct ModelText {
  uint32_t model;
  const char* text;
};

constexpr ModelText kConnections[] = {
    {0, "UDP (UNICAST)"},        {1, "UDP (UNICAST)"},         {10, "UDP (UNICAST)"},
    {15, "UDP (UNICAST)"},       {2, "TCP (HTTP_JPEG)"},       {4, "TCP (RTSP_JPEG)"},
    {5, "TCP (RTSP_MPEG)"},      {6, "UDP (MULTICAST)"},       {7, "UDP (MULTICAST)"},
    {13, "UDP (MULTICAST)"},     {18, "UDP (MULTICAST)"},      {8, "TCP (RTSP_OVER_HTTP)"},
    {9, "TCP (RTSP_OVER_HTTP)"}, {14, "TCP (RTSP_OVER_HTTP)"}, {19, "TCP (RTSP_OVER_HTTP)"},
    {12, "TCP (RTSP_H264)"},     {17, "TCP (RTSP_H264)"},
};

constexpr ModelText kVideoFormats[] = {
    {0, "JPEG/90000 "},    {4, "JPEG/90000 "},    {6, "JPEG/90000 "},    {8, "JPEG/90000 "},
    {1, "MP4V-ES/90000 "}, {5, "MP4V-ES/90000 "}, {7, "MP4V-ES/90000 "}, {9, "MP4V-ES/90000 "},
    {10, "H.264/90000 "},  {12, "H.264/90000 "},  {13, "H.264/90000 "},  {14, "H.264/90000 "},
    {15, "H.264/90000 "},  {17, "H.264/90000 "},  {18, "H.264/90000 "},  {19, "H.264/90000 "},
};

// The models whose url is an RTSP one.
constexpr uint32_t kRtspUrlModels[] = {0, 1, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15, 17, 18, 19};

template <size_t N>
const char* textForModel(const ModelText (&table)[N], uint32_t model) {
  for (const auto& entry : table) {
    if (entry.model == model) return entry.text;
  }
  return nullptr;
}

bool isRtspUrlModel(uint32_t model) {
  return std::find(std::begin(kRtspUrlModels), std::end(kRtspUrlModels), model) !=
         std::end(kRtspUrlModels);
}

std::string numberWithUnit(int32_t value) {
  std::string text = std::to_string(value);
  if (value != 0) text += " k";
  return text;
}

}  // namespace

DlgInfo::DlgInfo() {
  for (const auto& control : kTemplate) controls_[control.id] = control.text;
}

void DlgInfo::SetConnection(uint32_t model) {
  if (const char* text = textForModel(kConnections, model)) connection_ = text;
}

void DlgInfo::SetFormat(uint32_t model, int32_t audioCodec) {
  const char* video = textForModel(kVideoFormats, model);
  format_ = video != nullptr ? video : "";
  if (audioCodec >= 0 && audioCodec < int32_t(std::size(kAudioFormats))) {
    format_ += kAudioFormats[audioCodec];
  }
  if (model == kModelHttpMjpeg) format_ = "JPEG";
}

void DlgInfo::SetUrl(const std::string& host, uint32_t model, uint32_t port) {
  char portText[16];
  std::snprintf(portText, sizeof portText, ":%u/", port);
  if (model == kModelHttpMjpeg) {
    url_ = "\"http://" + urlHost(host) + portText + "\"";
  } else if (isRtspUrlModel(model)) {
    url_ = "\"rtsp://" + urlHost(host) + (port == kDefaultRtspPort ? std::string("/") : portText) +
           "\"";
  }
}

void DlgInfo::SetVideoSize(int32_t width, int32_t height) {
  videoSize_ = std::to_string(width) + " x " + std::to_string(height);
}

void DlgInfo::Refresh(uint32_t rates) {
  controls_[kUrl] = "Url: " + url_;
  controls_[kConnection] =
      "Connection: " + connection_ + (failure_.empty() ? std::string() : " (" + failure_ + ")");
  controls_[kFrameRate] = "Network / Display:  " + std::to_string(rates / 100) + " / " +
                          std::to_string(rates % 100) + " fps";
  controls_[kVideoSize] = "Video size: " + videoSize_;
  controls_[kFormat] = "Format: " + format_;
  controls_[kVideoBitrate] = "Video bitrate: " + numberWithUnit(videoBitrate_);
  controls_[kVideoDrop] = "Video drop: " + std::to_string(videoDrop_);
  controls_[kAudioBitrate] = "Audio bitrate: " + numberWithUnit(audioBitrate_);
  controls_[kAudioDrop] = "Audio drop: " + std::to_string(audioDrop_);
  controls_[kVersion] = std::string("V") + "1" + "." + "16.2";
}

std::string DlgInfo::controlText(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? std::string() : it->second;
}

std::string DlgInfo::statsLine() const {
  std::string line;
  for (int id = kFirstStatic; id <= kLastStatic; ++id) {
    if (id != kFirstStatic) line += " | ";
    line += controlText(id);
  }
  return line;
}

void DlgInfo::paint(Canvas& canvas) const {
  canvas.fillRect({0, 0, kPixelWidth, kPixelHeight}, kWindowColour);
  for (const auto& control : kTemplate) {
    if (control.id == kCancelButton) continue;  // hidden
    canvas.drawText(int(control.x * kPixelsPerUnitX), int(control.y * kPixelsPerUnitY),
                    controlText(control.id), kLabelColour);
  }
}

}  // namespace vexa
