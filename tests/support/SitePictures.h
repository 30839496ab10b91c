#pragma once

// The simulated camera's servers set up for one kind of picture, and the pictures a site takes
// from them as the video window would.

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "camera/MjpegServer.h"
#include "camera/PictureGenerator.h"
#include "camera/RtspServer.h"
#include "media/MjpegDecoder.h"
#include "session/IPCameraSite.h"
#include "support/Picture.h"

namespace vexa::test {

struct CameraPictures {
  int width = 0;
  int height = 0;
  int fps = 0;
  int quality = 90;
  std::optional<camera::FisheyeSettings> fisheye;
};

inline std::pair<camera::RtspServerOptions, camera::MjpegServerOptions> serverOptions(
    const CameraPictures& pictures) {
  std::pair<camera::RtspServerOptions, camera::MjpegServerOptions> options;
  auto& [rtsp, mjpeg] = options;
  rtsp.width = mjpeg.width = pictures.width;
  rtsp.height = mjpeg.height = pictures.height;
  rtsp.fps = mjpeg.fps = pictures.fps;
  rtsp.quality = mjpeg.quality = pictures.quality;
  rtsp.fisheye = mjpeg.fisheye = pictures.fisheye;
  return options;
}

// The newest picture of a site, decoded bottom-up; empty when none came or its size differs.
inline std::vector<uint8_t> takePicture(IPCameraSite& site, int width, int height) {
  std::vector<uint8_t> image(kDisplayPictureBytes);
  BITMAPINFOHEADER info{};
  if (!site.LockCurImage(false)) return {};
  int32_t left = -1;
  std::vector<uint8_t> jpeg;
  if (site.IsH264Model()) {
    int32_t size = int32_t(image.size());
    left = site.GetH264Frame(image.data(), &size, &info);
  } else if (site.IsMpeg4Model()) {
    int32_t size = int32_t(image.size());
    left = site.GetMpeg4Frame(image.data(), &size, &info);
  } else {
    const uint8_t* data = nullptr;
    int32_t length = 0;
    if (site.GetJpegFrame(&data, &length) && data != nullptr && length > 0) {
      jpeg.assign(data, data + length);
    }
  }
  site.UnlockCurImage();
  MjpegDecoder decoder;
  if (!jpeg.empty() && decoder.Open()) {
    left = decoder.Decode(int(jpeg.size()), jpeg.data(), image.data(), &info);
  }
  if (left < 0 || info.biWidth != width || info.biHeight != height) return {};
  image.resize(size_t(width) * size_t(height) * 3);
  return image;
}

// How close a bottom-up picture is to the closest of the camera's first frames (PSNR, dB): the
// camera's frame index runs with time, so any of them may be the one shown.
inline double psnrToClosestFrame(const std::vector<uint8_t>& bottomUp, int width, int height,
                                 uint32_t frames) {
  const camera::PictureGenerator generator(width, height);
  const std::vector<uint8_t> topDown = flipRows(bottomUp.data(), width, height);
  double best = 0;
  for (uint32_t index = 0; index < frames; ++index) {
    best = std::max(best, psnr(topDown, generator.bgrFrame(index).pixels));
  }
  return best;
}

}  // namespace vexa::test
