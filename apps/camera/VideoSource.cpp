#include "camera/VideoSource.h"

#include "camera/H264Packetizer.h"
#include "camera/Mpeg4Packetizer.h"
#include "camera/RtpJpegPacketizer.h"
#include "common/DebugTrace.h"

namespace vexa::camera {
namespace {

void renderPicture(const VideoSourceSettings& settings, uint32_t pictureIndex,
                   PictureGenerator& generator, BgrPicture& out) {
  std::optional<ViewRect> view;
  if (settings.ptz) view = settings.ptz->cropFor(settings.width, settings.height);
  generator.renderShown(pictureIndex, view, out);
}

class H264Source final : public VideoSource {
 public:
  explicit H264Source(const VideoSourceSettings& settings)
      : settings_(settings),
        generator_(settings.width, settings.height, settings.fisheye),
        dump_(settings.dump) {}

  bool open() {
    return encoder_.open(
        {settings_.width, settings_.height, settings_.fps, settings_.keyFrameInterval});
  }

  std::vector<std::vector<uint8_t>> payloadsOf(uint32_t pictureIndex) override {
    renderPicture(settings_, pictureIndex, generator_, scratch_);
    std::vector<NalUnit> encoded = encoder_.encode(toYuv420(scratch_));
    if (encoded.empty()) {
      DebugTrace("H264Source: picture %u did not encode\n", pictureIndex);
      return {};
    }
    const std::vector<NalUnit> accessUnit =
        arrangeAccessUnit(std::move(encoded), settings_.h264Layout);
    auto payloads =
        packetizeH264(accessUnit, settings_.maxPayloadSize, settings_.aggregateParameterSets);
    if (!payloads.empty()) dump_.write(toAnnexB(accessUnit));
    return payloads;
  }

 private:
  const VideoSourceSettings settings_;
  PictureGenerator generator_;
  H264Encoder encoder_;
  BgrPicture scratch_;
  VideoDump::Writer dump_;
};

class JpegSource final : public VideoSource {
 public:
  explicit JpegSource(const VideoSourceSettings& settings)
      : settings_(settings),
        generator_(settings.width, settings.height, settings.fisheye),
        dump_(settings.dump) {}

  bool open() {
    return encoder_.open(settings_.width, settings_.height, settings_.jpegQuality,
                         JpegEncoder::HuffmanTables::Standard);
  }

  std::vector<std::vector<uint8_t>> payloadsOf(uint32_t pictureIndex) override {
    renderPicture(settings_, pictureIndex, generator_, scratch_);
    const std::vector<uint8_t> jpeg = encoder_.encode(toYuv420(scratch_));
    const auto picture = parseJpegForRtp(jpeg);
    if (!picture) {
      DebugTrace("JpegSource: picture %u has no RTP/JPEG form\n", pictureIndex);
      return {};
    }
    auto payloads = packetizeJpeg(*picture, settings_.maxPayloadSize);
    if (!payloads.empty()) dump_.write(jpeg);
    return payloads;
  }

 private:
  const VideoSourceSettings settings_;
  PictureGenerator generator_;
  JpegEncoder encoder_;
  BgrPicture scratch_;
  VideoDump::Writer dump_;
};

class Mpeg4Source final : public VideoSource {
 public:
  explicit Mpeg4Source(const VideoSourceSettings& settings)
      : settings_(settings),
        generator_(settings.width, settings.height, settings.fisheye),
        dump_(settings.dump) {}

  bool open() {
    return encoder_.open(
        {settings_.width, settings_.height, settings_.fps, settings_.keyFrameInterval});
  }

  std::vector<std::vector<uint8_t>> payloadsOf(uint32_t pictureIndex) override {
    renderPicture(settings_, pictureIndex, generator_, scratch_);
    const std::vector<uint8_t> picture = mpeg4PictureAsSent(
        encoder_.encode(toYuv420(scratch_)), encoder_.configuration(), settings_.mpeg4ConfigInBand);
    auto payloads = packetizeMpeg4(picture, settings_.maxPayloadSize);
    if (payloads.empty()) {
      DebugTrace("Mpeg4Source: picture %u did not encode\n", pictureIndex);
      return {};
    }
    dumpPicture(picture);
    return payloads;
  }

 private:
  // A decoder reading the dump needs the configuration first, in band or not.
  void dumpPicture(const std::vector<uint8_t>& picture) {
    if (dumpStarted_) {
      dump_.write(picture);
      return;
    }
    std::vector<uint8_t> first;
    if (!settings_.mpeg4ConfigInBand) first = encoder_.configuration();
    first.insert(first.end(), picture.begin(), picture.end());
    dumpStarted_ = dump_.write(first);
  }

  const VideoSourceSettings settings_;
  PictureGenerator generator_;
  Mpeg4Encoder encoder_;
  BgrPicture scratch_;
  VideoDump::Writer dump_;
  bool dumpStarted_ = false;
};

template <typename Source>
std::unique_ptr<VideoSource> opened(const VideoSourceSettings& settings) {
  auto source = std::make_unique<Source>(settings);
  if (!source->open()) return nullptr;
  return source;
}

}  // namespace

std::unique_ptr<VideoSource> makeVideoSource(const VideoSourceSettings& settings) {
  if (settings.codec == VideoCodec::H264) return opened<H264Source>(settings);
  if (settings.codec == VideoCodec::Mpeg4) return opened<Mpeg4Source>(settings);
  return opened<JpegSource>(settings);
}

}  // namespace vexa::camera
