#include "camera/RtspStreams.h"

#include <algorithm>

#include "camera/H264Encoder.h"
#include "camera/Mpeg4Encoder.h"
#include "camera/RtpJpegPacketizer.h"
#include "camera/RtpStream.h"
#include "camera/TcpListener.h"

namespace vexa::camera {
namespace {

constexpr int kMinSide = 16;

int halfSide(int side) {
  return std::max(kMinSide, side / 2) & ~1;
}

VideoSourceSettings videoSettings(const RtspServerOptions& options, VideoCodec codec, int width,
                                  int height) {
  VideoSourceSettings video;
  video.codec = codec;
  video.width = width;
  video.height = height;
  video.fps = options.fps;
  video.jpegQuality = options.quality;
  video.keyFrameInterval = options.keyFrameInterval > 0 ? options.keyFrameInterval : options.fps;
  video.aggregateParameterSets = options.stapA;
  video.h264Layout = options.h264Layout;
  video.mpeg4ConfigInBand = options.mpeg4ConfigInBand;
  video.maxPayloadSize = options.maxRtpPacketSize - kRtpHeaderSize;
  video.dump = options.videoDump;
  video.ptz = options.ptz;
  video.fisheye = options.fisheye;
  return video;
}

VideoTrackDescription trackOf(const StreamDefinition& stream) {
  VideoTrackDescription track;
  track.codec = stream.video.codec;
  track.payloadType = stream.payloadType;
  track.width = stream.video.width;
  track.height = stream.video.height;
  track.fps = stream.video.fps;
  return track;
}

StreamDefinition h264Stream(std::string_view name, const RtspServerOptions& options, int width,
                            int height, const SessionDescriptionOrigin& origin,
                            const AudioTrackDescription& audio) {
  StreamDefinition stream{std::string(name),
                          videoSettings(options, VideoCodec::H264, width, height),
                          options.h264PayloadType,
                          {},
                          {}};
  // Every session's encoder has these settings, so its parameter sets are the ones described.
  H264Encoder probe;
  if (!probe.open({width, height, options.fps, stream.video.keyFrameInterval})) {
    stream.unavailable =
        "H.264 cannot encode " + std::to_string(width) + "x" + std::to_string(height) + " pictures";
    return stream;
  }
  VideoTrackDescription track = trackOf(stream);
  track.sps = probe.sequenceParameterSet();
  track.pps = probe.pictureParameterSet();
  stream.description = writeSessionDescription(origin, track, audio);
  return stream;
}

StreamDefinition jpegStream(const RtspServerOptions& options,
                            const SessionDescriptionOrigin& origin,
                            const AudioTrackDescription& audio) {
  StreamDefinition stream{std::string(kJpegStream),
                          videoSettings(options, VideoCodec::Jpeg, options.width, options.height),
                          kJpegPayloadType,
                          {},
                          {}};
  // RFC 2435 gives the size in units of 8 pixels, at most 255 of them.
  if (options.width % 8 != 0 || options.height % 8 != 0 ||
      options.width > RtpJpegPicture::kMaxSide || options.height > RtpJpegPicture::kMaxSide) {
    stream.unavailable = "RTP/JPEG cannot carry " + std::to_string(options.width) + "x" +
                         std::to_string(options.height) + " pictures";
    return stream;
  }
  stream.description = writeSessionDescription(origin, trackOf(stream), audio);
  return stream;
}

StreamDefinition mpeg4Stream(const RtspServerOptions& options,
                             const SessionDescriptionOrigin& origin,
                             const AudioTrackDescription& audio) {
  StreamDefinition stream{std::string(kMpeg4Stream),
                          videoSettings(options, VideoCodec::Mpeg4, options.width, options.height),
                          kMpeg4PayloadType,
                          {},
                          {}};
  // Every session's encoder has these settings, so its configuration is the one described.
  Mpeg4Encoder probe;
  if (!probe.open({options.width, options.height, options.fps, stream.video.keyFrameInterval})) {
    stream.unavailable = "MPEG-4 cannot encode " + std::to_string(options.width) + "x" +
                         std::to_string(options.height) + " pictures";
    return stream;
  }
  VideoTrackDescription track = trackOf(stream);
  track.mpeg4Config = probe.configuration();
  stream.description = writeSessionDescription(origin, track, audio);
  return stream;
}

}  // namespace

std::vector<StreamDefinition> defineStreams(const RtspServerOptions& options, uint64_t sessionId,
                                            uint16_t talkPort) {
  const auto bound = bindableAddress(options.bindAddress, options.port);
  const SessionDescriptionOrigin origin{bound ? bound->addressText() : options.bindAddress,
                                        sessionId};
  const AudioTrackDescription audio{options.audio, talkPort};
  std::vector<StreamDefinition> streams;
  streams.push_back(h264Stream(kH264Stream, options, options.width, options.height, origin, audio));
  streams.push_back(h264Stream(kSecondH264Stream, options, halfSide(options.width),
                               halfSide(options.height), origin, audio));
  streams.push_back(jpegStream(options, origin, audio));
  streams.push_back(mpeg4Stream(options, origin, audio));
  return streams;
}

}  // namespace vexa::camera
