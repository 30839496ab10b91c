#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/rtsp/CodecConfigText.h"
#include "common/StreamConfig.h"

namespace vexa {

// Which handler family reads the description. They search the same way and differ in a few
// places: the interleaved and tunnelled handlers take the video codec's value from the video
// section and set their jitter buffer's codec index; IPCameraSocket takes the codec value from
// the whole answer, reads "Content-Base" for every codec and the camera's audio port.
enum class DescriptionReader { kInterleaved, kIPCameraSocket };

enum class DescribedVideoCodec { kJpeg, kMpeg4, kH264 };

struct DescriptionOptions {
  DescriptionReader reader = DescriptionReader::kInterleaved;
  DescribedVideoCodec codec = DescribedVideoCodec::kH264;
  // Picture size from an MPEG-4 configuration; an empty one leaves the size to "a=cliprect".
  Mpeg4SizeReader mpeg4SizeReader = readMpeg4PictureSize;
};

// Codec indexes of the audio jitter buffer. G.726 uses the audioCodec value (2 to 5) as index.
constexpr uint8_t kAudioIndexPcmu = 0;
constexpr uint8_t kAudioIndexPcma = 1;

// What the description tells the handler itself; the rest goes into StreamConfig (width, height,
// frameRate, audioCodec, mpeg4Config and its length, sps/pps, hasVideo, hasAudio, audioMediaPort).
struct SessionDescription {
  // "a=control" values as written: relative to the base URL, or absolute (composeControlUrl).
  std::string videoControl;
  std::string audioControl;
  // Trimmed "Content-Base" header; read by IPCameraSocket and the interleaved H.264 handlers.
  std::string contentBase;
  // The raw "sprop-parameter-sets" (H.264) or "config" (MPEG-4) value for the video assembler;
  // nullopt when the description has none.
  std::optional<std::string> codecConfigText;
  // The jitter buffer's new codec index; nullopt leaves the index as it was (IPCameraSocket, no
  // audio section, or a G.726 rate it cannot play).
  std::optional<uint8_t> audioCodecIndex;
};

// Reads the DESCRIBE answer (header and body) into config and the returned values. Keys left out
// of the description leave their outputs as they were. Never fails: a description without video
// and audio simply leaves hasVideo and hasAudio as they were.
SessionDescription readSessionDescription(std::string_view answer, StreamConfig& config,
                                          const DescriptionOptions& options);

// The "Content-Base" header of an answer, header name in any case, blanks trimmed; empty when
// absent.
std::string readContentBase(std::string_view answer);

// True for a URL that begins with "rtsp://" in any case.
bool isAbsoluteRtspUrl(std::string_view url);

// The request URL for a media control attribute: an absolute control (RFC 2326 appendix C.1.1)
// stands as it is, any other is appended to base.
std::string composeControlUrl(std::string_view base, std::string_view control);

}  // namespace vexa
