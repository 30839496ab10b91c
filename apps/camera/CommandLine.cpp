#include "camera/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <optional>

#include "camera/AudioCodec.h"
#include "camera/FrameProducer.h"
#include "camera/MulticastTransport.h"
#include "camera/H264UnitLayout.h"
#include "camera/TcpListener.h"

namespace vexa::camera {
namespace {

constexpr int kMinSide = 16;
constexpr int kMaxSide = 4096;
constexpr int kMaxPort = 65535;
// The ports a multicast camera uses above its first: four video streams and the sound, with RTCP.
constexpr int kMulticastPortsAbove = 9;
constexpr double kMaxDurationSeconds = 1e7;
constexpr double kMaxDropAfterSeconds = 86400;
constexpr long kMaxTimeoutSeconds = 86400;
constexpr double kMsPerSecond = 1000;

std::optional<long> parseInteger(const std::string& text, long low, long high) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || next != end || value < low || value > high) return std::nullopt;
  return value;
}

std::optional<double> parseSeconds(const std::string& text, double limit) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || next != end || !std::isfinite(value) || value <= 0 || value > limit) {
    return std::nullopt;
  }
  return value;
}

std::optional<AuthScheme> parseScheme(const std::string& text) {
  if (text == "basic") return AuthScheme::Basic;
  if (text == "digest") return AuthScheme::Digest;
  return std::nullopt;
}

std::optional<CgiFraming> parseFraming(const std::string& text) {
  static const std::map<std::string, CgiFraming> kFramings = {
      {"length", CgiFraming::Length},   {"length-lower", CgiFraming::LengthLower},
      {"chunked", CgiFraming::Chunked}, {"close", CgiFraming::Close},
      {"lf", CgiFraming::LfOnly},
  };
  const auto found = kFramings.find(text);
  if (found == kFramings.end()) return std::nullopt;
  return found->second;
}

using Setter = std::function<bool(CameraSettings&, const std::string&)>;

Setter integerSetter(long low, long high, std::function<void(CameraSettings&, long)> assign) {
  return [=](CameraSettings& settings, const std::string& text) {
    const auto value = parseInteger(text, low, high);
    if (value) assign(settings, *value);
    return value.has_value();
  };
}

FisheyeSettings& fisheyeOf(CameraSettings& settings) {
  if (!settings.fisheye) settings.fisheye.emplace();
  return *settings.fisheye;
}

// The circle may reach past the picture's edges, but its centre lies in the picture.
bool finishFisheye(CameraSettings& settings, std::string& error) {
  if (!settings.fisheye) return true;
  FisheyeSettings& fisheye = *settings.fisheye;
  fisheye.referenceWidth = settings.rtsp.width;
  fisheye.referenceHeight = settings.rtsp.height;
  if (const auto& circle = fisheye.circle;
      circle && (circle->x < 0 || circle->x > fisheye.referenceWidth || circle->y < 0 ||
                 circle->y > fisheye.referenceHeight)) {
    error = "--fisheye-circle centre lies outside the picture";
    return false;
  }
  settings.mjpeg.fisheye = settings.rtsp.fisheye = fisheye;
  return true;
}

bool setAddress(CameraSettings& settings, const std::string& address) {
  settings.mjpeg.bindAddress = settings.rtsp.bindAddress = settings.motion.bindAddress = address;
  return bindableAddress(address, 0).has_value();
}

const std::map<std::string, Setter>& valueOptions() {
  static const std::map<std::string, Setter> options = {
      {"--port", integerSetter(0, kMaxPort, [](auto& s, long v) { s.mjpeg.port = uint16_t(v); })},
      {"--rtsp-port",
       integerSetter(0, kMaxPort, [](auto& s, long v) { s.rtsp.port = uint16_t(v); })},
      {"--motion-port", integerSetter(0, kMaxPort,
                                      [](auto& s, long v) {
                                        s.motion.port = uint16_t(v);
                                        s.motionPortChosen = true;
                                      })},
      {"--motion-threshold", integerSetter(0, MotionServerOptions::kMaxThreshold,
                                           [](auto& s, long v) { s.motion.threshold = int(v); })},
      {"--width", integerSetter(kMinSide, kMaxSide,
                                [](auto& s, long v) { s.mjpeg.width = s.rtsp.width = int(v); })},
      {"--height", integerSetter(kMinSide, kMaxSide,
                                 [](auto& s, long v) { s.mjpeg.height = s.rtsp.height = int(v); })},
      {"--fps",
       integerSetter(FrameProducer::kMinFps, FrameProducer::kMaxFps,
                     [](auto& s, long v) { s.mjpeg.fps = s.rtsp.fps = s.motion.fps = int(v); })},
      {"--quality",
       integerSetter(JpegEncoder::kMinQuality, JpegEncoder::kMaxQuality,
                     [](auto& s, long v) { s.mjpeg.quality = s.rtsp.quality = int(v); })},
      {"--multicast",
       [](auto& s, const std::string& v) {
         s.rtsp.multicastGroup = v;
         return isMulticastGroup(v);
       }},
      {"--multicast-port",
       integerSetter(1, kMaxPort - kMulticastPortsAbove,
                     [](auto& s, long v) { s.rtsp.multicastPort = uint16_t(v); })},
      {"--multicast-connection",
       [](auto& s, const std::string& v) {
         s.rtsp.multicastSessionConnection = v == "session";
         return v == "session" || v == "media";
       }},
      {"--multicast-sdp",
       [](auto& s, const std::string& v) {
         s.rtsp.multicastCommonDescription = v == "common";
         return v == "common" || v == "vexa";
       }},
      {"--audio",
       [](auto& s, const std::string& v) {
         const auto codec = audioCodecByOptionName(v);
         if (codec) s.rtsp.audio = *codec;
         return codec.has_value();
       }},
      {"--talk-port",
       integerSetter(0, kMaxPort, [](auto& s, long v) { s.rtsp.talkPort = uint16_t(v); })},
      {"--talk-wav",
       [](auto& s, const std::string& v) {
         s.rtsp.talkWavPath = v;
         return !v.empty();
       }},
      {"--user",
       [](auto& s, const std::string& v) {
         s.mjpeg.user = s.rtsp.user = v;
         return true;
       }},
      {"--pass",
       [](auto& s, const std::string& v) {
         s.mjpeg.password = s.rtsp.password = v;
         return true;
       }},
      {"--auth",
       [](auto& s, const std::string& v) {
         const auto scheme = parseScheme(v);
         if (scheme) s.mjpeg.auth = s.rtsp.auth = *scheme;
         s.authChosen = true;
         return scheme.has_value();
       }},
      {"--cgi-answer",
       [](auto& s, const std::string& v) {
         const auto framing = parseFraming(v);
         if (framing) s.mjpeg.cgiFraming = *framing;
         return framing.has_value();
       }},
      {"--nonce-lifetime", integerSetter(1, kMaxNonceLifetimeSeconds,
                                         [](auto& s, long v) {
                                           s.mjpeg.nonceLifetimeSeconds =
                                               s.rtsp.nonceLifetimeSeconds = int(v);
                                         })},
      {"--session-timeout",
       integerSetter(0, kMaxTimeoutSeconds,
                     [](auto& s, long v) { s.rtsp.sessionTimeoutSeconds = int(v); })},
      {"--listen", setAddress},
      {"--bind", setAddress},
      {"--redirect",
       [](auto& s, const std::string& v) {
         const auto redirect = parseRedirect(v);
         if (redirect) {
           s.mjpeg.redirects.push_back(*redirect);
           s.rtsp.redirects.push_back(*redirect);
         }
         return redirect.has_value();
       }},
      {"--drop-after",
       [](auto& s, const std::string& v) {
         const auto seconds = parseSeconds(v, kMaxDropAfterSeconds);
         // At least a millisecond, so that a tiny time still drops.
         const int ms = seconds ? std::max(1, int(std::lround(*seconds * kMsPerSecond))) : 0;
         if (seconds) s.mjpeg.dropAfterMs = s.rtsp.dropAfterMs = ms;
         return seconds.has_value();
       }},
      {"--dump-video",
       [](auto& s, const std::string& v) {
         s.dumpVideoPath = v;
         return !v.empty();
       }},
      {"--fisheye-circle",
       [](auto& s, const std::string& v) {
         const auto circle = parseFisheyeCircle(v);
         if (circle) fisheyeOf(s).circle = circle;
         return circle.has_value();
       }},
      {"--fisheye-lens",
       [](auto& s, const std::string& v) {
         const auto lens = fisheyeLensByName(v);
         if (lens) fisheyeOf(s).lens = *lens;
         return lens.has_value();
       }},
      {"--h264-extras",
       [](auto& s, const std::string& v) { return parseH264Extras(v, s.rtsp.h264Layout); }},
      {"--duration",
       [](auto& s, const std::string& v) {
         const auto seconds = parseSeconds(v, kMaxDurationSeconds);
         if (seconds) s.durationSeconds = *seconds;
         return seconds.has_value();
       }},
  };
  return options;
}

// Options that take no value.
const std::map<std::string, std::function<void(CameraSettings&)>>& flagOptions() {
  static const std::map<std::string, std::function<void(CameraSettings&)>> flags = {
      {"--help", [](CameraSettings& s) { s.showHelp = true; }},
      {"-h", [](CameraSettings& s) { s.showHelp = true; }},
      {"--stap-a", [](CameraSettings& s) { s.rtsp.stapA = true; }},
      {"--sprop-only", [](CameraSettings& s) { s.rtsp.h264Layout.parameterSetsInBand = false; }},
      {"--mpeg4-inband-config", [](CameraSettings& s) { s.rtsp.mpeg4ConfigInBand = true; }},
      {"--rtcp-not-alive", [](CameraSettings& s) { s.rtsp.rtcpKeepsAlive = false; }},
      {"--refuse-udp", [](CameraSettings& s) { s.rtsp.refuseUdp = true; }},
      {"--multicast-setup", [](CameraSettings& s) { s.rtsp.multicastSetup = true; }},
      {"--lf-only", [](CameraSettings& s) { s.rtsp.lfOnly = true; }},
      {"--log",
       [](CameraSettings& s) {
         s.mjpeg.logRequests = s.rtsp.logRequests = s.motion.logValues = true;
       }},
      {"--motion-inactive", [](CameraSettings& s) { s.motion.inactive = true; }},
      {"--fisheye", [](CameraSettings& s) { fisheyeOf(s); }},
  };
  return flags;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& arguments, CameraSettings& settings,
                      std::string& error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> value;
    if (const size_t equals = name.find('=');
        name.starts_with("--") && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (const auto flag = flagOptions().find(name); flag != flagOptions().end() && !value) {
      flag->second(settings);
      continue;
    }
    const auto option = valueOptions().find(name);
    if (option == valueOptions().end()) {
      error = "unknown option '" + arguments[i] + "'";
      return false;
    }
    if (!value) {
      if (i + 1 == arguments.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = arguments[++i];
    }
    if (!option->second(settings, *value)) {
      error = "bad value '" + *value + "' for " + name;
      return false;
    }
  }
  if (settings.authChosen && settings.rtsp.user.empty() && settings.rtsp.password.empty()) {
    error = "--auth needs --user and --pass";
    return false;
  }
  return finishFisheye(settings, error);
}

std::string usageText() {
  return "usage: vexa-camera [options]\n"
         "A simulated network camera serving generated pictures on loopback.\n"
         "  --port N              HTTP port, 0 for any free one (default 8008): MJPEG on any\n"
         "                        path, pan/tilt/zoom commands on /cgi-bin/com/ptz.cgi\n"
         "  --rtsp-port N         RTSP port, 0 for any free one (default 8554): /h264, /h264_2,\n"
         "                        /jpeg and /mpeg4; media goes interleaved on the connection or\n"
         "                        over UDP, as SETUP asks; the same port takes RTSP tunnelled\n"
         "                        over HTTP (a GET for answers and media, a POST with Base64\n"
         "                        requests, paired by x-sessioncookie)\n"
         "  --motion-port N       motion port, 0 for any free one (default 5656): every 100 ms\n"
         "                        the percentage of pixels changed, each second 100 + the\n"
         "                        threshold, in hex digits followed by \"$\"\n"
         "  --motion-threshold T  a fixed threshold, 0..100 (default: cycles through 60..90)\n"
         "  --motion-inactive     the motion port sends only C9$: detection off\n"
         "  --listen ADDR         address both servers listen on, IPv4 or IPv6 such as ::1\n"
         "                        (default 127.0.0.1; --bind is the same)\n"
         "  --width N             picture width, 16..4096 (default 640)\n"
         "  --height N            picture height, 16..4096 (default 480)\n"
         "  --fps N               pictures per second, 1..120 (default 10)\n"
         "  --quality N           JPEG quality, 1..100 (default 70)\n"
         "  --audio CODEC         RTSP audio: pcmu, pcma, g726-16, g726-24, g726-32, g726-40\n"
         "                        or none (default pcmu)\n"
         "  --talk-port N         UDP port clients holding an RTSP session send their own sound\n"
         "                        to, in the served codec and payload type; named by the m=audio\n"
         "                        line of descriptions that name no group (default 0: any\n"
         "                        free one)\n"
         "  --talk-wav FILE       write that sound to FILE as it arrives: WAV, 8000 Hz 16-bit\n"
         "                        mono, at most 10 minutes; on exit one line on stderr says\n"
         "                        how many packets came from where, and how many were missing\n"
         "  --stap-a              send H.264 parameter sets in one STAP-A packet\n"
         "  --h264-extras LIST    H.264 units also carry, by a comma list: aud (an access unit\n"
         "                        delimiter first in each), sei (a user-data SEI before the\n"
         "                        slices of each key unit)\n"
         "  --sprop-only          H.264 parameter sets only in the description's\n"
         "                        sprop-parameter-sets, never in the stream\n"
         "  --mpeg4-inband-config MPEG-4 configuration also in front of every intra VOP, not\n"
         "                        only in the description's config=\n"
         "  --multicast GROUP     send every stream to GROUP (224.0.0.0/4, kept on this host)\n"
         "                        from start; DESCRIBE names the group and ports, \"/audio\"\n"
         "                        describes the sound\n"
         "  --multicast-port N    the first stream's video port (15000); the others follow two\n"
         "                        apart, the sound after them\n"
         "  --multicast-connection session|media  where the group's c= line goes (media)\n"
         "  --multicast-sdp vexa|common  common: described as other such senders do, the group\n"
         "                        at session level, config= in lower case ending in ';', the\n"
         "                        sound in each stream's description and no \"/audio\" (vexa)\n"
         "  --multicast-setup     with --multicast: DESCRIBE names no group (video port 0,\n"
         "                        c=IN IP4 0.0.0.0); SETUP with \"multicast\" is told the group\n"
         "                        and the stream's ports, and the group gets the stream from\n"
         "                        PLAY until TEARDOWN or the session's time-out\n"
         "  --dump-video FILE     write every video picture sent, as encoded, to FILE: JPEG\n"
         "                        pictures, H.264 units in Annex B or MPEG-4 VOPs after their\n"
         "                        configuration, back to back,\n"
         "                        one stream at a time: the first client's, until it ends\n"
         "  --user NAME           both servers demand credentials: this user name\n"
         "  --pass TEXT           ... and this password (RTSP: for every method but OPTIONS)\n"
         "  --auth SCHEME         basic, or digest (MD5, qop=auth) (default basic)\n"
         "  --nonce-lifetime S    seconds a Digest nonce lives; a correct answer to an older\n"
         "                        one is told stale=true (default 60)\n"
         "  --session-timeout S   RTSP: seconds of silence that end a session, announced in\n"
         "                        the Session header; 0: never (default 60)\n"
         "  --rtcp-not-alive      RTSP: only requests keep a session alive, receiver reports\n"
         "                        do not\n"
         "  --refuse-udp          RTSP: SETUP for RTP over UDP gets 461 Unsupported Transport\n"
         "  --lf-only             RTSP: answers end their lines in LF alone\n"
         "  --cgi-answer HOW      how pan/tilt/zoom command answers are framed: length,\n"
         "                        length-lower (\"content-length\"), chunked, close (no length,\n"
         "                        closed after) or lf (LF line ends) (default length)\n"
         "  --redirect PATH=URL   requests for PATH (or below it) get 301 with URL; repeatable\n"
         "  --drop-after S        close every connection S seconds after it was accepted\n"
         "                        (SIGUSR1 closes every open connection at once)\n"
         "  --fisheye             every stream shows a room through a 180 degree fisheye lens\n"
         "                        looking down: the picture on the floor, a grid of straight\n"
         "                        lines on the walls, black outside the image circle\n"
         "  --fisheye-circle X,Y,D  the image circle's centre and diameter in picture pixels\n"
         "                        (default: centred, as wide as the smaller side); implies\n"
         "                        --fisheye\n"
         "  --fisheye-lens KIND   stereographic, r = 2f tan(theta/2) (the default), or\n"
         "                        equidistant, r = f theta; implies --fisheye\n"
         "  --log                 one line per request, and per motion value sent, on stderr\n"
         "  --duration S          stop after this many seconds (default: until SIGINT/SIGTERM)\n"
         "  --help                show this text\n";
}

}  // namespace vexa::camera
