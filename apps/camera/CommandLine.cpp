#include "camera/CommandLine.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <optional>

#include "camera/AudioCodec.h"
#include "camera/FrameProducer.h"

namespace vexa::camera {
namespace {

constexpr int kMinSide = 16;
constexpr int kMaxSide = 4096;
constexpr int kMaxPort = 65535;
constexpr double kMaxDurationSeconds = 1e7;

std::optional<long> parseInteger(const std::string& text, long low, long high) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || next != end || value < low || value > high) return std::nullopt;
  return value;
}

std::optional<double> parseSeconds(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || next != end || !std::isfinite(value) || value <= 0 ||
      value > kMaxDurationSeconds) {
    return std::nullopt;
  }
  return value;
}

using Setter = std::function<bool(CameraSettings&, const std::string&)>;

Setter integerSetter(long low, long high, std::function<void(CameraSettings&, long)> assign) {
  return [=](CameraSettings& settings, const std::string& text) {
    const auto value = parseInteger(text, low, high);
    if (value) assign(settings, *value);
    return value.has_value();
  };
}

const std::map<std::string, Setter>& valueOptions() {
  static const std::map<std::string, Setter> options = {
      {"--port", integerSetter(0, kMaxPort, [](auto& s, long v) { s.mjpeg.port = uint16_t(v); })},
      {"--rtsp-port",
       integerSetter(0, kMaxPort, [](auto& s, long v) { s.rtsp.port = uint16_t(v); })},
      {"--width", integerSetter(kMinSide, kMaxSide,
                                [](auto& s, long v) { s.mjpeg.width = s.rtsp.width = int(v); })},
      {"--height", integerSetter(kMinSide, kMaxSide,
                                 [](auto& s, long v) { s.mjpeg.height = s.rtsp.height = int(v); })},
      {"--fps", integerSetter(FrameProducer::kMinFps, FrameProducer::kMaxFps,
                              [](auto& s, long v) { s.mjpeg.fps = s.rtsp.fps = int(v); })},
      {"--quality",
       integerSetter(JpegEncoder::kMinQuality, JpegEncoder::kMaxQuality,
                     [](auto& s, long v) { s.mjpeg.quality = s.rtsp.quality = int(v); })},
      {"--audio",
       [](auto& s, const std::string& v) {
         const auto codec = audioCodecByOptionName(v);
         if (codec) s.rtsp.audio = *codec;
         return codec.has_value();
       }},
      {"--user",
       [](auto& s, const std::string& v) {
         s.mjpeg.user = v;
         return true;
       }},
      {"--pass",
       [](auto& s, const std::string& v) {
         s.mjpeg.password = v;
         return true;
       }},
      {"--bind",
       [](auto& s, const std::string& v) {
         s.mjpeg.bindAddress = s.rtsp.bindAddress = v;
         return !v.empty();
       }},
      {"--duration",
       [](auto& s, const std::string& v) {
         const auto seconds = parseSeconds(v);
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
  return true;
}

std::string usageText() {
  return "usage: vexa-camera [options]\n"
         "A simulated network camera serving generated pictures on loopback.\n"
         "  --port N          HTTP MJPEG port, 0 for any free one (default 8008)\n"
         "  --rtsp-port N     RTSP port, 0 for any free one (default 8554); media goes\n"
         "                    interleaved on the connection or over UDP, as SETUP asks\n"
         "  --bind ADDR       address to listen on (default 127.0.0.1)\n"
         "  --width N         picture width, 16..4096 (default 640)\n"
         "  --height N        picture height, 16..4096 (default 480)\n"
         "  --fps N           pictures per second, 1..120 (default 10)\n"
         "  --quality N       JPEG quality, 1..100 (default 70)\n"
         "  --audio CODEC     RTSP audio: pcmu, pcma, g726-16, g726-24, g726-32, g726-40 or\n"
         "                    none (default pcmu)\n"
         "  --stap-a          send H.264 parameter sets in one STAP-A packet\n"
         "  --user NAME       require HTTP Basic authorisation with this user name\n"
         "  --pass TEXT       ... and this password\n"
         "  --duration SECS   stop after this many seconds (default: run until SIGINT/SIGTERM)\n"
         "  --help            show this text\n";
}

}  // namespace vexa::camera
