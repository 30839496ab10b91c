#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/VideoModel.h"

namespace vexa {

constexpr uint16_t kDefaultHttpPort = 8008;
constexpr uint16_t kDefaultRtspPort = 554;
constexpr uint16_t kFirstClientPort = 6100;
// A decoder configuration longer than this is cut; real ones hold a few dozen bytes.
constexpr size_t kMaxMpeg4ConfigBytes = 256;
constexpr size_t kParameterSetSize = 256;

enum AudioCodecId : int32_t {
  kAudioCodecUnknownG726 = -1,
  kAudioCodecPcma = 0,
  kAudioCodecPcmu = 1,
  kAudioCodecG726_16 = 2,
  kAudioCodecG726_24 = 3,
  kAudioCodecG726_32 = 4,
  kAudioCodecG726_40 = 5,
};

// What to connect to and how, plus what the session description told about the media. The control
// fills it; each site copies it whole and its handlers read and write the copy.
struct StreamConfig {
  // Eight texts not read by the stream handlers, and the optional extra RTSP request header line
  // (without its line end).
  std::array<std::string, 8> texts;
  std::string extraHeaderLine;

  uint32_t model = kDefaultVideoModel;
  uint32_t cseq = 0;
  std::string host;
  std::string path;
  std::string brand;
  uint16_t httpPort = kDefaultHttpPort;
  uint16_t rtspPort = kDefaultRtspPort;

  uint16_t videoRtpPort = kFirstClientPort;
  uint16_t videoRtcpPort = kFirstClientPort + 1;
  uint16_t audioRtpPort = 0;
  uint16_t audioRtcpPort = 0;
  uint16_t fifthPort = 0;
  uint16_t audioMediaPort = 0;

  uint32_t width = 0;
  uint32_t height = 0;
  int32_t audioCodec = kAudioCodecPcma;
  uint32_t frameRate = 0;
  std::array<uint8_t, kMaxMpeg4ConfigBytes> mpeg4Config{};  // zero after mpeg4ConfigLength bytes
  uint32_t mpeg4ConfigLength = 0;
  std::array<uint8_t, kParameterSetSize> sps{};
  std::array<uint8_t, kParameterSetSize> pps{};
  uint32_t spsLength = 0;
  uint32_t ppsLength = 0;
  uint8_t hasVideo = 0;
  uint8_t hasAudio = 0;

  uint32_t reserved = 0;
  std::string userName;
  std::string password;
};

}  // namespace vexa
