#pragma once

#include <cstdint>

namespace vexa {

// The stream model: transport and video codec together.
enum IPCAMERA_VIDEO_MODEL : uint32_t {
  IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG = 0,
  IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4 = 1,
  IPCAMERA_VIDEO_MODEL_HTTP_MJPEG = 2,
  IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_JPEG = 4,
  IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_MPEG4 = 5,
  IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG = 6,
  IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4 = 7,
  IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_JPEG = 8,
  IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_MPEG4 = 9,
  IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264 = 10,
  IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264 = 12,
  IPCAMERA_VIDEO_MODEL_MULTICAST_H264 = 13,
  IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_H264 = 14,
  IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264_2 = 15,
  IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264_2 = 17,
  IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2 = 18,
  IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_H264_2 = 19,
};

constexpr uint32_t kDefaultVideoModel = IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4;
constexpr uint32_t kVideoModelCount = 20;

constexpr bool modelBit(uint32_t model, uint32_t mask) {
  return model < 32 && ((mask >> model) & 1u) != 0;
}

// 10, 12, 13, 14, 15, 17, 18, 19.
constexpr bool isH264Model(uint32_t model) { return modelBit(model, 0xEF400); }
// 1, 3, 5, 7, 9.
constexpr bool isMpeg4Model(uint32_t model) { return modelBit(model, 0x2AA); }
// 0, 2, 4, 6, 8.
constexpr bool isJpegModel(uint32_t model) { return modelBit(model, 0x155); }
// RTSP on TCP with RTP on UDP: 0, 1, 10, 15.
constexpr bool isUdpGroupModel(uint32_t model) { return modelBit(model, 0x8403); }

}  // namespace vexa
