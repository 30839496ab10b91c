#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vexa {

class Canvas;

// The statistics window: what the control receives, as the texts of its static controls.
class DlgInfo {
 public:
  // Control ids of the window.
  static constexpr int kCloseButton = 1;
  static constexpr int kCancelButton = 2;
  static constexpr int kUrl = 202;
  static constexpr int kConnection = 203;
  static constexpr int kFrameRate = 204;
  static constexpr int kVideoSize = 205;
  static constexpr int kFormat = 206;
  static constexpr int kVideoBitrate = 207;
  static constexpr int kVideoDrop = 208;
  static constexpr int kAudioBitrate = 209;
  static constexpr int kAudioDrop = 210;
  static constexpr int kVersion = 211;
  static constexpr int kFirstStatic = kUrl;
  static constexpr int kLastStatic = kVersion;

  // The window's size in pixels when painted.
  static constexpr int kPixelWidth = 290;
  static constexpr int kPixelHeight = 198;

  DlgInfo();
  virtual ~DlgInfo() = default;

  void SetConnection(uint32_t model);
  // Why the stream does not play, shown after the connection; empty while it plays.
  void SetFailure(const std::string& cause) { failure_ = cause; }
  void SetFormat(uint32_t model, int32_t audioCodec);
  void SetUrl(const std::string& host, uint32_t model, uint32_t port);
  void SetVideoSize(int32_t width, int32_t height);
  void SetVideoBitrate(int32_t kbits) { videoBitrate_ = kbits; }
  void SetVideoDrop(int32_t drop) { videoDrop_ = drop; }
  void SetAudioBitrate(int32_t kbits) { audioBitrate_ = kbits; }
  void SetAudioDrop(int32_t drop) { audioDrop_ = drop; }
  // Writes the stored figures into the controls; rates is network fps x 100 + display fps.
  void Refresh(uint32_t rates);

  // The text a control shows now; empty for an unknown id.
  std::string controlText(int id) const;
  // Texts 202..211 joined by " | ", for a one-line report.
  std::string statsLine() const;

  void show() { shown_ = true; }
  // The "CLOSE" button.
  void hide() { shown_ = false; }
  bool isShown() const { return shown_; }
  void setTopMost(bool topMost) { topMost_ = topMost; }
  bool isTopMost() const { return topMost_; }

  // Draws the window (kPixelWidth x kPixelHeight) with its texts at the canvas origin.
  void paint(Canvas& canvas) const;

  // The stored texts, for the window's owner and tests.
  const std::string& url() const { return url_; }
  const std::string& connection() const { return connection_; }
  const std::string& format() const { return format_; }
  const std::string& videoSize() const { return videoSize_; }

 private:
  std::string url_;
  std::string connection_;
  std::string failure_;
  std::string videoSize_;
  std::string format_;
  int32_t videoBitrate_ = 0;
  int32_t videoDrop_ = 0;
  int32_t audioBitrate_ = 0;
  int32_t audioDrop_ = 0;
  bool shown_ = false;
  bool topMost_ = false;
  std::map<int, std::string> controls_;
};

}  // namespace vexa
