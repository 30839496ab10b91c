#include "control/StreamAddress.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/DebugTrace.h"
#include "common/TextFields.h"

namespace vexa {

namespace {

constexpr std::string_view kSchemeSeparator = "://";
constexpr std::string_view kMjpegStreamName = "jpeg";

// Default path by model; models without a handler use "/".
constexpr std::array<std::string_view, kVideoModelCount> kDefaultPaths = {
    "/jpeg", "/mpeg4", "/",     "/",    "/jpeg",  "/mpeg4",  "/jpeg",   "/mpeg4",   "/jpeg",
    "/mpeg4", "/h264", "/",     "/h264", "/h264", "/h264", "/h264_2", "/",        "/h264_2",
    "/h264_2", "/h264_2"};

bool hasLetter(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

std::string defaultStreamPath(uint32_t model) {
  return std::string(model < kDefaultPaths.size() ? kDefaultPaths[model] : "/");
}

std::string streamNameFor(uint32_t model, std::string_view path) {
  if (model == IPCAMERA_VIDEO_MODEL_HTTP_MJPEG) return std::string(kMjpegStreamName);
  const size_t first = path.find_first_not_of('/');
  return first == std::string_view::npos ? std::string() : std::string(path.substr(first));
}

void applyStreamAddress(std::string_view url, StreamConfig& config, const HostResolver& resolve) {
  std::string_view rest = url;
  if (const size_t scheme = rest.find(kSchemeSeparator); scheme != std::string_view::npos) {
    rest = rest.substr(scheme + kSchemeSeparator.size());
  }

  std::string path;
  if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
    path = std::string(rest.substr(slash));
    rest = rest.substr(0, slash);
  }

  if (const size_t colon = rest.find(':'); colon != std::string_view::npos) {
    const auto port = static_cast<uint16_t>(parseLeadingInteger(rest.substr(colon + 1)));
    config.httpPort = port;
    config.rtspPort = port;
    rest = rest.substr(0, colon);
  }

  std::string host(rest);
  if (!host.empty() && host.back() == '.') host.pop_back();
  if (hasLetter(host)) {
    if (!host.empty() && host.back() == '\n') host.pop_back();
    const std::string address = resolve ? resolve(host) : std::string();
    if (address.empty()) {
      DebugTrace("address: cannot resolve '%s'; the handler will try again", host.c_str());
    } else {
      host = address;
    }
  }
  config.host = host;

  config.path = path.size() <= 1 ? defaultStreamPath(config.model) : path;
}

}  // namespace vexa
