#include "protocol/rtsp/SessionDescription.h"

#include <limits>
#include <utility>

#include "common/TextFields.h"
#include "protocol/rtsp/RtspHeaders.h"

namespace vexa {

namespace {

constexpr size_t kNotFound = std::string_view::npos;

constexpr std::string_view kMediaKey = "m=";
constexpr std::string_view kVideoMedia = "m=video";
constexpr std::string_view kAudioMedia = "m=audio";
constexpr std::string_view kControl = "a=control";
constexpr std::string_view kClipRect = "a=cliprect";
constexpr std::string_view kFrameRate = "a=framerate";
constexpr std::string_view kSprop = "sprop-parameter-sets=";
constexpr std::string_view kMpeg4Config = "config=";
constexpr std::string_view kPcma = "PCMA";
constexpr std::string_view kPcmu = "PCMU";
constexpr std::string_view kG726 = "G726";
constexpr std::string_view kContentBase = "Content-Base";
constexpr std::string_view kRtspScheme = "rtsp://";

constexpr char kAttributeStart = ':';
constexpr char kParameterStart = '=';
constexpr char kLineEnd = '\r';
constexpr char kLineFeed = '\n';
// "a=framerate:30.0" is read up to its '.'; "G726-32/8000" between '-' and '/'; the port of
// "m=audio 5000 RTP/AVP 0" between the first two blanks.
constexpr char kFractionStart = '.';
constexpr char kRateStart = '-';
constexpr char kRateEnd = '/';
constexpr char kFieldBlank = ' ';

// Descriptions carry two or three media sections. The cap keeps an answer made of thousands of
// "m=video" lines from costing quadratic time: every section searches all the text after it.
constexpr int kMaxMediaSections = 32;

constexpr long long kG726Rate16 = 16;
constexpr long long kG726Rate24 = 24;
constexpr long long kG726Rate32 = 32;
constexpr long long kG726Rate40 = 40;

bool contains(std::string_view text, std::string_view key) {
  return text.find(key) != kNotFound;
}

// The text from the end of the media line that starts at the first occurrence of mediaKey.
std::string_view afterMediaLine(std::string_view text, std::string_view mediaKey) {
  text.remove_prefix(text.find(mediaKey));
  const size_t lineEnd = text.find(kLineFeed);
  // A media line without a line feed runs to the end: nothing follows it. (Keeping the text as it
  // was would find the same media line again and again.)
  return lineEnd == kNotFound ? text.substr(text.size()) : text.substr(lineEnd);
}

uint32_t frameRateFrom(std::string_view text) {
  const long long rate = parseLeadingInteger(text);
  return rate >= 0 && rate <= std::numeric_limits<uint32_t>::max() ? uint32_t(rate) : 0;
}

int32_t g726CodecFromRate(long long rate) {
  switch (rate) {
    case kG726Rate16:
      return kAudioCodecG726_16;
    case kG726Rate24:
      return kAudioCodecG726_24;
    case kG726Rate32:
      return kAudioCodecG726_32;
    case kG726Rate40:
      return kAudioCodecG726_40;
    default:
      return kAudioCodecUnknownG726;
  }
}

// One reading of one answer. Each search covers all of the remaining text, not just the current
// section: an attribute a section lacks is taken from a later one, as the cameras this reading
// was made for expect.
class DescriptionReading {
 public:
  DescriptionReading(StreamConfig& config, const DescriptionOptions& options)
      : config_(config), options_(options) {}

  SessionDescription read(std::string_view answer) {
    const bool socketReader = options_.reader == DescriptionReader::kIPCameraSocket;
    if (socketReader || options_.codec == DescribedVideoCodec::kH264) {
      result_.contentBase = readContentBase(answer);
    }
    if (socketReader) readCodecValue(answer);
    readMediaSections(answer);
    return std::move(result_);
  }

 private:
  bool interleaved() const { return options_.reader == DescriptionReader::kInterleaved; }

  void readMediaSections(std::string_view text) {
    for (int section = 0; section < kMaxMediaSections && contains(text, kMediaKey); ++section) {
      // Video is looked for first in all the text, so an audio section ahead of the video
      // section is passed over.
      if (contains(text, kVideoMedia)) {
        text = afterMediaLine(text, kVideoMedia);
        readVideoSection(text);
      } else if (contains(text, kAudioMedia)) {
        text.remove_prefix(text.find(kAudioMedia));
        readAudioPort(text);
        text = afterMediaLine(text, kAudioMedia);
        readAudioSection(text);
      } else {
        // Only other media types remain; none of them is read.
        break;
      }
    }
  }

  void readVideoSection(std::string_view text) {
    if (interleaved()) readCodecValue(text);
    if (contains(text, kControl)) {
      result_.videoControl = extractField(text, kControl, kAttributeStart, kLineEnd);
    }
    if (contains(text, kClipRect)) {
      const std::string value = extractField(text, kClipRect, kAttributeStart, kLineEnd);
      if (const std::optional<PictureSize> size = parseClipRect(value)) {
        config_.width = size->width;
        config_.height = size->height;
      }
    }
    if (contains(text, kFrameRate)) {
      // Only the integer part counts; a rate written without a '.' reads as 0.
      config_.frameRate =
          frameRateFrom(extractField(text, kFrameRate, kAttributeStart, kFractionStart));
    }
    config_.hasVideo = 1;
  }

  // The codec-specific fmtp value: the configuration of MPEG-4 (RFC 3016), the parameter sets of
  // H.264 (RFC 6184); JPEG has none.
  void readCodecValue(std::string_view text) {
    switch (options_.codec) {
      case DescribedVideoCodec::kMpeg4:
        if (contains(text, kMpeg4Config)) {
          result_.codecConfigText = extractField(text, kMpeg4Config, kParameterStart, kLineEnd);
          convertMpeg4Config(*result_.codecConfigText, config_, options_.mpeg4SizeReader);
        }
        break;
      case DescribedVideoCodec::kH264:
        if (contains(text, kSprop)) {
          result_.codecConfigText = extractField(text, kSprop, kParameterStart, kLineEnd);
          decodeSpropParameterSets(*result_.codecConfigText, config_);
        }
        break;
      case DescribedVideoCodec::kJpeg:
        break;
    }
  }

  // IPCameraSocket only: the port talk audio is sent to. text begins at the "m=audio" line.
  void readAudioPort(std::string_view text) {
    if (interleaved()) return;
    const std::string port = extractField(text, kAudioMedia, kFieldBlank, kFieldBlank);
    const long long value = parseLeadingInteger(port);
    if (!port.empty() && value >= 0 && value <= std::numeric_limits<uint16_t>::max()) {
      config_.audioMediaPort = uint16_t(value);
    }
  }

  // The codec names are tested in this order, so when several occur the last one tested wins.
  void readAudioSection(std::string_view text) {
    if (contains(text, kControl)) {
      result_.audioControl = extractField(text, kControl, kAttributeStart, kLineEnd);
    }
    if (contains(text, kPcma)) setAudioCodec(kAudioCodecPcma, kAudioIndexPcma);
    if (contains(text, kPcmu)) setAudioCodec(kAudioCodecPcmu, kAudioIndexPcmu);
    if (contains(text, kG726)) {
      const int32_t codec =
          g726CodecFromRate(parseLeadingInteger(extractField(text, kG726, kRateStart, kRateEnd)));
      if (codec == kAudioCodecUnknownG726) {
        // A rate the jitter buffer cannot play leaves its index as it was.
        config_.audioCodec = codec;
      } else {
        setAudioCodec(codec, uint8_t(codec));
      }
    }
    config_.hasAudio = 1;
  }

  void setAudioCodec(int32_t codec, uint8_t jitterIndex) {
    config_.audioCodec = codec;
    // IPCameraSocket's audio receiver derives its index from audioCodec itself.
    if (interleaved()) result_.audioCodecIndex = jitterIndex;
  }

  StreamConfig& config_;
  const DescriptionOptions& options_;
  SessionDescription result_;
};

}  // namespace

SessionDescription readSessionDescription(std::string_view answer, StreamConfig& config,
                                          const DescriptionOptions& options) {
  return DescriptionReading(config, options).read(answer);
}

std::string readContentBase(std::string_view answer) {
  return std::string(trimBlanks(headerValue(answer, kContentBase)));
}

bool isAbsoluteRtspUrl(std::string_view url) {
  return findText(url.substr(0, kRtspScheme.size()), kRtspScheme, 0, KeyMatch::IgnoreCase) == 0;
}

std::string composeControlUrl(std::string_view base, std::string_view control) {
  const std::string_view trimmed = trimBlanks(control);
  if (isAbsoluteRtspUrl(trimmed)) return std::string(trimmed);
  std::string url(base);
  url += control;
  return url;
}

}  // namespace vexa
