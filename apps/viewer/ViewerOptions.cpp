#include "viewer/ViewerOptions.h"

#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>

namespace vexa::viewer {

namespace {

constexpr uint32_t kLargestModel = 1000000;
constexpr uint32_t kLargestPort = 65535;
constexpr const char* kDefaultPtzModel = "TQ330";

bool parseUnsigned(const std::string& text, uint32_t& out) {
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, out);
  return error == std::errc() && ptr == end && out <= kLargestModel;
}

bool parseSeconds(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && out > 0;
}

}  // namespace

std::string viewerUsage() {
  return "usage: vexa-viewer [options] ADDRESS\n"
         "  ADDRESS                [scheme://][user:password@]host[:port][/path]; an IPv6\n"
         "                         address in brackets: [::1]:8554/h264\n"
         "  --protocol N           stream model (default 1): 2 HTTP multipart JPEG; RTSP with RTP\n"
         "                         interleaved: 4 JPEG, 12 H.264, 17 second H.264; RTSP with RTP\n"
         "                         over UDP: 0 JPEG, 10 H.264, 15 second H.264\n"
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
         "  --duration SECONDS     stop cleanly after that time\n"
         "  --snapshot FILE        at the end, save the last picture drawn (.jpg .png .bmp .tif .gif)\n"
         "  --record FILE|FOLDER   record the stream from its first picture into numbered AVI\n"
         "                         files (rec/cam.avi: rec/cam001.avi, rec/cam002.avi, ...); a\n"
         "                         folder gets vexa-YYYYMMDD-HHMMSS-001.avi\n"
         "  --command TARGET       send one HTTP GET for TARGET (a CGI path and query) to the\n"
         "                         camera, ADDRESS being host[:port] (port 80 unless given),\n"
         "                         print the answer and exit 0 for a 2xx status, else 1\n"
         "  --timeout MS           how long --command may wait in silence (default 5000)\n"
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
         "  --help                 this text\n"
         "In the window: F11 or f full screen, r recording on and off, s snapshot, o choose the\n"
         "folder both go to (the current folder until chosen; a --record folder too). With\n"
         "--ptz: c centre mode on and off; the right button opens the camera's menu.\n";
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
  };
  const std::map<std::string, bool*> flags = {
      {"--fullscreen", &o.fullscreen}, {"--headless", &o.headless},
      {"--paint-offscreen", &o.paintOffscreen}, {"--mute", &o.mute},
      {"--stats", &o.stats},           {"--report-pictures", &o.reportPictures},
      {"--help", &o.help},             {"-h", &o.help},
      {"--ptz", &o.ptz},               {"--motion", &o.motion}};

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
  if (o.address.empty() && !o.help) result.error = "no camera address given";
  if (o.ptz && o.model.empty()) o.model = kDefaultPtzModel;
  return result;
}

}  // namespace vexa::viewer
