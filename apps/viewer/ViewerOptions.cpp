#include "viewer/ViewerOptions.h"

#include <array>
#include <charconv>
#include <initializer_list>
#include <cstdlib>
#include <functional>
#include <map>

#include "common/VideoModel.h"

namespace vexa::viewer {

namespace {

constexpr uint32_t kLargestModel = 1000000;
constexpr uint32_t kLargestPort = 65535;
constexpr const char* kDefaultPtzModel = "TQ330";
constexpr int32_t kMaxTurnDegrees = 360;
constexpr int32_t kMaxTilt = 90;
constexpr int32_t kMaxZoomIndex = 9;

bool parseUnsigned(const std::string& text, uint32_t& out) {
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, out);
  return error == std::errc() && ptr == end && out <= kLargestModel;
}

// Whole numbers separated by separator, as many as out holds.
template <size_t N>
bool parseIntegers(const std::string& text, char separator, std::array<int32_t, N>& out) {
  const char* next = text.data();
  const char* const end = text.data() + text.size();
  for (size_t i = 0; i < N; ++i) {
    auto [ptr, error] = std::from_chars(next, end, out[i]);
    if (error != std::errc()) return false;
    const bool last = i + 1 == N;
    if (last ? ptr != end : ptr == end || *ptr != separator) return false;
    next = ptr + 1;
  }
  return true;
}

bool oneOf(const std::string& text, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (text == name) return true;
  }
  return false;
}

bool parseSeconds(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && out > 0;
}

}  // namespace

std::string viewerUsage() {
  return "usage: vexa-viewer [options] ADDRESS\n"
         "       vexa-viewer [options] --script FILE|- [ADDRESS]\n"
         "  ADDRESS                [scheme://][user:password@]host[:port][/path]; an IPv6\n"
         "                         address in brackets: [::1]:8554/h264\n"
         "  --protocol N           stream model (default 1): 2 HTTP multipart JPEG; RTSP with RTP\n"
         "                         interleaved: 4 JPEG, 5 MPEG-4, 12 H.264, 17 second H.264; RTSP\n"
         "                         with RTP over UDP: 0 JPEG, 1 MPEG-4, 10 H.264, 15 second H.264;\n"
         "                         RTSP tunnelled over HTTP: 8 JPEG, 9 MPEG-4, 14 H.264, 19\n"
         "                         second H.264; multicast (DESCRIBE, then the camera's group, or\n"
         "                         SETUP and PLAY when it names none): 6 JPEG, 7 MPEG-4, 13\n"
         "                         H.264, 18 second H.264\n"
         "  --user NAME            camera user name (Basic or Digest, RTSP and HTTP)\n"
         "  --pass PASSWORD        camera password\n"
         "  --display-mode MODE    STRETCH (default) or REALSIZE\n"
         "  --fullscreen           start in full screen\n"
         "  --headless             no window: pictures are taken, counted and kept for the\n"
         "                         snapshot, but not painted\n"
         "  --paint-offscreen      headless, paint every picture into the off-screen window all\n"
         "                         the same (costs what a shown window costs)\n"
         "  --mute                 start with the camera's sound off (it plays by default, also\n"
         "                         headless; SDL_AUDIODRIVER picks the device)\n"
         "  --talk                 send the microphone to the camera's loudspeaker (models 0, 1,\n"
         "                         10, 15; the key t switches it too; SDL_AUDIODRIVER picks the\n"
         "                         device)\n"
         "  --duration SECONDS     stop cleanly after that time\n"
         "  --snapshot FILE        at the end, save the last picture drawn (.jpg .png .bmp .tif .gif)\n"
         "  --record FILE|FOLDER   record the stream from its first picture into numbered AVI\n"
         "                         files (rec/cam.avi: rec/cam001.avi, rec/cam002.avi, ...); a\n"
         "                         folder gets vexa-YYYYMMDD-HHMMSS-001.avi\n"
         "  --command TARGET       send one HTTP GET for TARGET (a CGI path and query) to the\n"
         "                         camera, ADDRESS being host[:port] (port 80 unless given),\n"
         "                         print the answer and exit 0 for a 2xx status, else 1\n"
         "  --timeout MS           how long --command may wait in silence (default 5000)\n"
         "  --script FILE|-        call the control's members, one JSON line each, e.g.\n"
         "                         {\"call\":\"Play\",\"args\":[\"127.0.0.1:8554/h264\",12]} or\n"
         "                         {\"wait\":3000}; one answer line each on stdout; ends with the input\n"
         "  --print-calls          print the calls the options make, as script lines\n"
         "  --stats                print the statistics once a second\n"
         "  --report-pictures      print the ms from start to the first picture taken, and at the\n"
         "                         end how many pictures were taken and painted\n"
         "  --ptz                  steer the camera: joystick (hold the left button), centre\n"
         "                         clicks (c or the right-button menu) and wheel zoom\n"
         "  --model M              the camera model for pan/tilt/zoom (TQ330 with --ptz)\n"
         "  --http-port N          the port pan/tilt/zoom commands go to (default 80)\n"
         "  --motion               show the camera's motion levels and threshold as a graph in a\n"
         "                         second window (polled on the camera's motion port)\n"
         "  --motion-port N        the camera's motion port (default 5656)\n"
         "  --motion-snapshot FILE at the end, save the motion graph (.png .jpg .bmp .tif .gif);\n"
         "                         implies --motion\n"
         "  --fisheye MODE         dewarp a fisheye camera's picture: NONE, PTZ (one view), 360\n"
         "                         (two half bands), 4PTZ (four views), PANORAMA, PANOPTZ\n"
         "                         (a panorama above two views)\n"
         "  --fisheye-centre X,Y   the lens circle's centre in sensor pixels, y from the top\n"
         "                         (default 1296,972); vexa-camera --fisheye prints the values\n"
         "  --fisheye-diameter D   the lens circle's diameter in sensor pixels (default 1944)\n"
         "  --fisheye-rotate-bias DEG  the panorama's turn (default 180)\n"
         "  --sensor-mode WxH      the sensor window the stream shows: 2592x1944, 2048x1536 or\n"
         "                         1920x1080 (the default)\n"
         "  --rotation TEXT        the camera's picture orientation: normal, flip, mirror, rotate,\n"
         "                         counterclockwise or clockwise\n"
         "  --fisheye-view PAN,TILT,ZOOM  the first view's direction in degrees and zoom level\n"
         "                         0..9 (default 0,0,2)\n"
         "  --fisheye-calibrate    find the lens circle in the first picture and print it\n"
         "  --sensor NAME          the camera's sensor, and with --model, --sensor-mode and\n"
         "  --web-version V        its web version: they choose the grid overlays sit on\n"
         "  --overlay LINE         an overlay (repeatable): mask NAME X Y W H, motion NAME X1 Y1\n"
         "                         X2 Y2 (NAME - for the unnamed kind), roi NAME X Y W H AX AY\n"
         "                         MINW MINH in the camera's coordinates; client-mask NAME X Y W H\n"
         "                         (80 x 60 units over the picture), client-colour R G B ALPHA\n"
         "  --overlays FILE        overlays from a file, one a line, # comments\n"
         "  --print-overlays       print every overlay as the camera's page reads it at the end\n"
         "  --help                 this text\n"
         "In the window: F11 or f full screen, r recording on and off, s snapshot, o choose the\n"
         "folder both go to (the current folder until chosen; a --record folder too). With\n"
         "--ptz: c centre mode on and off; the right button opens the camera's menu. Fisheye\n"
         "views: m next mode, c find the lens circle, + and - zoom; click to centre a view,\n"
         "hold the left button to turn it, the wheel zooms, drag the 360 bands. Overlays: p prints\n"
         "them.\n";
}

ParseResult parseViewerOptions(const std::vector<std::string>& arguments) {
  ParseResult result;
  ViewerOptions& o = result.options;
  using Setter = std::function<std::string(const std::string&)>;
  const std::map<std::string, Setter> valued = {
      {"--protocol",
       [&](const std::string& v) {
         return parseUnsigned(v, o.protocol) ? "" : "--protocol needs a model number, not '" + v + "'";
       }},
      {"--user", [&](const std::string& v) { o.user = v; return std::string(); }},
      {"--pass", [&](const std::string& v) { o.password = v; return std::string(); }},
      {"--display-mode",
       [&](const std::string& v) {
         if (v != "STRETCH" && v != "REALSIZE") return "--display-mode is STRETCH or REALSIZE, not '" + v + "'";
         o.displayMode = v;
         return std::string();
       }},
      {"--duration",
       [&](const std::string& v) {
         double seconds = 0;
         if (!parseSeconds(v, seconds)) return "--duration needs a positive number of seconds, not '" + v + "'";
         o.durationSeconds = seconds;
         return std::string();
       }},
      {"--snapshot", [&](const std::string& v) { o.snapshotPath = v; return std::string(); }},
      {"--record", [&](const std::string& v) { o.recordPath = v; return std::string(); }},
      {"--script", [&](const std::string& v) { o.scriptPath = v; return std::string(); }},
      {"--command", [&](const std::string& v) { o.command = v; return std::string(); }},
      {"--model", [&](const std::string& v) { o.model = v; return std::string(); }},
      {"--http-port",
       [&](const std::string& v) {
         uint32_t port = 0;
         if (!parseUnsigned(v, port) || port == 0 || port > kLargestPort) return "--http-port needs a port number, not '" + v + "'";
         o.httpPort = int32_t(port);
         return std::string();
       }},
      {"--motion-port",
       [&](const std::string& v) {
         uint32_t port = 0;
         if (!parseUnsigned(v, port) || port == 0 || port > kLargestPort) {
           return "--motion-port needs a port 1..65535, not '" + v + "'";
         }
         o.motionPort = uint16_t(port);
         return std::string();
       }},
      {"--motion-snapshot",
       [&](const std::string& v) {
         o.motionSnapshotPath = v;
         o.motion = true;
         return std::string();
       }},
      {"--timeout",
       [&](const std::string& v) {
         uint32_t ms = 0;
         if (!parseUnsigned(v, ms) || ms == 0) return "--timeout needs milliseconds, not '" + v + "'";
         o.timeoutMs = int32_t(ms);
         return std::string();
       }},
      {"--sensor", [&](const std::string& v) { o.sensor = v; return std::string(); }},
      {"--web-version", [&](const std::string& v) { o.webVersion = v; return std::string(); }},
      {"--overlay",
       [&](const std::string& v) {
         parseOverlayText(v, "--overlay '" + v + "'", false, o.overlays);
         return o.overlays.error;
       }},
      {"--overlays",
       [&](const std::string& v) {
         readOverlayFile(v, o.overlays);
         return o.overlays.error;
       }},
      {"--fisheye",
       [&](const std::string& v) {
         if (!oneOf(v, {"NONE", "PTZ", "360", "4PTZ", "PANORAMA", "PANOPTZ"})) {
           return "--fisheye is NONE, PTZ, 360, 4PTZ, PANORAMA or PANOPTZ, not '" + v + "'";
         }
         o.fisheye.mode = v;
         return std::string();
       }},
      {"--fisheye-centre",
       [&](const std::string& v) {
         std::array<int32_t, 2> centre{};
         if (!parseIntegers(v, ',', centre)) return "--fisheye-centre needs X,Y, not '" + v + "'";
         o.fisheye.centre = {centre[0], centre[1]};
         return std::string();
       }},
      {"--fisheye-diameter",
       [&](const std::string& v) {
         std::array<int32_t, 1> diameter{};
         if (!parseIntegers(v, ',', diameter) || diameter[0] <= 0) {
           return "--fisheye-diameter needs a positive number of pixels, not '" + v + "'";
         }
         o.fisheye.diameter = diameter[0];
         return std::string();
       }},
      {"--fisheye-rotate-bias",
       [&](const std::string& v) {
         std::array<int32_t, 1> degrees{};
         if (!parseIntegers(v, ',', degrees) || std::abs(degrees[0]) > kMaxTurnDegrees) {
           return "--fisheye-rotate-bias needs degrees -360..360, not '" + v + "'";
         }
         o.fisheye.rotateBiasDegrees = degrees[0];
         return std::string();
       }},
      {"--sensor-mode",
       [&](const std::string& v) {
         std::array<int32_t, 2> size{};
         if (!parseIntegers(v, 'x', size) || size[0] <= 0 || size[1] <= 0) {
           return "--sensor-mode needs WIDTHxHEIGHT, not '" + v + "'";
         }
         o.sensorMode = v;
         return std::string();
       }},
      {"--rotation",
       [&](const std::string& v) {
         if (!oneOf(v, {"normal", "flip", "mirror", "rotate", "counterclockwise", "clockwise"})) {
           return "--rotation is normal, flip, mirror, rotate, counterclockwise or clockwise, "
                  "not '" + v + "'";
         }
         o.rotation = v;
         return std::string();
       }},
      {"--fisheye-view",
       [&](const std::string& v) {
         std::array<int32_t, 3> view{};
         if (!parseIntegers(v, ',', view) || std::abs(view[0]) > kMaxTurnDegrees ||
             std::abs(view[1]) > kMaxTilt || view[2] < 0 || view[2] > kMaxZoomIndex) {
           return "--fisheye-view needs PAN,TILT,ZOOM (pan -360..360, tilt -90..90, zoom "
                  "0..9), not '" + v + "'";
         }
         o.fisheye.view = FisheyeOptions::View{(view[0] + kMaxTurnDegrees) % kMaxTurnDegrees,
                                               view[1], view[2]};
         return std::string();
       }},
  };
  const std::map<std::string, bool*> flags = {
      {"--fullscreen", &o.fullscreen}, {"--headless", &o.headless},
      {"--paint-offscreen", &o.paintOffscreen}, {"--mute", &o.mute},
      {"--talk", &o.talk},
      {"--stats", &o.stats},           {"--report-pictures", &o.reportPictures},
      {"--help", &o.help},             {"-h", &o.help},
      {"--ptz", &o.ptz},               {"--motion", &o.motion},
      {"--fisheye-calibrate", &o.fisheye.calibrate}, {"--print-overlays", &o.printOverlays},
      {"--print-calls", &o.printCalls}};

  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (auto flag = flags.find(argument); flag != flags.end()) {
      *flag->second = true;
    } else if (auto option = valued.find(argument); option != valued.end()) {
      if (i + 1 >= arguments.size()) {
        result.error = argument + " needs a value";
        return result;
      }
      result.error = option->second(arguments[++i]);
      if (!result.error.empty()) return result;
    } else if (argument.starts_with("-")) {
      result.error = "unknown option '" + argument + "'";
      return result;
    } else if (o.address.empty()) {
      o.address = argument;
    } else {
      result.error = "one camera address only (got '" + o.address + "' and '" + argument + "')";
      return result;
    }
  }
  if (o.address.empty() && o.scriptPath.empty() && !o.help) {
    result.error = "no camera address given";
  }
  if (o.ptz && o.model.empty()) o.model = kDefaultPtzModel;
  if (o.talk && !isUdpGroupModel(o.protocol)) {
    result.error = "--talk needs RTSP with RTP over UDP (--protocol 0, 1, 10 or 15)";
  }
  return result;
}

}  // namespace vexa::viewer
