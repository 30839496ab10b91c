#include "display/DlgInfo.h"

#include <gtest/gtest.h>

#include "display/Canvas.h"

// Fontconfig keeps its configuration for the life of the process; LeakSanitizer would call that a
// leak of every program that draws text.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace vexa {
namespace {

TEST(DlgInfo, UrlNamesHttpWithItsPortAndRtspWithoutTheDefaultPort) {
  DlgInfo info;
  const struct {
    const char* host;
    uint32_t model, port;
    const char* url;
  } cases[] = {{"192.168.1.20", 2, 8008, "\"http://192.168.1.20:8008/\""},
               {"cam.local", 12, 554, "\"rtsp://cam.local/\""},
               {"cam.local", 12, 8554, "\"rtsp://cam.local:8554/\""},
               {"other", 11, 554, "\"rtsp://cam.local:8554/\""},  // no handler: the text stays
               {"host", 0, 554, "\"rtsp://host/\""}};
  for (const auto& c : cases) {
    info.SetUrl(c.host, c.model, c.port);
    EXPECT_EQ(info.url(), c.url) << c.host << " " << c.model;
  }
}

TEST(DlgInfo, ConnectionTextsByModel) {
  DlgInfo info;
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "UDP (UNICAST)"},        {15, "UDP (UNICAST)"},        {4, "TCP (RTSP_JPEG)"},
      {5, "TCP (RTSP_MPEG)"},      {7, "UDP (MULTICAST)"},       {18, "UDP (MULTICAST)"},
      {9, "TCP (RTSP_OVER_HTTP)"}, {19, "TCP (RTSP_OVER_HTTP)"}, {17, "TCP (RTSP_H264)"},
      {16, "TCP (RTSP_H264)"}};
  for (const auto& [model, text] : cases) {
    info.SetConnection(model);
    EXPECT_EQ(info.connection(), text) << model;
  }
}

TEST(DlgInfo, FormatIsVideoPartThenAudioPart) {
  DlgInfo info;
  // clang-format off
  const struct {
    uint32_t model;
    int32_t audioCodec;
    const char* text;
  } cases[] = {{10, 1, "H.264/90000 PCMU/8000/1"}, {6, 5, "JPEG/90000 G726-40/8000/1"},
               {1, 7, "MP4V-ES/90000 "}, {3, 2, "G726-16/8000/1"}, {2, 4, "JPEG"}};
  // clang-format on
  for (const auto& c : cases) {
    info.SetFormat(c.model, c.audioCodec);
    EXPECT_EQ(info.format(), c.text) << c.model << "/" << c.audioCodec;
  }
}

TEST(DlgInfo, RefreshWritesRatesSizesAndCountersAndTheStatsLineJoinsThem) {
  DlgInfo info;
  info.Refresh(100);
  EXPECT_EQ(info.statsLine(),
            "Url:  | Connection:  | Network / Display:  1 / 0 fps | Video size:  | Format:  | "
            "Video bitrate: 0 | Video drop: 0 | Audio bitrate: 0 | Audio drop: 0 | V1.16.2");
  info.SetVideoSize(640, 480);
  info.SetVideoDrop(3);
  info.SetAudioBitrate(64);
  info.Refresh(25 * 100 + 24);
  EXPECT_EQ(info.statsLine(),
            "Url:  | Connection:  | Network / Display:  25 / 24 fps | Video size: 640 x 480 | "
            "Format:  | Video bitrate: 0 | Video drop: 3 | Audio bitrate: 64 k | Audio drop: 0 | "
            "V1.16.2");
}

TEST(DlgInfo, PaintsItsTextsOnTheWindowColour) {
  DlgInfo info;
  info.Refresh(2524);
  Canvas canvas(DlgInfo::kPixelWidth, DlgInfo::kPixelHeight);
  info.paint(canvas);
  EXPECT_EQ(canvas.pixel(DlgInfo::kPixelWidth - 1, DlgInfo::kPixelHeight - 1), 0xF0F0F0u);
  // Some dark text pixels in the frame-rate line (y from 48 to 61).
  int dark = 0;
  for (int y = 48; y < 62; ++y) {
    for (int x = 18; x < 200; ++x) dark += canvas.pixel(x, y) < 0x808080 ? 1 : 0;
  }
  EXPECT_GT(dark, 20);
}

}  // namespace
}  // namespace vexa
